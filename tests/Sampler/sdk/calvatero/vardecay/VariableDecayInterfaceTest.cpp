#include "Sampler/sdk/calvatero/convolution/ConvolutionInterfaceVariableDecay.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/Sampler/sdk/calvatero/support/AlignedAllocationProbe.h"
#include "tests/Sampler/sdk/calvatero/vardecay/DecayReference.h"
#include "tests/support/ConvolutionKit.h"

namespace {

using calvatero::convolution::DecayNode;
using calvatero::testing::DecayCall;

void* init(const std::vector<float>& left, const std::vector<float>& right,
           std::size_t maxBlock = 512) {
  void* handle = nullptr;
  EXPECT_EQ(zkcvInitConvolverVariableDecayStereo(left.data(), right.data(), left.size(),
                                                 maxBlock, &handle),
            ZKCV_OK);
  EXPECT_NE(handle, nullptr);
  return handle;
}

TEST(VariableDecayInterface, ConvolvesWithTheDecayOfItsNodes) {
  // Shorter than 1600 frames: padded.
  const std::vector<float> hLeft = kelo::test::noise(100, 1), hRight = kelo::test::noise(100, 2);
  void* handle = init(hLeft, hRight);
  const double floor = zkcvGetMinimumAllowableDecayFactor(handle);
  const std::vector<DecayCall> calls = {{700, {{0.99, 300}, {0.999, 400}}}, {300, {}},
                                        {2000, {{0.98, 1000}, {std::nan(""), 1000}}}};
  const std::vector<float> xLeft = kelo::test::noise(3000, 3), xRight = kelo::test::noise(3000, 4);
  std::vector<float> yLeft(3000), yRight(3000);
  std::size_t done = 0;
  for (const DecayCall& call : calls) {
    std::vector<DecayNode> nodes = call.nodes;
    zkcvCalculateCurrentOutputVariableDecayStereo(yLeft.data() + done, yRight.data() + done,
                                                  xLeft.data() + done, xRight.data() + done,
                                                  call.frames, nodes.data(), nodes.size(), handle);
    done += call.frames;
  }
  const std::vector<double> d = calvatero::testing::factorsOf(calls, floor);
  EXPECT_TRUE(kelo::test::closeToSignal(
      yLeft, calvatero::testing::decayingConvolution(xLeft, hLeft, d), 2e-5));
  EXPECT_TRUE(kelo::test::closeToSignal(
      yRight, calvatero::testing::decayingConvolution(xRight, hRight, d), 2e-5));
  zkcvEndConvolverVariableDecay(handle);
}

TEST(VariableDecayInterface, ResetThroughEitherCallEqualsANewConvolver) {
  const std::vector<float> h = kelo::test::noise(2000, 5);
  const std::vector<float> x = kelo::test::noise(4000, 6);
  DecayNode node{0.995, 4000};
  for (const auto reset : {&zkcvResetConvolverVariableDecay, &zkcvResetConvolver}) {
    void* used = init(h, h);
    void* fresh = init(h, h);
    std::vector<float> a(4000), b(4000), scratch(4000);
    zkcvCalculateCurrentOutputVariableDecayStereo(scratch.data(), scratch.data(), x.data(),
                                                  x.data(), 1234, &node, 1, used);
    reset(used);
    zkcvCalculateCurrentOutputVariableDecayStereo(a.data(), scratch.data(), x.data(), x.data(),
                                                  4000, nullptr, 0, used);
    zkcvCalculateCurrentOutputVariableDecayStereo(b.data(), scratch.data(), x.data(), x.data(),
                                                  4000, nullptr, 0, fresh);
    EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0);
    zkcvEndConvolver(used);  // either end call takes either kind
    zkcvEndConvolverVariableDecay(fresh);
  }
}

TEST(VariableDecayInterface, CallsThatCannotApplyDoNothing) {
  const std::vector<float> h = kelo::test::noise(1600, 7);
  void* vardecay = init(h, h);
  void* plain = nullptr;
  ASSERT_EQ(zkcvInitConvolverStereo(h.data(), h.data(), h.size(), 512, &plain), ZKCV_OK);
  const std::vector<float> x(64, 1.0f);
  std::vector<float> out(64, 7.0f);
  DecayNode node{0.99, 64};
  zkcvCalculateCurrentOutputVariableDecayStereo(out.data(), out.data(), x.data(), x.data(), 64,
                                                &node, 1, nullptr);
  zkcvCalculateCurrentOutputVariableDecayStereo(out.data(), out.data(), x.data(), x.data(), 64,
                                                &node, 1, plain);
  zkcvCalculateCurrentOutputVariableDecayStereo(out.data(), nullptr, x.data(), x.data(), 64,
                                                &node, 1, vardecay);
  zkcvCalculateCurrentOutputVariableDecayStereo(out.data(), out.data(), x.data(), x.data(), 0,
                                                &node, 1, vardecay);
  for (const float v : out) ASSERT_EQ(v, 7.0f);
  zkcvCalculateCurrentOutputStereo(out.data(), out.data(), x.data(), x.data(), 64, vardecay);
  for (const float v : out) ASSERT_EQ(v, 7.0f);

  EXPECT_EQ(zkcvGetMinimumAllowableDecayFactor(nullptr), 1.0);
  EXPECT_EQ(zkcvGetMinimumAllowableDecayFactor(plain), 1.0);
  const double minimum = zkcvGetMinimumAllowableDecayFactor(vardecay);
  EXPECT_GT(minimum, 0.9);
  EXPECT_LT(minimum, 1.0);
  zkcvResetConvolverVariableDecay(nullptr);
  zkcvEndConvolverVariableDecay(nullptr);
  zkcvEndConvolver(plain);
  zkcvEndConvolverVariableDecay(vardecay);
}

