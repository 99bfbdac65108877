#include "Sampler/sdk/calvatero/fourier/FourierTransformComplexRadix.h"

#include <cmath>

#include "Sampler/sdk/calvatero/newconv/Assert.h"
#include "Sampler/sdk/calvatero/newconv/Vec4.h"

namespace calvatero::fourier {

using simd::F4;
using simd::load;
using simd::splat;
using simd::store;
using simd::transpose;

namespace {

// -2 pi m for m = 1, 2, 3, as the twiddle angles are formed.
constexpr double kMinusTwoPiTimes[3] = {-6.283185307179586, -12.566370614359172,
                                        -18.84955592153876};

void assertSubLength(int p, std::size_t sublen, std::size_t length) {
  if (p == 3) CALVATERO_ASSERT(sublen*3 == length);
  if (p == 5) CALVATERO_ASSERT(sublen*5 == length);
  if (p == 7) CALVATERO_ASSERT(sublen*7 == length);
}

}  // namespace

template <int P>
FourierTransformComplexRadix<P>::FourierTransformComplexRadix(std::size_t length,
                                                              std::size_t alignment)
    : FourierTransformComplex(length), n_(length / P) {
  assertSubLength(P, n_, length);
  sub_.reset(CreateFourierTransformComplex(n_, alignment));
  for (int m = 1; m <= kHalf; ++m) {
    cos_[m - 1] = common::AlignedFloats(n_, alignment);
    sin_[m - 1] = common::AlignedFloats(n_, alignment);
    for (std::size_t i = 0; i < n_; ++i) {
      const double angle = static_cast<double>(i) * kMinusTwoPiTimes[m - 1] /
                           static_cast<double>(length);
      cos_[m - 1][i] = static_cast<float>(std::cos(angle));
      sin_[m - 1][i] = static_cast<float>(std::sin(angle));
    }
  }
  workReal_ = common::AlignedFloats(length, alignment);
  workImag_ = common::AlignedFloats(length, alignment);
  // The butterfly constants for q <= (p-1)/2; the others follow by symmetry so that equal
  // values are bit-identical.
  for (int q = 0; q <= kHalf; ++q) {
    dftCos_[q] = static_cast<float>(std::cos(2 * M_PI * q / P));
    dftSin_[q] = static_cast<float>(std::sin(-2 * M_PI * q / P));
  }
  for (int q = kHalf + 1; q < P; ++q) {
    dftCos_[q] = dftCos_[P - q];
    dftSin_[q] = -dftSin_[P - q];
  }
}

namespace {

// The length-p DFT of x_0 .. x_(p-1) (four lanes each), in place, with e^(-+2 pi i / p):
// a_r = A_r + i B_r and a_(p-r) = A_r - i B_r (forward), from the sums S_j = x_j + x_(p-j)
// and differences D_j = x_j - x_(p-j).
template <int P, bool kInverse>
inline void smallDft(F4 re[P], F4 im[P], const float* dftCos, const float* dftSin) {
  constexpr int kHalf = (P - 1) / 2;
  F4 sRe[kHalf + 1], sIm[kHalf + 1], dRe[kHalf + 1], dIm[kHalf + 1];
  F4 sumRe = re[0], sumIm = im[0];
  for (int j = 1; j <= kHalf; ++j) {
    sRe[j] = re[j] + re[P - j];
    sIm[j] = im[j] + im[P - j];
    dRe[j] = re[j] - re[P - j];
    dIm[j] = im[j] - im[P - j];
    sumRe += sRe[j];
    sumIm += sIm[j];
  }
  const F4 x0Re = re[0], x0Im = im[0];
  re[0] = sumRe;
  im[0] = sumIm;
  for (int r = 1; r <= kHalf; ++r) {
    F4 aRe = x0Re, aIm = x0Im, bRe = {0, 0, 0, 0}, bIm = {0, 0, 0, 0};
    for (int j = 1; j <= kHalf; ++j) {
      const int q = (j * r) % P;
      const F4 c = splat(dftCos[q]), s = splat(dftSin[q]);
      aRe += c * sRe[j];
      aIm += c * sIm[j];
      bRe += s * dRe[j];
      bIm += s * dIm[j];
    }
    // i B = -B.im + i B.re
    if constexpr (kInverse) {
      re[r] = aRe + bIm;
      im[r] = aIm - bRe;
      re[P - r] = aRe - bIm;
      im[P - r] = aIm + bRe;
    } else {
      re[r] = aRe - bIm;
      im[r] = aIm + bRe;
      re[P - r] = aRe + bIm;
      im[P - r] = aIm - bRe;
    }
  }
}

// z * w (conjugate: z * conj(w)).
template <bool kConjugate>
inline void rotate(F4& re, F4& im, F4 c, F4 s) {
  const F4 r = re, i = im;
  if constexpr (kConjugate) {
    re = r * c + i * s;
    im = i * c - r * s;
  } else {
    re = r * c - i * s;
    im = r * s + i * c;
  }
}

}  // namespace

namespace {

// Block r, element k holds natural index P k + r for r <= (P-1)/2 and P k + r - P (mod N)
// above, so natural row k (indices P k .. P k + P - 1) takes element k of the lower blocks and
// element (k + 1) mod n of the upper ones. Rows are moved four at a time through 4x4
// transposes; the last rows (and the wrap) go one by one.
template <int P>
inline std::size_t blockIndex(int r, std::size_t k, std::size_t n) {
  return r * n + (r <= (P - 1) / 2 ? k : (k + 1) % n);
}

constexpr int groupsOf4(int p) { return (p + 3) / 4; }

template <int P>
void blocksToNatural(float* out, const float* blocks, std::size_t n) {
  constexpr int kGroups = groupsOf4(P);
  std::size_t k = 0;
  for (; k + 4 < n; k += 4) {
    F4 v[4 * kGroups];
    for (int r = 0; r < 4 * kGroups; ++r) {
      v[r] = r < P ? load(blocks + r * n + k + (r <= (P - 1) / 2 ? 0 : 1)) : F4{0, 0, 0, 0};
    }
    for (int g = 0; g < kGroups; ++g) transpose(v[4 * g], v[4 * g + 1], v[4 * g + 2], v[4 * g + 3]);
    // Row by row, groups in rising r: a partial group's spill into the next row is overwritten
    // by that row's first store (the loop always leaves at least one row for the tail).
    for (std::size_t i = 0; i < 4; ++i) {
      for (int g = 0; g < kGroups; ++g) store(out + P * (k + i) + 4 * g, v[4 * g + i]);
    }
  }
  for (; k < n; ++k) {
    for (int r = 0; r < P; ++r) out[P * k + r] = blocks[blockIndex<P>(r, k, n)];
  }
}

template <int P>
void naturalToBlocks(float* blocks, const float* in, std::size_t n) {
  constexpr int kGroups = groupsOf4(P);
  std::size_t k = 0;
  for (; k + 4 < n; k += 4) {
    F4 v[4 * kGroups];
    for (std::size_t i = 0; i < 4; ++i) {
      for (int g = 0; g < kGroups; ++g) v[4 * g + i] = load(in + P * (k + i) + 4 * g);
    }
    for (int g = 0; g < kGroups; ++g) transpose(v[4 * g], v[4 * g + 1], v[4 * g + 2], v[4 * g + 3]);
    for (int r = 0; r < P; ++r) store(blocks + r * n + k + (r <= (P - 1) / 2 ? 0 : 1), v[r]);
  }
  for (; k < n; ++k) {
    for (int r = 0; r < P; ++r) blocks[blockIndex<P>(r, k, n)] = in[P * k + r];
  }
}

}  // namespace

template <int P>
void FourierTransformComplexRadix<P>::ForwardTransform(float* outReal, float* outImag,
                                                       const float* inReal, const float* inImag,
                                                       unsigned char ordered) {
  float* const wr = workReal_.get();
  float* const wi = workImag_.get();
  for (std::size_t i = 0; i < n_; i += 4) {
    F4 re[P], im[P];
    for (int j = 0; j < P; ++j) {
      re[j] = load(inReal + j * n_ + i);
      im[j] = load(inImag + j * n_ + i);
    }
    smallDft<P, false>(re, im, dftCos_, dftSin_);
    for (int m = 1; m <= kHalf; ++m) {
      const F4 c = load(cos_[m - 1].get() + i), s = load(sin_[m - 1].get() + i);
      rotate<false>(re[m], im[m], c, s);
      rotate<true>(re[P - m], im[P - m], c, s);
    }
    for (int r = 0; r < P; ++r) {
      store(wr + r * n_ + i, re[r]);
      store(wi + r * n_ + i, im[r]);
    }
  }
  if (!ordered) {
    for (int r = 0; r < P; ++r) {
      sub_->ForwardTransform(outReal + r * n_, outImag + r * n_, wr + r * n_, wi + r * n_, 0);
    }
    return;
  }
  for (int r = 0; r < P; ++r) {
    sub_->ForwardTransform(wr + r * n_, wi + r * n_, wr + r * n_, wi + r * n_, 1);
  }
  blocksToNatural<P>(outReal, wr, n_);
  blocksToNatural<P>(outImag, wi, n_);
}

template <int P>
void FourierTransformComplexRadix<P>::InverseTransform(float* outReal, float* outImag,
                                                       const float* inReal, const float* inImag,
                                                       unsigned char ordered) {
  float* const wr = workReal_.get();
  float* const wi = workImag_.get();
  if (ordered) {
    naturalToBlocks<P>(wr, inReal, n_);
    naturalToBlocks<P>(wi, inImag, n_);
    for (int r = 0; r < P; ++r) {
      sub_->InverseTransform(wr + r * n_, wi + r * n_, wr + r * n_, wi + r * n_, 1);
    }
  } else {
    for (int r = 0; r < P; ++r) {
      sub_->InverseTransform(wr + r * n_, wi + r * n_, inReal + r * n_, inImag + r * n_, 0);
    }
  }
  for (std::size_t i = 0; i < n_; i += 4) {
    F4 re[P], im[P];
    for (int r = 0; r < P; ++r) {
      re[r] = load(wr + r * n_ + i);
      im[r] = load(wi + r * n_ + i);
    }
    for (int m = 1; m <= kHalf; ++m) {
      const F4 c = load(cos_[m - 1].get() + i), s = load(sin_[m - 1].get() + i);
      rotate<true>(re[m], im[m], c, s);
      rotate<false>(re[P - m], im[P - m], c, s);
    }
    smallDft<P, true>(re, im, dftCos_, dftSin_);
    for (int j = 0; j < P; ++j) {
      store(outReal + j * n_ + i, re[j]);
      store(outImag + j * n_ + i, im[j]);
    }
  }
}

template <int P>
void FourierTransformComplexRadix<P>::ScaleH(float* real, float* imag, unsigned char ordered) {
  for (int r = 0; r < P; ++r) sub_->ScaleH(real + r * n_, imag + r * n_, ordered);
  const F4 scale = splat(static_cast<float>(1.0 / P));
  for (std::size_t i = 0; i < length_; i += 4) {
    store(real + i, load(real + i) * scale);
    store(imag + i, load(imag + i) * scale);
  }
}

template class FourierTransformComplexRadix<3>;
template class FourierTransformComplexRadix<5>;
template class FourierTransformComplexRadix<7>;

}  // namespace calvatero::fourier
