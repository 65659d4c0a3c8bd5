// The setup helper's commands on a machine root of their own (without running services).

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/sync/named_mutex.h"
#include "platform/text/wide_text.h"
#include "settings/metabase_session.h"
#include "settings/rule_lists.h"
#include "settings/settings_loader.h"
#include "setup/command_line.h"
#include "setup/filter_registration.h"
#include "setup/hostprep_commands.h"
#include "setup/settings_upgrade.h"
#include "setup/site_commands.h"
#include "tests/support/machine_fixture.h"
#include "tests/support/metabase_helpers.h"

namespace {

using settings::MetabaseSession;
using setup::HostprepArguments;
using setup::ParseCommandLine;

void createSite(int number, const std::string& root) {
  testing_support::setMetabaseString("/LM/W3SVC/" + std::to_string(number) + "/Root", MD_VR_PATH, root,
                                     METADATA_INHERIT, IIS_MD_UT_FILE);
}

// The command line.

void expectArgs(std::string_view raw, const HostprepArguments& want) {
  const HostprepArguments got = ParseCommandLine(raw);
  EXPECT_EQ(got.a, want.a) << raw;
  EXPECT_EQ(got.b, want.b) << raw;
  EXPECT_EQ(got.c, want.c) << raw;
  EXPECT_EQ(got.d, want.d) << raw;
}

TEST(CommandLineTest, SplitsAtSingleSpacesOutsideQuotes) {
  expectArgs("Tamsic \"Tamsic compression\" \"C:\\Program Files\\x.dll\" off",
             {"Tamsic", "Tamsic compression", "C:\\Program Files\\x.dll", "off"});
  expectArgs("a  b c", {"a", "", "b", "c"});  // two spaces make an empty argument
  expectArgs("a\"b c\"d e", {"ab cd", "e", "", ""});  // quotes inside an argument are not copied
  expectArgs("", {"", "", "", ""});
  expectArgs("6", {"6", "", "", ""});
}

TEST(CommandLineTest, DEndsAtItsClosingQuoteAndTheRestIsIgnored) {
  expectArgs("a b c \"d d\"tail more", {"a", "b", "c", "d d"});
  expectArgs("a b c d e f", {"a", "b", "c", "d"});
  expectArgs("a b c d\"x y\" z", {"a", "b", "c", "dx y"});
}

// An argument is at most 255 characters. A longer one is not cut (a path or a name cut
// short would be registered as given): the line does nothing.
TEST(CommandLineTest, AnArgumentOf256CharactersMarksTheLine) {
  EXPECT_FALSE(ParseCommandLine(std::string(255, 'y') + " b c " + std::string(255, 'd')).overlong);
  EXPECT_EQ(ParseCommandLine(std::string(255, 'y')).a.size(), 255u);
  for (const std::string& line : {std::string(256, 'x') + " next", "a " + std::string(300, 'b'),
                                  "a b \"" + std::string(256, 'c') + "\" d", "a b c " + std::string(256, 'd')})
    EXPECT_TRUE(ParseCommandLine(line).overlong) << line.size();
  EXPECT_FALSE(ParseCommandLine("a b c d " + std::string(300, 'e')).overlong);  // after D: ignored
}

// On Windows the text is the program's whole command line: its name goes, quoted or not,
// with the blanks after it, and the rest is read by the command's rules (a '\' before a
// '"' is no escape, two spaces make an empty argument).
TEST(CommandLineTest, TheArgumentsFollowTheProgramsNameInWindowsOwnLine) {
  EXPECT_EQ(setup::TextAfterProgramName("hostprep.exe 7 x"), "7 x");
  EXPECT_EQ(setup::TextAfterProgramName("\"C:\\Program Files\\hostprep.exe\"  7  x"), "7  x");
  EXPECT_EQ(setup::TextAfterProgramName("\"C:\\a b\\hostprep\""), "");
  EXPECT_EQ(setup::TextAfterProgramName("hostprep"), "");
  expectArgs(setup::TextAfterProgramName("hostprep 7 \"SOFTWARE\\RT\\Trailing\\\""), {"7", "SOFTWARE\\RT\\Trailing\\", "", ""});
  expectArgs(setup::TextAfterProgramName("hostprep 7 SOFTWARE\\RT\\Bare\\\"x"), {"7", "SOFTWARE\\RT\\Bare\\x", "", ""});
  expectArgs(setup::TextAfterProgramName("hostprep 7  SOFTWARE\\RT\\TwoSpaces"), {"7", "", "SOFTWARE\\RT\\TwoSpaces", ""});
}

TEST(CommandLineTest, ShellWordsGiveTheSameArgumentsAsTheRawText) {
  const char* argv[] = {"hostprep", "Tamsic", "Tamsic compression", "C:\\x.dll", ""};
  EXPECT_EQ(setup::RawCommandLine(5, argv), "Tamsic \"Tamsic compression\" C:\\x.dll \"\"");
  const HostprepArguments got = ParseCommandLine(setup::RawCommandLine(5, argv));
  EXPECT_EQ(got.b, "Tamsic compression");
  EXPECT_EQ(got.c, "C:\\x.dll");
  EXPECT_EQ(got.d, "");
  // A word with a double quote has no raw text that gives it back: its quote would pair
  // with another and shift the arguments ("12\" rack" made the description "12").
  const char* quoted[] = {"hostprep", "Tamsic", "12\" rack", "C:\\Program Files\\x.dll", "off"};
  EXPECT_EQ(setup::RawCommandLine(5, quoted), "");
}

// Filter registration.

TEST(OrderFilterListTest, KnownFiltersFirstInPrecedenceOrderTheRestAsTheyWere) {
  EXPECT_EQ(setup::OrderFilterList("sspifilt,Compression,Tamsic"), "sspifilt,Compression,Tamsic");
  EXPECT_EQ(setup::OrderFilterList("Felgrin,Alpha,sspifilt,Tamsic"), "sspifilt,Tamsic,Felgrin,Alpha");
  EXPECT_EQ(setup::OrderFilterList("SSPIFILT,Beta,Gamma"), "sspifilt,Beta,Gamma");
  EXPECT_EQ(setup::OrderFilterList("Felgrin,sspifilt,Tamsic"), "sspifilt,Tamsic,Felgrin");
  EXPECT_EQ(setup::OrderFilterList("tamsic,x,Tamsic"), "Tamsic,Tamsic,x");  // every occurrence stays
  EXPECT_EQ(setup::OrderFilterList(",a,,b"), "a,,b");                      // a leading empty item vanishes
  EXPECT_EQ(setup::OrderFilterList("a,,b"), "a,,b");
}

class HostprepTest : public testing_support::MachineTest {
 protected:
  std::optional<std::string> loadOrder() {
    return MetabaseSession::ReadString("/LM/W3SVC", "Filters", MD_FILTER_LOAD_ORDER, 1);
  }
  void setLoadOrder(const char* list) {
    ASSERT_TRUE(MetabaseSession::WriteData("/LM/W3SVC", "Filters", MD_FILTER_LOAD_ORDER, 1, 2, list, 0));
  }
  bool filterKeyExists(const std::string& name) {
    return MetabaseSession::ReadString("/LM/W3SVC/Filters", ("/" + name).c_str(), MD_KEY_TYPE, 1).has_value();
  }
  std::string hostFile(const std::string& relative) {
    std::ifstream in(driveC(relative), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  void importReg(const std::string& text) {
    std::string error;
    ASSERT_TRUE(testing_support::importRegFile(text, error)) << error;
  }
  std::optional<std::string> regText(const std::string& key, const char* value) {
    UniqueKey k;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, k.put()) != ERROR_SUCCESS) return std::nullopt;
    DWORD size = 0;
    if (RegQueryValueExA(k.get(), value, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
    std::string data(size, '\0');
    if (RegQueryValueExA(k.get(), value, nullptr, nullptr, reinterpret_cast<LPBYTE>(data.data()), &size) != ERROR_SUCCESS)
      return std::nullopt;
    return data;
  }
};

TEST_F(HostprepTest, RegisteringPlacesTheFilterAndWritesItsKey) {
  setLoadOrder("Felgrin,Alpha,sspifilt");
  EXPECT_TRUE(setup::RegisterFilter("Tamsic", "C:\\Program Files\\Korvane\\Tamsic\\squashfilter.so", "Tamsic"));
  EXPECT_EQ(loadOrder(), "sspifilt,Tamsic,Felgrin,Alpha");
  EXPECT_EQ(MetabaseSession::ReadString("/LM/W3SVC/Filters", "/Tamsic", MD_FILTER_IMAGE_PATH, 1),
            "C:\\Program Files\\Korvane\\Tamsic\\squashfilter.so");
  EXPECT_EQ(MetabaseSession::ReadString("/LM/W3SVC/Filters", "/Tamsic", MD_KEY_TYPE, 1), "IIsFilter");
  EXPECT_EQ(MetabaseSession::ReadString("/LM/W3SVC/Filters", "/Tamsic", MD_FILTER_DESCRIPTION, 1), "Tamsic");
}

TEST_F(HostprepTest, AnotherFilterWhoseNameHoldsOursDoesNotCountAsRegistered) {
  // Mended: "TamsicOld" in the load order made registration report success and do nothing.
  setLoadOrder("TamsicOld");
  EXPECT_TRUE(setup::RegisterFilter("Tamsic", "C:\\f.so", "Tamsic"));
  EXPECT_EQ(loadOrder(), "Tamsic,TamsicOld");
  EXPECT_TRUE(filterKeyExists("Tamsic"));
  setLoadOrder("tamsic,x");  // the same name in another case is registered already
  EXPECT_TRUE(setup::RegisterFilter("Tamsic", "C:\\f.so", "Tamsic"));
  EXPECT_EQ(loadOrder(), "tamsic,x");
}

// Fault 9: the server trims the blanks around each item; registration compared untrimmed
// items and listed Tamsic a second time.
TEST_F(HostprepTest, ItemsAreComparedAsTheServerReadsThem) {
  setLoadOrder("sspifilt, Tamsic");
  EXPECT_TRUE(setup::RegisterFilter("Tamsic", "C:\\f.so", "Tamsic"));
  EXPECT_EQ(loadOrder(), "sspifilt, Tamsic");
  setLoadOrder(" sspifilt ,Felgrin");  // a known filter with blanks still goes first
  EXPECT_TRUE(setup::RegisterFilter("Tamsic", "C:\\f.so", "Tamsic"));
  EXPECT_EQ(loadOrder(), "sspifilt,Tamsic,Felgrin");
  // Removal takes every item the server would load, blanks or not.
  setLoadOrder("sspifilt,Tamsic, Tamsic ,Felgrin");
  EXPECT_TRUE(setup::UnregisterFilter("Tamsic"));
  EXPECT_EQ(loadOrder(), "sspifilt,Felgrin");
}

// The load order and the filter's key name one filter: a name given with blanks is
// listed and keyed without them (keyed with them, the server found no key and loaded
// nothing), and a name the list or the metabase would split is refused.
TEST_F(HostprepTest, TheListedNameAndTheKeyNameAreOne) {
  setLoadOrder("sspifilt,Alpha");
  ASSERT_TRUE(MetabaseSession::CreateKeyPath("/LM/W3SVC/Filters", "Alpha"));
  ASSERT_TRUE(MetabaseSession::WriteData("/LM/W3SVC/Filters", "/Alpha", MD_KEY_TYPE, 1, STRING_METADATA, "IIsFilter", 0));
  EXPECT_TRUE(setup::RegisterFilter(" Tamsic ", "C:\\f.so", "Tamsic"));
  EXPECT_EQ(loadOrder(), "sspifilt,Tamsic,Alpha");
  EXPECT_EQ(MetabaseSession::ReadString("/LM/W3SVC/Filters", "/Tamsic", MD_FILTER_IMAGE_PATH, 1), "C:\\f.so");
  // A name too long for its key (the metabase's paths end at 259 characters) is refused
  // too: listed without a key, a second run took it for registered.
  const std::string longest(259 - std::string("/LM/W3SVC/Filters/").size(), 'F');
  const std::string tooLong = longest + "F";
  for (const std::string& split : {std::string("Ta,msic"), std::string("Tamsic/x"), std::string("Alpha/"),
                                   std::string("Al\\pha"), std::string("  "), tooLong}) {
    EXPECT_FALSE(setup::RegisterFilter(split, "C:\\f.so", "Tamsic")) << split;
    EXPECT_FALSE(setup::UnregisterFilter(split)) << split;
  }
  EXPECT_TRUE(setup::RegisterFilter(longest, "C:\\f.so", "Long"));
  EXPECT_TRUE(filterKeyExists(longest));
  EXPECT_TRUE(setup::UnregisterFilter(longest));
  EXPECT_EQ(loadOrder(), "sspifilt,Tamsic,Alpha");
  EXPECT_TRUE(filterKeyExists("Alpha"));
  EXPECT_TRUE(setup::UnregisterFilter("Tamsic "));
  EXPECT_EQ(loadOrder(), "sspifilt,Alpha");
  EXPECT_FALSE(filterKeyExists("Tamsic"));
}

TEST_F(HostprepTest, RegisteringAFilterWhoseKeyExistsRewritesTheOrderThenFails) {
  setLoadOrder("sspifilt");
  ASSERT_TRUE(MetabaseSession::CreateKeyPath("/LM/W3SVC/Filters", "Gamma"));
  EXPECT_FALSE(setup::RegisterFilter("Gamma", "C:\\g.so", "Gamma"));
  EXPECT_EQ(loadOrder(), "sspifilt,Gamma");
}

// A metabase without the filters' key: the list written there went nowhere, and the filter,
// counted as registered, was never loaded.
TEST_F(HostprepTest, RegisteringWhereNoFilterIsListedYetMakesTheListsKey) {
  ASSERT_TRUE(MetabaseSession::DeleteKeyOrData("/LM/W3SVC", "Filters", 0, 0));
  EXPECT_TRUE(setup::RegisterFilter("Tamsic", "C:\\f.so", "Tamsic"));
  EXPECT_EQ(loadOrder(), "Tamsic");
  EXPECT_TRUE(filterKeyExists("Tamsic"));
}

#ifndef _WIN32
// Installers run side by side each read the list and wrote back their own: a name was lost
// while its key stayed.
TEST_F(HostprepTest, InstallersRunAtOnceLoseNoName) {
  setLoadOrder("sspifilt");
  const char* names[] = {"Alpha", "Bravo", "Charlie", "Delta", "Echo", "Foxtrot"};
  std::vector<pid_t> children;
  for (const char* name : names) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // A connection of its own: the same root spelled otherwise.
      setenv(platform::kMachineEnvVar, (root_.string() + "/.").c_str(), 1);
      _exit(setup::RegisterFilter(name, "C:\\f.so", name) ? 0 : 1);
    }
    children.push_back(child);
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  const auto list = loadOrder();
  ASSERT_TRUE(list);
  for (const char* name : names) EXPECT_NE(list->find(name), std::string::npos) << *list;
}

// An installer that died holding the list's lock leaves it to the next one, which goes on.
TEST_F(HostprepTest, AnInstallerThatDiedHoldingTheListLeavesItToTheNext) {
  setLoadOrder("sspifilt");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    setenv(platform::kMachineEnvVar, (root_.string() + "/.").c_str(), 1);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "TamsicFilterLoadOrder");
    _exit(mutex && WaitForSingleObject(mutex, 5000) == WAIT_OBJECT_0 ? 0 : 1);  // and never releases it
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(setup::RegisterFilter("Tamsic", "C:\\f.so", "Tamsic"));
  EXPECT_TRUE(setup::UnregisterFilter("Tamsic"));
  EXPECT_EQ(loadOrder(), "sspifilt");
}
#endif

TEST_F(HostprepTest, DryRunAppendsTheOrderingAndLeavesTheMetabase) {
  setLoadOrder("sspifilt,Alpha");
  EXPECT_TRUE(setup::RegisterFilter("Tamsic", "Felgrin,sspifilt", "DONT ADD THIS FILTER"));
  EXPECT_TRUE(setup::RegisterFilter("Tamsic", "Beta", "DONT ADD THIS FILTER"));
  EXPECT_EQ(hostFile("output.dat"), "sspifilt,Tamsic,Felgrin\nTamsic,Beta\n");
  EXPECT_EQ(loadOrder(), "sspifilt,Alpha");
  EXPECT_FALSE(filterKeyExists("Tamsic"));
}

TEST_F(HostprepTest, RemovalTakesTheWholeItemWithOneCommaAndTheKey) {
  const std::pair<const char*, const char*> cases[] = {{"sspifilt,Tamsic,Felgrin", "sspifilt,Felgrin"},
                                                       {"Tamsic", ""},
                                                       {"Tamsic,Felgrin", "Felgrin"},
                                                       {"Felgrin,Tamsic", "Felgrin"},
                                                       {"Felgrin,TAMSIC", "Felgrin"},
                                                       // Mended: these lost the item TamsicOld.
                                                       {"TamsicOld,Felgrin", "TamsicOld,Felgrin"},
                                                       {"xTamsic,Felgrin", "xTamsic,Felgrin"}};
  for (const auto& [before, after] : cases) {
    setLoadOrder(before);
    MetabaseSession::CreateKeyPath("/LM/W3SVC/Filters", "Tamsic");
    EXPECT_TRUE(setup::UnregisterFilter("Tamsic"));
    EXPECT_EQ(loadOrder(), after) << before;
    EXPECT_FALSE(filterKeyExists("Tamsic")) << before;
  }
}

// Each case leaves a trace when it is dispatched wrongly: a longer A taken for its first digit
// would delete the probe file from every site root (command 1 with B "x").
TEST_F(HostprepTest, DispatchByTheFirstArgument) {
  const auto probe = driveC("Inetpub/wwwroot/x");
  writeHostFile(probe, "probe");
  setLoadOrder("0,Tamsic");
  MetabaseSession::CreateKeyPath("/LM/W3SVC/Filters", "0");
  EXPECT_EQ(setup::RunHostprep(ParseCommandLine("12 x")), 0);
  EXPECT_TRUE(std::filesystem::exists(probe));
  EXPECT_EQ(loadOrder(), "0,Tamsic");
  EXPECT_EQ(setup::RunHostprep(ParseCommandLine("1x x")), 0);
  EXPECT_TRUE(std::filesystem::exists(probe));
  // "0" is a filter name; without B and C it is removed.
  EXPECT_EQ(setup::RunHostprep(ParseCommandLine("0")), 0);
  EXPECT_EQ(loadOrder(), "Tamsic");
  EXPECT_FALSE(filterKeyExists("0"));
  // Mended: an empty name removed the key of every filter.
  EXPECT_EQ(setup::RunHostprep(ParseCommandLine(" x")), 0);
  EXPECT_TRUE(MetabaseSession::ReadString("/LM/W3SVC", "Filters", MD_FILTER_LOAD_ORDER, 1));
  // The probe does go when command 1 is what was asked for.
  EXPECT_EQ(setup::RunHostprep(ParseCommandLine("1 x")), 0);
  EXPECT_FALSE(std::filesystem::exists(probe));
}

TEST_F(HostprepTest, InstallWithoutAWebServiceChangesNothing) {
  setLoadOrder("sspifilt");
  setup::InstallFilter("Tamsic", "Tamsic", "C:\\f.so", "");
  EXPECT_EQ(loadOrder(), "sspifilt");
}

// The upgrade of an old store.

constexpr char kOldStore[] =
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Sablewing\\Value]\r\n\"Version\"=\"%s\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\1]\r\n\"NewExclude\"=\".DLL,.asp\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\1\\FileExtensions\\.htm]\r\n\"Level\"=\"9\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\1\\MimeTypes\\text]\r\n"
    "\"Compress\"=\"1\"\r\n\"Level\"=\"9\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\1\\MimeTypes\\text\\html]\r\n"
    "\"Compress\"=\"1\"\r\n\"Level\"=\"6\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\1\\Browsers\\Lynx]\r\n\"SearchTerm\"=\"Lynx\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\1\\Browsers\\Mozilla]\r\n"
    "\"SearchTerm\"=\"Mozilla/4\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\1\\Browsers\\Mozilla\\text]\r\n"
    "\"Compress\"=\"1\"\r\n\"Level\"=\"6\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\1\\Browsers\\Mozilla\\text\\css]\r\n"
    "\"Compress\"=\"0\"\r\n\"Level\"=\"0\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\2]\r\n\"FileExtensions\"=\"done\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\3]\r\n\r\n";

