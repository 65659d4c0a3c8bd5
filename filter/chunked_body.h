#pragma once
// Decoding a chunked response body by its chunk lengths, over all the captured bytes
// (binary bodies included).

#include <cstdint>
#include <string>
#include <string_view>

namespace filter {

// Appends the chunks' data to body. Returns 2 when the last chunk was seen, 1 when the
// data ended first or a size line was broken.
std::uint32_t DecodeChunked(std::string_view captured, std::string& body);

}  // namespace filter
