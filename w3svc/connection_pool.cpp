#include "w3svc/connection_pool.h"

#include <cstring>

namespace w3svc {

namespace {

constexpr std::size_t kBlockSize = 4096;
// A hostile or faulty filter cannot take the whole server's memory through one connection.
constexpr std::size_t kConnectionLimit = 64u << 20;

}  // namespace

void* ConnectionPool::allocate(std::size_t bytes) {
  const std::size_t size = (bytes + 15) & ~std::size_t{15};
  if (size < bytes || used_ + size > kConnectionLimit) return nullptr;
  if (blocks_.empty() || blocks_.back().size - blocks_.back().used < size) {
    Block block;
    block.size = size > kBlockSize / 2 ? size : kBlockSize;
    block.memory = std::make_unique<std::byte[]>(block.size);  // value-initialised: zeroed
    blocks_.push_back(std::move(block));
  }
  Block& block = blocks_.back();
  void* memory = block.memory.get() + block.used;
  block.used += size;
  used_ += size;
  return memory;
}

}  // namespace w3svc
