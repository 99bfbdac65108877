// RealOdd4, RealOdd8 and RealOdd32. The 16- and 64-point classes fold the K real samples into
// K complex values (y_j = x_j t_j, t_j = e^(-i pi j / L)) and transform them with K = 4 m + l:
// a DFT across the vectors (over m), twiddles, then a four-point DFT across the lanes (over l)
// after a 4x4 transpose, which lands every bin in natural order.
#include <cmath>

#include "Sampler/sdk/calvatero/fourier/FourierTransformRealOdd.h"
#include "Sampler/sdk/calvatero/newconv/Vec4.h"
#include "platform/accelerate/SplitKernels.h"

namespace calvatero::fourier {

using simd::F4;
using simd::load;
using simd::splat;
using simd::store;
using simd::transpose;

namespace {

using Cx = accelerate::kernels::Cx<F4>;
using accelerate::kernels::dft4;
using accelerate::kernels::dft8;

// z * (c + i s), or z * (c - i s).
template <bool kConjugate>
inline Cx rotate(Cx z, F4 c, F4 s) {
  return accelerate::kernels::twiddle<kConjugate>(z, Cx{c, s});
}

template <int kLane>
inline F4 lane(F4 v) {
  return _mm_shuffle_ps(v, v, kLane * 0x55);
}

// B_k = (1/K) sum over all L samples x[n] e^(-i pi (4k+1) n / L), in double, natural order.
void forwardImpulseInDouble(float* spectrum, const float* input, std::size_t length) {
  const std::size_t half = length / 2;
  double c[128], s[128];
  for (std::size_t m = 0; m < 2 * length; ++m) {
    const double angle = -M_PI * static_cast<double>(m) / static_cast<double>(length);
    c[m] = std::cos(angle);
    s[m] = std::sin(angle);
  }
  const double scale = 1.0 / static_cast<double>(half);
  for (std::size_t k = 0; k < half; ++k) {
    double re = 0, im = 0;
    for (std::size_t n = 0; n < length; ++n) {
      const std::size_t index = ((4 * k + 1) * n) % (2 * length);
      re += input[n] * c[index];
      im += input[n] * s[index];
    }
    spectrum[(k / 4) * 8 + k % 4] = static_cast<float>(re * scale);
    spectrum[(k / 4) * 8 + 4 + k % 4] = static_cast<float>(im * scale);
  }
}

// The fold of K samples (second half zero) against the twiddle table.
inline Cx fold(const float* input, const float* cosines, const float* sines) {
  const F4 x = load(input);
  return {x * load(cosines), x * load(sines)};
}

// output = re s - im c: the second half of the inverse from z_j = (re, im).
inline F4 unfold(Cx z, const float* cosines, const float* sines) {
  return z.re * load(sines) - z.im * load(cosines);
}

}  // namespace

// ---- RealOdd4: 8 points, a 4x4 matrix each way.
// table: [0..7] t_j (cosines, then sines); [8..31] forward columns C_n, S_n for n = 1..3;
// [32..63] inverse columns A_k = -sin, B_k = -cos of pi (4k+1) j / 8.

RealOdd4::RealOdd4() : table_(64, 64) {
  for (int j = 0; j < 4; ++j) {
    table_[j] = static_cast<float>(std::cos(M_PI * j / 8));
    table_[4 + j] = static_cast<float>(-std::sin(M_PI * j / 8));
  }
  table_[4] = -0.0f;
  for (int n = 1; n < 4; ++n) {
    for (int k = 0; k < 4; ++k) {
      const double angle = M_PI * (4 * k + 1) * n / 8;
      table_[8 + 8 * (n - 1) + k] = static_cast<float>(std::cos(angle));
      table_[12 + 8 * (n - 1) + k] = static_cast<float>(-std::sin(angle));
    }
  }
  for (int k = 0; k < 4; ++k) {
    for (int j = 0; j < 4; ++j) {
      const double angle = M_PI * (4 * k + 1) * j / 8;
      table_[32 + 8 * k + j] = static_cast<float>(-std::sin(angle));
      table_[36 + 8 * k + j] = static_cast<float>(-std::cos(angle));
    }
  }
}

void RealOdd4::ForwardFFT_IR(float* spectrum, const float* input) const {
  forwardImpulseInDouble(spectrum, input, 8);
}

void RealOdd4::ForwardFFT(float* spectrum, const float* input) const {
  const float* t = table_.get();
  const F4 x1 = splat(input[1]), x2 = splat(input[2]), x3 = splat(input[3]);
  store(spectrum, splat(input[0]) + x1 * load(t + 8) + x2 * load(t + 16) + x3 * load(t + 24));
  store(spectrum + 4, x1 * load(t + 12) + x2 * load(t + 20) + x3 * load(t + 28));
}

void RealOdd4::InverseFFT(float* output, const float* spectrum) const {
  const float* t = table_.get() + 32;
  const F4 re = load(spectrum), im = load(spectrum + 4);
  F4 out = lane<0>(re) * load(t) + lane<0>(im) * load(t + 4);
  out += lane<1>(re) * load(t + 8) + lane<1>(im) * load(t + 12);
  out += lane<2>(re) * load(t + 16) + lane<2>(im) * load(t + 20);
  out += lane<3>(re) * load(t + 24) + lane<3>(im) * load(t + 28);
  store(output, out);
}

void RealOdd4::ForwardFFT_for(float* spectra, const float* inputs, std::size_t count) const {
  std::size_t b = 0;
  for (; b + 2 <= count; b += 2) {
    ForwardFFT(spectra + 8 * b, inputs + 4 * b);
    ForwardFFT(spectra + 8 * b + 8, inputs + 4 * b + 4);
  }
  if (b < count) ForwardFFT(spectra + 8 * b, inputs + 4 * b);
}

void RealOdd4::InverseFFT_for(float* outputs, const float* spectra, std::size_t count) const {
  std::size_t b = 0;
  for (; b + 2 <= count; b += 2) {
    InverseFFT(outputs + 4 * b, spectra + 8 * b);
    InverseFFT(outputs + 4 * b + 4, spectra + 8 * b + 8);
  }
  if (b < count) InverseFFT(outputs + 4 * b, spectra + 8 * b);
}

// ---- RealOdd8: 16 points, K = 8 = 4 m + l with m < 2.
// table: [0..15] t_j (8 cosines, 8 sines); [16..23] e^(-2 pi i l / 8), l < 4 (cosines, sines).
// After the two-point step the four vectors (Z0.re, Z1.re, Z0.im, Z1.im) are transposed, so
// each vector carries two complex values as (re, re, im, im).

namespace {

const __m128 kSignHigh = _mm_castsi128_ps(_mm_set_epi32(INT32_MIN, INT32_MIN, 0, 0));
const __m128 kSignLow = _mm_castsi128_ps(_mm_set_epi32(0, 0, INT32_MIN, INT32_MIN));

// Multiplies the two (re, re, im, im) values by -i (forward) or +i (inverse).
template <bool kInverse>
inline F4 pairQuarterTurn(F4 v) {
  const F4 swapped = _mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 0, 3, 2));
  return _mm_xor_ps(swapped, kInverse ? kSignLow : kSignHigh);
}

