// The filter's own cost on top of compression: from the first header piece to the
// WriteClient of the rewritten response, against zlib's deflate of the same body alone;
// and the memory a request leaves behind on a keep-alive connection.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <filesystem>
#include <fstream>

#include "bench/bare_deflate.h"
#include "bench/sample_pages.h"
#include "bench/temporary_machine.h"
#include "platform/registry/registry.h"
#include "platform/registry/unique_key.h"
#include "settings/settings_loader.h"
#include "tests/filter/isapi_harness.h"

extern "C" BOOL GetFilterVersion(HTTP_FILTER_VERSION* version) noexcept;
extern "C" BOOL TerminateFilter(DWORD flags) noexcept;

namespace {

void setValue(const char* path, const char* name, const std::string& text) {
  UniqueKey key;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
  RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), static_cast<DWORD>(text.size() + 1));
}

// One machine with site 1, no cache (every request compresses), a level per extension.
struct Machine {
  Machine() {
    setValue("SOFTWARE\\Korvane\\Sablewing\\Value", "ProgFiles", "C:\\Program Files\\Tamsic\\");
    std::filesystem::create_directories(temporary.root / "drive_c/Program Files/Tamsic/reporting");
    settings::LoadedSettings first;
    settings::LoadSettings(first);
    const char* site = "SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\1";
    setValue(site, "Cache", "0");
    setValue(site, "MaxSize", "10000000");
    setValue(site, "FileExtensions", ".l1,1,.l6,6,.l9,9");
    HTTP_FILTER_VERSION version{};
    GetFilterVersion(&version);
  }
  ~Machine() { TerminateFilter(0); }
  bench::TemporaryMachine temporary;  // constructed first: the settings above live in it
};

Machine& machine() {
  static Machine m;
  return m;
}

testing_support::FakeResponse response(const std::string& body) {
  testing_support::FakeResponse r;
  r.headers = {{"Content-Type", "text/html"}, {"Content-Length", std::to_string(body.size())}};
  r.body = body;
  return r;
}

void BM_FilterRewrite(benchmark::State& state) {
  machine();
  const std::string body = bench::samplePage(static_cast<std::size_t>(state.range(0)));
  testing_support::FakeRequest request;
  request.url = "/page.l" + std::to_string(state.range(1));
  const auto r = response(body);
  testing_support::FakeConnection connection;
  for (auto _ : state) benchmark::DoNotOptimize(connection.serve(request, r));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}

void BM_DeflateAlone(benchmark::State& state) {
  const std::string body = bench::samplePage(static_cast<std::size_t>(state.range(0)));
  std::vector<unsigned char> out(2 * body.size() + 31);
  for (auto _ : state) benchmark::DoNotOptimize(bench::bareDeflate(body, static_cast<int>(state.range(1)), out));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}

// Heap in use and connection pool after 1000 responses on one keep-alive connection.
void BM_MemoryPerRequest(benchmark::State& state) {
  machine();
  const std::string body = bench::samplePage(static_cast<std::size_t>(state.range(0)));
  testing_support::FakeRequest request;
  request.url = "/page.l6";
  const auto r = response(body);
  for (auto _ : state) {
    testing_support::FakeConnection connection;
    connection.serve(request, r);
    const std::size_t before = mallinfo2().uordblks;
    for (int i = 0; i < 1000; ++i) connection.serve(request, r);
    const std::size_t after = mallinfo2().uordblks;
    state.counters["heap_growth_per_request"] = (static_cast<double>(after) - static_cast<double>(before)) / 1000.0;
    state.counters["pool_bytes_per_request"] = static_cast<double>(connection.poolBytes()) / 1001.0;
    state.counters["body_bytes"] = static_cast<double>(body.size());
  }
}

void sizesAndLevels(benchmark::internal::Benchmark* b) {
  for (int64_t size : {20 << 10, 200 << 10})
    for (int64_t level : {1, 6, 9}) b->Args({size, level});
}

BENCHMARK(BM_FilterRewrite)->Apply(sizesAndLevels);
BENCHMARK(BM_DeflateAlone)->Apply(sizesAndLevels);
BENCHMARK(BM_MemoryPerRequest)->Arg(20 << 10)->Arg(200 << 10)->Iterations(1);

}  // namespace
