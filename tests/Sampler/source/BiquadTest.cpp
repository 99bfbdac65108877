// The biquad module: cooked responses against the cookbook in double, glides that land on
// their target bit for bit, and the kernels' handling of groups of four and their remainder.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "Sampler/source/Biquad.h"
#include "tests/Sampler/source/CookbookReference.h"
#include "tests/support/ConvolutionKit.h"

namespace kelo::test {
namespace {

double dB(double magnitude) { return 20.0 * std::log10(magnitude); }

TEST(BiquadCook, EveryTypeMatchesTheCookbookWithinAHundredthOfADecibel) {
  const float qValues[] = {1.4f, 0.7f, 1.0f, 0.8f};  // by q type
  double worst = 0;
  for (double rate : {44100.0, 48000.0, 96000.0})
    for (double hz : {250.0, 1000.0, 4000.0, 12000.0})
      for (int type = RBJ_FILTERTYPE_START; type < RBJ_FILTERTYPE_STOP; ++type)
        for (int qType = RBJ_QTYPE_START; qType < RBJ_QTYPE_STOP; ++qType)
          for (float gain : {-12.0f, 0.0f, 12.0f}) {
            biquad_coeffs coeffs;
            const auto f = static_cast<float>(hz / rate);
            ASSERT_TRUE(biquad_coeffs_cook_rbj(&coeffs, type, f, gain, qType, qValues[qType]));
            const cookbook::Filter reference =
                cookbook::design(static_cast<cookbook::Type>(type), f, gain,
                                 static_cast<cookbook::QType>(qType), qValues[qType]);
            for (double probe = 20.0; probe < 0.45 * rate; probe *= 1.1) {
              const double expected = reference.magnitude(probe / rate);
              const double actual = biquad_coeffs_Hz(&coeffs, probe / rate);
              // Deep in a stop band decibels say nothing: there the error counts against
              // 60 dB below unity.
              const double error = expected > 1e-3 ? std::abs(dB(actual) - dB(expected))
                                                   : dB(1.0 + std::abs(actual - expected) / 1e-3);
              worst = std::max(worst, error);
              ASSERT_LT(error, 0.01)
                  << "type " << type << ", q type " << qType << ", " << gain << " dB at " << hz
                  << " Hz, rate " << rate << ", probe " << probe << " Hz: " << dB(actual)
                  << " dB, expected " << dB(expected);
            }
          }
  RecordProperty("worst_dB", std::to_string(worst));
}

TEST(BiquadCook, ZeroGainShelvesAndPeakPassTheSignal) {
  for (int type : {RBJ_PEAKING, RBJ_LOWSHELF, RBJ_HIGHSHELF}) {
    biquad_coeffs coeffs;
    ASSERT_TRUE(biquad_coeffs_cook_rbj(&coeffs, type, 0.02f, 0.0f,
                                       type == RBJ_PEAKING ? RBJ_QTYPE_BANDWIDTH : RBJ_QTYPE_SLOPE,
                                       type == RBJ_PEAKING ? 2.0f : 1.0f));
    std::vector<float> signal = noise(1000, 5);
    const std::vector<float> input = signal;
    biquad_state state;
    biquad_state_init(&state);
    biquad_process_inplace_4n(signal.data(), static_cast<int>(signal.size()), &state, &coeffs);
    for (std::size_t i = 0; i < signal.size(); ++i)
      ASSERT_NEAR(signal[i], input[i], 1e-5) << "type " << type << ", frame " << i;
  }
}

TEST(BiquadCook, ArgumentsOutOfRangeGiveThePassThroughFilter) {
  struct Case {
    int type, qType;
    float q;
  };
  const Case cases[] = {{-1, 0, 1},    {9, 0, 1},   {0, -1, 1}, {0, 4, 1},
                        {0, 1, -0.5f}, {0, 1, NAN}, {6, 0, 0},  {7, 3, 50}};
  for (const Case& c : cases) {
    biquad_coeffs coeffs{9, 9, 9, 9, 9};
    EXPECT_FALSE(biquad_coeffs_cook_rbj(&coeffs, c.type, 0.1f, 6.0f, c.qType, c.q))
        << c.type << " " << c.qType << " " << c.q;
    EXPECT_EQ(coeffs.c2, 1.0f);
    EXPECT_EQ(coeffs.c0 + coeffs.c1 + coeffs.c3 + coeffs.c4, 0.0f);
  }
}

biquad_coeffs cooked(int type, float f, float gain) {
  biquad_coeffs coeffs;
  biquad_coeffs_cook_rbj(&coeffs, type, f, gain, type == RBJ_PEAKING ? 2 : 3,
                         type == RBJ_PEAKING ? 2.0f : 1.0f);
  return coeffs;
}

bool samePatterns(const biquad_interpolation_state& a, const biquad_interpolation_state& b) {
  return std::memcmp(a.current, b.current, sizeof a.current) == 0;
}

TEST(BiquadGlide, LandsOnItsTargetBitForBitAfterItsSteps) {
  struct Case {
    biquad_coeffs from, to;
    int steps;
  };
  const Case cases[] = {
      {cooked(RBJ_PEAKING, 0.0227f, 0.0f), cooked(RBJ_PEAKING, 0.0227f, 12.0f), 310},
      {cooked(RBJ_PEAKING, 0.0227f, 12.0f), cooked(RBJ_PEAKING, 0.18f, -12.0f), 320},
      {cooked(RBJ_LOWSHELF, 0.0113f, -12.0f), cooked(RBJ_LOWSHELF, 0.0113f, 12.0f), 440},
      {cooked(RBJ_HIGHSHELF, 0.05f, 3.0f), cooked(RBJ_HIGHSHELF, 0.05f, -7.0f), 7},
      {cooked(RBJ_HIGHSHELF, 0.05f, 3.0f), cooked(RBJ_HIGHSHELF, 0.05f, -7.0f), 1},
  };
  for (const Case& c : cases) {
    biquad_interpolation_state glide, target;
    biquad_interpolation_state_init(&glide, &c.from);
    biquad_interpolation_state_init(&target, &c.to);
    biquad_interpolation_state_set_target(&glide, &c.to, c.steps);
    EXPECT_EQ(glide.remaining, c.steps);
    // In calls of 36 frames plus a 2-frame tail: nine steps and no step for the tail.
    std::vector<float> audio(38, 0.25f);
    biquad_state state;
    biquad_state_init(&state);
    int taken = 0;
    while (glide.remaining > 0) {
      const int before = glide.remaining;
      biquad_process_inplace_interpolating_4n(audio.data(), 38, &state, &glide, 1);
      taken += before - glide.remaining;
      EXPECT_EQ(before - glide.remaining, std::min(before, 9));
      if (glide.remaining == 1) {
        EXPECT_FALSE(samePatterns(glide, target)) << c.steps;
      }
    }
    EXPECT_EQ(taken, c.steps);
    EXPECT_TRUE(samePatterns(glide, target)) << c.steps;
  }
}

TEST(BiquadGlide, WithoutAdvanceEveryChannelReplaysTheSameSteps) {
  const biquad_coeffs from = cooked(RBJ_PEAKING, 0.02f, -12.0f);
  const biquad_coeffs to = cooked(RBJ_PEAKING, 0.03f, 12.0f);
  biquad_interpolation_state glide;
  biquad_interpolation_state_init(&glide, &from);
  biquad_interpolation_state_set_target(&glide, &to, 50);
  const biquad_interpolation_state before = glide;
  const std::vector<float> input = noise(123, 9);
  std::vector<float> left = input, right = input, single = input;
  biquad_state l, r, s;
  biquad_state_init(&l), biquad_state_init(&r), biquad_state_init(&s);
  biquad_process_inplace_interpolating_4n2(left.data(), right.data(), 123, &l, &r, &glide, 0);
  EXPECT_EQ(glide.remaining, before.remaining);
  EXPECT_TRUE(samePatterns(glide, before));
  biquad_process_inplace_interpolating_4n(single.data(), 123, &s, &glide, 1);
  EXPECT_EQ(glide.remaining, 50 - 30);
  EXPECT_EQ(left, single);
  EXPECT_EQ(right, single);
}

TEST(BiquadKernels, BlocksOfAnyLengthEqualOneLongBlockWhileTheCoefficientsStay) {
  const biquad_coeffs coeffs = cooked(RBJ_LOWSHELF, 0.011f, 9.0f);
  const std::vector<float> input = noise(400, 2);
  std::vector<float> whole = input;
  biquad_state state;
  biquad_state_init(&state);
  biquad_process_inplace_4n(whole.data(), 400, &state, &coeffs);

  biquad_interpolation_state fixed;
  biquad_interpolation_state_init(&fixed, &coeffs);
  const biquad_coeffs inForce = biquad_interpolation_state_coeffs(&fixed);
  std::vector<float> wholeInForce = input;
  biquad_state_init(&state);
  biquad_process_inplace_4n(wholeInForce.data(), 400, &state, &inForce);

  for (int length : {1, 3, 6, 7, 33}) {
    std::vector<float> pairLeft = input, pairRight = input, one = input, perFrame = input;
    biquad_state l, r, o, p;
    biquad_state_init(&l), biquad_state_init(&r), biquad_state_init(&o), biquad_state_init(&p);
    biquad_interpolation_state glide = fixed, perFrameGlide = fixed;
    for (int at = 0; at < 400; at += length) {
      const int n = std::min(length, 400 - at);
      biquad_process_inplace_interpolating_4n2(pairLeft.data() + at, pairRight.data() + at, n, &l,
                                               &r, &glide, 1);
      biquad_process_inplace_4n(one.data() + at, n, &o, &coeffs);
      biquad_process_inplace_interpolating(perFrame.data() + at, n, &p, &perFrameGlide);
    }
    EXPECT_EQ(pairLeft, wholeInForce) << length;
    EXPECT_EQ(pairRight, wholeInForce) << length;
    EXPECT_EQ(perFrame, wholeInForce) << length;
    EXPECT_EQ(one, whole) << length;
  }

  // The fixed stereo kernel and the group of four take whole groups only.
  std::vector<float> left = input, right = input, four = input;
  BiquadDSPStereoData data{coeffs.c0, coeffs.c1, coeffs.c2, coeffs.c3, coeffs.c4, 0, 0, 0, 0};
  biquad_process_stereo_dsp(left.data(), right.data(), &data, 398);
  biquad_state_init(&state);
  for (int at = 0; at + 4 <= 398; at += 4)
    biquad_process_inplace_4(four.data() + at, &state, &coeffs);
  EXPECT_EQ(std::vector<float>(left.begin(), left.begin() + 396),
            std::vector<float>(whole.begin(), whole.begin() + 396));
  EXPECT_EQ(left, four);
  EXPECT_EQ(right, four);
  EXPECT_EQ(left[396], input[396]);
  EXPECT_EQ(data.leftW1, static_cast<float>(state.w1));
}

TEST(BiquadKernels, TheFramesAfterTheLastGroupAreFilteredAndTakeNoGlideStep) {
  const biquad_coeffs from = cooked(RBJ_PEAKING, 0.02f, 0.0f);
  const biquad_coeffs to = cooked(RBJ_PEAKING, 0.02f, 12.0f);
  for (int frames : {6, 7}) {
    biquad_interpolation_state glide;
    biquad_interpolation_state_init(&glide, &from);
    biquad_interpolation_state_set_target(&glide, &to, 10);
    biquad_interpolation_state oneStep = glide;
    std::vector<float> scratch(4, 0.0f);
    biquad_state unused;
    biquad_state_init(&unused);
    biquad_process_inplace_interpolating_4n(scratch.data(), 4, &unused, &oneStep, 1);
    const biquad_coeffs afterOneStep = biquad_interpolation_state_coeffs(&oneStep);

    std::vector<float> block = noise(frames, 11);
    std::vector<float> expected = block;
    biquad_state state, reference;
    biquad_state_init(&state), biquad_state_init(&reference);
    biquad_process_inplace_interpolating_4n(block.data(), frames, &state, &glide, 1);
    biquad_process_inplace_4n(expected.data(), frames, &reference, &afterOneStep);
    EXPECT_EQ(glide.remaining, 9) << frames;
    EXPECT_EQ(block, expected) << frames;
    EXPECT_NE(block[5], noise(frames, 11)[5]) << frames;
  }
}

}  // namespace
}  // namespace kelo::test
