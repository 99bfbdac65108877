// The simple reverb as an object, with the engine side's AudioFileHost delivering responses
// written by the test: I/O layouts, the init text, parameters, the sanitiser, custom data
// links and the release of every response it asked for.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "effects/reverb/BasicConvolverPost.h"
#include "engine/pluginhost/AudioFileHost.h"
#include "tests/effects/reverb/InProcessReverb.h"
#include "tests/effects/reverb/ReverbKit.h"
#include "tests/support/TempDir.h"

namespace kelo::test {
namespace {

using namespace vantor::KELOPluginSDK;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

class SimpleReverb : public ::testing::Test, public InProcessReverb<acme::BasicConvolverPost> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(writeWav(dir.file("a.wav"), 48000, decayingNoise(300, 2, 11)));
    ASSERT_TRUE(writeWav(dir.file("b.wav"), 48000, decayingNoise(500, 1, 21)));
  }
};

TEST_F(SimpleReverb, AcceptsEqualEvenLayoutsUpToSixteenChannels) {
  struct Case {
    bool present;
    std::int32_t ins, outs, answer, kept;
  } const cases[] = {{true, 4, 4, 1, 4},    {true, 0, 0, 1, 0},    {true, 16, 16, 1, 16},
                     {true, 3, 3, -1, 2},   {true, 2, 4, -1, 2},   {true, 18, 18, -1, 2},
                     {true, -2, -2, -1, 2}, {false, 0, 0, -1, 2}};
  for (const Case& c : cases) {
    renew();
    ChannelInfo info{c.ins, c.outs};
    std::int32_t answer = 0;
    reverb->setIOConfig(c.present ? &info : nullptr, &answer);
    EXPECT_EQ(answer, c.answer) << c.ins << "/" << c.outs;
    EXPECT_EQ(reverb->getNumAudioIns(), static_cast<std::uint32_t>(c.kept)) << c.ins;
    EXPECT_EQ(reverb->getNumAudioOuts(), static_cast<std::uint32_t>(c.kept)) << c.ins;
  }
}

TEST_F(SimpleReverb, ReadsNameAndLevelsFromTheInitText) {
  struct Case {
    const char* text;
    std::string name;
    float dry, wet;
  } const cases[] = {
      {"hall.wav|0.25|0.5", "hall.wav", 0.25f, 0.5f},
      {"hall.wav|0.25x|0.5", "hall.wav", 0.0f, 0.5f},
      {"hall.wav|0.25|0.5|0.9", "hall.wav", 0.25f, 0.5f},
      {"|0.3", "", 0.3f, 0.1f},
      {"room.wav", "room.wav", 0.0f, 0.1f},
      {"", "", 0.0f, 0.1f},
      {nullptr, "", 0.0f, 0.1f},
  };
  for (const Case& c : cases) {
    renew();
    EXPECT_EQ(reverb->initEx(c.text, "ignored"), 1);
    EXPECT_EQ(reverb->getIRName(), c.name) << (c.text ? c.text : "null");
    HDMIDIEvents defaults;
    std::memset(&defaults, 0x55, sizeof defaults);
    reverb->getDefaults(&defaults);
    ASSERT_EQ(defaults.numEvents, 3);
    const float values[] = {c.dry, c.wet, 0.5f};
    for (int e = 0; e < 3; ++e) {
      HDMIDIEvent expected = controller(e, values[e]);
      EXPECT_EQ(std::memcmp(&defaults.events[e], &expected, sizeof expected), 0)
          << (c.text ? c.text : "null") << " event " << e;
    }
    EXPECT_EQ(defaults.events[3].status, 0);
  }
}

TEST_F(SimpleReverb, ControllersSetTheLevelsEvenInAnEmptyBlock) {
  configure(48000, 64);
  std::vector<std::vector<float>> audio(2, std::vector<float>(8, 0.5f));
  run(audio, {controller(0, 0.7f), controller(1, 0.2f), controller(2, 0.9f), controller(0, 0.6f),
              controller(3, 0.1f), controller(0, kNaN), controller(1, kInf)},
      0);
  EXPECT_EQ(reverb->getDryLevel(), 0.6f);  // the last finite event wins
  EXPECT_EQ(reverb->getWetLevel(), 0.2f);
  EXPECT_EQ(reverb->getLevel(), 0.9f);
  EXPECT_EQ(audio[0][0], 0.5f);  // 0 frames: audio untouched

  HDMIDIEvent other = controller(0, 0.1f);
  other.status = 177;
  run(audio, {other});
  EXPECT_EQ(reverb->getDryLevel(), 0.6f);
  EXPECT_EQ(audio[0][0], 0.5f * 0.6f);  // no response: input x dryLevel
}

