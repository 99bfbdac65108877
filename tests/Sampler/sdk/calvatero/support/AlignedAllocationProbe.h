// Watches and breaks the convolution library's heap: while a probe lives, MallocAligned takes
// its blocks from a counting allocator that answers null at a chosen call, so a test can prove
// that a constructor releases everything it had allocated when a later allocation fails.
#pragma once

namespace calvatero::testing {

/// One probe at a time, created and destroyed on the test's thread.
class AlignedAllocationProbe {
 public:
  /// Call number `failAt` (counting from 1) answers null; 0 never fails.
  explicit AlignedAllocationProbe(long failAt = 0);
  ~AlignedAllocationProbe();
  AlignedAllocationProbe(const AlignedAllocationProbe&) = delete;
  AlignedAllocationProbe& operator=(const AlignedAllocationProbe&) = delete;

  /// Allocation calls so far, the failed one included.
  long calls() const;
  /// Blocks allocated through the probe and not yet freed.
  long liveBlocks() const;
};

}  // namespace calvatero::testing