std::string oldStore(const char* version) {
  char text[sizeof(kOldStore) + 32];
  std::snprintf(text, sizeof(text), kOldStore, version);
  return text;
}

constexpr char kSite1[] = "SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\1";

TEST_F(HostprepTest, UpgradeConvertsOldVersionsOnly) {
  for (const auto& [version, converted] :
       {std::pair{"1.4.0.10", true}, std::pair{"1.5.0.10", false}, std::pair{"1.4.0.1", false},
        std::pair{"0.9.9.99", true}}) {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane");
    importReg(oldStore(version));
    setup::UpgradeSettings();
    EXPECT_EQ(regText(kSite1, "FileExtensions").has_value(), converted) << version;
  }
}

TEST_F(HostprepTest, UpgradeWritesTheNewValuesBesideTheOldTreesAndPassesOverAConvertedSite) {
  importReg(oldStore("1.4.0.10"));
  setup::UpgradeSettings();
  EXPECT_EQ(regText(kSite1, "NewExclude"), std::string("*.dll,.asp\0", 11));
  EXPECT_EQ(regText(kSite1, "FileExtensions"), std::string(".htm,9\0", 7));
  EXPECT_EQ(regText(kSite1, "MimeTypes"), std::string("text,1,9,html,1,6\0\0", 19));
  const std::string browsers = std::string(kSite1) + "\\Browsers";
  EXPECT_EQ(regText(browsers, "Lynx"), std::string("Lynx\0\0", 6));  // a search term alone
  EXPECT_EQ(regText(browsers, "Mozilla"), std::string("Mozilla/4,text,1,6,css,0,0\0\0", 28));
  EXPECT_TRUE(regText(std::string(kSite1) + "\\FileExtensions\\.htm", "Level"));  // the old tree stays
  EXPECT_TRUE(regText(std::string(kSite1) + "\\MimeTypes\\text\\html", "Level"));
  EXPECT_EQ(regText("SOFTWARE\\Korvane\\Sablewing\\Value", "Version"), std::string("1.4.0.10\0", 9));
  // Site 2 counts as converted and is left as it is; site 3 after it is still converted
  // (stopping there left its old rules unused for good).
  EXPECT_EQ(regText("SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\2", "FileExtensions"), std::string("done\0", 5));
  EXPECT_FALSE(regText("SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\2", "NewExclude"));
  EXPECT_EQ(regText("SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\3", "NewExclude"), std::string("*.dll,*.exe\0", 12));
  EXPECT_EQ(regText("SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\3", "FileExtensions"), std::string("\0", 1));
}