TEST_F(SimpleReverb, WithoutAResponseTheOutputIsTheDrySignal) {
  configure(48000, 64);
  const std::vector<float> input = noise(64, 5);
  std::vector<std::vector<float>> audio = {input, input};
  run(audio);
  EXPECT_EQ(audio[0], std::vector<float>(64, 0.0f));  // dryLevel 0 by default
  audio = {input, input};
  run(audio, {controller(0, 0.3f)});
  for (std::size_t t = 0; t < input.size(); ++t) EXPECT_EQ(audio[1][t], input[t] * 0.3f);
}

// With a 300-frame response the convolvers rest from the first block that follows 300 silent
// frames, the tail having ended, and run again from the first sound.
TEST_F(SimpleReverb, RestsOnceTheTailHasEndedAndNotBefore) {
  reverb->initEx((dir.file("a.wav") + "|0|1").c_str(), nullptr);
  configure(48000, 64);
  std::vector<std::vector<float>> audio = {noise(64, 7), noise(64, 8)};
  run(audio);
  EXPECT_FALSE(reverb->isResting());
  for (int block = 1; block <= 6; ++block) {
    audio.assign(2, std::vector<float>(64, 0.0f));
    run(audio);
    EXPECT_EQ(reverb->isResting(), block == 6) << "silent block " << block;
  }
  EXPECT_EQ(audio[0], std::vector<float>(64, 0.0f));
  audio.assign(2, std::vector<float>(64, 0.0f));
  audio[1][63] = 0.5f;
  run(audio);
  EXPECT_FALSE(reverb->isResting());
  EXPECT_NE(audio[1][63], 0.0f);
}

TEST_F(SimpleReverb, BadSamplesRepeatTheLastGoodOne) {
  configure(48000, 64);
  // dryLevel 1 and wetLevel 0: the output is the sanitised input itself.
  const std::vector<HDMIDIEvent> transparent = {controller(0, 1.0f), controller(1, 0.0f)};
  std::vector<std::vector<float>> audio = {
      {0.5f, 64.0f, 64.0001f, 100.0f, kNaN, kInf, -kInf, -0.25f, -100.0f},
      {kNaN, 1.0f, 0.0f, -64.0f, 65.0f, 2.0f, 3.0f, 4.0f, 5.0f}};
  run(audio, transparent);
  EXPECT_EQ(audio[0], (std::vector<float>{0.5f, 64, 64, 64, 64, 64, 64, -0.25f, -0.25f}));
  EXPECT_EQ(audio[1], (std::vector<float>{0, 1, 0, -64, -64, 2, 3, 4, 5}));

  audio = {{100.0f, 0.125f}, {7.0f, kNaN}};  // the memory carries across blocks
  run(audio);
  EXPECT_EQ(audio[0], (std::vector<float>{-0.25f, 0.125f}));
  EXPECT_EQ(audio[1], (std::vector<float>{7.0f, 7.0f}));

  audio = {{0.0f, 0.0f}, {0.0f, -0.0f}};  // a silent block's last sample is the good one
  run(audio);
  audio = {{100.0f}, {kNaN}};
  run(audio);
  EXPECT_EQ(audio[0][0], 0.0f);
  EXPECT_EQ(audio[1][0], 0.0f);
  EXPECT_TRUE(std::signbit(audio[1][0]));

  reverb->stop();
  audio = {{100.0f}, {kNaN}};
  run(audio);
  EXPECT_EQ(audio[0][0], 0.0f);
  EXPECT_EQ(audio[1][0], 0.0f);

  audio = {{0.75f}, {0.5f}};
  run(audio);
  configure(44100, 32);
  audio = {{kInf}, {kNaN}};
  run(audio);
  EXPECT_EQ(audio[0][0], 0.0f);
  EXPECT_EQ(audio[1][0], 0.0f);
}

