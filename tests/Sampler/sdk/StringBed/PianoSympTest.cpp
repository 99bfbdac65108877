#include "Sampler/sdk/StringBed/PianoSymp.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "tests/Sampler/sdk/StringBed/PluginEvents.h"
#include "tests/support/ConvolutionKit.h"

namespace {

using kelo::test::eventList;
using vantor::KELOPluginSDK::ChannelInfo;
using vantor::KELOPluginSDK::HDMIDIEvents;

using Channels = std::vector<std::vector<float>>;

struct Symp {
  acme::PianoSymp plugin{nullptr};
  explicit Symp(std::int32_t channels = 2, std::int32_t block = 256) {
    ChannelInfo io{channels, channels};
    std::int32_t answer = 0;
    plugin.setIOConfig(&io, &answer);
    EXPECT_EQ(answer, 1);
    const auto info = kelo::test::dspInfo(44100, block);
    plugin.setDSPInfo(&info);
  }
  // Processes `frames` frames of `audio` from `start` in place.
  void run(Channels& audio, std::size_t start, std::size_t frames, const HDMIDIEvents* events) {
    std::vector<float*> pointers;
    for (auto& channel : audio) pointers.push_back(channel.data() + start);
    plugin.process(pointers.data(), static_cast<std::int32_t>(frames), events, nullptr, nullptr);
  }
  void runBlocks(Channels& audio, std::size_t block, const HDMIDIEvents* first) {
    const auto none = eventList();
    for (std::size_t start = 0; start < audio[0].size(); start += block) {
      run(audio, start, std::min(block, audio[0].size() - start), start == 0 ? first : none.get());
    }
  }
};

Channels noiseChannels(std::size_t channels, std::size_t frames) {
  Channels audio;
  for (std::size_t c = 0; c < channels; ++c) audio.push_back(kelo::test::noise(frames, 10 + c));
  return audio;
}

TEST(PianoSymp, LeavesTheAudioAloneUntilAGainArrives) {
  Symp symp;
  const Channels x = noiseChannels(2, 2048);
  Channels y = x;
  const auto events = eventList({{144, 69, 1.0f}});
  symp.runBlocks(y, 256, events.get());
  EXPECT_EQ(y, x);

  auto defaults = eventList();
  symp.plugin.getDefaults(defaults.get());
  ASSERT_EQ(defaults->numEvents, 4);
  const std::int32_t controllers[] = {87, 64, 123, 120};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(defaults->events[i].status, 176);
    EXPECT_EQ(defaults->events[i].data1, controllers[i]);
    EXPECT_EQ(defaults->events[i].bufTick, 0u);
  }
  EXPECT_FLOAT_EQ(defaults->events[0].data2, 0.49237376f);
  EXPECT_EQ(symp.plugin.currentGainValue(), defaults->events[0].data2);
  symp.runBlocks(y, 256, defaults.get());  // releases every key, silences every string
  const auto on = eventList({{144, 69, 1.0f}});
  symp.runBlocks(y, 256, on.get());
  EXPECT_NE(y, x);
}

TEST(PianoSymp, Controller87SetsBothMixGains) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    float value;
    float gainValue, mixGain;
  } kSteps[] = {
      {1.0f, 1.0f / 1.5f, 0.01f}, {1.5f, 1.0f, 0.1f},   {0.49237376f, 0.32824917f, 0.000965f},
      {float(nan), 0.32824917f, 0.000965f},            {3.0f, 1.0f, 0.1f},
      {-1.0f, 0.0f, 0.0001f},     {0.0f, 0.0f, 0.0001f},
  };
  Symp symp;
  for (const auto& step : kSteps) {
    const auto events = eventList({{176, 87, step.value}});
    Channels audio = noiseChannels(2, 16);
    symp.run(audio, 0, 16, events.get());
    EXPECT_NEAR(symp.plugin.currentGainValue(), step.gainValue, 1e-6) << step.value;
    EXPECT_NEAR(symp.plugin.mixGain1(), step.mixGain, step.mixGain * 1e-3) << step.value;
    EXPECT_EQ(symp.plugin.mixGain2(), symp.plugin.mixGain1());
    EXPECT_EQ(symp.plugin.pianoAt(1)->resonators[30].strings[1].outputGain,
              symp.plugin.mixGain2());
  }
}

TEST(PianoSymp, GainZeroPassesTheAudioAndFreezesTheStrings) {
  Symp symp;
  Channels audio = noiseChannels(2, 1024);
  const auto on = eventList({{176, 87, 1.0f}, {144, 69, 1.0f}});
  symp.runBlocks(audio, 256, on.get());
  const pianostring& a4 = symp.plugin.pianoAt(0)->resonators[48].strings[0];
  const auto off = eventList({{176, 87, 0.0f}});
  const Channels x = noiseChannels(2, 512);
  Channels y = x;
  const std::int32_t position = a4.line.position;
  symp.runBlocks(y, 256, off.get());
  EXPECT_EQ(y, x);
  EXPECT_EQ(a4.line.position, position);
}

