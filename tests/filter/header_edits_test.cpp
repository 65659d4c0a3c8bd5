// The response header's fields: the one-pass index answers as the scan over the text does.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <utility>
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
  auto varies = [](const char* lines) {
    return filter::VariesBeyondEncoding(FieldIndex(std::string("HTTP/1.1 200 OK\r\n") + lines + "\r\n"));
  };
  EXPECT_FALSE(varies(""));
  EXPECT_FALSE(varies("Vary: Accept-Encoding\r\n"));
  EXPECT_FALSE(varies("vary: ACCEPT-ENCODING ,, \r\nVary:\r\n"));
  EXPECT_TRUE(varies("Vary: Accept-Encoding, User-Agent\r\n"));
  EXPECT_TRUE(varies("Vary: Accept-Encoding\r\nVary: Cookie\r\n"));  // a second line counts too
  EXPECT_TRUE(varies("Vary: *\r\n"));
  // The encoding lines name Accept-Encoding in Vary once, whatever the origin sent.
  auto encoded = [](const char* lines) {
    std::string header = std::string("HTTP/1.1 200 OK\r\n") + lines + "\r\nleft behind";
    filter::AddEncodingLines(header, "gzip");
    return header.substr(std::string_view("HTTP/1.1 200 OK\r\n").size());
  };
  EXPECT_EQ(encoded(""), "Content-Encoding: gzip\r\nVary: Accept-Encoding\r\n\r\n");
  EXPECT_EQ(encoded("Vary: User-Agent\r\n"),
            "Vary: User-Agent\r\nContent-Encoding: gzip\r\nVary: Accept-Encoding\r\n\r\n");
  EXPECT_EQ(encoded("Vary: X-Accept-Encoding\r\n"),
            "Vary: X-Accept-Encoding\r\nContent-Encoding: gzip\r\nVary: Accept-Encoding\r\n\r\n");
  EXPECT_EQ(encoded("vary: Cookie ,accept-encoding \r\n"),
            "vary: Cookie ,accept-encoding \r\nContent-Encoding: gzip\r\n\r\n");
  EXPECT_EQ(encoded("Vary: Cookie\r\nVary: Accept-Encoding\r\n"),
            "Vary: Cookie\r\nVary: Accept-Encoding\r\nContent-Encoding: gzip\r\n\r\n");
  EXPECT_EQ(encoded("Vary: *\r\n"), "Vary: *\r\nContent-Encoding: gzip\r\n\r\n");
}

// The rule written out plainly, apart from the code under test: the lines after the status
// line up to the first empty one, each "name:" at its start in any case, the value without
// the blanks around it.
std::optional<filter::FieldLine> reference(std::string_view header, std::string_view name, std::size_t from) {
  std::vector<std::pair<std::size_t, std::size_t>> lines;  // [start, end) with the line end
  std::size_t start = 0;
  for (std::size_t i = 0; i < header.size(); ++i) {
    if (header[i] != '\n') continue;
    lines.push_back({start, i + 1});
    start = i + 1;
  }
  if (start < header.size()) lines.push_back({start, header.size()});
  auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
  for (std::size_t n = 1; n < lines.size(); ++n) {
    std::string_view text = header.substr(lines[n].first, lines[n].second - lines[n].first);
    if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    if (lines[n].first < from || text.size() <= name.size() || text[name.size()] != ':') continue;
    if (!std::equal(name.begin(), name.end(), text.begin(), [&](char a, char b) { return lower(a) == lower(b); }))
      continue;
    std::string_view value = text.substr(name.size() + 1);
    const std::size_t first = value.find_first_not_of(" \t");
    value = first == std::string_view::npos ? std::string_view() : value.substr(first);
    value = value.substr(0, value.find_last_not_of(" \t") + 1);
    return filter::FieldLine{lines[n].first, lines[n].second, value};
  }
  return std::nullopt;
}

// Headers made of a few names in any case, any line ends and blanks, values that name other
// fields, duplicates, no blank line, and more lines than the index keeps.
TEST(HeaderEditsTest, TheScanAndTheIndexAnswerEveryQuestionAsTheRuleSays) {
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
        const auto expected = reference(header, name, from);
        for (const auto& found : {FindField(header, name, from), fields.find(name, from)}) {
          ASSERT_EQ(found.has_value(), expected.has_value()) << header << name << " from " << from;
          if (!found) continue;
          ASSERT_EQ(found->start, expected->start);
          ASSERT_EQ(found->end, expected->end);
          ASSERT_EQ(found->value.data(), expected->value.data());
          ASSERT_EQ(found->value.size(), expected->value.size());
        }
        if (!expected) break;
        from = expected->end;
      }
    }
  }
}

}  // namespace

// The write time a file's entity tag names, as the server writes the tag (the hexadecimal
// file time before ':'), weak or strong; nothing from a tag of any other form.
TEST(HeaderEditsTest, AnEntityTagNamesItsFilesWriteTimeOnlyInTheServersForm) {
  auto timeOf = [](std::string_view tag) {
    return filter::ETagWriteTime("HTTP/1.1 200 OK\r\nETag: " + std::string(tag) + "\r\n\r\n");
  };
  EXPECT_EQ(timeOf("\"1dd872a1b74d280:aa8\""), 0x1dd872a1b74d280ull);
  EXPECT_EQ(timeOf("W/\"1DD872A1B74D280:0\""), 0x1dd872a1b74d280ull);
  EXPECT_EQ(timeOf("\"ffffffffffffffff:1\""), 0xffffffffffffffffull);
  for (std::string_view other : {"\"1ffffffffffffffff:1\"", "\"abc\"", "\":12\"", "abc:12", "\"12 :3\"", "\"xyz:1\"", ""})
    EXPECT_FALSE(timeOf(other)) << other;
  EXPECT_FALSE(filter::ETagWriteTime("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n"));
}
