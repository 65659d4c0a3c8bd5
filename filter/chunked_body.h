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

// Counts a chunked body's data bytes piece by piece, as DecodeChunked finds them in all the
// pieces so far, without holding them: the size limits are about the data, not the framing.
class ChunkedDataCounter {
 public:
  void feed(std::string_view piece);
  std::uint64_t dataBytes() const { return data_; }

 private:
  void startLine();

  enum class Step { kBlanks, kDigits, kLineRest, kData, kLineEnd, kDone };
  Step step_ = Step::kBlanks;
  bool digits_ = false;
  bool carriageReturn_ = false;  // the size line's last byte so far was '\r'
  std::uint64_t left_ = 0;       // the chunk's size as read, then what is left of its data
  int lineEndLeft_ = 0;          // bytes behind the chunk's data, its own line end
  std::uint64_t data_ = 0;
};

}  // namespace filter
