// The reference engine running a Phrasekit plug-in from its "KeloSetup.xml" plays what the
// plug-in's event list says: the same audio as the bare engine fed that list.
#include <gtest/gtest.h>

#include "tests/engine/MIDIPluginInEngine.h"

namespace kelo::test {
namespace {

class PhrasekitInEngine : public MIDIPluginInEngine {
 protected:
  void expectPlaysAs(const char* identifier, const EngineBlocks& played,
                     const EngineBlocks& expected) {
    MIDIPluginInEngine::expectPlaysAs({{KELO_PHRASEKIT_BUNDLE, identifier}}, played,
                                      expected);
  }
};

// Keys 60 and 64 pressed after the mode is switched on, then 64 released.
const EngineBlocks kPlayed = {
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