template <bool kInverse>
inline void pairDft4(F4& a0, F4& a1, F4& a2, F4& a3) {
  accelerate::kernels::butterfly4(a0, a1, a2, a3, [](F4 v) { return pairQuarterTurn<kInverse>(v); });
}

}  // namespace

RealOdd8::RealOdd8() : table_(32, 64) {
  for (int j = 0; j < 8; ++j) {
    table_[j] = static_cast<float>(std::cos(-M_PI * j / 16));
    table_[8 + j] = static_cast<float>(std::sin(-M_PI * j / 16));
  }
  for (int l = 0; l < 4; ++l) {
    table_[16 + l] = static_cast<float>(std::cos(-2 * M_PI * l / 8));
    table_[20 + l] = static_cast<float>(std::sin(-2 * M_PI * l / 8));
  }
}

void RealOdd8::ForwardFFT_IR(float* spectrum, const float* input) const {
  forwardImpulseInDouble(spectrum, input, 16);
}

void RealOdd8::ForwardFFT(float* spectrum, const float* input) const {
  const float* t = table_.get();
  const Cx v0 = fold(input, t, t + 8), v1 = fold(input + 4, t + 4, t + 12);
  const Cx z0 = v0 + v1;
  const Cx z1 = rotate<false>(v0 - v1, load(t + 16), load(t + 20));
  F4 a0 = z0.re, a1 = z1.re, a2 = z0.im, a3 = z1.im;
  transpose(a0, a1, a2, a3);
  pairDft4<false>(a0, a1, a2, a3);  // a_k2 holds bins 2 k2 and 2 k2 + 1
  store(spectrum, _mm_movelh_ps(a0, a1));
  store(spectrum + 4, _mm_movehl_ps(a1, a0));
  store(spectrum + 8, _mm_movelh_ps(a2, a3));
  store(spectrum + 12, _mm_movehl_ps(a3, a2));
}

