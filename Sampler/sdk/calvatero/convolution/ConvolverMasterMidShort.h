// The engine for impulses of 2113 to 4736 frames: the long engine's two-stage pattern at a
// smaller scale. Stage 1 (32-frame blocks, 64-point spectra, direct head) serves the input's
// own 128-frame block; stage 2 serves every earlier 128-frame block through 256-point spectra
// whose two halves are filtered at different block boundaries. The right channel runs 64 frames
// after the left in both stages.
//
// One thread per engine. Construction allocates; CalculateOutput and Reset never allocate,
// lock or block.
#pragma once

#include <cstddef>
#include <memory>

#include "Sampler/sdk/calvatero/convolution/ConvolverMaster.h"
#include "Sampler/sdk/calvatero/convolution/GenericFilter.h"
#include "Sampler/sdk/calvatero/convolution/InPlaceGuard.h"
#include "Sampler/sdk/calvatero/convolution/SawtoothDirectConvolver.h"
#include "Sampler/sdk/calvatero/fourier/FourierTransformRealOdd.h"
#include "Sampler/sdk/calvatero/newconv/Common.h"

namespace calvatero::convolution {

/// Stage 1 of both channels: within a 128-frame cycle, each 32-frame block reaches the output
/// blocks up to the cycle's end.
class ConvolverMidShort01 {
 public:
  /// Impulses of at least 128 frames. Throws std::bad_alloc.
  ConvolverMidShort01(const float* irLeft, const float* irRight, std::size_t irFrames);
  void Reset();
  void CalculateOutput(float* outLeft, float* outRight, const float* inLeft,
                       const float* inRight, std::size_t frames);

 private:
  static constexpr std::size_t kSpectrum = 64;
  struct Channel {
    Channel(const float* ir);
    SawtoothDirectConvolver direct;
    common::AlignedFloats windows;  // head, taps 0-63, 32-95, 64-127
    common::AlignedFloats input, output, history, accumulator;
    std::size_t step = 0;
  };
  void completeBlock(Channel& channel, const float* in);

  fourier::RealOdd32 transform_;
  Channel channels_[2];
  std::size_t position_ = 0;
};

/// Stage 2's partitioned convolver over 128-frame blocks: the first half of each block's
/// spectrum is filtered when the block completes, the second half at the next block's start.
class Convolver4Way {
 public:
  /// Throws std::bad_alloc.
  Convolver4Way(const float* h, std::size_t n, fourier::FourierTransformRealOdd* transform);
  ~Convolver4Way();
  void Reset();
  void ForwardFFTAndCalculate(const float* in);
  void CalculateAndInverseFFT(float* out);

 private:
  static constexpr std::size_t kHalf = 128;
  const float* tableEnd(const float* table) const { return table + (partitions_ - 1) * kHalf; }

  fourier::FourierTransformRealOdd* _pFourier2;
  std::size_t partitions_;
  std::unique_ptr<GenericFilter> filters_[2];
  float* tables_[2] = {};
  float* histories_[2] = {};
  common::AlignedFloats work_;
  std::size_t counter_ = 0;
  bool start_ = true;
};

/// Stage 2 of one channel.
class ConvolverMidShort2 {
 public:
  ConvolverMidShort2(const float* ir, std::size_t irFrames, std::size_t channel,
                     fourier::FourierTransformRealOdd* transform);
  void Reset();
  /// Adds stage 2's share.
  void CalculateOutput(float* out, const float* in, std::size_t frames);

 private:
  Convolver4Way convolver_;
  common::AlignedFloats input_, output_;
  std::size_t channel_;
  std::size_t position_ = 0;
};

class ConvolverMasterMidShort final : public ConvolverMaster {
 public:
  /// Throws std::bad_alloc (nothing left allocated).
  ConvolverMasterMidShort(const float* irLeft, const float* irRight, std::size_t irFrames);
  void Reset() override;
  void CalculateOutput(float* outLeft, float* outRight, const float* inLeft,
                       const float* inRight, std::size_t frames) override;

 private:
  fourier::FourierTransformRealOdd transform_;
  ConvolverMidShort01 stage1_;
  ConvolverMidShort2 stage2Left_, stage2Right_;
  InPlaceGuard inPlace_;
};

}  // namespace calvatero::convolution
