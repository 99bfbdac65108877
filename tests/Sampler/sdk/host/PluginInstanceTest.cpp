// Instances of the test bundle's plug-ins driven by the engine side: the order of calls the
// plug-ins rely on, block sizes, defaults, custom data, audio files and failures.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "engine/pluginhost/AudioFileHost.h"
#include "engine/pluginhost/PluginInstance.h"
#include "tests/Sampler/sdk/TestPlugins.h"
#include "tests/Sampler/sdk/host/WavFiles.h"
#include "tests/support/TempDir.h"

namespace kelo::pluginhost {
namespace {

using namespace vantor::KELOPluginSDK;

class Instances : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    bundle = PluginBundle::open(KELO_TEST_PLUGINS_BUNDLE, error);
    ASSERT_NE(bundle, nullptr) << error;
  }
  std::unique_ptr<PluginInstance> make(const char* identifier, const InstanceSettings& settings) {
    std::string error;
    auto instance = PluginInstance::create(*bundle, identifier, host, settings, error);
    EXPECT_NE(instance, nullptr) << error;
    return instance;
  }

  test::TempDir dir;
  AudioFileHost host;  // outlives the bundle's instances
  std::unique_ptr<PluginBundle> bundle;
};

struct Traced {
  std::int32_t status, data1;
  float data2;
  std::uint32_t tick;
};

std::vector<Traced> traced(const HDMIDIEvents& events) {
  std::vector<Traced> out;
  for (std::int64_t i = 0; i < events.numEvents; ++i)
    out.push_back({events.events[i].status, events.events[i].data1, events.events[i].data2,
                   events.events[i].bufTick});
  return out;
}

bool operator==(const Traced& a, const Traced& b) {
  return a.status == b.status && a.data1 == b.data1 && a.data2 == b.data2 && a.tick == b.tick;
}

std::ostream& operator<<(std::ostream& out, const Traced& t) {
  return out << "{" << t.status << ", " << t.data1 << ", " << t.data2 << ", @" << t.tick << "}";
}

TEST_F(Instances, CallsComeInTheOrderPluginsRelyOnAndDefaultsOpenTheFirstBlock) {
  const std::string file = dir.file("ir.wav");
  ASSERT_TRUE(test::writeWav(file, 44100, {test::impulse(441, 0), test::impulse(441, 1)}));
  InstanceSettings settings;
  settings.initText = "0.75";
  settings.sampleRate = 48000;
  settings.maxBlockSize = 128;
  settings.customDataFile = file;
  auto probe = make(test::kProbeId, settings);
  ASSERT_NE(probe, nullptr);
  EXPECT_TRUE(probe->isMIDIPlugin());
  EXPECT_EQ(probe->numAudioChannels(), 0);

  auto in = std::make_unique<HDMIDIEvents>();
  auto out = std::make_unique<HDMIDIEvents>();
  in->numEvents = 2;
  in->events[0] = midiEvent(144, 60, 0.5f, 10);
  in->events[1] = midiEvent(128, 60, 0.0f, 300);  // falls in the third call of 128 frames
  probe->process(nullptr, 300, in.get(), out.get(), nullptr);

  const std::int32_t T = test::kTraceStatus, B = test::kBlockStatus;
  const std::vector<Traced> expected = {
      {T, PLUGOP_INITEX, 0, 0},
      {T, PLUGOP_SET_IO_CONFIG, 0, 0},
      {T, PLUGOP_SET_DSPINFO, 128, 0},
      {T, PLUGOP_GET_DEFAULTS, 0, 0},
      {T, PLUGOP_SET_CUSTOM_DATA_LINK, 480, 0},  // 441 frames at 44.1 kHz delivered at 48 kHz
      {T, PLUGOP_START, 0, 0},
      {176, 7, 0.75f, 0},
      {176, 300, test::kProbeDefault300, 0},
      {144, 60, 0.5f, 10},
      {B, 128, 0, 0},
      {B, 128, 0, 128},
      {128, 60, 0.0f, 299},  // a tick past the block lands on its last frame
      {B, 44, 0, 256},
  };
  EXPECT_EQ(traced(*out), expected);

  // The defaults come once: the next block carries only its own events.
  in->numEvents = 0;
  probe->process(nullptr, 64, in.get(), out.get(), nullptr);
  EXPECT_EQ(traced(*out), (std::vector<Traced>{{B, 64, 0, 0}}));
  EXPECT_EQ(host.filesHeld(), 0u);  // the probe gave its file back
}

