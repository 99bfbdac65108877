// The power-of-two transform: the platform's split-complex FFT (platform/accelerate) with this
// object's scratch. Natural order always; `ordered` is ignored.
#pragma once

#include <memory>

#include "Sampler/sdk/calvatero/fourier/FourierTransformComplex.h"
#include "Sampler/sdk/calvatero/newconv/Common.h"
#include "platform/accelerate/SplitFFT.h"

namespace calvatero::fourier {

class FourierTransformComplexVDSP final : public FourierTransformComplex {
 public:
  /// `length` a power of two from 4; above 2^20 throws Fft_out_of_range_error.
  explicit FourierTransformComplexVDSP(std::size_t length);

  void ScaleH(float* real, float* imag, unsigned char ordered) override;
  void ForwardTransform(float* outReal, float* outImag, const float* inReal, const float* inImag,
                        unsigned char ordered) override;
  void InverseTransform(float* outReal, float* outImag, const float* inReal, const float* inImag,
                        unsigned char ordered) override;

 private:
  std::unique_ptr<accelerate::SplitFFT> setup_;
  common::AlignedFloats scratchReal_;
  common::AlignedFloats scratchImag_;
  unsigned log2n_ = 0;
};

}  // namespace calvatero::fourier
