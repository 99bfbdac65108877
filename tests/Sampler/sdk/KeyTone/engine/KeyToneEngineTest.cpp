// The reference engine running the pre-processor from its "KeloSetup.xml" plays what the
// pre-processor's event list says. A test plug-in in front of it turns MIDI controller 20 into
// the transpose controller 489, which a MIDI byte cannot carry.
#include <gtest/gtest.h>

#include "tests/engine/MIDIPluginInEngine.h"

namespace kelo::test {
namespace {

using KeyToneInEngine = MIDIPluginInEngine;

TEST_F(KeyToneInEngine, ATransposeOfTwoPlaysKeySixtyOnSixtyTwo) {
  // Its defaults first: the transpose controller's middle value (shift 0) silences the
  // instrument (123, and 64 = 0). Then 42/127 selects +2: 123 again (the repeated pedal
  // value is dropped), and key 60 sounds on 62 until its note-off, which follows it.
  const std::vector<SetupEntry> chain = {
      {KELO_RENUMBER_BUNDLE, "com.Sorvelin.Test.Renumber", "20:489"},
      {KELO_KEYTONE_BUNDLE, "com.Sorvelin.Piano.MIDI.Preprocessor"}};
  expectPlaysAs(chain,
                {{midiEvent(0xB0, 20, 42, 0), midiEvent(0x90, 60, 100, 10)},
                 {midiEvent(0x80, 60, 0, 50)}},
                {{midiEvent(0xB0, 123, 0, 0), midiEvent(0xB0, 64, 0, 0),
                  midiEvent(0xB0, 123, 0, 0), midiEvent(0x90, 62, 100, 10)},
                 {midiEvent(0x80, 62, 0, 50)}});
}

}  // namespace
}  // namespace kelo::test
