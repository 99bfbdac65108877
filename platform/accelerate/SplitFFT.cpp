#include "platform/accelerate/SplitFFT.h"

#include "Sampler/sdk/calvatero/newconv/Vec4.h"
#include "platform/accelerate/SplitKernels.h"

#include <cmath>
#include <cstdlib>
#include <new>

namespace accelerate {

namespace {

// The convolution library's four-float vector: a plain vector type (unlike __m128, no
// may_alias) so it can be a template argument; its loads, stores and 4x4 transpose.
using V = calvatero::simd::F4;
using calvatero::simd::load;
using calvatero::simd::store;
using calvatero::simd::transpose;

using kernels::broadcast;
using kernels::Cx;
using kernels::twiddle;

// The R-point DFT in place, natural order in and out.
template <int R, bool kInverse, typename T>
inline void dft(Cx<T> a[R]) {
  if constexpr (R == 4) {
    kernels::dft4<kInverse>(a[0], a[1], a[2], a[3]);
  } else {
    kernels::dft8<kInverse>(a);
  }
}

// The two sides of one pass never overlap.
struct Buffers {
  const float* __restrict xr;
  const float* __restrict xi;
  float* __restrict yr;
  float* __restrict yi;
};

// One pass of the self-sorting scheme: y[q + s(R p + k)] = (sum_j x[q + s(p + j m)]
// e^(-+2 pi i jk / R)) w^(kp), w = e^(-+2 pi i / (R m)), for p < m, q < s.

template <int R, bool kInverse>
void passScalar(const Buffers& b, std::size_t m, std::size_t s, const float* tw) {
  for (std::size_t p = 0; p < m; ++p) {
    for (std::size_t q = 0; q < s; ++q) {
      Cx<float> a[R];
      for (std::size_t k = 0; k < R; ++k) {
        const std::size_t at = q + s * (p + k * m);
        a[k] = {b.xr[at], b.xi[at]};
      }
      dft<R, kInverse>(a);
      for (std::size_t k = 0; k < R; ++k) {
        const Cx<float> y =
            k == 0 ? a[0]
                   : twiddle<kInverse>(a[k], Cx<float>{tw[(2 * k - 2) * m + p], tw[(2 * k - 1) * m + p]});
        const std::size_t at = q + s * (R * p + k);
        b.yr[at] = y.re;
        b.yi[at] = y.im;
      }
    }
  }
}

// The first pass (s = 1, m >= 4): four values of p per step, outputs transposed into place.
template <int R, bool kInverse>
void passFirst(const Buffers& b, std::size_t m, const float* tw) {
  for (std::size_t p = 0; p < m; p += 4) {
    Cx<V> a[R];
    for (std::size_t k = 0; k < R; ++k) a[k] = {load(b.xr + p + k * m), load(b.xi + p + k * m)};
    dft<R, kInverse>(a);
    for (std::size_t k = 1; k < R; ++k) {
      a[k] = twiddle<kInverse>(a[k], Cx<V>{load(tw + (2 * k - 2) * m + p),
                                           load(tw + (2 * k - 1) * m + p)});
    }
    for (std::size_t k0 = 0; k0 < R; k0 += 4) {
      transpose(a[k0].re, a[k0 + 1].re, a[k0 + 2].re, a[k0 + 3].re);
      transpose(a[k0].im, a[k0 + 1].im, a[k0 + 2].im, a[k0 + 3].im);
      for (std::size_t i = 0; i < 4; ++i) {
        store(b.yr + R * (p + i) + k0, a[k0 + i].re);
        store(b.yi + R * (p + i) + k0, a[k0 + i].im);
      }
    }
  }
}

// A later pass (s >= 4): vectors run along q, the twiddles of each p are broadcast.
template <int R, bool kInverse>
void passStrided(const Buffers& b, std::size_t m, std::size_t s, const float* tw) {
  const std::size_t stride = s * m;
  for (std::size_t p = 0; p < m; ++p) {
    const float* __restrict xr = b.xr + s * p;
    const float* __restrict xi = b.xi + s * p;
    float* __restrict yr = b.yr + R * s * p;
    float* __restrict yi = b.yi + R * s * p;
    if (p == 0) {
      for (std::size_t q = 0; q < s; q += 4) {
        Cx<V> a[R];
        for (std::size_t k = 0; k < R; ++k) a[k] = {load(xr + q + k * stride), load(xi + q + k * stride)};
        dft<R, kInverse>(a);
        for (std::size_t k = 0; k < R; ++k) {
          store(yr + q + k * s, a[k].re);
          store(yi + q + k * s, a[k].im);
        }
      }
      continue;
    }
    // Broadcast once per p: the stores below could alias the table as far as the compiler
    // knows, so it would reload them every step.
    Cx<V> w[R];
    for (std::size_t k = 1; k < R; ++k) {
      w[k] = {broadcast<V>(tw[(2 * k - 2) * m + p]), broadcast<V>(tw[(2 * k - 1) * m + p])};
    }
    for (std::size_t q = 0; q < s; q += 4) {
      Cx<V> a[R];
      for (std::size_t k = 0; k < R; ++k) a[k] = {load(xr + q + k * stride), load(xi + q + k * stride)};
      dft<R, kInverse>(a);
      store(yr + q, a[0].re);
      store(yi + q, a[0].im);
      for (std::size_t k = 1; k < R; ++k) {
        const Cx<V> y = twiddle<kInverse>(a[k], w[k]);
        store(yr + q + k * s, y.re);
        store(yi + q + k * s, y.im);
      }
    }
  }
}

template <int R, bool kInverse>
void pass(const Buffers& b, std::size_t m, std::size_t s, const float* tw) {
  if (s >= 4) {
    passStrided<R, kInverse>(b, m, s, tw);
  } else if (m >= 4) {
    passFirst<R, kInverse>(b, m, tw);
  } else {
    passScalar<R, kInverse>(b, m, s, tw);
  }
}

}  // namespace

std::unique_ptr<SplitFFT> SplitFFT::create(unsigned log2n) {
  if (log2n < kMinLog2n || log2n > kMaxLog2n) return nullptr;
  std::unique_ptr<SplitFFT> fft(new (std::nothrow) SplitFFT);
  if (!fft) return nullptr;
  const std::size_t n = std::size_t{1} << log2n;
  fft->length_ = n;
  fft->log2n_ = log2n;

  // Radix-4 passes, and for odd log2 n one radix-8 pass first.
  unsigned bits = log2n;
  if (bits % 2 == 1) {
    fft->radices_[fft->passes_++] = 8;
    bits -= 3;
  }
  for (; bits > 0; bits -= 2) fft->radices_[fft->passes_++] = 4;

  std::size_t total = 0;
  std::size_t remaining = n;
  for (unsigned i = 0; i < fft->passes_; ++i) {
    fft->passOffsets_[i] = total;
    const std::size_t radix = fft->radices_[i];
    remaining /= radix;
    total += 2 * (radix - 1) * remaining;
  }
  void* block = nullptr;
  if (posix_memalign(&block, 64, total * sizeof(float) + 64) != 0) return nullptr;
  fft->twiddles_ = static_cast<float*>(block);

  remaining = n;
  for (unsigned i = 0; i < fft->passes_; ++i) {
    const std::size_t radix = fft->radices_[i];
    const std::size_t m = remaining / radix;
    float* tw = fft->twiddles_ + fft->passOffsets_[i];
    for (std::size_t k = 1; k < radix; ++k) {
      for (std::size_t p = 0; p < m; ++p) {
        // k p < R m: the angle stays within one turn.
        const double angle =
            -2.0 * M_PI * static_cast<double>(k * p) / static_cast<double>(remaining);
        tw[(2 * k - 2) * m + p] = static_cast<float>(std::cos(angle));
        tw[(2 * k - 1) * m + p] = static_cast<float>(std::sin(angle));
      }
    }
    remaining = m;
  }
  return fft;
}

SplitFFT::~SplitFFT() { std::free(twiddles_); }

namespace {

template <bool kInverse>
void run(const float* inReal, const float* inImag, float* outReal, float* outImag,
         float* scratchReal, float* scratchImag, std::size_t n, unsigned passes,
         const unsigned* radices, const float* twiddles, const std::size_t* offsets) {
  const float* xr = inReal;
  const float* xi = inImag;
  std::size_t s = 1;
  std::size_t remaining = n;
  for (unsigned i = 0; i < passes; ++i) {
    float* yr;
    float* yi;
    if (i + 1 == passes) {
      yr = outReal;
      yi = outImag;
    } else {
      // Alternate between the two scratch halves so that no pass reads what it writes and the
      // caller's input is never written before it has been read.
      const std::size_t half = ((passes - 1 - i) & 1) ? n : 0;
      yr = scratchReal + half;
      yi = scratchImag + half;
    }
    const Buffers b{xr, xi, yr, yi};
    const std::size_t m = remaining / radices[i];
    if (radices[i] == 8) {
      pass<8, kInverse>(b, m, s, twiddles + offsets[i]);
    } else {
      pass<4, kInverse>(b, m, s, twiddles + offsets[i]);
    }
    s *= radices[i];
    remaining = m;
    xr = yr;
    xi = yi;
  }
}

}  // namespace

void SplitFFT::transform(const float* inReal, const float* inImag, float* outReal,
                         float* outImag, float* scratchReal, float* scratchImag,
                         FFTDirection direction) const {
  if (direction == FFTDirection::Inverse) {
    run<true>(inReal, inImag, outReal, outImag, scratchReal, scratchImag, length_, passes_,
              radices_, twiddles_, passOffsets_);
  } else {
    run<false>(inReal, inImag, outReal, outImag, scratchReal, scratchImag, length_, passes_,
               radices_, twiddles_, passOffsets_);
  }
}

}  // namespace accelerate
