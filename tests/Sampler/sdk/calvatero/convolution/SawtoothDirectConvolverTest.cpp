#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "Sampler/sdk/calvatero/convolution/SawtoothDirectConvolver.h"
#include "tests/Sampler/sdk/calvatero/support/AlignedAllocationProbe.h"
#include "tests/Sampler/sdk/calvatero/support/Reference.h"

namespace {

constexpr std::size_t kCycle = 32;

// Convolution within each 32-sample cycle only: y[n] = sum over m <= n of the same cycle.
std::vector<double> withinCycle(const std::vector<float>& x, const std::vector<float>& h) {
  std::vector<double> y(x.size());
  for (std::size_t n = 0; n < x.size(); ++n) {
    for (std::size_t m = n - n % kCycle; m <= n; ++m) {
      if (n - m < h.size()) y[n] += static_cast<double>(x[m]) * h[n - m];
    }
  }
  return y;
}

// Runs `x` through the convolver in calls of the given sizes (each within one cycle).
std::vector<float> run(SawtoothDirectConvolver& c, const std::vector<float>& x,
                       const std::vector<std::size_t>& calls) {
  std::vector<float> y(x.size());
  std::size_t at = 0;
  for (const std::size_t frames : calls) {
    c.CalculateOutput(y.data() + at, x.data() + at, frames);
    at += frames;
  }
  return y;
}

// Random call sizes that split every cycle at random points.
std::vector<std::size_t> randomSplit(std::size_t cycles, std::mt19937& rng) {
  std::vector<std::size_t> calls;
  for (std::size_t c = 0; c < cycles; ++c) {
    std::size_t left = kCycle;
    while (left > 0) {
      const std::size_t frames = std::uniform_int_distribution<std::size_t>(0, left)(rng);
      calls.push_back(frames);
      left -= frames;
    }
  }
  return calls;
}

void expectClose(const std::vector<float>& actual, const std::vector<double>& expected,
                 const char* what) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < actual.size(); ++i) {
    ASSERT_NEAR(actual[i], expected[i], 2e-6 * (1 + std::abs(expected[i]))) << what << " at " << i;
  }
}

TEST(SawtoothDirectConvolver, MatchesWithinCycleConvolutionOverRandomSplits) {
  std::mt19937 rng(42);
  const std::vector<float> h = calvatero::testing::randomFloats(kCycle, 1);
  const std::vector<float> x = calvatero::testing::randomFloats(3 * kCycle, 2);
  const std::vector<double> expected = withinCycle(x, h);
  SawtoothDirectConvolver c(kCycle, h.data());
  for (int trial = 0; trial < 300; ++trial) {
    expectClose(run(c, x, randomSplit(3, rng)), expected, "random split");
  }
}

TEST(SawtoothDirectConvolver, UnitImpulsePassesTheInputAndOnesSumTheCycleSoFar) {
  std::vector<float> unit(kCycle), ones(kCycle, 1.0f);
  unit[0] = 1;
  const std::vector<float> x = calvatero::testing::randomFloats(2 * kCycle, 3);
  for (const auto& calls : {std::vector<std::size_t>{1, 31, 1, 31}, {3, 5, 24, 3, 5, 24}, {32, 32}}) {
    SawtoothDirectConvolver identity(kCycle, unit.data());
    expectClose(run(identity, x, calls), std::vector<double>(x.begin(), x.end()), "unit impulse");
    SawtoothDirectConvolver summing(kCycle, ones.data());
    std::vector<double> sums(x.size());
    for (std::size_t n = 0; n < x.size(); ++n) {
      sums[n] = (n % kCycle ? sums[n - 1] : 0.0) + x[n];  // earlier cycles never appear
    }
    expectClose(run(summing, x, calls), sums, "ones");
  }
}

TEST(SawtoothDirectConvolver, ShorterImpulsesAreZeroPadded) {
  const std::vector<float> h = calvatero::testing::randomFloats(13, 4);
  const std::vector<float> x = calvatero::testing::randomFloats(kCycle, 5);
  SawtoothDirectConvolver c(h.size(), h.data());
  expectClose(run(c, x, {7, 25}), withinCycle(x, h), "13 taps");
}

TEST(SawtoothDirectConvolver, ResetInMidCycleForgetsThePartialCycle) {
  const std::vector<float> h = calvatero::testing::randomFloats(kCycle, 6);
  const std::vector<float> x = calvatero::testing::randomFloats(kCycle, 7);
  SawtoothDirectConvolver c(kCycle, h.data());
  std::vector<float> scratch(kCycle);
  c.CalculateOutput(scratch.data(), x.data(), 13);
  c.Reset();
  expectClose(run(c, x, {5, 27}), withinCycle(x, h), "after reset");
}

TEST(SawtoothDirectConvolver, FailedAllocationReleasesEverything) {
  const std::vector<float> h(kCycle, 1.0f);
  long calls;
  {
    calvatero::testing::AlignedAllocationProbe probe;
    SawtoothDirectConvolver c(kCycle, h.data());
    calls = probe.calls();
  }
  for (long k = 1; k <= calls; ++k) {
    calvatero::testing::AlignedAllocationProbe probe(k);
    EXPECT_THROW(SawtoothDirectConvolver(kCycle, h.data()), std::bad_alloc) << k;
    EXPECT_EQ(probe.liveBlocks(), 0) << k;
  }
}

TEST(SawtoothDirectConvolverDeathTest, PreconditionsNameTheirCondition) {
  std::vector<float> h(kCycle + 1, 1.0f), x(kCycle + 1), y(kCycle + 1);
  EXPECT_DEATH(SawtoothDirectConvolver(kCycle + 1, h.data()),
               calvatero::testing::literally("impulseFrames<=halfFDLen"));
  SawtoothDirectConvolver c(kCycle, h.data());
  EXPECT_DEATH(c.CalculateOutput(y.data(), nullptr, 4),
               calvatero::testing::literally("pInput != 0 && pOutput != 0"));
  c.CalculateOutput(y.data(), x.data(), 30);
  EXPECT_DEATH(c.CalculateOutput(y.data(), x.data(), 3),
               calvatero::testing::literally("_writeCursor <= _halfInputFDLength"));
}

}  // namespace
