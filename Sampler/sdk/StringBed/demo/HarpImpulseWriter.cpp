#include "Sampler/sdk/StringBed/demo/HarpImpulseWriter.h"

#include <cmath>
#include <cstdio>
#include <random>

namespace stringbed {

StereoImpulse16 decayingNoise16(std::size_t frames, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  StereoImpulse16 impulse;
  impulse.left.reserve(frames);
  impulse.right.reserve(frames);
  for (std::size_t i = 0; i < frames; ++i) {
    const double envelope = 20000.0 * std::exp(-6.9 * double(i) / double(frames));
    impulse.left.push_back(static_cast<std::int16_t>(std::lround(envelope * uniform(random))));
    impulse.right.push_back(static_cast<std::int16_t>(std::lround(envelope * uniform(random))));
  }
  return impulse;
}

bool writeImpulseFile(const std::string& path, const StereoImpulse16& impulse) {
  std::string bytes;
  bytes.reserve(impulse.left.size() * 4);
  for (std::size_t i = 0; i < impulse.left.size(); ++i) {
    for (const std::int16_t v : {impulse.left[i], impulse.right[i]}) {
      const auto u = static_cast<std::uint16_t>(v);
      bytes.push_back(static_cast<char>(u & 0xff));
      bytes.push_back(static_cast<char>(u >> 8));
    }
  }
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && written;
}

}  // namespace stringbed
