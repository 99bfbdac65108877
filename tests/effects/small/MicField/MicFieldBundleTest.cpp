// MicField.bundle as the engine sees it: its record, the same output whatever the blocks, and
// kelo-plugin-run's audio and reported events against the image-source reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "engine/pluginhost/AudioFileHost.h"
#include "tests/Sampler/sdk/LoadedBundle.h"
#include "tests/Sampler/sdk/PluginInfoCheck.h"
#include "tests/Sampler/sdk/host/WavFiles.h"
#include "tests/effects/small/MicField/ImageSources.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"
#include "tests/support/plugins/BlockSplitKit.h"

namespace kelo::test {
namespace {

constexpr const char* kIdentifier = "com.Sorvelin.Stage.Effect.First";
// Angles 45 and -45 degrees, spacing 2, depth 30, source width 6, height 5, room width 20,
// no extra width, cardioid, every reflection, position 0.3, distance 0.5.
constexpr const char* kStage = "45|-45|2|30|6|5|20|0|2|15|0.3|0.5";

TEST(MicFieldBundle, ListsTheSpatializerWithoutAnAudioLayout) {
  LoadedBundle bundle(KELO_BUNDLE_SO);
  expectInfoRows(bundle, {{kIdentifier, "Stage.Effect.First", "Sorvelin\tStage.Effect.First", {}}},
             false);
}

PluginUnderTest spatializer(int maxBlockSize) {
  pluginhost::InstanceSettings settings;
  settings.initText = kStage;
  settings.extraText = "engine";
  settings.maxBlockSize = maxBlockSize;
  return {KELO_BUNDLE, kIdentifier, settings, {}};
}

TEST(MicFieldBundle, BlocksOfAnyLengthGiveTheSameOutput) {
  const AudioChannels input = {noise(4000, 81), noise(4000, 82)};
  EXPECT_TRUE(sameOutputInAnyBlocks(spatializer(256), input));
  const AudioChannels whole = runInBlocks(spatializer(4000), input, {4000});
  ASSERT_EQ(whole.size(), 2u);
  for (std::size_t length : {1, 3, 5, 7})
    EXPECT_EQ(runInBlocks(spatializer(256), input, cycled(4000, {length})), whole) << length;
}

TEST(MicFieldBundle, KeloPluginRunRendersTheStageAndReportsTheStageSwitchingOn) {
  TempDir dir;
  const std::vector<std::vector<float>> input = {noise(12000, 91), noise(12000, 92)};
  ASSERT_TRUE(writeWav(dir.file("noise.wav"), 48000, input));
  ASSERT_EQ(
      runProgram(KELO_PLUGIN_RUN, {"--bundle", KELO_BUNDLE, "--plugin", kIdentifier, "--input",
                                   dir.file("noise.wav"), "--init", kStage, "--extra", "engine",
                                   "--output", dir.file("stage.wav"), "--block", "200"}).status,
      0);
  std::vector<std::vector<float>> written;
  double rate = 0;
  std::string error;
  ASSERT_TRUE(pluginhost::readAudioFile(dir.file("stage.wav"), written, rate, error)) << error;
  ASSERT_EQ(written.size(), 2u);
  stage::Stage s{M_PI / 4, -M_PI / 4, 2, 30, 6, 5, 20, 0, 2, 15, 0.3, 0.5};
  // The position as the plug-in holds it after its controller-10 round trip.
  s.position =
      std::clamp((0.3f * 0.992126f + 0.007874016f) * 1.0079365f - 0.007936508f, 0.0f, 1.0f);
  const auto taps = stage::stageTaps(s, 48000);
  for (std::size_t side = 0; side < 2; ++side)
    EXPECT_TRUE(closeToSignal(written[side], stage::renderTaps(taps[side], input[side]), 1e-5))
        << side;

  // Off at once (a fade to the panner), on again once that fade is over: the report is
  // written at the start of the block that switches.
  ASSERT_TRUE(writeFile(dir.file("events.txt"), "0 176 103 0\n4000 176 103 1\n"));
  ASSERT_EQ(runProgram(KELO_PLUGIN_RUN,
                       {"--bundle", KELO_BUNDLE, "--plugin", kIdentifier, "--frames", "6000",
                        "--init", kStage, "--extra", "engine", "--events", dir.file("events.txt"),
                        "--events-out", dir.file("sent.txt"), "--block", "200"}).status,
            0);
  EXPECT_EQ(readFile(dir.file("sent.txt")), "4000 176 256 0\n4000 176 36 0.5\n4000 176 36 0.5\n");
}

}  // namespace
}  // namespace kelo::test
