// .reg export and import: byte-exact round trips and all-or-nothing imports.

#include <string>
#include <vector>

#include "platform/registry/reg_file.h"
#include "platform/registry/registry.h"
#include "platform/registry/unique_key.h"
#include "tests/support/machine_fixture.h"

namespace {

class RegFileTest : public testing_support::MachineTest {
 protected:
  void set(const char* path, const char* name, DWORD type, const std::vector<BYTE>& data) {
    UniqueKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key.get(), name, 0, type, data.data(), static_cast<DWORD>(data.size())), ERROR_SUCCESS);
  }
  std::optional<std::pair<DWORD, std::vector<BYTE>>> get(const char* path, const char* name) {
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return std::nullopt;
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
    std::vector<BYTE> data(size);
    RegQueryValueExA(key.get(), name, nullptr, &type, data.data(), &size);
    return std::make_pair(type, data);
  }
  static std::vector<BYTE> bytes(const std::string& s) { return std::vector<BYTE>(s.begin(), s.end()); }
  static std::string utf16le(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) {
      out += c;
      out += '\0';
    }
    return out;
  }
};

TEST_F(RegFileTest, ExportThenImportGivesBackEveryValueByteForByte) {
  const char* path = "SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\1";
  set(path, "CacheExt", REG_SZ, bytes(std::string(".htm,.html\0", 11)));
  set(path, "Quote\"Back\\slash", REG_SZ, bytes(std::string("say \"hi\" C:\\x\0", 15)));
  set(path, "Bare", REG_SZ, bytes("no terminator"));
  set(path, "Ümlaut", REG_SZ, bytes(std::string("grüße\0", 8)));
  set(path, "MimeTypes", REG_MULTI_SZ, bytes(std::string("text,1,9\0image,0,0,bmp,1,9\0\0", 29)));
  set(path, "Flags", REG_DWORD, {0x0A, 0x00, 0x01, 0x80});
  set(path, "Blob", REG_BINARY, std::vector<BYTE>(200, 0xAB));
  set("SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\1\\Browsers", "Opera 5", REG_MULTI_SZ,
      bytes(std::string("Opera/5.,application,0,0\0\0", 26)));
  std::string file, error;
  ASSERT_TRUE(platform::registry::exportKey("HKLM\\SOFTWARE\\Korvane", file, error)) << error;
  ASSERT_GE(file.size(), 2u);
  EXPECT_EQ(file.substr(0, 2), "\xFF\xFE");

  std::vector<std::pair<std::string, std::optional<std::pair<DWORD, std::vector<BYTE>>>>> before;
  for (const char* name : {"CacheExt", "Quote\"Back\\slash", "Bare", "Ümlaut", "MimeTypes", "Flags", "Blob"})
    before.emplace_back(name, get(path, name));
  ASSERT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane"), ERROR_SUCCESS);
  ASSERT_TRUE(platform::registry::importFile(file, error)) << error;
  for (const auto& [name, value] : before) EXPECT_EQ(get(path, name.c_str()), value) << name;
  EXPECT_EQ(get("SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\1\\Browsers", "Opera 5")->second,
            bytes(std::string("Opera/5.,application,0,0\0\0", 26)));
}

// A name with a line break has no line of its own in the file: the export says so instead of
// writing a file that its import refuses whole.
TEST_F(RegFileTest, ANameWithALineBreakIsNotExportedAsIfItWould) {
  set("SOFTWARE\\Korvane\\Broken", "two\nlines", REG_SZ, bytes(std::string("x\0", 2)));
  std::string file, error;
  EXPECT_FALSE(platform::registry::exportKey("HKLM\\SOFTWARE\\Korvane", file, error));
  EXPECT_NE(error.find("line break"), std::string::npos) << error;
}

