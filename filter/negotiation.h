#pragma once
// What the filter decides about a response before any body byte is touched: the accepted
// encoding, the MIME and browser rules, the exclusion list, the size limits, the "tamsic:"
// directive and the level by extension.

#include <optional>
#include <string_view>

#include "filter/request_state.h"
#include "platform/isapi/httpfilt.h"
#include "settings/site_settings.h"

namespace filter {

// 1 when a coding naming "gzip" is accepted, else 2 for one naming "deflate", else 0
// (case-sensitive substring tests, as browsers of the time sent them). A coding with a
// zero q-value ("gzip;q=0") is refused, not accepted.
AcceptedEncoding ParseAcceptEncoding(std::string_view value);

// The "tamsic:" words (white-space-only, gzip-only, full-compression, no-compression,
// compared without case); kNone for anything else.
Directive DirectiveFromWord(std::string_view word);

// 0 do not compress, 2 forced by a directive, else the matching rule's Compress value.
// contentType is the response's Content-Type value. Sets the state's contentType,
// ruleCompress, level and optimizeMode.
std::int32_t MatchMimeRules(ResponseState& state, const settings::SiteSettings& site,
                            std::optional<std::string_view> contentType);

// Sets pathTranslated (cut to the site's root), url ('\'-separated), physicalPath and
// sourceFile.
bool IsExcluded(HTTP_FILTER_CONTEXT* pfc, ResponseState& state, const settings::SiteSettings& site);

// The URL's extension: its file name from the first '.' on (".htm", ".min.js"), or empty.
// Only the last segment counts: a dot in a folder ("/v1.2/page.htm") is no extension.
std::string_view UrlExtension(std::string_view url);

void SetLevelByExtension(ResponseState& state, const settings::SiteSettings& site);

enum class Decision { kPass, kCapture };

// The decision once a 2xx header is complete (header: the text up to its blank line).
// Captures set Phase::kCompressing, or leave kPassed with OptimizeMode::kAlways (optimise only).
Decision DecideCompression(HTTP_FILTER_CONTEXT* pfc, ResponseState& state, const settings::SiteSettings& site);

}  // namespace filter
