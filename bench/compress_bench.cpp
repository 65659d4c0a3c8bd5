// Gzip framing against a bare zlib deflate of the same body with the same parameters: the
// difference is the framing (header, CRC-32, trailer, buffer handling).

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <vector>

#include "bench/bare_deflate.h"
#include "bench/sample_pages.h"
#include "compress/gzip_crc.h"
#include "compress/gzip_framing.h"

namespace {

voidpf arenaAlloc(voidpf opaque, uInt items, uInt size) {
  return static_cast<compression::RequestMemory*>(opaque)->allocate(static_cast<std::size_t>(items) * size);
}
void arenaFree(voidpf, voidpf) {}

// range(2): 0 zlib's own allocator, 1 the request memory the framing uses, so that the
// difference to BM_GzipFraming is the framing alone.
void BM_BareDeflate(benchmark::State& state) {
  const std::string body = bench::samplePage(static_cast<std::size_t>(state.range(0)));
  const int level = static_cast<int>(state.range(1));
  const bool requestMemory = state.range(2) != 0;
  std::vector<unsigned char> out(2 * body.size() + 31);
  for (auto _ : state) {
    compression::RequestMemory memory;
    if (requestMemory)
      benchmark::DoNotOptimize(bench::bareDeflate(body, level, out, arenaAlloc, arenaFree, &memory));
    else
      benchmark::DoNotOptimize(bench::bareDeflate(body, level, out));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}

void BM_GzipFraming(benchmark::State& state) {
  const std::string body = bench::samplePage(static_cast<std::size_t>(state.range(0)));
  const int level = static_cast<int>(state.range(1));
  for (auto _ : state) {
    compression::RequestMemory memory;
    compression::Compressor record;
    auto out = compression::Compress(memory, reinterpret_cast<const std::uint8_t*>(body.data()), body.size(), record,
                                     level, true);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}

// The trailer's CRC alone: range(1) 0 zlib's tables, 1 the folded form the framing uses.
void BM_GzipCrc(benchmark::State& state) {
  const std::string body = bench::samplePage(static_cast<std::size_t>(state.range(0)));
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(body.data());
  const bool folded = state.range(1) != 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(folded ? compression::GzipCrc(0, bytes, body.size())
                                    : compression::GzipCrcByTable(0, bytes, body.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}

void sizes(benchmark::internal::Benchmark* b) {
  for (int64_t size : {20 << 10, 200 << 10})
    for (int64_t level : {6, 9}) b->Args({size, level});
}

void sizesAndAllocators(benchmark::internal::Benchmark* b) {
  for (int64_t size : {20 << 10, 200 << 10})
    for (int64_t level : {6, 9})
      for (int64_t allocator : {0, 1}) b->Args({size, level, allocator});
}

BENCHMARK(BM_BareDeflate)->Apply(sizesAndAllocators);
BENCHMARK(BM_GzipFraming)->Apply(sizes);
BENCHMARK(BM_GzipCrc)->ArgsProduct({{20 << 10, 200 << 10}, {0, 1}});

}  // namespace
