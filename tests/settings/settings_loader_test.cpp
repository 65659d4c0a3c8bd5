// The settings load against machine roots with several sites.

#ifdef _WIN32
#include <windows.h>
#include <aclapi.h>
#else
#include <acl/libacl.h>
#include <pwd.h>
#include <sys/acl.h>
#endif

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "platform/registry/registry.h"
#include "platform/registry/unique_key.h"
#include "settings/rule_lists.h"
#include "settings/settings_loader.h"
#include "tests/support/machine_fixture.h"
#include "tests/support/metabase_helpers.h"

namespace {

using namespace settings;
using namespace testing_support;

constexpr const char* kSite1 = "SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\1";

class SettingsLoaderTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    setGlobal("ProgFiles", "C:\\Program Files\\Tamsic\\");
    writeHostFile(driveC("Program Files/Tamsic/reporting/rtemplate.dat"), "<html>template</html>");
    writeHostFile(driveC("Program Files/Tamsic/reporting/report.css"), "body{}");
    writeHostFile(driveC("Program Files/Tamsic/reporting/images/bar.gif"), "GIF89a");
    std::filesystem::create_directories(driveC("Program Files/Tamsic/reporting/nested"));
  }

  void setGlobal(const char* name, const std::string& text) { setText("SOFTWARE\\Korvane\\Sablewing\\Value", name, text); }

  static void setText(const std::string& path, const char* name, const std::string& text, DWORD type = REG_SZ,
                      bool terminator = true) {
    UniqueKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key.get(), name, 0, type, reinterpret_cast<const BYTE*>(text.data()),
                             static_cast<DWORD>(text.size() + (terminator ? 1 : 0))),
              ERROR_SUCCESS);
  }
  static void deleteValue(const std::string& path, const char* name) {
    UniqueKey key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, key.put()), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValueA(key.get(), name), ERROR_SUCCESS);
  }
  static std::optional<std::string> value(const std::string& path, const char* name) {
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return std::nullopt;
    DWORD size = 0;
    if (RegQueryValueExA(key.get(), name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
    std::string data(size, '\0');
    RegQueryValueExA(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size);
    return data;
  }
  static std::vector<std::string> valueNames(const std::string& path) {
    std::vector<std::string> names;
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return names;
    for (DWORD i = 0;; ++i) {
      char name[256];
      DWORD chars = sizeof(name);
      if (RegEnumValueA(key.get(), i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      names.emplace_back(name, chars);
    }
    return names;
  }

  // Wine's registry lists a key's values by name (without case), where Windows keeps the
  // order they were made in: there only the names can be compared.
  static std::vector<std::string> inListedOrder(std::vector<std::string> names) {
#ifdef _WIN32
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
      return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
      });
    });
#endif
    return names;
  }

  LoadedSettings load(bool expectSuccess = true) {
    LoadedSettings loaded;
    EXPECT_EQ(LoadSettings(loaded), expectSuccess);
    return loaded;
  }
  const SiteSettings& site1(const LoadedSettings& l) {
    static SiteSettings none;
    if (!l.table || !l.table->Slots[0]) return none;
    return *l.table->Slots[0];
  }
};

TEST_F(SettingsLoaderTest, SitesFillTheSlotsFromTheFirstAndOtherKeysLeaveEmptySlotsAtTheEnd) {
  addSite(2, "C:\\Sites\\Two");
  metabaseKey("/LM/W3SVC/AppPools");
  addSite(12, "C:\\Sites\\Twelve");
  std::filesystem::create_directories(driveC("Sites/Two"));
  std::filesystem::create_directories(driveC("Sites/Twelve"));
  LoadedSettings loaded = load();
  ASSERT_TRUE(loaded.table);
  ASSERT_EQ(loaded.table->SlotCount(), 6u);  // Info, Filters, 1, 2, AppPools, 12
  EXPECT_EQ(loaded.table->Slots[0]->InstancePath.str(), "/LM/W3SVC/1");
  EXPECT_EQ(loaded.table->Slots[1]->InstancePath.str(), "/LM/W3SVC/2");
  EXPECT_EQ(loaded.table->Slots[2]->InstancePath.str(), "/LM/W3SVC/12");
  EXPECT_EQ(loaded.table->Slots[2]->RootPath.str(), "C:\\Sites\\Twelve");
  for (std::size_t i = 3; i < 6; ++i) EXPECT_FALSE(loaded.table->Slots[i]) << i;
  EXPECT_TRUE(loaded.logMutex);
}

