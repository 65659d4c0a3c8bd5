// The Tamsic page: loading a site's settings, the radio buttons, Apply and the reload request.

#include "settings/reload_token.h"
#include "tests/console/console_fixture.h"

namespace console_tests {
namespace {

constexpr int kEnable = 1016, kDisable = 1078;
constexpr int kGroupButtons[] = {1051, 1052, 1053, 1041, 1004};

class MainPageTest : public ConsoleTest {};

TEST_F(MainPageTest, ASiteWithoutKeyGetsTheDefaultsInOrder) {
  const std::string sheet = openSheet(1, "Shop");
  EXPECT_EQ(valueNames(siteKey(1)),
            (std::vector<std::string>{"Disabled", "CacheHeaders", "MinSize", "MaxSize", "EnableWhite", "WsLower", "WsCss",
                                      "WsCssCom", "WsComment", "WsWhite", "RemoveCache", "DynamicCache", "Cache", "Report",
                                      "Limit", "NoLimit", "CacheFolder", "LogFolder", "RefreshLog", "ReportMask",
                                      "CacheExt"}));
  EXPECT_EQ(siteValue(1, "CacheFolder"), "C:\\Inetpub\\shop\\gzipcache");
  EXPECT_EQ(siteValue(1, "LogFolder"), "C:\\Inetpub\\shop\\gziplog");
  EXPECT_EQ(siteValue(1, "NoLimit"), "1");
  EXPECT_EQ(siteValue(1, "Limit"), "0");
  EXPECT_EQ(siteValue(1, "ReportMask"), "%H%O%C%P%M%L%Z%G%D%W");
  EXPECT_EQ(siteValue(1, "CacheExt"), ".htm,.html,.txt,.xml");
  EXPECT_FALSE(keyExists(siteKey(1) + "\\Browsers"));
  EXPECT_EQ(driver().control(sheet, kEnable).check, 1);
  EXPECT_EQ(driver().control(sheet, kDisable).check, 0);
  EXPECT_FALSE(driver().control(sheet, "Apply").enabled);
}

TEST_F(MainPageTest, TheSheetEditsTheSiteItWasOpenedFor) {
  createSiteKey(1, "Shop");
  createSiteKey(2, "Shop Two");
  // "Shop" begins "Shop Two", and comes first; the sheet still edits its own site.
  std::string sheet = openSheet(2, "Shop Two");
  driver().click(sheet, kDisable);
  driver().click(sheet, "OK");
  EXPECT_EQ(siteValue(2, "Disabled"), "1");
  EXPECT_EQ(siteValue(1, "Disabled"), "0");
  listener_.take();
  // A node that is no site of the metabase gives an inert page: nothing is written or sent,
  // even though its title begins with a site's description.
  for (const auto& [site, title] : {std::pair{7, "Shop Three"}, std::pair{8, "Elsewhere"}}) {
    sheet = openSheet(site, title);
    driver().click(sheet, kDisable);
    EXPECT_FALSE(driver().control(sheet, "Apply").enabled);
    driver().click(sheet, "OK");
    EXPECT_FALSE(keyExists(siteKey(site)));
  }
  EXPECT_EQ(siteValue(1, "Disabled"), "0");
  EXPECT_TRUE(listener_.take().empty());
}

// Fault 7: without the product's global key the page is inert and writes nothing, not even
// the reload token (which made the global key).
TEST_F(MainPageTest, WithoutTheGlobalKeyThePageIsInertAndWritesNothing) {
  ASSERT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, kGlobalKey), ERROR_SUCCESS);
  const std::string sheet = openSheet(1, "Shop");
  driver().click(sheet, kDisable);
  EXPECT_FALSE(driver().control(sheet, "Apply").enabled);
  driver().click(sheet, "OK");
  EXPECT_FALSE(keyExists(kGlobalKey));
  EXPECT_TRUE(listener_.take().empty());
}

