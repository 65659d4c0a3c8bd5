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
#include "tests/support/machine_test_base.h"

namespace testing_support {

class MachineTest : public MachineTestBase {
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

  std::filesystem::path driveC(const std::string& relative) const override {
    return root_ / "drive_c" / relative;
  }

  std::filesystem::path root_;
};

// Imports a .reg file's text into the machine's registry, as regedit /s does.
inline bool importRegFile(const std::string& text, std::string& error) {
  return platform::registry::importFile(text, error);
}

}  // namespace testing_support
