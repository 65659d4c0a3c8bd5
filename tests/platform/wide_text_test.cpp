// ANSI (UTF-8) and UTF-16 conversions, and the buffer contract of the Win32 calls.

#include <gtest/gtest.h>

#include "platform/text/wide_text.h"

namespace {

using platform::text::narrow;
using platform::text::widen;

TEST(WideTextTest, RoundTripsTextOutsideTheBasicPlane) {
  const std::string text = "C:\\Räume\\日本\\\xF0\x9F\x98\x80.htm";
  std::u16string wide = widen(text);
  EXPECT_EQ(wide.size(), 18u);  // the emoji takes a surrogate pair
  EXPECT_EQ(narrow(wide), text);
}

TEST(WideTextTest, MalformedInputBecomesReplacementCharacters) {
  EXPECT_EQ(widen("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(widen("\xE2\x82"), u"\uFFFD\uFFFD");
  EXPECT_EQ(narrow(std::u16string(1, static_cast<char16_t>(0xD800))), "?");
}

TEST(WideTextTest, ConversionIntoAShortBufferFailsWithoutWritingPastIt) {
  WCHAR buffer[4] = {u'x', u'x', u'x', u'x'};
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcd", -1, buffer, 4), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcd", -1, nullptr, 0), 5);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, buffer, 4), 4);
  EXPECT_EQ(std::u16string(buffer), u"abc");
  char out[8];
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"äb", -1, out, sizeof(out), nullptr, nullptr), 4);
  EXPECT_STREQ(out, "äb");
}

}  // namespace
