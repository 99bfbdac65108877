#include "Sampler/sdk/calvatero/convolution/DecayEnvelope.h"

#include <cmath>
#include <cstring>
#include <deque>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "tests/Sampler/sdk/calvatero/vardecay/DecayReference.h"
#include "tests/support/ConvolutionKit.h"

namespace {

using calvatero::convolution::DecayEnvelope;
using calvatero::convolution::DecayNode;
using calvatero::testing::DecayCall;
using calvatero::testing::decayingConvolution;
using calvatero::testing::factorsOf;

// A plain direct convolution whose stored history the envelope rescales at cycle starts: what
// the real stages do in the frequency domain, here in double to test the bookkeeping alone.
class DirectStage final : public DecayEnvelope::Stage {
 public:
  explicit DirectStage(std::vector<float> h) : h_(std::move(h)), history_(h_.size(), 0.0) {}
  void ConvolveBoosted(float* out, const float* boosted, std::size_t frames,
                       std::size_t cyclePosition) override {
    for (std::size_t i = 0; i < frames; ++i) {
      history_.pop_back();
      history_.push_front(boosted[i]);
      double sum = 0;
      for (std::size_t k = 0; k < h_.size(); ++k) sum += h_[k] * history_[k];
      out[i] = static_cast<float>(sum);
    }
  }
  void SetCycleBoundaryAttenuation(float attenuation) override {
    attenuations.push_back(attenuation);
    for (double& x : history_) x *= attenuation;
  }
  std::vector<float> attenuations;

 private:
  std::vector<float> h_;
  std::deque<double> history_;  // newest first
};

struct Scenario {
  const char* name;
  std::size_t cycle, start, chunk;
  std::vector<DecayCall> calls;
};

std::vector<DecayCall> repeated(std::size_t count, const DecayCall& call) {
  return std::vector<DecayCall>(count, call);
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();

std::vector<Scenario> scenarios() {
  const double min256 = std::pow(0x1p-100, 1.0 / 256);
  return {
      {"ConstantFactor", 256, 0, 1024, repeated(12, {100, {{0.99, 100}}})},
      {"ChangeAtANodeBoundary", 256, 128, 1024,
       {{300, {{0.999, 37}, {0.95, 200}, {1.0, 63}}}, {300, {{0.97, 300}}}, {200, {}}}},
      {"ZeroFrameNodesAreSkipped", 256, 0, 1024,
       {{200, {{0.9, 0}, {0.99, 50}, {0.5, 0}, {0.98, 150}}}, {200, {{0.97, 0}, {0.995, 200}}}}},
      {"LastNodeCoversTheRest", 256, 0, 1024, {{300, {{0.99, 10}, {0.96, 20}}}, {300, {}}}},
      {"NodesBeyondTheCallAreIgnored", 256, 0, 1024,
       {{100, {{0.99, 60}, {0.9, 100}, {0.5, 100}}}, {100, {}}}},
      {"NoNodesContinueTheFactorInForce", 256, 0, 1024,
       {{50, {}}, {50, {{0.98, 50}}}, {400, {}}, {100, {}}}},
      {"MinimumFactorForManyCycles", 256, 64, 1024, repeated(20, {333, {{min256, 333}}})},
      {"OutOfRangeAndNaNFactors", 256, 0, 1024,
       {{200, {{1.5, 50}, {0.99, 50}, {kNaN, 50}, {-3.0, 50}}},
        {200, {{kNaN, 100}, {0.0, 100}}},
        {200, {{std::numeric_limits<double>::infinity(), 200}}},
        {200, {{-std::numeric_limits<double>::infinity(), 200}}}}},
      {"LongCallInChunks", 1024, 512, 100, {{5000, {{0.999, 2500}, {0.995, 2500}}}}},
      {"SingleFrameCalls", 64, 0, 3, repeated(300, {1, {{0.97, 1}}})},
  };
}

TEST(DecayEnvelope, MatchesTheDecayingConvolution) {
  const std::vector<float> h = kelo::test::noise(80, 7);
  for (const Scenario& s : scenarios()) {
    SCOPED_TRACE(s.name);
    DirectStage stage(h);
    DecayEnvelope envelope(stage, s.cycle, s.start, s.chunk, false);
    const double floor = envelope.GetMinimumAllowableDecayFactor();
    std::size_t total = 0;
    for (const DecayCall& c : s.calls) total += c.frames;
    const std::vector<float> x = kelo::test::noise(total, 3);
    std::vector<float> y(total, 0.0f);
    std::size_t done = 0;
    for (const DecayCall& c : s.calls) {
      const std::vector<DecayNode> before = c.nodes;
      envelope.Run(y.data() + done, x.data() + done, c.frames,
                   c.nodes.empty() ? nullptr : c.nodes.data(), c.nodes.size());
      for (std::size_t j = 0; j < before.size(); ++j) {  // the caller's nodes stay as they were
        ASSERT_EQ(std::memcmp(&before[j], &c.nodes[j], sizeof(DecayNode)), 0);
      }
      ASSERT_GE(envelope.outputLevel(), 0x1p-53);
      ASSERT_LE(envelope.outputLevel(), 0x1p50);
      done += c.frames;
    }
    const std::vector<double> expected = decayingConvolution(x, h, factorsOf(s.calls, floor));
    EXPECT_TRUE(kelo::test::closeToSignal(y, expected, 2e-6));
    EXPECT_EQ(stage.attenuations.size(), (s.start + total - 1) / s.cycle + (s.start == 0 ? 1 : 0))
        << "one boundary per cycle start reached";
  }
}

TEST(DecayEnvelope, SecondStageAddsItsShare) {
  const std::vector<float> h = kelo::test::noise(40, 9);
  DirectStage stage(h);
  DecayEnvelope envelope(stage, 128, 0, 1024, true);
  const std::vector<float> x = kelo::test::noise(500, 4);
  std::vector<float> y(500, 1.0f);
  const DecayNode node{0.98, 500};
  envelope.Run(y.data(), x.data(), 500, &node, 1);
  std::vector<double> expected = decayingConvolution(x, h, std::vector<double>(500, 0.98));
  for (double& e : expected) e += 1.0;
  EXPECT_TRUE(kelo::test::closeToSignal(y, expected, 2e-6));
}

TEST(DecayEnvelope, MinimumFactorKeepsAWholeCycleAtTwoToTheMinusHundred) {
  for (const std::size_t cycle : {1024u, 2048u, 20480u}) {
    DirectStage stage({1.0f});
    DecayEnvelope envelope(stage, cycle, 0, 1024, false);
    const double d = envelope.GetMinimumAllowableDecayFactor();
    EXPECT_NEAR(std::log2(d) * cycle, -100.0, 1e-9) << cycle;
  }
}

TEST(DecayEnvelope, ResetReturnsToTheCreationState) {
  DirectStage stage({1.0f});
  DecayEnvelope envelope(stage, 256, 100, 64, false);
  const std::vector<float> x = kelo::test::noise(333, 6);
  std::vector<float> y(333);
  const DecayNode node{0.95, 333};
  envelope.Run(y.data(), x.data(), 333, &node, 1);
  envelope.Reset();
  EXPECT_EQ(envelope.factor(), 1.0);
  EXPECT_EQ(envelope.cyclePosition(), 100u);
  EXPECT_EQ(envelope.inputLevel(), 0x1p-50);
  EXPECT_EQ(envelope.outputLevel(), 0x1p50);
}

}  // namespace
