#include "settings/rule_lists.h"

#include <algorithm>
#include <climits>
#include <string>

#include "platform/registry/registry.h"

namespace settings {

namespace {

// Reads text up to the next comma from pos; tells whether a comma ended it.
std::string_view takeField(std::string_view text, std::size_t& pos, bool& comma) {
  std::size_t end = text.find(',', pos);
  comma = end != std::string_view::npos;
  if (!comma) end = text.size();
  std::string_view field = text.substr(pos, end - pos);
  pos = comma ? end + 1 : text.size();
  return field;
}

// One "name,compress,level" triple. False when the name or the compress field is not
// followed by a comma. moreAfter: a comma follows the level.
bool takeTriple(std::string_view text, std::size_t& pos, MimeRule& rule, bool& moreAfter) {
  bool comma = false;
  std::string_view name = takeField(text, pos, comma);
  if (!comma) return false;
  std::string_view compress = takeField(text, pos, comma);
  if (!comma) return false;
  std::string_view level = takeField(text, pos, moreAfter);
  rule.Name = name;
  rule.Compress = parseNumber(compress);
  rule.Level = parseNumber(level);
  return true;
}

void appendEntry(std::string& out, const MimeRule& rule) {
  out += std::string(rule.Name) + "," + std::to_string(rule.Compress) + "," + std::to_string(rule.Level);
  for (const MimeRule& sub : rule.SubTypes)
    out += "," + std::string(sub.Name) + "," + std::to_string(sub.Compress) + "," + std::to_string(sub.Level);
}

}  // namespace

std::int32_t parseNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // The Windows C runtime's atoi clamps an out-of-range number to INT_MAX or INT_MIN (glibc's
  // keeps the low 32 bits, which turned "3000000000" into a negative size).
  const std::int64_t limit = negative ? -static_cast<std::int64_t>(INT32_MIN) : INT32_MAX;
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) value = std::min(limit, value * 10 + (text[i] - '0'));
  return static_cast<std::int32_t>(negative ? -value : value);
}

std::string scalarText(std::uint32_t type, std::string_view data) {
  if (type == REG_DWORD && data.size() == 4) {
    std::uint32_t number = 0;
    for (std::size_t i = 4; i-- > 0;) number = number << 8 | static_cast<unsigned char>(data[i]);  // little-endian
    return std::to_string(number);
  }
  return std::string(data.substr(0, std::min(data.size(), data.find('\0'))));
}

bool canHoldListItem(std::string_view text) {
  return text.find(',') == std::string_view::npos && text.find('\0') == std::string_view::npos;
}

std::vector<std::string_view> splitCommaList(std::string_view text) {
  std::vector<std::string_view> items;
  std::size_t pos = 0;
  while (pos < text.size()) {
    bool comma = false;
    std::string_view item = takeField(text, pos, comma);
    if (!item.empty()) items.push_back(item);
  }
  return items;
}

bool sameReportFields(std::string_view a, std::string_view b) {
  for (const char* code : {"%H", "%O", "%C", "%P", "%M", "%Z", "%G", "%D", "%W"})
    if ((a.find(code) != std::string_view::npos) != (b.find(code) != std::string_view::npos)) return false;
  return true;
}

std::vector<ExtensionRule> parseCacheExtensions(std::string_view text) {
  std::vector<ExtensionRule> rules;
  for (std::string_view item : splitCommaList(text)) rules.push_back(ExtensionRule{item, 0});
  return rules;
}

std::vector<ExclusionEntry> parseExclusions(std::string_view text) {
  std::vector<ExclusionEntry> entries;
  for (std::string_view item : splitCommaList(text)) entries.push_back(ExclusionEntry{item});
  return entries;
}

std::string formatCommaList(const std::vector<ExtensionRule>& rules) {
  std::string out;
  for (const auto& rule : rules) {
    if (!out.empty()) out += ',';
    out += rule.Name;
  }
  return out;
}

std::vector<ExtensionRule> parseExtensionList(std::string_view text) {
  std::vector<ExtensionRule> rules;
  std::size_t pos = 0;
  while (pos < text.size()) {
    bool comma = false;
    std::string_view extension = takeField(text, pos, comma);
    if (!comma) break;
    std::string_view level = takeField(text, pos, comma);
    rules.push_back(ExtensionRule{extension, parseNumber(level)});
    if (!comma) break;
  }
  return rules;
}

std::string formatExtensionList(const std::vector<ExtensionRule>& rules) {
  std::string out;
  for (const auto& rule : rules) {
    if (!out.empty()) out += ',';
    out += std::string(rule.Name) + "," + std::to_string(rule.Level);
  }
  return out;
}