TEST_F(SettingsLoaderTest, TheFirstChildIsNeverLoadedWhateverItsName) {
  deleteMetabaseKey("/LM/W3SVC/Info");
  deleteMetabaseKey("/LM/W3SVC/Filters");
  addSite(2, "C:\\Inetpub\\wwwroot");
  LoadedSettings loaded = load();
  ASSERT_EQ(loaded.table->SlotCount(), 2u);
  EXPECT_EQ(loaded.table->Slots[0]->InstancePath.str(), "/LM/W3SVC/2");
  EXPECT_FALSE(loaded.table->Slots[1]);
  EXPECT_FALSE(value(kSite1, "Disabled"));
}

TEST_F(SettingsLoaderTest, ANewSiteKeyGetsTheDefaultValuesInTheirOrder) {
  LoadedSettings loaded = load();
  EXPECT_EQ(valueNames(kSite1),
            inListedOrder({"CacheExt", "Disabled", "RemoveCache", "DynamicCache", "CacheHeaders", "MinSize", "MaxSize",
                           "Limit", "NoLimit", "Report", "EnableWhite", "WsWhite", "WsComment", "WsLower", "WsCss",
                           "WsCssCom", "Cache", "CacheFolder", "ReportMask", "LogFolder", "RefreshLog",
                           "FileExtensions", "MimeTypes", "NewExclude"}));
  auto text = [&](const char* name) { return value(kSite1, name).value_or("<missing>"); };
  EXPECT_EQ(text("CacheExt"), std::string(".htm,.html,.txt,.xml\0", 21));
  EXPECT_EQ(text("MinSize"), std::string("800\0", 4));
  EXPECT_EQ(text("MaxSize"), std::string("500000\0", 7));
  EXPECT_EQ(text("CacheFolder"), std::string("C:\\Inetpub\\wwwroot\\gzipcache\0", 29));
  EXPECT_EQ(text("LogFolder"), std::string("C:\\Inetpub\\wwwroot\\gziplog\0", 27));
  EXPECT_EQ(text("RefreshLog"), std::string("IIS Restart\0", 12));
  EXPECT_EQ(text("ReportMask"), std::string("%H%O%C%P%M%L%Z%G%D%W\0", 21));
  EXPECT_EQ(text("NewExclude"), std::string("*.dll,*.exe\0", 12));
  EXPECT_EQ(text("FileExtensions").substr(0, 14), ".asp,1,.cgi,1,");
  EXPECT_EQ(valueNames(std::string(kSite1) + "\\Browsers").size(), 8u);

  const SiteSettings& s = site1(loaded);
  EXPECT_EQ(s.Cache, 1);
  EXPECT_EQ(s.MinSize, 800);
  EXPECT_EQ(s.MaxSize, 500000);
  EXPECT_EQ(s.RemoveCache, 1);
  EXPECT_EQ(s.Report, 1);
  EXPECT_EQ(s.EnableWhite, 0);
  EXPECT_EQ(s.WsCssCom, 1);
  EXPECT_EQ(s.CacheExt.size(), 4u);
  EXPECT_EQ(s.FileExtensions.size(), 14u);
  EXPECT_EQ(s.MimeTypes.size(), 5u);
  EXPECT_EQ(s.Browsers.size(), 8u);
  EXPECT_TRUE(s.NewExclude.empty());  // the stored default takes effect at the next load
}

