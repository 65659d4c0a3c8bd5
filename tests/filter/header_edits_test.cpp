// The response header's fields: the one-pass index answers as the scan over the text does.

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "filter/header_edits.h"

namespace {

using filter::FieldIndex;
using filter::FindField;

TEST(HeaderEditsTest, FieldsAreWholeNamesAtLineStartsBeforeTheBlankLine) {
  const std::string header =
      "HTTP/1.1 200 OK\r\n"
      "X-Note: Content-Type: text/plain\r\n"
      "content-type:  text/html \r\n"
      "Content-Typo: no\r\n"
      "Cache-Control: public\n"
      "Cache-Control: private\r\n"
      "\r\n"
      "Set-Cookie: in the body\r\n";
  const FieldIndex fields(header);
  for (const auto& find : {std::function([&](std::string_view n, std::size_t f) { return FindField(header, n, f); }),
                           std::function([&](std::string_view n, std::size_t f) { return fields.find(n, f); })}) {
    const auto type = find("Content-Type", 0);
    ASSERT_TRUE(type);
    EXPECT_EQ(type->value, "text/html");
    EXPECT_EQ(header.substr(type->start, type->end - type->start), "content-type:  text/html \r\n");
    EXPECT_FALSE(find("HTTP/1.1 200 OK", 0));
    EXPECT_FALSE(find("Set-Cookie", 0));  // behind the blank line
    const auto first = find("Cache-Control", 0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->value, "public");
    const auto second = find("Cache-Control", first->end);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->value, "private");
    EXPECT_FALSE(find("Cache-Control", second->end));
  }
  EXPECT_TRUE(filter::PrivateResponse(fields));
  EXPECT_FALSE(filter::PrivateResponse(FieldIndex("HTTP/1.1 200 OK\r\nCache-Control: public\r\n\r\n")));
  EXPECT_TRUE(filter::PrivateResponse(FieldIndex("HTTP/1.1 200 OK\r\nSet-Cookie: a=b\r\n\r\n")));
}

// Headers made of a few names in any case, any line ends and blanks, values that name other
// fields, duplicates, no blank line, and more lines than the index keeps.
TEST(HeaderEditsTest, TheIndexAnswersEveryQuestionAsTheScanDoes) {
  const std::vector<std::string> names = {"Content-Type", "Content-Length", "Set-Cookie", "Cache-Control",
                                          "Content-Range", "ETag", "tamsic", "Content-Encoding"};
  std::mt19937 random(20261208);
  auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
  for (int round = 0; round < 3000; ++round) {
    std::string header = "HTTP/1.1 200 OK\r\n";
    const std::size_t lines = pick(round % 10 == 0 ? 70 : 12);
    for (std::size_t i = 0; i < lines; ++i) {
      std::string name = names[pick(names.size())];
      for (char& c : name)
        if (pick(3) == 0) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (pick(8) == 0) name += "x";
      header += name;
      header += pick(6) == 0 ? "" : ":";
      header += std::string(pick(3), pick(2) ? ' ' : '\t');
      header += pick(4) == 0 ? names[pick(names.size())] + ": v" : "value" + std::to_string(i);
      header += std::string(pick(2), ' ');
      header += pick(5) == 0 ? "\n" : "\r\n";
    }
    if (pick(4) != 0) header += "\r\nSet-Cookie: after\r\n";
    const FieldIndex fields(header);
    for (const std::string& name : names) {
      for (std::size_t from = 0;;) {
        const auto scanned = FindField(header, name, from);
        const auto indexed = fields.find(name, from);
        ASSERT_EQ(scanned.has_value(), indexed.has_value()) << header << name << " from " << from;
        if (!scanned) break;
        ASSERT_EQ(scanned->start, indexed->start);
        ASSERT_EQ(scanned->end, indexed->end);
        ASSERT_EQ(scanned->value, indexed->value);
        ASSERT_EQ(scanned->value.data(), indexed->value.data());
        from = scanned->end;
      }
    }
  }
}

}  // namespace
