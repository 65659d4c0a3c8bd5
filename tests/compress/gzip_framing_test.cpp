// Gzip framing: every output decodes with an independent reader to the same bytes.

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

#include "compress/gzip_framing.h"
#include "tests/support/gzip_reader.h"

namespace {

using compression::Compress;
using compression::Compressor;
using testing_support::gunzipWithSystemTool;

std::vector<std::uint8_t> gzip(const std::string& body, int level = 6) {
  compression::RequestMemory memory;
  Compressor record;
  auto out = Compress(memory, reinterpret_cast<const std::uint8_t*>(body.data()), body.size(), record, level, true);
  EXPECT_TRUE(out);
  return out.value_or(std::vector<std::uint8_t>{});
}

std::string readFile(const std::string& name) {
  std::ifstream f(std::string(TEST_DATA_DIR) + "/" + name, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

std::uint32_t trailerWord(const std::vector<std::uint8_t>& out, std::size_t fromEnd) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | out[out.size() - fromEnd + static_cast<std::size_t>(i)];
  return v;
}

TEST(GzipFramingTest, AnEmptyBodyGivesTwentyBytes) {
  auto out = gzip("");
  ASSERT_EQ(out.size(), 20u);
  EXPECT_EQ(trailerWord(out, 8), 0u);  // CRC of nothing
  EXPECT_EQ(trailerWord(out, 4), 0u);  // length
  EXPECT_EQ(gunzipWithSystemTool(out), "");
}

TEST(GzipFramingTest, TheHeaderIsTheFixedTenBytes) {
  auto out = gzip("x");
  const std::vector<std::uint8_t> header{0x1F, 0x8B, 0x08, 0x00, 0, 0, 0, 0, 0x00, 0x0B};
  EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + 10), header);
  EXPECT_EQ(gunzipWithSystemTool(out), "x");
  EXPECT_EQ(trailerWord(out, 4), 1u);
}

TEST(GzipFramingTest, RandomBytesAndRealPagesRoundTripAtEveryLevel) {
  std::mt19937 random(7);
  std::string noise(64 * 1024, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  const std::string bodies[] = {noise, readFile("handbook.html"), readFile("handbook.css")};
  for (const std::string& body : bodies) {
    for (int level : {1, 6, 9}) {
      auto out = gzip(body, level);
      EXPECT_EQ(gunzipWithSystemTool(out), body) << "level " << level << ", " << body.size() << " bytes";
      EXPECT_EQ(trailerWord(out, 4), body.size());
    }
  }
}

TEST(GzipFramingTest, LevelZeroGivesStoredBlocks) {
  const std::string body = readFile("handbook.html");
  auto out = gzip(body, 0);
  EXPECT_EQ(out[10] & 0x06, 0);  // BTYPE 00 of the first block: stored
  EXPECT_GT(out.size(), body.size());
  EXPECT_EQ(gunzipWithSystemTool(out), body);
}

TEST(GzipFramingTest, LevelsOutsideZeroToNineFail) {
  compression::RequestMemory memory;
  Compressor record;
  const std::uint8_t byte = 'a';
  EXPECT_FALSE(Compress(memory, &byte, 1, record, 10, true));
  EXPECT_FALSE(Compress(memory, &byte, 1, record, -1, true));
}

TEST(GzipFramingTest, WithoutTheWrapperTheOutputIsBareDeflate) {
  compression::RequestMemory memory;
  Compressor record;
  const std::string body = readFile("handbook.css");
  auto raw = Compress(memory, reinterpret_cast<const std::uint8_t*>(body.data()), body.size(), record, 9, false);
  ASSERT_TRUE(raw);
  EXPECT_EQ(raw->size(), record.stream.total_out);
  // Wrap it by hand and let the independent reader check the stream.
  std::vector<std::uint8_t> framed{0x1F, 0x8B, 0x08, 0, 0, 0, 0, 0, 0, 0x0B};
  framed.insert(framed.end(), raw->begin(), raw->end());
  auto withWrapper = gzip(body, 9);
  framed.insert(framed.end(), withWrapper.end() - 8, withWrapper.end());
  EXPECT_EQ(gunzipWithSystemTool(framed), body);
  EXPECT_GT(memory.bytesHeld(), 0u);  // zlib's state came from the request's memory
}

}  // namespace
