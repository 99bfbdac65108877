// The chirp-z (Bluestein) transform for any multiple of 4 that has no direct form: a circular
// convolution with the chirp w[k] = e^(-i pi k^2 / N) through an owned transform of length
// M = GetSuperTransformChirpzLen(N) >= 2N.
//
// With ordered 0 the forward transform leaves out its final multiplication by the chirp
// (giving X conj(w)), the inverse expects that form, and ScaleH applies the chirp, so a product
// of two such spectra costs no chirp multiplications.
#pragma once

#include <memory>

#include "Sampler/sdk/calvatero/fourier/FourierTransformComplex.h"
#include "Sampler/sdk/calvatero/newconv/Common.h"

namespace calvatero::fourier {

class FourierTransformComplexChirpz final : public FourierTransformComplex {
 public:
  FourierTransformComplexChirpz(std::size_t length, std::size_t alignment);

  void ScaleH(float* real, float* imag, unsigned char ordered) override;
  void ForwardTransform(float* outReal, float* outImag, const float* inReal, const float* inImag,
                        unsigned char ordered) override;
  void InverseTransform(float* outReal, float* outImag, const float* inReal, const float* inImag,
                        unsigned char ordered) override;

  const FourierTransformComplex& subTransform() const { return *sub_; }

 private:
  // The circular convolution of `work1_` (zero-padded) with a kernel spectrum, folded to N.
  void convolveAndFold(const common::AlignedFloats& kernel);

  std::unique_ptr<FourierTransformComplex> sub_;
  std::size_t m_;
  common::AlignedFloats cos_;   // cos(pi k^2 / N)
  common::AlignedFloats nsin_;  // -sin(pi k^2 / N)
  common::AlignedFloats kernelA_;  // M real then M imaginary
  common::AlignedFloats kernelB_;
  common::AlignedFloats work1_;
  common::AlignedFloats work2_;
};

}  // namespace calvatero::fourier
