#include "compress/request_memory.h"

#include <algorithm>
#include <mutex>
#include <new>

namespace compression {

namespace {

constexpr std::size_t kAlignment = alignof(std::max_align_t);
// A slab starts on a cache line on every system, whatever malloc's own alignment there.
constexpr std::align_val_t kSlabAlignment{64};

void releaseSlab(void* slab) { ::operator delete(slab, kSlabAlignment); }

struct Shelf {
  Shelf() { slabs.reserve(RequestMemory::kShelfSlabs); }
  // At the process's end, or when the host unloads the filter: no request runs then.
  ~Shelf() {
    for (void* slab : slabs) releaseSlab(slab);
  }
  std::mutex mutex;
  std::vector<void*> slabs;
};

Shelf& shelf() {
  static Shelf instance;
  return instance;
}

void* takeSlab() {
  {
    Shelf& s = shelf();
    std::lock_guard lock(s.mutex);
    if (!s.slabs.empty()) {
      void* slab = s.slabs.back();
      s.slabs.pop_back();
      return slab;
    }
  }
  return ::operator new(RequestMemory::kSlabBytes, kSlabAlignment, std::nothrow);
}

void giveBack(void* slab) {
  {
    Shelf& s = shelf();
    std::lock_guard lock(s.mutex);
    if (s.slabs.size() < RequestMemory::kShelfSlabs) {
      s.slabs.push_back(slab);
      return;
    }
  }
  releaseSlab(slab);
}

}  // namespace

RequestMemory::~RequestMemory() {
  if (slab_) giveBack(slab_);
}

void RequestMemory::releaseShelf() {
  std::vector<void*> slabs;
  {
    Shelf& s = shelf();
    std::lock_guard lock(s.mutex);
    slabs.swap(s.slabs);
    s.slabs.reserve(kShelfSlabs);
  }
  for (void* slab : slabs) releaseSlab(slab);
}

std::size_t RequestMemory::shelvedSlabs() {
  Shelf& s = shelf();
  std::lock_guard lock(s.mutex);
  return s.slabs.size();
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
