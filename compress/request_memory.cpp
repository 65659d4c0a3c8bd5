#include "compress/request_memory.h"

#include <new>

namespace compression {

void* RequestMemory::allocate(std::size_t bytes) noexcept try {
  std::unique_ptr<void, Free> block(std::malloc(bytes ? bytes : 1));
  if (!block) return nullptr;
  blocks_.push_back(std::move(block));
  held_ += bytes;
  return blocks_.back().get();
} catch (const std::bad_alloc&) {
  return nullptr;
}

}  // namespace compression
