#include "Sampler/sdk/calvatero/convolution/ConvolverMasterLongVardecay.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "tests/Sampler/sdk/calvatero/vardecay/DecayReference.h"
#include "tests/support/ConvolutionKit.h"

namespace {

using calvatero::convolution::ConvolverMaster;
using calvatero::convolution::ConvolverMasterLongVardecay;
using calvatero::convolution::ConvolverMasterVardecay;
using calvatero::convolution::DecayNode;
using calvatero::testing::DecayCall;
using calvatero::testing::decayingConvolution;
using calvatero::testing::factorsOf;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// A reverb-like impulse: noise under an exponential fade, every `stride`th tap kept past the
// first `dense` (so long impulses stay cheap for the reference).
std::vector<float> impulse(std::size_t frames, unsigned seed, std::size_t stride = 1,
                           std::size_t dense = 1600) {
  const std::size_t fade = frames > 20000 ? frames / 4 : 3000;
  std::vector<float> h = kelo::test::noise(frames, seed);
  for (std::size_t k = 0; k < frames; ++k) {
    h[k] *= static_cast<float>(std::exp(-double(k) / double(fade)));
    if (k >= dense && k % stride != 0) h[k] = 0.0f;
  }
  return h;
}

std::unique_ptr<ConvolverMasterVardecay> create(const std::vector<float>& left,
                                                const std::vector<float>& right,
                                                std::size_t maxBlock = 1024) {
  return std::unique_ptr<ConvolverMasterVardecay>(
      ConvolverMasterVardecay::CreateConvolverMasterVardecay(left.data(), right.data(),
                                                             left.size(), maxBlock));
}

struct Output {
  std::vector<float> left, right;
};

// Feeds the calls' frames of `inLeft` and `inRight`, checking after every call that the
// caller's nodes are untouched and every envelope lies within its bounds.
Output drive(ConvolverMasterVardecay& convolver, const std::vector<DecayCall>& calls,
          const std::vector<float>& inLeft, const std::vector<float>& inRight) {
  Output out{std::vector<float>(inLeft.size()), std::vector<float>(inRight.size())};
  auto* engine = dynamic_cast<ConvolverMasterLongVardecay*>(&convolver);
  std::size_t done = 0;
  for (const DecayCall& call : calls) {
    std::vector<DecayNode> nodes = call.nodes;
    convolver.CalculateOutputVariableDecay(out.left.data() + done, out.right.data() + done,
                                           inLeft.data() + done, inRight.data() + done,
                                           call.frames, nodes.empty() ? nullptr : nodes.data(),
                                           nodes.size());
    if (!nodes.empty()) {
      EXPECT_EQ(std::memcmp(nodes.data(), call.nodes.data(), nodes.size() * sizeof(DecayNode)), 0);
    }
    for (std::size_t parser = 0; engine != nullptr && parser < 4; ++parser) {
      const auto& e = engine->envelope(parser);
      EXPECT_TRUE(e.outputLevel() >= 0x1p-53 && e.outputLevel() <= 0x1p50) << parser;
      EXPECT_TRUE(e.inputLevel() >= 0x1p-50 && e.inputLevel() <= 0x1p53) << parser;
    }
    done += call.frames;
  }
  EXPECT_EQ(done, inLeft.size());
  return out;
}

std::size_t totalFrames(const std::vector<DecayCall>& calls) {
  std::size_t total = 0;
  for (const DecayCall& c : calls) total += c.frames;
  return total;
}

// Calls of `pattern` lengths over `total` frames, each with one node of `factor`.
std::vector<DecayCall> constantCalls(std::size_t total, double factor, const char* pattern) {
  std::vector<DecayCall> calls;
  for (const std::size_t n : kelo::test::callPattern(pattern).lengths(total, 1024)) {
    calls.push_back({n, {{factor, n}}});
  }
  return calls;
}

void expectMatchesReference(std::size_t irFrames, std::size_t stride,
                            const std::vector<DecayCall>& calls, std::size_t maxBlock = 1024,
                            double tolerance = 2e-5, std::size_t dense = 1600) {
  const std::vector<float> hLeft = impulse(irFrames, 11, stride, dense);
  const std::vector<float> hRight = impulse(irFrames, 12, stride, dense);
  auto convolver = create(hLeft, hRight, maxBlock);
  const double floor = convolver->GetMinimumAllowableDecayFactor();
  const std::size_t total = totalFrames(calls);
  const std::vector<float> xLeft = kelo::test::noise(total, 21);
  const std::vector<float> xRight = kelo::test::noise(total, 22);
  const Output out = drive(*convolver, calls, xLeft, xRight);
  const std::vector<double> d = factorsOf(calls, floor);
  EXPECT_TRUE(kelo::test::closeToSignal(out.left, decayingConvolution(xLeft, hLeft, d), tolerance))
      << "left";
  EXPECT_TRUE(
      kelo::test::closeToSignal(out.right, decayingConvolution(xRight, hRight, d), tolerance))
      << "right";
}

double minimumFor(std::size_t irFrames) {
  const std::vector<float> h = impulse(irFrames, 1);
  return create(h, h)->GetMinimumAllowableDecayFactor();
}

TEST(VardecayConvolver, MinimumAllowableFactorIsTheLongerCycles) {
  // Stage 2's cycle (its partition count x 1024 frames) is longer than stage 1's (1024), so it
  // sets the minimum: a whole cycle at the minimum factor multiplies to 2^-100.
  for (const std::size_t irFrames : {100u, 1600u, 5000u, 20000u}) {
    SCOPED_TRACE(irFrames);
    const std::vector<float> h = impulse(irFrames, 1);
    auto convolver = create(h, h);
    const auto& engine = dynamic_cast<const ConvolverMasterLongVardecay&>(*convolver);
    EXPECT_EQ(engine.envelope(0).cycleLength(), 1024u);
    EXPECT_EQ(engine.envelope(1).cycleLength(), 1024u);
    const std::size_t cycle = engine.envelope(2).cycleLength();
    EXPECT_EQ(engine.envelope(3).cycleLength(), cycle);
    EXPECT_EQ(cycle % 1024, 0u);
    EXPECT_GT(cycle, 1024u);
    EXPECT_GE(cycle, 1024 * ((irFrames > 1600 ? irFrames : 1600) - 544) / 1024);
    EXPECT_DOUBLE_EQ(convolver->GetMinimumAllowableDecayFactor(), std::pow(0x1p-100, 1.0 / cycle));
    EXPECT_NEAR(std::log2(convolver->GetMinimumAllowableDecayFactor()) * cycle, -100, 1e-9);
  }
}

TEST(VardecayConvolver, ConstantFactorsAtEveryImpulseLength) {
  const struct {
    std::size_t irFrames, stride, frames;
    const char* pattern;
  } cases[] = {{100, 1, 24000, "random"},
               {1600, 1, 24000, "31-32-33"},
               {5000, 1, 24000, "1024"},
               {20000, 61, 60000, "5000"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.irFrames);
    const double d = std::sqrt(minimumFor(c.irFrames));  // well inside the range
    expectMatchesReference(c.irFrames, c.stride, constantCalls(c.frames, 1 - (1 - d) / 2, c.pattern));
  }
}

// From about 40000 frames the second stage's way filters are three-way splits, whose previous
// cycle's products are formed apart (Filter3Vardecay); the impulse fades slowly enough that
// those taps count in the output.
TEST(VardecayConvolver, LongImpulsesWithSplitFilters) {
  for (const std::size_t irFrames : {40000u, 100000u}) {
    SCOPED_TRACE(irFrames);
    // Gentle factors: a whole stage-2 cycle then attenuates by about 0.5, not to nothing.
    std::vector<DecayCall> calls;
    for (std::size_t done = 0, i = 0; done < 2 * irFrames + 30000; ++i) {
      const std::size_t n = 3000 + (i * 7919) % 9000;
      calls.push_back({n, {{1.0, n / 3}, {1 - 20.0 / irFrames, n / 3}, {1 - 5.0 / irFrames, n}}});
      done += n;
    }
    expectMatchesReference(irFrames, 499, calls, 1024, 2e-5, 32);
  }
}

TEST(VardecayConvolver, NodeRules) {
  const double lo = minimumFor(5000) + 1e-4;
  const struct {
    const char* name;
    std::vector<DecayCall> calls;
  } cases[] = {
      {"change inside a call at a node boundary",
       {{7000, {{0.9995, 3001}, {lo, 2000}, {1.0, 1999}}}, {7000, {{0.999, 5000}, {0.9999, 2000}}},
        {7000, {{lo, 7000}}}}},
      {"zero-frame nodes",
       {{6000, {{0.5, 0}, {0.9995, 3000}, {lo, 0}, {0.999, 3000}}}, {6000, {{0.997, 0}, {1.0, 6000}}},
        {9000, {{0.9996, 0}}}}},
      {"nodes covering less than the call",
       {{8000, {{0.9995, 100}, {0.999, 200}}}, {8000, {{0.9999, 1}}}, {5000, {{0.998, 2}}}}},
      {"no nodes continue the factor in force",
       {{3000, {}}, {3000, {{0.999, 3000}}}, {10000, {}}, {5000, {{0.9998, 5000}}}, {4000, {}}}},
      {"nodes beyond the call are ignored",
       {{5000, {{0.999, 4000}, {0.9995, 4000}, {0.5, 10}}}, {16000, {}}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    expectMatchesReference(5000, 1, c.calls);
  }
}

TEST(VardecayConvolver, OutOfRangeAndNaNFactorsAreSanitised) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<DecayCall> calls = {
      {6000, {{2.0, 1000}, {0.999, 1000}, {kNaN, 2000}, {0.1, 2000}}},
      {6000, {{kNaN, 3000}, {-1.0, 3000}}},
      {6000, {{inf, 3000}, {-inf, 3000}}},
      {6000, {{0.0, 6000}}},
      {6000, {{kNaN, 6000}}},
  };
  expectMatchesReference(5000, 1, calls);
}

TEST(VardecayConvolver, LongRunsAtTheMinimumAllowableFactor) {
  for (const std::size_t irFrames : {1600u, 5000u}) {
    SCOPED_TRACE(irFrames);
    const double d = minimumFor(irFrames);
    std::vector<DecayCall> calls = constantCalls(60000, d, "random");
    expectMatchesReference(irFrames, 1, calls);
  }
}

TEST(VardecayConvolver, CallsLongerThanTheScratchRunInChunks) {
  const std::vector<DecayCall> calls = {
      {5000, {{0.9995, 2500}, {0.999, 2500}}}, {3000, {}}, {17, {{0.9999, 17}}}, {12000, {}}};
  for (const std::size_t maxBlock : {0u, 1u, 64u, 100u, 5000u}) {
    SCOPED_TRACE(maxBlock);
    expectMatchesReference(5000, 1, calls, maxBlock);
  }
}

TEST(VardecayConvolver, ResetInTheMiddleOfABlockEqualsANewConvolver) {
  const std::vector<float> hLeft = impulse(5000, 3), hRight = impulse(5000, 4);
  auto used = create(hLeft, hRight);
  const std::vector<float> x = kelo::test::noise(30000, 5);
  const std::vector<DecayCall> before = {{10000, {{0.9993, 4000}, {0.9999, 6000}}}, {1237, {}}};
  drive(*used, before, std::vector<float>(x.begin(), x.begin() + 11237),
        std::vector<float>(x.begin(), x.begin() + 11237));
  used->Reset();
  auto fresh = create(hLeft, hRight);
  const std::vector<DecayCall> after = {{13, {}}, {9000, {{0.9995, 9000}}}, {7000, {}}};
  const std::vector<float> y(x.begin(), x.begin() + 16013);
  const Output a = drive(*used, after, y, y);
  const Output b = drive(*fresh, after, y, y);
  EXPECT_EQ(std::memcmp(a.left.data(), b.left.data(), a.left.size() * sizeof(float)), 0);
  EXPECT_EQ(std::memcmp(a.right.data(), b.right.data(), a.right.size() * sizeof(float)), 0);
}

TEST(VardecayConvolver, ShortImpulsesArePaddedToSixteenHundredFrames) {
  const std::vector<float> h = impulse(100, 8);
  std::vector<float> padded = h;
  padded.resize(1600, 0.0f);
  auto shortOne = create(h, h);
  auto paddedOne = create(padded, padded);
  const std::vector<float> x = kelo::test::noise(12000, 9);
  const std::vector<DecayCall> calls = constantCalls(12000, 0.9997, "3-4-5-7-8-9");
  const Output a = drive(*shortOne, calls, x, x);
  const Output b = drive(*paddedOne, calls, x, x);
  EXPECT_EQ(std::memcmp(a.left.data(), b.left.data(), a.left.size() * sizeof(float)), 0);
}

TEST(VardecayConvolver, WithEveryFactorOneItEqualsThePlainConvolver) {
  for (const std::size_t irFrames : {100u, 1600u, 5000u, 20000u}) {
    SCOPED_TRACE(irFrames);
    const std::vector<float> hLeft = impulse(irFrames, 13), hRight = impulse(irFrames, 14);
    auto vardecay = create(hLeft, hRight);
    std::unique_ptr<ConvolverMaster> plain(ConvolverMaster::CreateConvolverMaster(
        hLeft.data(), hRight.data(), irFrames, 1024));
    const std::vector<float> xLeft = kelo::test::noise(50000, 15);
    const std::vector<float> xRight = kelo::test::noise(50000, 16);
    std::vector<DecayCall> calls = constantCalls(50000, 1.0, "random");
    calls[1].nodes.clear();
    const Output a = drive(*vardecay, calls, xLeft, xRight);
    const kelo::test::StereoSignal b = kelo::test::driveStereo(
        [&](float* ol, float* orr, const float* il, const float* ir, std::size_t n) {
          plain->CalculateOutput(ol, orr, il, ir, n);
        },
        {xLeft, xRight}, kelo::test::callPattern("random").lengths(50000, 1024));
    EXPECT_TRUE(kelo::test::closeToSignal(
        a.left, std::vector<double>(b.left.begin(), b.left.end()), 1e-5));
    EXPECT_TRUE(kelo::test::closeToSignal(
        a.right, std::vector<double>(b.right.begin(), b.right.end()), 1e-5));
  }
}

}  // namespace

namespace {

// Plug-ins process in place: outputs that are the inputs (or each other's) still give the
// decaying convolution, with nodes of every kind cut across the calls.
TEST(VardecayConvolver, OutputsThatAreTheInputsGiveTheDecayingConvolution) {
  for (const std::size_t irFrames : {1600u, 5000u}) {
    const std::vector<float> hLeft = impulse(irFrames, 31), hRight = impulse(irFrames, 32);
    const std::size_t frames = irFrames + 8000;
    const std::vector<float> xLeft = kelo::test::noise(frames, 33);
    const std::vector<float> xRight = kelo::test::noise(frames, 34);
    std::vector<DecayCall> calls;
    const auto lengths = kelo::test::callPattern("random").lengths(frames, 1024);
    for (std::size_t i = 0; i < lengths.size(); ++i) {
      const std::size_t n = lengths[i];
      switch (i % 4) {
        case 0: calls.push_back({n, {}}); break;
        case 1: calls.push_back({n, {{0.9996, n}}}); break;
        case 2: calls.push_back({n, {{0.9993, n / 3}, {0.5, 0}, {kNaN, n / 4}, {0.9999, n}}}); break;
        default: calls.push_back({n, {{0.9991, 1}, {0.9998, 2}}}); break;
      }
    }
    for (const bool swapped : {false, true}) {
      SCOPED_TRACE(::testing::Message() << irFrames << (swapped ? ", swapped" : ""));
      auto convolver = create(hLeft, hRight);
      const std::vector<double> d = factorsOf(calls, convolver->GetMinimumAllowableDecayFactor());
      std::size_t index = 0;
      const auto out = kelo::test::driveStereoInPlace(
          [&](float* ol, float* orr, const float* il, const float* ir, std::size_t n) {
            const std::vector<DecayNode>& nodes = calls[index++].nodes;
            convolver->CalculateOutputVariableDecay(ol, orr, il, ir, n,
                                                    nodes.empty() ? nullptr : nodes.data(),
                                                    nodes.size());
          },
          {xLeft, xRight}, lengths, swapped);
      EXPECT_TRUE(kelo::test::closeToSignal(out.left, decayingConvolution(xLeft, hLeft, d), 2e-5));
      EXPECT_TRUE(
          kelo::test::closeToSignal(out.right, decayingConvolution(xRight, hRight, d), 2e-5));
    }
  }
}

}  // namespace
