// The text encodings of the rule lists: leniency and strictness as the store's readers
// expect, and that what the writers produce reads back the same.

#include <gtest/gtest.h>

#include <string>

#include "settings/default_tables.h"
#include "settings/rule_lists.h"

namespace {

using namespace settings;

struct NumberCase {
  const char* text;
  std::int32_t value;
};

std::ostream& operator<<(std::ostream& out, const NumberCase& c) { return out << '"' << c.text << '"'; }

class ParseNumberTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(ParseNumberTest, ReadsLikeAtoi) { EXPECT_EQ(parseNumber(GetParam().text), GetParam().value); }

INSTANTIATE_TEST_SUITE_P(Texts, ParseNumberTest,
                         ::testing::Values(NumberCase{"800", 800}, NumberCase{"  42", 42}, NumberCase{"12abc", 12},
                                           NumberCase{"abc", 0}, NumberCase{"", 0}, NumberCase{"-7", -7},
                                           NumberCase{"+9", 9}, NumberCase{"\t\n5x", 5}, NumberCase{"- 5", 0},
                                           NumberCase{"3000000000", static_cast<std::int32_t>(3000000000u)},
                                           NumberCase{"99999999999999999999999", -1}));

std::vector<std::string> names(const std::vector<ExtensionRule>& rules) {
  std::vector<std::string> out;
  for (const auto& r : rules) out.push_back(r.Name.str() + "=" + std::to_string(r.Level));
  return out;
}

TEST(ExtensionListTest, PairsAreReadUntilAnExtensionLacksItsLevel) {
  EXPECT_EQ(names(parseExtensionList(".asp,1,.htm,9")), (std::vector<std::string>{".asp=1", ".htm=9"}));
  EXPECT_EQ(names(parseExtensionList(".asp,1,.htm")), std::vector<std::string>{".asp=1"});
  EXPECT_EQ(names(parseExtensionList(".asp,1,.htm,")), (std::vector<std::string>{".asp=1", ".htm=0"}));
  EXPECT_TRUE(parseExtensionList("").empty());
  EXPECT_TRUE(parseExtensionList(".asp").empty());
}

TEST(ExtensionListTest, LongExtensionsAreCutToTenCharacters) {
  auto rules = parseExtensionList(".verylongextension,5");
  ASSERT_EQ(rules.size(), 1u);
  EXPECT_EQ(rules[0].Name.str(), ".verylonge");
  EXPECT_EQ(formatExtensionList(rules), ".verylonge,5");
}

TEST(CommaListTest, SplitsAtCommasWithoutTrimming) {
  auto items = parseExclusions("*.dll, *.exe,C:\\Inetpub\\wwwroot\\private");
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[1].Pattern.str(), " *.exe");
  EXPECT_TRUE(parseCacheExtensions("").empty());
  EXPECT_EQ(formatCommaList(parseCacheExtensions(".htm,.html")), ".htm,.html");
}

std::string multi(std::initializer_list<const char*> strings) {
  std::string out;
  for (const char* s : strings) out += std::string(s) + '\0';
  return out + '\0';
}

TEST(MimeTypesTest, AnIncompleteFirstTripleEndsTheWholeList) {
  auto rules = parseMimeTypes(multi({"text,1,9", "image,0,0,bmp,1", "audio,0", "message,0,0"}));
  ASSERT_EQ(rules.size(), 2u);
  EXPECT_EQ(rules[0].Name.str(), "text");
  EXPECT_TRUE(rules[1].SubTypes.empty());  // the short sub-type triple ended its sub-types only
}

TEST(MimeTypesTest, AShortSubTypeTripleKeepsTheSubTypesBeforeIt) {
  auto rules = parseMimeTypes(multi({"application,0,0,msword,1,9,postscript,1", "image,0,0"}));
  ASSERT_EQ(rules.size(), 2u);
  ASSERT_EQ(rules[0].SubTypes.size(), 1u);
  EXPECT_EQ(rules[0].SubTypes[0].Name.str(), "msword");
  EXPECT_EQ(rules[0].SubTypes[0].Level, 9);
}

TEST(MimeTypesTest, DataWithoutItsFinalTerminatorsStillParses) {
  auto rules = parseMimeTypes(std::string("text,1,9"));
  ASSERT_EQ(rules.size(), 1u);
  EXPECT_EQ(rules[0].Level, 9);
}

TEST(MimeTypesTest, TheDefaultTableReadsBackWithFiveTypesAndNineSubTypes) {
  auto table = buildDefaultMimeTable();
  ASSERT_TRUE(table);
  std::string stored = formatMimeTypes(*table);
  EXPECT_EQ(stored.substr(stored.size() - 2), std::string(2, '\0'));
  auto back = parseMimeTypes(stored);
  ASSERT_EQ(back.size(), 5u);
  std::size_t subs = 0;
  for (const auto& r : back) subs += r.SubTypes.size();
  EXPECT_EQ(subs, 9u);
  EXPECT_EQ(formatMimeTypes(back), stored);
}

TEST(BrowserValueTest, TheSearchTermIsTheFirstStringUpToItsComma) {
  auto rule = parseBrowserValue("Opera 5", multi({"Opera/5.,application,0,0,msword,0,0", "text,1,9"}));
  ASSERT_TRUE(rule);
  EXPECT_EQ(rule->SearchTerm.str(), "Opera/5.");
  ASSERT_EQ(rule->MimeRules.size(), 2u);
  EXPECT_EQ(rule->MimeRules[0].SubTypes.size(), 1u);
  EXPECT_EQ(rule->MimeRules[1].Name.str(), "text");
}

TEST(BrowserValueTest, AnyFaultRejectsTheValue) {
  EXPECT_FALSE(parseBrowserValue("X", multi({"OnlyATerm"})));
  EXPECT_FALSE(parseBrowserValue("X", multi({"Term,text,1"})));
  EXPECT_FALSE(parseBrowserValue("X", multi({"Term,text,1,9,html,1"})));
  EXPECT_FALSE(parseBrowserValue("X", multi({"Term,text,1,9", "image,0"})));
  EXPECT_FALSE(parseBrowserValue("X", std::string()));
}

TEST(BrowserValueTest, ARuleWithThreeEntriesIsWrittenAsThreeStrings) {
  auto table = buildDefaultBrowserTable();
  ASSERT_TRUE(table);
  const BrowserRule& netscape = (*table)[4];
  ASSERT_EQ(netscape.DisplayName.str(), "Netscape 4.6");
  std::string stored = formatBrowserValue(netscape);
  auto strings = splitMultiString(stored);
  ASSERT_EQ(strings.size(), 3u);
  EXPECT_EQ(strings[0],
            "Mozilla/4.6!MSIE,application,0,0,msword,0,0,postscript,0,0,vnd.ms-excel,0,0,vnd.ms-powerpoint,0,0,"
            "vnd.ms-works,0,0,x-javascript,0,0,x-msaccess,0,0");
  EXPECT_EQ(strings[1], "image,0,0,bmp,0,0");
  EXPECT_EQ(strings[2], "text,0,0,html,1,9,plain,1,9,xml,1,9");
  auto back = parseBrowserValue("Netscape 4.6", stored);
  ASSERT_TRUE(back);
  EXPECT_EQ(formatBrowserValue(*back), stored);
}

}  // namespace
