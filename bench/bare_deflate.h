#pragma once
// A raw deflate of a whole body in one call, with the framing's parameters: the baseline
// the benchmarks compare against.

#include <zlib.h>

#include <string>
#include <vector>

namespace bench {

inline uLong bareDeflate(const std::string& body, int level, std::vector<unsigned char>& out,
                         alloc_func zalloc = nullptr, free_func zfree = nullptr, voidpf opaque = nullptr) {
  z_stream s{};
  s.zalloc = zalloc;
  s.zfree = zfree;
  s.opaque = opaque;
  deflateInit2(&s, level, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data()));
  s.avail_in = static_cast<uInt>(body.size());
  s.next_out = out.data();
  s.avail_out = static_cast<uInt>(out.size());
  deflate(&s, Z_FINISH);
  const uLong produced = s.total_out;
  deflateEnd(&s);
  return produced;
}

}  // namespace bench
