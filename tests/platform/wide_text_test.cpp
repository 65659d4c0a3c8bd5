// ANSI (UTF-8) and UTF-16 conversions, and the buffer contract of the Win32 calls.

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <string>
#include <vector>

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

// Any cut of valid text ends between characters, as late as the limit allows; a stray run
// of continuation bytes (no character) is cut at the limit.
TEST(WideTextTest, ACutWithinABytesLimitKeepsWholeCharacters) {
  const char* characters[] = {"a", "\xC3\xBC", "\xE6\x97\xA5", "\xF0\x9F\x98\x80"};
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    std::string text;
    std::vector<std::size_t> ends{0};
    for (int i = 0; i < 12; ++i) {
      text += characters[random() % 4];
      ends.push_back(text.size());
    }
    for (std::size_t limit = 0; limit <= text.size() + 1; ++limit) {
      const std::string_view cut = platform::text::cutAtCharacter(text, limit);
      const std::size_t longest = *std::prev(std::upper_bound(ends.begin(), ends.end(), limit));
      ASSERT_EQ(cut, std::string_view(text).substr(0, longest)) << text << " at " << limit;
    }
  }
  EXPECT_EQ(platform::text::cutAtCharacter("a\x80\x80\x80\x80\x80", 4), "a\x80\x80\x80");
}

}  // namespace
