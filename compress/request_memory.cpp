#include "compress/request_memory.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
#include <new>

#include "platform/win_types.h"

namespace compression {

namespace {

constexpr std::size_t kAlignment = alignof(std::max_align_t);
// A slab starts on a cache line on every system, whatever malloc's own alignment there.
constexpr std::align_val_t kSlabAlignment{64};

void releaseSlab(void* slab) { ::operator delete(slab, kSlabAlignment); }

using Clock = std::chrono::steady_clock;

struct Shelved {
  void* slab;
  Clock::time_point since;
};

struct Shelf {
  Shelf() { slabs.reserve(RequestMemory::kShelfSlabs); }
  // At the process's end, or when the host unloads the filter: no request runs then.
  ~Shelf() { release(); }
  void release() {
    std::vector<Shelved> taken;
    {
      std::lock_guard lock(mutex);
      taken.swap(slabs);
      slabs.reserve(RequestMemory::kShelfSlabs);
    }
    for (auto& slot : byProcessor)
      if (void* slab = slot.exchange(nullptr)) taken.push_back({slab, {}});
    for (const Shelved& shelved : taken) releaseSlab(shelved.slab);
  }
  // The slab last given back on each processor: the next request there finds its lines
  // still in that core's cache (zlib clears its 128 KB hash table first thing), where one
  // from the shared list may come from another core's.
  std::array<std::atomic<void*>, RequestMemory::kProcessorSlots> byProcessor{};
  std::mutex mutex;
  // Taken from the back, so the front is what went unused longest.
  std::vector<Shelved> slabs;
};

Shelf& shelf() {
  static Shelf instance;
  return instance;
}

std::atomic<void*>& processorSlot(Shelf& s) {
  return s.byProcessor[GetCurrentProcessorNumber() % RequestMemory::kProcessorSlots];
}

void* takeSlab() {
  Shelf& s = shelf();
  if (void* slab = processorSlot(s).exchange(nullptr, std::memory_order_acquire)) return slab;
  {
    std::lock_guard lock(s.mutex);
    if (!s.slabs.empty()) {
      void* slab = s.slabs.back().slab;
      s.slabs.pop_back();
      return slab;
    }
  }
  // Another processor's slab, cold here, before a new one.
  for (auto& slot : s.byProcessor)
    if (void* slab = slot.exchange(nullptr, std::memory_order_acquire)) return slab;
  return ::operator new(RequestMemory::kSlabBytes, kSlabAlignment, std::nothrow);
}

void giveBack(void* slab) {
  Shelf& s = shelf();
  void* none = nullptr;
  if (processorSlot(s).compare_exchange_strong(none, slab, std::memory_order_release)) return;
  // Slabs of a busy moment long past are freed, so that each such moment does not leave
  // the process larger for good.
  std::array<void*, RequestMemory::kShelfSlabs + 1> unused{};
  std::size_t count = 0;
  {
    const Clock::time_point now = Clock::now();
    std::lock_guard lock(s.mutex);
    while (count < s.slabs.size() && now - s.slabs[count].since > RequestMemory::kShelfLife) {
      unused[count] = s.slabs[count].slab;
      ++count;
    }
    s.slabs.erase(s.slabs.begin(), s.slabs.begin() + static_cast<std::ptrdiff_t>(count));
    if (s.slabs.size() < RequestMemory::kShelfSlabs)
      s.slabs.push_back({slab, now});
    else
      unused[count++] = slab;
  }
  for (std::size_t i = 0; i < count; ++i) releaseSlab(unused[i]);
}

}  // namespace

RequestMemory::~RequestMemory() {
  if (slab_) giveBack(slab_);
}

void RequestMemory::releaseShelf() { shelf().release(); }

std::size_t RequestMemory::shelvedSlabs() {
  Shelf& s = shelf();
  std::size_t count = 0;
  for (const auto& slot : s.byProcessor) count += slot.load() != nullptr;
  std::lock_guard lock(s.mutex);
  return count + s.slabs.size();
}

void* RequestMemory::allocate(std::size_t bytes) noexcept try {
  // Even an empty block takes a step, so that no two blocks share an address.
  const std::size_t take = std::max(kAlignment, (bytes + kAlignment - 1) / kAlignment * kAlignment);
  if (take >= bytes && take <= kSlabBytes) {
    if (!slab_ && slabUsed_ == 0) slab_ = takeSlab();
    if (slab_ && slabUsed_ + take <= kSlabBytes) {
      void* block = static_cast<std::byte*>(slab_) + slabUsed_;
      slabUsed_ += take;
      held_ += bytes;
      return block;
    }
  }
  std::unique_ptr<void, Free> block(std::malloc(bytes ? bytes : 1));
  if (!block) return nullptr;
  blocks_.push_back(std::move(block));
  held_ += bytes;
  return blocks_.back().get();
} catch (const std::bad_alloc&) {
  return nullptr;
}

}  // namespace compression
