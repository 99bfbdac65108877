#include "Sampler/sdk/calvatero/fourier/FourierTransformComplexChirpz.h"

#include <cmath>
#include <cstring>

#include "Sampler/sdk/calvatero/fourier/FourierKernels.h"
#include "Sampler/sdk/calvatero/newconv/Assert.h"
#include "Sampler/sdk/calvatero/newconv/Vec4.h"

namespace calvatero::fourier {

using simd::F4;
using simd::load;
using simd::splat;
using simd::store;

FourierTransformComplexChirpz::FourierTransformComplexChirpz(std::size_t length,
                                                             std::size_t alignment)
    : FourierTransformComplex(length), m_(GetSuperTransformChirpzLen(length)) {
  CALVATERO_ASSERT((length / SIMD_VECTOR_ELEMENTS) * SIMD_VECTOR_ELEMENTS == length);
  sub_.reset(CreateFourierTransformComplex(m_, alignment));
  cos_ = common::AlignedFloats(length, alignment);
  nsin_ = common::AlignedFloats(length, alignment);
  kernelA_ = common::AlignedFloats(2 * m_, alignment);
  kernelB_ = common::AlignedFloats(2 * m_, alignment);
  work1_ = common::AlignedFloats(2 * m_, alignment);
  work2_ = common::AlignedFloats(2 * m_, alignment);

  const double inverseLength = 1.0 / static_cast<double>(length);
  std::memset(kernelA_.get(), 0, 2 * m_ * sizeof(float));
  std::memset(kernelB_.get(), 0, 2 * m_ * sizeof(float));
  for (std::size_t k = 0; k < length; ++k) {
    const double kd = static_cast<double>(k);
    const double angle = ((kd * M_PI) * kd) * inverseLength;
    cos_[k] = static_cast<float>(std::cos(angle));
    nsin_[k] = static_cast<float>(-std::sin(angle));
    kernelA_[k] = cos_[k];
    kernelA_[m_ + k] = -nsin_[k];
    kernelB_[k] = cos_[k];
    kernelB_[m_ + k] = nsin_[k];
  }
  for (common::AlignedFloats* kernel : {&kernelA_, &kernelB_}) {
    float* re = kernel->get();
    float* im = re + m_;
    sub_->ForwardTransform(re, im, re, im, 0);
    sub_->ScaleH(re, im, 0);
  }
}

void FourierTransformComplexChirpz::convolveAndFold(const common::AlignedFloats& kernel) {
  float* const r1 = work1_.get();
  float* const i1 = r1 + m_;
  float* const r2 = work2_.get();
  float* const i2 = r2 + m_;
  std::memset(r1 + length_, 0, (m_ - length_) * sizeof(float));
  std::memset(i1 + length_, 0, (m_ - length_) * sizeof(float));
  sub_->ForwardTransform(r2, i2, r1, i1, 0);
  do_complex_mult_inplace(r2, i2, kernel.get(), kernel.get() + m_, m_);
  sub_->InverseTransform(r1, i1, r2, i2, 0);
  // The chirp has period N for even N, so the negative lags arrive N samples late.
  for (std::size_t k = 0; k < length_; k += 4) {
    store(r1 + k, load(r1 + k) + load(r1 + k + length_));
    store(i1 + k, load(i1 + k) + load(i1 + k + length_));
  }
}

void FourierTransformComplexChirpz::ForwardTransform(float* outReal, float* outImag,
                                                     const float* inReal, const float* inImag,
                                                     unsigned char ordered) {
  float* const r1 = work1_.get();
  float* const i1 = r1 + m_;
  do_complex_mult(r1, i1, inReal, inImag, cos_.get(), nsin_.get(), length_);
  convolveAndFold(kernelA_);
  if (ordered) {
    do_complex_mult(outReal, outImag, r1, i1, cos_.get(), nsin_.get(), length_);
  } else {
    std::memcpy(outReal, r1, length_ * sizeof(float));
    std::memcpy(outImag, i1, length_ * sizeof(float));
  }
}

void FourierTransformComplexChirpz::InverseTransform(float* outReal, float* outImag,
                                                     const float* inReal, const float* inImag,
                                                     unsigned char ordered) {
  float* const r1 = work1_.get();
  float* const i1 = r1 + m_;
  const float* const c = cos_.get();
  const float* const s = nsin_.get();
  if (ordered) {
    for (std::size_t k = 0; k < length_; k += 4) {  // X conj(w)
      const F4 xr = load(inReal + k), xi = load(inImag + k), wr = load(c + k), wi = load(s + k);
      store(r1 + k, xr * wr + xi * wi);
      store(i1 + k, xi * wr - xr * wi);
    }
  } else {
    std::memmove(r1, inReal, length_ * sizeof(float));
    std::memmove(i1, inImag, length_ * sizeof(float));
  }
  convolveAndFold(kernelB_);
  for (std::size_t k = 0; k < length_; k += 4) {  // times conj(w)
    const F4 yr = load(r1 + k), yi = load(i1 + k), wr = load(c + k), wi = load(s + k);
    store(outReal + k, yr * wr + yi * wi);
    store(outImag + k, yi * wr - yr * wi);
  }
}

void FourierTransformComplexChirpz::ScaleH(float* real, float* imag, unsigned char ordered) {
  const F4 scale = splat(static_cast<float>(1.0 / static_cast<double>(length_)));
  if (ordered) {
    for (std::size_t k = 0; k < length_; k += 4) {
      store(real + k, load(real + k) * scale);
      store(imag + k, load(imag + k) * scale);
    }
    return;
  }
  for (std::size_t k = 0; k < length_; k += 4) {
    const F4 zr = load(real + k), zi = load(imag + k);
    const F4 wr = load(cos_.get() + k) * scale, wi = load(nsin_.get() + k) * scale;
    store(real + k, zr * wr - zi * wi);
    store(imag + k, zr * wi + zi * wr);
  }
}

}  // namespace calvatero::fourier