TEST(VariableDecayInterface, InitAnswersItsCodes) {
  const std::vector<float> h(200, 0.5f);
  void* handle = reinterpret_cast<void*>(1);
  EXPECT_EQ(zkcvInitConvolverVariableDecayStereo(h.data(), h.data(), 200, 512, nullptr),
            ZKCV_FFT_UNRECOVERABLE);
  EXPECT_EQ(zkcvInitConvolverVariableDecayStereo(nullptr, h.data(), 200, 512, &handle),
            ZKCV_FFT_UNRECOVERABLE);
  EXPECT_EQ(handle, nullptr);

  // An empty impulse is silence.
  ASSERT_EQ(zkcvInitConvolverVariableDecayStereo(nullptr, nullptr, 0, 512, &handle), ZKCV_OK);
  const std::vector<float> x = kelo::test::noise(3000, 8);
  std::vector<float> out(3000, 1.0f);
  zkcvCalculateCurrentOutputVariableDecayStereo(out.data(), out.data(), x.data(), x.data(), 3000,
                                                nullptr, 0, handle);
  for (const float v : out) ASSERT_EQ(v, 0.0f);
  zkcvEndConvolverVariableDecay(handle);
}

// Both inits answer a length the same way: up to 2^28 frames a convolver, beyond it 2 (out of
// memory) with a null handle, before the impulse is read (here it holds far fewer frames than
// claimed, so any read beyond them is caught).
TEST(VariableDecayInterface, BothInitsAnswerEveryLengthWithTheSameCode) {
  using Init = int (*)(const float*, const float*, std::size_t, std::size_t, void**);
  const struct {
    const char* name;
    Init init;
  } inits[] = {{"plain", &zkcvInitConvolverStereo},
               {"variable decay", &zkcvInitConvolverVariableDecayStereo}};
  const std::vector<float> h = kelo::test::noise(3000, 12);
  const struct {
    std::size_t frames;
    int code;
  } lengths[] = {
      {0, ZKCV_OK},
      {1, ZKCV_OK},
      {1599, ZKCV_OK},
      {1600, ZKCV_OK},
      {3000, ZKCV_OK},
      {(std::size_t{1} << 28) + 1, ZKCV_OUT_OF_MEMORY},
      {std::size_t{1} << 32, ZKCV_OUT_OF_MEMORY},
      {SIZE_MAX / sizeof(float), ZKCV_OUT_OF_MEMORY},
      {SIZE_MAX / 2 + 1, ZKCV_OUT_OF_MEMORY},
      {SIZE_MAX, ZKCV_OUT_OF_MEMORY},
  };
  for (const auto& init : inits) {
    for (const auto& length : lengths) {
      SCOPED_TRACE(std::string(init.name) + ", " + std::to_string(length.frames) + " frames");
      void* handle = reinterpret_cast<void*>(1);
      EXPECT_EQ(init.init(h.data(), h.data(), length.frames, 512, &handle), length.code);
      if (length.code == ZKCV_OK) {
        EXPECT_NE(handle, nullptr);
        zkcvEndConvolver(handle);
      } else {
        EXPECT_EQ(handle, nullptr);
      }
    }
  }
}

TEST(VariableDecayInterface, AFailedAllocationAnswersTwoAndLeavesNothing) {
  const std::vector<float> h = kelo::test::noise(5000, 9);
  for (long k = 1;; ++k) {
    calvatero::testing::AlignedAllocationProbe probe(k);
    void* handle = reinterpret_cast<void*>(1);
    const int code =
        zkcvInitConvolverVariableDecayStereo(h.data(), h.data(), h.size(), 256, &handle);
    if (code == ZKCV_OK) {
      ASSERT_GT(k, 10) << "every buffer comes from MallocAligned";
      zkcvEndConvolverVariableDecay(handle);
      EXPECT_EQ(probe.liveBlocks(), 0);
      break;
    }
    ASSERT_EQ(code, ZKCV_OUT_OF_MEMORY) << k;
    EXPECT_EQ(handle, nullptr) << k;
    ASSERT_EQ(probe.liveBlocks(), 0) << k;
  }
}

}  // namespace
