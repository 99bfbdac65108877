// Channel buffers of the render: `count` rows of `step` elements in one block, with an array of
// row pointers in front, the shape `float**` the modules take. Allocated on the main thread
// before audio starts (or on a format change), never on a render path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

#include "VNL/source/FileUtils.h"

namespace vantor {

/// Where `alloc_2d` takes its memory from when not from `defaultAlloc`.
class Allocator {
 public:
  virtual ~Allocator() = default;
  /// Zeroed bytes, or null when memory runs out.
  virtual void* allocate(std::size_t bytes) = 0;
  virtual void release(void* block) = 0;
};

/// `count` row pointers, row i pointing at element i x `step` of one zeroed block of
/// `count` x `step` elements. Null when either allocation fails or the size overflows (the
/// pointer array is then released).
template <typename T>
T** alloc_2d(std::size_t count, std::size_t step, Allocator* allocator = nullptr) {
  if (count == 0 || step > std::numeric_limits<std::size_t>::max() / sizeof(T) / count) {
    return nullptr;
  }
  auto take = [allocator](std::size_t bytes) {
    return allocator != nullptr ? allocator->allocate(bytes) : defaultAlloc(bytes);
  };
  auto give = [allocator](void* block) {
    if (allocator != nullptr) {
      allocator->release(block);
    } else {
      defaultFree(block);
    }
  };
  T** rows = static_cast<T**>(take(count * sizeof(T*)));
  if (rows == nullptr) return nullptr;
  T* block = static_cast<T*>(take(count * step * sizeof(T)));
  if (block == nullptr) {
    give(rows);
    return nullptr;
  }
  for (std::size_t i = 0; i < count; ++i) rows[i] = block + i * step;
  return rows;
}

/// Releases a buffer of `alloc_2d` made without an allocator: the block, then the pointers.
/// Null is ignored.
template <typename T>
void free_2d(T** rows) {
  if (rows == nullptr) return;
  defaultFree(rows[0]);
  defaultFree(rows);
}

}  // namespace vantor
