// RoomFold.bundle as the engine sees it: its record, the simple reverb against a direct
// convolution for each convolver class, block lengths and the block-split kit,
// kelo-plugin-run with a custom data link, and the bundle kept mapped for its workers.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "engine/pluginhost/AudioFileHost.h"
#include "tests/Sampler/sdk/LoadedBundle.h"
#include "tests/Sampler/sdk/PluginInfoCheck.h"
#include "tests/effects/reverb/ReverbKit.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"
#include "tests/support/plugins/BlockSplitKit.h"

namespace kelo::test {
namespace {

constexpr const char* kSimple = "com.Sorvelin.Kelo.Convolver.Simple";
constexpr const char* kRoom = "com.Sorvelin.Kelo.Convolver.Room";
const std::map<std::size_t, std::int32_t> kReverbNumbers = {
    {256, -2}, {260, -2}, {448, 1}, {460, 1830}, {472, 61715}, {504, 1}};

TEST(RoomFoldBundle, ListsBothReverbs) {
  LoadedBundle bundle(KELO_BUNDLE_SO);
  expectInfoRows(bundle,
                 {{kSimple, "Convolver.Simple", "Kelo\tConvolver.Simple", kReverbNumbers},
                  {kRoom, "Convolver.Room", "Kelo\tConvolver.Room", kReverbNumbers}},
                 false);
}

PluginUnderTest simpleReverb(const std::string& init, int maxBlockSize, int channels = 2) {
  pluginhost::InstanceSettings settings;
  settings.initText = init;
  settings.maxBlockSize = maxBlockSize;
  settings.audioChannels = channels;
  return {KELO_BUNDLE, kSimple, settings, {}};
}

// One response length per convolver class, one and two channels: dry 0.25, wet 0.5 and
// level 0.5 from the first sample, whatever the block length.
TEST(RoomFoldBundle, SimpleReverbIsTheDirectConvolutionFromTheFirstSample) {
  TempDir dir;
  for (std::size_t frames : {12, 60, 2000, 3000, 20000}) {
    for (std::size_t channels : {1, 2}) {
      const auto response = decayingNoise(frames, channels, static_cast<unsigned>(frames));
      const std::string file = dir.file(std::to_string(frames) + "-" + std::to_string(channels) + ".wav");
      ASSERT_TRUE(writeWav(file, 48000, response));
      const std::size_t length = frames + 1500;
      const AudioChannels input = {noise(length, 1), noise(length, 2)};
      std::vector<std::vector<double>> expected;
      for (std::size_t side = 0; side < 2; ++side)
        expected.push_back(reverbMix(input[side], response[side % channels], 0.25, 0.5f * 0.5f));
      for (std::size_t block : {1, 31, 32, 33, 512}) {
        if (block == 1 && frames != 2000) continue;  // one class call by call is enough
        const AudioChannels out =
            runInBlocks(simpleReverb(file + "|0.25|0.5", 512), input, cycled(length, {block}));
        ASSERT_EQ(out.size(), 2u);
        for (std::size_t side = 0; side < 2; ++side)
          EXPECT_TRUE(closeToSignal(out[side], expected[side], 2e-5))
              << frames << " frames, " << channels << " channels, blocks of " << block
              << ", side " << side;
      }
    }
  }
}

TEST(RoomFoldBundle, SimpleReverbGivesTheSameOutputInAnyBlocks) {
  TempDir dir;
  ASSERT_TRUE(writeWav(dir.file("ir.wav"), 48000, decayingNoise(3000, 2, 31)));
  const AudioChannels input = {noise(6000, 32), noise(6000, 33)};
  EXPECT_TRUE(sameOutputInAnyBlocks(simpleReverb(dir.file("ir.wav") + "|0.5|1", 256), input, 1e-5));
}

TEST(RoomFoldBundle, FourChannelsConvolveBothPairsWithTheOneResponse) {
  TempDir dir;
  const auto response = decayingNoise(700, 2, 41);
  ASSERT_TRUE(writeWav(dir.file("ir.wav"), 48000, response));
  const AudioChannels input = {noise(2000, 42), noise(2000, 43), noise(2000, 44), noise(2000, 45)};
  const AudioChannels out =
      runInBlocks(simpleReverb(dir.file("ir.wav"), 128, 4), input, cycled(2000, {128}));
  ASSERT_EQ(out.size(), 4u);
  for (std::size_t c = 0; c < 4; ++c)
    EXPECT_TRUE(closeToSignal(out[c], reverbMix(input[c], response[c % 2], 0.0, 0.5f * 0.1f), 2e-5))
        << c;
}

// Both reverbs at 48 kHz with the room at its defaults: the direct convolution with the
// response a custom data link names, mixed as the init text says.
TEST(RoomFoldBundle, KeloPluginRunConvolvesWithTheResponseOfACustomDataLink) {
  struct Case {
    const char* plugin;
    std::string init, block;
    double dry, wetGain;
  } const cases[] = {{kSimple, "", "100", 0.0, 0.5f * 0.1f},
                     {kRoom, "|0.25|0.5", "128", 0.25, 0.5f * 0.5f}};
  TempDir dir;
  const auto response = decayingNoise(4000, 2, 51);
  const std::vector<std::vector<float>> input = {noise(9000, 52), noise(9000, 53)};
  ASSERT_TRUE(writeWav(dir.file("ir.wav"), 48000, response));
  ASSERT_TRUE(writeWav(dir.file("noise.wav"), 48000, input));
  for (const Case& c : cases) {
    ASSERT_EQ(runProgram(KELO_PLUGIN_RUN,
                         {"--bundle", KELO_BUNDLE, "--plugin", c.plugin, "--input",
                          dir.file("noise.wav"), "--custom-data", dir.file("ir.wav"), "--output",
                          dir.file("wet.wav"), "--block", c.block, "--init", c.init})
                  .status,
              0);
    std::vector<std::vector<float>> written;
    double rate = 0;
    std::string error;
    ASSERT_TRUE(pluginhost::readAudioFile(dir.file("wet.wav"), written, rate, error)) << error;
    ASSERT_EQ(written.size(), 2u);
    for (std::size_t side = 0; side < 2; ++side)
      EXPECT_TRUE(closeToSignal(written[side],
                                reverbMix(input[side], response[side], c.dry, c.wetGain), 2e-5))
          << c.plugin << " side " << side;
  }
}

// Sound, silence longer than the response, sound: both reverbs give what they give when the
// silence is a faint signal they cannot rest over, within -140 dBFS up to the second sound and
// within rounding after it.
TEST(RoomFoldBundle, KeloPluginRunGivesTheSameOutputWhetherTheReverbRestsOrNot) {
  TempDir dir;
  constexpr std::size_t kSound = 4000, kSilence = 30000, kCut = kSound + kSilence;
  ASSERT_TRUE(writeWav(dir.file("ir.wav"), 48000, decayingNoise(6000, 2, 71)));
  std::vector<std::vector<float>> input = {soundSilenceSound(kSound, kSilence, 72),
                                           soundSilenceSound(kSound, kSilence, 74)};
  for (auto& channel : input)
    for (float& x : channel) x *= 0.05f;  // the output within full scale
  ASSERT_TRUE(writeWav(dir.file("resting.wav"), 48000, input));
  ASSERT_TRUE(writeWav(dir.file("running.wav"), 48000,
                       {faintForSilent(input[0]), faintForSilent(input[1])}));
  for (const char* plugin : {kSimple, kRoom}) {
    std::vector<std::vector<float>> out[2];
    for (int run = 0; run < 2; ++run) {
      const std::string name = run == 0 ? "resting" : "running";
      ASSERT_EQ(runProgram(KELO_PLUGIN_RUN,
                           {"--bundle", KELO_BUNDLE, "--plugin", plugin, "--input",
                            dir.file(name + ".wav"), "--custom-data", dir.file("ir.wav"),
                            "--output", dir.file(name + "-out.wav"), "--block", "256",
                            "--init", "|0.5|1"})
                    .status,
                0);
      double rate = 0;
      std::string error;
      ASSERT_TRUE(pluginhost::readAudioFile(dir.file(name + "-out.wav"), out[run], rate, error))
          << error;
      ASSERT_EQ(out[run].size(), 2u);
    }
    for (std::size_t side = 0; side < 2; ++side) {
      const std::vector<float>& resting = out[0][side];
      const std::vector<float>& running = out[1][side];
      ASSERT_EQ(resting.size(), running.size());
      const auto largest = largestDifferences(resting, running, kCut);
      EXPECT_LE(largest[0], 1e-7) << plugin << " side " << side;
      EXPECT_LE(largest[1], 1e-6) << plugin << " side " << side;
    }
  }
}

TEST(RoomFoldBundle, RoomReverbGivesTheSameOutputInAnyBlocks) {
  TempDir dir;
  ASSERT_TRUE(writeWav(dir.file("ir.wav"), 48000, decayingNoise(2500, 2, 58)));
  PluginUnderTest room{KELO_BUNDLE, kRoom, {}, {}};
  room.settings.initText = dir.file("ir.wav") + "|0.5|1|0.01|0.7|0.6";
  room.settings.maxBlockSize = 256;
  const AudioChannels input = {noise(5000, 59), noise(5000, 60)};
  EXPECT_TRUE(sameOutputInAnyBlocks(room, input, 1e-5));
}

// The room reverb's worker runs bundle code for a moment after its object's die returns, so
// closing the bundle after the last instance must not unmap it.
TEST(RoomFoldBundle, StaysMappedOnceItsWorkersRan) {
  TempDir dir;
  ASSERT_TRUE(writeWav(dir.file("ir.wav"), 48000, decayingNoise(2000, 2, 61)));
  const std::string answer = textFromChild([&] {
    if (dlopen(KELO_BUNDLE_SO, RTLD_NOW | RTLD_NOLOAD) != nullptr) return std::string("loaded before");
    {
      LoadedBundle bundle(KELO_BUNDLE_SO);
      if (!bundle.ok()) return std::string("no bundle");
      pluginhost::AudioFileHost files;
      vantor::KELOPluginSDK::PluginStruct* room = bundle.create(kRoom, files.host());
      const std::string init = dir.file("ir.wav");
      bundle.dispatcher(room, vantor::KELOPluginSDK::PLUGOP_INITEX, const_cast<char*>(init.c_str()),
                        nullptr);
      vantor::KELOPluginSDK::DSPInfo info = dspSettings(48000, 256);
      bundle.dispatcher(room, vantor::KELOPluginSDK::PLUGOP_SET_DSPINFO, &info, nullptr);
      bundle.destroy(room);
    }
    return std::string(dlopen(KELO_BUNDLE_SO, RTLD_NOW | RTLD_NOLOAD) != nullptr ? "mapped"
                                                                                 : "unmapped");
  });
  EXPECT_EQ(answer, "mapped");
}

}  // namespace
}  // namespace kelo::test
