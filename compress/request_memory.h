#pragma once
// Memory that belongs to one request: blocks handed out during the request and released
// together when it ends (what the web server's per-connection AllocMem gives a filter,
// without letting a keep-alive connection grow with every response it serves).
//
// The first blocks are carved from a slab that outlives the request: zlib's state for one
// compression (about 390 KB) and the output area of a page up to about 50 KB fit in one.
// Slabs go back to a process-wide shelf: one for each processor, for the next request
// there while its lines are still in that core's cache, and a few more in a shared list,
// so the memory of a busy moment is reused instead of being spread over the allocator's
// heaps, where each would keep the largest size it ever held. A slab of the list that no
// request took for a while is freed: a busy moment does not leave the process larger.

#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <vector>

namespace compression {

class RequestMemory {
 public:
  static constexpr std::size_t kSlabBytes = 512 * 1024;
  // Slabs the shelf keeps between requests beside one a processor (processor numbers
  // share the slots modulo their count); more at once are freed when they come back.
  static constexpr std::size_t kShelfSlabs = 8;
  static constexpr std::size_t kProcessorSlots = 16;
  // How long a slab of the list may go untaken before a slab given back frees it.
  static constexpr std::chrono::seconds kShelfLife{2};

  RequestMemory() = default;
  RequestMemory(const RequestMemory&) = delete;
  RequestMemory& operator=(const RequestMemory&) = delete;
  ~RequestMemory();

  // Uninitialised block of at least bytes (as a server's AllocMem gives it), aligned for
  // any type; nullptr when memory runs out. Nothing is cleared that its user will write
  // first: zlib sets up its own tables, and an output area is written before it is read.
  void* allocate(std::size_t bytes) noexcept;
  std::size_t bytesHeld() const { return held_; }

  // Frees the shelved slabs: the filter calls it when it is terminated, since a host may
  // keep the module loaded long after (an unload frees them anyway).
  static void releaseShelf();
  // Slabs on the shelf now, the processors' and the shared list's (for tests).
  static std::size_t shelvedSlabs();

 private:
  struct Free {
    void operator()(void* p) const { std::free(p); }
  };
  void* slab_ = nullptr;
  std::size_t slabUsed_ = 0;
  std::vector<std::unique_ptr<void, Free>> blocks_;  // what did not fit the slab
  std::size_t held_ = 0;
};

}  // namespace compression
