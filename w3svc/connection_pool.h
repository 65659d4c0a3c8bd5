#pragma once
// The memory a filter gets from AllocMem: carved from blocks that live as long as the
// connection, so the filter never frees it and a connection's memory ends with it.

#include <cstddef>
#include <memory>
#include <vector>

namespace w3svc {

class ConnectionPool {
 public:
  // Zeroed, 16-byte aligned; nullptr only when the limit of the connection is reached.
  void* allocate(std::size_t bytes);
  std::size_t bytesInUse() const { return used_; }

 private:
  struct Block {
    std::unique_ptr<std::byte[]> memory;
    std::size_t size = 0;
    std::size_t used = 0;
  };
  std::vector<Block> blocks_;
  std::size_t used_ = 0;
};

}  // namespace w3svc
