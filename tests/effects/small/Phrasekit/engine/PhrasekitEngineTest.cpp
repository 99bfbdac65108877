// The reference engine running a Phrasekit plug-in from its "KeloSetup.xml" plays what the
// plug-in's event list says: the same audio as the bare engine fed that list.
#include <gtest/gtest.h>

#include <vector>

#include "tests/engine/EngineFixture.h"

namespace kelo::test {
namespace {

using Blocks = std::vector<std::vector<vantor::MIDIEvent>>;

class PhrasekitInEngine : public EngineFixture {
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

  // `played` through the plug-in renders as the bare engine renders `expected`, and not as
  // the bare engine renders `played`.
  void expectPlaysAs(const char* identifier, const Blocks& played, const Blocks& expected) {
    const auto bare = render(expected);
    const auto unprocessed = render(played);
    writeSetup({{KELO_PHRASEKIT_BUNDLE, identifier}});
    const auto withPlugin = render(played);
    ASSERT_EQ(withPlugin.size(), played.size());
    EXPECT_EQ(withPlugin, bare);
    EXPECT_NE(withPlugin, unprocessed);
    EXPECT_NE(withPlugin.back()[0], std::vector<float>(256, 0.0f));
  }
};

// Keys 60 and 64 pressed after the mode is switched on, then 64 released.
const Blocks kPlayed = {
    {midiEvent(0xB0, 102, 127, 0), midiEvent(0x90, 60, 127, 0), midiEvent(0x90, 64, 127, 100)},
    {midiEvent(0x80, 64, 30, 50)}};

TEST_F(PhrasekitInEngine, MonophonicPlaysOneVoiceWithLastNotePriority) {
  // Its defaults first (mono off), then 64 takes over from 60, and the release of 64 returns
  // to 60 at the velocity of 64.
  expectPlaysAs(
      "com.Sorvelin.Phrasekit.Monophonic", kPlayed,
      {{midiEvent(0xB0, 102, 0, 0), midiEvent(0xB0, 102, 127, 0), midiEvent(0x90, 60, 127, 0),
        midiEvent(0x90, 64, 127, 100), midiEvent(0x80, 60, 127, 100)},
       {midiEvent(0x90, 60, 127, 50), midiEvent(0x80, 64, 127, 50)}});
}

TEST_F(PhrasekitInEngine, SoloControlSendsItsTransitionsAheadOfTheNotes) {
  // What the voices hear of it: controllers above 127 stay with the engine's plug-ins, so of
  // each switch and transition only controllers 26 (saved value 0) and 5 (portamento, 0 for
  // velocity 1.0) remain.
  expectPlaysAs(
      "com.Sorvelin.Phrasekit.SoloControl", kPlayed,
      {{midiEvent(0xB0, 102, 0, 0), midiEvent(0xB0, 5, 0, 0), midiEvent(0xB0, 102, 127, 0),
        midiEvent(0xB0, 5, 0, 0), midiEvent(0xB0, 26, 0, 0), midiEvent(0xB0, 5, 0, 0),
        midiEvent(0x90, 60, 127, 0), midiEvent(0xB0, 26, 0, 100), midiEvent(0xB0, 5, 0, 100),
        midiEvent(0x90, 64, 127, 100), midiEvent(0x80, 60, 127, 100)},
       {midiEvent(0xB0, 26, 0, 50), midiEvent(0xB0, 5, 0, 50), midiEvent(0x90, 60, 127, 50),
        midiEvent(0x80, 64, 127, 50)}});
}

}  // namespace
}  // namespace kelo::test
