#include "stats/page_line.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "settings/rule_lists.h"

namespace stats {

namespace {

constexpr std::size_t kMaxUrl = 511;
constexpr std::size_t kMaxMimeType = 255;

std::string fieldText(std::string_view text, bool url) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == ',') {
      out += ';';
    } else if (c == '\\' && url) {
      out += '/';
    } else if (c == '\r' || c == '\n') {
      out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

std::vector<std::string_view> splitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = line.find(',', start);
    fields.push_back(line.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (comma == std::string_view::npos) return fields;
    start = comma + 1;
  }
}

long long number(std::string_view text) { return settings::parseNumber(text); }

}  // namespace

bool maskHas(std::string_view mask, std::string_view code) { return mask.find(code) != std::string_view::npos; }

std::string formatPageLine(const LoggedResponse& r, std::string_view mask) {
  const long long before = r.unoptimizedSize != 0 ? r.unoptimizedSize : r.bodyLength;
  std::string line = fieldText(std::string_view(r.url).substr(0, kMaxUrl), true);
  line += "," + std::to_string(before) + "," + std::to_string(r.bodyLength) + "," + std::to_string(r.sentLength);
  if (maskHas(mask, "%P")) {
    char percent[64];
    std::snprintf(percent, sizeof(percent), ",%.2f",
                  100.0 - 100.0 * static_cast<double>(r.sentLength) / static_cast<double>(before));
    line += percent;
  }
  if (maskHas(mask, "%M")) line += "," + fieldText(std::string_view(r.contentType).substr(0, kMaxMimeType), false);
  if (maskHas(mask, "%Z")) line += r.servedFromCache ? ",1" : ",0";
  if (maskHas(mask, "%G")) line += r.acceptedEncoding == 1 ? ",1" : ",0";
  if (maskHas(mask, "%D")) line += r.acceptedEncoding == 2 ? ",1" : ",0";
  return line + "\r\n";
}

std::optional<PageLine> parsePageLine(std::string_view line, std::string_view mask) {
  const std::vector<std::string_view> fields = splitFields(line);
  if (fields.size() < 4 || fields[0].empty()) return std::nullopt;
  for (std::size_t i = 1; i <= 3; ++i)
    if (fields[i].empty()) return std::nullopt;
  PageLine page;
  page.url = std::string(fields[0]);
  page.originalSize = number(fields[1]);
  page.optimizedSize = number(fields[2]);
  page.compressedSize = number(fields[3]);
  std::size_t next = 4;
  // The MIME type may be empty (a response without one); the numbers may not.
  auto take = [&](bool mayBeEmpty) -> std::optional<std::string_view> {
    if (next >= fields.size() || (!mayBeEmpty && fields[next].empty())) return std::nullopt;
    return fields[next++];
  };
  if (maskHas(mask, "%P")) {
    auto f = take(false);
    if (!f) return std::nullopt;
    page.percentSaved = std::strtod(std::string(*f).c_str(), nullptr);
    if (!std::isfinite(page.percentSaved)) page.percentSaved = 0;  // a damaged line's, printed as a number
  }
  if (maskHas(mask, "%M")) {
    auto f = take(true);
    if (!f) return std::nullopt;
    page.mimeType = std::string(*f);
  }
  for (auto [code, field] : {std::pair{"%Z", &page.cacheHit}, std::pair{"%G", &page.gzipHit},
                             std::pair{"%D", &page.deflateHit}}) {
    if (!maskHas(mask, code)) continue;
    auto f = take(false);
    if (!f) return std::nullopt;
    *field = number(*f);
  }
  return page;
}

}  // namespace stats
