// The rule editors behind "Advanced": MIME types, browsers with the precedence messages,
// file extensions and the size limits.

#include "tests/console/console_fixture.h"
#include "tests/console/dialog_names.h"

namespace console_tests {
namespace {


// A literal with its NULs (multi-strings), without the terminator C++ adds.
template <std::size_t N>
std::string bytes(const char (&text)[N]) {
  return std::string(text, N - 1);
}

class RuleEditorsTest : public ConsoleTest {
 protected:
  void SetUp() override {
    ConsoleTest::SetUp();
    createSiteKey(1, "Shop");
    setMulti("MimeTypes", bytes("text,1,9\0image,0,0,bmp,1,9\0\0"));
    writeText(siteKey(1) + "\\Browsers", "IE", "MSIE 4.,text,0,0,html,1,9");
    sheet = openSheet(1, "Shop");
  }
  static void setMulti(const char* name, const std::string& data) {
    UniqueKey key;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, siteKey(1).c_str(), 0, KEY_ALL_ACCESS, key.put());
    RegSetValueExA(key.get(), name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                   static_cast<DWORD>(data.size()));
  }
  void open(const char* button) {
    driver().click(sheet, "Advanced");
    driver().click(kAdvanced, button);
  }
  void finish(const char* editor) {
    driver().click(editor, "OK");
    driver().click(kAdvanced, "OK");
    driver().click(sheet, "Apply");
  }
  std::vector<std::string> treeTexts(const char* editor) {
    std::vector<std::string> texts;
    for (const auto& item : driver().control(editor, kTree).tree) texts.push_back(std::string(item.depth * 2, ' ') + item.text);
    return texts;
  }
  std::string messageText() {
    for (const auto& c : driver().window("Tamsic").controls)
      if (c.className == WC_STATIC) return c.text;
    return {};
  }
  // Adds name through the MIME dialog opened by "Add" (captioned as expected).
  void addMime(const char* editor, const std::string& caption, const std::string& name) {
    driver().click(editor, kAdd);  // its caption changes with the selection
    driver().type(caption, kMimeName, name);
    driver().click(caption, "OK");
  }
  std::string sheet;
};

TEST_F(RuleEditorsTest, MimeEditorWarnsWhenABrowserRuleDecidesAndCancelAddsNothing) {
  open("MIME Types");
  EXPECT_EQ(treeTexts(kMimeList), (std::vector<std::string>{"MIME Types", "  text", "  image", "    bmp"}));
  driver().selectTreeItem(kMimeList, kTree, "MIME Types/text");
  addMime(kMimeList, "Add MIME sub-type", "html");
  EXPECT_EQ(messageText(), "A setting in Browsers for text/html will take precedence over this setting.");
  driver().click("Tamsic", "Cancel");
  EXPECT_EQ(treeTexts(kMimeList).size(), 4u);

  driver().selectTreeItem(kMimeList, kTree, "MIME Types/text");
  addMime(kMimeList, "Add MIME sub-type", "html");
  driver().click("Tamsic", "OK");
  const auto tree = driver().control(kMimeList, kTree).tree;
  ASSERT_EQ(tree.size(), 5u);
  EXPECT_EQ(tree[2].text, "html");
  EXPECT_TRUE(tree[2].selected);

  driver().selectTreeItem(kMimeList, kTree, "MIME Types");
  addMime(kMimeList, "Add top-level MIME type", "TEXT");  // names compare without case
  EXPECT_EQ(messageText(), "A setting in Browsers for TEXT will take precedence over this setting.");
  driver().click("Tamsic", "Cancel");
  addMime(kMimeList, "Add top-level MIME type", "video");  // no browser decides: no question
  EXPECT_FALSE(driver().isOpen("Tamsic"));
  finish(kMimeList);
  EXPECT_EQ(siteValue(1, "MimeTypes"), bytes("text,1,9,html,0,6\0image,0,0,bmp,1,9\0video,0,6\0\0"));
}

TEST_F(RuleEditorsTest, MimeEditorEditsAndItsCancelKeepsTheList) {
  open("MIME Types");
  driver().selectTreeItem(kMimeList, kTree, "MIME Types/image/bmp");
  driver().click(kMimeList, "Edit");
  EXPECT_EQ(driver().control("Edit MIME sub-type", kMimeName).text, "bmp");
  EXPECT_EQ(driver().control("Edit MIME sub-type", kCompress).check, 1);
  EXPECT_EQ(driver().control("Edit MIME sub-type", kLevel).position, 9);
  driver().type("Edit MIME sub-type", kMimeName, "png");
  driver().click("Edit MIME sub-type", kCompress);
  driver().setSlider("Edit MIME sub-type", kLevel, 2);
  driver().click("Edit MIME sub-type", "OK");
  EXPECT_EQ(treeTexts(kMimeList).back(), "    png");
  driver().click(kMimeList, "OK");
  // A second editing session removes a type and is cancelled: the list stays.
  driver().click(kAdvanced, "MIME Types");
  driver().selectTreeItem(kMimeList, kTree, "MIME Types/text");
  driver().click(kMimeList, "Remove");
  EXPECT_EQ(treeTexts(kMimeList).size(), 3u);
  driver().click(kMimeList, "Cancel");
  driver().click(kAdvanced, "OK");
  driver().click(sheet, "Apply");
  EXPECT_EQ(siteValue(1, "MimeTypes"), bytes("text,1,9\0image,0,0,png,0,2\0\0"));
}

TEST_F(RuleEditorsTest, RestoreDefaultsGivesTheConsolesMimeList) {
  open("MIME Types");
  driver().click(kMimeList, "Restore Defaults");
  EXPECT_EQ(treeTexts(kMimeList).size(), 1u + 5u + 9u);
  finish(kMimeList);
  EXPECT_EQ(siteValue(1, "MimeTypes"),
            bytes("text,1,9\0application,0,0,msword,1,9,postscript,1,9,vnd.ms-excel,1,9,vnd.ms-powerpoint,1,9,"
                        "vnd.ms-works,1,9,x-msaccess,1,9\0audio,0,0,wav,1,9\0image,0,0,bmp,1,9\0message,0,0,rfc822,1,9\0\0"));
}

TEST_F(RuleEditorsTest, BrowserEditorWarnsWhenTheMimeListHasTheType) {
  open("Browsers");
  EXPECT_EQ(treeTexts(kBrowserList), (std::vector<std::string>{"Browsers", "  IE", "    text", "      html"}));
  driver().selectTreeItem(kBrowserList, kTree, "Browsers");
  EXPECT_EQ(driver().control(kBrowserList, 1111).text, "Add New Browser");
  driver().selectTreeItem(kBrowserList, kTree, "Browsers/IE");
  EXPECT_EQ(driver().control(kBrowserList, 1111).text, "Insert MIME Type");
  addMime(kBrowserList, "Add top-level MIME type for IE", "image");
  EXPECT_EQ(messageText(), "This will take precedence over the image setting in MIME Types.");
  driver().click("Tamsic", "OK");
  driver().selectTreeItem(kBrowserList, kTree, "Browsers/IE/image");
  EXPECT_EQ(driver().control(kBrowserList, 1111).text, "Insert MIME Subtype");
  addMime(kBrowserList, "Add MIME sub-type for IE", "bmp");
  EXPECT_EQ(messageText(), "This will take precedence over the image/bmp setting in MIME Types.");
  driver().click("Tamsic", "Cancel");
  addMime(kBrowserList, "Add MIME sub-type for IE", "gif");
  EXPECT_FALSE(driver().isOpen("Tamsic"));
  finish(kBrowserList);
  EXPECT_EQ(readValue(siteKey(1) + "\\Browsers", "IE"),
            bytes("MSIE 4.,text,0,0,html,1,9\0image,0,6,gif,0,6\0\0"));
}

TEST_F(RuleEditorsTest, ANewBrowserWithoutSearchTextSearchesForItsName) {
  open("Browsers");
  driver().selectTreeItem(kBrowserList, kTree, "Browsers");
  driver().click(kBrowserList, kAdd);
  driver().type("Add Browser", kBrowserName, "Lynx");
  driver().click("Add Browser", "OK");
  driver().selectTreeItem(kBrowserList, kTree, "Browsers/IE");
  driver().click(kBrowserList, "Edit");
  EXPECT_EQ(driver().control("Edit Browser", kSearchText).text, "MSIE 4.");
  driver().type("Edit Browser", kBrowserName, "Explorer");
  driver().click("Edit Browser", "OK");
  finish(kBrowserList);
  const std::string browsers = siteKey(1) + "\\Browsers";
  EXPECT_EQ(valueNames(browsers), (std::vector<std::string>{"Explorer", "Lynx"}));  // the renamed IE goes
  EXPECT_EQ(readValue(browsers, "Lynx"), bytes("Lynx\0\0"));
}

// A value keeps the spelling it was first written with, so a new spelling is a new value.
TEST_F(RuleEditorsTest, ABrowserRenamedOnlyInLetterCaseIsStoredUnderItsNewName) {
  open("Browsers");
  driver().selectTreeItem(kBrowserList, kTree, "Browsers/IE");
  driver().click(kBrowserList, "Edit");
  driver().type("Edit Browser", kBrowserName, "ie");
  driver().click("Edit Browser", "OK");
  finish(kBrowserList);
  EXPECT_EQ(valueNames(siteKey(1) + "\\Browsers"), std::vector<std::string>{"ie"});
}

TEST_F(RuleEditorsTest, CancellingTheBrowserEditorKeepsItsEdits) {
  open("Browsers");
  driver().selectTreeItem(kBrowserList, kTree, "Browsers/IE");
  driver().click(kBrowserList, "Remove");
  driver().click(kBrowserList, "Cancel");
  driver().click(kAdvanced, "OK");
  driver().click(sheet, "Apply");
  EXPECT_TRUE(valueNames(siteKey(1) + "\\Browsers").empty());
}

TEST_F(RuleEditorsTest, AnEmptyBrowserListOpensWithTheDefaults) {
  const std::string two = openSheet(2, "Shop Two");
  driver().click(two, "Advanced");
  driver().click(kAdvanced, "Browsers");
  const auto tree = driver().control(kBrowserList, kTree).tree;
  std::vector<std::string> browsers;
  for (const auto& item : tree)
    if (item.depth == 1) browsers.push_back(item.text);
  EXPECT_EQ(browsers, (std::vector<std::string>{"Internet Explorer", "Internet Explorer 5.0", "Internet Explorer 5.5",
                                                "Internet Explorer 6.0", "Netscape 4.6", "Netscape 4.7", "Netscape 6.0",
                                                "Opera 5"}));
}

TEST_F(RuleEditorsTest, TheExtensionEditorStoresItsListOnOk) {
  open("File Extensions");
  const auto shown = driver().control(kExtensionList, kExtensions).items;
  ASSERT_EQ(shown.size(), 14u);  // the defaults, as the site has none
  EXPECT_EQ(shown.front().text, ".asp");
  EXPECT_EQ(shown.back().text, ".xsl");
  driver().click(kExtensionList, "Add");
  driver().type("Add File Extension", kExtensionName, "shtml");
  driver().click("Add File Extension", "OK");
  driver().click(kExtensionList, "Add");
  driver().type("Add File Extension", kExtensionName, ".xhtml");
  driver().setSlider("Add File Extension", kExtensionLevel, 3);
  driver().click("Add File Extension", "OK");
  driver().select(kExtensionList, kExtensions, ".bmp");
  driver().click(kExtensionList, "Edit");
  EXPECT_EQ(driver().control("Edit File Extension", kExtensionLevel).position, 9);
  driver().type("Edit File Extension", kExtensionName, "png");
  driver().setSlider("Edit File Extension", kExtensionLevel, 4);
  driver().click("Edit File Extension", "OK");
  driver().select(kExtensionList, kExtensions, ".mdb");
  driver().click(kExtensionList, "Remove");
  driver().click(kExtensionList, "OK");
  // Stored at once, before any Apply.
  EXPECT_EQ(siteValue(1, "FileExtensions"),
            ".asp,1,.cgi,1,.php,1,.pl,1,.cfm,1,.css,9,.htm,9,.html,9,.js,9,.txt,9,.xml,9,.xsl,9,.png,4,.shtml,6,.xhtml,3");
  EXPECT_TRUE(driver().control(kAdvanced, "File Extensions").enabled);
}

TEST_F(RuleEditorsTest, TheExtensionEditorStaysOpenWithoutTheSiteKey) {
  open("File Extensions");
  ASSERT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, siteKey(1).c_str()), ERROR_SUCCESS);
  driver().click(kExtensionList, "OK");
  EXPECT_TRUE(driver().isOpen(kExtensionList));
  EXPECT_FALSE(keyExists(siteKey(1)));  // not made by the immediate store
  driver().click(kExtensionList, "Cancel");
  EXPECT_FALSE(driver().isOpen(kExtensionList));
}

TEST_F(RuleEditorsTest, EmptySizeFieldsGiveTheDefaultLimits) {
  driver().click(sheet, "Cancel");
  setSiteText(1, "MinSize", "100");
  sheet = openSheet(1, "Shop");
  open("Size Limits");
  EXPECT_EQ(driver().control("File Size Limits", 1160).text, "100");
  driver().type("File Size Limits", 1160, "");
  driver().type("File Size Limits", 1161, "");
  driver().click("File Size Limits", "OK");
  driver().click(kAdvanced, "OK");
  driver().click(sheet, "Apply");
  EXPECT_EQ(siteValue(1, "MinSize"), "800");
  EXPECT_EQ(siteValue(1, "MaxSize"), "500000");
  // The fields take digits only.
  open("Size Limits");
  driver().type("File Size Limits", 1161, "12k34");
  EXPECT_EQ(driver().control("File Size Limits", 1161).text, "1234");
}

}  // namespace
}  // namespace console_tests
