// The demo MIDI file kept in tests/support/data/demo.mid for end-to-end runs, made with the
// test writer: format 1 at 480 ticks per quarter, a tempo track (120 bpm, 4/4, a name) and
// four bars of melody over chords on channel 0, with the sustain pedal in the last bar.
#pragma once

#include <string>

namespace kelo::test {

/// Beats the demo file lasts.
inline constexpr double kDemoMidiBeats = 16.0;

/// The bytes of demo.mid.
std::string demoMidiFile();

}  // namespace kelo::test
