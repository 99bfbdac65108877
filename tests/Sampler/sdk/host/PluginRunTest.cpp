// The command-line runner over the test bundle, as a person would use it.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/pluginhost/AudioFileHost.h"
#include "tests/Sampler/sdk/TestPlugins.h"
#include "tests/Sampler/sdk/host/WavFiles.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"

namespace kelo::test {
namespace {

int runPluginRun(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), KELO_PLUGIN_RUN);
  return runProgram(std::move(arguments));
}

TEST(PluginRun, APassThroughWritesItsInputBitExactly) {
  TempDir dir;
  std::mt19937 random(3);
  std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
  std::vector<std::vector<float>> channels(2, std::vector<float>(1500));
  for (auto& channel : channels)
    for (float& sample : channel) sample = noise(random);
  ASSERT_TRUE(writeWav(dir.file("in.wav"), 44100, channels));
  ASSERT_EQ(
      runPluginRun({"--bundle", KELO_TEST_PLUGINS_BUNDLE, "--plugin", kPassThroughId, "--input",
                    dir.file("in.wav"), "--output", dir.file("out.wav"), "--block", "100"}),
      0);
  std::vector<std::vector<float>> written;
  double rate = 0;
  std::string error;
  ASSERT_TRUE(pluginhost::readAudioFile(dir.file("out.wav"), written, rate, error)) << error;
  EXPECT_EQ(rate, 44100.0);
  EXPECT_EQ(written, channels);
}

TEST(PluginRun, AMIDIPluginsEventsFollowTheScript) {
  TempDir dir;
  ASSERT_TRUE(writeFile(dir.file("script.txt"),
                        "# frame status data1 data2\n"
                        "300 0x90 64 0.5\n"
                        "10 144 60 1\n"
                        "\n"
                        "310 128 64 0   # off\n"));
  ASSERT_EQ(
      runPluginRun({"--bundle", KELO_TEST_MIDI_SO, "--plugin", kEchoId, "--frames", "512",
                    "--events", dir.file("script.txt"), "--events-out", dir.file("sent.txt")}),
      0);
  EXPECT_EQ(readFile(dir.file("sent.txt")), "10 144 60 1\n300 144 64 0.5\n310 128 64 0\n");
}

TEST(PluginRun, MistakesAreReportedNotRun) {
  TempDir dir;
  ASSERT_TRUE(writeFile(dir.file("bad.txt"), "10 144 sixty 1\n"));
  const std::string bundle = KELO_TEST_PLUGINS_BUNDLE;
  struct Case {
    std::vector<std::string> arguments;
    int status;
  };
  const Case cases[] = {
      {{}, 2},
      {{"--bundle", bundle, "--plugin"}, 2},
      {{"--bundle", bundle, "--outptu", "x"}, 2},
      {{"--bundle", bundle, "--plugin", kPassThroughId, "--frames", "many", "--output", "x"}, 2},
      {{"--bundle", dir.file("none.bundle"), "--list"}, 1},
      {{"--bundle", bundle, "--plugin", "com.Kelo.Test.None", "--frames", "10", "--output",
        dir.file("o.wav")},
       1},
      {{"--bundle", bundle, "--plugin", kPassThroughId, "--output", dir.file("o.wav")}, 1},
      {{"--bundle", bundle, "--plugin", kProbeId, "--frames", "10", "--events", dir.file("bad.txt"),
        "--events-out", dir.file("e.txt")},
       1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(runPluginRun(c.arguments), c.status) << testing::PrintToString(c.arguments);
  EXPECT_EQ(runPluginRun({"--bundle", bundle, "--list"}), 0);
}

}  // namespace
}  // namespace kelo::test
