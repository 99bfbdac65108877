#include "Sampler/sdk/StringBed/PianoHarp.h"
#include "Sampler/sdk/StringBed/HarpLowpassTables.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/Sampler/sdk/StringBed/HarpImpulseFile.h"
#include "tests/Sampler/sdk/calvatero/support/AlignedAllocationProbe.h"
#include "tests/Sampler/sdk/calvatero/vardecay/DecayReference.h"
#include "tests/support/ConvolutionKit.h"
#include "tests/support/TempDir.h"

namespace {

using kelo::test::StereoImpulse16;

constexpr const char* kName = "harp";

std::string fileFor(const kelo::test::TempDir& dir, unsigned long impulseRate) {
  return dir.file(kName + std::to_string(impulseRate / 1000));
}

StereoImpulse16 writeImpulse(const kelo::test::TempDir& dir, unsigned long impulseRate,
                             std::size_t frames, unsigned seed = 1) {
  const StereoImpulse16 impulse = kelo::test::decayingNoise16(frames, seed);
  EXPECT_TRUE(kelo::test::writeImpulseFile(fileFor(dir, impulseRate), impulse));
  return impulse;
}

struct HarpDelete {
  void operator()(PianoHarp* harp) const { delete harp; }
};
using Harp = std::unique_ptr<PianoHarp, HarpDelete>;

Harp build(const kelo::test::TempDir& dir, unsigned long maxBlock, unsigned long rate,
           float gain = 1.0f, unsigned long* errorOut = nullptr) {
  unsigned long error = 99;
  Harp harp(makePianoHarp(dir.path().c_str(), kName, maxBlock, &error, 0, 0, rate, gain));
  if (errorOut != nullptr) *errorOut = error;
  EXPECT_EQ(harp != nullptr, error == 0);
  return harp;
}

// Runs a signal through a harp in calls of `lengths`, handing each call the events that fall
// in it (an event at a call's end frame is handed to that call).
struct Event {
  std::size_t frame;  // within the whole signal
  double pedal;
  bool atEndOfCall = false;  // give it to the call ending there instead of the next one
};
kelo::test::StereoSignal run(PianoHarp& harp, kelo::test::StereoSignal signal,
                             const std::vector<std::size_t>& lengths,
                             const std::vector<Event>& events, double level,
                             std::size_t* mostHeld = nullptr) {
  std::size_t start = 0;
  for (const std::size_t n : lengths) {
    std::vector<tagThinSusEvent> block;
    for (const Event& e : events) {
      const bool inside = e.atEndOfCall ? e.frame > start && e.frame <= start + n
                                        : e.frame >= start && e.frame < start + n;
      if (inside) block.push_back({e.frame - start, e.pedal});
    }
    float* pair[2] = {signal.left.data() + start, signal.right.data() + start};
    harp.CalculateCurrentHarpOutput(n, pair, block.data(), block.size(), level, false);
    if (mostHeld != nullptr) *mostHeld = std::max(*mostHeld, harp.heldFrames());
    start += n;
  }
  return signal;
}

std::vector<std::size_t> blocksOf(std::size_t total, std::size_t block) {
  std::vector<std::size_t> lengths(total / block, block);
  if (total % block != 0) lengths.push_back(total % block);
  return lengths;
}

TEST(HarpBuild, PicksTheImpulseRateAndDecimationForTheEngineRate) {
  const struct {
    unsigned long rate, maxBlock, block;
    unsigned shift;
    unsigned long impulseRate;
  } kCases[] = {
      {44100, 512, 512, 0, 44100},  {192000, 500, 500, 2, 48000}, {22050, 256, 256, 0, 44100},
      {48000, 100, 100, 0, 48000},  {88200, 511, 512, 1, 44100},  {96000, 3, 4, 1, 48000},
      {176400, 64, 64, 2, 44100},   {100000, 64, 64, 0, 96000},   {150000, 64, 64, 0, 176400},
      {384000, 64, 64, 0, 192000},  {46000, 64, 64, 0, 48000},    {91999, 64, 64, 0, 88200},
  };
  for (const auto& c : kCases) {
    kelo::test::TempDir dir;  // only the expected file exists
    writeImpulse(dir, c.impulseRate, 200);
    const Harp harp = build(dir, c.maxBlock, c.rate);
    ASSERT_NE(harp, nullptr) << c.rate;
    EXPECT_EQ(harp->maxBufferSize(), c.block) << c.rate;
    EXPECT_EQ(harp->shift(), c.shift) << c.rate;
    EXPECT_EQ(harp->impulseRate(), c.impulseRate) << c.rate;
    EXPECT_EQ(harp->decimating(), c.shift > 0) << c.rate;
  }
  // Built directly, a block the factor does not divide decimates less.
  kelo::test::TempDir dir;
  for (const unsigned long impulseRate : {192000ul, 96000ul}) writeImpulse(dir, impulseRate, 200);
  const struct {
    unsigned long block;
    unsigned shift;
    unsigned long impulseRate;
  } kDirect[] = {{501, 0, 192000}, {502, 1, 96000}};
  for (const auto& c : kDirect) {
    PianoHarp harp(dir.path().c_str(), kName, c.block, 192000, 0, 0, 1.0f);
    EXPECT_EQ(harp.shift(), c.shift);
    EXPECT_EQ(harp.impulseRate(), c.impulseRate);
  }
}

TEST(HarpBuild, ReadsSizeOverFourFramesAndRefusesWhatIsNoImpulse) {
  const struct {
    std::size_t bytes;
    unsigned long error;
    std::size_t frames;
  } kSizes[] = {{0, 10, 0}, {3, 10, 0}, {4, 0, 1}, {7, 0, 1}, {401, 0, 100}};
  for (const auto& c : kSizes) {
    kelo::test::TempDir dir;
    ASSERT_TRUE(kelo::test::writeFile(fileFor(dir, 44100), std::string(c.bytes, '\x10')));
    unsigned long error = 99;
    const Harp harp = build(dir, 512, 44100, 1.0f, &error);
    EXPECT_EQ(error, c.error) << c.bytes << " bytes";
    if (harp) {
      EXPECT_EQ(harp->impulseFrames(), c.frames);
    }
  }

  kelo::test::TempDir dir;
  testing::internal::CaptureStderr();
  unsigned long error = 99;
  EXPECT_EQ(build(dir, 512, 44100, 1.0f, &error), nullptr);
  EXPECT_EQ(error, 10u);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "PianoHarp cant find impulse:" + fileFor(dir, 44100) + ":\n");