TEST_F(SettingsLoaderTest, AnExistingKeyIsReadBackAsStored) {
  load();
  setText(kSite1, "MinSize", "1200");
  setText(kSite1, "Limit", "-1");
  setText(kSite1, "EnableWhite", "1abc");
  setText(kSite1, "Report", "yes");
  LoadedSettings loaded = load();
  const SiteSettings& s = site1(loaded);
  EXPECT_EQ(s.MinSize, 1200);
  EXPECT_EQ(s.Limit, 4294967295u);
  EXPECT_EQ(s.EnableWhite, 1);
  EXPECT_EQ(s.Report, 0);
  EXPECT_EQ(s.RefreshLog.str(), "IIS Restart");
  ASSERT_EQ(s.NewExclude.size(), 2u);
  EXPECT_EQ(s.NewExclude[1].Pattern.str(), "*.exe");
  EXPECT_EQ(s.CacheExt.size(), 4u);
  EXPECT_EQ(s.CacheExt[0].Level, 0);
  EXPECT_EQ(s.MimeTypes.size(), 5u);
  ASSERT_EQ(s.Browsers.size(), 8u);
  EXPECT_EQ(s.Browsers[4].SearchTerm.str(), "Mozilla/4.6!MSIE");
  EXPECT_EQ(s.Browsers[4].MimeRules.size(), 3u);
}

TEST_F(SettingsLoaderTest, AKeyWithoutFileExtensionsGetsTheDefaultTablesAndReadsItsExclusionsAtOnce) {
  load();
  deleteValue(kSite1, "FileExtensions");
  deleteValue(kSite1, "MimeTypes");
  deleteValue(kSite1, "NewExclude");
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string(kSite1) + "\\Browsers").c_str());
  LoadedSettings loaded = load();
  const SiteSettings& s = site1(loaded);
  EXPECT_EQ(s.FileExtensions.size(), 14u);
  EXPECT_EQ(s.MimeTypes.size(), 5u);
  EXPECT_EQ(s.Browsers.size(), 8u);
  EXPECT_EQ(s.NewExclude.size(), 2u);
  EXPECT_EQ(value(kSite1, "NewExclude"), std::string("*.dll,*.exe\0", 12));
}

// Fault 2: the console makes keys without "FileExtensions"; the built-in tables then went
// over the exclusions, MIME types and browsers the administrator had stored.
TEST_F(SettingsLoaderTest, AKeyWithoutFileExtensionsKeepsWhatTheAdministratorStored) {
  load();
  deleteValue(kSite1, "FileExtensions");
  setText(kSite1, "NewExclude", "*.zip,*.dll");
  setText(kSite1, "MimeTypes", std::string("text,1,5\0", 9), REG_MULTI_SZ);
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string(kSite1) + "\\Browsers").c_str());
  setText(std::string(kSite1) + "\\Browsers", "Lynx", std::string("Lynx\0", 5), REG_MULTI_SZ);
  LoadedSettings loaded = load();
  const SiteSettings& s = site1(loaded);
  EXPECT_EQ(s.FileExtensions.size(), 14u);  // what was missing is filled in
  EXPECT_TRUE(value(kSite1, "FileExtensions"));
  ASSERT_EQ(s.NewExclude.size(), 2u);
  EXPECT_EQ(s.NewExclude[0].Pattern.str(), "*.zip");
  EXPECT_EQ(value(kSite1, "NewExclude"), std::string("*.zip,*.dll\0", 12));
  ASSERT_EQ(s.MimeTypes.size(), 1u);
  EXPECT_EQ(s.MimeTypes[0].Level, 5);
  EXPECT_EQ(valueNames(std::string(kSite1) + "\\Browsers"), std::vector<std::string>{"Lynx"});
  ASSERT_EQ(s.Browsers.size(), 1u);
  EXPECT_EQ(s.Browsers[0].SearchTerm.str(), "Lynx");
}

