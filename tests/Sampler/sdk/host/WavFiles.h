// Audio files for the plug-in host tests, written and read with libsndfile.
#pragma once

#include <string>
#include <vector>

namespace kelo::test {

/// Writes channel-major samples as a 32-bit float WAV file; false on failure.
bool writeWav(const std::string& path, int sampleRate,
              const std::vector<std::vector<float>>& channels);

/// An impulse of 1.0 at `at` frames in a file of `frames` zeros per channel.
std::vector<float> impulse(int frames, int at);

}  // namespace kelo::test
