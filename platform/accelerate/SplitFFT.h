// The power-of-two complex FFT on split real and imaginary arrays that stands in for the
// platform's vector library (vDSP) on Linux. The convolution library's power-of-two transform
// class is its only caller; it runs the 64- and 128-point sizes inside the convolvers' render
// loops.
//
// Out of place, unscaled, natural order in and out: a self-sorting (Stockham) scheme of radix-4
// passes, with one radix-8 pass first when log2 n is odd, so there is no bit-reversal pass.
// Inner loops run on eight-float AVX2 vectors with fused multiply-adds where the processor has
// both, otherwise on four-float SSE vectors (the x86-64 baseline).
#pragma once

#include <cstddef>
#include <memory>

#include "platform/accelerate/PassTables.h"

namespace accelerate {

enum class FFTDirection : int { Forward = 1, Inverse = -1 };

/// Floats per vector in a transform's inner loops.
enum class VectorWidth : unsigned { Four = 4, Eight = 8 };

/// The tables of one transform length. Read-only after `create`, so any number of threads may
/// transform with one object at the same time, each with its own scratch. `transform` never
/// allocates, locks or blocks.
class SplitFFT {
 public:
  static constexpr unsigned kMinLog2n = 2;
  static constexpr unsigned kMaxLog2n = 20;

  /// The widest vectors this process transforms with: Eight where the processor has AVX2 and
  /// FMA, unless the environment variable KELO_ACCELERATE_NO_AVX2 is set and not "0" when this
  /// is first asked; Four otherwise. Any thread.
  static VectorWidth widestVectors();

  /// Tables for 2^log2n points, computed in double and stored as floats, transformed with
  /// vectors no wider than `widest` and `widestVectors()`. Null when log2n is outside
  /// kMinLog2n .. kMaxLog2n or memory is short. Main thread or worker; allocates.
  static std::unique_ptr<SplitFFT> create(unsigned log2n, VectorWidth widest = VectorWidth::Eight);

  ~SplitFFT();
  SplitFFT(const SplitFFT&) = delete;
  SplitFFT& operator=(const SplitFFT&) = delete;

  std::size_t length() const { return length_; }
  unsigned log2n() const { return log2n_; }
  VectorWidth vectorWidth() const { return width_; }

  /// Floats each of the two scratch arrays of `transform` must hold: 2 x length.
  std::size_t scratchLength() const { return 2 * length_; }

  /// X[k] = sum x[n] e^(-+2 pi i nk/N) (Forward: minus), unscaled. Input and output may be the
  /// same arrays; the scratch arrays (`scratchLength()` floats each) must not overlap them.
  /// Arrays need no particular alignment (16 bytes is fastest).
  void transform(const float* inReal, const float* inImag, float* outReal, float* outImag,
                 float* scratchReal, float* scratchImag, FFTDirection direction) const;

 private:
  SplitFFT() = default;

  static_assert(kMaxLog2n / 2 <= detail::kMaxPasses);

  std::size_t length_ = 0;
  unsigned log2n_ = 0;
  VectorWidth width_ = VectorWidth::Four;
  detail::PassRunner run_ = nullptr;  // chosen once, here, so a transform only calls through it
  detail::PassTables tables_;
  float* twiddles_ = nullptr;  // owned; tables_.twiddles points here
};

}  // namespace accelerate
