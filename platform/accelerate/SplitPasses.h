// The passes of the split FFT for any vector width: SplitFFT.cpp builds them on four floats,
// SplitFFTWide.cpp on eight (and on four where a pass is too narrow for eight). Everything here
// has internal linkage: each file compiles its own copy for its own instruction set, and the
// linker must never hand the AVX2 copy of an inline function to the baseline code.
#pragma once

#include <cstddef>

#include "platform/accelerate/PassTables.h"
#include "platform/accelerate/SplitKernels.h"

namespace accelerate::passes {

namespace {

// Plain vector types (unlike __m128, no may_alias), so they can be template arguments.
typedef float F4 __attribute__((vector_size(16)));
typedef float F8 __attribute__((vector_size(32)));

using kernels::broadcast;
using kernels::Cx;
using kernels::twiddle;

template <typename V>
constexpr std::size_t kLanes = sizeof(V) / sizeof(float);

// Unaligned, may alias floats: callers' arrays need not be aligned. (A memcpy would load
// through the integer unit.)
typedef float F4Unaligned __attribute__((vector_size(16), aligned(4), may_alias));
typedef float F8Unaligned __attribute__((vector_size(32), aligned(4), may_alias));

template <typename V>
inline V load(const float* p) {
  if constexpr (sizeof(V) == sizeof(F4)) {
    return *reinterpret_cast<const F4Unaligned*>(p);
  } else {
    return *reinterpret_cast<const F8Unaligned*>(p);
  }
}

inline void store(float* p, F4 v) { *reinterpret_cast<F4Unaligned*>(p) = v; }
inline void store(float* p, F8 v) { *reinterpret_cast<F8Unaligned*>(p) = v; }

// The four vectors as rows of 4x4 matrices (one per 128-bit lane), transposed in place.
inline void transpose4(F4& a, F4& b, F4& c, F4& d) {
  const F4 t0 = __builtin_shufflevector(a, b, 0, 4, 1, 5), t1 = __builtin_shufflevector(a, b, 2, 6, 3, 7);
  const F4 t2 = __builtin_shufflevector(c, d, 0, 4, 1, 5), t3 = __builtin_shufflevector(c, d, 2, 6, 3, 7);
  a = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
  b = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
  c = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
  d = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
}

inline void transpose4(F8& a, F8& b, F8& c, F8& d) {
  const F8 t0 = __builtin_shufflevector(a, b, 0, 8, 1, 9, 4, 12, 5, 13);
  const F8 t1 = __builtin_shufflevector(a, b, 2, 10, 3, 11, 6, 14, 7, 15);
  const F8 t2 = __builtin_shufflevector(c, d, 0, 8, 1, 9, 4, 12, 5, 13);
  const F8 t3 = __builtin_shufflevector(c, d, 2, 10, 3, 11, 6, 14, 7, 15);
  a = __builtin_shufflevector(t0, t2, 0, 1, 8, 9, 4, 5, 12, 13);
  b = __builtin_shufflevector(t0, t2, 2, 3, 10, 11, 6, 7, 14, 15);
  c = __builtin_shufflevector(t1, t3, 0, 1, 8, 9, 4, 5, 12, 13);
  d = __builtin_shufflevector(t1, t3, 2, 3, 10, 11, 6, 7, 14, 15);
}

// rows[R i + k] = lane i of v[k]: the lanes x R block transposed into R-float rows.
template <int R>
inline void storeRows(float* rows, F4 v[R]) {
  for (int k0 = 0; k0 < R; k0 += 4) {
    transpose4(v[k0], v[k0 + 1], v[k0 + 2], v[k0 + 3]);
    for (int i = 0; i < 4; ++i) store(rows + R * i + k0, v[k0 + i]);
  }
}

// The 8x8 matrix of rows v[0..7] transposed in place.
inline void transpose8(F8 v[8]) {
  // After the lane-wise transposes v[k0 + i] holds row i (columns k0 .. k0+3) in its low half
  // and row i + 4 in its high half.
  transpose4(v[0], v[1], v[2], v[3]);
  transpose4(v[4], v[5], v[6], v[7]);
  for (int i = 0; i < 4; ++i) {
    const F8 low = v[i], high = v[4 + i];
    v[i] = __builtin_shufflevector(low, high, 0, 1, 2, 3, 8, 9, 10, 11);
    v[4 + i] = __builtin_shufflevector(low, high, 4, 5, 6, 7, 12, 13, 14, 15);
  }
}

template <int R>
inline void storeRows(float* rows, F8 v[R]) {
  if constexpr (R == 8) {
    transpose8(v);
    for (int i = 0; i < 8; ++i) store(rows + 8 * i, v[i]);
  } else {
    // After the lane-wise transposes v[i] holds row i in its low half and row i + 4 in its
    // high half.
    transpose4(v[0], v[1], v[2], v[3]);
    for (int i = 0; i < 4; i += 2) {
      store(rows + 4 * i, __builtin_shufflevector(v[i], v[i + 1], 0, 1, 2, 3, 8, 9, 10, 11));
      store(rows + 4 * (i + 4), __builtin_shufflevector(v[i], v[i + 1], 4, 5, 6, 7, 12, 13, 14, 15));
    }
  }
}

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

// The first pass (s = 1, m a multiple of the lanes): one value of p per lane, outputs
// transposed into place.
template <int R, bool kInverse, typename V>
void passFirst(const Buffers& b, std::size_t m, const float* tw) {
  for (std::size_t p = 0; p < m; p += kLanes<V>) {
    Cx<V> a[R];
    for (std::size_t k = 0; k < R; ++k) a[k] = {load<V>(b.xr + p + k * m), load<V>(b.xi + p + k * m)};
    dft<R, kInverse>(a);
    for (std::size_t k = 1; k < R; ++k) {
      a[k] = twiddle<kInverse>(a[k], Cx<V>{load<V>(tw + (2 * k - 2) * m + p),
                                           load<V>(tw + (2 * k - 1) * m + p)});
    }
    V re[R], im[R];
    for (std::size_t k = 0; k < R; ++k) {
      re[k] = a[k].re;
      im[k] = a[k].im;
    }
    storeRows<R>(b.yr + R * p, re);
    storeRows<R>(b.yi + R * p, im);
  }
}

// A later pass (s a multiple of the lanes): vectors run along q, the twiddles of each p are
// broadcast.
template <int R, bool kInverse, typename V>
void passStrided(const Buffers& b, std::size_t m, std::size_t s, const float* tw) {
  const std::size_t stride = s * m;
  for (std::size_t p = 0; p < m; ++p) {
    const float* __restrict xr = b.xr + s * p;
    const float* __restrict xi = b.xi + s * p;
    float* __restrict yr = b.yr + R * s * p;
    float* __restrict yi = b.yi + R * s * p;
    if (p == 0) {
      for (std::size_t q = 0; q < s; q += kLanes<V>) {
        Cx<V> a[R];
        for (std::size_t k = 0; k < R; ++k) a[k] = {load<V>(xr + q + k * stride), load<V>(xi + q + k * stride)};
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
    for (std::size_t q = 0; q < s; q += kLanes<V>) {
      Cx<V> a[R];
      for (std::size_t k = 0; k < R; ++k) a[k] = {load<V>(xr + q + k * stride), load<V>(xi + q + k * stride)};
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

// The last two passes when both are radix 4 (m = 4, then m = 1), s a multiple of the lanes:
// for each q the first's 16 outputs are the second's 16 inputs, so they stay in registers.
template <bool kInverse, typename V>
void passFourFourTail(const Buffers& b, std::size_t s, const float* tw) {
  constexpr std::size_t m = 4;
  const std::size_t stride = s * m;
  for (std::size_t q = 0; q < s; q += kLanes<V>) {
    Cx<V> y[4][4];  // the first pass's output k of butterfly p
    for (std::size_t p = 0; p < 4; ++p) {
      Cx<V>* a = y[p];
      for (std::size_t j = 0; j < 4; ++j) {
        a[j] = {load<V>(b.xr + q + s * p + j * stride), load<V>(b.xi + q + s * p + j * stride)};
      }
      dft<4, kInverse>(a);
      if (p == 0) continue;
      for (std::size_t k = 1; k < 4; ++k) {
        a[k] = twiddle<kInverse>(a[k], Cx<V>{broadcast<V>(tw[(2 * k - 2) * m + p]),
                                             broadcast<V>(tw[(2 * k - 1) * m + p])});
      }
    }
    for (std::size_t r = 0; r < 4; ++r) {
      Cx<V> c[4] = {y[0][r], y[1][r], y[2][r], y[3][r]};
      dft<4, kInverse>(c);
      for (std::size_t k = 0; k < 4; ++k) {
        store(b.yr + q + s * r + 4 * s * k, c[k].re);
        store(b.yi + q + s * r + 4 * s * k, c[k].im);
      }
    }
  }
}

template <int R, bool kInverse, typename V>
void pass(const Buffers& b, std::size_t m, std::size_t s, const float* tw) {
  constexpr std::size_t kWidth = kLanes<V>;
  if (s % kWidth == 0) {
    passStrided<R, kInverse, V>(b, m, s, tw);
  } else if (s == 1 && m % kWidth == 0) {
    passFirst<R, kInverse, V>(b, m, tw);
  } else if constexpr (kWidth == 8) {
    pass<R, kInverse, F4>(b, m, s, tw);
  } else {
    passScalar<R, kInverse>(b, m, s, tw);
  }
}

// Two passes in registers, for n = R x lanes: the first (radix R, m = lanes) on vectors along
// p, transposed in registers, then the second (radix = lanes, m = 1, no twiddles) along q: 16
// and 32 points on four floats, 64 on eight. The same operations as the two passes, without
// their calls, stores and loads.
template <int R, typename V, bool kInverse>
void registersOnly(const detail::PassTables& t, const float* inReal, const float* inImag,
                   float* outReal, float* outImag) {
  constexpr std::size_t m = kLanes<V>;
  const float* tw = t.twiddles + t.offsets[0];
  Cx<V> a[R];
  for (std::size_t k = 0; k < R; ++k) a[k] = {load<V>(inReal + k * m), load<V>(inImag + k * m)};
  dft<R, kInverse>(a);
  for (std::size_t k = 1; k < R; ++k) {
    a[k] = twiddle<kInverse>(a[k], Cx<V>{load<V>(tw + (2 * k - 2) * m), load<V>(tw + (2 * k - 1) * m)});
  }
  if constexpr (m == 8) {
    F8 re[8], im[8];
    for (std::size_t k = 0; k < 8; ++k) {
      re[k] = a[k].re;
      im[k] = a[k].im;
    }
    transpose8(re);
    transpose8(im);
    for (std::size_t k = 0; k < 8; ++k) a[k] = {re[k], im[k]};
    dft<8, kInverse>(a);
    for (std::size_t k = 0; k < 8; ++k) {
      store(outReal + 8 * k, a[k].re);
      store(outImag + 8 * k, a[k].im);
    }
  } else {
    // a[k0 + i] then holds the first pass's outputs R i + k0 .. R i + k0 + 3.
    for (std::size_t k0 = 0; k0 < R; k0 += 4) {
      transpose4(a[k0].re, a[k0 + 1].re, a[k0 + 2].re, a[k0 + 3].re);
      transpose4(a[k0].im, a[k0 + 1].im, a[k0 + 2].im, a[k0 + 3].im);
      dft<4, kInverse>(a + k0);
      for (std::size_t k = 0; k < 4; ++k) {
        store(outReal + k0 + R * k, a[k0 + k].re);
        store(outImag + k0 + R * k, a[k0 + k].im);
      }
    }
  }
}

template <typename V, bool kInverse>
void run(const detail::PassTables& t, const float* inReal, const float* inImag, float* outReal,
         float* outImag, float* scratchReal, float* scratchImag) {
  if (t.passes == 2 && t.radices[1] == 4 && t.length == 4 * t.radices[0]) {
    if (t.radices[0] == 4) {
      registersOnly<4, F4, kInverse>(t, inReal, inImag, outReal, outImag);
    } else {
      registersOnly<8, F4, kInverse>(t, inReal, inImag, outReal, outImag);
    }
    return;
  }
  if constexpr (kLanes<V> == 8) {
    if (t.passes == 2 && t.radices[0] == 8 && t.radices[1] == 8) {
      registersOnly<8, F8, kInverse>(t, inReal, inImag, outReal, outImag);
      return;
    }
  }
  const float* xr = inReal;
  const float* xi = inImag;
  const bool inPlace = inReal == outReal || inImag == outImag || inReal == outImag ||
                       inImag == outReal;
  // Two radix-4 passes at the end run as one when a vector fits along q.
  const bool fourFourTail = t.passes >= 2 && t.radices[t.passes - 1] == 4 &&
                            t.radices[t.passes - 2] == 4 && (t.length / 16) % kLanes<V> == 0;
  const unsigned passes = t.passes - (fourFourTail ? 1 : 0);
  std::size_t s = 1;
  std::size_t remaining = t.length;
  for (unsigned i = 0; i < passes; ++i) {
    float* yr;
    float* yi;
    const bool towardOutput = ((passes - 1 - i) & 1) == 0;
    if (i + 1 == passes || (towardOutput && !inPlace)) {
      // Out of place, the output array is free until the last pass: the passes alternate
      // between it and one scratch half, so less memory is touched.
      yr = outReal;
      yi = outImag;
    } else {
      // Alternate between the two scratch halves so that no pass reads what it writes and the
      // caller's input is never written before it has been read.
      const std::size_t half = towardOutput ? 0 : t.length;
      yr = scratchReal + half;
      yi = scratchImag + half;
    }
    const Buffers b{xr, xi, yr, yi};
    const std::size_t m = remaining / t.radices[i];
    if (fourFourTail && i + 1 == passes) {
      passFourFourTail<kInverse, V>(b, s, t.twiddles + t.offsets[i]);
    } else if (t.radices[i] == 8) {
      pass<8, kInverse, V>(b, m, s, t.twiddles + t.offsets[i]);
    } else {
      pass<4, kInverse, V>(b, m, s, t.twiddles + t.offsets[i]);
    }
    s *= t.radices[i];
    remaining = m;
    xr = yr;
    xi = yi;
  }
}

template <typename V>
void runPasses(const detail::PassTables& tables, const float* inReal, const float* inImag,
               float* outReal, float* outImag, float* scratchReal, float* scratchImag,
               bool inverse) {
  if (inverse) {
    run<V, true>(tables, inReal, inImag, outReal, outImag, scratchReal, scratchImag);
  } else {
    run<V, false>(tables, inReal, inImag, outReal, outImag, scratchReal, scratchImag);
  }
}

}  // namespace

}  // namespace accelerate::passes
