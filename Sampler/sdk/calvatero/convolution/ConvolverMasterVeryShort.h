// The engines for impulses of at most 80 frames: the whole impulse in the odd-frequency domain
// of very small transforms. The input is cut into blocks of B frames (4 for
// ConvolverMasterVeryShort over RealOdd4, 8 for ConvolverMasterVeryShort2 over RealOdd8), each
// block transformed once, and every output block is the sum of the products of all impulse
// windows with the matching input-block spectra. Both channels share the buffers, interleaved.
//
// Buffers are sized by the maximum call length given at creation; a longer call is split
// internally into calls of that length (the result is the same as the caller splitting it).
#pragma once

#include <cstddef>

#include "Sampler/sdk/calvatero/convolution/ConvolverMaster.h"
#include "Sampler/sdk/calvatero/fourier/FourierTransformRealOdd.h"
#include "Sampler/sdk/calvatero/newconv/Common.h"

namespace calvatero::convolution {

template <std::size_t B, typename Transform>
class VeryShortConvolver : public ConvolverMaster {
 public:
  /// Throws std::bad_alloc (nothing left allocated).
  VeryShortConvolver(const float* irLeft, const float* irRight, std::size_t irFrames,
                     std::size_t maxBlockFrames);
  void Reset() override;
  void CalculateOutput(float* outLeft, float* outRight, const float* inLeft,
                       const float* inRight, std::size_t frames) override;

  /// The longest call processed in one piece.
  std::size_t maxCallFrames() const { return _chanMaxIOFramesTD - B; }

 private:
  static constexpr std::size_t kBlockFloats = 4 * B;  // left then right spectrum of one block

  void calculatePiece(float* outLeft, float* outRight, const float* inLeft,
                      const float* inRight, std::size_t frames);
  void transformBlock(std::size_t block, const float* left, const float* right);
  float* historyBlock(std::size_t block) const { return history_.get() + block * kBlockFloats; }

  Transform transform_;
  std::size_t chanIR_TDLen;
  std::size_t windows_;             // W = chanIR_TDLen / B + 1
  std::size_t _chanMaxIOFramesTD;   // rounded maximum call plus one block
  std::size_t historyBlocks_;
  common::AlignedFloats staging_;   // the partly filled block: left B frames, right B frames
  common::AlignedFloats spectra_;   // W windows, reversed: the oldest input's window first
  common::AlignedFloats history_;   // input block spectra, both channels
  common::AlignedFloats outputs_;   // output staging: left, then right
  common::AlignedFloats accumulator_;
  std::size_t _writeCursor = 0;     // frames written into the history
};

class ConvolverMasterVeryShort final : public VeryShortConvolver<4, fourier::RealOdd4> {
 public:
  using VeryShortConvolver::VeryShortConvolver;
};

class ConvolverMasterVeryShort2 final : public VeryShortConvolver<8, fourier::RealOdd8> {
 public:
  using VeryShortConvolver::VeryShortConvolver;
};

}  // namespace calvatero::convolution