// Fault 8: a value longer than the old stores' 1024-byte buffers counted as missing, and a
// long exclusion list became "*.dll,*.exe".
TEST_F(HostprepTest, UpgradeReadsEveryValueWhole) {
  importReg(oldStore("1.4.0.10"));
  std::string exclude = ".DLL";
  for (int i = 0; exclude.size() <= 1100; ++i) exclude += ",C:\\Inetpub\\wwwroot\\private" + std::to_string(i);
  UniqueKey site;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSite1, 0, KEY_ALL_ACCESS, site.put()), ERROR_SUCCESS);
  RegSetValueExA(site.get(), "NewExclude", 0, REG_SZ, reinterpret_cast<const BYTE*>(exclude.c_str()),
                 static_cast<DWORD>(exclude.size() + 1));
  const std::string term(1500, 'm');
  const std::string lynx = std::string(kSite1) + "\\Browsers\\Lynx";
  UniqueKey browser;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, lynx.c_str(), 0, KEY_ALL_ACCESS, browser.put()), ERROR_SUCCESS);
  RegSetValueExA(browser.get(), "SearchTerm", 0, REG_SZ, reinterpret_cast<const BYTE*>(term.c_str()),
                 static_cast<DWORD>(term.size() + 1));
  setup::UpgradeSettings();
  EXPECT_EQ(regText(kSite1, "NewExclude"), "*.dll" + exclude.substr(4) + '\0');
  EXPECT_EQ(regText(std::string(kSite1) + "\\Browsers", "Lynx"), term + std::string(2, '\0'));
}

