#pragma once
// Decodes gzip data with zlib's own gzip reader (inflate with gzip framing), which checks
// the header, the CRC and the length that the system writes by itself.

#include <zlib.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

inline std::optional<std::string> gunzipWithSystemTool(const std::vector<std::uint8_t>& data) {
  z_stream stream{};
  if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) return std::nullopt;
  stream.next_in = const_cast<Bytef*>(data.data());
  stream.avail_in = static_cast<uInt>(data.size());
  std::string out;
  char buffer[16384];
  int rc = Z_OK;
  while (rc == Z_OK) {
    stream.next_out = reinterpret_cast<Bytef*>(buffer);
    stream.avail_out = sizeof(buffer);
    rc = inflate(&stream, Z_NO_FLUSH);
    out.append(buffer, sizeof(buffer) - stream.avail_out);
    if (rc == Z_BUF_ERROR && stream.avail_in == 0) break;  // the data ended before the stream
  }
  // gzip -d also refuses bytes after the member's trailer.
  const bool whole = rc == Z_STREAM_END && stream.avail_in == 0;
  inflateEnd(&stream);
  if (!whole) return std::nullopt;
  return out;
}

}  // namespace testing_support