TEST_F(SimpleReverb, FourChannelsBuildTwoConvolversOfOneResponse) {
  ChannelInfo info{4, 4};
  std::int32_t answer = 0;
  reverb->setIOConfig(&info, &answer);
  reverb->initEx(dir.file("a.wav").c_str(), nullptr);
  configure(48000, 64);
  EXPECT_EQ(reverb->activePairs(), 2);
  const auto response = decayingNoise(300, 2, 11);
  const std::vector<float> input = noise(64, 3);
  std::vector<std::vector<float>> audio = {input, input, input, input};
  run(audio);
  for (std::size_t c = 0; c < 4; ++c)
    EXPECT_TRUE(closeToSignal(audio[c], reverbMix(input, response[c % 2], 0.0, 0.5f * 0.1f), 1e-5))
        << c;
}

TEST_F(SimpleReverb, OnlyTheRightMagicSwitchesTheResponse) {
  reverb->initEx(dir.file("a.wav").c_str(), nullptr);
  configure(48000, 64);
  const std::size_t callsBefore = files.calls().size();
  link(61714, dir.file("b.wav"));
  EXPECT_EQ(payload->pending, 1);
  EXPECT_EQ(reverb->getIRName(), dir.file("a.wav"));
  EXPECT_EQ(files.calls().size(), callsBefore);
  CustomDataLink empty{};
  reverb->setCustomDataLink(&empty);
  reverb->setCustomDataLink(nullptr);
  EXPECT_EQ(files.calls().size(), callsBefore);

  link(61715, dir.file("b.wav"));
  EXPECT_EQ(payload->pending, 0);
  EXPECT_EQ(reverb->getIRName(), dir.file("b.wav"));
  // b is one channel: it serves both sides.
  const std::vector<float> input = noise(64, 4);
  std::vector<std::vector<float>> audio = {input, noise(64, 5)};
  const std::vector<float> right = audio[1];
  run(audio);
  const auto response = decayingNoise(500, 1, 21);
  EXPECT_TRUE(closeToSignal(audio[0], reverbMix(input, response[0], 0.0, 0.5f * 0.1f), 1e-5));
  EXPECT_TRUE(closeToSignal(audio[1], reverbMix(right, response[0], 0.0, 0.5f * 0.1f), 1e-5));

  // A file the engine cannot load keeps the response that runs; pending is still cleared.
  link(61715, dir.file("missing.wav"));
  EXPECT_EQ(payload->pending, 0);
  audio = {input, right};
  reverb->stop();
  run(audio);
  EXPECT_TRUE(closeToSignal(audio[0], reverbMix(input, response[0], 0.0, 0.5f * 0.1f), 1e-5));
}

TEST_F(SimpleReverb, EveryLoadedResponseIsReleasedOnceUnderItsOwnName) {
  const std::string a = dir.file("a.wav"), b = dir.file("b.wav");
  reverb->initEx(a.c_str(), nullptr);
  configure(48000, 64);
  link(61715, b);                                         // while a is loaded
  configure(44100, 128);  // b again
  link(61715, dir.file("missing.wav"));
  link(61715, a);
  EXPECT_EQ(files.filesHeld(), 1u);
  reverb.reset();
  EXPECT_EQ(files.filesHeld(), 0u);

  std::vector<std::string> loads, releases;
  std::vector<double> rates;
  for (const pluginhost::HostCall& call : files.calls()) {
    if (call.opcode == HOSTOP_LOAD_AUDIO_FILE && call.result == 0) loads.push_back(call.fileName);
    if (call.opcode == HOSTOP_LOAD_AUDIO_FILE) rates.push_back(call.sampleRate);
    if (call.opcode == HOSTOP_RELEASE_AUDIO_FILE) {
      EXPECT_EQ(call.result, 0);
      releases.push_back(call.fileName);
    }
  }
  EXPECT_EQ(loads, (std::vector<std::string>{a, b, b, a}));
  EXPECT_EQ(releases, loads);
  EXPECT_EQ(rates, (std::vector<double>{48000, 48000, 44100, 44100, 44100}));
}

}  // namespace
}  // namespace kelo::test