// The console's extension editor, confirmed on a key the console made, stores
// "FileExtensions" alone: the site then had no MIME rules, and nothing of it was compressed.
TEST_F(SettingsLoaderTest, AKeyWithExtensionLevelsAloneGetsTheOtherDefaultLists) {
  load();
  setText(kSite1, "FileExtensions", ".htm,9");
  deleteValue(kSite1, "MimeTypes");
  deleteValue(kSite1, "NewExclude");
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string(kSite1) + "\\Browsers").c_str());
  LoadedSettings loaded = load();
  const SiteSettings& s = site1(loaded);
  ASSERT_EQ(s.FileExtensions.size(), 1u);
  EXPECT_EQ(s.FileExtensions[0].Level, 9);
  EXPECT_EQ(value(kSite1, "FileExtensions"), std::string(".htm,9\0", 7));
  EXPECT_EQ(s.MimeTypes.size(), 5u);
  EXPECT_TRUE(value(kSite1, "MimeTypes"));
  EXPECT_EQ(s.Browsers.size(), 8u);
  EXPECT_EQ(valueNames(std::string(kSite1) + "\\Browsers").size(), 8u);
  EXPECT_EQ(value(kSite1, "NewExclude"), std::string("*.dll,*.exe\0", 12));
  // What the load stored is what the next load reads.
  LoadedSettings again = load();
  EXPECT_EQ(formatMimeTypes(site1(again).MimeTypes), formatMimeTypes(s.MimeTypes));
  EXPECT_EQ(site1(again).Browsers.size(), 8u);
}

// Fault 3: numbers past 32 bits read as the Windows C runtime reads them, clamped.
TEST_F(SettingsLoaderTest, NumbersPast32BitsClampInsteadOfWrapping) {
  load();
  setText(kSite1, "MaxSize", "3000000000");
  setText(kSite1, "Limit", "4294967296");
  LoadedSettings loaded = load();
  EXPECT_EQ(site1(loaded).MaxSize, 2147483647);
  EXPECT_EQ(site1(loaded).Limit, 2147483647u);
}

// The console shows a switch on when its number is not zero; so must the filter act,
// though it holds the switch in 16 bits.
TEST_F(SettingsLoaderTest, ASwitchWhoseLow16BitsAreZeroIsStillOn) {
  load();
  setText(kSite1, "Disabled", "65536");
  setText(kSite1, "EnableWhite", "131072");
  setText(kSite1, "Report", "0");
  setText(kSite1, "Cache", "-65536");
  LoadedSettings loaded = load();
  const SiteSettings& s = site1(loaded);
  EXPECT_NE(s.Disabled, 0);
  EXPECT_NE(s.EnableWhite, 0);
  EXPECT_EQ(s.Report, 0);
  EXPECT_NE(s.Cache, 0);
}

// An administrator's `reg add /t REG_DWORD` read its four raw bytes as text: MinSize 100000
// became 0, and every response of any size was compressed.
TEST_F(SettingsLoaderTest, NumbersStoredAsDwordReadAsTheirValue) {
  load();
  setText(kSite1, "MinSize", std::string("\xA0\x86\x01\x00", 4), REG_DWORD, false);  // 100000
  setText(kSite1, "EnableWhite", std::string("\x01\0\0\0", 4), REG_DWORD, false);
  setText(kSite1, "MaxSize", std::string("\xFF\xFF\xFF\xFF", 4), REG_DWORD, false);  // past 31 bits: clamps
  setText(kSite1, "Limit", std::string("\x10\x27\0\0\0", 5), REG_DWORD, false);  // not a DWORD's size: text
  LoadedSettings loaded = load();
  const SiteSettings& s = site1(loaded);
  EXPECT_EQ(s.MinSize, 100000);
  EXPECT_EQ(s.EnableWhite, 1);
  EXPECT_EQ(s.MaxSize, 2147483647);
  EXPECT_EQ(s.Limit, 0u);
}

