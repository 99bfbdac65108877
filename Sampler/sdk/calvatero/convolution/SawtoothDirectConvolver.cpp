#include "Sampler/sdk/calvatero/convolution/SawtoothDirectConvolver.h"

#include <algorithm>
#include <cstring>

#include "Sampler/sdk/calvatero/convolution/BlockKernels.h"
#include "Sampler/sdk/calvatero/newconv/Assert.h"

using calvatero::common::AlignedFloats;

SawtoothDirectConvolver::SawtoothDirectConvolver(std::size_t impulseFrames, const float* impulse)
    : impulseSpectra_(2 * kCycle, 64),
      staging_(4, 64),
      inputSpectra_(8 * kSubBlocks, 64),
      output_(kCycle, 64) {
  CALVATERO_ASSERT(impulseFrames<=halfFDLen_);
  // Window d covers taps 4d - 4 .. 4d + 3 (taps before 0 are zeros).
  float taps[4 + kCycle + 4] = {};
  std::copy(impulse, impulse + impulseFrames, taps + 4);
  for (std::size_t d = 0; d < kSubBlocks; ++d) {
    transform_.ForwardFFT_IR(impulseSpectra_.get() + 8 * (kSubBlocks - 1 - d), taps + 4 * d);
  }
  Reset();
}

void SawtoothDirectConvolver::Reset() {
  _writeCursor = 0;
  std::memset(staging_.get(), 0, 4 * sizeof(float));
  std::memset(inputSpectra_.get(), 0, 8 * kSubBlocks * sizeof(float));
  std::memset(output_.get(), 0, kCycle * sizeof(float));
}

void SawtoothDirectConvolver::CalculateOutput(float* pOutput, const float* pInput,
                                              std::size_t frames) {
  CALVATERO_ASSERT(pInput != 0 && pOutput != 0);
  CALVATERO_ASSERT_AHEAD(frames <= _halfInputFDLength - _writeCursor,
                         "_writeCursor <= _halfInputFDLength");
  if (frames == 0) return;
  const std::size_t start = _writeCursor;
  const std::size_t end = start + frames;

  // 1. The new samples' sub-blocks into their spectrum slots; a partly filled sub-block goes
  // through the staging block, zero-padded.
  const float* in = pInput;
  std::size_t samplesToProcess = frames;
  if (const std::size_t within = _writeCursor % 4; within != 0) {
    const std::size_t n = std::min(samplesToProcess, 4 - within);
    std::copy(in, in + n, staging_.get() + within);
    std::fill(staging_.get() + within + n, staging_.get() + 4, 0.0f);
    transform_.ForwardFFT(slot(_writeCursor / 4), staging_.get());
    _writeCursor += n;
    in += n;
    samplesToProcess -= n;
  }
  CALVATERO_ASSERT(_writeCursor % 4 == 0 || samplesToProcess == 0);
  const std::size_t whole = samplesToProcess / 4;
  transform_.ForwardFFT_for(slot(_writeCursor / 4), in, whole);
  _writeCursor += 4 * whole;
  in += 4 * whole;
  samplesToProcess -= 4 * whole;
  if (samplesToProcess != 0) {
    std::copy(in, in + samplesToProcess, staging_.get());
    std::fill(staging_.get() + samplesToProcess, staging_.get() + 4, 0.0f);
    transform_.ForwardFFT(slot(_writeCursor / 4), staging_.get());
    _writeCursor += samplesToProcess;
  }

  // 2. Advance, wrapping at the cycle's end.
  if (_writeCursor == _halfInputFDLength) _writeCursor = 0;

  // 3. Every touched sub-block j: sum over i <= j of slot i times window j - i (the windows
  // are stored in reverse, so both walk forward), then the inverse into the output.
  alignas(16) float sum[8];
  for (std::size_t j = start / 4; j <= (end - 1) / 4; ++j) {
    const float* window = impulseSpectra_.get() + 8 * (kSubBlocks - 1 - j);
    calvatero::convolution::do_block_mult_c(sum, slot(0), window, 8);
    if (j > 0) calvatero::convolution::do_block_mult_accum_c_for(sum, slot(1), window + 8, 8, j);
    transform_.InverseFFT(output_.get() + 4 * j, sum);
  }

  // 4. The call's share of the cycle's output.
  std::copy(output_.get() + start, output_.get() + end, pOutput);
}
