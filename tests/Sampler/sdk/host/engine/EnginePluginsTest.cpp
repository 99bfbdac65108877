// The reference engine with a "KeloSetup.xml" naming the test bundles: their plug-ins run
// inside the engine's process call, MIDI ones before the voices, audio ones on the output.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/Sampler/sdk/TestPlugins.h"
#include "tests/engine/EngineFixture.h"

namespace kelo::test {
namespace {

class EnginePlugins : public EngineFixture {
 protected:
  bool silent(int channel) const {
    for (float sample : m_outputs[channel])
      if (sample != 0.0f) return false;
    return true;
  }
};

TEST_F(EnginePlugins, AnAudioPluginRunsOnTheOutput) {
  writeSetup({{KELO_TEST_MIDI_SO, kMarkerId}});
  void* instance = createStarted(2);
  ASSERT_NE(instance, nullptr);
  prepareOutputs(2, 256);
  setEvents({});
  EXPECT_EQ(process(instance, 256), 0);
  EXPECT_EQ(m_outputs[0], std::vector<float>(256, 2.0f));  // the marker of the MIDI test bundle
  EXPECT_TRUE(silent(1));
  destroy(instance);
}

TEST_F(EnginePlugins, AMIDIPluginRunsBeforeTheVoices) {
  void* plain = createStarted(2);
  ASSERT_NE(plain, nullptr);
  prepareOutputs(2, 256);
  setEvents({midiEvent(0x90, 60, 100, 0)});
  EXPECT_EQ(process(plain, 256), 0);
  EXPECT_FALSE(silent(0));  // without plug-ins the note sounds
  destroy(plain);

  writeSetup({{KELO_TEST_MIDI_SO, kSwallowId}});
  void* swallowed = createStarted(2);
  ASSERT_NE(swallowed, nullptr);
  prepareOutputs(2, 256);
  setEvents({midiEvent(0x90, 60, 100, 0)});
  EXPECT_EQ(process(swallowed, 256), 0);
  EXPECT_TRUE(silent(0));
  destroy(swallowed);
}

TEST_F(EnginePlugins, APassThroughOnTheOutputChangesNothing) {
  void* plain = createStarted(2);
  ASSERT_NE(plain, nullptr);
  prepareOutputs(2, 256);
  setEvents({midiEvent(0x90, 64, 90, 10)});
  ASSERT_EQ(process(plain, 256), 0);
  const auto expected = m_outputs;
  destroy(plain);

  writeSetup({{KELO_TEST_PLUGINS_BUNDLE, kPassThroughId}});
  void* instance = createStarted(2);
  ASSERT_NE(instance, nullptr);
  prepareOutputs(2, 256);
  setEvents({midiEvent(0x90, 64, 90, 10)});
  ASSERT_EQ(process(instance, 256), 0);
  EXPECT_EQ(m_outputs, expected);
  destroy(instance);
}

}  // namespace
}  // namespace kelo::test