// Fault 1: a browser without MIME rules leaves the others (IE 5's rule against CSS) working.
TEST_F(SettingsLoaderTest, ABrowserWithoutMimeTypesKeepsTheOtherBrowserRules) {
  load();
  setText(std::string(kSite1) + "\\Browsers", "Lynx", std::string("Lynx\0", 5), REG_MULTI_SZ);
  LoadedSettings loaded = load();
  const SiteSettings& s = site1(loaded);
  ASSERT_EQ(s.Browsers.size(), 9u);
#ifdef _WIN32
  // Wine lists the rules by value name: each is found by its search term there.
  auto rule = [&](const char* term) {
    return std::find_if(s.Browsers.begin(), s.Browsers.end(), [&](const auto& b) { return b.SearchTerm.str() == term; });
  };
  ASSERT_NE(rule("MSIE 5.0"), s.Browsers.end());
  EXPECT_FALSE(rule("MSIE 5.0")->MimeRules.empty());
  ASSERT_NE(rule("Lynx"), s.Browsers.end());
  EXPECT_TRUE(rule("Lynx")->MimeRules.empty());
#else
  EXPECT_EQ(s.Browsers[1].SearchTerm.str(), "MSIE 5.0");
  EXPECT_EQ(s.Browsers[8].SearchTerm.str(), "Lynx");
  EXPECT_TRUE(s.Browsers[8].MimeRules.empty());
#endif
}

TEST_F(SettingsLoaderTest, AnExistingKeyWithoutCacheExtStoresAnEmptyList) {
  load();
  deleteValue(kSite1, "CacheExt");
  LoadedSettings loaded = load();
  EXPECT_TRUE(site1(loaded).CacheExt.empty());
  EXPECT_EQ(value(kSite1, "CacheExt"), std::string(1, '\0'));
}

TEST_F(SettingsLoaderTest, ABrokenMimeTypesValueKeepsWhatParsedBeforeTheBreak) {
  load();
  setText(kSite1, "MimeTypes", std::string("text,1,9\0image,0,0,bmp,1\0audio,0\0message,0,0\0", 46), REG_MULTI_SZ);
  LoadedSettings loaded = load();
  const SiteSettings& s = site1(loaded);
  ASSERT_EQ(s.MimeTypes.size(), 2u);
  EXPECT_EQ(s.MimeTypes[1].Name.str(), "image");
  EXPECT_TRUE(s.MimeTypes[1].SubTypes.empty());
  EXPECT_EQ(s.Browsers.size(), 8u);
}

TEST_F(SettingsLoaderTest, ABrokenBrowserValueDropsAllBrowserRules) {
  load();
  setText(std::string(kSite1) + "\\Browsers", "Lynx", std::string("Lynx/,text,1\0", 14), REG_MULTI_SZ);
  LoadedSettings loaded = load();
  EXPECT_TRUE(site1(loaded).Browsers.empty());
  EXPECT_EQ(site1(loaded).MimeTypes.size(), 5u);
}

// Guards against the stored lists being replaced by defaults because they outgrew the
// buffer the loader was designed with.
TEST_F(SettingsLoaderTest, ListsLongerThan5120BytesAreReadWhole) {
  load();
  std::string extensions;
  for (int i = 0; i < 700; ++i) extensions += (i ? "," : "") + std::string(".e") + std::to_string(i) + ",5";
  ASSERT_GT(extensions.size(), 5120u);
  setText(kSite1, "FileExtensions", extensions);
  std::string mime = "text,1,9";
  for (int i = 0; i < 400; ++i) mime += ",sub" + std::to_string(i) + ",1,9";
  setText(kSite1, "MimeTypes", mime + '\0', REG_MULTI_SZ);
  LoadedSettings loaded = load();
  EXPECT_EQ(site1(loaded).FileExtensions.size(), 700u);
  ASSERT_EQ(site1(loaded).MimeTypes.size(), 1u);
  EXPECT_EQ(site1(loaded).MimeTypes[0].SubTypes.size(), 400u);
  EXPECT_EQ(value(kSite1, "FileExtensions"), extensions + '\0');
}

