// The reference engine's plug-in chain, made from a data folder's "KeloSetup.xml" naming the
// test bundles: MIDI plug-ins before the voices, audio plug-ins on the output.
#include <gtest/gtest.h>

#include <vector>

#include "engine/pluginhost/PluginChain.h"
#include "tests/Sampler/sdk/TestPlugins.h"
#include "tests/Sampler/sdk/host/WavFiles.h"
#include "tests/support/TempDir.h"

namespace kelo::pluginhost {
namespace {

vantor::MIDIEvent noteOn(int key, int velocity, int frame) {
  vantor::MIDIEvent event{};
  event.bytes[0] = 0x90;
  event.bytes[1] = static_cast<std::uint8_t>(key);
  event.bytes[2] = static_cast<std::uint8_t>(velocity);
  event.frameOffset = frame;
  return event;
}

class Chain : public ::testing::Test {
 protected:
  std::unique_ptr<kelo::engine::EngineChain> load(const std::string& plugins) {
    EXPECT_TRUE(test::writeFile(dir.file("KeloSetup.xml"),
                                "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<KeloSetup version=\"1\">\n" +
                                    plugins + "</KeloSetup>\n"));
    return loadEngineChain(dir.path());
  }
  test::TempDir dir;
};

TEST_F(Chain, MIDIPluginsRunBeforeTheVoicesAudioPluginsOnTheOutput) {
  ASSERT_TRUE(test::writeWav(dir.file("click.wav"), 44100, {test::impulse(441, 0)}));
  auto chain = load(std::string("<Plugin bundle=\"") + KELO_TEST_MIDI_SO + "\" identifier=\"" +
                    test::kEchoId + "\"/>\n" + "<Plugin bundle=\"" + KELO_TEST_PLUGINS_BUNDLE +
                    "\" identifier=\"" + test::kFileFeedId +
                    "\" customData=\"click.wav\"/>\n");
  auto* plugins = dynamic_cast<PluginChain*>(chain.get());
  ASSERT_NE(plugins, nullptr);
  plugins->prepare(48000, 256, 0, 2);
  EXPECT_EQ(plugins->midiStageSize(), 1u);
  EXPECT_EQ(plugins->audioStageSize(), 1u);

  // Echo hands the events back sorted by frame, equal frames in their order.
  const vantor::MIDIEvent events[] = {noteOn(64, 100, 20), noteOn(60, 127, 5), noteOn(62, 1, 20)};
  std::size_t count = 0;
  const vantor::MIDIEvent* played = chain->processMIDI(events, 3, count, 256, nullptr);
  ASSERT_EQ(count, 3u);
  EXPECT_EQ(played[0].bytes[1], 60);
  EXPECT_EQ(played[0].bytes[2], 127);
  EXPECT_EQ(played[0].frameOffset, 5);
  EXPECT_EQ(played[1].bytes[1], 64);
  EXPECT_EQ(played[1].bytes[2], 100);
  EXPECT_EQ(played[2].bytes[1], 62);
  EXPECT_EQ(played[2].bytes[2], 1);

  std::vector<float> left(256, 0.25f), right(256, 0.25f);
  float* outputs[2] = {left.data(), right.data()};
  chain->processAudio(outputs, 2, 256, nullptr);
  EXPECT_GT(left[0], 0.9f);  // the click, delivered at 48 kHz, replaces the output
  EXPECT_EQ(left, right);
  EXPECT_EQ(plugins->host().filesHeld(), 1u);
}

TEST_F(Chain, ABundleNamedRelativeToTheDataFolderAndABrokenEntryLeftOut) {
  auto chain = load(std::string("<Plugin bundle=\"missing.bundle\" identifier=\"x\"/>\n") +
                    "<Plugin bundle=\"" + KELO_TEST_MIDI_SO + "\" identifier=\"" +
                    test::kMarkerId + "\"/>\n" + "<Plugin bundle=\"" + KELO_TEST_PLUGINS_BUNDLE +
                    "\" identifier=\"" + test::kFaultyId + "\" extra=\"0\"/>\n");
  auto* plugins = dynamic_cast<PluginChain*>(chain.get());
  ASSERT_NE(plugins, nullptr);
  plugins->prepare(44100, 64, 0, 2);
  EXPECT_EQ(plugins->audioStageSize(), 1u);
  std::vector<float> left(64, 0.0f), right(64, 0.0f);
  float* outputs[2] = {left.data(), right.data()};
  chain->processAudio(outputs, 2, 64, nullptr);
  EXPECT_EQ(left, std::vector<float>(64, 2.0f));  // the second bundle's marker, one channel
  EXPECT_EQ(right, std::vector<float>(64, 0.0f));
}

TEST_F(Chain, AMIDIPluginDecidesWhatTheVoicesPlay) {
  auto chain = load(std::string("<Plugin bundle=\"") + KELO_TEST_MIDI_SO + "\" identifier=\"" +
                    test::kSwallowId + "\"/>\n");
  chain->prepare(48000, 128, 0, 2);
  vantor::MIDIEvent controller{};
  controller.bytes[0] = 0xB0;
  controller.bytes[1] = 7;
  controller.bytes[2] = 64;
  controller.frameOffset = 3;
  const vantor::MIDIEvent events[] = {noteOn(60, 100, 0), controller, noteOn(61, 100, 9)};
  std::size_t count = 9;
  const vantor::MIDIEvent* played = chain->processMIDI(events, 3, count, 128, nullptr);
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(played[0].bytes[0], 0xB0);
  EXPECT_EQ(played[0].bytes[2], 64);
  EXPECT_EQ(played[0].frameOffset, 3);
}

TEST_F(Chain, WithoutPluginsTheChainPassesEverythingThrough) {
  for (const std::string& setup : {std::string(), std::string("<Broken")}) {
    auto chain = setup == "<Broken" ? (test::writeFile(dir.file("KeloSetup.xml"), setup),
                                       loadEngineChain(dir.path()))
                                    : load(setup);
    EXPECT_EQ(dynamic_cast<PluginChain*>(chain.get()), nullptr);
    const vantor::MIDIEvent events[] = {noteOn(60, 100, 0)};
    std::size_t count = 0;
    EXPECT_EQ(chain->processMIDI(events, 1, count, 64, nullptr), events);
    EXPECT_EQ(count, 1u);
  }
}

}  // namespace
}  // namespace kelo::pluginhost
