#pragma once
// A fresh machine root of the stand-ins for each test: a temporary folder named by
// TAMSIC_MACHINE, removed afterwards. Helpers write Windows-path files and registry values
// in a line.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/machine_root.h"
#include "platform/registry/reg_file.h"
#include "platform/registry/registry.h"
#include "platform/registry/unique_key.h"

namespace testing_support {

class MachineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tamsic-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    setenv(platform::kMachineEnvVar, root_.c_str(), 1);
    std::string error;
    ASSERT_FALSE(platform::ensureMachineRoot(error).empty()) << error;
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
    unsetenv(platform::kMachineEnvVar);
  }

  // The host path of a file on the machine's C: drive ("Inetpub/x.htm").
  std::filesystem::path driveC(const std::string& relative) const { return root_ / "drive_c" / relative; }

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

  std::filesystem::path root_;
};

// Imports a .reg file's text into the machine's registry, as regedit /s does.
inline bool importRegFile(const std::string& text, std::string& error) {
  return platform::registry::importFile(text, error);
}

}  // namespace testing_support
