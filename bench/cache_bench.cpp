// A cache hit (two file-status calls, the list search, the whole-file read) against a
// plain read of the same file through the same file layer; and a hit on a site whose cache
// holds many other pages, where finding the entry must not cost a walk of the list.

#include <benchmark/benchmark.h>
#include <filesystem>
#include <fstream>

#include "bench/sample_pages.h"
#include "bench/temporary_machine.h"
#include "compress/content_cache.h"
#include "platform/fs/file_api.h"

namespace {

// One machine root for the whole run.
bench::TemporaryMachine& machine() {
  static bench::TemporaryMachine m;
  return m;
}

struct CachedPage {
  settings::SiteSettings site;
  compression::CacheRequest request;
  std::string cacheFile;
};

void prepare(CachedPage& page, std::size_t bytes) {
  const auto root = machine().root / "drive_c" / "site";
  std::filesystem::create_directories(root / "gzipcache");
  const std::string name = "page" + std::to_string(bytes) + ".htm";
  std::ofstream(root / name) << "source";
  page.site.Cache = 1;
  page.site.CacheFolder = "C:\\site\\gzipcache";
  page.request.url = "\\" + name;
  page.request.sourceFile = "C:\\site\\" + name;
  const std::string body = bench::samplePage(bytes);
  compression::Store(std::vector<std::uint8_t>(body.begin(), body.end()), page.site, page.request, 0, {});
  page.cacheFile = "C:\\site\\gzipcache\\korvanecompress\\" + name;
}

void BM_CacheHit(benchmark::State& state) {
  CachedPage page;
  prepare(page, static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    auto hit = compression::Lookup(page.request, page.site, "", 0);
    if (!hit) state.SkipWithError("cache miss");
    benchmark::DoNotOptimize(hit);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * state.range(0)));
}

void BM_CacheHitAmongMany(benchmark::State& state) {
  CachedPage page;
  prepare(page, 20 << 10);
  for (std::int64_t i = 0; i < state.range(0); ++i)
    compression::Register("C:\\site\\gzipcache\\korvanecompress\\other" + std::to_string(i) + ".htm", page.site,
                          100, "");
  // The other pages are the popular ones: the page stays at the tail, behind all of them.
  auto& list = page.site.CacheEntries;
  for (auto& entry : list) entry.hits = 1 << 30;
  for (auto it = list.begin(); it != list.end(); ++it) {
    if (it->fileName.str() != page.cacheFile) continue;
    it->hits = 0;
    list.splice(list.end(), list, it);
    break;
  }
  for (auto _ : state) {
    auto hit = compression::Lookup(page.request, page.site, "", 0);
    if (!hit) state.SkipWithError("cache miss");
    benchmark::DoNotOptimize(hit);
  }
}

void BM_PlainRead(benchmark::State& state) {
  CachedPage page;
  prepare(page, static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    auto file = platform::fs::openFile(page.cacheFile, "rb");
    std::fseek(file.get(), 0, SEEK_END);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::ftell(file.get())));
    std::fseek(file.get(), 0, SEEK_SET);
    benchmark::DoNotOptimize(std::fread(bytes.data(), 1, bytes.size(), file.get()));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * state.range(0)));
}

BENCHMARK(BM_CacheHit)->Arg(20 << 10)->Arg(200 << 10);
BENCHMARK(BM_CacheHitAmongMany)->Arg(10)->Arg(10000);
BENCHMARK(BM_PlainRead)->Arg(20 << 10)->Arg(200 << 10);

}  // namespace
