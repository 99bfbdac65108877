#include "Sampler/sdk/calvatero/convolution/StepwiseComplexRad4.h"

#include <cmath>

#include "Sampler/sdk/calvatero/newconv/Assert.h"
#include "Sampler/sdk/calvatero/newconv/Vec4.h"

namespace calvatero::convolution {

using simd::F4;
using simd::load;
using simd::store;

namespace {

// z *= w (or conj(w)) over `count` values.
template <bool kConjugate>
void rotateAll(float* re, float* im, const float* table, std::size_t count) {
  const float* c = table;
  const float* s = table + count;
  for (std::size_t j = 0; j < count; j += 4) {
    const F4 zr = load(re + j), zi = load(im + j), wr = load(c + j), wi = load(s + j);
    if constexpr (kConjugate) {
      store(re + j, zr * wr + zi * wi);
      store(im + j, zi * wr - zr * wi);
    } else {
      store(re + j, zr * wr - zi * wi);
      store(im + j, zr * wi + zi * wr);
    }
  }
}

}  // namespace

StepwiseComplexRad4::StepwiseComplexRad4(std::size_t length, std::size_t alignment)
    : quarterLength_(length / 4) {
  const std::size_t simd_iterations = quarterLength_ / 4;
  const std::size_t quarterLength = quarterLength_;
  CALVATERO_ASSERT(quarterLength == simd_iterations*4);
  table1_ = common::AlignedFloats(2 * quarterLength_, alignment);
  table2_ = common::AlignedFloats(2 * quarterLength_, alignment);
  const double n = static_cast<double>(length);
  for (std::size_t j = 0; j < quarterLength_; ++j) {
    const double a1 = static_cast<double>(j) * (-2 * M_PI / n);
    const double a2 = static_cast<double>(j) * (-2 * M_PI / (n / 2));
    table1_[j] = static_cast<float>(std::cos(a1));
    table1_[quarterLength_ + j] = static_cast<float>(std::sin(a1));
    table2_[j] = static_cast<float>(std::cos(a2));
    table2_[quarterLength_ + j] = static_cast<float>(std::sin(a2));
  }
}

void StepwiseComplexRad4::ForwardRad4(float* real, float* imag, std::size_t stage) const {
  const std::size_t q = quarterLength_;
  if (stage == 0) {
    const float* c = table1_.get();
    const float* s = c + q;
    for (std::size_t j = 0; j < q; j += 4) {
      const F4 x0r = load(real + j), x1r = load(real + j + q);
      const F4 x2r = load(real + j + 2 * q), x3r = load(real + j + 3 * q);
      const F4 x0i = load(imag + j), x1i = load(imag + j + q);
      const F4 x2i = load(imag + j + 2 * q), x3i = load(imag + j + 3 * q);
      const F4 ar = x0r + x2r, ai = x0i + x2i, br = x1r + x3r, bi = x1i + x3i;
      const F4 dr = x0r - x2r, di = x0i - x2i, er = x1r - x3r, ei = x1i - x3i;
      store(real + j + 3 * q, ar + br);
      store(imag + j + 3 * q, ai + bi);
      store(real + j + 2 * q, ar - br);
      store(imag + j + 2 * q, ai - bi);
      store(real + j + q, dr + ei);  // d - i e
      store(imag + j + q, di - er);
      const F4 ur = dr - ei, ui = di + er;  // (d + i e) W^(-j)
      const F4 wr = load(c + j), wi = load(s + j);
      store(real + j, ur * wr + ui * wi);
      store(imag + j, ui * wr - ur * wi);
    }
  } else if (stage == 1) {
    rotateAll<false>(real + q, imag + q, table1_.get(), q);
  } else if (stage == 2) {
    rotateAll<false>(real + 2 * q, imag + 2 * q, table2_.get(), q);
  } else {
    CALVATERO_ASSERT(stage == 3);
  }
}

void StepwiseComplexRad4::InverseRad4(float* real, float* imag, std::size_t stage) const {
  const std::size_t q = quarterLength_;
  if (stage == 0) {
    rotateAll<false>(real, imag, table1_.get(), q);
  } else if (stage == 2) {
    rotateAll<true>(real + 2 * q, imag + 2 * q, table2_.get(), q);
  } else if (stage == 1) {
    const float* c = table1_.get();
    const float* s = c + q;
    for (std::size_t j = 0; j < q; j += 4) {
      const F4 pr = load(real + j + q), pi = load(imag + j + q), wr = load(c + j), wi = load(s + j);
      const F4 tr = pr * wr + pi * wi, ti = pi * wr - pr * wi;
      const F4 qr = load(real + j), qi = load(imag + j);
      store(real + j, qr + tr);
      store(imag + j, qi + ti);
      store(real + j + q, tr - qr);
      store(imag + j + q, ti - qi);
    }
  } else {
    CALVATERO_ASSERT(stage == 3);
    for (std::size_t j = 0; j < q; j += 4) {
      const F4 sr = load(real + j), si = load(imag + j);
      const F4 dr = load(real + j + q), di = load(imag + j + q);
      const F4 a2r = load(real + j + 2 * q), a2i = load(imag + j + 2 * q);
      const F4 a0r = load(real + j + 3 * q), a0i = load(imag + j + 3 * q);
      const F4 pr = a0r + a2r, pi = a0i + a2i, mr = a0r - a2r, mi = a0i - a2i;
      store(real + j, pr + sr);
      store(imag + j, pi + si);
      store(real + j + 2 * q, pr - sr);
      store(imag + j + 2 * q, pi - si);
      store(real + j + q, mr - di);  // (a0 - a2) + i d
      store(imag + j + q, mi + dr);
      store(real + j + 3 * q, mr + di);
      store(imag + j + 3 * q, mi - dr);
    }
  }
}

}  // namespace calvatero::convolution
