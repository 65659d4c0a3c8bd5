// Gzip framing against a bare zlib deflate of the same body with the same parameters: the
// difference is the framing (header, CRC-32, trailer, buffer handling).

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <vector>

#include "bench/sample_pages.h"
#include "compress/gzip_framing.h"

namespace {

void BM_BareDeflate(benchmark::State& state) {
  const std::string body = bench::samplePage(static_cast<std::size_t>(state.range(0)));
  const int level = static_cast<int>(state.range(1));
  std::vector<unsigned char> out(2 * body.size() + 31);
  for (auto _ : state) {
    z_stream s{};
    deflateInit2(&s, level, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data()));
    s.avail_in = static_cast<uInt>(body.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    deflate(&s, Z_FINISH);
    benchmark::DoNotOptimize(s.total_out);
    deflateEnd(&s);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}

void BM_GzipFraming(benchmark::State& state) {
  const std::string body = bench::samplePage(static_cast<std::size_t>(state.range(0)));
  const int level = static_cast<int>(state.range(1));
  for (auto _ : state) {
    filter::RequestMemory memory;
    compression::Compressor record;
    auto out = compression::Compress(memory, reinterpret_cast<const std::uint8_t*>(body.data()), body.size(), record,
                                     level, true);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}

void sizes(benchmark::internal::Benchmark* b) {
  for (int64_t size : {20 << 10, 200 << 10})
    for (int64_t level : {6, 9}) b->Args({size, level});
}

BENCHMARK(BM_BareDeflate)->Apply(sizes);
BENCHMARK(BM_GzipFraming)->Apply(sizes);

}  // namespace
