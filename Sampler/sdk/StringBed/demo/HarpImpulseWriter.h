// Impulse files of the sustain harp as the harp reads them (headerless interleaved 16-bit
// little-endian stereo), and a stand-in impulse of decaying noise: for the demo data folder,
// which ships no recording, and for tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace stringbed {

struct StereoImpulse16 {
  std::vector<std::int16_t> left, right;
};

/// Seeded noise under an exponential decay to about -60 dB at the end.
StereoImpulse16 decayingNoise16(std::size_t frames, unsigned seed);

/// Writes the frames interleaved, left then right, little-endian; false on failure.
bool writeImpulseFile(const std::string& path, const StereoImpulse16& impulse);

}  // namespace stringbed
