// Real odd-frequency transforms: the transform of a real sequence of length L at the odd
// multiples of pi/L. Multiplying two such spectra gives negacyclic convolution of length L, so
// with a signal block of L/2 samples and zero padding the second half of the result is that
// block's contribution to the output: the frequency domain of every partitioned convolver.
//
// Bin k (k = 0 .. K-1, K = L/2) is B_k = sum x[n] e^(-i pi (4k+1) n / L); the conjugate bins
// carry nothing more for real input. A spectrum is L floats: groups of four bins, each as four
// real parts followed by four imaginary parts.
#pragma once

#include <cstddef>
#include <memory>

#include "Sampler/sdk/calvatero/fourier/FourierTransformComplex.h"
#include "Sampler/sdk/calvatero/newconv/Common.h"

namespace calvatero::fourier {

/// Any L that is a multiple of 8, over a complex transform of K points (used with ordered 0:
/// natural bin order for power-of-two K, the complex transform's own arrangement otherwise).
/// Construction allocates; the operations use the object's work arrays, so one thread at a
/// time; they never allocate or lock.
class FourierTransformRealOdd {
 public:
  /// Throws what CreateFourierTransformComplex throws, or std::bad_alloc.
  FourierTransformRealOdd(std::size_t length, std::size_t alignment);

  /// Spectrum of `input`: inCount <= L samples, the rest taken as zeros.
  void FTAndReorder(float* spectrum, const float* input, std::size_t inCount);

  /// All L outputs y[n] = Re(sum B_k e^(+i pi (4k+1) n / L)), unscaled.
  void ReorderAndIFT(float* output, const float* spectrum);

  /// Only the second half: output[j] = y[K + j] for j < outCount <= K.
  void ReorderAndIFT2(float* output, const float* spectrum, std::size_t outCount);

  /// Scales a spectrum in place by 1/K, so that the inverse of its product with another
  /// spectrum is exactly their negacyclic convolution.
  void ScaleH(float* spectrum);

  std::size_t length() const { return length_; }

 private:
  void inverseInto(float* outReal, float* outImag, const float* spectrum);

  std::size_t length_;
  std::size_t half_;
  std::unique_ptr<FourierTransformComplex> complex_;
  common::AlignedFloats work1_;
  common::AlignedFloats work2_;
  common::AlignedFloats twiddles_;  // K cosines, then K sines of -pi j / L
};

/// Fixed lengths written out in vector code: L = 8, 16 and 64 (named after K = L/2). All three
/// keep natural bin order. Read-only after construction: any number of threads may share one.
/// ForwardFFT_IR is the impulse-response form: a full block of L samples, evaluated in double,
/// scaled by 1/K; ForwardFFT takes K samples (the second half taken as zeros); InverseFFT
/// writes the K samples of the second half of the inverse.
class RealOdd4 {
 public:
  RealOdd4();
  virtual ~RealOdd4() = default;
  void ForwardFFT_IR(float* spectrum, const float* input) const;
  void ForwardFFT(float* spectrum, const float* input) const;
  void InverseFFT(float* output, const float* spectrum) const;
  /// `count` consecutive blocks: 4 samples and 8 spectrum floats per block.
  void ForwardFFT_for(float* spectra, const float* inputs, std::size_t count) const;
  void InverseFFT_for(float* outputs, const float* spectra, std::size_t count) const;

 private:
  common::AlignedFloats table_;
};

class RealOdd8 {
 public:
  RealOdd8();
  virtual ~RealOdd8() = default;
  void ForwardFFT_IR(float* spectrum, const float* input) const;
  void ForwardFFT(float* spectrum, const float* input) const;
  void InverseFFT(float* output, const float* spectrum) const;

 private:
  common::AlignedFloats table_;
};

class RealOdd32 {
 public:
  RealOdd32();
  virtual ~RealOdd32() = default;
  void ForwardFFT_IR(float* spectrum, const float* input) const;
  void ForwardFFT(float* spectrum, const float* input) const;
  void InverseFFT(float* output, const float* spectrum) const;

 private:
  common::AlignedFloats table_;
};

}  // namespace calvatero::fourier
