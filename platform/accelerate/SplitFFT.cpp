#include "platform/accelerate/SplitFFT.h"

#include <xmmintrin.h>

#include <cmath>
#include <cstdlib>
#include <new>

namespace accelerate {

namespace {

// A plain vector type (unlike __m128, no may_alias) so it can be a template argument.
typedef float V __attribute__((vector_size(16)));

inline V load(const float* p) { return _mm_loadu_ps(p); }
inline void store(float* p, V v) { _mm_storeu_ps(p, v); }

// Split complex values, four lanes wide (V) or one (float).
template <typename T>
struct Cx {
  T re, im;
};

template <typename T>
inline Cx<T> add(Cx<T> a, Cx<T> b) { return {a.re + b.re, a.im + b.im}; }
template <typename T>
inline Cx<T> sub(Cx<T> a, Cx<T> b) { return {a.re - b.re, a.im - b.im}; }

// a * w (forward) or a * conj(w) (inverse).
template <bool kInverse, typename T>
inline Cx<T> twiddle(Cx<T> a, Cx<T> w) {
  if constexpr (kInverse) {
    return {a.re * w.re + a.im * w.im, a.im * w.re - a.re * w.im};
  } else {
    return {a.re * w.re - a.im * w.im, a.re * w.im + a.im * w.re};
  }
}

// The four-point DFT; forward uses -i, inverse +i.
template <bool kInverse, typename T>
inline void radix4(Cx<T> a[4]) {
  const Cx<T> t0 = add(a[0], a[2]);
  const Cx<T> t1 = sub(a[0], a[2]);
  const Cx<T> t2 = add(a[1], a[3]);
  const Cx<T> t3 = sub(a[1], a[3]);
  a[0] = add(t0, t2);
  a[2] = sub(t0, t2);
  if constexpr (kInverse) {
    a[1] = {t1.re - t3.im, t1.im + t3.re};
    a[3] = {t1.re + t3.im, t1.im - t3.re};
  } else {
    a[1] = {t1.re + t3.im, t1.im - t3.re};
    a[3] = {t1.re - t3.im, t1.im + t3.re};
  }
}

struct Buffers {
  const float* xr;
  const float* xi;
  float* yr;
  float* yi;
};

// One radix-4 pass of the self-sorting scheme: y[q + s(4p + k)] = (sum_j x[q + s(p + jm)]
// (-+i)^(jk)) w^(kp), w = e^(-+2 pi i / 4m), for p < m, q < s. `tw` holds cos and sin of
// w^(kp), k = 1..3, as six arrays of m floats.
template <bool kInverse>
void radix4Scalar(const Buffers& b, std::size_t m, std::size_t s, const float* tw) {
  for (std::size_t p = 0; p < m; ++p) {
    const Cx<float> w[3] = {{tw[p], tw[m + p]}, {tw[2 * m + p], tw[3 * m + p]},
                            {tw[4 * m + p], tw[5 * m + p]}};
    for (std::size_t q = 0; q < s; ++q) {
      Cx<float> a[4];
      for (std::size_t k = 0; k < 4; ++k) {
        const std::size_t at = q + s * (p + k * m);
        a[k] = {b.xr[at], b.xi[at]};
      }
      radix4<kInverse>(a);
      for (std::size_t k = 0; k < 4; ++k) {
        const Cx<float> y = k == 0 ? a[0] : twiddle<kInverse>(a[k], w[k - 1]);
        const std::size_t at = q + s * (4 * p + k);
        b.yr[at] = y.re;
        b.yi[at] = y.im;
      }
    }
  }
}

// The first pass (s = 1, m >= 4): four values of p per step, outputs transposed into place.
template <bool kInverse>
void radix4First(const Buffers& b, std::size_t m, const float* tw) {
  for (std::size_t p = 0; p < m; p += 4) {
    Cx<V> a[4];
    for (std::size_t k = 0; k < 4; ++k) a[k] = {load(b.xr + p + k * m), load(b.xi + p + k * m)};
    radix4<kInverse>(a);
    for (std::size_t k = 1; k < 4; ++k) {
      const Cx<V> w = {load(tw + (2 * k - 2) * m + p), load(tw + (2 * k - 1) * m + p)};
      a[k] = twiddle<kInverse>(a[k], w);
    }
    _MM_TRANSPOSE4_PS(a[0].re, a[1].re, a[2].re, a[3].re);
    _MM_TRANSPOSE4_PS(a[0].im, a[1].im, a[2].im, a[3].im);
    float* yr = b.yr + 4 * p;
    float* yi = b.yi + 4 * p;
    for (std::size_t k = 0; k < 4; ++k) {
      store(yr + 4 * k, a[k].re);
      store(yi + 4 * k, a[k].im);
    }
  }
}

// A later pass (s >= 4): vectors run along q, the twiddle of each p is broadcast.
template <bool kInverse>
void radix4Strided(const Buffers& b, std::size_t m, std::size_t s, const float* tw) {
  const std::size_t quarter = s * m;
  for (std::size_t p = 0; p < m; ++p) {
    const float* xr = b.xr + s * p;
    const float* xi = b.xi + s * p;
    float* yr = b.yr + 4 * s * p;
    float* yi = b.yi + 4 * s * p;
    if (p == 0) {
      for (std::size_t q = 0; q < s; q += 4) {
        Cx<V> a[4];
        for (std::size_t k = 0; k < 4; ++k) {
          a[k] = {load(xr + q + k * quarter), load(xi + q + k * quarter)};
        }
        radix4<kInverse>(a);
        for (std::size_t k = 0; k < 4; ++k) {
          store(yr + q + k * s, a[k].re);
          store(yi + q + k * s, a[k].im);
        }
      }
      continue;
    }
    Cx<V> w[3];
    for (std::size_t k = 0; k < 3; ++k) {
      w[k] = {_mm_set1_ps(tw[2 * k * m + p]), _mm_set1_ps(tw[(2 * k + 1) * m + p])};
    }
    for (std::size_t q = 0; q < s; q += 4) {
      Cx<V> a[4];
      for (std::size_t k = 0; k < 4; ++k) {
        a[k] = {load(xr + q + k * quarter), load(xi + q + k * quarter)};
      }
      radix4<kInverse>(a);
      store(yr + q, a[0].re);
      store(yi + q, a[0].im);
      for (std::size_t k = 1; k < 4; ++k) {
        const Cx<V> y = twiddle<kInverse>(a[k], w[k - 1]);
        store(yr + q + k * s, y.re);
        store(yi + q + k * s, y.im);
      }
    }
  }
}

// The last pass for odd log2 n: n = 2, m = 1, s = N/2, no twiddles.
void radix2Last(const Buffers& b, std::size_t s) {
  for (std::size_t q = 0; q < s; q += 4) {
    const V ar = load(b.xr + q), ai = load(b.xi + q);
    const V br = load(b.xr + q + s), bi = load(b.xi + q + s);
    store(b.yr + q, ar + br);
    store(b.yi + q, ai + bi);
    store(b.yr + q + s, ar - br);
    store(b.yi + q + s, ai - bi);
  }
}

template <bool kInverse>
void run(const float* inReal, const float* inImag, float* outReal, float* outImag,
         float* scratchReal, float* scratchImag, std::size_t n, unsigned radix4Stages,
         bool finalRadix2, const float* twiddles, const std::size_t* stageOffsets) {
  const unsigned passes = radix4Stages + (finalRadix2 ? 1 : 0);
  const float* xr = inReal;
  const float* xi = inImag;
  std::size_t s = 1;
  for (unsigned pass = 0; pass < passes; ++pass) {
    float* yr;
    float* yi;
    if (pass + 1 == passes) {
      yr = outReal;
      yi = outImag;
    } else {
      // Alternate between the two scratch halves so that no pass reads what it writes and the
      // caller's input is never written before it has been read.
      const std::size_t half = ((passes - 1 - pass) & 1) ? n : 0;
      yr = scratchReal + half;
      yi = scratchImag + half;
    }
    const Buffers b{xr, xi, yr, yi};
    if (pass < radix4Stages) {
      const std::size_t m = n / (4 * s);
      const float* tw = twiddles + stageOffsets[pass];
      if (s >= 4) {
        radix4Strided<kInverse>(b, m, s, tw);
      } else if (m >= 4) {
        radix4First<kInverse>(b, m, tw);
      } else {
        radix4Scalar<kInverse>(b, m, s, tw);
      }
      s *= 4;
    } else {
      radix2Last(b, n / 2);
    }
    xr = yr;
    xi = yi;
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
  fft->radix4Stages_ = log2n / 2;
  fft->finalRadix2_ = (log2n & 1) != 0;

  std::size_t total = 0;
  for (unsigned stage = 0; stage < fft->radix4Stages_; ++stage) {
    fft->stageOffsets_[stage] = total;
    const std::size_t m = (n >> (2 * stage)) / 4;
    total += 6 * ((m + 3) & ~std::size_t{3});
  }
  void* block = nullptr;
  if (posix_memalign(&block, 64, total * sizeof(float) + 64) != 0) return nullptr;
  fft->twiddles_ = static_cast<float*>(block);

  for (unsigned stage = 0; stage < fft->radix4Stages_; ++stage) {
    const std::size_t stageLength = n >> (2 * stage);
    const std::size_t m = stageLength / 4;
    float* tw = fft->twiddles_ + fft->stageOffsets_[stage];
    for (std::size_t k = 1; k < 4; ++k) {
      for (std::size_t p = 0; p < m; ++p) {
        // The angle stays below 2 pi: k p < 3 m.
        const double angle = -2.0 * M_PI * static_cast<double>(k * p) /
                             static_cast<double>(stageLength);
        tw[(2 * k - 2) * m + p] = static_cast<float>(std::cos(angle));
        tw[(2 * k - 1) * m + p] = static_cast<float>(std::sin(angle));
      }
    }
  }
  return fft;
}

SplitFFT::~SplitFFT() { std::free(twiddles_); }

void SplitFFT::transform(const float* inReal, const float* inImag, float* outReal,
                         float* outImag, float* scratchReal, float* scratchImag,
                         FFTDirection direction) const {
  if (direction == FFTDirection::Inverse) {
    run<true>(inReal, inImag, outReal, outImag, scratchReal, scratchImag, length_,
              radix4Stages_, finalRadix2_, twiddles_, stageOffsets_);
  } else {
    run<false>(inReal, inImag, outReal, outImag, scratchReal, scratchImag, length_,
               radix4Stages_, finalRadix2_, twiddles_, stageOffsets_);
  }
}

}  // namespace accelerate