  // A FIFO would block a reader until a writer comes: it is refused at once, as a folder is.
  ASSERT_EQ(::mkfifo(fileFor(dir, 44100).c_str(), 0600), 0);
  ASSERT_EQ(::mkdir(fileFor(dir, 48000).c_str(), 0700), 0);
  for (const unsigned long rate : {44100ul, 48000ul}) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(build(dir, 512, rate, 1.0f, &error), nullptr);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(error, 10u) << rate;
  }

  writeImpulse(dir, 96000, 100);
  const char* kEmpty[][2] = {{"", kName}, {dir.path().c_str(), ""}, {nullptr, kName}};
  for (const auto& names : kEmpty) {
    error = 99;
    EXPECT_EQ(makePianoHarp(names[0], names[1], 512, &error, 0, 0, 96000, 1.0f), nullptr);
    EXPECT_EQ(error, 10u);
  }
  for (const unsigned long rate : {0ul}) {
    EXPECT_EQ(makePianoHarp(dir.path().c_str(), kName, 512, &error, 0, 0, rate, 1.0f), nullptr);
    EXPECT_EQ(error, 10u);
  }
}

TEST(HarpImpulse, FadesFrom975SecondsAndEndsAt10) {
  kelo::test::TempDir dir;
  const StereoImpulse16 impulse = writeImpulse(dir, 44100, 12 * 44100);
  const HarpImpulse loaded = PianoHarp::loadImpulse(dir.path().c_str(), kName, 44100, 0.5f);
  ASSERT_EQ(loaded.frames, 441000u);
  const std::vector<float> left = kelo::test::scaledChannel(impulse.left, 0.5f, 44100);
  const std::vector<float> right = kelo::test::scaledChannel(impulse.right, 0.5f, 44100);
  for (std::size_t i = 0; i < loaded.frames; ++i) {
    const double fade = i < 429975 ? 1.0 : 1.0 - double(i - 429975) / 11025;
    ASSERT_NEAR(loaded.left[i], left[i] * fade, 3e-7 * std::fabs(left[i]) + 1e-12) << i;
    ASSERT_NEAR(loaded.right[i], right[i] * fade, 3e-7 * std::fabs(right[i]) + 1e-12) << i;
  }
  EXPECT_EQ(loaded.left[429975], left[429975]);
  EXPECT_NEAR(loaded.left[440999], left[440999] / 11025, 3e-7 * std::fabs(left[440999]));

  // A huge file gives the same impulse: only the kept frames are read.
  ASSERT_EQ(::truncate(fileFor(dir, 44100).c_str(), 4LL << 30), 0);
  const HarpImpulse huge = PianoHarp::loadImpulse(dir.path().c_str(), kName, 44100, 0.5f);
  ASSERT_EQ(huge.frames, loaded.frames);
  EXPECT_EQ(std::memcmp(huge.left.get(), loaded.left.get(), loaded.frames * 4), 0);
  EXPECT_EQ(std::memcmp(huge.right.get(), loaded.right.get(), loaded.frames * 4), 0);
}

