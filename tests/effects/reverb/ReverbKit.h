// Impulse responses for the reverb tests: seeded decaying noise, written as 32-bit float WAV
// files that the engine side (AudioFileHost) delivers, and the mix the reverbs must give.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Sampler/sdk/PluginRecords.h"
#include "tests/Sampler/sdk/host/WavFiles.h"
#include "tests/support/ConvolutionKit.h"

namespace kelo::test {

/// Noise fading by 60 dB over `frames`, one vector per channel.
inline std::vector<std::vector<float>> decayingNoise(std::size_t frames, std::size_t channels,
                                                     unsigned seed) {
  std::vector<std::vector<float>> response;
  for (std::size_t c = 0; c < channels; ++c) {
    std::vector<float> samples = noise(frames, seed + static_cast<unsigned>(c));
    for (std::size_t t = 0; t < frames; ++t)
      samples[t] *= static_cast<float>(std::pow(10.0, -3.0 * static_cast<double>(t) /
                                                          static_cast<double>(frames)));
    response.push_back(std::move(samples));
  }
  return response;
}

/// input x dry + (response * input) x wetGain, in double.
inline std::vector<double> reverbMix(const std::vector<float>& input,
                                     const std::vector<float>& response, double dry,
                                     double wetGain) {
  std::vector<double> out = directConvolution(input, response);
  for (std::size_t t = 0; t < out.size(); ++t) out[t] = input[t] * dry + out[t] * wetGain;
  return out;
}

/// The engine's settings record for `rate` and `block`.
inline vantor::KELOPluginSDK::DSPInfo dspSettings(double rate, std::int32_t block) {
  vantor::KELOPluginSDK::DSPInfo info{};
  info.sampleRate = rate;
  info.sampleRateInt = static_cast<std::int32_t>(rate);
  info.samplePeriod = 1 / rate;
  info.maxBlockSize = block;
  info.blockDuration = block / rate;
  info.inverseBlockSize = 1.0 / block;
  return info;
}

/// A controller event (status 176), every other byte 0.
inline vantor::KELOPluginSDK::HDMIDIEvent controller(std::int32_t number, float value) {
  vantor::KELOPluginSDK::HDMIDIEvent event{};
  event.status = 176;
  event.data1 = number;
  event.data2 = value;
  return event;
}

}  // namespace kelo::test
