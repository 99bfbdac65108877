// The allocation functions every engine plug-in bundle carries and exports, so that the engine
// and the plug-ins can hand blocks across with one allocator. Any thread; they allocate, so
// never from a render path.
#pragma once

#include <cstddef>

namespace vantor {

/// A zero-filled block of `size` bytes (a valid, freeable block also for 0); null when memory
/// runs out.
KELO_EXPORT void* defaultAlloc(std::size_t size);
/// Releases a block of these functions; null does nothing.
KELO_EXPORT void defaultFree(void* block);
/// The block resized, possibly moved; bytes past the old size are not cleared. Null when memory
/// runs out, the old block then unchanged. A size of 0 keeps a valid one-byte block rather than
/// freeing behind the caller's back.
KELO_EXPORT void* defaultRealloc(void* block, std::size_t size);

}  // namespace vantor