TEST(HarpImpulse, ShortImpulsesStayWholeAndScaleToTheirRate) {
  kelo::test::TempDir dir;
  const struct {
    unsigned long rate;
    std::size_t frames;
  } kCases[] = {{48000, 468000}, {96000, 1000}, {44100, 429975}};
  for (const auto& c : kCases) {
    const StereoImpulse16 impulse = writeImpulse(dir, c.rate, c.frames, 3);
    const HarpImpulse loaded = PianoHarp::loadImpulse(dir.path().c_str(), kName, c.rate, 0.025f);
    ASSERT_EQ(loaded.frames, c.frames) << c.rate;
    const std::vector<float> expected = kelo::test::scaledChannel(impulse.right, 0.025f, c.rate);
    for (std::size_t i = 0; i < c.frames; i += 97) {
      ASSERT_NEAR(loaded.right[i], expected[i], 3e-7 * std::fabs(expected[i])) << c.rate;
    }
    ASSERT_NEAR(loaded.right[c.frames - 1], expected[c.frames - 1],
                3e-7 * std::fabs(expected[c.frames - 1]));
  }
}

TEST(HarpTargets, DryGainFollowsPedalAndLevelWithinRange) {
  kelo::test::TempDir dir;
  writeImpulse(dir, 44100, 500);
  const Harp harp = build(dir, 64, 44100);
  ASSERT_NE(harp, nullptr);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    double pedal, level, dry;
  } kSteps[] = {
      {1.0, 0.2, std::sqrt(1 - 0.076 * 0.076)},
      {0.0, 0.2, 1.0},
      {0.5, 0.2, std::sqrt(1 - 0.038 * 0.038)},
      {1.5, 0.2, std::sqrt(1 - 0.076 * 0.076)},  // the pedal is limited to 1
      {-2.0, 0.2, 1.0},                          // and to 0
      {1.0, 3.0, 0.0},                           // beyond 1 / 0.38: silent dry, never NaN
      {nan, 0.2, std::sqrt(1 - 0.076 * 0.076)},  // pedal kept (1.0), level 0.2
      {0.5, nan, std::sqrt(1 - 0.038 * 0.038)},  // level kept (0.2)
      {inf, -inf, std::sqrt(1 - 0.038 * 0.038)},
  };
  for (const auto& step : kSteps) {
    harp->UpdateFromSustainEvent(step.pedal, step.level);
    EXPECT_DOUBLE_EQ(harp->targetDryGain(), step.dry) << step.pedal << " " << step.level;
  }

  // Through the audio: a level past the range and NaN levels keep the output finite.
  kelo::test::StereoSignal x{kelo::test::noise(4096, 1), kelo::test::noise(4096, 2)};
  for (const double level : {3.0, nan, -inf}) {
    const kelo::test::StereoSignal y = run(*harp, x, blocksOf(4096, 64), {{0, 1.0}}, level);
    for (std::size_t i = 0; i < 4096; ++i) {
      ASSERT_TRUE(std::isfinite(y.left[i]) && std::isfinite(y.right[i])) << level << " " << i;
    }
  }
}