// A value is text up to its first NUL, as the filter reads it: a level stored as a
// multi-string put its second NUL inside the new list, and the loader lost the rules behind.
TEST_F(HostprepTest, UpgradeTakesEachValuesTextUpToItsFirstNul) {
  importReg(oldStore("1.4.0.10"));
  const auto setMulti = [](const std::string& path, const char* name) {
    UniqueKey key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, key.put()), ERROR_SUCCESS);
    const char value[] = "1\0\0";  // "1" as a multi-string: its own NUL and the list's
    RegSetValueExA(key.get(), name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(value), sizeof(value) - 1);
  };
  setMulti(std::string(kSite1) + "\\FileExtensions\\.htm", "Level");
  setMulti(std::string(kSite1) + "\\MimeTypes\\text", "Compress");
  setup::UpgradeSettings();
  EXPECT_EQ(regText(kSite1, "FileExtensions"), std::string(".htm,1\0", 7));
  EXPECT_EQ(regText(kSite1, "MimeTypes"), std::string("text,1,9,html,1,6\0\0", 19));
}

// An old rule whose name or value holds a comma cannot be an item of the new lists: copied,
// a browser's term split into broken MIME rules and the loader dropped every browser of the
// site. Such a rule is left out (its old key stays) and the others load.
TEST_F(HostprepTest, UpgradeLeavesOutRulesTheNewListsCannotHold) {
  importReg(oldStore("1.4.0.10"));
  const auto rule = [](const std::string& path, std::initializer_list<std::pair<const char*, const char*>> values) {
    UniqueKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    for (const auto& [name, text] : values)
      RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(std::strlen(text) + 1));
  };
  const std::string site = kSite1;
  rule(site + "\\FileExtensions\\.a,b", {{"Level", "9"}});
  rule(site + "\\FileExtensions\\.css", {{"Level", "6,7"}});
  rule(site + "\\MimeTypes\\te,xt", {{"Compress", "1"}, {"Level", "9"}});
  rule(site + "\\MimeTypes\\text\\x,y", {{"Compress", "1"}, {"Level", "9"}});
  rule(site + "\\Browsers\\Old", {{"SearchTerm", "MSIE 4.0, compatible"}});
  rule(site + "\\Browsers\\Old\\text", {{"Compress", "1"}, {"Level", "6"}});
  rule(site + "\\Browsers\\Mozilla\\image", {{"Compress", "1,2"}, {"Level", "6"}});
  setup::UpgradeSettings();

  EXPECT_EQ(regText(kSite1, "FileExtensions"), std::string(".htm,9\0", 7));
  EXPECT_EQ(regText(kSite1, "MimeTypes"), std::string("text,1,9,html,1,6\0\0", 19));
  const std::string browsers = site + "\\Browsers";
  EXPECT_FALSE(regText(browsers, "Old"));
  EXPECT_TRUE(regText(browsers + "\\Old", "SearchTerm"));  // the old key stays
  const auto mozilla = regText(browsers, "Mozilla");
  ASSERT_TRUE(mozilla);
  EXPECT_EQ(*mozilla, std::string("Mozilla/4,text,1,6,css,0,0\0\0", 28));
  const auto loaded = settings::parseBrowserValue("Mozilla", *mozilla);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->SearchTerm.str(), "Mozilla/4");
  ASSERT_TRUE(regText(browsers, "Lynx"));
  EXPECT_TRUE(settings::parseBrowserValue("Lynx", *regText(browsers, "Lynx")));
}

