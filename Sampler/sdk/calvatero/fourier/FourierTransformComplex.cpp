#include "Sampler/sdk/calvatero/fourier/FourierTransformComplex.h"

#include "Sampler/sdk/calvatero/fourier/FourierTransformComplexChirpz.h"
#include "Sampler/sdk/calvatero/fourier/FourierTransformComplexRadix.h"
#include "Sampler/sdk/calvatero/fourier/FourierTransformComplexVDSP.h"
#include "Sampler/sdk/calvatero/newconv/Assert.h"

namespace calvatero::fourier {

namespace {

std::size_t powerOfTwoNotBelow(std::size_t n) {
  std::size_t p = 1;
  while (p < n) p <<= 1;
  return p;
}

}  // namespace

FourierTransformComplex* CreateFourierTransformComplex(std::size_t length,
                                                       std::size_t alignment) {
  CALVATERO_ASSERT(length % SIMD_VECTOR_ELEMENTS == 0);
  CALVATERO_ASSERT(length != 0);
  // Far beyond any supported core; keeps the arithmetic below from wrapping.
  if (length > (std::size_t{1} << 40)) throw Fft_out_of_range_error();
  const std::size_t p = powerOfTwoNotBelow(length);
  if (length == p) return new FourierTransformComplexVDSP(length);
  if (4 * length == 3 * p) return new FourierTransformComplexRad3(length, alignment);
  if (8 * length == 5 * p) return new FourierTransformComplexRad5(length, alignment);
  if (8 * length == 7 * p) return new FourierTransformComplexRad7(length, alignment);
  if (16 * length == 9 * p) return new FourierTransformComplexRad3(length, alignment);
  return new FourierTransformComplexChirpz(length, alignment);
}

std::size_t GetSuperTransformChirpzLen(std::size_t length) {
  std::size_t best = 0;
  for (const std::size_t base : {1, 3, 5, 7, 9}) {
    std::size_t candidate = base;
    while (candidate < length) candidate <<= 1;
    const bool odd = (candidate & 1) != 0;
    candidate <<= 1;
    if (odd) candidate <<= 1;
    if (best == 0 || candidate < best) best = candidate;
  }
  return best;
}

std::size_t GetEfficientConvFFTLen(std::size_t minLength, std::size_t alignment,
                                   std::size_t element_size) {
  CALVATERO_ASSERT(alignment != 0);
  CALVATERO_ASSERT(element_size != 0);
  CALVATERO_ASSERT(alignment % element_size == 0);
  if (const std::size_t rest = element_size * minLength % alignment; rest != 0) {
    minLength += (alignment - rest) / element_size;
  }
  const std::size_t p = powerOfTwoNotBelow(minLength);
  const std::size_t c9 = 9 * p / 16, c5 = 5 * p / 8, c3 = 3 * p / 4, c7 = 7 * p / 8;
  const auto fits = [&](std::size_t candidate) { return element_size * candidate % alignment == 0; };
  if (c9 >= minLength) {
    if (fits(c9)) return c9;
    if (fits(c5)) return c5;
    if (fits(c3)) return c3;
    return p;
  }
  if (c5 >= minLength) {
    if (fits(c5)) return c5;
    if (fits(c3)) return c3;
    return p;
  }
  if (c3 >= minLength) return fits(c3) ? c3 : p;
  if (c7 >= minLength) return fits(c7) ? c7 : p;
  return p;
}

}  // namespace calvatero::fourier
