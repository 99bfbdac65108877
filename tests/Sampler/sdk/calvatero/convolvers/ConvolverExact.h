// Every engine through the C interface against the direct reference in double, under every
// call pattern: the parametrised test, instantiated with its impulse lengths by the CI program
// (ConvolverExactTest.cpp) and, for the longest impulses, by the release-only program.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/Sampler/sdk/calvatero/convolvers/StereoConvolver.h"

namespace calvatero::testing {
namespace {

using kelo::test::allCallPatterns;
using kelo::test::closeToSignal;
using kelo::test::directConvolution;

struct LengthCase {
  std::size_t impulseFrames;
  std::size_t maxBlockFrames;
};

std::string caseName(const ::testing::TestParamInfo<LengthCase>& info) {
  return "ir" + std::to_string(info.param.impulseFrames) + "_max" +
         std::to_string(info.param.maxBlockFrames);
}

class ConvolverExact : public ::testing::TestWithParam<LengthCase> {};

// The input runs past the impulse's end so that its last taps are checked too; different
// noise per channel, in impulse and input.
TEST_P(ConvolverExact, EqualsTheDirectConvolutionUnderEveryCallPattern) {
  const LengthCase c = GetParam();
  const StereoImpulse impulse = noiseImpulse(c.impulseFrames, 11 + c.impulseFrames);
  const std::size_t frames = std::max<std::size_t>(c.impulseFrames + 2500, 6000);
  const kelo::test::StereoSignal input = noiseSignal(frames, 5);
  const auto expectedLeft = directConvolution(input.left, impulse.left);
  const auto expectedRight = directConvolution(input.right, impulse.right);
  for (const kelo::test::CallPattern& pattern : allCallPatterns()) {
    StereoConvolver convolver(impulse, c.maxBlockFrames);
    ASSERT_EQ(convolver.code(), ZKCV_OK);
    const auto out = convolver.run(input, pattern.lengths(frames, c.maxBlockFrames));
    EXPECT_TRUE(closeToSignal(out.left, expectedLeft, kTolerance)) << "left, " << pattern.name;
    EXPECT_TRUE(closeToSignal(out.right, expectedRight, kTolerance)) << "right, " << pattern.name;
  }
}

}  // namespace
}  // namespace calvatero::testing
