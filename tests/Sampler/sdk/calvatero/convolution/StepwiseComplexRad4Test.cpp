#include <cmath>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "Sampler/sdk/calvatero/convolution/StepwiseComplexRad4.h"
#include "Sampler/sdk/calvatero/fourier/FourierTransformComplex.h"
#include "tests/Sampler/sdk/calvatero/support/Reference.h"

namespace calvatero::convolution {
namespace {

using testing::Complex;

struct Data {
  std::vector<float> re, im;
};

void transformQuarters(fourier::FourierTransformComplex& t, Data& d, std::size_t q, bool inverse) {
  for (std::size_t r = 0; r < 4; ++r) {
    float* re = d.re.data() + r * q;
    float* im = d.im.data() + r * q;
    if (inverse) {
      t.InverseTransform(re, im, re, im, 1);
    } else {
      t.ForwardTransform(re, im, re, im, 1);
    }
  }
}

TEST(StepwiseComplexRad4, ForwardStagesThenQuarterTransformsGiveTheSpectrumByResidue) {
  for (const std::size_t n : {16u, 64u, 256u}) {
    const std::size_t q = n / 4;
    const StepwiseComplexRad4 split(n, 64);
    std::unique_ptr<fourier::FourierTransformComplex> quarter(
        fourier::CreateFourierTransformComplex(q, 64));
    const Data x{testing::randomFloats(n, 1), testing::randomFloats(n, 2)};
    std::vector<Complex> xc(n);
    for (std::size_t i = 0; i < n; ++i) xc[i] = {x.re[i], x.im[i]};
    const std::vector<Complex> spectrum = testing::naiveDft(xc, -1);

    for (const auto& order : {std::vector<std::size_t>{0, 1, 2, 3}, {0, 2, 1, 3}}) {
      Data d = x;
      for (const std::size_t stage : order) split.ForwardRad4(d.re.data(), d.im.data(), stage);
      transformQuarters(*quarter, d, q, false);
      // Quarters 0 .. 3 hold the bins 4k - 1, 4k + 1, 4k + 2 and 4k.
      const long residue[4] = {-1, 1, 2, 0};
      std::vector<Complex> actual(n), expected(n);
      for (std::size_t r = 0; r < 4; ++r) {
        for (std::size_t k = 0; k < q; ++k) {
          actual[r * q + k] = {d.re[r * q + k], d.im[r * q + k]};
          expected[r * q + k] = spectrum[(4 * k + n + residue[r]) % n];
        }
      }
      EXPECT_LT(testing::relativeError(actual, expected), 5e-7 * std::log2(n)) << n;

      // Inverse quarter transforms and the inverse stages return N times the input.
      transformQuarters(*quarter, d, q, true);
      for (const std::size_t stage : {0u, 2u, 1u, 3u}) split.InverseRad4(d.re.data(), d.im.data(), stage);
      std::vector<Complex> back(n), scaled(n);
      for (std::size_t i = 0; i < n; ++i) {
        back[i] = {d.re[i], d.im[i]};
        scaled[i] = xc[i] * static_cast<double>(n);
      }
      EXPECT_LT(testing::relativeError(back, scaled), 1e-6 * std::log2(n)) << n;
    }
  }
}

TEST(StepwiseComplexRad4DeathTest, StagesAndLengthsOutOfRange) {
  const StepwiseComplexRad4 split(64, 64);
  std::vector<float> re(64), im(64);
  EXPECT_DEATH(split.ForwardRad4(re.data(), im.data(), 4), testing::literally("stage == 3"));
  EXPECT_DEATH(split.InverseRad4(re.data(), im.data(), 7), testing::literally("stage == 3"));
  EXPECT_DEATH(StepwiseComplexRad4(24, 64),
               testing::literally("quarterLength == simd_iterations*4"));
}

}  // namespace
}  // namespace calvatero::convolution
