// Impulse files of the sustain harp for tests: headerless interleaved 16-bit little-endian
// stereo, and the sample values the harp should make of them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kelo::test {

struct StereoImpulse16 {
  std::vector<std::int16_t> left, right;
};

/// Seeded noise under an exponential decay to about -60 dB at the end.
StereoImpulse16 decayingNoise16(std::size_t frames, unsigned seed);

/// Writes the frames interleaved, left then right, little-endian; false on failure.
bool writeImpulseFile(const std::string& path, const StereoImpulse16& impulse);

/// One channel as the harp scales it before any fade: value * 2^-15 * gain * 44100 / rate.
std::vector<float> scaledChannel(const std::vector<std::int16_t>& samples, float gain,
                                 unsigned long impulseRate);

}  // namespace kelo::test
