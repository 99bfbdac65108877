// Writes the demo data folder's room response: 1.5 s of seeded stereo noise fading by 60 dB,
// each channel scaled to unit energy (so the reverb is about as loud as the dry signal before
// the mix levels), 32-bit float WAV at 48 kHz (the engine converts it to the rate the reverb
// asks for).
//   roomfold-demo-response <output.wav>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: roomfold-demo-response <output.wav>\n");
    return 2;
  }
  constexpr int kRate = 48000;
  constexpr int kFrames = kRate * 3 / 2;
  std::mt19937 rng(1830);
  std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
  std::vector<float> interleaved(2 * kFrames);
  double energy[2] = {0, 0};
  for (int t = 0; t < kFrames; ++t) {
    const auto fade = static_cast<float>(std::pow(10.0, -3.0 * t / kFrames));
    for (int c = 0; c < 2; ++c) {
      const float sample = dist(rng) * fade;
      interleaved[2 * t + c] = sample;
      energy[c] += double(sample) * sample;
    }
  }
  for (int t = 0; t < kFrames; ++t)
    for (int c = 0; c < 2; ++c)
      interleaved[2 * t + c] = static_cast<float>(interleaved[2 * t + c] / std::sqrt(energy[c]));
  SF_INFO info{};
  info.samplerate = kRate;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* file = sf_open(argv[1], SFM_WRITE, &info);
  if (file == nullptr) {
    std::fprintf(stderr, "roomfold-demo-response: %s\n", sf_strerror(nullptr));
    return 1;
  }
  const bool written = sf_writef_float(file, interleaved.data(), kFrames) == kFrames;
  return sf_close(file) == 0 && written ? 0 : 1;
}
