#include "Sampler/sdk/calvatero/resample/FIRResampler20khz.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Sampler/sdk/calvatero/resample/ResamplerFilterTables.h"
#include "tests/Sampler/sdk/calvatero/support/AlignedAllocationProbe.h"

namespace {

using calvatero::exceptions::FIRResampler20khz_init_error;
using calvatero::resample::FIRResampler20khz;
using calvatero::resample::lowpassTableFor;
using calvatero::resample::makeFIRResampler20khz;

std::unique_ptr<FIRResampler20khz> make(std::size_t rate, std::size_t block, bool minimumPhase,
                                        bool filterDown) {
  return std::unique_ptr<FIRResampler20khz>(
      makeFIRResampler20khz(rate, block, minimumPhase, filterDown));
}

struct InfoCase {
  std::size_t rate, minimumPhase, filterDown;
  std::size_t resampling, factor, downTaps, upTaps;
};

TEST(ResamplerInfo, EveryRatePhaseAndDownsamplingChoice) {
  const InfoCase cases[] = {
      {44100, 0, 0, 0, 1, 0, 0},     {44100, 1, 1, 0, 1, 0, 0},
      {48000, 0, 1, 0, 1, 0, 0},     {48000, 1, 0, 0, 1, 0, 0},
      {88200, 0, 0, 1, 2, 0, 95},    {88200, 0, 1, 1, 2, 95, 95},
      {88200, 1, 0, 1, 2, 0, 95},    {88200, 1, 1, 1, 2, 95, 95},
      {96000, 0, 0, 1, 2, 0, 95},    {96000, 0, 1, 1, 2, 95, 95},
      {96000, 1, 0, 1, 2, 0, 95},    {96000, 1, 1, 1, 2, 95, 95},
      {176400, 0, 0, 1, 4, 0, 191},  {176400, 0, 1, 1, 4, 191, 191},
      {176400, 1, 0, 1, 4, 0, 223},  {176400, 1, 1, 1, 4, 223, 223},
      {192000, 0, 0, 1, 4, 0, 191},  {192000, 0, 1, 1, 4, 191, 191},
      {192000, 1, 0, 1, 4, 0, 223},  {192000, 1, 1, 1, 4, 223, 223},
      {384000, 0, 1, 0, 1, 0, 0},    {0, 1, 1, 0, 1, 0, 0},
  };
  for (const InfoCase& c : cases) {
    std::size_t resampling = 99, factor = 99, down = 99, up = 99;
    FIRResampler20khz::GetResamplerInfo(&resampling, &factor, &down, &up, c.rate, c.minimumPhase,
                                        c.filterDown);
    EXPECT_EQ(resampling, c.resampling) << c.rate;
    EXPECT_EQ(factor, c.factor) << c.rate;
    EXPECT_EQ(down, c.downTaps) << c.rate << " phase " << c.minimumPhase;
    EXPECT_EQ(up, c.upTaps) << c.rate << " phase " << c.minimumPhase;
  }
}

TEST(Resampler, RoundsTheBlockUpToAMultipleOfFour) {
  const std::size_t cases[][2] = {{510, 512}, {512, 512}, {1, 4}, {513, 516}};
  for (const auto& c : cases) {
    EXPECT_EQ(make(96000, c[0], false, true)->blockFrames(), c[1]) << c[0];
  }
  EXPECT_EQ(make(88200, 64, false, false)->factor(), 2u);
  EXPECT_EQ(make(176400, 64, true, false)->factor(), 4u);
}

TEST(Resampler, RefusesRatesWithoutATableAndAnEmptyBlock) {
  for (const std::size_t rate : {48000u, 44100u, 96001u}) {
    try {
      make(rate, 512, false, true);
      ADD_FAILURE() << rate << " was accepted";
    } catch (const FIRResampler20khz_init_error& e) {
      EXPECT_STREQ(e.what(), "Resampler_init_error");
    }
  }
  EXPECT_THROW(make(96000, 0, false, true), FIRResampler20khz_init_error);
  EXPECT_THROW(FIRResampler20khz(96000, 0, 0, 0), FIRResampler20khz_init_error);
  const std::runtime_error& base = FIRResampler20khz_init_error();
  EXPECT_STREQ(base.what(), "Resampler_init_error");
}

TEST(Resampler, AFailedAllocationThrowsAndLeavesNothing) {
  for (long k = 1;; ++k) {
    calvatero::testing::AlignedAllocationProbe probe(k);
    try {
      auto resampler = make(192000, 256, true, true);
      ASSERT_GT(k, 4) << "the convolvers and scratch buffers come from MallocAligned";
      resampler.reset();
      EXPECT_EQ(probe.liveBlocks(), 0);
      break;
    } catch (const std::bad_alloc&) {
      ASSERT_EQ(probe.liveBlocks(), 0) << k;
    }
  }
}

TEST(Resampler, UnfilteredDownsamplingKeepsEveryFactorthFrameFromTheBlockStart) {
  const std::vector<float> left = {10, 11, 12, 13, 14, 15, 16};
  const std::vector<float> right = {20, 21, 22, 23, 24, 25, 26};
  const struct {
    std::size_t rate;
    std::vector<float> left, right;
  } cases[] = {{96000, {10, 12, 14, 16}, {20, 22, 24, 26}}, {192000, {10, 14}, {20, 24}}};
  for (const auto& c : cases) {
    auto resampler = make(c.rate, 8, false, false);
    for (int block = 0; block < 2; ++block) {  // the grid restarts with every block
      std::vector<float> outLeft(8, -1), outRight(8, -1);
      std::size_t frames = 99;
      resampler->Downsample(outLeft.data(), outRight.data(), &frames, left.data(), right.data(),
                            7);
      ASSERT_EQ(frames, c.left.size());
      EXPECT_EQ(std::vector<float>(outLeft.begin(), outLeft.begin() + frames), c.left);
      EXPECT_EQ(std::vector<float>(outRight.begin(), outRight.begin() + frames), c.right);
      EXPECT_EQ(outLeft[frames], -1) << "nothing past the output";
    }
    std::size_t frames = 99;
    resampler->Downsample(nullptr, nullptr, &frames, nullptr, nullptr, 0);
    EXPECT_EQ(frames, 0u);
  }
}

// Blocks of 1 to 7 frames with the phase carried pick the same frames as one long block.
TEST(Resampler, APhaseCarriedAcrossBlocksContinuesOneGrid) {
  std::vector<float> left(40), right(40);
  for (std::size_t i = 0; i < 40; ++i) left[i] = float(i), right[i] = 100.0f + float(i);
  for (std::size_t rate : {96000, 192000}) {
    auto resampler = make(rate, 8, false, false);
    const std::size_t factor = rate / 48000;
    std::vector<float> picked;
    std::size_t phase = 0, at = 0;
    for (std::size_t length = 1; at < 40; length = length % 7 + 1) {
      const std::size_t n = std::min(length, 40 - at);
      float outLeft[8], outRight[8];
      std::size_t frames = 99;
      phase = resampler->DownsampleFrom(outLeft, outRight, &frames, left.data() + at,
                                        right.data() + at, n, phase);
      ASSERT_LT(phase, factor);
      for (std::size_t i = 0; i < frames; ++i) {
        picked.push_back(outLeft[i]);
        EXPECT_EQ(outRight[i], outLeft[i] + 100.0f);
      }
      at += n;
    }
    std::vector<float> expected;
    for (std::size_t i = 0; i < 40; i += factor) expected.push_back(float(i));
    EXPECT_EQ(picked, expected) << rate;
  }
}

// The direct convolution of `in` with `taps`, in double.
std::vector<double> filtered(const std::vector<float>& in, const float* taps, std::size_t count) {
  std::vector<double> out(in.size(), 0.0);
  for (std::size_t t = 0; t < in.size(); ++t) {
    for (std::size_t k = 0; k < count && k <= t; ++k) out[t] += double(taps[k]) * in[t - k];
  }
  return out;
}

TEST(Resampler, FilteredDownsamplingPicksFromTheLowPassedBlock) {
  const std::size_t rate = 176400;
  auto resampler = make(rate, 64, false, true);
  const auto table = lowpassTableFor(rate, false);
  std::vector<float> left(256), right(256);
  for (std::size_t i = 0; i < left.size(); ++i) {
    left[i] = std::sin(0.05 * i) + ((i * 7919) % 13) * 0.01f;
    right[i] = i == 3 ? 1.0f : 0.0f;
  }
  const std::vector<double> expectLeft = filtered(left, table.taps, table.tapCount);
  const std::vector<double> expectRight = filtered(right, table.taps, table.tapCount);
  for (std::size_t start = 0; start < left.size(); start += 64) {
    float outLeft[16], outRight[16];
    std::size_t frames = 0;
    resampler->Downsample(outLeft, outRight, &frames, left.data() + start, right.data() + start,
                          64);
    ASSERT_EQ(frames, 16u);
    for (std::size_t j = 0; j < frames; ++j) {
      EXPECT_NEAR(outLeft[j], expectLeft[start + 4 * j], 1e-5) << start + 4 * j;
      EXPECT_NEAR(outRight[j], expectRight[start + 4 * j], 1e-6) << start + 4 * j;
    }
  }
}

TEST(Resampler, UpsamplingAnImpulseGivesFactorTimesTheTable) {
  for (const std::size_t rate : {88200u, 96000u, 176400u, 192000u}) {
    for (const bool minimumPhase : {false, true}) {
      const auto table = lowpassTableFor(rate, minimumPhase);
      auto resampler = make(rate, 1024, minimumPhase, false);
      const std::size_t factor = resampler->factor();
      const std::size_t inFrames = 1024 / factor;
      std::vector<float> in(inFrames, 0.0f), outLeft(1024, -1), outRight(1024, -1);
      in[0] = 1.0f;
      std::vector<float> silent(inFrames, 0.0f);
      std::size_t frames = 0;
      resampler->Upsample(outLeft.data(), outRight.data(), &frames, in.data(), silent.data(),
                          inFrames);
      ASSERT_EQ(frames, factor * inFrames);
      for (std::size_t i = 0; i < frames; ++i) {
        const float expected = i < table.tapCount ? factor * table.taps[i] : 0.0f;
        ASSERT_NEAR(outLeft[i], expected, 2e-7) << rate << " phase " << minimumPhase << " " << i;
        ASSERT_NEAR(outRight[i], 0.0f, 1e-9) << i;
      }
    }
  }
}

TEST(Resampler, UpsamplingAtFourOfThreeFramesGivesTwelve) {
  auto resampler = make(192000, 12, false, false);
  const float in[3] = {1, 0, 0};
  float outLeft[12], outRight[12];
  std::size_t frames = 0;
  resampler->Upsample(outLeft, outRight, &frames, in, in, 3);
  ASSERT_EQ(frames, 12u);
  const auto table = lowpassTableFor(192000, false);
  for (std::size_t i = 0; i < 12; ++i) EXPECT_NEAR(outLeft[i], 4 * table.taps[i], 1e-9);
  resampler->Upsample(outLeft, outRight, &frames, in, in, 0);
  EXPECT_EQ(frames, 0u);
}

// Amplitude of the `hz` component of x (sampled at `rate`): least-squares fit of a cosine and
// a sine over the range, exact for a pure tone whatever the number of periods.
double amplitudeAt(const std::vector<float>& x, std::size_t from, std::size_t to, double hz,
                   double rate) {
  double xc = 0, xs = 0, cc = 0, ss = 0, cs = 0;
  for (std::size_t i = from; i < to; ++i) {
    const double c = std::cos(2 * M_PI * hz * i / rate), s = std::sin(2 * M_PI * hz * i / rate);
    xc += x[i] * c;
    xs += x[i] * s;
    cc += c * c;
    ss += s * s;
    cs += c * s;
  }
  const double det = cc * ss - cs * cs;
  const double a = (xc * ss - xs * cs) / det, b = (xs * cc - xc * cs) / det;
  return std::hypot(a, b);
}

// Down and up through both filters at every rate, in blocks, with the tone's level measured
// after the filters have settled.
struct RoundTrip {
  std::vector<float> base, engine;
};

RoundTrip roundTrip(std::size_t rate, bool minimumPhase, double hz, std::size_t seconds100) {
  auto resampler = make(rate, 512, minimumPhase, true);
  const std::size_t factor = resampler->factor();
  const std::size_t total = rate * seconds100 / 100;
  RoundTrip r;
  std::vector<float> in(512), downLeft(512), downRight(512), upLeft(512), upRight(512);
  for (std::size_t start = 0; start + 512 <= total; start += 512) {
    for (std::size_t i = 0; i < 512; ++i) in[i] = 0.5 * std::sin(2 * M_PI * hz * (start + i) / rate);
    std::size_t down = 0, up = 0;
    resampler->Downsample(downLeft.data(), downRight.data(), &down, in.data(), in.data(), 512);
    EXPECT_EQ(down, 512 / factor);
    resampler->Upsample(upLeft.data(), upRight.data(), &up, downLeft.data(), downRight.data(),
                        down);
    EXPECT_EQ(up, 512u);
    r.base.insert(r.base.end(), downLeft.begin(), downLeft.begin() + down);
    r.engine.insert(r.engine.end(), upLeft.begin(), upLeft.begin() + up);
  }
  return r;
}

TEST(Resampler, AOneKilohertzToneKeepsItsLevelDownAndUp) {
  for (const std::size_t rate : {88200u, 96000u, 176400u, 192000u}) {
    for (const bool minimumPhase : {false, true}) {
      const RoundTrip r = roundTrip(rate, minimumPhase, 1000, 10);
      const std::size_t settle = 1024;
      const double base = amplitudeAt(r.base, settle / 4, r.base.size(), 1000,
                                      double(rate) * r.base.size() / r.engine.size());
      const double engine = amplitudeAt(r.engine, settle, r.engine.size(), 1000, rate);
      EXPECT_NEAR(base / 0.5, 1.0, 0.0045) << rate << " phase " << minimumPhase;
      EXPECT_NEAR(engine / 0.5, 1.0, 2 * 0.0045) << rate << " phase " << minimumPhase;
    }
  }
}

TEST(Resampler, ATonePastTheStopEdgeIsRemovedBeforeDecimation) {
  const struct {
    std::size_t rate;
    double tone, attenuationDb;
  } cases[] = {{88200, 30000, 106}, {96000, 31000, 125}, {176400, 60000, 106},
               {192000, 70000, 123}};
  for (const auto& c : cases) {
    const RoundTrip r = roundTrip(c.rate, false, c.tone, 10);
    const double baseRate = double(c.rate) * r.base.size() / r.engine.size();
    const double alias = std::fabs(c.tone - baseRate * std::round(c.tone / baseRate));
    const double level = amplitudeAt(r.base, 512, r.base.size(), alias, baseRate) / 0.5;
    EXPECT_LE(20 * std::log10(level), -(c.attenuationDb - 3)) << c.rate;
  }
}

}  // namespace
