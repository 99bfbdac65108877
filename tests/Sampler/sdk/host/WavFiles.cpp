#include "tests/Sampler/sdk/host/WavFiles.h"

#include <sndfile.h>

namespace kelo::test {

bool writeWav(const std::string& path, int sampleRate,
              const std::vector<std::vector<float>>& channels) {
  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = static_cast<int>(channels.size());
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) return false;
  const std::size_t frames = channels.empty() ? 0 : channels[0].size();
  std::vector<float> interleaved(frames * channels.size());
  for (std::size_t frame = 0; frame < frames; ++frame)
    for (std::size_t channel = 0; channel < channels.size(); ++channel)
      interleaved[frame * channels.size() + channel] = channels[channel][frame];
  const bool ok = sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(frames)) ==
                  static_cast<sf_count_t>(frames);
  return sf_close(file) == 0 && ok;
}

std::vector<float> impulse(int frames, int at) {
  std::vector<float> samples(static_cast<std::size_t>(frames), 0.0f);
  samples[static_cast<std::size_t>(at)] = 1.0f;
  return samples;
}

}  // namespace kelo::test