TEST_F(HostprepTest, UpgradeGivesASiteWithoutExclusionsTheDefaultPatterns) {
  importReg(oldStore("1.4.0.10"));
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\2");
  setup::UpgradeSettings();
  EXPECT_EQ(regText("SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\3", "NewExclude"), std::string("*.dll,*.exe\0", 12));
}

// A site the filter has loaded (its key holds every value) whose lists are an old store's
// rule trees: what command 5 finds when the service started before it.
class LoadedSiteUpgradeTest : public HostprepTest {
 protected:
  void SetUp() override {
    HostprepTest::SetUp();
    installProduct();
    settings::LoadedSettings first;
    ASSERT_TRUE(settings::LoadSettings(first));
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSite1, 0, KEY_ALL_ACCESS, site.put()), ERROR_SUCCESS);
    for (const char* value : {"FileExtensions", "MimeTypes", "NewExclude"}) RegDeleteValueA(site.get(), value);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string(kSite1) + "\\Browsers").c_str());
    importReg(oldStore("1.4.0.10"));
  }
  UniqueKey site;
};

// The filter may load an old store before command 5 converts it (the service started
// first): it ran on the built-in tables and wrote them, and the upgrade then took the site
// for converted, so its old rules, exclusions and browsers were lost for good.
TEST_F(LoadedSiteUpgradeTest, AnOldStoreLoadedBeforeItsUpgradeIsStillConverted) {
  settings::LoadedSettings before;
  ASSERT_TRUE(settings::LoadSettings(before));
  const settings::SiteSettings& waiting = *before.table->Slots[0];
  EXPECT_FALSE(waiting.FileExtensions.empty());  // the built-in tables meanwhile
  EXPECT_FALSE(waiting.Browsers.empty());
  EXPECT_FALSE(regText(kSite1, "FileExtensions"));
  EXPECT_FALSE(regText(std::string(kSite1) + "\\Browsers", "Internet Explorer"));

  EXPECT_EQ(setup::RunHostprep(ParseCommandLine("5")), 0);
  settings::LoadedSettings loaded;
  ASSERT_TRUE(settings::LoadSettings(loaded));
  const settings::SiteSettings& s = *loaded.table->Slots[0];
  ASSERT_EQ(s.FileExtensions.size(), 1u);
  EXPECT_EQ(s.FileExtensions[0].Name.str(), ".htm");
  EXPECT_EQ(settings::formatMimeTypes(s.MimeTypes), std::string("text,1,9,html,1,6\0\0", 19));
  ASSERT_EQ(s.NewExclude.size(), 2u);
  EXPECT_EQ(s.NewExclude[0].Pattern.str(), "*.dll");
  ASSERT_EQ(s.Browsers.size(), 2u);
  EXPECT_EQ(s.Browsers[1].SearchTerm.str(), "Mozilla/4");
}

