#pragma once
// Memory that belongs to one request: blocks handed out during the request and released
// together when it ends (what the web server's per-connection AllocMem gives a filter,
// without letting a keep-alive connection grow with every response it serves).

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <vector>

namespace compression {

class RequestMemory {
 public:
  RequestMemory() = default;
  RequestMemory(const RequestMemory&) = delete;
  RequestMemory& operator=(const RequestMemory&) = delete;

  // Uninitialised block of at least bytes (as a server's AllocMem gives it), aligned for
  // any type; nullptr when memory runs out. Nothing is cleared that its user will write
  // first: zlib sets up its own tables, and an output area is written before it is read.
  void* allocate(std::size_t bytes) noexcept;
  std::size_t bytesHeld() const { return held_; }

 private:
  struct Free {
    void operator()(void* p) const { std::free(p); }
  };
  std::vector<std::unique_ptr<void, Free>> blocks_;
  std::size_t held_ = 0;
};

}  // namespace compression
