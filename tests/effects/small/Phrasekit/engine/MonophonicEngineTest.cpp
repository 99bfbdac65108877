// The reference engine running Monophonic from its "KeloSetup.xml" plays what the plug-in's
// event list says: the same audio as the bare engine fed that list.
#include <gtest/gtest.h>

#include <vector>

#include "tests/engine/EngineFixture.h"

namespace kelo::test {
namespace {

using Blocks = std::vector<std::vector<vantor::MIDIEvent>>;

class MonophonicInEngine : public EngineFixture {
 protected:
  std::vector<std::vector<std::vector<float>>> render(const Blocks& blocks) {
    void* instance = createStarted(2);
    EXPECT_NE(instance, nullptr);
    std::vector<std::vector<std::vector<float>>> audio;
    if (instance == nullptr) return audio;
    for (const auto& block : blocks) {
      prepareOutputs(2, 256);
      m_block.numEvents = 0;
      for (const auto& event : block) m_block.events[m_block.numEvents++] = event;
      EXPECT_EQ(process(instance, 256), 0);
      audio.push_back(m_outputs);
    }
    destroy(instance);
    return audio;
  }
};

TEST_F(MonophonicInEngine, PlaysOneVoiceWithLastNotePriority) {
  // Keys 60 and 64 pressed after mono mode is switched on, then 64 released.
  const Blocks played = {
      {midiEvent(0xB0, 102, 127, 0), midiEvent(0x90, 60, 100, 0), midiEvent(0x90, 64, 90, 100)},
      {midiEvent(0x80, 64, 30, 50)}};
  // What the plug-in sends: its defaults first (mono off), then 64 takes over from 60, and the
  // release of 64 returns to 60 at the velocity of 64.
  const Blocks expected = {
      {midiEvent(0xB0, 102, 0, 0), midiEvent(0xB0, 102, 127, 0), midiEvent(0x90, 60, 100, 0),
       midiEvent(0x90, 64, 90, 100), midiEvent(0x80, 60, 90, 100)},
      {midiEvent(0x90, 60, 90, 50), midiEvent(0x80, 64, 90, 50)}};

  const auto bare = render(expected);
  const auto unprocessed = render(played);
  writeSetup(setupPlugin(KELO_PHRASEKIT_BUNDLE, "com.Sorvelin.Phrasekit.Monophonic"));
  const auto withPlugin = render(played);

  ASSERT_EQ(withPlugin.size(), 2u);
  EXPECT_EQ(withPlugin, bare);
  EXPECT_NE(withPlugin, unprocessed);
  EXPECT_NE(withPlugin[1][0], std::vector<float>(256, 0.0f));
}

}  // namespace
}  // namespace kelo::test