// An old store converted by command 5 is what the filter then loads: a browser without MIME
// types among them (written as "term," it made the loader drop every browser rule).
TEST_F(LoadedSiteUpgradeTest, AnUpgradedStoreLoadsAsItWasKept) {
  EXPECT_EQ(setup::RunHostprep(ParseCommandLine("5")), 0);

  settings::LoadedSettings loaded;
  ASSERT_TRUE(settings::LoadSettings(loaded));
  const settings::SiteSettings& s = *loaded.table->Slots[0];
  ASSERT_EQ(s.InstancePath.str(), "/LM/W3SVC/1");
  ASSERT_EQ(s.FileExtensions.size(), 1u);
  EXPECT_EQ(s.FileExtensions[0].Name.str(), ".htm");
  EXPECT_EQ(s.FileExtensions[0].Level, 9);
  EXPECT_EQ(settings::formatMimeTypes(s.MimeTypes), std::string("text,1,9,html,1,6\0\0", 19));
  ASSERT_EQ(s.NewExclude.size(), 2u);
  EXPECT_EQ(s.NewExclude[0].Pattern.str(), "*.dll");
  EXPECT_EQ(s.NewExclude[1].Pattern.str(), ".asp");
  ASSERT_EQ(s.Browsers.size(), 2u);
  EXPECT_EQ(s.Browsers[0].DisplayName.str(), "Lynx");
  EXPECT_EQ(s.Browsers[0].SearchTerm.str(), "Lynx");
  EXPECT_TRUE(s.Browsers[0].MimeRules.empty());
  EXPECT_EQ(s.Browsers[1].SearchTerm.str(), "Mozilla/4");
  EXPECT_EQ(settings::formatMimeTypes(s.Browsers[1].MimeRules), std::string("text,1,6,css,0,0\0\0", 18));
}

