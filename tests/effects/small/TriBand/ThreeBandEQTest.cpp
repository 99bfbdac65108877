// The equaliser object driven the way the engine drives it: gains and centre measured with
// sines against the cookbook in double, glides, bypass, channel layouts and bad values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "effects/small/TriBand/ThreeBandEQ.h"
#include "tests/Sampler/source/CookbookReference.h"
#include "tests/support/ConvolutionKit.h"

namespace kelo::test {
namespace {

using namespace vantor::KELOPluginSDK;
using Controllers = std::vector<std::pair<int, float>>;

// One equaliser after setIOConfig, setDSPInfo and start, as the engine leaves it.
class Equaliser {
 public:
  explicit Equaliser(double rate, int channels = 2, int maxBlock = 4096)
      : m_events(new HDMIDIEvents) {
    ChannelInfo layout{channels, channels};
    std::int32_t answer = 0;
    eq.setIOConfig(&layout, &answer);
    EXPECT_EQ(answer, 1);
    setRate(rate, maxBlock);
    eq.start();
  }
  void setRate(double rate, int maxBlock = 4096) {
    DSPInfo info{rate,
                 static_cast<std::int32_t>(rate),
                 1.0 / rate,
                 maxBlock,
                 maxBlock / rate,
                 1.0 / maxBlock,
                 {}};
    eq.setDSPInfo(&info);
  }
  /// Controllers applied by a process call of 0 frames.
  void send(const Controllers& controllers, std::int32_t status = 176) {
    events(controllers, status);
    eq.process(nullptr, 0, m_events.get(), nullptr, nullptr);
  }
  /// Every channel in blocks of `block` frames, the controllers with the first block.
  void run(std::vector<std::vector<float>>& audio, int block, const Controllers& controllers = {}) {
    events(controllers, 176);
    const int frames = static_cast<int>(audio[0].size());
    std::vector<float*> pointers(audio.size());
    for (int at = 0; at < frames; at += block) {
      for (std::size_t ch = 0; ch < audio.size(); ++ch) pointers[ch] = audio[ch].data() + at;
      eq.process(pointers.data(), std::min(block, frames - at), m_events.get(), nullptr, nullptr);
      m_events->numEvents = 0;
    }
  }
  std::vector<float> run(std::vector<float> mono, int block, const Controllers& controllers = {}) {
    std::vector<std::vector<float>> audio(2, mono);
    run(audio, block, controllers);
    return audio[0];
  }

  sorvelin::ThreeBandEQ eq{nullptr};

