#include "tests/Sampler/sdk/calvatero/support/AlignedAllocationProbe.h"

#include <atomic>
#include <cstdlib>

#include "Sampler/sdk/calvatero/newconv/HeapHooks.h"

namespace calvatero::testing {

namespace {

std::atomic<long> failAtCall{0};
std::atomic<long> callCount{0};
std::atomic<long> liveCount{0};

void* countingAllocate(std::size_t size) {
  const long call = ++callCount;
  if (call == failAtCall.load()) return nullptr;
  void* block = std::malloc(size);
  if (block != nullptr) ++liveCount;
  return block;
}

void countingRelease(void* block) {
  --liveCount;
  std::free(block);
}

}  // namespace

AlignedAllocationProbe::AlignedAllocationProbe(long failAt) {
  failAtCall = failAt;
  callCount = 0;
  liveCount = 0;
  static const common::HeapHooks hooks{&countingAllocate, &countingRelease};
  common::setHeapHooks(&hooks);
}

AlignedAllocationProbe::~AlignedAllocationProbe() { common::setHeapHooks(nullptr); }

long AlignedAllocationProbe::calls() const { return callCount; }
long AlignedAllocationProbe::liveBlocks() const { return liveCount; }

}  // namespace calvatero::testing
