#include "platform/text/wide_text.h"

#include <cstring>

namespace platform::text {

std::u16string widen(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    char32_t cp = 0xFFFD;
    std::size_t len = 1;
    if (b0 < 0x80) {
      cp = b0;
    } else {
      std::size_t need = b0 >= 0xF0 && b0 < 0xF5 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC2 && b0 < 0xE0 ? 2 : 0;
      if (need && i + need <= s.size()) {
        char32_t v = b0 & (need == 2 ? 0x1F : need == 3 ? 0x0F : 0x07);
        bool ok = true;
        for (std::size_t k = 1; k < need; ++k) {
          const auto b = static_cast<unsigned char>(s[i + k]);
          if ((b & 0xC0) != 0x80) {
            ok = false;
            break;
          }
          v = (v << 6) | (b & 0x3F);
        }
        // Reject overlong forms and surrogates encoded in UTF-8.
        bool overlong = (need == 3 && v < 0x800) || (need == 4 && (v < 0x10000 || v > 0x10FFFF));
        if (ok && !overlong && !(v >= 0xD800 && v <= 0xDFFF)) {
          cp = v;
          len = need;
        }
      }
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

std::string narrow(std::u16string_view w) {
  std::string out;
  out.reserve(w.size());
  for (std::size_t i = 0; i < w.size(); ++i) {
    char32_t cp = w[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (w[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = '?';
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

std::string_view cutAtCharacter(std::string_view ansi, std::size_t bytes) { return cutUtf8AtCharacter(ansi, bytes); }

}  // namespace platform::text

namespace {
template <typename Out>
int copyConverted(const Out& converted, typename Out::value_type* dst, int dstUnits) {
  const int need = static_cast<int>(converted.size());
  if (dstUnits == 0) return need;
  if (!dst || dstUnits < need) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(dst, converted.data(), converted.size() * sizeof(typename Out::value_type));
  return need;
}
}  // namespace

int MultiByteToWideChar(UINT, DWORD, LPCSTR src, int srcLen, LPWSTR dst, int dstChars) noexcept try {
  if (!src || srcLen < -1 || dstChars < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string_view in = srcLen == -1 ? std::string_view(src, std::strlen(src) + 1)
                                     : std::string_view(src, static_cast<std::size_t>(srcLen));
  return copyConverted<std::u16string>(platform::text::widen(in), dst, dstChars);
} catch (...) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return 0;
}

int WideCharToMultiByte(UINT, DWORD, LPCWSTR src, int srcLen, LPSTR dst, int dstBytes, LPCSTR,
                        BOOL* usedDefault) noexcept try {
  if (!src || srcLen < -1 || dstBytes < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::size_t n = 0;
  if (srcLen == -1) {
    while (src[n]) ++n;
    ++n;
  } else {
    n = static_cast<std::size_t>(srcLen);
  }
  if (usedDefault) *usedDefault = FALSE;
  return copyConverted<std::string>(
      platform::text::narrow(std::u16string_view(src, n)), dst, dstBytes);
} catch (...) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return 0;
}
