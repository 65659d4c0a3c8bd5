#include "filter/chunked_body.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using filter::ChunkedDataCounter;
using filter::DecodeChunked;

// A chunked body as programs and hostile ones write it: sizes in either case with leading
// zeros or blanks, extensions, sizes that lie, broken lines, the last chunk or none.
std::string randomChunkedBody(std::mt19937& random) {
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  std::string body;
  const int chunks = pick(12);
  for (int i = 0; i < chunks; ++i) {
    const std::size_t size = pick(4) == 0 ? pick(3) : pick(300);
    char digits[32];
    std::snprintf(digits, sizeof(digits), pick(2) ? "%zx" : "%zX", size);
    std::string line = std::string(pick(5) == 0 ? "  " : "") + (pick(5) == 0 ? "00" : "") + digits;
    if (pick(4) == 0) line += ";ext=" + std::string(pick(20), 'e');
    if (pick(10) == 0) line = "zz";  // no size at all
    if (pick(12) == 0) line += "\rx";  // a carriage return that ends nothing
    body += line + "\r\n";
    std::string data(size, 'd');
    for (char& c : data) c = "ab\r\n0 "[pick(6)];  // framing bytes inside the data
    const int lie = pick(8);
    if (lie == 0 && !data.empty()) data.pop_back();  // shorter than it said
    if (lie == 1) data += "xy";                      // longer than it said
    body += data + (pick(10) == 0 ? "" : "\r\n");
  }
  if (pick(3) != 0) body += pick(2) ? "0\r\n\r\n" : "0 ;last\r\n\r\n";
  if (pick(4) == 0) body += "5\r\nafter\r\n";  // never data: it follows the last chunk
  return body;
}

// Whatever the pieces, the counter finds the data DecodeChunked finds in all of them so far.
TEST(ChunkedDataCounterTest, CountsTheDataDecodeChunkedFindsInEveryPrefix) {
  std::mt19937 random(20261208);
  for (int round = 0; round < 3000; ++round) {
    const std::string body = randomChunkedBody(random);
    ChunkedDataCounter counter;
    std::size_t at = 0;
    while (at < body.size()) {
      const std::size_t size = std::min<std::size_t>(body.size() - at, 1 + random() % 40);
      counter.feed(std::string_view(body).substr(at, size));
      at += size;
      std::string decoded;
      DecodeChunked(std::string_view(body).substr(0, at), decoded);
      ASSERT_EQ(counter.dataBytes(), decoded.size()) << "round " << round << " after " << at << " bytes of\n" << body;
    }
  }
}

// Sizes past 64 bits would wrap to small ones, or to none.
TEST(ChunkedDataCounterTest, ASizeLargerThanAnyBodyCountsWhatCame) {
  for (const char* size : {"FFFFFFFFFFFFFFFFFFFFFFFF", "10000000000000000", "10000000000000001"}) {
    ChunkedDataCounter counter;
    counter.feed(std::string(size) + "\r\n");
    counter.feed(std::string(1000, 'x'));
    EXPECT_EQ(counter.dataBytes(), 1000u) << size;
  }
}

}  // namespace
