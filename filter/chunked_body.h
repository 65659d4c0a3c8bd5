#pragma once
// Decoding a chunked response body by its chunk lengths, over all the captured bytes
// (binary bodies included).

#include <cstdint>
#include <string>
#include <string_view>

namespace filter {

// A response's chunked framing, as captured.
enum class Chunked : std::uint32_t { kNo = 0, kChunked = 1, kLastChunkSeen = 2 };

// Appends the chunks' data to body. Returns kLastChunkSeen when the last chunk was seen,
// kChunked when the data ended first or a size line was broken.
Chunked DecodeChunked(std::string_view captured, std::string& body);

}  // namespace filter