// Fault 6: the title names both sites; the node tells the sheet which one it is for.
TEST_F(MainPageTest, TwoSitesWithTheSameDescriptionEachEditTheirOwn) {
  addSite(3, "Shop", ":81:", "C:\\Inetpub\\three");
  createSiteKey(1, "Shop");
  createSiteKey(3, "Shop");
  std::string sheet = openSheet(3, "Shop");
  driver().click(sheet, kDisable);
  driver().click(sheet, "OK");
  EXPECT_EQ(siteValue(3, "Disabled"), "1");
  EXPECT_EQ(siteValue(1, "Disabled"), "0");
  EXPECT_EQ(siteValue(3, "CacheFolder"), "C:\\Inetpub\\three\\gzipcache");
}

TEST_F(MainPageTest, DisableGreysTheGroupsOnlyWhenClicked) {
  createSiteKey(1, "Shop");
  setSiteText(1, "Disabled", "1");
  const std::string sheet = openSheet(1, "Shop");
  EXPECT_EQ(driver().control(sheet, kDisable).check, 1);
  for (int id : kGroupButtons) EXPECT_TRUE(driver().control(sheet, id).enabled) << id;
  driver().click(sheet, kDisable);
  for (int id : kGroupButtons) EXPECT_FALSE(driver().control(sheet, id).enabled) << id;
  EXPECT_FALSE(driver().control(sheet, 2000).enabled);  // the "Caching" group box
  EXPECT_FALSE(driver().control(sheet, 2001).enabled);  // and its text
  EXPECT_TRUE(driver().control(sheet, "Help").enabled);
  driver().click(sheet, kEnable);
  for (int id : kGroupButtons) EXPECT_TRUE(driver().control(sheet, id).enabled) << id;
  EXPECT_TRUE(driver().control(sheet, "Apply").enabled);
  driver().click(sheet, "Apply");
  EXPECT_EQ(siteValue(1, "Disabled"), "0");
}

TEST_F(MainPageTest, ApplySendsOneReloadRequestOnlyAfterAChange) {
  createSiteKey(1, "Shop");
  std::string sheet = openSheet(1, "Shop");
  setSiteText(1, "MinSize", "1234");  // changed behind the page's back
  driver().click(sheet, "OK");        // applies, unchanged
  EXPECT_EQ(siteValue(1, "MinSize"), "800");  // every value is written
  EXPECT_TRUE(listener_.take().empty());

  sheet = openSheet(1, "Shop");
  driver().click(sheet, "Reporting");
  driver().click("Tamsic Reporting Preferences", "OK");
  EXPECT_TRUE(driver().control(sheet, "Apply").enabled);
  driver().click(sheet, "Apply");
  const std::string token = settings::ObtainReloadToken().value();
  EXPECT_EQ(listener_.take(), std::vector<std::string>{"GET /rstval=" + token +
                                                       " HTTP/1.1\r\nUser-Agent: TamsicUI\r\nHost: shop.example\r\n\r\n"});
  EXPECT_FALSE(driver().control(sheet, "Apply").enabled);
  // The notice and the wait cursor are gone again.
  EXPECT_FALSE(driver().isOpen("Tamsic"));
  EXPECT_EQ(platform::ui::takeScreen().cursor, "arrow");
  driver().click(sheet, kEnable);
  driver().click(sheet, "Apply");
  EXPECT_EQ(listener_.take().size(), 1u);
  driver().click(sheet, "OK");
  EXPECT_TRUE(listener_.take().empty());
}

// Advanced closed with Cancel keeps what its dialogs changed in the working copy, which the
// sheet's OK then stores: the filter must be told, or it ran on the old sizes until a restart.
TEST_F(MainPageTest, WhatAdvancedKeepsOnCancelIsStoredAndReloaded) {
  createSiteKey(1, "Shop");
  const std::string sheet = openSheet(1, "Shop");
  driver().click(sheet, "Advanced");
  driver().click("Tamsic Advanced Configuration Preferences", "Cancel");
  EXPECT_FALSE(driver().control(sheet, "Apply").enabled);  // nothing changed
  driver().click(sheet, "Advanced");
  driver().click("Tamsic Advanced Configuration Preferences", "Size Limits");
  driver().type("File Size Limits", 1160, "100000");
  driver().click("File Size Limits", "OK");
  driver().click("Tamsic Advanced Configuration Preferences", "Cancel");
  EXPECT_TRUE(driver().control(sheet, "Apply").enabled);
  driver().click(sheet, "OK");
  EXPECT_EQ(siteValue(1, "MinSize"), "100000");
  EXPECT_EQ(listener_.take().size(), 1u);
}

