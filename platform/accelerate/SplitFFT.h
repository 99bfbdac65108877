// The power-of-two complex FFT on split real and imaginary arrays that stands in for the
// platform's vector library (vDSP) on Linux. The convolution library's power-of-two transform
// class is its only caller; it runs the 64- and 128-point sizes inside the convolvers' render
// loops.
//
// Out of place, unscaled, natural order in and out: a self-sorting (Stockham) scheme of radix-4
// passes, with one radix-8 pass first when log2 n is odd, so there is no bit-reversal pass.
// Inner loops run on four-float SSE vectors.
#pragma once

#include <cstddef>
#include <memory>

namespace accelerate {

enum class FFTDirection : int { Forward = 1, Inverse = -1 };

/// The tables of one transform length. Read-only after `create`, so any number of threads may
/// transform with one object at the same time, each with its own scratch. `transform` never
/// allocates, locks or blocks.
class SplitFFT {
 public:
  static constexpr unsigned kMinLog2n = 2;
  static constexpr unsigned kMaxLog2n = 20;

  /// Tables for 2^log2n points, computed in double and stored as floats. Null when log2n is
  /// outside kMinLog2n .. kMaxLog2n or memory is short. Main thread or worker; allocates.
  static std::unique_ptr<SplitFFT> create(unsigned log2n);

  ~SplitFFT();
  SplitFFT(const SplitFFT&) = delete;
  SplitFFT& operator=(const SplitFFT&) = delete;

  std::size_t length() const { return length_; }
  unsigned log2n() const { return log2n_; }

  /// Floats each of the two scratch arrays of `transform` must hold: 2 x length.
  std::size_t scratchLength() const { return 2 * length_; }

  /// X[k] = sum x[n] e^(-+2 pi i nk/N) (Forward: minus), unscaled. Input and output may be the
  /// same arrays; the scratch arrays (`scratchLength()` floats each) must not overlap them.
  /// Arrays need no particular alignment (16 bytes is fastest).
  void transform(const float* inReal, const float* inImag, float* outReal, float* outImag,
                 float* scratchReal, float* scratchImag, FFTDirection direction) const;

 private:
  SplitFFT() = default;

  std::size_t length_ = 0;
  unsigned log2n_ = 0;
  unsigned passes_ = 0;
  unsigned radices_[kMaxLog2n / 2] = {};
  // Per pass of radix R with m = n/R butterflies: cos and sin of w^(kp), k = 1 .. R-1, as
  // 2 arrays of m floats.
  float* twiddles_ = nullptr;
  std::size_t passOffsets_[kMaxLog2n / 2] = {};
};

}  // namespace accelerate