// An old site without extension rules got no "FileExtensions", the value that marks a site
// converted: the loader kept waiting for the conversion and used the built-in browsers
// instead of the converted ones, and a second run converted the old trees again over what
// had been changed since.
TEST_F(LoadedSiteUpgradeTest, AnOldSiteWithoutExtensionRulesIsConvertedOnceAndLoadsItsOwnBrowsers) {
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string(kSite1) + "\\FileExtensions").c_str());
  EXPECT_EQ(setup::RunHostprep(ParseCommandLine("5")), 0);
  EXPECT_EQ(regText(kSite1, "FileExtensions"), std::string("\0", 1));

  const std::string edited("text,1,9,css,0,0\0\0", 19);
  RegSetValueExA(site.get(), "MimeTypes", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(edited.data()),
                 static_cast<DWORD>(edited.size()));
  EXPECT_EQ(setup::RunHostprep(ParseCommandLine("5")), 0);
  EXPECT_EQ(regText(kSite1, "MimeTypes"), edited);

  auto browsersLoaded = [] {
    settings::LoadedSettings loaded;
    EXPECT_TRUE(settings::LoadSettings(loaded));
    std::vector<std::string> terms;
    for (const auto& rule : loaded.table->Slots[0]->Browsers) terms.push_back(rule.SearchTerm.str());
    return terms;
  };
  const std::vector<std::string> converted{"Lynx", "Mozilla/4"};
  EXPECT_EQ(browsersLoaded(), converted);
  // A store an earlier upgrade left without the marker loads its converted browsers too.
  RegDeleteValueA(site.get(), "FileExtensions");
  EXPECT_EQ(browsersLoaded(), converted);
}

// A number stored with `reg add /t REG_DWORD` is copied as its digits, as the loader reads it.
TEST_F(HostprepTest, UpgradeCopiesALevelStoredAsANumberAsItsDigits) {
  importReg(oldStore("1.4.0.10"));
  const auto setNumber = [](const std::string& path, const char* name, DWORD number) {
    UniqueKey key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, key.put()), ERROR_SUCCESS);
    RegSetValueExA(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
  };
  setNumber(std::string(kSite1) + "\\FileExtensions\\.htm", "Level", 9);
  setNumber(std::string(kSite1) + "\\MimeTypes\\text", "Compress", 1);
  setup::UpgradeSettings();
  EXPECT_EQ(regText(kSite1, "FileExtensions"), std::string(".htm,9\0", 7));
  EXPECT_EQ(regText(kSite1, "MimeTypes"), std::string("text,1,9,html,1,6\0\0", 19));
}

// The smaller commands.

TEST_F(HostprepTest, CountSitesIsTheExitCodeOfCommandSix) {
  EXPECT_EQ(setup::RunHostprep(ParseCommandLine("6")), 1);
  createSite(2, "C:\\Sites\\Two");
  createSite(5, "C:\\Sites\\Five");
  EXPECT_EQ(setup::RunHostprep(ParseCommandLine("6")), 3);
}

