// stringbed-demo-impulses FOLDER NAME: writes the sustain harp's impulse set NAME44 ... NAME192
// into FOLDER, two seconds of decaying noise at each rate, for the demo data folder. Run by the
// build.
#include <cstdio>
#include <string>

#include "Sampler/sdk/StringBed/demo/HarpImpulseWriter.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: stringbed-demo-impulses FOLDER NAME\n");
    return 2;
  }
  const unsigned long rates[] = {44100, 48000, 88200, 96000, 176400, 192000};
  for (const unsigned long rate : rates) {
    const std::string path = std::string(argv[1]) + "/" + argv[2] + std::to_string(rate / 1000);
    if (!stringbed::writeImpulseFile(path, stringbed::decayingNoise16(2 * rate, 1))) {
      std::fprintf(stderr, "stringbed-demo-impulses: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
