#pragma once
// A fresh machine root for each test: a temporary folder named by TAMSIC_MACHINE, removed
// afterwards. Helpers write Windows-path files and registry values in a line.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/machine_root.h"

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

  std::filesystem::path root_;
};

}  // namespace testing_support