TEST_F(SettingsLoaderTest, AMissingOrOverlongScalarFailsTheLoad) {
  load();
  deleteValue(kSite1, "MinSize");
  load(false);
  setText(kSite1, "MinSize", "800");
  load(true);
  setText(kSite1, "RefreshLog", std::string(512, 'x'));
  load(false);
  setText(kSite1, "RefreshLog", std::string(511, 'x'));
  load(true);
}

TEST_F(SettingsLoaderTest, MissingProgFilesOrAnonymousAccountOrSitesFailTheLoad) {
  deleteValue("SOFTWARE\\Korvane\\Sablewing\\Value", "ProgFiles");
  load(false);
  setGlobal("ProgFiles", "C:\\Program Files\\Tamsic\\");
  deleteMetabaseProperty("/LM/W3SVC", MD_ANONYMOUS_USER_NAME);
  load(false);
  setMetabaseString("/LM/W3SVC", MD_ANONYMOUS_USER_NAME, "IUSR_TEST", METADATA_INHERIT, IIS_MD_UT_FILE);
  for (const char* child : {"/LM/W3SVC/Info", "/LM/W3SVC/Filters", "/LM/W3SVC/1"}) deleteMetabaseKey(child);
  load(false);
}

TEST_F(SettingsLoaderTest, ASiteWithoutAHomeDirectoryEndsTheLoadWithSuccess) {
  addSite(2, "");
  addSite(3, "C:\\Sites\\Three");
  LoadedSettings loaded = load();
  ASSERT_TRUE(loaded.table->Slots[1]);
  const SiteSettings& s = *loaded.table->Slots[1];
  EXPECT_EQ(s.InstancePath.str(), "/LM/W3SVC/2");
  EXPECT_EQ(s.MinSize, 0);
  EXPECT_TRUE(s.RootPath.empty());
  EXPECT_FALSE(loaded.table->Slots[2]);
}

// A home longer than the settings hold would be cut to another folder (its parent, where
// the site's folders would then be made): the load ends at it as at a site without one.
TEST_F(SettingsLoaderTest, AHomeLongerThanTheSettingsHoldEndsTheLoadAsNoneDoes) {
  const std::string longHome = "C:\\" + std::string(400, 'h');
  addSite(2, longHome);
  addSite(3, "C:\\" + std::string(509, 'h'));  // 512 characters
  addSite(4, "C:\\Sites\\Four");
  LoadedSettings loaded = load();
  ASSERT_TRUE(loaded.table->Slots[1]);
  EXPECT_EQ(loaded.table->Slots[1]->RootPath.str(), longHome);
  EXPECT_EQ(loaded.table->Slots[1]->CacheFolder.str(), longHome + "\\gzipcache");
  ASSERT_TRUE(loaded.table->Slots[2]);
  EXPECT_TRUE(loaded.table->Slots[2]->RootPath.empty());
  EXPECT_FALSE(loaded.table->Slots[3]);
}

// A home directory of 129 characters beyond ASCII takes up to 387 bytes in UTF-8, the code
// page of this platform's stand-in (Windows' own code pages hold the characters of theirs in
// one or two): the folders made from it were made from its first 255 bytes, folders that no
// one could find.
#ifndef _WIN32
TEST_F(SettingsLoaderTest, FoldersAreMadeFromTheWholeHomeDirectory) {
  std::string root = "C:\\Sites\\";
  while (root.size() < 360) root += "\xe6\x9d\xb1";  // three bytes a character
  addSite(2, root);
  LoadedSettings loaded = load();
  ASSERT_TRUE(loaded.table->Slots[1]);
  const SiteSettings& s = *loaded.table->Slots[1];
  EXPECT_EQ(s.RootPath.str(), root);
  EXPECT_EQ(s.CacheFolder.str(), root + "\\gzipcache");
  EXPECT_EQ(value("SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\2", "LogFolder"), root + "\\gziplog" + '\0');
}
#endif

