// Reshaping of the room reverb's response: the stretch by size against a Catmull-Rom spline
// computed here in double, the decay fade in dB, the pre-delay, and the answers that leave the
// working channels as they were.
#include <gtest/gtest.h>

#include <cmath>
#include <new>
#include <vector>

#include "effects/reverb/ImpulseResponse.h"
#include "tests/Sampler/sdk/calvatero/support/AlignedAllocationProbe.h"
#include "tests/effects/reverb/ReverbKit.h"

namespace kelo::test {
namespace {

using calvatero::testing::AlignedAllocationProbe;

struct Response {
  std::vector<std::vector<float>> channels;
  std::vector<const float*> pointers;
  explicit Response(std::vector<std::vector<float>> samples) : channels(std::move(samples)) {
    for (const auto& channel : channels) pointers.push_back(channel.data());
  }
  acme::ImpulseResponse make(double rate = 48000) const {
    return acme::ImpulseResponse(pointers.data(), channels.size(),
                                 channels.empty() ? 0 : channels[0].size(), rate);
  }
};

std::vector<float> working(const acme::ImpulseResponse& ir, std::uint64_t channel) {
  return {ir.getWorking(channel), ir.getWorking(channel) + ir.getCurFrames()};
}

// Catmull-Rom through x[i-1..i+2] at i + w, zeros outside, in double.
double catmullRom(const std::vector<float>& x, double position) {
  const auto i = static_cast<long>(position);
  const double w = position - static_cast<double>(i);
  auto at = [&](long j) { return j >= 0 && j < static_cast<long>(x.size()) ? double(x[j]) : 0.0; };
  const double p0 = at(i - 1), p1 = at(i), p2 = at(i + 1), p3 = at(i + 2);
  return 0.5 * (2 * p1 + (p2 - p0) * w + (2 * p0 - 5 * p1 + 4 * p2 - p3) * w * w +
                (3 * (p1 - p2) + p3 - p0) * w * w * w);
}

TEST(ImpulseResponse, TheDefaultsGiveTheDeliveredSamples) {
  const Response source(decayingNoise(3001, 2, 7));
  acme::ImpulseResponse ir = source.make();
  ASSERT_EQ(ir.Modify(0, 0.5f, 1.0f), 0);
  ASSERT_EQ(ir.getCurFrames(), 3001u);
  for (std::uint64_t c = 0; c < 2; ++c) EXPECT_EQ(working(ir, c), source.channels[c]) << c;
}

TEST(ImpulseResponse, SizeStretchesByCatmullRom) {
  struct Case {
    float size;
    std::uint64_t frames;
  } const cases[] = {{1.0f, 67881}, {0.0f, 33940}, {0.75f, 57940}, {0.25f, 40970}};
  const Response source(decayingNoise(48000, 1, 8));
  for (const Case& c : cases) {
    acme::ImpulseResponse ir = source.make();
    ASSERT_EQ(ir.Modify(0, c.size, 1.0f), 0) << c.size;
    ASSERT_EQ(ir.getCurFrames(), c.frames) << c.size;
    const double step = 1.0 / acme::ImpulseResponse::stretchFactor(c.size);
    const std::vector<float> out = working(ir, 0);
    for (std::uint64_t t = 0; t < c.frames; t += 97)
      ASSERT_NEAR(out[t], catmullRom(source.channels[0], t * step), 1e-5) << c.size << " @" << t;
  }
}

TEST(ImpulseResponse, DecayZeroFadesBy200DecibelsFrom35Milliseconds) {
  const Response source({std::vector<float>(48000, 0.5f)});
  acme::ImpulseResponse ir = source.make(48000);
  ASSERT_EQ(ir.Modify(0, 0.5f, 0.0f), 0);
  const std::vector<float> out = working(ir, 0);
  for (std::size_t t = 0; t <= 1680; ++t) ASSERT_EQ(out[t], 0.5f) << t;
  const double n = 48000 - 1680;
  const double expectedDb = -200.0 * (n - 1) / n;
  EXPECT_NEAR(20 * std::log10(double(out[47999]) / out[1680]), expectedDb, 1e-3);
  EXPECT_NEAR(20 * std::log10(double(out[24840]) / out[1680]), -100.0, 1e-3);
  // Half the decay, half the fall; decay 1 and above, or negative, leave it alone.
  ASSERT_EQ(ir.Modify(0, 0.5f, 0.5f), 0);
  EXPECT_NEAR(20 * std::log10(double(working(ir, 0)[47999]) / 0.5), expectedDb / 2, 1e-3);
  for (float decay : {1.0f, 1.5f, -0.1f}) {
    ASSERT_EQ(ir.Modify(0, 0.5f, decay), 0);
    EXPECT_EQ(working(ir, 0), source.channels[0]) << decay;
  }
}

TEST(ImpulseResponse, PreDelayAddsOrDropsLeadingFrames) {
  const Response source(decayingNoise(1000, 2, 9));
  acme::ImpulseResponse ir = source.make();
  ASSERT_EQ(ir.Modify(100, 0.5f, 1.0f), 0);
  ASSERT_EQ(ir.getCurFrames(), 1100u);
  std::vector<float> expected(100, 0.0f);
  expected.insert(expected.end(), source.channels[1].begin(), source.channels[1].end());
  EXPECT_EQ(working(ir, 1), expected);

  ASSERT_EQ(ir.Modify(-100, 0.5f, 1.0f), 0);
  EXPECT_EQ(working(ir, 0), std::vector<float>(source.channels[0].begin() + 100, source.channels[0].end()));
  ASSERT_EQ(ir.Modify(-999, 0.5f, 1.0f), 0);
  EXPECT_EQ(working(ir, 0), std::vector<float>{source.channels[0][999]});
}

TEST(ImpulseResponse, ModifyTwiceEqualsOnce) {
  const Response source(decayingNoise(5000, 2, 10));
  acme::ImpulseResponse once = source.make(), twice = source.make();
  ASSERT_EQ(once.Modify(37, 0.8f, 0.3f), 0);
  ASSERT_EQ(twice.Modify(-20, 0.1f, 0.9f), 0);
  ASSERT_EQ(twice.Modify(37, 0.8f, 0.3f), 0);
  ASSERT_EQ(twice.Modify(37, 0.8f, 0.3f), 0);
  for (std::uint64_t c = 0; c < 2; ++c) EXPECT_EQ(working(twice, c), working(once, c));
}

TEST(ImpulseResponse, RefusedReshapesChangeNothingAndKeepNothing) {
  const Response source(decayingNoise(1000, 2, 12));
  acme::ImpulseResponse ir = source.make();
  ASSERT_EQ(ir.Modify(5, 0.7f, 0.5f), 0);
  const std::vector<float> before = working(ir, 1);
  const std::uint64_t frames = ir.getCurFrames();
  struct Case {
    std::int64_t preDelay;
    float size;
    std::int32_t answer;
  } const cases[] = {
      {-1000, 0.5f, 1},          // -e
      {-5000, 0.5f, 1},
      {0, -2.0f, 1},             // a negative stretch, whatever the pre-delay
      {1000000, -2.0f, 1},
      {0, NAN, 1},
      {0, 1e30f, 2},             // no heap holds it
      {INT64_MAX, 1.0f, 2},
      {INT64_MIN, 1.0f, 1},
  };
  for (const Case& c : cases) {
    AlignedAllocationProbe probe;
    EXPECT_EQ(ir.Modify(c.preDelay, c.size, 0.2f), c.answer) << c.preDelay << " " << c.size;
    EXPECT_EQ(probe.calls(), 0) << c.preDelay << " " << c.size;
  }
  for (long failAt = 1; failAt <= 4; ++failAt) {
    AlignedAllocationProbe probe(failAt);
    EXPECT_EQ(ir.Modify(0, 0.2f, 0.2f), 2) << failAt;
    EXPECT_EQ(probe.liveBlocks(), 0) << failAt;
  }
  EXPECT_EQ(ir.getCurFrames(), frames);
  EXPECT_EQ(working(ir, 1), before);
}

TEST(ImpulseResponse, AFailedCopyFreesWhatItMadeAndThrows) {
  const Response source(decayingNoise(100, 3, 13));
  for (long failAt = 1; failAt <= 6; ++failAt) {
    AlignedAllocationProbe probe(failAt);
    EXPECT_THROW(source.make(), std::bad_alloc) << failAt;
    EXPECT_EQ(probe.liveBlocks(), 0) << failAt;
  }
  const Response none({});
  acme::ImpulseResponse empty = none.make();
  EXPECT_EQ(empty.getNumChannels(), 0u);
  EXPECT_EQ(empty.Modify(10, 1.0f, 0.0f), 0);
  EXPECT_EQ(empty.getCurFrames(), 10u);
}

}  // namespace
}  // namespace kelo::test