// HTTP/1.1 needs a Host: without a host name the request names the address it goes to.
TEST_F(MainPageTest, ASiteWithoutHostNameGetsTheRequestWithItsAddressAsHost) {
  const std::string sheet = openSheet(2, "Shop Two");
  driver().click(sheet, kDisable);
  driver().click(sheet, "Apply");
  EXPECT_EQ(listener_.take(), std::vector<std::string>{"GET /rstval=" + settings::ObtainReloadToken().value() +
                                                       " HTTP/1.1\r\nUser-Agent: TamsicUI\r\nHost: 127.0.0.1\r\n\r\n"});
}

// The site's binding names the port: a ReloadPort of another site's (the demo's) would
// route the site's Host nowhere. A binding without a port leaves it to ReloadPort.
TEST_F(MainPageTest, TheRequestGoesToThePortOfTheSitesBinding) {
  setGlobal("ReloadPort", "1");  // nothing listens there
  std::string sheet = openSheet(1, "Shop");
  driver().click(sheet, kDisable);
  driver().click(sheet, "Apply");
  EXPECT_EQ(listener_.take().size(), 1u);
  driver().click(sheet, "OK");
  setGlobal("ReloadPort", std::to_string(listener_.port()));
  addSite(2, "Shop Two", "127.0.0.1", "C:\\Inetpub\\two");
  sheet = openSheet(2, "Shop Two");
  driver().click(sheet, kDisable);
  driver().click(sheet, "Apply");
  EXPECT_EQ(listener_.take().size(), 1u);
}

// A token made anew while a sheet is open is the one the filter checks from then on.
TEST_F(MainPageTest, TheRequestCarriesTheTokenStoredWhenItIsSent) {
  const std::string sheet = openSheet(2, "Shop Two");
  setGlobal("ReloadToken", "0123456789abcdef0123456789abcdef");
  driver().click(sheet, kDisable);
  driver().click(sheet, "Apply");
  const auto requests = listener_.take();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].rfind("GET /rstval=0123456789abcdef0123456789abcdef HTTP/1.1\r\n", 0), 0u) << requests[0];
}

TEST_F(MainPageTest, NoServerListeningIsSilent) {
  addSite(2, "Shop Two", ":1:", "C:\\Inetpub\\two");  // nothing listens there
  const std::string sheet = openSheet(2, "Shop Two");
  driver().click(sheet, kDisable);
  driver().click(sheet, "Apply");
  EXPECT_EQ(siteValue(2, "Disabled"), "1");
  EXPECT_FALSE(driver().isOpen("Tamsic"));
  EXPECT_EQ(platform::ui::takeScreen().cursor, "arrow");
}

TEST_F(MainPageTest, ValuesTheKeyLacksAreNotWrittenBack) {
  setSiteText(1, "Disabled", "0");
  makeKey(siteKey(1) + "\\Browsers");
  const std::string sheet = openSheet(1, "Shop");
  driver().click(sheet, kDisable);
  driver().click(sheet, "Apply");
  EXPECT_EQ(valueNames(siteKey(1)), std::vector<std::string>{"Disabled"});
  EXPECT_EQ(siteValue(1, "Disabled"), "1");
  EXPECT_EQ(listener_.take().size(), 1u);
}