std::vector<std::string_view> splitMultiString(std::string_view data) {
  std::vector<std::string_view> strings;
  std::size_t pos = 0;
  while (pos < data.size()) {
    std::size_t end = data.find('\0', pos);
    if (end == std::string_view::npos) end = data.size();
    if (end == pos) break;  // the empty string ends the list
    strings.push_back(data.substr(pos, end - pos));
    pos = end + 1;
  }
  return strings;
}

EntryParse parseMimeEntry(std::string_view entry, std::vector<MimeRule>& rules) {
  std::size_t pos = 0;
  MimeRule top;
  bool more = false;
  if (!takeTriple(entry, pos, top, more)) return EntryParse::kIncomplete;
  const std::string type = top.Name.str();
  rules.push_back(std::move(top));
  // As the append operation does: a sub-type goes under the first type of its name, which
  // is an earlier one when the list names a type twice.
  MimeRule* owner = &rules.back();
  for (MimeRule& rule : rules)
    if (rule.Name.str() == type) {
      owner = &rule;
      break;
    }
  while (more) {
    MimeRule sub;
    if (!takeTriple(entry, pos, sub, more)) return EntryParse::kSubTypesCut;
    owner->SubTypes.push_back(std::move(sub));
  }
  return EntryParse::kComplete;
}

std::vector<MimeRule> parseMimeTypes(std::string_view multiString) {
  std::vector<MimeRule> rules;
  for (std::string_view entry : splitMultiString(multiString))
    if (parseMimeEntry(entry, rules) == EntryParse::kIncomplete) break;
  return rules;
}

std::string formatMimeTypes(const std::vector<MimeRule>& rules) {
  std::string out;
  for (const auto& rule : rules) {
    appendEntry(out, rule);
    out += '\0';
  }
  out += '\0';
  return out;
}

std::optional<BrowserRule> parseBrowserValue(std::string_view displayName, std::string_view data) {
  auto strings = splitMultiString(data);
  BrowserRule rule;
  rule.DisplayName = displayName;
  // A search term alone (an empty one too, whose value is only the final NULs) is a
  // browser without MIME rules: the console writes such values.
  if (strings.empty()) return rule;
  const std::size_t comma = strings[0].find(',');
  if (comma == std::string_view::npos) {
    if (strings.size() != 1) return std::nullopt;
    rule.SearchTerm = strings[0];
    return rule;
  }
  rule.SearchTerm = strings[0].substr(0, comma);
  // "term," and nothing more: how earlier upgrades wrote a browser without MIME rules.
  if (comma + 1 == strings[0].size() && strings.size() == 1) return rule;
  if (parseMimeEntry(strings[0].substr(comma + 1), rule.MimeRules) != EntryParse::kComplete) return std::nullopt;
  for (std::size_t i = 1; i < strings.size(); ++i)
    if (parseMimeEntry(strings[i], rule.MimeRules) != EntryParse::kComplete) return std::nullopt;
  return rule;
}

std::string formatBrowserValue(const BrowserRule& rule) {
  std::string out(rule.SearchTerm);
  for (std::size_t i = 0; i < rule.MimeRules.size(); ++i) {
    if (i == 0) {
      out += ',';
    }
    appendEntry(out, rule.MimeRules[i]);
    out += '\0';
  }
  if (rule.MimeRules.empty()) out += '\0';
  out += '\0';
  return out;
}

namespace {

template <typename Text>
void cut(Text& text, std::size_t width) {
  if (text.size() > width) text = std::string_view(text).substr(0, width);
}

void cutMimeRules(std::vector<MimeRule>& rules) {
  for (MimeRule& rule : rules) {
    cut(rule.Name, kMimeNameChars);
    cutMimeRules(rule.SubTypes);
  }
}

}  // namespace

void cutToRecordWidths(SiteSettings& site) {
  for (ExtensionRule& rule : site.CacheExt) cut(rule.Name, kExtensionNameChars);
  for (ExtensionRule& rule : site.FileExtensions) cut(rule.Name, kExtensionNameChars);
  for (ExclusionEntry& entry : site.NewExclude) cut(entry.Pattern, kPatternChars);
  cutMimeRules(site.MimeTypes);
  for (BrowserRule& browser : site.Browsers) {
    cut(browser.DisplayName, kDisplayNameChars);
    cut(browser.SearchTerm, kSearchTermChars);
    cutMimeRules(browser.MimeRules);
  }
}

}  // namespace settings
