// Transforms of p 2^k points for p = 3, 5, 7 (and 9 2^k as radix 3 over radix 3): one radix-p
// pass around an owned sub-transform of length N/p.
//
// With ordered 0 the spectrum stays grouped by residue: block r (elements r n .. r n + n - 1,
// n = N/p) holds the frequencies p k + r for r <= (p-1)/2 and p k + r - p (mod N) above, each
// block in its sub-transform's own order.
#pragma once

#include <memory>

#include "Sampler/sdk/calvatero/fourier/FourierTransformComplex.h"
#include "Sampler/sdk/calvatero/newconv/Common.h"

namespace calvatero::fourier {

template <int P>
class FourierTransformComplexRadix final : public FourierTransformComplex {
  static_assert(P == 3 || P == 5 || P == 7);

 public:
  FourierTransformComplexRadix(std::size_t length, std::size_t alignment);

  void ScaleH(float* real, float* imag, unsigned char ordered) override;
  void ForwardTransform(float* outReal, float* outImag, const float* inReal, const float* inImag,
                        unsigned char ordered) override;
  void InverseTransform(float* outReal, float* outImag, const float* inReal, const float* inImag,
                        unsigned char ordered) override;

  const FourierTransformComplex& subTransform() const { return *sub_; }

 private:
  static constexpr int kHalf = (P - 1) / 2;

  std::unique_ptr<FourierTransformComplex> sub_;
  std::size_t n_;
  common::AlignedFloats cos_[kHalf];  // cos and sin of i (-2 pi m) / N, m = 1 .. (p-1)/2
  common::AlignedFloats sin_[kHalf];
  common::AlignedFloats workReal_;
  common::AlignedFloats workImag_;
  float dftCos_[P];  // cos(2 pi q / p) and sin(-2 pi q / p), q = 0 .. p-1
  float dftSin_[P];
};

using FourierTransformComplexRad3 = FourierTransformComplexRadix<3>;
using FourierTransformComplexRad5 = FourierTransformComplexRadix<5>;
using FourierTransformComplexRad7 = FourierTransformComplexRadix<7>;

}  // namespace calvatero::fourier
