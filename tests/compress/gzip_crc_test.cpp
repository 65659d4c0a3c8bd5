// The folded CRC against zlib's table code: every length round the lane and block
// boundaries, any alignment, and a CRC continued over parts.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "compress/gzip_crc.h"

namespace {

using compression::GzipCrc;
using compression::GzipCrcByTable;

TEST(GzipCrcTest, KnownValues) {
  const char* check = "123456789";
  EXPECT_EQ(GzipCrc(0, reinterpret_cast<const std::uint8_t*>(check), 9), 0xCBF43926u);
  EXPECT_EQ(GzipCrc(0, nullptr, 0), 0u);
  // 64 bytes of zeros and of 0xFF: the shortest input the folding takes.
  std::vector<std::uint8_t> block(64, 0);
  EXPECT_EQ(GzipCrc(0, block.data(), block.size()), GzipCrcByTable(0, block.data(), block.size()));
  std::memset(block.data(), 0xFF, block.size());
  EXPECT_EQ(GzipCrc(0, block.data(), block.size()), GzipCrcByTable(0, block.data(), block.size()));
}

TEST(GzipCrcTest, EqualsTheTableCodeForAnyLengthAndAlignment) {
  std::mt19937 random(20261208);
  std::vector<std::uint8_t> bytes(70000);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  for (std::size_t length = 0; length <= 600; ++length) {
    const std::size_t offset = length % 17;
    ASSERT_EQ(GzipCrc(0, bytes.data() + offset, length), GzipCrcByTable(0, bytes.data() + offset, length))
        << "length " << length << " at offset " << offset;
  }
  for (int round = 0; round < 300; ++round) {
    const std::size_t offset = random() % 64;
    const std::size_t length = random() % (bytes.size() - offset);
    const std::uint32_t start = round % 3 == 0 ? 0u : static_cast<std::uint32_t>(random());
    ASSERT_EQ(GzipCrc(start, bytes.data() + offset, length), GzipCrcByTable(start, bytes.data() + offset, length))
        << "length " << length << " at offset " << offset << " from " << start;
  }
}

TEST(GzipCrcTest, ContinuesOverParts) {
  std::mt19937 random(7);
  std::vector<std::uint8_t> bytes(20000);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random() % 4);  // long runs, as in text
  const std::uint32_t whole = GzipCrcByTable(0, bytes.data(), bytes.size());
  for (int round = 0; round < 200; ++round) {
    std::uint32_t crc = 0;
    std::size_t at = 0;
    while (at < bytes.size()) {
      const std::size_t part = std::min<std::size_t>(bytes.size() - at, random() % 3000);
      crc = GzipCrc(crc, bytes.data() + at, part);
      at += part;
    }
    ASSERT_EQ(crc, whole) << "round " << round;
  }
}

}  // namespace
