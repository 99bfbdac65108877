// Every engine through the C interface against the direct reference in double, under every
// call pattern (ConvolverExact.h), at the impulse lengths of the engine selection's edges;
// unit impulses, long runs and reset.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/Sampler/sdk/calvatero/convolvers/ConvolverExact.h"

namespace calvatero::testing {
namespace {

// The very short engines with their impulse both shorter and longer than the maximum call
// (the patterns then also pass calls longer than the maximum, which the engine splits).
INSTANTIATE_TEST_SUITE_P(VeryShort, ConvolverExact,
                         ::testing::Values(LengthCase{0, 64}, LengthCase{1, 1}, LengthCase{1, 64},
                                           LengthCase{12, 5}, LengthCase{12, 64},
                                           LengthCase{13, 8}, LengthCase{13, 512},
                                           LengthCase{16, 16}, LengthCase{17, 3},
                                           LengthCase{17, 256}, LengthCase{20, 20},
                                           LengthCase{21, 9}, LengthCase{21, 100},
                                           LengthCase{80, 33}, LengthCase{80, 1024}),
                         caseName);
INSTANTIATE_TEST_SUITE_P(Partitioned, ConvolverExact,
                         ::testing::Values(LengthCase{81, 512}, LengthCase{1000, 512},
                                           LengthCase{2048, 512}, LengthCase{2112, 512},
                                           LengthCase{2113, 512}, LengthCase{3333, 512},
                                           LengthCase{4736, 512}, LengthCase{4737, 512},
                                           LengthCase{16000, 512}, LengthCase{16001, 512},
                                           // the shortest kind whose buffered second stage
                                           // runs split filters (70000 in the release program)
                                           LengthCase{32000, 512}),
                         caseName);

struct EngineCase {
  std::size_t impulseFrames;
  std::size_t cycle;  // frames of the engine's longest block schedule
  std::size_t stride;
};

class UnitImpulse : public ::testing::TestWithParam<EngineCase> {};

// A unit impulse at every position of the engine's cycle yields the impulse response itself,
// from the very first output frame, with no gap or doubled tap at any stage boundary.
TEST_P(UnitImpulse, AtEveryCyclePositionYieldsTheImpulseResponse) {
  const EngineCase c = GetParam();
  const StereoImpulse impulse = noiseImpulse(c.impulseFrames, 3);
  StereoConvolver convolver(impulse, 64);
  ASSERT_EQ(convolver.code(), ZKCV_OK);
  const std::size_t frames = c.cycle + c.impulseFrames;
  for (std::size_t position = 0; position < c.cycle; position += c.stride) {
    convolver.reset();
    kelo::test::StereoSignal input{std::vector<float>(frames), std::vector<float>(frames)};
    input.left[position] = 1.0f;
    input.right[position] = 1.0f;
    const auto out = convolver.run(input, {frames});
    std::vector<double> expectedLeft(frames), expectedRight(frames);
    std::copy(impulse.left.begin(), impulse.left.end(), expectedLeft.begin() + position);
    std::copy(impulse.right.begin(), impulse.right.end(), expectedRight.begin() + position);
    ASSERT_TRUE(closeToSignal(out.left, expectedLeft, 1e-6)) << "left, position " << position;
    ASSERT_TRUE(closeToSignal(out.right, expectedRight, 1e-6)) << "right, position " << position;
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, UnitImpulse,
                         ::testing::Values(EngineCase{12, 8, 1}, EngineCase{21, 16, 1},
                                           EngineCase{1000, 64, 1}, EngineCase{3333, 256, 1},
                                           EngineCase{4737, 1024, 1},
                                           // every residue of the 32-frame steps, fewer runs
                                           EngineCase{16001, 1024, 3}),
                         [](const ::testing::TestParamInfo<EngineCase>& info) {
                           return "ir" + std::to_string(info.param.impulseFrames);
                         });

// Many times the very short engines' history length, in calls that keep it moving.
TEST(ConvolverLongRun, VeryShortEnginesStayExactAcrossManyHistoryMoves) {
  for (const std::size_t n : {7u, 80u}) {
    const StereoImpulse impulse = noiseImpulse(n, 21);
    const std::size_t frames = 60000;
    const auto input = noiseSignal(frames, 8);
    StereoConvolver convolver(impulse, 6);
    const auto out = convolver.run(input, kelo::test::callPattern("3-4-5-7-8-9").lengths(frames, 6));
    EXPECT_TRUE(closeToSignal(out.left, directConvolution(input.left, impulse.left), kTolerance));
    EXPECT_TRUE(closeToSignal(out.right, directConvolution(input.right, impulse.right), kTolerance));
  }
}

// Reset in the middle of a block (and of every engine's cycle) forgets everything: the output
// is bit for bit that of a new convolver fed the same input.
TEST(ConvolverReset, MidBlockResetEqualsANewConvolverBitForBit) {
  for (const std::size_t n : {0u, 12u, 21u, 1000u, 3333u, 4737u, 16001u}) {
    const StereoImpulse impulse = noiseImpulse(n, 31);
    const auto before = noiseSignal(1000 + 17, 40);
    const auto after = noiseSignal(n + 3000, 41);
    const auto lengths = kelo::test::callPattern("31-32-33").lengths(after.left.size(), 64);
    StereoConvolver used(impulse, 64);
    used.run(before, kelo::test::callPattern("random").lengths(before.left.size(), 64));
    used.reset();
    const auto outUsed = used.run(after, lengths);
    StereoConvolver fresh(impulse, 64);
    const auto outFresh = fresh.run(after, lengths);
    EXPECT_EQ(outUsed.left, outFresh.left) << n;
    EXPECT_EQ(outUsed.right, outFresh.right) << n;
  }
}

}  // namespace
}  // namespace calvatero::testing