// Not on Windows: Wine's registry keeps no descriptor of a key's own, and on Windows an
// existing key always has one; the descriptor checked here is the stand-in's.
#ifndef _WIN32
TEST_F(HostprepTest, SharedKeyCarriesItsAccessListAndAnExistingKeyKeepsItsOwn) {
  EXPECT_EQ(setup::RunHostprep(ParseCommandLine("7 SOFTWARE\\Korvane\\Shared")), 0);
  UniqueKey key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\Shared", 0, KEY_READ, key.put()), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, nullptr, &size), ERROR_INSUFFICIENT_BUFFER);
  std::vector<unsigned long long> buffer(size / 8 + 1);
  ASSERT_EQ(RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, buffer.data(), &size), ERROR_SUCCESS);
  BOOL present = FALSE, defaulted = FALSE;
  PACL acl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(buffer.data(), &present, &acl, &defaulted));
  ASSERT_TRUE(present && acl);
  ASSERT_EQ(acl->AceCount, 2);
  const char* sids[] = {"S-1-5-32-544", "S-1-5-32-545"};
  for (DWORD i = 0; i < 2; ++i) {
    void* entry = nullptr;
    ASSERT_TRUE(GetAce(acl, i, &entry));
    auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(ace->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    EXPECT_EQ(ace->Mask, 0xFFFFFFFFu);
    EXPECT_EQ(platform::security::sidText(reinterpret_cast<SID*>(&ace->SidStart)), sids[i]);
  }
  // An existing key is left with the security it had.
  UniqueKey plain;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Plain", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, plain.put(),
                            nullptr),
            ERROR_SUCCESS);
  setup::CreateSharedKey("SOFTWARE\\Plain");
  size = static_cast<DWORD>(buffer.size() * 8);
  ASSERT_EQ(RegGetKeySecurity(plain.get(), DACL_SECURITY_INFORMATION, buffer.data(), &size), ERROR_SUCCESS);
  ASSERT_TRUE(GetSecurityDescriptorDacl(buffer.data(), &present, &acl, &defaulted));
  EXPECT_FALSE(present);
}
#endif

// The first child is a site here ("Info" and "Filters" are gone), so a walk from index 0
// would give it a key.
TEST_F(HostprepTest, SiblingKeysGetTheirDefaultsOnceSkippingTheFirstChildOnVersion5_0) {
#ifdef _WIN32
  // The stand-in reports Windows 2000 (5.0); Wine reports a later version.
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof(version);
  GetVersionExA(&version);
  if (version.dwMajorVersion != 5 || version.dwMinorVersion != 0)
    GTEST_SKIP() << "this system reports version " << version.dwMajorVersion << "." << version.dwMinorVersion;
#endif
  ASSERT_TRUE(MetabaseSession::DeleteKeyOrData("/LM/W3SVC", "Info", 0, 0));
  ASSERT_TRUE(MetabaseSession::DeleteKeyOrData("/LM/W3SVC", "Filters", 0, 0));
  ASSERT_EQ(MetabaseSession::EnumChildKey(0, nullptr), "1");
  createSite(2, "C:\\Sites\\Two");
  createSite(3, "C:\\Sites\\Three");
  const std::string three = std::string(setup::kSiblingSitesKey) + "\\3";
  UniqueKey kept;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, three.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, kept.put(), nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(setup::RunHostprep(ParseCommandLine("8")), 0);
  const std::string two = std::string(setup::kSiblingSitesKey) + "\\2";
  for (const auto& [name, value] : {std::pair{"Default", "months"}, std::pair{"FromLast", "0"}, std::pair{"Disable", "0"},
                                    std::pair{"override", "0"}, std::pair{"Deftime", "0"}, std::pair{"TimeNum", "1"}})
    EXPECT_EQ(regText(two, name), std::string(value) + '\0') << name;
  EXPECT_FALSE(regText(std::string(setup::kSiblingSitesKey) + "\\1", "Default"));  // the first child: skipped
  EXPECT_FALSE(regText(three, "Default"));  // existed: unchanged
}

TEST_F(HostprepTest, CopyToSiteRootsInFileAndFolderMode) {
  createSite(2, "C:\\Sites\\Two");
  writeHostFile(driveC("Setup/report/rtemplate.dat"), "template");
  writeHostFile(driveC("Setup/report/logo.svg"), "logo");
  writeHostFile(driveC("Setup/note.txt"), "note");
  writeHostFile(driveC("Sites/Two/note.txt"), "mine");
  std::filesystem::create_directories(driveC("Sites/Two/reports"));

  EXPECT_EQ(setup::RunHostprep(ParseCommandLine("1 C:\\Setup\\note.txt note.txt")), 0);
  EXPECT_EQ(hostFile("Inetpub/wwwroot/note.txt"), "note");
  EXPECT_EQ(hostFile("Sites/Two/note.txt"), "mine");  // never overwritten

  EXPECT_EQ(setup::RunHostprep(ParseCommandLine("1 C:\\Setup\\report\\* reports")), 0);
  EXPECT_EQ(hostFile("Inetpub/wwwroot/reports/rtemplate.dat"), "template");
  EXPECT_EQ(hostFile("Inetpub/wwwroot/reports/logo.svg"), "logo");
  EXPECT_FALSE(std::filesystem::exists(driveC("Sites/Two/reports/logo.svg")));  // its folder existed

  EXPECT_EQ(setup::RunHostprep(ParseCommandLine("1 note.txt")), 0);
  EXPECT_FALSE(std::filesystem::exists(driveC("Inetpub/wwwroot/note.txt")));
  EXPECT_FALSE(std::filesystem::exists(driveC("Sites/Two/note.txt")));
}

}  // namespace
