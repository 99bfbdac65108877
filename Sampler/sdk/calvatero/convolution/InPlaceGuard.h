// Lets a two-stage engine be called with outputs that are its inputs (in-place processing, as
// plug-ins do). The stages read the input after an earlier stage has written the output, so
// such a call runs through a copy of the input, in pieces of at most the copy's whole 32-frame
// blocks that end on the engine's block boundaries (so whole blocks keep their fast path).
// Calls whose buffers are apart pass straight through. No allocation after construction.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "Sampler/sdk/calvatero/convolution/ConvolverMaster.h"
#include "Sampler/sdk/calvatero/newconv/Common.h"

namespace calvatero::convolution {

class InPlaceGuard {
 public:
  /// A copy of `blocks` 32-frame blocks per channel. Throws std::bad_alloc.
  explicit InPlaceGuard(std::size_t blocks = 1)
      : pieceFrames_(blocks * BASE_BUFFER_SIZE), copy_(2 * pieceFrames_, 64) {}

  /// The longest piece an in-place call is cut into.
  std::size_t pieceFrames() const { return pieceFrames_; }

  /// Back to the start of a block, as the engine's own Reset.
  void Reset() { phase_ = 0; }

  /// Calls `process(outLeft, outRight, inLeft, inRight, frames)` for the call, or for its
  /// pieces through the copy when an output overlaps an input.
  template <typename Process>
  void run(float* outLeft, float* outRight, const float* inLeft, const float* inRight,
           std::size_t frames, Process&& process) {
    const bool aliased = overlap(outLeft, inLeft, frames) || overlap(outLeft, inRight, frames) ||
                         overlap(outRight, inLeft, frames) || overlap(outRight, inRight, frames);
    if (!aliased) {
      process(outLeft, outRight, inLeft, inRight, frames);
      phase_ = (phase_ + frames) % BASE_BUFFER_SIZE;
      return;
    }
    float* const left = copy_.get();
    float* const right = copy_.get() + pieceFrames_;
    for (std::size_t done = 0; done < frames;) {
      const std::size_t n = std::min(frames - done, pieceFrames_ - phase_);
      std::memcpy(left, inLeft + done, n * sizeof(float));
      std::memcpy(right, inRight + done, n * sizeof(float));
      process(outLeft + done, outRight + done, left, right, n);
      phase_ = (phase_ + n) % BASE_BUFFER_SIZE;
      done += n;
    }
  }

 private:
  static bool overlap(const float* a, const float* b, std::size_t frames) {
    const auto x = reinterpret_cast<std::uintptr_t>(a), y = reinterpret_cast<std::uintptr_t>(b);
    const std::uintptr_t bytes = frames * sizeof(float);
    return x < y + bytes && y < x + bytes;
  }

  std::size_t pieceFrames_;
  common::AlignedFloats copy_;
  std::size_t phase_ = 0;  // frames since the last block boundary
};

}  // namespace calvatero::convolution
