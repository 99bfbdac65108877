#include "tests/support/DemoMidi.h"

#include "tests/support/SmfWriter.h"

namespace kelo::test {

std::string demoMidiFile() {
  constexpr int kQuarter = 480;
  SmfTrack tempoTrack;
  tempoTrack.text(0, 3, "Kelo demo")
      .tempo(0, 120)
      .timeSignature(0, 4, 2)
      .endOfTrack(16 * kQuarter);

  SmfTrack music;
  music.text(0, 3, "Piano").program(0, 0, 0);
  // C, Am, F, G: a chord per bar, held for the bar.
  const int chords[4][3] = {{48, 52, 55}, {45, 48, 52}, {41, 45, 48}, {43, 47, 50}};
  for (int bar = 0; bar < 4; ++bar) {
    const std::uint32_t start = static_cast<std::uint32_t>(bar * 4 * kQuarter);
    for (int key : chords[bar]) {
      music.noteOn(start, 0, key, 70).noteOff(start + 4 * kQuarter - 10, 0, key);
    }
  }
  // A quarter-note melody, note-ons of velocity 0 ending each note as many files do.
  const int melody[16] = {72, 74, 76, 79, 76, 72, 69, 72, 77, 76, 74, 72, 71, 74, 79, 84};
  for (int beat = 0; beat < 16; ++beat) {
    const std::uint32_t start = static_cast<std::uint32_t>(beat * kQuarter);
    music.noteOn(start, 0, melody[beat], 96).noteOn(start + kQuarter - 20, 0, melody[beat], 0);
  }
  music.controller(12 * kQuarter, 0, 64, 127).controller(16 * kQuarter - 5, 0, 64, 0);
  music.endOfTrack(16 * kQuarter);

  return smfFile(1, kQuarter, {tempoTrack, music});
}

}  // namespace kelo::test
