#include "Sampler/sdk/calvatero/fourier/FourierKernels.h"

#include "Sampler/sdk/calvatero/newconv/Vec4.h"

namespace calvatero::fourier {

using simd::F4;
using simd::load;
using simd::store;

void do_complex_mult(float* outReal, float* outImag, const float* aReal, const float* aImag,
                     const float* bReal, const float* bImag, std::size_t count) {
  for (std::size_t i = 0; i + 4 <= count; i += 4) {
    const F4 ar = load(aReal + i), ai = load(aImag + i);
    const F4 br = load(bReal + i), bi = load(bImag + i);
    store(outReal + i, ar * br - ai * bi);
    store(outImag + i, ar * bi + ai * br);
  }
}

void do_complex_mult_inplace(float* real, float* imag, const float* bReal, const float* bImag,
                             std::size_t count) {
  do_complex_mult(real, imag, real, imag, bReal, bImag, count);
}

void do_odd_mult_inplace(float* real, float* imag, const float* bReal, const float* bImag,
                         std::size_t count) {
  for (std::size_t i = 0; i + 4 <= count; i += 4) {
    const F4 zr = load(real + i), zi = load(imag + i);
    const F4 br = load(bReal + i), bi = load(bImag + i);
    store(real + i, zr * br + zi * bi);
    store(imag + i, zr * bi - zi * br);
  }
}

void do_ftrealodd_pre_calculation(float* outReal, float* outImag, const float* input,
                                  const float* cosines, const float* sines, std::size_t inCount,
                                  std::size_t K) {
  const F4 zero = {0, 0, 0, 0};
  std::size_t j = 0;
  for (; j + 4 <= K; j += 4) {
    const F4 c = load(cosines + j), s = load(sines + j);
    if (j + K + 4 <= inCount) {
      const F4 x = load(input + j), x2 = load(input + K + j);
      store(outReal + j, x * c + x2 * s);
      store(outImag + j, x * s - x2 * c);
    } else if (j + 4 <= inCount && j + K >= inCount) {
      const F4 x = load(input + j);
      store(outReal + j, x * c);
      store(outImag + j, x * s);
    } else if (j >= inCount) {
      store(outReal + j, zero);
      store(outImag + j, zero);
    } else {
      for (std::size_t e = j; e < j + 4; ++e) {  // the input ends inside this group
        const float x = e < inCount ? input[e] : 0.0f;
        const float x2 = e + K < inCount ? input[e + K] : 0.0f;
        outReal[e] = x * cosines[e] + x2 * sines[e];
        outImag[e] = x * sines[e] - x2 * cosines[e];
      }
    }
  }
  for (; j < K; ++j) {
    const float x = j < inCount ? input[j] : 0.0f;
    const float x2 = j + K < inCount ? input[j + K] : 0.0f;
    outReal[j] = x * cosines[j] + x2 * sines[j];
    outImag[j] = x * sines[j] - x2 * cosines[j];
  }
}

}  // namespace calvatero::fourier