TEST_F(MainPageTest, BrowserEditsReachTheStoreExactly) {
  createSiteKey(1, "Shop");  // the page makes no Browsers key
  const std::string sheet = openSheet(1, "Shop");
  driver().click(sheet, "Advanced");
  driver().click("Tamsic Advanced Configuration Preferences", "Browsers");
  driver().selectTreeItem("Browser Definitions", 1110, "Browsers/Opera 5");
  driver().click("Browser Definitions", "Remove");
  driver().click("Browser Definitions", "OK");
  driver().click("Tamsic Advanced Configuration Preferences", "OK");
  driver().click(sheet, "Apply");
  const std::string browsers = siteKey(1) + "\\Browsers";
  EXPECT_EQ(valueNames(browsers), (std::vector<std::string>{"Internet Explorer", "Internet Explorer 5.0",
                                                             "Internet Explorer 5.5", "Internet Explorer 6.0",
                                                             "Netscape 4.6", "Netscape 4.7", "Netscape 6.0"}));
  EXPECT_EQ(readValue(browsers, "Internet Explorer 5.0"), std::string("MSIE 5.,text,1,9,css,0,0\0\0", 26));
  // A browser the working copy no longer has goes from the store too.
  writeText(browsers, "Old Browser", "Old/1,text,1,9");
  const std::string again = openSheet(2, "Shop Two");
  driver().click(sheet, "Advanced");
  driver().click("Tamsic Advanced Configuration Preferences", "OK");
  driver().click(sheet, "Apply");
  EXPECT_EQ(readValue(browsers, "Old Browser"), std::nullopt);
  EXPECT_EQ(valueNames(browsers).size(), 7u);
  driver().click(again, "Cancel");
}

TEST_F(MainPageTest, ListsLongerThanTheOldBuffersAreKeptWhole) {
  createSiteKey(1, "Shop");
  std::string exclusions;
  for (int i = 10; i < 70; ++i) exclusions += (exclusions.empty() ? "" : ",") + std::string("C:/web/archive/section") + std::to_string(i) + "\\*";
  ASSERT_GT(exclusions.size(), 1500u);
  setSiteText(1, "NewExclude", exclusions);
  const std::string sheet = openSheet(1, "Shop");
  driver().click(sheet, "Exclude");
  EXPECT_EQ(driver().control("Tamsic Exclusion List", 1200).items.size(), 60u);
  driver().click("Tamsic Exclusion List", "OK");
  EXPECT_EQ(siteValue(1, "NewExclude"), exclusions);
  driver().click(sheet, "Apply");
  EXPECT_EQ(siteValue(1, "NewExclude"), exclusions);
}

TEST_F(MainPageTest, HelpOpensTheHelpFileOfTheInstallFolder) {
  writeHostFile(driveC("Program Files/Tamsic/tamsic.hlp"), "<html><title>Tamsic Help</title></html>");
  const std::string sheet = openSheet(1, "Shop");
  driver().click(sheet, "Help");
  const auto openings = platform::ui::takeScreen().openings;
  ASSERT_FALSE(openings.empty());
  EXPECT_EQ(openings.back().windowsPath, "C:\\Program Files\\Tamsic\\tamsic.hlp");
}

TEST_F(MainPageTest, TwoSheetsKeepTheirOwnWorkingCopies) {
  const std::string shop = openSheet(1, "Shop");
  const std::string two = openSheet(2, "Shop Two");
  driver().click(shop, kDisable);
  driver().click(two, "Advanced");
  driver().click("Tamsic Advanced Configuration Preferences", "Size Limits");
  driver().type("File Size Limits", 1160, "100");
  driver().click("File Size Limits", "OK");
  driver().click("Tamsic Advanced Configuration Preferences", "OK");
  driver().click(two, "Apply");
  driver().click(shop, "Apply");
  EXPECT_EQ(siteValue(1, "Disabled"), "1");
  EXPECT_EQ(siteValue(1, "MinSize"), "800");
  EXPECT_EQ(siteValue(2, "Disabled"), "0");
  EXPECT_EQ(siteValue(2, "MinSize"), "100");
}

}  // namespace
}  // namespace console_tests
