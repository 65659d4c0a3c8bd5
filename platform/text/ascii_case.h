#pragma once
// Names compared as Windows and HTTP compare them: ASCII letters without regard to case,
// every other byte as it is. No locale is asked: these run several times per request.

#include <string>
#include <string_view>

namespace platform::text {

constexpr char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

constexpr bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  return true;
}

// Where needle first occurs in text without regard to case, or npos.
constexpr std::size_t findNoCase(std::string_view text, std::string_view needle) {
  for (std::size_t at = 0; at + needle.size() <= text.size(); ++at)
    if (equalsNoCase(text.substr(at, needle.size()), needle)) return at;
  return std::string_view::npos;
}

inline void lowerInPlace(std::string& text) {
  for (char& c : text) c = lowerAscii(c);
}

inline std::string lowered(std::string_view text) {
  std::string out(text);
  lowerInPlace(out);
  return out;
}

}  // namespace platform::text
