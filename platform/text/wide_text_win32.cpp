// Conversions over kernel32's own, in the process's ANSI code page.
#include "platform/text/wide_text.h"

namespace platform::text {

WideString widen(std::string_view ansi) {
  if (ansi.empty()) return {};
  const int length = static_cast<int>(ansi.size());
  const int units = MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, nullptr, 0);
  WideString wide(static_cast<std::size_t>(units), L'\0');
  if (units > 0) MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, wide.data(), units);
  return wide;
}

std::string narrow(WideStringView wide) {
  if (wide.empty()) return {};
  const int length = static_cast<int>(wide.size());
  const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  std::string ansi(static_cast<std::size_t>(bytes), '\0');
  if (bytes > 0) WideCharToMultiByte(CP_ACP, 0, wide.data(), length, ansi.data(), bytes, nullptr, nullptr);
  return ansi;
}

std::string_view cutAtCharacter(std::string_view ansi, std::size_t bytes) {
  if (ansi.size() <= bytes) return ansi;
  const UINT codePage = GetACP();
  if (codePage == CP_UTF8) return cutUtf8AtCharacter(ansi, bytes);
  // A double-byte code page: walk the characters from the start, as a trail byte can look
  // like a lead byte; the last one that ends within the limit ends the cut.
  std::size_t at = 0;
  while (at < bytes) {
    const std::size_t width = IsDBCSLeadByteEx(codePage, static_cast<BYTE>(ansi[at])) ? 2 : 1;
    if (at + width > bytes) break;
    at += width;
  }
  return ansi.substr(0, at);
}

}  // namespace platform::text
