#pragma once
// Conversion between the ANSI code page and UTF-16, as MultiByteToWideChar and
// WideCharToMultiByte do. The ANSI code page of this platform is UTF-8 (code page 65001):
// every Windows path and registry text round-trips. Bytes that are not UTF-8 become U+FFFD;
// an unpaired surrogate becomes '?'.

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/win_types.h"

#ifdef _WIN32
#include <windows.h>
#else

constexpr UINT CP_ACP = 0;
constexpr UINT CP_UTF8 = 65001;

// srcLen -1: up to and with the terminator. dstChars 0: returns the size needed. Returns
// the number of units written (terminator included when it was converted), 0 on failure
// (ERROR_INSUFFICIENT_BUFFER when the output does not fit).
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcLen, LPWSTR dst,
                        int dstChars) noexcept;
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcLen, LPSTR dst,
                        int dstBytes, LPCSTR defaultChar, BOOL* usedDefault) noexcept;

#endif  // _WIN32

namespace platform::text {

// Text of WCHAR units: char16_t here, wchar_t on Windows, UTF-16 on both.
using WideString = std::basic_string<WCHAR>;
using WideStringView = std::basic_string_view<WCHAR>;

WideString widen(std::string_view ansi);
std::string narrow(WideStringView wide);

// The longest start of `ansi` of at most `bytes` bytes that does not end inside a
// character: a limit counted in bytes leaves no half character behind.
std::string_view cutAtCharacter(std::string_view ansi, std::size_t bytes);

// The same for UTF-8 text. A cut before a continuation byte would split its character; a
// character has at most three of them, and more in a row may be cut between.
inline std::string_view cutUtf8AtCharacter(std::string_view text, std::size_t bytes) {
  if (text.size() <= bytes) return text;
  const auto continues = [&](std::size_t at) { return (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80; };
  std::size_t cut = bytes;
  for (int i = 0; i < 3 && cut > 0 && continues(cut); ++i) --cut;
  return text.substr(0, continues(cut) ? bytes : cut);
}

}  // namespace platform::text
