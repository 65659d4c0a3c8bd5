#pragma once
// The text encodings of the rule lists in the settings store: comma lists, extension
// lists ("%s,%d" pairs), MIME multi-strings ("%s,%d,%d" with ",%s,%d,%d" per sub-type) and
// browser values (search term, a comma, then MIME entries). Items are separated by a single
// comma; nothing is trimmed or unquoted.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/site_settings.h"

namespace settings {

// The Windows C runtime's atoi, as every reader of the store uses it: leading blanks, an
// optional sign, digits up to the first non-digit; no digits read as 0. Out-of-range values
// clamp to INT32_MIN / INT32_MAX.
std::int32_t parseNumber(std::string_view text);

// A scalar value's text as every reader of the store takes it: the data up to its first
// NUL, except that a number stored with `reg add /t REG_DWORD`, which no writer of the
// system makes but an administrator may, reads as its decimal digits rather than as its
// raw bytes (which read as 0 or a stray number).
std::string scalarText(std::uint32_t type, std::string_view data);

// Whether a text can be one item of a list value: items are split at commas and strings at
// NULs, so a text holding either would not read back as written.
bool canHoldListItem(std::string_view text);

// "a,b,c" -> {"a","b","c"}; "" -> {}. Empty items are skipped.
std::vector<std::string_view> splitCommaList(std::string_view text);

// Whether two "ReportMask" texts choose the same report fields, whatever their order. "%L"
// is no field one can choose, so it makes no difference either.
bool sameReportFields(std::string_view a, std::string_view b);

std::vector<ExtensionRule> parseCacheExtensions(std::string_view text);
std::vector<ExclusionEntry> parseExclusions(std::string_view text);
std::string formatCommaList(const std::vector<ExtensionRule>& rules);

// Pairs ext,level; a trailing extension without its level is ignored.
std::vector<ExtensionRule> parseExtensionList(std::string_view text);
std::string formatExtensionList(const std::vector<ExtensionRule>& rules);

// A multi-string: its strings up to the empty one (or the end of data).
std::vector<std::string_view> splitMultiString(std::string_view data);

// Parses one MIME entry string ("type,c,l[,sub,c,l]...") and appends its type to rules; its
// sub-types go under the first type of rules with that name, as the append operation does.
// kIncomplete: the first triple is short; kSubTypesCut: a sub-type triple is short (what
// came before it is kept).
enum class EntryParse { kComplete, kSubTypesCut, kIncomplete };
EntryParse parseMimeEntry(std::string_view entry, std::vector<MimeRule>& rules);

// Lenient: a string whose first triple is incomplete ends the list; a short sub-type
// triple ends that string's sub-types.
std::vector<MimeRule> parseMimeTypes(std::string_view multiString);
// The multi-string with its final empty string (two NULs at the end).
std::string formatMimeTypes(const std::vector<MimeRule>& rules);

// Strict: nullopt when any triple is short. A value holding only its search term is a rule
// without MIME rules. A sub-type goes under the first type of its name (see parseMimeEntry).
std::optional<BrowserRule> parseBrowserValue(std::string_view displayName, std::string_view data);
std::string formatBrowserValue(const BrowserRule& rule);

// Cuts the texts of the loaded lists to the widths of the filter's records (the parsers keep
// them whole, for the console).
void cutToRecordWidths(SiteSettings& site);

}  // namespace settings
