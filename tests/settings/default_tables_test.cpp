// The built-in tables, in the order they are stored.

#include <gtest/gtest.h>

#include "settings/default_tables.h"
#include "settings/rule_lists.h"

namespace {

using namespace settings;

TEST(DefaultTablesTest, ExtensionTableGivesScriptsTheFastestLevel) {
  auto table = buildDefaultExtensionTable();
  ASSERT_TRUE(table);
  EXPECT_EQ(formatExtensionList(*table),
            ".asp,1,.cgi,1,.php,1,.pl,1,.cfm,1,.css,9,.htm,9,.html,9,.js,9,.mdb,9,.txt,9,.xml,9,.xsl,9,.bmp,9");
  auto cache = buildDefaultCacheList();
  ASSERT_TRUE(cache);
  EXPECT_EQ(formatCommaList(*cache), ".htm,.html,.txt,.xml");
  EXPECT_EQ((*cache)[0].Level, 9);
}

TEST(DefaultTablesTest, BrowserTableHasEightRulesInOrder) {
  auto table = buildDefaultBrowserTable();
  ASSERT_TRUE(table);
  const std::pair<const char*, const char*> expected[] = {
      {"Internet Explorer", "MSIE 4."},      {"Internet Explorer 5.0", "MSIE 5.0"},
      {"Internet Explorer 5.5", "MSIE 5.5"}, {"Internet Explorer 6.0", "MSIE 6."},
      {"Netscape 4.6", "Mozilla/4.6!MSIE"},  {"Netscape 4.7", "Mozilla/4.7!MSIE"},
      {"Netscape 6.0", "Netscape6/!MSIE"},   {"Opera 5", "Opera/5."}};
  ASSERT_EQ(table->size(), 8u);
  for (std::size_t i = 0; i < 8; ++i) {
    EXPECT_EQ((*table)[i].DisplayName.str(), expected[i].first);
    EXPECT_EQ((*table)[i].SearchTerm.str(), expected[i].second);
  }
  EXPECT_EQ(formatBrowserValue((*table)[1]), std::string("MSIE 5.0,text,1,9,css,0,0\0\0", 27));
  EXPECT_EQ(formatBrowserValue((*table)[0]), std::string("MSIE 4.,text,0,0,html,1,9,plain,1,9,xml,1,9\0\0", 45));
}

TEST(DefaultTablesTest, SubTypesGoUnderTheFirstRuleOfExactlyThatName) {
  std::vector<MimeRule> rules;
  ASSERT_TRUE(appendMimeRule(rules, "text", 1, 9));
  ASSERT_TRUE(appendMimeRule(rules, "text", 0, 0));
  ASSERT_TRUE(appendMimeSubType(rules, "text", "html", 1, 9));
  ASSERT_TRUE(appendMimeSubType(rules, "Text", "css", 1, 9));  // case-sensitive: no such type
  ASSERT_TRUE(appendMimeSubType(rules, "image", "bmp", 1, 9));
  EXPECT_EQ(rules[0].SubTypes.size(), 1u);
  EXPECT_TRUE(rules[1].SubTypes.empty());
  ASSERT_TRUE(appendMimeRule(rules, std::string(150, 'a'), 1, 1));
  EXPECT_EQ(rules[2].Name.size(), 99u);
}

}  // namespace
