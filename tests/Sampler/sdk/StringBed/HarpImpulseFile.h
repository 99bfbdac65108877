// Impulse files of the sustain harp for tests, and the sample values the harp should make of
// them.
#pragma once

#include <cstdint>
#include <vector>

#include "Sampler/sdk/StringBed/demo/HarpImpulseWriter.h"

namespace kelo::test {

using stringbed::decayingNoise16;
using stringbed::StereoImpulse16;
using stringbed::writeImpulseFile;

/// One channel as the harp scales it before any fade: value * 2^-15 * gain * 44100 / rate.
std::vector<float> scaledChannel(const std::vector<std::int16_t>& samples, float gain,
                                 unsigned long impulseRate);

}  // namespace kelo::test
