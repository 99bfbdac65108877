// Registered only in the release build (ctest --preset release -R '^convolvers\.'): a sparse
// impulse of a million frames through the long engine's buffered second stage.
#include <algorithm>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "tests/Sampler/sdk/calvatero/convolvers/StereoConvolver.h"

namespace calvatero::testing {
namespace {

TEST(ConvolverRelease, SparseMillionFrameImpulseIsExact) {
  const std::size_t n = 1u << 20, frames = n + 40000;
  StereoImpulse impulse{std::vector<float>(n), std::vector<float>(n)};
  std::mt19937 rng(12);
  std::uniform_int_distribution<std::size_t> where(0, n - 1);
  std::uniform_real_distribution<float> value(-1, 1);
  for (int i = 0; i < 300; ++i) {
    impulse.left[where(rng)] = value(rng);
    impulse.right[where(rng)] = value(rng);
  }
  impulse.left[0] = impulse.right[n - 1] = 1.0f;
  impulse.left[n - 1] = impulse.right[0] = 0.5f;
  const auto input = noiseSignal(frames, 13);
  StereoConvolver convolver(impulse, 512);
  ASSERT_EQ(convolver.code(), ZKCV_OK);
  for (const char* pattern : {"random", "1024"}) {
    convolver.reset();
    const auto out = convolver.run(input, kelo::test::callPattern(pattern).lengths(frames, 512));
    EXPECT_TRUE(kelo::test::closeToSignal(
        out.left, kelo::test::directConvolution(input.left, impulse.left), kTolerance)) << pattern;
    EXPECT_TRUE(kelo::test::closeToSignal(
        out.right, kelo::test::directConvolution(input.right, impulse.right), kTolerance)) << pattern;
  }
}

}  // namespace
}  // namespace calvatero::testing