// With the pedal down and the ramps settled a spike gives the dry term plus 0.38 * level times
// the scaled impulse; once the pedal is up every tap decays by the minimum factor per frame.
TEST(HarpOutput, SpikeRingsWithTheImpulseAndDecaysOnceThePedalRises) {
  kelo::test::TempDir dir;
  const StereoImpulse16 impulse = writeImpulse(dir, 44100, 3000);
  const Harp harp = build(dir, 512, 44100, 0.7f);
  ASSERT_NE(harp, nullptr);
  const std::size_t spikeAt = 4096, pedalUpAt = spikeAt + 1000, total = spikeAt + 5000;
  kelo::test::StereoSignal x{std::vector<float>(total, 0.0f), std::vector<float>(total, 0.0f)};
  x.left[spikeAt] = 1.0f;
  x.right[spikeAt] = -0.5f;
  const double level = 0.2;
  const kelo::test::StereoSignal y =
      run(*harp, x, blocksOf(total, 512), {{0, 1.0}, {pedalUpAt, 0.0}}, level);

  std::vector<double> d(total, 1.0);
  std::fill(d.begin() + pedalUpAt, d.end(), harp->minimumDecay());
  const double dry = std::sqrt(1 - 0.076 * 0.076);
  const float w = static_cast<float>(level * 0.38);
  const auto expect = [&](const std::vector<float>& in, const std::vector<std::int16_t>& h16) {
    const std::vector<double> wet = calvatero::testing::decayingConvolution(
        in, kelo::test::scaledChannel(h16, 0.7f, 44100), d);
    std::vector<double> out(total);
    for (std::size_t t = 0; t < total; ++t) out[t] = in[t] * dry + w * wet[t];
    return out;
  };
  EXPECT_TRUE(kelo::test::closeToSignal(y.left, expect(x.left, impulse.left), 2e-6));
  EXPECT_TRUE(kelo::test::closeToSignal(y.right, expect(x.right, impulse.right), 2e-6));
  EXPECT_LT(harp->minimumDecay(), 1.0);
  EXPECT_NEAR(harp->minimumDecay(), std::pow(2.0, -16.0 / 44100), 1e-12);
}

// Decimating: the pedal-weighted input is taken every factor-th frame from the first one,
// convolved at the lower rate, zero-stuffed (times the factor) and low-passed at the engine rate.
TEST(HarpOutput, DecimatingHarpsConvolveAtTheLowerRateAndLowPassBackUp) {
  kelo::test::TempDir dir;
  const StereoImpulse16 impulse = writeImpulse(dir, 48000, 1800);
  const struct {
    unsigned long rate;
    std::size_t factor;
    const float* table;
    std::size_t taps;
  } kCases[] = {{96000, 2, LOWPASS96_FROM_18000_TO_24000_100DB, 71},
                {192000, 4, LOWPASS192_FROM_18000_TO_24000_100DB, 141}};
  for (const auto& c : kCases) {
    const Harp harp = build(dir, 256, c.rate, 0.5f);
    ASSERT_NE(harp, nullptr);
    const std::size_t settled = 20000, total = settled + 4000;
    kelo::test::StereoSignal x{std::vector<float>(total, 0.0f), std::vector<float>(total, 0.0f)};
    x.left[settled] = 1.0f;  // a frame the decimation takes (a multiple of the factor)
    x.left[settled + 2 * c.factor + 1] = 0.5f;  // and one it skips
    x.right = kelo::test::noise(total, 11);
    std::fill(x.right.begin(), x.right.begin() + settled, 0.0f);
    const kelo::test::StereoSignal y = run(*harp, x, blocksOf(total, 256), {{0, 1.0}}, 0.3);

    const double dry = std::sqrt(1 - 0.114 * 0.114);
    const float w = static_cast<float>(0.3 * 0.38);
    for (int channel = 0; channel < 2; ++channel) {
      const std::vector<float>& in = channel == 0 ? x.left : x.right;
      const std::vector<float> h =
          kelo::test::scaledChannel(channel == 0 ? impulse.left : impulse.right, 0.5f, 48000);
      std::vector<float> taken;
      for (std::size_t t = 0; t < total; t += c.factor) taken.push_back(in[t]);
      const std::vector<double> low = kelo::test::directConvolution(taken, h);
      std::vector<double> expected(total);
      for (std::size_t t = 0; t < total; ++t) {
        double wet = 0;
        for (std::size_t k = t % c.factor; k < c.taps && k <= t; k += c.factor) {
          wet += double(c.factor) * low[(t - k) / c.factor] * c.table[k];
        }
        expected[t] = in[t] * dry + w * wet;
      }
      EXPECT_TRUE(kelo::test::closeToSignal(channel == 0 ? y.left : y.right, expected, 5e-6))
          << c.rate << " channel " << channel;
    }
  }
}

