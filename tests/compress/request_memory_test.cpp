// A request's memory: blocks that never overlap, slabs reused across requests but never
// shared by two at once, and a shelf that keeps only a few.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "compress/request_memory.h"

namespace {

using compression::RequestMemory;

// zlib's five pieces at memLevel 9 with a 32 KB window, then an output area.
const std::vector<std::size_t> kPieces = {5936, 65536, 65536, 131072, 131072, 40049};

TEST(RequestMemoryTest, BlocksAreAlignedApartAndCountedWhateverTheirSize) {
  {
    // A slab filled to its last byte: an empty block after it must not point past it.
    RequestMemory full;
    void* whole = full.allocate(RequestMemory::kSlabBytes);
    void* empty = full.allocate(0);
    ASSERT_NE(whole, nullptr);
    ASSERT_NE(empty, nullptr);
    EXPECT_NE(empty, static_cast<char*>(whole) + RequestMemory::kSlabBytes);
  }
  RequestMemory memory;
  std::vector<std::pair<std::uintptr_t, std::size_t>> blocks;
  std::size_t total = 0;
  for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{100}, kPieces[1], kPieces[3],
                           RequestMemory::kSlabBytes, std::size_t{3} * 1024 * 1024, kPieces[4], std::size_t{7}}) {
    void* block = memory.allocate(size);
    ASSERT_NE(block, nullptr) << size;
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % alignof(std::max_align_t), 0u);
    std::memset(block, 0x5A, size);  // the whole block is writable (ASan would tell)
    blocks.push_back({reinterpret_cast<std::uintptr_t>(block), std::max<std::size_t>(size, 1)});
    total += size;
  }
  std::sort(blocks.begin(), blocks.end());
  for (std::size_t i = 1; i < blocks.size(); ++i)
    EXPECT_LE(blocks[i - 1].first + blocks[i - 1].second, blocks[i].first) << "blocks " << i - 1 << " and " << i;
  EXPECT_EQ(memory.bytesHeld(), total);
}

TEST(RequestMemoryTest, TheNextRequestGetsTheSlabBackAndTheShelfKeepsOnlyAFew) {
  RequestMemory::releaseShelf();
  ASSERT_EQ(RequestMemory::shelvedSlabs(), 0u);
  void* first = nullptr;
  {
    RequestMemory memory;
    first = memory.allocate(kPieces[0]);
  }
  EXPECT_EQ(RequestMemory::shelvedSlabs(), 1u);
  {
    // Found wherever it lies (the thread may have moved to another processor meanwhile).
    RequestMemory memory;
    EXPECT_EQ(memory.allocate(kPieces[0]), first);
    EXPECT_EQ(RequestMemory::shelvedSlabs(), 0u);
  }
  // More requests at once than the shelf keeps: the extra slabs are freed when they end.
  {
    std::vector<std::unique_ptr<RequestMemory>> busy;
    for (std::size_t i = 0; i < RequestMemory::kShelfSlabs + RequestMemory::kProcessorSlots + 4; ++i) {
      busy.push_back(std::make_unique<RequestMemory>());
      ASSERT_NE(busy.back()->allocate(kPieces[3]), nullptr);
    }
    EXPECT_EQ(RequestMemory::shelvedSlabs(), 0u);
  }
  // The shared list is full, with one for each processor this thread ran on as they ended.
  EXPECT_GT(RequestMemory::shelvedSlabs(), RequestMemory::kShelfSlabs);
  EXPECT_LE(RequestMemory::shelvedSlabs(), RequestMemory::kShelfSlabs + RequestMemory::kProcessorSlots);
  // That busy moment long past, a slab given back to the list frees the ones nobody took.
  const std::size_t afterTheBusyMoment = RequestMemory::shelvedSlabs();
  std::this_thread::sleep_for(RequestMemory::kShelfLife + std::chrono::milliseconds(100));
  for (int attempt = 0; attempt < 10 && RequestMemory::shelvedSlabs() + 6 > afterTheBusyMoment; ++attempt) {
    RequestMemory first;  // from this processor's slot; the second from the list
    RequestMemory second;
    ASSERT_NE(first.allocate(kPieces[3]), nullptr);
    ASSERT_NE(second.allocate(kPieces[3]), nullptr);
  }
  EXPECT_LE(RequestMemory::shelvedSlabs() + 6, afterTheBusyMoment);
  RequestMemory::releaseShelf();  // as the filter's end does
  EXPECT_EQ(RequestMemory::shelvedSlabs(), 0u);
  {
    RequestMemory memory;
    EXPECT_NE(memory.allocate(kPieces[4]), nullptr);
  }
  EXPECT_EQ(RequestMemory::shelvedSlabs(), 1u);
}

TEST(RequestMemoryTest, RequestsOnManyThreadsNeverShareMemory) {
  std::vector<std::thread> threads;
  std::vector<int> damaged(8, 0);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t, &damaged] {
      for (int round = 0; round < 150; ++round) {
        RequestMemory memory;
        std::vector<std::pair<unsigned char*, std::size_t>> blocks;
        const auto mark = static_cast<unsigned char>(t * 31 + round);
        for (std::size_t size : kPieces) {
          auto* block = static_cast<unsigned char*>(memory.allocate(size));
          if (!block) continue;
          std::memset(block, mark, size);
          blocks.push_back({block, size});
        }
        std::this_thread::yield();
        for (const auto& [block, size] : blocks)
          if (std::count(block, block + size, mark) != static_cast<std::ptrdiff_t>(size)) ++damaged[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(damaged, std::vector<int>(8, 0));
}

}  // namespace
