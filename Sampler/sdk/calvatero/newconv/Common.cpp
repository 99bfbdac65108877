#include "Sampler/sdk/calvatero/newconv/Common.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "Sampler/sdk/calvatero/newconv/HeapHooks.h"

namespace calvatero::common {

namespace {

std::atomic<void* (*)(std::size_t)> heapAllocate{&std::malloc};
std::atomic<void (*)(void*)> heapRelease{&std::free};

constexpr std::size_t kHeaderBytes = sizeof(void*);

}  // namespace

// libgcc fills in the processor's features before any constructor runs; reading them takes
// no lock, unlike a function-local static's first use.
bool AllZeroEightWideRuns() { return __builtin_cpu_supports("avx2") != 0; }

bool AllZero(const float* samples, std::size_t count) {
  return AllZeroEightWideRuns() ? AllZeroEightWide(samples, count)
                                : AllZeroFourWide(samples, count);
}

void setHeapHooks(const HeapHooks* hooks) {
  heapAllocate.store(hooks ? hooks->allocate : &std::malloc, std::memory_order_release);
  heapRelease.store(hooks ? hooks->release : &std::free, std::memory_order_release);
}

void* MallocAligned(std::size_t size, std::size_t alignment, std::size_t offset) {
  if (alignment == 0) alignment = 16;
  if (size > SIZE_MAX - alignment - kHeaderBytes) return nullptr;
  auto* const heap =
      static_cast<unsigned char*>(heapAllocate.load(std::memory_order_acquire)(
          size + alignment + kHeaderBytes));
  if (heap == nullptr) return nullptr;
  // Rounding by remainder, so any alignment works; an offset beyond the alignment is reduced
  // so that the result always stays inside the block.
  const auto first = reinterpret_cast<std::uintptr_t>(heap) + kHeaderBytes;
  std::uintptr_t address = first;
  if (const std::uintptr_t rest = address % alignment; rest != 0) address += alignment - rest;
  address += offset % alignment;
  if (address >= first + alignment) address -= alignment;
  auto* const result = reinterpret_cast<unsigned char*>(address);
  // The word before the result is unaligned whenever alignment or offset is not a multiple of
  // the word size.
  std::memcpy(result - kHeaderBytes, &heap, sizeof heap);
  return result;
}

void FreeAligned(void* p) {
  if (p == nullptr) return;
  void* heap;
  std::memcpy(&heap, static_cast<unsigned char*>(p) - kHeaderBytes, sizeof heap);
  heapRelease.load(std::memory_order_acquire)(heap);
}

int GetSIMDSupportLevel(std::size_t* level) {
  *level = 6;
  return 0;
}

int GetL2CacheInfo(std::int32_t* lineSize, std::int32_t* second, std::int32_t* third) {
  if (lineSize) *lineSize = 64;
  if (second) *second = 6;
  if (third) *third = 128;
  return 0;
}

AlignedFloats::AlignedFloats(std::size_t count, std::size_t alignment)
    : data_(count > SIZE_MAX / sizeof(float)
                ? nullptr
                : static_cast<float*>(MallocAligned(count * sizeof(float), alignment, 0))) {
  if (!data_) throw std::bad_alloc();
}

}  // namespace calvatero::common