// Copies of two sites in one folder would answer one site's URL with the other's page.
TEST_F(SettingsLoaderTest, ASiteWhoseCopiesWouldLieAmongAnEarlierSitesCachesNothing) {
  addSite(2, "C:\\Sites\\Two");
  addSite(3, "C:\\Sites\\Three");
  addSite(4, "C:\\Sites\\Four");
  load();
  const std::string sites = "SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\";
  struct Case {
    const char* one;
    const char* two;
    const char* three;
    bool twoTaken, threeTaken;
  };
  const Case cases[] = {
      {"C:\\Cache\\A", "C:\\Cache\\B", "C:\\Cache\\C", false, false},
      {"C:\\Cache\\A", "c:/cache//a\\", "C:\\Cache\\AB", true, false},  // one folder, spelled otherwise
      {"C:\\Cache\\A", "C:\\Cache\\A\\sub", "C:\\Cache", false, false},  // beside the copies, not among them
      {"C:\\Cache", "C:\\Cache\\korvanecompress\\x", "C:\\Cache\\Other", true, false},  // inside the copies
      {"C:\\Cache\\A\\korvanecompress\\x", "C:\\Cache\\A", "C:\\CACHE\\A", true, true},  // holding them
      {"", "C:\\Cache\\A", "C:\\Cache\\A", false, true},  // a site without a cache claims nothing
  };
  for (const Case& c : cases) {
    setText(sites + "1", "CacheFolder", c.one);
    setText(sites + "2", "CacheFolder", c.two);
    setText(sites + "3", "CacheFolder", c.three);
    setText(sites + "4", "CacheFolder", "C:\\Cache\\Four");
    LoadedSettings loaded = load();
    ASSERT_TRUE(loaded.table->Slots[3]);
    EXPECT_FALSE(loaded.table->Slots[0]->CacheFolderTaken) << c.one;
    EXPECT_EQ(loaded.table->Slots[1]->CacheFolderTaken, c.twoTaken) << c.one << " " << c.two;
    EXPECT_EQ(loaded.table->Slots[2]->CacheFolderTaken, c.threeTaken) << c.one << " " << c.three;
    EXPECT_FALSE(loaded.table->Slots[3]->CacheFolderTaken);
    EXPECT_EQ(loaded.table->Slots[1]->CacheFolder.str(), c.two);  // the stored value is kept
  }
}

TEST_F(SettingsLoaderTest, FoldersAreCreatedAndTheReportResourcesCopied) {
  load();
  const auto root = driveC("Inetpub/wwwroot");
  EXPECT_TRUE(std::filesystem::is_directory(root / "gziplog"));
  EXPECT_TRUE(std::filesystem::is_directory(root / "gzipcache"));
  EXPECT_TRUE(std::filesystem::is_regular_file(root / "tamsicreport/rtemplate.dat"));
  EXPECT_TRUE(std::filesystem::is_regular_file(root / "tamsicreport/report.css"));
  EXPECT_TRUE(std::filesystem::is_regular_file(root / "tamsicreport/images/bar.gif"));
  EXPECT_FALSE(std::filesystem::exists(root / "tamsicreport/nested"));
  // Changed templates reach the site at the next load.
  writeHostFile(driveC("Program Files/Tamsic/reporting/rtemplate.dat"), "v2");
  load();
  std::ifstream copied(root / "tamsicreport/rtemplate.dat");
  std::string content((std::istreambuf_iterator<char>(copied)), {});
  EXPECT_EQ(content, "v2");
}

