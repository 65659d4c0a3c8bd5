#include "filter/chunked_body.h"

namespace filter {

Chunked DecodeChunked(std::string_view in, std::string& body) {
  std::size_t pos = 0;
  while (pos < in.size()) {
    if (in[pos] == '0' && pos + 1 < in.size() && (in[pos + 1] == ' ' || in[pos + 1] == '\r')) return Chunked::kLastChunkSeen;
    const std::size_t lineEnd = in.find("\r\n", pos);
    if (lineEnd == std::string_view::npos) return Chunked::kChunked;
    // Hex digits after optional blanks; an extension after ';' is ignored.
    std::size_t i = pos;
    while (i < lineEnd && in[i] == ' ') ++i;
    std::uint64_t size = 0;
    bool digits = false;
    for (; i < lineEnd; ++i) {
      const char c = in[i];
      const int v = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      if (v < 0) break;
      digits = true;
      size = size * 16 + static_cast<unsigned>(v);
      if (size > in.size()) break;  // larger than anything captured: the copy below is cut
    }
    if (!digits || size == 0) return size == 0 && digits ? Chunked::kLastChunkSeen : Chunked::kChunked;
    const std::size_t data = lineEnd + 2;
    const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(size, in.size() - data));
    body.append(in.substr(data, take));
    pos = data + take + 2;  // the chunk's own line end
  }
  return Chunked::kChunked;
}

}  // namespace filter
