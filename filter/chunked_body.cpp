#include "filter/chunked_body.h"

#include <algorithm>

namespace filter {

namespace {

int hexValue(char c) {
  return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

}  // namespace

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
      const int v = hexValue(c);
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

void ChunkedDataCounter::startLine() {
  step_ = Step::kBlanks;
  digits_ = false;
  carriageReturn_ = false;
  left_ = 0;
}

void ChunkedDataCounter::feed(std::string_view piece) {
  // A size past any body stops growing here; its data then runs to the end of what comes,
  // as DecodeChunked takes it.
  constexpr std::uint64_t kLargest = std::uint64_t{1} << 48;
  std::size_t at = 0;
  while (at < piece.size() && step_ != Step::kDone) {
    if (step_ == Step::kData) {
      const std::uint64_t take = std::min<std::uint64_t>(left_, piece.size() - at);
      data_ += take;
      left_ -= take;
      at += static_cast<std::size_t>(take);
      if (left_ == 0) {
        step_ = Step::kLineEnd;
        lineEndLeft_ = 2;
      }
      continue;
    }
    if (step_ == Step::kLineEnd) {
      ++at;
      if (--lineEndLeft_ == 0) startLine();
      continue;
    }
    // A size line: blanks, hex digits, anything up to its first "\r\n". No size (or the
    // last chunk's "0") ends the data.
    const char c = piece[at++];
    if (carriageReturn_ && c == '\n') {
      step_ = digits_ && left_ != 0 ? Step::kData : Step::kDone;
      continue;
    }
    carriageReturn_ = c == '\r';
    if (step_ == Step::kBlanks) {
      if (c == ' ') continue;
      step_ = Step::kDigits;
    }
    if (step_ == Step::kDigits) {
      const int v = hexValue(c);
      if (v < 0) {
        step_ = Step::kLineRest;
      } else {
        digits_ = true;
        if (left_ <= kLargest) left_ = left_ * 16 + static_cast<unsigned>(v);
      }
    }
  }
}

}  // namespace filter
