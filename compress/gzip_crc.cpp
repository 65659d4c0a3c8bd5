#include "compress/gzip_crc.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define TAMSIC_FOLDED_CRC 1
#endif

namespace compression {

std::uint32_t GzipCrcByTable(std::uint32_t crc, const std::uint8_t* data, std::size_t length) {
  // zlib counts in uInt: a longer buffer goes in parts.
  while (length > 0) {
    const std::size_t part = std::min<std::size_t>(length, std::numeric_limits<uInt>::max());
    crc = static_cast<std::uint32_t>(crc32(crc, data, static_cast<uInt>(part)));
    data += part;
    length -= part;
  }
  return crc;
}

#ifdef TAMSIC_FOLDED_CRC

namespace {

#define TAMSIC_FOLDING __attribute__((target("pclmul,sse4.1")))

// One lane moved on by the distance k stands for, joined with the bytes there.
TAMSIC_FOLDING inline __m128i fold(__m128i lane, __m128i k, __m128i next) {
  const __m128i low = _mm_clmulepi64_si128(lane, k, 0x00);
  const __m128i high = _mm_clmulepi64_si128(lane, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(high, low), next);
}

TAMSIC_FOLDING inline __m128i load(const std::uint8_t* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// Folds 64 bytes at a time in four lanes, then to one lane, then reduces it to 32 bits
// (the carry-less multiplication method Intel published in 2009 for CRCs of any polynomial,
// with the bit-reflected constants of its appendix). Takes at least 64 bytes, a multiple
// of 16, and the CRC register as it runs (not inverted).
TAMSIC_FOLDING std::uint32_t foldedCrc(std::uint32_t crc, const std::uint8_t* data, std::size_t length) {
  const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
  const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
  const __m128i k5 = _mm_set_epi64x(0, 0x0163cd6124);
  const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);

  __m128i x1 = _mm_xor_si128(load(data), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x2 = load(data + 16);
  __m128i x3 = load(data + 32);
  __m128i x4 = load(data + 48);
  data += 64;
  length -= 64;
  for (; length >= 64; data += 64, length -= 64) {
    x1 = fold(x1, k1k2, load(data));
    x2 = fold(x2, k1k2, load(data + 16));
    x3 = fold(x3, k1k2, load(data + 32));
    x4 = fold(x4, k1k2, load(data + 48));
  }
  x1 = fold(x1, k3k4, x2);
  x1 = fold(x1, k3k4, x3);
  x1 = fold(x1, k3k4, x4);
  for (; length >= 16; data += 16, length -= 16) x1 = fold(x1, k3k4, load(data));

  // 128 bits to 64.
  const __m128i low32 = _mm_setr_epi32(-1, 0, -1, 0);
  __m128i x = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k3k4, 0x10));
  x = _mm_xor_si128(_mm_srli_si128(x, 4), _mm_clmulepi64_si128(_mm_and_si128(x, low32), k5, 0x00));
  // Barrett reduction to 32 bits.
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x, low32), poly, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), poly, 0x00);
  return static_cast<std::uint32_t>(_mm_extract_epi32(_mm_xor_si128(x, t), 1));
}

#undef TAMSIC_FOLDING

bool canFold() {
  static const bool able = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return able;
}

}  // namespace

std::uint32_t GzipCrc(std::uint32_t crc, const std::uint8_t* data, std::size_t length) {
  if (length >= 64 && canFold()) {
    const std::size_t folded = length & ~std::size_t{15};
    crc = ~foldedCrc(~crc, data, folded);
    data += folded;
    length -= folded;
  }
  return GzipCrcByTable(crc, data, length);
}

#else

std::uint32_t GzipCrc(std::uint32_t crc, const std::uint8_t* data, std::size_t length) {
  return GzipCrcByTable(crc, data, length);
}

#endif

}  // namespace compression
