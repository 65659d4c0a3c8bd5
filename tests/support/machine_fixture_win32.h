#pragma once
// The Windows counterpart of the stand-ins' machine root, under Wine: the prefix's own C:
// drive and registry, laid out before each test as a fresh machine is (the metabase with
// its web service and site 1, an empty C:\Inetpub\wwwroot) and put back after it. The
// system under test names C:\ itself, so the files live on that drive; what a test adds at
// the top of C:\ or of C:\Program Files goes afterwards, and so do the product's registry
// keys and the metabase.

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "platform/registry/unique_key.h"

namespace testing_support {

// Lays out the fresh machine: the test metabase registered for CLSID_MSAdminBase_W and
// filled, the site's folder made. False with error filled.
bool layOutTestMachine(std::string& error);
// Removes the product's registry keys, the metabase and C:\Inetpub.
void clearTestMachine();
// The entries at the top of C:\ and of C:\Program Files.
std::set<std::filesystem::path> topEntries();
// Imports a .reg file's text into the machine's registry with regedit /s.
bool importRegFile(const std::string& text, std::string& error);

class MachineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clearTestMachine();
    before_ = topEntries();
    std::string error;
    ASSERT_TRUE(layOutTestMachine(error)) << error;
  }
  void TearDown() override {
    std::error_code ec;
    for (const auto& entry : topEntries())
      if (!before_.count(entry)) std::filesystem::remove_all(entry, ec);
    clearTestMachine();
  }

  // The path of a file on the machine's C: drive ("Inetpub/x.htm").
  std::filesystem::path driveC(const std::string& relative) const { return std::filesystem::path("C:/") / relative; }

  void writeHostFile(const std::filesystem::path& path, const std::string& content) const {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
  }

  static std::string readHostFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  // What an installation leaves: "ProgFiles" in the global key and its empty report
  // resources folder, which every settings load needs.
  void installProduct() const {
    UniqueKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\Sablewing\\Value", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    const char progFiles[] = "C:\\Program Files\\Tamsic\\";
    ASSERT_EQ(RegSetValueExA(key.get(), "ProgFiles", 0, REG_SZ, reinterpret_cast<const BYTE*>(progFiles), sizeof(progFiles)),
              ERROR_SUCCESS);
    std::filesystem::create_directories(driveC("Program Files/Tamsic/reporting"));
  }

 private:
  std::set<std::filesystem::path> before_;
};

}  // namespace testing_support
