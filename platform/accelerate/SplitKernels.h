// The small DFT kernels on split complex values that the split FFT and the convolution
// library's fixed-size real transforms share. Lanes are one float or a vector of four or eight
// floats; every kernel keeps one order of operations, so both callers stay bit-exact on four
// floats (the eight-float build contracts products into fused multiply-adds). Header only, so
// the kernels inline into the callers' loops.
#pragma once

namespace accelerate::kernels {

// Internal linkage keeps the compiler's inlining choices those of a file's own helpers: shared
// inline functions with external linkage were left out of line in the 64-point real transform.
namespace {

template <typename T>
inline T broadcast(float x) {
  if constexpr (sizeof(T) == sizeof(float)) {
    return x;
  } else {
    T v = {};
    for (unsigned i = 0; i < sizeof(T) / sizeof(float); ++i) v[i] = x;
    return v;
  }
}

template <typename T>
struct Cx {
  T re, im;
};

template <typename T>
inline Cx<T> operator+(Cx<T> a, Cx<T> b) { return {a.re + b.re, a.im + b.im}; }
template <typename T>
inline Cx<T> operator-(Cx<T> a, Cx<T> b) { return {a.re - b.re, a.im - b.im}; }

// a * w, or a * conj(w) when kConjugate.
template <bool kConjugate, typename T>
inline Cx<T> twiddle(Cx<T> a, Cx<T> w) {
  if constexpr (kConjugate) {
    return {a.re * w.re + a.im * w.im, a.im * w.re - a.re * w.im};
  } else {
    return {a.re * w.re - a.im * w.im, a.re * w.im + a.im * w.re};
  }
}

// Multiplication by -i (forward) or +i (inverse).
template <bool kInverse, typename T>
inline Cx<T> quarterTurn(Cx<T> z) {
  if constexpr (kInverse) {
    return {-z.im, z.re};
  } else {
    return {z.im, -z.re};
  }
}

// The four-point butterfly on any layout of complex values: `turn` multiplies one value by
// -i (forward) or +i (inverse).
template <typename Z, typename Turn>
inline void butterfly4(Z& a0, Z& a1, Z& a2, Z& a3, Turn turn) {
  const Z t0 = a0 + a2, t1 = a0 - a2, t2 = a1 + a3;
  const Z t3 = turn(a1 - a3);
  a0 = t0 + t2;
  a2 = t0 - t2;
  a1 = t1 + t3;
  a3 = t1 - t3;
}

// Four-point DFT in place, natural order in and out.
template <bool kInverse, typename T>
inline void dft4(Cx<T>& a0, Cx<T>& a1, Cx<T>& a2, Cx<T>& a3) {
  butterfly4(a0, a1, a2, a3, [](Cx<T> z) { return quarterTurn<kInverse>(z); });
}

// Eight-point DFT in place, natural order in and out.
template <bool kInverse, typename T>
inline void dft8(Cx<T> a[8]) {
  Cx<T> e0 = a[0], e1 = a[2], e2 = a[4], e3 = a[6];
  Cx<T> o0 = a[1], o1 = a[3], o2 = a[5], o3 = a[7];
  dft4<kInverse>(e0, e1, e2, e3);
  dft4<kInverse>(o0, o1, o2, o3);
  const T h = broadcast<T>(0.70710678118654752f);
  // o_k times e^(-+2 pi i k / 8)
  if constexpr (kInverse) {
    o1 = {(o1.re - o1.im) * h, (o1.re + o1.im) * h};
    o3 = {(-o3.re - o3.im) * h, (o3.re - o3.im) * h};
  } else {
    o1 = {(o1.re + o1.im) * h, (o1.im - o1.re) * h};
    o3 = {(o3.im - o3.re) * h, (-o3.re - o3.im) * h};
  }
  o2 = quarterTurn<kInverse>(o2);
  a[0] = e0 + o0;
  a[4] = e0 - o0;
  a[1] = e1 + o1;
  a[5] = e1 - o1;
  a[2] = e2 + o2;
  a[6] = e2 - o2;
  a[3] = e3 + o3;
  a[7] = e3 - o3;
}

}  // namespace

}  // namespace accelerate::kernels
