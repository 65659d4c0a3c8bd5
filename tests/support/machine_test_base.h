#pragma once
// What a test machine offers on either system: files by their host path, and the product
// as an installation leaves it. Each system's MachineTest says where its C: drive is.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/registry/registry.h"
#include "platform/registry/unique_key.h"

namespace testing_support {

class MachineTestBase : public ::testing::Test {
 protected:
  // The path of a file on the machine's C: drive ("Inetpub/x.htm").
  virtual std::filesystem::path driveC(const std::string& relative) const = 0;

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
};

}  // namespace testing_support
