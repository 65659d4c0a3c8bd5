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
                                           // Fault 3: out-of-range numbers clamp as the Windows C
                                           // runtime's atoi does (glibc's turned these negative).
                                           NumberCase{"3000000000", 2147483647}, NumberCase{"4294967296", 2147483647},
                                           NumberCase{"2147483647", 2147483647}, NumberCase{"-2147483648", -2147483648LL},
                                           NumberCase{"-3000000000", -2147483648LL},
                                           NumberCase{"99999999999999999999999", 2147483647}));

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

// The parser keeps texts whole (the console writes back what it did not edit); the loader
// cuts them to the record widths.
TEST(ExtensionListTest, LongExtensionsAreReadWholeAndCutToTenCharactersForTheFilter) {
  SiteSettings site;
  site.FileExtensions = parseExtensionList(".verylongextension,5");
  ASSERT_EQ(site.FileExtensions.size(), 1u);
  EXPECT_EQ(formatExtensionList(site.FileExtensions), ".verylongextension,5");
  cutToRecordWidths(site);
  EXPECT_EQ(site.FileExtensions[0].Name.str(), ".verylonge");
  EXPECT_EQ(formatExtensionList(site.FileExtensions), ".verylonge,5");
}

TEST(RecordWidthsTest, EveryListTextIsCutToItsWidth) {
  SiteSettings site;
  site.CacheExt = parseCacheExtensions(std::string(20, 'c'));
  site.NewExclude = parseExclusions(std::string(600, 'p'));
  site.MimeTypes = parseMimeTypes(std::string(150, 't') + ",1,9," + std::string(120, 's') + ",1,9" + std::string(2, '\0'));
  auto browser = parseBrowserValue(std::string(300, 'd'), std::string(300, 'u') + std::string(2, '\0'));
  ASSERT_TRUE(browser);
  site.Browsers.push_back(*browser);
  cutToRecordWidths(site);
  EXPECT_EQ(site.CacheExt[0].Name.size(), 10u);
  EXPECT_EQ(site.NewExclude[0].Pattern.size(), 511u);
  EXPECT_EQ(site.MimeTypes[0].Name.size(), 99u);
  EXPECT_EQ(site.MimeTypes[0].SubTypes[0].Name.size(), 99u);
  EXPECT_EQ(site.Browsers[0].DisplayName.size(), 254u);
  EXPECT_EQ(site.Browsers[0].SearchTerm.size(), 255u);
}

// Fault 4: the dialogs ask this before they store a text as a list item.
TEST(ListItemTest, ACommaOrANulCannotBeAListItem) {
  EXPECT_TRUE(canHoldListItem("C:/web;root/a.htm"));
  EXPECT_TRUE(canHoldListItem(""));
  EXPECT_FALSE(canHoldListItem("a,b"));
  EXPECT_FALSE(canHoldListItem(std::string("a\0b", 3)));
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
  EXPECT_FALSE(parseBrowserValue("X", multi({"Term,text,1"})));
  EXPECT_FALSE(parseBrowserValue("X", multi({"Term,text,1,9,html,1"})));
  EXPECT_FALSE(parseBrowserValue("X", multi({"Term,text,1,9", "image,0"})));
  EXPECT_FALSE(parseBrowserValue("X", multi({"OnlyATerm", "text,1,9"})));  // entries without a first one
}

// Fault 1: the console writes a browser added without MIME types as its search term alone.
TEST(BrowserValueTest, ASearchTermAloneIsABrowserWithoutMimeRules) {
  for (const std::string& data : {multi({"Lynx"}), std::string("Lynx", 4), std::string("Lynx\0", 5)}) {
    auto rule = parseBrowserValue("Lynx", data);
    ASSERT_TRUE(rule);
    EXPECT_EQ(rule->SearchTerm.str(), "Lynx");
    EXPECT_TRUE(rule->MimeRules.empty());
    EXPECT_EQ(formatBrowserValue(*rule), multi({"Lynx"}));
  }
  // Earlier upgrades wrote "term," for a browser without MIME rules.
  auto upgraded = parseBrowserValue("Lynx", multi({"Lynx,"}));
  ASSERT_TRUE(upgraded);
  EXPECT_EQ(upgraded->SearchTerm.str(), "Lynx");
  EXPECT_TRUE(upgraded->MimeRules.empty());
  auto empty = parseBrowserValue("Any", std::string(2, '\0'));  // an empty search term
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->SearchTerm.str(), "");
  EXPECT_EQ(formatBrowserValue(*empty), std::string(2, '\0'));
}

// Fault 10: a list that names a type twice puts the second one's sub-types under the first,
// as the append operation does, and reads back the same after it is written.
TEST(MimeTypesTest, ASubTypeGoesUnderTheFirstTypeOfItsName) {
  auto rules = parseMimeTypes(multi({"text,1,9", "image,0,0", "text,0,0,css,0,0"}));
  ASSERT_EQ(rules.size(), 3u);
  ASSERT_EQ(rules[0].SubTypes.size(), 1u);
  EXPECT_EQ(rules[0].SubTypes[0].Name.str(), "css");
  EXPECT_TRUE(rules[2].SubTypes.empty());
  const std::string written = formatMimeTypes(rules);
  EXPECT_EQ(formatMimeTypes(parseMimeTypes(written)), written);
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
