// The reference engine running Legato from its "KeloSetup.xml" plays what the plug-in's event
// list says: the same audio as the bare engine fed that list.
#include <gtest/gtest.h>

#include "tests/engine/MIDIPluginInEngine.h"

namespace kelo::test {
namespace {

using BowkitInEngine = MIDIPluginInEngine;

TEST_F(BowkitInEngine, LegatoHoldsTheSustainPedalThroughAPhrase) {
  // Its defaults first (legato off, ending a phrase: sustain off, controller 21 = 0), the
  // switch, key 60 starting a phrase (21 = 0), 64 overlapping it (sustain on, 60 released),
  // and the release of 64 returning to 60 at the velocity of 64.
  expectPlaysAs(
      {{KELO_BOWKIT_BUNDLE, "com.Sorvelin.Bowkit.Legato"}},
      {{midiEvent(0xB0, 102, 127, 0), midiEvent(0x90, 60, 127, 0), midiEvent(0x90, 64, 100, 100)},
       {midiEvent(0x80, 64, 30, 50)}},
      {{midiEvent(0xB0, 102, 0, 0), midiEvent(0xB0, 64, 0, 0), midiEvent(0xB0, 21, 0, 0),
        midiEvent(0xB0, 102, 127, 0), midiEvent(0xB0, 64, 0, 0), midiEvent(0xB0, 21, 0, 0),
        midiEvent(0x90, 60, 127, 0), midiEvent(0xB0, 21, 0, 0), midiEvent(0xB0, 64, 127, 100),
        midiEvent(0x90, 64, 100, 100), midiEvent(0x80, 60, 100, 100)},
       {midiEvent(0x90, 60, 100, 50), midiEvent(0x80, 64, 100, 50)}});
}

}  // namespace
}  // namespace kelo::test
