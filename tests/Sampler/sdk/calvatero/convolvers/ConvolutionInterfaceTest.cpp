// The C interface: engine selection, init codes and clean failure, handle life, and the
// answers to what a C caller can pass.
#include <algorithm>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

#include <gtest/gtest.h>

#include "Sampler/sdk/calvatero/convolution/ConvolverMasterLong.h"
#include "Sampler/sdk/calvatero/convolution/ConvolverMasterMidShort.h"
#include "Sampler/sdk/calvatero/convolution/ConvolverMasterShort.h"
#include "Sampler/sdk/calvatero/convolution/ConvolverMasterVeryShort.h"
#include "tests/Sampler/sdk/calvatero/convolvers/StereoConvolver.h"
#include "tests/Sampler/sdk/calvatero/support/AlignedAllocationProbe.h"

namespace calvatero::testing {
namespace {

using namespace calvatero::convolution;

struct Selection {
  std::size_t frames;
  const std::type_info& engine;
  bool buffered;
};

TEST(ConvolverSelection, LengthPicksTheEngineOfTheTable) {
  const Selection table[] = {
      {0, typeid(ConvolverMasterVeryShort), false},
      {1, typeid(ConvolverMasterVeryShort), false},
      {12, typeid(ConvolverMasterVeryShort), false},
      {13, typeid(ConvolverMasterVeryShort2), false},
      {16, typeid(ConvolverMasterVeryShort2), false},
      {17, typeid(ConvolverMasterVeryShort), false},
      {20, typeid(ConvolverMasterVeryShort), false},
      {21, typeid(ConvolverMasterVeryShort2), false},
      {80, typeid(ConvolverMasterVeryShort2), false},
      {81, typeid(ConvolverMasterShort), false},
      {2112, typeid(ConvolverMasterShort), false},
      {2113, typeid(ConvolverMasterMidShort), false},
      {4736, typeid(ConvolverMasterMidShort), false},
      {4737, typeid(ConvolverMasterLong), false},
      {16000, typeid(ConvolverMasterLong), false},
      {16001, typeid(ConvolverMasterLong), true},
  };
  for (const Selection& s : table) {
    const StereoImpulse impulse = noiseImpulse(s.frames, 1);
    StereoConvolver convolver(impulse, 256);
    ASSERT_EQ(convolver.code(), ZKCV_OK) << s.frames;
    auto* handle = static_cast<ConvolverHandle*>(convolver.handle());
    EXPECT_EQ(typeid(*handle), s.engine) << s.frames;
    if (auto* longEngine = dynamic_cast<ConvolverMasterLong*>(handle)) {
      EXPECT_EQ(longEngine->buffered(), s.buffered) << s.frames;
    }
  }
}

// Every allocation of every engine's creation fails once in turn: the answer is 2 with a null
// handle, and no block is left behind (the leak checker sees the rest).
TEST(ConvolverInit, FailingAnyAllocationAnswersOutOfMemoryAndLeavesNothing) {
  for (const std::size_t n : {0u, 12u, 21u, 1000u, 3333u, 4737u, 16001u}) {
    const StereoImpulse impulse = noiseImpulse(n, 2);
    long calls = 0;
    for (long k = 1;; ++k) {
      AlignedAllocationProbe probe(k);
      void* handle = reinterpret_cast<void*>(1);
      const int code = zkcvInitConvolverStereo(impulse.left.data(), impulse.right.data(), n, 64,
                                               &handle);
      if (code == ZKCV_OK) {
        EXPECT_LT(probe.calls(), k) << n;
        zkcvEndConvolver(handle);
        EXPECT_EQ(probe.liveBlocks(), 0) << n;
        break;
      }
      ASSERT_EQ(code, ZKCV_OUT_OF_MEMORY) << n << ", allocation " << k;
      EXPECT_EQ(handle, nullptr) << n << ", allocation " << k;
      ASSERT_EQ(probe.liveBlocks(), 0) << n << ", allocation " << k;
      calls = k;
    }
    EXPECT_GT(calls, 0) << n;
  }
}

TEST(ConvolverInit, ImpossibleLengthsAnswerOutOfMemory) {
  const float tap = 1.0f;
  void* handle = reinterpret_cast<void*>(1);
  EXPECT_EQ(zkcvInitConvolverStereo(&tap, &tap, SIZE_MAX, 64, &handle), ZKCV_OUT_OF_MEMORY);
  EXPECT_EQ(handle, nullptr);
}

TEST(ConvolverInit, ArgumentsACallerCanGetWrongAreAnswered) {
  const std::vector<float> taps(100, 0.5f);
  EXPECT_EQ(zkcvInitConvolverStereo(taps.data(), taps.data(), 100, 64, nullptr),
            ZKCV_FFT_UNRECOVERABLE);
  void* handle = reinterpret_cast<void*>(1);
  EXPECT_EQ(zkcvInitConvolverStereo(nullptr, taps.data(), 100, 64, &handle),
            ZKCV_FFT_UNRECOVERABLE);
  EXPECT_EQ(handle, nullptr);
  // No impulse at all: a convolver of silence; its arrays are not read.
  ASSERT_EQ(zkcvInitConvolverStereo(nullptr, nullptr, 0, 64, &handle), ZKCV_OK);
  std::vector<float> in(100, 1.0f), left(100, 7.0f), right(100, 7.0f);
  zkcvCalculateCurrentOutputStereo(left.data(), right.data(), in.data(), in.data(), 100, handle);
  EXPECT_EQ(left, std::vector<float>(100, 0.0f));
  EXPECT_EQ(right, std::vector<float>(100, 0.0f));
  zkcvEndConvolver(handle);

  // A null buffer in any place, or a zero count, writes no output and moves no history: a
  // convolver of the taps answers afterwards exactly as a fresh one does.
  void* fresh = nullptr;
  ASSERT_EQ(zkcvInitConvolverStereo(taps.data(), taps.data(), 100, 64, &fresh), ZKCV_OK);
  std::vector<float> expectedLeft(64), expectedRight(64);
  zkcvCalculateCurrentOutputStereo(expectedLeft.data(), expectedRight.data(), in.data(),
                                   in.data(), 64, fresh);
  zkcvEndConvolver(fresh);
  ASSERT_NE(expectedLeft, std::vector<float>(64, 0.0f));
  ASSERT_EQ(zkcvInitConvolverStereo(taps.data(), taps.data(), 100, 64, &handle), ZKCV_OK);
  for (int missing = 0; missing < 5; ++missing) {
    left.assign(100, 7.0f);
    right.assign(100, 7.0f);
    std::vector<float> inLeft(in), inRight(in);
    float* buffers[4] = {left.data(), right.data(), inLeft.data(), inRight.data()};
    if (missing < 4) buffers[missing] = nullptr;
    zkcvCalculateCurrentOutputStereo(buffers[0], buffers[1], buffers[2], buffers[3],
                                     missing < 4 ? 64 : 0, handle);
    EXPECT_EQ(left, std::vector<float>(100, 7.0f)) << missing;
    EXPECT_EQ(right, std::vector<float>(100, 7.0f)) << missing;
    EXPECT_EQ(inLeft, in) << missing;
    EXPECT_EQ(inRight, in) << missing;
  }
  std::vector<float> outLeft(64), outRight(64);
  zkcvCalculateCurrentOutputStereo(outLeft.data(), outRight.data(), in.data(), in.data(), 64,
                                   handle);
  EXPECT_EQ(outLeft, expectedLeft);
  EXPECT_EQ(outRight, expectedRight);
  zkcvEndConvolver(handle);
}

TEST(ConvolverInit, NullHandlesDoNothing) {
  std::vector<float> in(32, 1.0f), out(32, 7.0f);
  zkcvCalculateCurrentOutputStereo(out.data(), out.data(), in.data(), in.data(), 32, nullptr);
  zkcvResetConvolver(nullptr);
  zkcvEndConvolver(nullptr);
  EXPECT_EQ(out, std::vector<float>(32, 7.0f));
}

// A call longer than the very short engines were sized for is split inside: the same output
// as the caller splitting it.
TEST(ConvolverVeryShort, OverlongCallsEqualTheCallerSplittingThem) {
  for (const std::size_t n : {5u, 16u, 80u}) {
    const StereoImpulse impulse = noiseImpulse(n, 4);
    const auto input = noiseSignal(3000, 9);
    StereoConvolver whole(impulse, 16);
    const auto outWhole = whole.run(input, {3000});
    StereoConvolver split(impulse, 16);
    const auto outSplit = split.run(input, kelo::test::callPattern("sized-maximum").lengths(3000, 16));
    const auto expected = kelo::test::directConvolution(input.left, impulse.left);
    EXPECT_TRUE(kelo::test::closeToSignal(outWhole.left, expected, kTolerance)) << n;
    for (std::size_t i = 0; i < 3000; ++i) {
      ASSERT_NEAR(outWhole.left[i], outSplit.left[i], 1e-5) << n << ", frame " << i;
      ASSERT_NEAR(outWhole.right[i], outSplit.right[i], 1e-5) << n << ", frame " << i;
    }
  }
}

}  // namespace
}  // namespace calvatero::testing

namespace calvatero::testing {
namespace {

// Plug-ins process in place: outputs that are the inputs (or each other's) give the same
// output as separate buffers.
TEST(ConvolverInPlace, OutputsThatAreTheInputsGiveTheSameOutput) {
  for (const std::size_t n : {12u, 21u, 1000u, 3333u, 4737u, 16001u}) {
    const StereoImpulse impulse = noiseImpulse(n, 6);
    const std::size_t frames = n + 3000;
    const auto input = noiseSignal(frames, 12);
    const auto lengths = kelo::test::callPattern("random").lengths(frames, 64);
    StereoConvolver apart(impulse, 64);
    const auto expected = apart.run(input, lengths);
    for (const bool swapped : {false, true}) {
      StereoConvolver inPlace(impulse, 64);
      const auto out = kelo::test::driveStereoInPlace(inPlace.call(), input, lengths, swapped);
      EXPECT_EQ(out.left, expected.left) << n << (swapped ? ", swapped" : "");
      EXPECT_EQ(out.right, expected.right) << n << (swapped ? ", swapped" : "");
    }
  }
}

}  // namespace
}  // namespace calvatero::testing
