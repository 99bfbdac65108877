// The zero-latency head of the partitioned convolvers: convolves the input with the first 32
// taps of the impulse, but only within a running cycle of 32 input samples. Output at cycle
// position n is the sum over inputs m <= n of the same cycle of x[m] h[n - m]; earlier cycles'
// share is added by the convolvers' block processors once a cycle is complete. Every call
// returns as many samples as it receives. Works in the odd-frequency domain of RealOdd4 on
// sub-blocks of 4 samples.
//
// One thread at a time. Construction allocates; Reset and CalculateOutput never allocate, lock
// or block.
#pragma once

#include <cstddef>

#include "Sampler/sdk/calvatero/fourier/FourierTransformRealOdd.h"
#include "Sampler/sdk/calvatero/newconv/Common.h"

class SawtoothDirectConvolver {
 public:
  /// `impulseFrames` at most 32 (the convolvers pass 32; fewer taps are zero-padded).
  /// Throws std::bad_alloc.
  SawtoothDirectConvolver(std::size_t impulseFrames, const float* impulse);
  virtual ~SawtoothDirectConvolver() = default;

  /// Back to cycle position 0 with no memory of the input.
  void Reset();

  /// Consumes `frames` input samples and writes `frames` output samples. The call must not run
  /// past the end of the current cycle: callers split their blocks at cycle boundaries.
  void CalculateOutput(float* pOutput, const float* pInput, std::size_t frames);

 private:
  static constexpr std::size_t kCycle = 32;
  static constexpr std::size_t kSubBlocks = kCycle / 4;

  float* slot(std::size_t subBlock) const { return inputSpectra_.get() + 8 * subBlock; }

  calvatero::fourier::RealOdd4 transform_;
  std::size_t halfFDLen_ = kCycle;
  calvatero::common::AlignedFloats impulseSpectra_;  // 8 windows of 8 floats, window 0 last
  calvatero::common::AlignedFloats staging_;         // the partly filled sub-block
  calvatero::common::AlignedFloats inputSpectra_;    // one slot of 8 floats per sub-block
  calvatero::common::AlignedFloats output_;          // the current cycle's output
  std::size_t _writeCursor = 0;
  std::size_t _halfInputFDLength = kCycle;
};
