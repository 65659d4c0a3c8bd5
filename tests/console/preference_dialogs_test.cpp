// The caching, reporting, exclusion and optional-compression dialogs.

#include <filesystem>

#include "tests/console/console_fixture.h"
#include "tests/console/dialog_names.h"

namespace console_tests {
namespace {

namespace fs = std::filesystem;

class PreferenceDialogsTest : public ConsoleTest {
 protected:
  void SetUp() override {
    ConsoleTest::SetUp();
    createSiteKey(1, "Shop");
  }
  std::string openPage() { return sheet = openSheet(1, "Shop"); }
  std::vector<std::string> entries(const char* dialog, int id) {
    std::vector<std::string> texts;
    for (const auto& item : driver().control(dialog, id).items) texts.push_back(item.text);
    return texts;
  }
  std::string sheet;
};

TEST_F(PreferenceDialogsTest, CachingShowsTheStoredSettingsAndTheSizeFollowsItsBox) {
  setSiteText(1, "NoLimit", "0");
  setSiteText(1, "Cache", "0");
  setSiteText(1, "CacheHeaders", "0");
  setSiteText(1, "Limit", "4096");
  openPage();
  driver().click(sheet, "Cache");
  EXPECT_EQ(driver().control(kCaching, "Disable Caching").check, 1);
  EXPECT_EQ(driver().control(kCaching, "Ignore Headers and check expiration by last-modified date.").check, 1);
  EXPECT_EQ(driver().control(kCaching, "Limit Cache Size").check, 0);
  EXPECT_FALSE(driver().control(kCaching, 1176).enabled);
  EXPECT_FALSE(driver().control(kCaching, 1177).enabled);
  EXPECT_EQ(driver().control(kCaching, 1176).text, "4096");
  EXPECT_EQ(driver().control(kCaching, 1172).text, "C:\\Inetpub\\shop\\gzipcache");
  driver().click(kCaching, "Limit Cache Size");
  EXPECT_TRUE(driver().control(kCaching, 1176).enabled);
  driver().type(kCaching, 1176, "65536");
  driver().click(kCaching, "Enable Caching");
  driver().click(kCaching, "Enable Dynamic Caching");
  driver().click(kCaching, "OK");
  driver().click(sheet, "Apply");
  EXPECT_EQ(siteValue(1, "NoLimit"), "1");
  EXPECT_EQ(siteValue(1, "Limit"), "65536");
  EXPECT_EQ(siteValue(1, "Cache"), "1");
  EXPECT_EQ(siteValue(1, "DynamicCache"), "1");
  EXPECT_EQ(siteValue(1, "CacheHeaders"), "0");
  EXPECT_EQ(listener_.take().size(), 1u);
}

TEST_F(PreferenceDialogsTest, ClearCacheNowEmptiesOnlyTheCacheFilesFolder) {
  const fs::path cache = driveC("Inetpub/shop/gzipcache");
  writeHostFile(cache / "korvanecompress/a.htm.gz", "x");
  writeHostFile(cache / "korvanecompress/sub/deeper/b.htm.gz", "x");
  writeHostFile(cache / "notes.txt", "kept");
  openPage();
  driver().click(sheet, "Cache");
  driver().type(kCaching, 1172, "C:\\Elsewhere");  // the stored folder counts, not the box
  driver().click(kCaching, "Clear Cache Now");
  EXPECT_TRUE(fs::is_directory(cache / "korvanecompress"));
  EXPECT_TRUE(fs::is_empty(cache / "korvanecompress"));
  EXPECT_TRUE(fs::exists(cache / "notes.txt"));
  driver().click(kCaching, "Cancel");
  EXPECT_FALSE(driver().control(sheet, "Apply").enabled);  // nothing marked changed

  // The drive's root is refused.
  writeHostFile(driveC("korvanecompress/keep.gz"), "x");
  setSiteText(1, "CacheFolder", "C:\\");
  driver().click(sheet, "Cancel");
  openPage();
  driver().click(sheet, "Cache");
  driver().click(kCaching, "Clear Cache Now");
  EXPECT_TRUE(fs::exists(driveC("korvanecompress/keep.gz")));
}

TEST_F(PreferenceDialogsTest, CachedFilesOpenWithTheDefaultsAndStoreAtOnce) {
  setSiteText(1, "CacheExt", "");
  openPage();
  driver().click(sheet, "Cache");
  driver().click(kCaching, "Cached Files");
  EXPECT_EQ(entries("File Extension List", 1140), (std::vector<std::string>{".css", ".htm", ".html", ".txt", ".xml"}));
  EXPECT_FALSE(driver().control("File Extension List", "Edit").enabled);
  driver().click("File Extension List", "Add");
  driver().type("Add File Extension", 1150, "shtml");
  driver().click("Add File Extension", "OK");
  driver().select("File Extension List", 1140, ".txt");
  driver().click("File Extension List", "Remove");
  driver().click("File Extension List", "OK");
  EXPECT_EQ(siteValue(1, "CacheExt"), ".css,.htm,.html,.xml,.shtml");
}

TEST_F(PreferenceDialogsTest, ReportFieldsMakeTheMaskInListOrderAndResetTheStatistics) {
  const fs::path logs = driveC("Inetpub/shop/gziplog");
  auto writeStatistics = [&] {
    writeHostFile(logs / "pagestat.txt", "page");
    writeHostFile(logs / "sitestat.txt", "site");
  };
  writeStatistics();
  setSiteText(1, "RefreshLog", "1 week");
  openPage();
  driver().click(sheet, "Reporting");
  EXPECT_EQ(driver().control(kReporting, 1193).current, 2);  // "1 Week", found without case
  EXPECT_TRUE(entries(kReporting, 1194).empty());
  driver().select(kReporting, 1195, "Percentage Saved");
  driver().select(kReporting, 1195, "MIME Type", true);
  driver().click(kReporting, "<----");
  EXPECT_EQ(entries(kReporting, 1194), (std::vector<std::string>{"MIME Type", "Percentage Saved"}));
  driver().click(kReporting, "OK");
  driver().click(sheet, "Apply");
  EXPECT_EQ(siteValue(1, "ReportMask"), "%Z%C%D%G%O%W%H");
  EXPECT_FALSE(fs::exists(logs / "pagestat.txt"));
  EXPECT_FALSE(fs::exists(logs / "sitestat.txt"));
  EXPECT_EQ(siteValue(1, "RefreshLog"), "1 Week");

  writeStatistics();
  driver().click(sheet, "Reporting");
  driver().click(kReporting, "OK");  // the same fields: the statistics stay
  EXPECT_TRUE(fs::exists(logs / "pagestat.txt"));
}

// Confirming the dialog without moving a field is no edit: the stored mask stays whole, with
// its order and the code the dialog does not list ("%L", which the report uses), and so do
// the statistics. It rewrote the mask and deleted them.
TEST_F(PreferenceDialogsTest, TheDefaultMaskStaysWholeWhenNoFieldMoves) {
  const fs::path logs = driveC("Inetpub/shop/gziplog");
  writeHostFile(logs / "pagestat.txt", "page");
  openPage();
  driver().click(sheet, "Reporting");
  driver().click(kReporting, "OK");
  driver().click(sheet, "Apply");
  EXPECT_EQ(siteValue(1, "ReportMask"), "%H%O%C%P%M%L%Z%G%D%W");
  EXPECT_TRUE(fs::exists(logs / "pagestat.txt"));
}

TEST_F(PreferenceDialogsTest, ExclusionsComeFromTheFileDialogAndTheFolderChooser) {
  writeHostFile(driveC("web;root/a.htm"), "<html></html>");
  fs::create_directories(driveC("web/old"));
  setSiteText(1, "NewExclude", "*.dll,*.exe");  // as the filter's loader stores it
  openPage();
  driver().click(sheet, "Exclude");
  EXPECT_EQ(entries(kExclusion, 1200), (std::vector<std::string>{"*.dll", "*.exe"}));

  driver().click(kExclusion, "Add File");
  driver().click("Add File to Exclude", "Browse");
  EXPECT_FALSE(driver().control("Open", 1040).visible);  // "Open as read-only" is hidden
  driver().type("Open", 1152, "C:\\nothere.htm");
  driver().click("Open", "Open");  // the file must exist
  driver().click("Open", "OK");    // the message box says so, with the dialog's own title
  driver().type("Open", 1152, "C:\\web;root\\a");  // the default extension is added
  driver().click("Open", "Open");
  // Fault 4: a ';' stays (turned into ',' it split the entry in the stored list).
  EXPECT_EQ(driver().control("Add File to Exclude", 1211).text, "C:/web;root/a.htm");
  driver().click("Add File to Exclude", "OK");

  // A comma cannot be stored in the list: the dialog says why and stays open.
  driver().click(kExclusion, "Add File");
  driver().type("Add File to Exclude", 1211, "C:/web,root/a.htm");
  driver().click("Add File to Exclude", "OK");
  EXPECT_NE(driver().window("Tamsic").controls.size(), 0u);
  driver().click("Tamsic", "OK");
  EXPECT_TRUE(driver().isOpen("Add File to Exclude"));
  driver().click("Add File to Exclude", "Cancel");

  driver().click(kExclusion, "Add Directory");
  EXPECT_EQ(driver().control("Add Directory To Exclude", 1210).text, "Directory Name:");
  driver().click("Add Directory To Exclude", "Browse");
  EXPECT_EQ(driver().control("Browse for Folder", 0x3742).text, "Chose Folder to Exclude.");
  driver().selectTreeItem("Browse for Folder", 0x3741, "C:/web/old");
  driver().click("Browse for Folder", "OK");
  EXPECT_EQ(driver().control("Add Directory To Exclude", 1211).text, "C:/web/old\\*");
  driver().click("Add Directory To Exclude", "OK");

  // The same entry in other letters is not added twice; the listed one is selected.
  driver().click(kExclusion, "Add Directory");
  driver().type("Add Directory To Exclude", 1211, "c:/WEB/OLD\\*");
  driver().click("Add Directory To Exclude", "OK");
  const auto list = driver().control(kExclusion, 1200);
  ASSERT_EQ(list.items.size(), 4u);
  EXPECT_EQ(list.items[static_cast<std::size_t>(list.current)].text, "C:/web/old\\*");
  EXPECT_EQ(list.horizontalExtent, 1000);
  driver().select(kExclusion, 1200, "*.exe");
  driver().click(kExclusion, "Remove");
  driver().click(kExclusion, "OK");
  EXPECT_EQ(siteValue(1, "NewExclude"), "*.dll,C:/web/old\\*,C:/web;root/a.htm");  // stored at once
}

TEST_F(PreferenceDialogsTest, OptionalCompressionGreysItsBoxesButKeepsTheirChecks) {
  openPage();
  driver().click(sheet, "Opt. Compress");
  const char* boxes[] = {"Remove White Space", "Remove Comments", "Lower Case Tag Names", "Remove CSS White Space",
                         "Remove CSS Comments"};
  EXPECT_EQ(driver().control(kOptional, "Disable").check, 1);
  for (const char* box : boxes) {
    EXPECT_FALSE(driver().control(kOptional, box).enabled) << box;
    EXPECT_EQ(driver().control(kOptional, box).check, 1) << box;
  }
  driver().click(kOptional, "Enable");
  for (const char* box : boxes) EXPECT_TRUE(driver().control(kOptional, box).enabled) << box;
  driver().click(kOptional, "Remove CSS White Space");
  EXPECT_FALSE(driver().control(kOptional, "Remove CSS Comments").enabled);
  driver().click(kOptional, "Lower Case Tag Names");
  driver().click(kOptional, "OK");
  driver().click(sheet, "Apply");
  EXPECT_EQ(siteValue(1, "EnableWhite"), "1");
  EXPECT_EQ(siteValue(1, "WsCss"), "0");
  EXPECT_EQ(siteValue(1, "WsCssCom"), "1");  // greyed, still checked
  EXPECT_EQ(siteValue(1, "WsLower"), "0");
  EXPECT_EQ(siteValue(1, "WsWhite"), "1");

  driver().click(sheet, "Opt. Compress");  // opens with CSS white space off
  EXPECT_EQ(driver().control(kOptional, "Enable").check, 1);
  EXPECT_TRUE(driver().control(kOptional, "Remove White Space").enabled);
  EXPECT_FALSE(driver().control(kOptional, "Remove CSS Comments").enabled);
  driver().click(kOptional, "Disable");
  for (const char* box : boxes) EXPECT_FALSE(driver().control(kOptional, box).enabled) << box;
  driver().click(kOptional, "OK");
  driver().click(sheet, "Apply");
  EXPECT_EQ(siteValue(1, "EnableWhite"), "0");
}

}  // namespace
}  // namespace console_tests