TEST(HarpOutput, BypassLeavesTheAudioBitForBit) {
  kelo::test::TempDir dir;
  writeImpulse(dir, 44100, 2000);
  writeImpulse(dir, 48000, 2000);
  for (const unsigned long rate : {44100ul, 96000ul}) {
    const Harp harp = build(dir, 256, rate);
    ASSERT_NE(harp, nullptr);
    const kelo::test::StereoSignal x{kelo::test::noise(1024, 3), kelo::test::noise(1024, 4)};
    run(*harp, x, {256}, {{0, 1.0}}, 0.5);  // ringing before the bypass
    kelo::test::StereoSignal y = x;
    const tagThinSusEvent events[] = {{0, 1.0}, {10, 0.3}, {200, 1.0}};
    for (std::size_t start = 0; start < 1024; start += 256) {
      float* pair[2] = {y.left.data() + start, y.right.data() + start};
      harp->CalculateCurrentHarpOutput(256, pair, events, 3, 0.5, true);
    }
    EXPECT_EQ(std::memcmp(y.left.data(), x.left.data(), 1024 * 4), 0) << rate;
    EXPECT_EQ(std::memcmp(y.right.data(), x.right.data(), 1024 * 4), 0) << rate;
    EXPECT_EQ(harp->dryGain(), 1.0);
    EXPECT_EQ(harp->pedalWeight(), 0.0);
  }
}

// Decimating harps keep their phase and held frames across calls of any length: short calls
// give what one long call gives, with pedal changes at every position of the phase.
TEST(HarpOutput, ShortCallsEqualOneLongCallWhenDecimating) {
  kelo::test::TempDir dir;
  writeImpulse(dir, 48000, 2500);
  const struct {
    unsigned long rate, maxBlock;
    std::vector<std::size_t> cycle;
    std::size_t mostHeld;
  } kCases[] = {{96000, 3, {3}, 2}, {192000, 4, {1, 2, 3, 4, 3}, 4}};
  const std::size_t total = 6000;
  for (const auto& c : kCases) {
    std::vector<std::size_t> lengths;
    for (std::size_t done = 0, i = 0; done < total; ++i) {
      lengths.push_back(std::min(c.cycle[i % c.cycle.size()], total - done));
      done += lengths.back();
    }
    const std::vector<Event> events = {{0, 1.0}, {3000, 0.3}, {3001, 0.8}, {3003, 0.0},
                                       {4500, 1.0, true}};
    const kelo::test::StereoSignal x{kelo::test::noise(total, 5), kelo::test::noise(total, 6)};
    const Harp shortCalls = build(dir, c.maxBlock, c.rate);
    const Harp longCall = build(dir, total, c.rate);
    ASSERT_TRUE(shortCalls && longCall);
    ASSERT_EQ(shortCalls->shift(), longCall->shift());
    std::size_t mostHeld = 0;
    const kelo::test::StereoSignal a = run(*shortCalls, x, lengths, events, 0.5, &mostHeld);
    std::vector<Event> longEvents = events;
    longEvents.back().atEndOfCall = false;
    const kelo::test::StereoSignal b = run(*longCall, x, {total}, longEvents, 0.5);
    EXPECT_LE(mostHeld, c.mostHeld) << c.rate;
    EXPECT_GT(mostHeld, 0u) << c.rate;
    for (const auto& [actual, expected] : {std::pair{&a.left, &b.left}, {&a.right, &b.right}}) {
      EXPECT_TRUE(kelo::test::closeToSignal(
          *actual, std::vector<double>(expected->begin(), expected->end()), 2e-6))
          << c.rate;
    }
    double wet = 0;  // the resonance is there at all
    for (std::size_t i = 0; i < total; ++i) wet += std::fabs(b.left[i] - x.left[i]);
    EXPECT_GT(wet, 1.0) << c.rate;
  }
}

