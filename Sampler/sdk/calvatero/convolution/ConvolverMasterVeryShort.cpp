#include "Sampler/sdk/calvatero/convolution/ConvolverMasterVeryShort.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "Sampler/sdk/calvatero/convolution/BlockKernels.h"
#include "Sampler/sdk/calvatero/newconv/Assert.h"

namespace calvatero::convolution {

namespace {

// Beyond this a larger staging buffer buys nothing: longer calls are split anyway.
constexpr std::size_t kLargestPiece = 8192;

constexpr std::size_t roundUp(std::size_t n, std::size_t b) { return (n + b - 1) / b * b; }

}  // namespace

template <std::size_t B, typename Transform>
VeryShortConvolver<B, Transform>::VeryShortConvolver(const float* irLeft, const float* irRight,
                                                     std::size_t irFrames,
                                                     std::size_t maxBlockFrames)
    : chanIR_TDLen(roundUp(irFrames, B)), windows_(chanIR_TDLen / B + 1) {
  const std::size_t io = std::min(std::max<std::size_t>(maxBlockFrames, 1), kLargestPiece);
  _chanMaxIOFramesTD = (irFrames < io ? roundUp(io, B) : chanIR_TDLen) + B;
  CALVATERO_ASSERT(chanIR_TDLen % SIMD_VECTOR_ELEMENTS == 0);
  CALVATERO_ASSERT(irFrames <= chanIR_TDLen);
  // Room for the W - 1 blocks a call reads back, one call, and as much again so that the
  // history moves back only every other maximal call.
  historyBlocks_ = windows_ + 2 * (_chanMaxIOFramesTD / B) + 1;

  staging_ = common::AlignedFloats(2 * B, 64);
  spectra_ = common::AlignedFloats(windows_ * kBlockFloats, 64);
  history_ = common::AlignedFloats(historyBlocks_ * kBlockFloats, 64);
  outputs_ = common::AlignedFloats(2 * _chanMaxIOFramesTD, 64);
  accumulator_ = common::AlignedFloats(kBlockFloats, 64);

  // Window w is taps (w - 1) B .. (w + 1) B - 1; stored so that a forward walk meets the
  // window of the oldest input block first.
  const std::size_t padded = chanIR_TDLen + 2 * B;
  const common::AlignedFloats taps(padded, 32);
  for (std::size_t channel = 0; channel < 2; ++channel) {
    const float* ir = channel == 0 ? irLeft : irRight;
    std::fill(taps.get(), taps.get() + padded, 0.0f);
    if (irFrames > 0) std::copy(ir, ir + irFrames, taps.get() + B);
    for (std::size_t w = 0; w < windows_; ++w) {
      transform_.ForwardFFT_IR(
          spectra_.get() + (windows_ - 1 - w) * kBlockFloats + channel * 2 * B, taps.get() + w * B);
    }
  }
  Reset();
}

template <std::size_t B, typename Transform>
void VeryShortConvolver<B, Transform>::Reset() {
  std::memset(staging_.get(), 0, 2 * B * sizeof(float));
  std::memset(history_.get(), 0, historyBlocks_ * kBlockFloats * sizeof(float));
  // W - 1 blocks of silence precede the first input block.
  _writeCursor = chanIR_TDLen;
}

template <std::size_t B, typename Transform>
void VeryShortConvolver<B, Transform>::transformBlock(std::size_t block, const float* left,
                                                      const float* right) {
  float* spectrum = historyBlock(block);
  transform_.ForwardFFT(spectrum, left);
  transform_.ForwardFFT(spectrum + 2 * B, right);
}

template <std::size_t B, typename Transform>
void VeryShortConvolver<B, Transform>::CalculateOutput(float* outLeft, float* outRight,
                                                       const float* inLeft,
                                                       const float* inRight,
                                                       std::size_t frames) {
  CALVATERO_ASSERT(outLeft != 0 && outRight != 0 && inLeft != 0 && inRight != 0);
  const std::size_t piece = maxCallFrames();
  for (std::size_t done = 0; done < frames;) {
    const std::size_t n = std::min(piece, frames - done);
    calculatePiece(outLeft + done, outRight + done, inLeft + done, inRight + done, n);
    done += n;
  }
}

template <std::size_t B, typename Transform>
void VeryShortConvolver<B, Transform>::calculatePiece(float* outLeft, float* outRight,
                                                      const float* inLeft,
                                                      const float* inRight,
                                                      std::size_t frames) {
  CALVATERO_ASSERT(frames < _chanMaxIOFramesTD);
  // Keep the history bounded: move the blocks still to be read back to its start.
  if (_writeCursor + frames + B > historyBlocks_ * B) {
    const std::size_t first = _writeCursor / B - (windows_ - 1);
    std::memmove(history_.get(), historyBlock(first),
                 (_writeCursor / B - first + 1) * kBlockFloats * sizeof(float));
    _writeCursor -= first * B;
  }
  const std::size_t start = _writeCursor;
  float* const stageLeft = staging_.get();
  float* const stageRight = staging_.get() + B;

  // 1. Input into block spectra; the partly filled block goes through the staging block,
  // zero-padded, and is transformed again when more of it arrives.
  std::size_t done = 0;
  if (const std::size_t within = _writeCursor % B; within != 0) {
    const std::size_t n = std::min(frames, B - within);
    std::copy(inLeft, inLeft + n, stageLeft + within);
    std::copy(inRight, inRight + n, stageRight + within);
    std::fill(stageLeft + within + n, stageLeft + B, 0.0f);
    std::fill(stageRight + within + n, stageRight + B, 0.0f);
    transformBlock(_writeCursor / B, stageLeft, stageRight);
    _writeCursor += n;
    done = n;
  }
  CALVATERO_ASSERT(_writeCursor % B == 0 || done == frames);
  for (; frames - done >= B; done += B, _writeCursor += B) {
    transformBlock(_writeCursor / B, inLeft + done, inRight + done);
  }
  if (const std::size_t rest = frames - done; rest != 0) {
    std::copy(inLeft + done, inLeft + frames, stageLeft);
    std::copy(inRight + done, inRight + frames, stageRight);
    std::fill(stageLeft + rest, stageLeft + B, 0.0f);
    std::fill(stageRight + rest, stageRight + B, 0.0f);
    transformBlock(_writeCursor / B, stageLeft, stageRight);
    _writeCursor += rest;
  }
  CALVATERO_ASSERT(_writeCursor <= historyBlocks_ * B);

  // 2. Every output block the call touches: all windows times the matching input blocks.
  const std::size_t firstStage = start / B;
  const std::size_t lastStage = (_writeCursor - 1) / B;
  CALVATERO_ASSERT(firstStage + 1 >= windows_);
  CALVATERO_ASSERT((lastStage - firstStage) * B < _chanMaxIOFramesTD);
  float* const acc = accumulator_.get();
  float* const stagedLeft = outputs_.get();
  float* const stagedRight = outputs_.get() + _chanMaxIOFramesTD;
  for (std::size_t k = firstStage; k <= lastStage; ++k) {
    do_block_mult_c(acc, spectra_.get(), historyBlock(k + 1 - windows_), kBlockFloats);
    if (windows_ > 1) {
      do_block_mult_accum_c_for(acc, spectra_.get() + kBlockFloats,
                                historyBlock(k + 2 - windows_), kBlockFloats, windows_ - 1);
    }
    transform_.InverseFFT(stagedLeft + (k - firstStage) * B, acc);
    transform_.InverseFFT(stagedRight + (k - firstStage) * B, acc + 2 * B);
  }

  // 3. The call's frames.
  const std::size_t offset = start % B;
  std::copy(stagedLeft + offset, stagedLeft + offset + frames, outLeft);
  std::copy(stagedRight + offset, stagedRight + offset + frames, outRight);
}

template class VeryShortConvolver<4, fourier::RealOdd4>;
template class VeryShortConvolver<8, fourier::RealOdd8>;

}  // namespace calvatero::convolution
