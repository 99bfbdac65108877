// TriBand.bundle as the engine sees it: its information records, both identifiers, the output
// of kelo-plugin-run against the cookbook in double, and the same output whatever the blocks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/pluginhost/AudioFileHost.h"
#include "engine/pluginhost/PluginBundle.h"
#include "tests/Sampler/sdk/LoadedBundle.h"
#include "tests/Sampler/sdk/PluginInfoCheck.h"
#include "tests/Sampler/sdk/host/WavFiles.h"
#include "tests/Sampler/source/CookbookReference.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"
#include "tests/support/plugins/BlockSplitKit.h"

namespace kelo::test {
namespace {

using pluginhost::midiEvent;

constexpr const char* kIdentifiers[] = {"com.Sorvelin.Halvorne.EQ", "com.Sorvelin.TriBand"};

TEST(TriBandBundle, ListsTheEqualiserUnderBothNames) {
  LoadedBundle bundle(KELO_BUNDLE_SO);
  const std::map<std::size_t, std::int32_t> numbers = {{256, -1}, {260, -1}, {448, 1}, {460, 2001}};
  expectInfoRows(bundle,
             {{"com.Sorvelin.Halvorne.EQ", "Halvorne.EQ", "Sorvelin\tHalvorne.EQ", numbers},
              {"com.Sorvelin.TriBand", "TriBand", "Sorvelin\tTriBand", numbers}},
             false);
}

// Gains -6, +6 and +3 dB, the peak at 4050 Hz, set at once by controller 3.
std::vector<vantor::KELOPluginSDK::HDMIDIEvent> settingsAtOnce() {
  return {midiEvent(176, 0, 0.25f, 0), midiEvent(176, 1, 0.75f, 0), midiEvent(176, 2, 0.625f, 0),
          midiEvent(176, 4, 0.5f, 0), midiEvent(176, 3, 0.0f, 0)};
}

// Single-precision coefficients and arithmetic against double: a few 1e-5 of the peak.
constexpr double kTolerance = 5e-5;

std::vector<double> throughCookbook(const std::vector<float>& input, double rate) {
  std::vector<double> signal(input.begin(), input.end());
  for (const cookbook::Filter& band : cookbook::equaliser(rate, -6, 6, 3, 4050))
    signal = band.run(signal);
  return signal;
}

TEST(TriBandBundle, BothIdentifiersCreateTheSameEqualiser) {
  std::string error;
  auto bundle = pluginhost::PluginBundle::open(KELO_BUNDLE, error);
  ASSERT_NE(bundle, nullptr) << error;
  const AudioChannels input = {noise(2000, 21), noise(2000, 22)};
  std::vector<AudioChannels> outputs;
  for (const char* identifier : kIdentifiers) {
    ASSERT_NE(bundle->find(identifier), nullptr) << identifier;
    EXPECT_EQ(bundle->find(identifier)->channelLayout, -1);
    pluginhost::InstanceSettings settings;
    settings.sampleRate = 44100;
    const AudioChannels out = runInBlocks({KELO_BUNDLE, identifier, settings, settingsAtOnce()},
                                          input, cycled(2000, {256}));
    ASSERT_EQ(out.size(), 2u);
    for (std::size_t ch = 0; ch < 2; ++ch)
      EXPECT_TRUE(closeToSignal(out[ch], throughCookbook(input[ch], 44100), kTolerance))
          << identifier;
    outputs.push_back(out);
  }
  EXPECT_EQ(outputs[0], outputs[1]);
}

TEST(TriBandBundle, BlocksOfAnyLengthGiveTheSameOutput) {
  for (int channels : {1, 2, 3}) {
    pluginhost::InstanceSettings settings;
    settings.sampleRate = 48000;
    settings.maxBlockSize = 128;
    settings.audioChannels = channels;
    AudioChannels input;
    for (int ch = 0; ch < channels; ++ch)
      input.push_back(noise(3000, 30 + static_cast<unsigned>(ch)));
    EXPECT_TRUE(
        sameOutputInAnyBlocks({KELO_BUNDLE, kIdentifiers[1], settings, settingsAtOnce()}, input))
        << channels << " channels";
  }
}

TEST(TriBandBundle, KeloPluginRunFiltersAFileAsTheCookbookDoes) {
  TempDir dir;
  const std::vector<std::vector<float>> input = {noise(20000, 41), noise(20000, 42)};
  ASSERT_TRUE(writeWav(dir.file("noise.wav"), 96000, input));
  ASSERT_TRUE(writeFile(dir.file("events.txt"),
                        "0 176 0 0.25\n0 176 1 0.75\n0 176 2 0.625\n0 176 4 0.5\n"
                        "0 176 3 0   # coefficients at once\n"));
  ASSERT_EQ(
      runProgram(KELO_PLUGIN_RUN, {"--bundle", KELO_BUNDLE, "--plugin", kIdentifiers[1], "--input",
                                   dir.file("noise.wav"), "--events", dir.file("events.txt"),
                                   "--output", dir.file("out.wav"), "--block", "333"}).status,
      0);
  std::vector<std::vector<float>> written;
  double rate = 0;
  std::string error;
  ASSERT_TRUE(pluginhost::readAudioFile(dir.file("out.wav"), written, rate, error)) << error;
  ASSERT_EQ(written.size(), 2u);
  for (std::size_t ch = 0; ch < 2; ++ch)
    EXPECT_TRUE(closeToSignal(written[ch], throughCookbook(input[ch], 96000), kTolerance)) << ch;
}

}  // namespace
}  // namespace kelo::test
