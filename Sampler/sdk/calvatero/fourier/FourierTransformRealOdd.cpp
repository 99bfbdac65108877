#include "Sampler/sdk/calvatero/fourier/FourierTransformRealOdd.h"

#include <cmath>

#include "Sampler/sdk/calvatero/fourier/FourierKernels.h"
#include "Sampler/sdk/calvatero/newconv/Assert.h"
#include "Sampler/sdk/calvatero/newconv/Vec4.h"

namespace calvatero::fourier {

using simd::F4;
using simd::load;
using simd::store;

namespace {

void interleave(float* spectrum, const float* re, const float* im, std::size_t bins) {
  for (std::size_t i = 0; i < bins; i += 4) {
    store(spectrum + 2 * i, load(re + i));
    store(spectrum + 2 * i + 4, load(im + i));
  }
}

void deinterleave(float* re, float* im, const float* spectrum, std::size_t bins) {
  for (std::size_t i = 0; i < bins; i += 4) {
    store(re + i, load(spectrum + 2 * i));
    store(im + i, load(spectrum + 2 * i + 4));
  }
}

}  // namespace

FourierTransformRealOdd::FourierTransformRealOdd(std::size_t length, std::size_t alignment)
    : length_(length), half_(length / 2) {
  CALVATERO_ASSERT(length % (SIMD_VECTOR_ELEMENTS * 2) == 0);
  complex_.reset(CreateFourierTransformComplex(half_, alignment));
  work1_ = common::AlignedFloats(length, alignment);
  work2_ = common::AlignedFloats(length, alignment);
  twiddles_ = common::AlignedFloats(length, alignment);
  const double step = -2 * M_PI / (2.0 * static_cast<double>(length));
  for (std::size_t j = 0; j < half_; ++j) {
    const double angle = static_cast<double>(j) * step;
    twiddles_[j] = static_cast<float>(std::cos(angle));
    twiddles_[half_ + j] = static_cast<float>(std::sin(angle));
  }
}

void FourierTransformRealOdd::FTAndReorder(float* spectrum, const float* input,
                                           std::size_t inCount) {
  float* const y = work1_.get();
  float* const bins = work2_.get();
  do_ftrealodd_pre_calculation(y, y + half_, input, twiddles_.get(), twiddles_.get() + half_,
                               inCount, half_);
  complex_->ForwardTransform(bins, bins + half_, y, y + half_, 0);
  interleave(spectrum, bins, bins + half_, half_);
}

void FourierTransformRealOdd::inverseInto(float* outReal, float* outImag, const float* spectrum) {
  float* const bins = work1_.get();
  deinterleave(bins, bins + half_, spectrum, half_);
  complex_->InverseTransform(outReal, outImag, bins, bins + half_, 0);
}

void FourierTransformRealOdd::ReorderAndIFT(float* output, const float* spectrum) {
  inverseInto(output, output + half_, spectrum);
  do_odd_mult_inplace(output, output + half_, twiddles_.get(), twiddles_.get() + half_, half_);
}

void FourierTransformRealOdd::ReorderAndIFT2(float* output, const float* spectrum,
                                             std::size_t outCount) {
  float* const re = work2_.get();
  float* const im = re + half_;
  inverseInto(re, im, spectrum);
  const float* const c = twiddles_.get();
  const float* const s = c + half_;
  std::size_t j = 0;
  for (; j + 4 <= outCount; j += 4) {
    store(output + j, load(re + j) * load(s + j) - load(im + j) * load(c + j));
  }
  for (; j < outCount; ++j) output[j] = re[j] * s[j] - im[j] * c[j];
}

void FourierTransformRealOdd::ScaleH(float* spectrum) {
  float* const bins = work1_.get();
  deinterleave(bins, bins + half_, spectrum, half_);
  complex_->ScaleH(bins, bins + half_, 0);
  interleave(spectrum, bins, bins + half_, half_);
}

}  // namespace calvatero::fourier
