// Discrete Fourier transforms of split complex single-precision data for the convolution
// engine: lengths that are multiples of 4, of the forms 2^k, 3, 5, 7 and 9 times 2^k handled
// directly, any other multiple of 4 by a chirp-z (Bluestein) transform over a longer one.
// The convolvers use 64 and 128 points; every length is reachable through the factory.
//
// Threads and memory: construction allocates (MallocAligned) and computes every table; after
// that an object changes only its private work arrays, so one object serves one thread at a
// time. Transforms never allocate, lock or block.
#pragma once

#include <cstddef>
#include <stdexcept>

namespace calvatero::fourier {

/// Thrown when a power-of-two core would exceed 2^20 points.
class Fft_out_of_range_error : public std::runtime_error {
 public:
  Fft_out_of_range_error() : std::runtime_error("Fft_out_of_range_error") {}
};

/// A transform that cannot be carried out; no transform of this library raises it today.
class Fft_unrecoverable_error : public std::runtime_error {
 public:
  Fft_unrecoverable_error() : std::runtime_error("Fft_unrecoverable_error") {}
};

/// One transform length. Complex data is split: one array of real parts, one of imaginary
/// parts, `length` floats each.
///
/// `ordered` 1 gives and takes spectra in natural frequency order. 0 lets an implementation keep
/// its own arrangement (bins grouped by residue, or the chirp-z transform's last chirp left
/// out): such a spectrum is meaningful only to this object's ScaleH and InverseTransform with 0,
/// and to pointwise products with another spectrum made the same way. Forward (0), a product
/// with a spectrum prepared by Forward (0) and ScaleH (0), then Inverse (0) is exactly circular
/// convolution; the convolvers rely on nothing else.
class FourierTransformComplex {
 public:
  /// Prepares a transformed impulse response for pointwise products: scales by 1/N (and in the
  /// chirp-z class with ordered 0 applies the chirp), so the inverse of a product needs no
  /// scaling.
  virtual void ScaleH(float* real, float* imag, unsigned char ordered) = 0;

  /// X[k] = sum x[n] e^(-2 pi i nk/N), unscaled. Reads all input before writing output, so
  /// output may be the input.
  virtual void ForwardTransform(float* outReal, float* outImag, const float* inReal,
                                const float* inImag, unsigned char ordered) = 0;

  /// x[n] = sum X[k] e^(+2 pi i nk/N), unscaled: forward then inverse multiplies by N. Output
  /// may be the input.
  virtual void InverseTransform(float* outReal, float* outImag, const float* inReal,
                                const float* inImag, unsigned char ordered) = 0;

  virtual ~FourierTransformComplex() = default;

  std::size_t length() const { return length_; }

 protected:
  explicit FourierTransformComplex(std::size_t length) : length_(length) {}
  std::size_t length_;
};

/// A new transform of `length` points (a non-zero multiple of 4) whose arrays are allocated at
/// `alignment` bytes; the caller owns it. Throws Fft_out_of_range_error when the power-of-two
/// core would exceed 2^20 points, std::bad_alloc when memory is short.
FourierTransformComplex* CreateFourierTransformComplex(std::size_t length, std::size_t alignment);

/// The length of the transform under a chirp-z transform of `length` points: the smallest of
/// b 2^j >= length (b = 1, 3, 5, 7, 9) doubled, doubled again when it was odd.
std::size_t GetSuperTransformChirpzLen(std::size_t length);

/// A directly handled transform length >= minLength whose buffer of length x element_size
/// bytes is a whole number of `alignment` units (alignment non-zero, divisible by
/// element_size).
std::size_t GetEfficientConvFFTLen(std::size_t minLength, std::size_t alignment,
                                   std::size_t element_size);

}  // namespace calvatero::fourier