 private:
  void events(const Controllers& controllers, std::int32_t status) {
    m_events->numEvents = 0;
    for (const auto& [controller, value] : controllers) {
      HDMIDIEvent& event = m_events->events[m_events->numEvents++];
      event = HDMIDIEvent{};
      event.status = status;
      event.data1 = controller;
      event.data2 = value;
    }
  }
  std::unique_ptr<HDMIDIEvents> m_events;
};

std::vector<float> sine(double hz, double rate, int frames, double amplitude = 0.5) {
  std::vector<float> out(static_cast<std::size_t>(frames));
  for (int i = 0; i < frames; ++i)
    out[static_cast<std::size_t>(i)] =
        static_cast<float>(amplitude * std::sin(2 * M_PI * hz * i / rate));
  return out;
}

double dB(double ratio) { return 20.0 * std::log10(ratio); }

// The gain of a sine through the equaliser with `controllers` set at once (controller 3).
double measuredGainDb(double rate, double hz, Controllers controllers) {
  Equaliser equaliser(rate);
  controllers.push_back({3, 0.0f});
  const int frames = static_cast<int>(rate * 1.5);
  const std::vector<float> out = equaliser.run(sine(hz, rate, frames), 512, controllers);
  return dB(amplitudeAt(out, hz, rate, static_cast<int>(rate)) / 0.5);
}

TEST(ThreeBandEQ, SinesMeasureTheCookbooksGain) {
  struct Case {
    double rate, hz;
    Controllers controllers;
    double nominalDb;               // what the band's gain promises there
    double low, mid, high, centre;  // the reference's settings
  };
  const Case cases[] = {
      {44100, 1000, {{1, 1.0f}}, 12, 0, 12, 0, 1000},
      {44100, 1000, {{1, 0.0f}}, -12, 0, -12, 0, 1000},
      {44100, 1000, {{1, 1.5f}}, 12, 0, 12, 0, 1000},
      {48000, 1000, {{1, -3.0f}}, -12, 0, -12, 0, 1000},
      {48000, 20, {{0, 1.0f}}, 12, 12, 0, 0, 1000},
      {96000, 20, {{0, 0.25f}}, -6, -6, 0, 0, 1000},
      {44100, 21000, {{2, 1.0f}}, 12, 0, 0, 12, 1000},
      {96000, 40000, {{2, 0.0f}}, -12, 0, 0, -12, 1000},
      {44100, 8000, {{1, 1.0f}, {4, 1.0f}}, 12, 0, 12, 0, 8000},
      {44100, 441, {{1, 1.0f}, {4, 0.0f}}, 12, 0, 12, 0, 441},
      {48000, 3000, {{0, 0.75f}, {1, 0.625f}, {2, 0.125f}}, NAN, 6, 3, -9, 1000},
  };
  for (const Case& c : cases) {
    const double measured = measuredGainDb(c.rate, c.hz, c.controllers);
    double expected = 1;
    for (const cookbook::Filter& band : cookbook::equaliser(c.rate, c.low, c.mid, c.high, c.centre))
      expected *= band.magnitude(c.hz / c.rate);
    EXPECT_NEAR(measured, dB(expected), 0.01) << c.hz << " Hz at " << c.rate;
    if (!std::isnan(c.nominalDb)) {
      EXPECT_NEAR(measured, c.nominalDb, 0.1) << c.hz << " Hz at " << c.rate;
    }
  }
}

TEST(ThreeBandEQ, CentresBelowOneHundredthOfTheRateGiveTheSameFilter) {
  const std::vector<float> input = noise(3000, 4);
  Equaliser lowest(44100);
  const std::vector<float> expected = lowest.run(input, 256, {{1, 1.0f}, {4, 0.0f}, {3, 0.0f}});
  for (float value : {0.02f, 0.043f}) {
    Equaliser other(44100);
    EXPECT_EQ(other.run(input, 256, {{1, 1.0f}, {4, value}, {3, 0.0f}}), expected) << value;
  }
  Equaliser above(44100);
  EXPECT_NE(above.run(input, 256, {{1, 1.0f}, {4, 0.0433f}, {3, 0.0f}}), expected);
}

TEST(ThreeBandEQ, AllGainsAtZeroPassTheSignal) {
  const std::vector<float> input = noise(5000, 8);
  Equaliser equaliser(48000);
  const std::vector<float> out = equaliser.run(input, 256, {{0, 0.5f}, {1, 0.5f}, {2, 0.5f}});
  EXPECT_TRUE(closeToSignal(out, std::vector<double>(input.begin(), input.end()), 1e-5));
}

TEST(ThreeBandEQ, ControllerThreeClearsAndBypassesOnlyFromOne) {
  const std::vector<float> input = noise(2000, 6);
  std::vector<float> impulse(64, 0.0f);
  impulse[0] = 1.0f;
  Equaliser fresh(48000);
  const std::vector<float> clean = fresh.run(impulse, 64, {{1, 1.0f}, {3, 0.0f}});

  struct Case {
    float value;
    bool bypassed, cleared;
  };
  const Case cases[] = {{0.0f, false, true}, {0.5f, false, true},     {0.999f, false, true},
                        {1.0f, true, true},  {-1.0f, true, true},     {1e30f, true, true},
                        {NAN, false, false}, {INFINITY, false, false}};
  for (const Case& c : cases) {
    Equaliser equaliser(48000);
    equaliser.run(input, 256, {{1, 1.0f}, {3, 0.0f}});  // memories hold the noise's tail
    const std::vector<float> out = equaliser.run(impulse, 64, {{3, c.value}});
    EXPECT_EQ(equaliser.eq.isBypassed(), c.bypassed) << c.value;
    if (c.bypassed)
      EXPECT_EQ(out, impulse) << c.value;
    else
      EXPECT_EQ(out == clean, c.cleared) << c.value;
  }
}

TEST(ThreeBandEQ, GlidesTakeTheirStepsAndLandOnTheirTargetBitForBit) {
  const Controllers change = {{0, 0.9f}, {1, 0.1f}, {2, 0.7f}, {4, 0.3f}};
  const std::vector<float> input = noise(256, 1);
  struct Case {
    double rate;
    int steps;
  };
  for (const Case c : {Case{44100, 310}, Case{48000, 320}, Case{96000, 440}}) {
    Equaliser atOnce(c.rate);
    EXPECT_EQ(atOnce.eq.glideSteps(), c.steps);
    Controllers set = change;
    set.push_back({3, 0.0f});
    atOnce.send(set);
    const std::vector<float> expected = atOnce.run(input, 256);
    // Silence keeps the memories at zero while the coefficients glide; a group takes its
    // step before it is filtered, so the input's first group takes step `silent` + 1.
    for (int silent : {c.steps - 1, c.steps - 2}) {
      Equaliser gliding(c.rate);
      gliding.run(std::vector<float>(static_cast<std::size_t>(4 * silent), 0.0f), 100, change);
      const std::vector<float> out = gliding.run(input, 256);
      EXPECT_EQ(out == expected, silent == c.steps - 1) << c.rate << ", " << silent;
    }
  }
}

TEST(ThreeBandEQ, EveryChannelFollowsOneTrajectoryPerBlock) {
  const std::vector<float> input = noise(1500, 12);
  const int blocks[] = {100, 37, 6, 7, 250, 1100};
  auto runBlocks = [&](int channels) {
    Equaliser equaliser(44100, channels);
    std::vector<std::vector<float>> audio(static_cast<std::size_t>(channels), input);
    Controllers controllers = {{1, 1.0f}, {0, 0.0f}};
    std::vector<float*> pointers(audio.size());
    auto events = std::make_unique<HDMIDIEvents>();
    int at = 0;
    for (int block : blocks) {
      events->numEvents = 0;
      for (const auto& [controller, value] : controllers) {
        HDMIDIEvent& event = events->events[events->numEvents++];
        event = HDMIDIEvent{};
        event.status = 176, event.data1 = controller, event.data2 = value;
      }
      controllers = {{1, at < 300 ? 0.2f : 0.8f}};  // a new glide now and then
      block = std::min(block, 1500 - at);
      for (std::size_t ch = 0; ch < audio.size(); ++ch) pointers[ch] = audio[ch].data() + at;
      equaliser.eq.process(pointers.data(), block, events.get(), nullptr, nullptr);
      at += block;
    }
    return audio;
  };
  const auto one = runBlocks(1);
  for (int channels : {2, 3, 4, 5}) {
    const auto audio = runBlocks(channels);
    for (int ch = 0; ch < channels; ++ch)
      EXPECT_EQ(audio[static_cast<std::size_t>(ch)], one[0])
          << channels << " channels, channel " << ch;
  }
  EXPECT_NE(one[0], input);
}

TEST(ThreeBandEQ, ChannelsAddedAfterTheFiltersWereBuiltWaitForTheNextRate) {
  Equaliser equaliser(48000, 2);
  ChannelInfo four{4, 4};
  std::int32_t answer = 0;
  equaliser.eq.setIOConfig(&four, &answer);
  EXPECT_EQ(answer, 1);
  const std::vector<float> input = noise(300, 3);
  std::vector<std::vector<float>> audio(4, input);
  equaliser.run(audio, 128, {{1, 1.0f}, {3, 0.0f}});
  EXPECT_NE(audio[0], input);
  EXPECT_EQ(audio[1], audio[0]);
  EXPECT_EQ(audio[2], input);
  EXPECT_EQ(audio[3], input);

  equaliser.setRate(48000);
  equaliser.eq.start();
  audio.assign(4, input);
  equaliser.run(audio, 128, {{1, 1.0f}, {3, 0.0f}});
  for (int ch = 1; ch < 4; ++ch) EXPECT_EQ(audio[static_cast<std::size_t>(ch)], audio[0]) << ch;
  EXPECT_NE(audio[3], input);
}

TEST(ThreeBandEQ, LayoutsAreAcceptedOnlyWithInputsEqualToOutputs) {
  struct Case {
    std::int32_t ins, outs, answer;
  };
  for (const Case c : {Case{2, 2, 1}, Case{1, 1, 1}, Case{3, 3, 1}, Case{0, 0, 1}, Case{2, 1, -1},
                       Case{1, 2, -1}, Case{-2, -2, -1}}) {
    sorvelin::ThreeBandEQ eq(nullptr);
    ChannelInfo layout{c.ins, c.outs};
    std::int32_t answer = 0;
    eq.setIOConfig(&layout, &answer);
    EXPECT_EQ(answer, c.answer) << c.ins << "/" << c.outs;
    EXPECT_EQ(eq.getNumAudioIns(), c.answer == 1 ? static_cast<std::uint32_t>(c.ins) : 2u);
  }
  sorvelin::ThreeBandEQ eq(nullptr);
  std::int32_t answer = 0;
  eq.setIOConfig(nullptr, &answer);
  EXPECT_EQ(answer, -1);
}

TEST(ThreeBandEQ, NothingHappensBeforeTheFirstRate) {
  sorvelin::ThreeBandEQ eq(nullptr);
  eq.start();
  const std::vector<float> input = noise(64, 2);
  std::vector<float> left = input, right = input;
  float* audio[2] = {left.data(), right.data()};
  auto events = std::make_unique<HDMIDIEvents>();
  events->numEvents = 1;
  events->events[0] = HDMIDIEvent{};
  events->events[0].status = 176, events->events[0].data1 = 1, events->events[0].data2 = 1.0f;
  eq.process(audio, 64, events.get(), nullptr, nullptr);
  EXPECT_EQ(left, input);
  EXPECT_EQ(right, input);
}

TEST(ThreeBandEQ, ValuesThatAreNotFiniteAndOtherEventsChangeNothing) {
  const std::vector<float> input = noise(2000, 14);
  Equaliser plain(44100);
  const std::vector<float> expected = plain.run(input, 256, {{1, 0.8f}, {3, 0.0f}});
  Equaliser other(44100);
  other.send({{1, 0.8f}, {3, 0.0f}});
  other.send({{0, NAN}, {1, INFINITY}, {2, -INFINITY}, {4, NAN}, {3, NAN}});
  other.send({{0, 1.0f}, {4, 1.0f}, {3, 1.0f}}, 177);  // channel 2: not the equaliser's
  other.send({{0, 1.0f}}, 0x90);
  other.send({{5, 1.0f}, {64, 1.0f}, {300, 1.0f}, {-1, 1.0f}});
  const std::vector<float> out = other.run(input, 256);
  EXPECT_EQ(out, expected);
}

TEST(ThreeBandEQ, TheDefaultsSetEveryControllerFromFrameZero) {
  sorvelin::ThreeBandEQ eq(nullptr);
  auto events = std::make_unique<HDMIDIEvents>();
  std::memset(events.get(), 0x55, sizeof(HDMIDIEvents));
  eq.getDefaults(events.get());
  ASSERT_EQ(events->numEvents, 5);
  const float values[] = {0.5f, 0.5f, 0.5f, 0.0f, 0.11392405f};
  for (int i = 0; i < 5; ++i) {
    HDMIDIEvent expected{};
    expected.status = 176, expected.data1 = i, expected.data2 = values[i];
    EXPECT_EQ(std::memcmp(&events->events[i], &expected, sizeof expected), 0) << i;
  }
  EXPECT_EQ(eq.getNumAudioIns(), 2u);
  EXPECT_EQ(eq.getNumAudioOuts(), 2u);
  EXPECT_EQ(eq.getNumMIDIIns(), 1u);
  EXPECT_EQ(eq.getNumMIDIOuts(), 0u);
  EXPECT_FALSE(eq.capableOf(1));
  EXPECT_EQ(eq.initEx("", ""), 1);
  void* chunk = nullptr;
  EXPECT_EQ(eq.getChunk(&chunk), 0);
}

}  // namespace
}  // namespace kelo::test
