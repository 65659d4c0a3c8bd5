#include "filter/request_memory.h"

#include <new>

namespace filter {

void* RequestMemory::allocate(std::size_t bytes) noexcept try {
  const std::size_t units = (bytes + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t);
  blocks_.push_back(std::make_unique<std::max_align_t[]>(units ? units : 1));
  held_ += units * sizeof(std::max_align_t);
  return blocks_.back().get();
} catch (const std::bad_alloc&) {
  return nullptr;
}

}  // namespace filter