TEST_F(Instances, InitThroughOpcodeZeroAndLaterSettings) {
  InstanceSettings settings;
  settings.initThroughRecord = false;
  settings.maxBlockSize = 32;
  auto probe = make(test::kProbeId, settings);
  ASSERT_NE(probe, nullptr);
  EXPECT_TRUE(probe->setDSPSettings(96000, 16));
  EXPECT_FALSE(probe->setDSPSettings(0, 16));
  EXPECT_FALSE(probe->setDSPSettings(48000, 0));
  auto out = std::make_unique<HDMIDIEvents>();
  probe->process(nullptr, 20, nullptr, out.get(), nullptr);
  const std::vector<Traced> events = traced(*out);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events[0], (Traced{test::kTraceStatus, PLUGOP_INITEX, 0, 0}));
  // setDSPInfo through opcode 12 reaches the same operation; blocks follow its size.
  EXPECT_NE(std::find(events.begin(), events.end(),
                      Traced{test::kTraceStatus, PLUGOP_SET_DSPINFO, 16, 0}),
            events.end());
  EXPECT_EQ(events.back(), (Traced{test::kBlockStatus, 4, 0, 16}));
}

TEST_F(Instances, APassThroughIsBitExact) {
  InstanceSettings settings;
  settings.audioChannels = 3;
  settings.maxBlockSize = 64;
  auto instance = make(test::kPassThroughId, settings);
  ASSERT_NE(instance, nullptr);
  ASSERT_EQ(instance->numAudioChannels(), 3);
  std::mt19937 random(7);
  std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
  std::vector<std::vector<float>> channels(3, std::vector<float>(1000));
  for (auto& channel : channels)
    for (float& sample : channel) sample = noise(random);
  const auto original = channels;
  float* audio[3] = {channels[0].data(), channels[1].data(), channels[2].data()};
  instance->process(audio, 1000, nullptr, nullptr, nullptr);
  EXPECT_EQ(channels, original);
}

TEST_F(Instances, AFileDeliveredAtTheInstanceRateReachesTheOutput) {
  const std::string file = dir.file("click.wav");
  ASSERT_TRUE(test::writeWav(file, 44100, {test::impulse(4410, 441)}));
  InstanceSettings settings;
  settings.sampleRate = 96000;
  settings.customDataFile = file;
  auto feed = make(test::kFileFeedId, settings);
  ASSERT_NE(feed, nullptr);
  std::vector<float> left(2048, 0.5f), right(2048, 0.5f);
  float* audio[2] = {left.data(), right.data()};
  feed->process(audio, 2048, nullptr, nullptr, nullptr);
  const long peak = std::max_element(left.begin(), left.end()) - left.begin();
  EXPECT_NEAR(static_cast<double>(peak), 960.0, 1.0);  // 10 ms at 96 kHz
  EXPECT_EQ(left, right);  // one file channel feeds both outputs
  EXPECT_EQ(host.filesHeld(), 1u);
  feed.reset();
  EXPECT_EQ(host.filesHeld(), 0u);
}

TEST_F(Instances, PluginsThatRefuseTheirSetupAreNotCreated) {
  struct Case {
    const char* identifier;
    std::string initText, extraText;
    std::int32_t channels;
  };
  const Case cases[] = {
      {test::kFaultyId, "", "0", 2},         // initEx answers 0
      {test::kFaultyId, "init", "1", 2},     // initEx throws
      {test::kFaultyId, "", "1", 3},         // even channel counts only
      {test::kPassThroughId, "", "", 33},    // more channels than an instance takes
      {test::kThrowsOnCreateId, "", "", 2},  // constructor throws
      {"com.Kelo.Test.Nothing", "", "", 2},  // not in the bundle
  };
  for (const Case& c : cases) {
    InstanceSettings settings;
    settings.initText = c.initText;
    settings.extraText = c.extraText;
    settings.audioChannels = c.channels;
    std::string error;
    EXPECT_EQ(PluginInstance::create(*bundle, c.identifier, host, settings, error), nullptr)
        << c.identifier << " " << c.initText;
    EXPECT_FALSE(error.empty());
  }
}

TEST_F(Instances, AFailingPluginCostsSilenceNotTheEngine) {
  InstanceSettings settings;
  settings.initText = "defaults,process";
  auto faulty = make(test::kFaultyId, settings);
  ASSERT_NE(faulty, nullptr);
  EXPECT_EQ(faulty->defaults().numEvents, 0);
  std::vector<float> left(100, 0.5f), right(100, 0.5f);
  float* audio[2] = {left.data(), right.data()};
  auto out = std::make_unique<HDMIDIEvents>();
  out->numEvents = 5;
  faulty->process(audio, 100, nullptr, out.get(), nullptr);
  EXPECT_EQ(left, std::vector<float>(100, 0.0f));
  EXPECT_EQ(out->numEvents, 0);
}

}  // namespace
}  // namespace kelo::pluginhost
