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
#include "tests/support/machine_test_base.h"

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

class MachineTest : public MachineTestBase {
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

  std::filesystem::path driveC(const std::string& relative) const override {
    return std::filesystem::path("C:/") / relative;
  }

 private:
  std::set<std::filesystem::path> before_;
};

}  // namespace testing_support