TEST(PianoSymp, NoteOnWithVelocityZeroDampsAndOnlyChannelOneCounts) {
  Symp symp;
  const auto& string = [&](int key) -> const pianostring& {
    return symp.plugin.pianoAt(1)->resonators[key - 21].strings[0];
  };
  const struct {
    std::int32_t status, key;
    float velocity;
    std::int32_t damperUp;
  } kSteps[] = {{144, 60, 0.5f, 1}, {144, 60, 0.0f, 0}, {144, 60, 1.0f, 1}, {128, 60, 0.5f, 0},
                {145, 60, 1.0f, 0}, {144, 60, 1.0f, 1}, {176, 123, 0.0f, 0}};
  for (const auto& step : kSteps) {
    const auto events = eventList({{step.status, step.key, step.velocity}});
    Channels audio = noiseChannels(2, 8);
    symp.run(audio, 0, 8, events.get());
    EXPECT_EQ(string(60).damperUp, step.damperUp) << step.status << " " << step.velocity;
  }
}

// Every frame of a block gets its resonance (the last frames % 4 included, deliberately), so a
// block of 6 equals blocks of 4 and 2.
TEST(PianoSymp, EveryFrameOfABlockGetsItsResonance) {
  Symp whole, split;
  const auto on = eventList({{176, 87, 1.5f}, {144, 60, 1.0f}, {144, 67, 1.0f}});
  Channels a = noiseChannels(2, 4096), b = a;
  whole.runBlocks(a, 256, on.get());
  split.runBlocks(b, 256, on.get());
  ASSERT_NE(a, noiseChannels(2, 4096)) << "the strings ring before the blocks compared";
  const Channels x = noiseChannels(2, 6);
  Channels y6 = x, y42 = x;
  const auto none = eventList();
  whole.run(y6, 0, 6, none.get());
  split.run(y42, 0, 4, none.get());
  split.run(y42, 4, 2, none.get());
  EXPECT_EQ(y6, y42);
  for (std::size_t i = 0; i < 6; ++i) EXPECT_NE(y6[0][i], x[0][i]) << "frame " << i;
}

TEST(PianoSymp, EachChannelHasAPianoOfItsOwn) {
  Symp three(3), one(1);
  EXPECT_EQ(three.plugin.pianoCount(), 3u);
  const auto on = eventList({{176, 87, 1.5f}, {144, 57, 1.0f}});
  Channels x3(3, std::vector<float>(2048, 0.0f));
  x3[1] = kelo::test::noise(2048, 4);
  Channels x1 = {x3[1]};
  three.runBlocks(x3, 256, on.get());
  one.runBlocks(x1, 256, on.get());
  EXPECT_EQ(x3[1], x1[0]);
  for (const std::size_t c : {0u, 2u}) {
    for (const float v : x3[c]) ASSERT_LT(std::fabs(v), 1e-6f) << "channel " << c;
  }
}

TEST(PianoSymp, Controller120SilencesEveryStringInPlace) {
  Symp symp;
  const auto on = eventList({{176, 87, 1.5f}, {144, 57, 1.0f}, {144, 69, 1.0f}});
  Channels audio = noiseChannels(2, 2048);
  symp.runBlocks(audio, 256, on.get());
  const float* line = symp.plugin.pianoAt(0)->resonators[48].strings[0].line.buffer;
  const auto reset = eventList({{176, 120, 0.0f}});
  Channels silence(2, std::vector<float>(512, 0.0f));
  symp.runBlocks(silence, 256, reset.get());
  for (const auto& channel : silence) {
    for (const float v : channel) ASSERT_LT(std::fabs(v), 1e-7f);  // -140 dB
  }
  EXPECT_EQ(symp.plugin.pianoAt(0)->resonators[48].strings[0].line.buffer, line)
      << "no line was allocated again";
  EXPECT_EQ(symp.plugin.pianoAt(0)->resonators[48].strings[0].damperUp, 0);
}

TEST(PianoSymp, StoppedItPassesTheAudio) {
  Symp symp;
  const auto on = eventList({{176, 87, 1.5f}, {144, 69, 1.0f}});
  Channels audio = noiseChannels(2, 1024);
  symp.runBlocks(audio, 256, on.get());
  symp.plugin.stop();
  const Channels x = noiseChannels(2, 512);
  Channels y = x;
  const auto more = eventList({{144, 70, 1.0f}, {176, 120, 0.0f}, {144, 71, 1.0f}});
  symp.runBlocks(y, 256, more.get());
  EXPECT_EQ(y, x);
  symp.plugin.start();
  symp.runBlocks(y, 256, more.get());
  EXPECT_NE(y, x);
}

TEST(PianoSymp, ChannelConfigurations) {
  Symp symp;
  const struct {
    std::int32_t ins, outs, answer;
    std::uint32_t count;
  } kCases[] = {{2, 2, 1, 2}, {3, 3, 1, 3}, {2, 4, -1, 3}, {1, 1, 1, 1}, {-1, -1, -1, 1},
                {4, 4, 1, 4}};
  for (const auto& c : kCases) {
    ChannelInfo io{c.ins, c.outs};
    std::int32_t answer = 0;
    symp.plugin.setIOConfig(&io, &answer);
    EXPECT_EQ(answer, c.answer) << c.ins << "/" << c.outs;
    EXPECT_EQ(symp.plugin.getNumAudioIns(), c.count);
    EXPECT_EQ(symp.plugin.pianoCount(), c.count) << "rebuilt at once";
  }
  std::int32_t answer = 0;
  symp.plugin.setIOConfig(nullptr, &answer);
  EXPECT_EQ(answer, -1);
  const auto on = eventList({{176, 87, 1.0f}, {144, 69, 1.0f}});
  Channels audio = noiseChannels(4, 512);
  symp.runBlocks(audio, 256, on.get());
}

}  // namespace