void RealOdd8::InverseFFT(float* output, const float* spectrum) const {
  const float* t = table_.get();
  const F4 re0 = load(spectrum), im0 = load(spectrum + 4);
  const F4 re1 = load(spectrum + 8), im1 = load(spectrum + 12);
  F4 a0 = _mm_shuffle_ps(re0, im0, _MM_SHUFFLE(1, 0, 1, 0));
  F4 a1 = _mm_shuffle_ps(re0, im0, _MM_SHUFFLE(3, 2, 3, 2));
  F4 a2 = _mm_shuffle_ps(re1, im1, _MM_SHUFFLE(1, 0, 1, 0));
  F4 a3 = _mm_shuffle_ps(re1, im1, _MM_SHUFFLE(3, 2, 3, 2));
  pairDft4<true>(a0, a1, a2, a3);
  transpose(a0, a1, a2, a3);  // Z0.re, Z1.re, Z0.im, Z1.im
  const Cx z0 = {a0, a2};
  const Cx z1 = rotate<true>(Cx{a1, a3}, load(t + 16), load(t + 20));
  store(output, unfold(z0 + z1, t, t + 8));
  store(output + 4, unfold(z0 - z1, t + 4, t + 12));
}

// ---- RealOdd32: 64 points, K = 32 = 4 m + l with m < 8; bin k = k1 + 8 k2.
// table: [0..63] t_j (32 cosines, 32 sines); [64..127] e^(-2 pi i l k1 / 32) for k1 < 8 as
// 8 floats each (4 cosines over l, then 4 sines).

RealOdd32::RealOdd32() : table_(128, 64) {
  for (int j = 0; j < 32; ++j) {
    table_[j] = static_cast<float>(std::cos(-M_PI * j / 64));
    table_[32 + j] = static_cast<float>(std::sin(-M_PI * j / 64));
  }
  for (int k1 = 0; k1 < 8; ++k1) {
    for (int l = 0; l < 4; ++l) {
      table_[64 + 8 * k1 + l] = static_cast<float>(std::cos(-2 * M_PI * l * k1 / 32));
      table_[68 + 8 * k1 + l] = static_cast<float>(std::sin(-2 * M_PI * l * k1 / 32));
    }
  }
}

void RealOdd32::ForwardFFT_IR(float* spectrum, const float* input) const {
  forwardImpulseInDouble(spectrum, input, 64);
}

void RealOdd32::ForwardFFT(float* spectrum, const float* input) const {
  const float* t = table_.get();
  Cx z[8];
  for (int m = 0; m < 8; ++m) z[m] = fold(input + 4 * m, t + 4 * m, t + 32 + 4 * m);
  dft8<false>(z);
  for (int k1 = 1; k1 < 8; ++k1) z[k1] = rotate<false>(z[k1], load(t + 64 + 8 * k1), load(t + 68 + 8 * k1));
  for (int g = 0; g < 2; ++g) {
    Cx* q = z + 4 * g;
    transpose(q[0].re, q[1].re, q[2].re, q[3].re);
    transpose(q[0].im, q[1].im, q[2].im, q[3].im);
    dft4<false>(q[0], q[1], q[2], q[3]);  // q[k2]: bins 4 g + 8 k2 .. + 3
    for (int k2 = 0; k2 < 4; ++k2) {
      float* group = spectrum + 8 * (2 * k2 + g);
      store(group, q[k2].re);
      store(group + 4, q[k2].im);
    }
  }
}

void RealOdd32::InverseFFT(float* output, const float* spectrum) const {
  const float* t = table_.get();
  Cx z[8];
  for (int g = 0; g < 2; ++g) {
    Cx* q = z + 4 * g;
    for (int k2 = 0; k2 < 4; ++k2) {
      const float* group = spectrum + 8 * (2 * k2 + g);
      q[k2] = {load(group), load(group + 4)};
    }
    dft4<true>(q[0], q[1], q[2], q[3]);
    transpose(q[0].re, q[1].re, q[2].re, q[3].re);
    transpose(q[0].im, q[1].im, q[2].im, q[3].im);
  }
  for (int k1 = 1; k1 < 8; ++k1) z[k1] = rotate<true>(z[k1], load(t + 64 + 8 * k1), load(t + 68 + 8 * k1));
  dft8<true>(z);
  for (int m = 0; m < 8; ++m) store(output + 4 * m, unfold(z[m], t + 4 * m, t + 32 + 4 * m));
}

}  // namespace calvatero::fourier