#ifdef _WIN32
// Whether the folder's access list lets the account write, for what is made inside too.
bool grantsWrite(const std::string& folder, const char* account) {
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof(sid);
  char domain[256];
  DWORD domainSize = sizeof(domain);
  SID_NAME_USE use;
  if (!LookupAccountNameA(nullptr, account, sid, &sidSize, domain, &domainSize, &use)) return false;
  PACL list = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &list, nullptr,
                            &descriptor) != ERROR_SUCCESS)
    return false;
  bool found = false;
  for (DWORD i = 0; list && !found && i < list->AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(list, i, &entry)) break;
    const auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    found = ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && EqualSid(const_cast<DWORD*>(&ace->SidStart), sid) &&
            (ace->Mask & FILE_GENERIC_WRITE) == FILE_GENERIC_WRITE &&
            (ace->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)) == (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
  }
  LocalFree(descriptor);
  return found;
}

// The folder names go to no command interpreter: a name with a command separator is only a
// folder name (Windows names hold no quote and no redirection).
TEST_F(SettingsLoaderTest, TheAnonymousAccountGetsWriteAccessWithoutAnyShell) {
  char account[256] = {};
  DWORD size = sizeof(account);
  ASSERT_TRUE(GetUserNameA(account, &size));
  setMetabaseString("/LM/W3SVC", MD_ANONYMOUS_USER_NAME, account, METADATA_INHERIT, IIS_MD_UT_FILE);
  load();
  setText(kSite1, "LogFolder", "C:\\Inetpub\\wwwroot\\logs & mkdir pwned &");
  load();
  EXPECT_TRUE(grantsWrite("C:\\Inetpub\\wwwroot\\gzipcache", account));
  EXPECT_TRUE(grantsWrite("C:\\Inetpub\\wwwroot\\logs & mkdir pwned &", account));
  EXPECT_FALSE(std::filesystem::exists("pwned"));
}
#else
// The stand-in's POSIX access list (a folder name may hold a quote there).
bool hasUserEntry(const std::filesystem::path& folder, uid_t uid, acl_type_t type) {
  acl_t acl = acl_get_file(folder.c_str(), type);
  if (!acl) return false;
  bool found = false;
  acl_entry_t entry;
  for (int id = ACL_FIRST_ENTRY; !found && acl_get_entry(acl, id, &entry) == 1; id = ACL_NEXT_ENTRY) {
    acl_tag_t tag;
    acl_get_tag_type(entry, &tag);
    if (tag != ACL_USER) continue;
    auto* q = static_cast<uid_t*>(acl_get_qualifier(entry));
    acl_permset_t perms;
    acl_get_permset(entry, &perms);
    found = q && *q == uid && acl_get_perm(perms, ACL_WRITE) == 1;
    acl_free(q);
  }
  acl_free(acl);
  return found;
}

// The folder names go to no command interpreter: a name with a quote and a command
// separator is only a folder name.
TEST_F(SettingsLoaderTest, TheAnonymousAccountGetsWriteAccessWithoutAnyShell) {
  struct passwd* nobody = getpwnam("nobody");
  if (!nobody) GTEST_SKIP() << "no user 'nobody' on this machine";
  setMetabaseString("/LM/W3SVC", MD_ANONYMOUS_USER_NAME, "MACHINE\\nobody", METADATA_INHERIT, IIS_MD_UT_FILE);
  const std::string hostile = "C:\\Inetpub\\wwwroot\\logs\" & touch pwned & \"";
  load();
  setText(kSite1, "LogFolder", hostile);
  load();
  const auto root = driveC("Inetpub/wwwroot");
  EXPECT_TRUE(hasUserEntry(root / "gzipcache", nobody->pw_uid, ACL_TYPE_ACCESS));
  EXPECT_TRUE(hasUserEntry(root / "gzipcache", nobody->pw_uid, ACL_TYPE_DEFAULT));
  EXPECT_TRUE(hasUserEntry(root / "logs\" & touch pwned & \"", nobody->pw_uid, ACL_TYPE_ACCESS));
  EXPECT_FALSE(std::filesystem::exists("pwned"));
  // The folder keeps the permissions it had.
  EXPECT_EQ(std::filesystem::status(root / "gzipcache").permissions() & std::filesystem::perms::owner_all,
            std::filesystem::perms::owner_all);
}
#endif

}  // namespace
