// The optimizer's throughput on HTML and CSS, with deflate at level 9 over the same input
// as the yardstick: the optimizer must never be the expensive step of a response.

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <vector>

#include "bench/bare_deflate.h"
#include "bench/sample_pages.h"
#include "optimizer/optimizer_driver.h"

namespace {

std::string input(bool css, std::size_t bytes) { return css ? bench::sampleCss(bytes) : bench::samplePage(bytes); }

void BM_Optimize(benchmark::State& state) {
  const bool css = state.range(1) != 0;
  const std::string body = input(css, static_cast<std::size_t>(state.range(0)));
  std::size_t outSize = 0;
  for (auto _ : state) {
    auto out = optimizer::OptimizeBody(body, css ? "C:\\site\\look.css" : "C:\\site\\page.htm", "C:\\site",
                                       optimizer::Switches{});
    outSize = out ? out->size() : 0;
    benchmark::DoNotOptimize(out);
  }
  state.counters["ratio"] = static_cast<double>(outSize) / static_cast<double>(body.size());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}

void BM_Deflate9(benchmark::State& state) {
  const bool css = state.range(1) != 0;
  const std::string body = input(css, static_cast<std::size_t>(state.range(0)));
  std::vector<unsigned char> out(2 * body.size() + 31);
  for (auto _ : state) benchmark::DoNotOptimize(bench::bareDeflate(body, 9, out));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}

void sizes(benchmark::internal::Benchmark* b) {
  for (int64_t css : {0, 1})
    for (int64_t size : {10 << 10, 100 << 10, 1 << 20}) b->Args({size, css});
}

BENCHMARK(BM_Optimize)->Apply(sizes);
BENCHMARK(BM_Deflate9)->Apply(sizes);

}  // namespace