// Sound, silence longer than the impulse, sound, with the pedal down and moved in the
// silence: the convolvers rest in the silence once the tail has ended and the output is what
// running them over a faint stand-in for the silence gives, within -140 dBFS up to the second
// sound and within rounding after it, at the engine's rate and decimating, in calls off the
// decimation grid.
TEST(HarpOutput, RestsInSilenceAndGoesOnAsIfItHadConvolvedIt) {
  kelo::test::TempDir dir;
  writeImpulse(dir, 48000, 3000);
  constexpr std::size_t kSound = 2000, kSilence = 16000, kCut = kSound + kSilence;
  const std::vector<Event> events = {{0, 1.0}, {kSound + 700, 0.6}, {kCut + 100, 0.0}};
  const kelo::test::StereoSignal x{kelo::test::soundSilenceSound(kSound, kSilence, 21),
                                   kelo::test::soundSilenceSound(kSound, kSilence, 23)};
  const kelo::test::StereoSignal faint{kelo::test::faintForSilent(x.left),
                                       kelo::test::faintForSilent(x.right)};
  const std::size_t total = x.left.size();
  for (const auto& [rate, block] :
       {std::pair{48000ul, 256ul}, {96000ul, 255ul}, {192000ul, 127ul}}) {
    // The two parts in calls of `block`, the harp's state between them.
    auto twoParts = [&, rate = rate, block = block](const kelo::test::StereoSignal& in,
                                                   bool& restingAtCut) {
      const Harp harp = build(dir, block, rate, 0.5f);
      kelo::test::StereoSignal first{{in.left.begin(), in.left.begin() + kCut},
                                     {in.right.begin(), in.right.begin() + kCut}};
      kelo::test::StereoSignal second{{in.left.begin() + kCut, in.left.end()},
                                      {in.right.begin() + kCut, in.right.end()}};
      std::vector<Event> later;
      for (const Event& e : events)
        if (e.frame >= kCut) later.push_back({e.frame - kCut, e.pedal});
      first = run(*harp, first, blocksOf(kCut, block), {events[0], events[1]}, 0.8);
      restingAtCut = harp->isResting();
      second = run(*harp, second, blocksOf(total - kCut, block), later, 0.8);
      EXPECT_FALSE(harp->isResting()) << rate;
      first.left.insert(first.left.end(), second.left.begin(), second.left.end());
      first.right.insert(first.right.end(), second.right.begin(), second.right.end());
      return first;
    };
    bool resting = false;
    const kelo::test::StereoSignal expected = twoParts(faint, resting);
    EXPECT_FALSE(resting) << rate;
    const kelo::test::StereoSignal y = twoParts(x, resting);
    EXPECT_TRUE(resting) << rate;
    for (const auto& [actual, wanted] :
         {std::pair{&y.left, &expected.left}, {&y.right, &expected.right}}) {
      const auto largest = kelo::test::largestDifferences(*actual, *wanted, kCut);
      EXPECT_LE(largest[0], 1e-7) << rate;
      EXPECT_LE(largest[1], 1e-6) << rate;
    }
  }
}

TEST(HarpReset, ResetEqualsAFreshHarp) {
  kelo::test::TempDir dir;
  writeImpulse(dir, 48000, 2000);
  const Harp used = build(dir, 256, 96000);
  const Harp fresh = build(dir, 256, 96000);
  ASSERT_TRUE(used && fresh);
  const kelo::test::StereoSignal x{kelo::test::noise(2048, 7), kelo::test::noise(2048, 8)};
  run(*used, x, {255, 3, 256}, {{0, 1.0}}, 0.2);
  used->ResetHarp();
  EXPECT_EQ(used->heldFrames(), 0u);
  const kelo::test::StereoSignal a = run(*used, x, blocksOf(2048, 256), {{0, 1.0}}, 0.2);
  const kelo::test::StereoSignal b = run(*fresh, x, blocksOf(2048, 256), {{0, 1.0}}, 0.2);
  EXPECT_EQ(std::memcmp(a.left.data(), b.left.data(), 2048 * 4), 0);
  EXPECT_EQ(std::memcmp(a.right.data(), b.right.data(), 2048 * 4), 0);
}

// Every allocation of a build failing in turn: no harp, error 10 or 1, nothing left behind.
TEST(HarpBuild, EachFailedAllocationLeavesNothing) {
  kelo::test::TempDir dir;
  writeImpulse(dir, 48000, 1700);
  long calls = 0;
  {
    calvatero::testing::AlignedAllocationProbe counting;
    ASSERT_NE(build(dir, 64, 96000), nullptr);
    calls = counting.calls();
  }
  bool memory = false, init = false;
  for (long k = 1; k <= calls; ++k) {
    calvatero::testing::AlignedAllocationProbe probe(k);
    unsigned long error = 99;
    testing::internal::CaptureStderr();
    const Harp harp = build(dir, 64, 96000, 1.0f, &error);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(harp, nullptr) << k;
    EXPECT_TRUE(error == 1 || error == 10) << k << ": " << error;
    memory |= error == 1;
    init |= error == 10;
    EXPECT_EQ(probe.liveBlocks(), 0) << k;
  }
  EXPECT_TRUE(memory && init);
}

}  // namespace
