// Vector kernels the Fourier transforms share, on split arrays. All work on whole groups of 4
// floats and ignore a remainder (every length the library uses is a multiple of 4). Output may
// alias an input. Any thread; no allocation.
#pragma once

#include <cstddef>

namespace calvatero::fourier {

/// out = a * b.
void do_complex_mult(float* outReal, float* outImag, const float* aReal, const float* aImag,
                     const float* bReal, const float* bImag, std::size_t count);

/// z = z * b.
void do_complex_mult_inplace(float* real, float* imag, const float* bReal, const float* bImag,
                             std::size_t count);

/// z = conj(z) * b.
void do_odd_mult_inplace(float* real, float* imag, const float* bReal, const float* bImag,
                         std::size_t count);

/// The fold of the real odd-frequency transform of length 2K: y_j = (x[j] - i x[j+K]) t_j for
/// j < K, t_j = cosines[j] + i sines[j], samples from `inCount` on taken as zero.
void do_ftrealodd_pre_calculation(float* outReal, float* outImag, const float* input,
                                  const float* cosines, const float* sines, std::size_t inCount,
                                  std::size_t K);

}  // namespace calvatero::fourier
