// Writes the demo MIDI file the end-to-end runs play: kelo_make_demo_mid <path>
#include <cstdio>

#include "tests/support/DemoMidi.h"
#include "tests/support/TempDir.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <path of the .mid file to write>\n", argv[0]);
    return 2;
  }
  if (!kelo::test::writeFile(argv[1], kelo::test::demoMidiFile())) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