// The file holds text as UTF-16: bytes that are no text here would come back as others.
TEST_F(RegFileTest, BytesThatAreNoTextInTheCodePageAreNotExportedAsIfTheyWere) {
  std::string file, error;
  set("SOFTWARE\\Latin", "CacheFolder", REG_SZ, bytes(std::string("C:\\cach\xe9\0", 10)));
  EXPECT_FALSE(platform::registry::exportKey("HKLM\\SOFTWARE\\Latin", file, error));
  EXPECT_NE(error.find("CacheFolder"), std::string::npos) << error;
  ASSERT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Latin"), ERROR_SUCCESS);
  set("SOFTWARE\\Latin", "Fran\xe7" "ais", REG_BINARY, bytes("x"));
  EXPECT_FALSE(platform::registry::exportKey("HKLM\\SOFTWARE\\Latin", file, error));
  EXPECT_NE(error.find("name"), std::string::npos) << error;
  // Binary data is any bytes; text in the code page round-trips.
  ASSERT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Latin"), ERROR_SUCCESS);
  set("SOFTWARE\\Latin", "Fran\xc3\xa7" "ais", REG_BINARY, bytes("\xe9"));
  EXPECT_TRUE(platform::registry::exportKey("HKLM\\SOFTWARE\\Latin", file, error)) << error;
}

TEST_F(RegFileTest, ImportsFilesFromWindowsInEveryEncodingItWrites) {
  std::string error;
  const std::string v5 =
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\W]\r\n"
      "\"S\"=\"x\"\r\n\"M\"=hex(7):61,00,00,00,62,00,\\\r\n  00,00,00,00\r\n\"D\"=dword:00000320\r\n";
  ASSERT_TRUE(platform::registry::importFile(utf16le(v5), error)) << error;
  EXPECT_EQ(get("SOFTWARE\\W", "M")->second, bytes(std::string("a\0b\0\0", 5)));
  EXPECT_EQ(get("SOFTWARE\\W", "D")->second, (std::vector<BYTE>{0x20, 0x03, 0, 0}));
  const std::string v4 = "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\CLSID\\{1}]\n@=\"srv\"\n\"M\"=hex(7):61,00,62,00,00\n";
  ASSERT_TRUE(platform::registry::importFile(v4, error)) << error;
  EXPECT_EQ(get("SOFTWARE\\Classes\\CLSID\\{1}", "")->second, bytes(std::string("srv\0", 4)));
  EXPECT_EQ(get("SOFTWARE\\Classes\\CLSID\\{1}", "M")->second, bytes(std::string("a\0b\0\0", 5)));
  ASSERT_TRUE(platform::registry::importFile("\xEF\xBB\xBF" + v5, error)) << error;
}

// A key named with a bracket (an old browser "Opera 7]") is written as it is named and read
// back to the line's last ']': the export of a store must import again.
TEST_F(RegFileTest, KeysWithBracketsInTheirNamesRoundTrip) {
  set("SOFTWARE\\Korvane\\Browsers\\Opera 7]", "SearchTerm", REG_SZ, bytes(std::string("Opera/7\0", 8)));
  set("SOFTWARE\\Korvane\\Browsers\\[beta] x", "SearchTerm", REG_SZ, bytes(std::string("B\0", 2)));
  std::string file, error;
  ASSERT_TRUE(platform::registry::exportKey("HKLM\\SOFTWARE\\Korvane", file, error)) << error;
  ASSERT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane"), ERROR_SUCCESS);
  ASSERT_TRUE(platform::registry::importFile(file, error)) << error;
  EXPECT_EQ(get("SOFTWARE\\Korvane\\Browsers\\Opera 7]", "SearchTerm")->second, bytes(std::string("Opera/7\0", 8)));
  EXPECT_EQ(get("SOFTWARE\\Korvane\\Browsers\\[beta] x", "SearchTerm")->second, bytes(std::string("B\0", 2)));
}

// A REGEDIT4 file from Windows is in its ANSI code page: its text arrives as the same
// characters, and the next export and import keep them (raw bytes came back as U+FFFD).
TEST_F(RegFileTest, AnAnsiFileFromWindowsKeepsItsCharacters) {
  std::string error;
  ASSERT_TRUE(platform::registry::importFile(
      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\W]\r\n\"Caf\xE9\"=\"M\xFCnchen \x80 \x81\"\r\n"
      "\"Terms\"=hex(7):43,61,66,e9,2f,00,00\r\n",
      error))
      << error;
  const auto expected = bytes(std::string("M\xC3\xBCnchen \xE2\x82\xAC \xC2\x81\0", 16));
  const auto terms = bytes(std::string("Caf\xC3\xA9/\0\0", 8));
  EXPECT_EQ(get("SOFTWARE\\W", "Caf\xC3\xA9")->second, expected);
  EXPECT_EQ(get("SOFTWARE\\W", "Terms")->second, terms);
  std::string file;
  ASSERT_TRUE(platform::registry::exportKey("HKLM\\SOFTWARE\\W", file, error)) << error;
  ASSERT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\W"), ERROR_SUCCESS);
  ASSERT_TRUE(platform::registry::importFile(file, error)) << error;
  EXPECT_EQ(get("SOFTWARE\\W", "Caf\xC3\xA9")->second, expected);
  EXPECT_EQ(get("SOFTWARE\\W", "Terms")->second, terms);
}

