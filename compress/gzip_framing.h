#pragma once
// One complete body in, one gzip member out (RFC 1952): the fixed ten-byte header, one raw
// deflate stream made by a single deflate call, and the CRC-32 and length trailer.

#include <zlib.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "compress/request_memory.h"

namespace compression {

// One compression call's record; the caller reads stream.total_out afterwards.
struct Compressor {
  std::size_t workCapacity = 0;  // 2 x input length + 31: enough for any deflate stream of it
  z_stream stream{};
  std::uint32_t crc = 0;
};

constexpr std::size_t kGzipHeaderBytes = 10;
constexpr std::size_t kGzipTrailerBytes = 8;

// level 0-9 (anything else fails). With gzipWrapper the result is header + deflate +
// trailer (total_out + 18 bytes); without, the bare raw deflate data. zlib's working memory
// comes from memory, which the request releases when it ends. nullopt on failure.
std::optional<std::vector<std::uint8_t>> Compress(compression::RequestMemory& memory, const std::uint8_t* input,
                                                  std::size_t length, Compressor& record, int level,
                                                  bool gzipWrapper);

}  // namespace compression
