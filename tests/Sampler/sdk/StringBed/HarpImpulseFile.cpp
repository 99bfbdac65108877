#include "tests/Sampler/sdk/StringBed/HarpImpulseFile.h"

namespace kelo::test {

std::vector<float> scaledChannel(const std::vector<std::int16_t>& samples, float gain,
                                 unsigned long impulseRate) {
  std::vector<float> out;
  const double scale = double(gain) * 44100.0 / double(impulseRate);
  for (const std::int16_t v : samples) out.push_back(static_cast<float>(v / 32768.0 * scale));
  return out;
}

}  // namespace kelo::test