TEST_F(RegFileTest, DeletionLinesRemoveKeysAndValues) {
  set("SOFTWARE\\Gone\\Deep", "X", REG_SZ, bytes(std::string("1\0", 2)));
  set("SOFTWARE\\Keep", "Y", REG_SZ, bytes(std::string("1\0", 2)));
  std::string error;
  ASSERT_TRUE(platform::registry::importFile(
      "REGEDIT4\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone]\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Keep]\n\"Y\"=-\n", error))
      << error;
  EXPECT_FALSE(get("SOFTWARE\\Gone\\Deep", "X"));
  EXPECT_FALSE(get("SOFTWARE\\Keep", "Y"));
}

struct BadFile {
  const char* name;
  const char* body;
  const char* line;
};

std::ostream& operator<<(std::ostream& out, const BadFile& f) { return out << f.name; }

class RegFileRejectTest : public RegFileTest, public ::testing::WithParamInterface<BadFile> {};

// Guards against half-imported files: the good lines before the fault must not land.
TEST_P(RegFileRejectTest, ABadFileImportsNothingAndNamesTheLine) {
  const std::string file = std::string("Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Half]\n"
                                       "\"Good\"=\"yes\"\n") +
                           GetParam().body;
  std::string error;
  EXPECT_FALSE(platform::registry::importFile(file, error));
  EXPECT_NE(error.find(GetParam().line), std::string::npos) << error;
  UniqueKey key;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Half", 0, KEY_READ, key.put()), ERROR_FILE_NOT_FOUND);
}

INSTANTIATE_TEST_SUITE_P(Faults, RegFileRejectTest,
                         ::testing::Values(BadFile{"UnknownType", "\"V\"=qword:1\n", "line 5"},
                                           BadFile{"UnbalancedBracket", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\X\n", "line 5"},
                                           BadFile{"BadHex", "\n\"V\"=hex:0g,01\n", "line 6"},
                                           BadFile{"UnknownHive", "[HKEY_USERS\\X]\n", "line 5"},
                                           BadFile{"UnclosedQuote", "\"V=\"x\"\n", "line 5"},
                                           BadFile{"LongDword", "\"V\"=dword:123456789\n", "line 5"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A comment ends at its line, even one that holds '=' and ends with a backslash as a
// value's hex data goes on.
TEST_F(RegFileTest, ACommentEndingInABackslashKeepsTheLineAfterIt) {
  std::string error;
  ASSERT_TRUE(platform::registry::importFile("Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\C]\n"
                                             "; the old one was Folder=C:\\Old\\\n"
                                             "\"Folder\"=\"C:\\\\New\\\\\"\n"
                                             "  ;Binary=hex:01,\\\n"
                                             "\"Next\"=hex:01,\\\n  02\n",
                                             error))
      << error;
  EXPECT_EQ(get("SOFTWARE\\C", "Folder"), std::make_pair(DWORD{REG_SZ}, bytes(std::string("C:\\New\\\0", 8))));
  EXPECT_EQ(get("SOFTWARE\\C", "Next"), std::make_pair(DWORD{REG_BINARY}, std::vector<BYTE>{1, 2}));
}

// The API refuses such a name, and stored it would end every reader's enumeration early.
TEST_F(RegFileTest, AValueNameLongerThanTheApiTakesIsRefused) {
  const std::string name(kMaxRegValueNameChars + 1, 'V');
  std::string error;
  EXPECT_FALSE(platform::registry::importFile(
      "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Long]\n\"" + name + "\"=\"x\"\n", error));
  EXPECT_NE(error.find("line 3"), std::string::npos) << error;
  EXPECT_TRUE(platform::registry::importFile(
      "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Long]\n\"" + name.substr(1) + "\"=\"x\"\n", error))
      << error;
}

TEST_F(RegFileTest, AFileWithoutTheHeaderIsRefused) {
  std::string error;
  EXPECT_FALSE(platform::registry::importFile("[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\n", error));
  EXPECT_NE(error.find("line 1"), std::string::npos);
}

}  // namespace
