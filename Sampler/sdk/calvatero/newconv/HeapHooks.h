// The seam through which tests watch and break MallocAligned: the pair of functions it takes
// heap blocks from and returns them to. Production code never sets it (the C allocator is the
// default); the convolution tests install a counting allocator that can fail at a chosen call,
// to prove that every constructor releases what it had allocated when a later allocation fails.
#pragma once

#include <cstddef>

namespace calvatero::common {

struct HeapHooks {
  void* (*allocate)(std::size_t size);
  void (*release)(void* block);
};

/// Installs `hooks` (null restores malloc and free). Set it while no block is allocated or
/// in flight on another thread; blocks must be freed through the hooks they came from.
void setHeapHooks(const HeapHooks* hooks);

}  // namespace calvatero::common
