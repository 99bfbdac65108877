// StringBed.bundle as the engine sees it: its records, both plug-ins giving the same output
// whatever the blocks, and both run by kelo-plugin-run over audio files.
#include <algorithm>
#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/pluginhost/AudioFileHost.h"
#include "tests/Sampler/sdk/PluginInfoCheck.h"
#include "tests/Sampler/sdk/StringBed/HarpImpulseFile.h"
#include "tests/Sampler/sdk/calvatero/vardecay/DecayReference.h"
#include "tests/Sampler/sdk/host/WavFiles.h"
#include "tests/support/ConvolutionKit.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"
#include "tests/support/plugins/BlockSplitKit.h"

namespace kelo::test {
namespace {

TEST(StringBedBundle, TwoRowsByteForByte) {
  LoadedBundle bundle(KELO_BUNDLE_SO);
  expectInfoRows(bundle,
             {
                 {"com.Sorvelin.Piano.Resonance.Sustain", "Piano.Resonance.Sustain",
                  "Sorvelin\tPiano.Resonance.Sustain",
                  {{256, -2}, {260, -2}, {448, 1}, {460, 1685}}},
                 {"com.Sorvelin.Piano.Resonance.Sympathetic", "Piano.Resonance.Sympathetic",
                  "Sorvelin\tPiano.Resonance.Sympathetic",
                  {{256, -1}, {260, -1}, {448, 1}, {460, 1685}}},
             },
             false);
}

constexpr const char* kSustain = "com.Sorvelin.Piano.Resonance.Sustain";
constexpr const char* kSympathetic = "com.Sorvelin.Piano.Resonance.Sympathetic";

// Held keys ring on from frame 0 at the default gain; a third channel is a third piano.
TEST(StringBedBundle, TheSympatheticResonanceIsTheSameInBlocksOfAnyLength) {
  for (int channels : {2, 3}) {
    pluginhost::InstanceSettings settings;
    settings.sampleRate = 44100;
    settings.maxBlockSize = 128;
    settings.audioChannels = channels;
    AudioChannels input;
    for (int c = 0; c < channels; ++c)
      input.push_back(noise(3000, 50 + static_cast<unsigned>(c)));
    const PluginUnderTest plugin{KELO_BUNDLE, kSympathetic, settings,
                                 {pluginhost::midiEvent(144, 69, 1, 0),
                                  pluginhost::midiEvent(144, 40, 0.5f, 0),
                                  pluginhost::midiEvent(144, 100, 1, 0)}};
    EXPECT_TRUE(sameOutputInAnyBlocks(plugin, input)) << channels << " channels";
  }
}

// The pedal down from frame 0: the dry gain and the pedal weight ramp per frame, and at 96 and
// 192 kHz the convolution runs at a half or a quarter of the rate across call boundaries. The
// convolvers' partitions follow the calls, so sums round differently: a few float steps at the
// peak (a gain ramped per call instead of per frame is five times that).
TEST(StringBedBundle, TheSustainResonanceIsTheSameInBlocksOfAnyLength) {
  TempDir dir;
  ASSERT_TRUE(writeImpulseFile(dir.file("grand44"), decayingNoise16(2000, 21)));
  ASSERT_TRUE(writeImpulseFile(dir.file("grand48"), decayingNoise16(2000, 22)));
  for (double rate : {44100.0, 96000.0, 192000.0}) {
    pluginhost::InstanceSettings settings;
    settings.initText = "grand|0.5";
    settings.extraText = dir.path();
    settings.sampleRate = rate;
    settings.maxBlockSize = 128;
    const AudioChannels input = {noise(4000, 61), noise(4000, 62)};
    const PluginUnderTest plugin{KELO_BUNDLE, kSustain, settings,
                                 {pluginhost::midiEvent(176, 64, 1, 0)}};
    EXPECT_TRUE(sameOutputInAnyBlocks(plugin, input, 3e-7)) << rate << " Hz";
  }
}

// Runs one plug-in of the bundle over `input`; the output read back.
AudioChannels runPlugin(const TempDir& dir, const std::string& identifier,
                        const AudioChannels& input, const std::string& events,
                        std::vector<std::string> options = {}) {
  EXPECT_TRUE(writeWav(dir.file("in.wav"), 44100, input));
  EXPECT_TRUE(writeFile(dir.file("events.txt"), events));
  std::vector<std::string> arguments = {"--bundle", KELO_BUNDLE, "--plugin", identifier,
                                        "--input", dir.file("in.wav"),
                                        "--events", dir.file("events.txt"), "--output",
                                        dir.file("out.wav"), "--block", "256"};
  arguments.insert(arguments.end(), options.begin(), options.end());
  EXPECT_EQ(runProgram(KELO_PLUGIN_RUN, arguments).status, 0);
  AudioChannels output;
  double rate = 0;
  std::string error;
  EXPECT_TRUE(pluginhost::readAudioFile(dir.file("out.wav"), output, rate, error)) << error;
  return output;
}

// Sound, silence longer than the impulse with the pedal and keys moving, sound: both
// plug-ins give what they give when the silence is a faint signal they cannot rest over,
// within -140 dBFS up to the second sound and within rounding after it.
TEST(StringBedBundle, KeloPluginRunGivesTheSameOutputWhetherTheResonanceRestsOrNot) {
  TempDir dir;
  ASSERT_TRUE(writeImpulseFile(dir.file("grand44"), decayingNoise16(3000, 23)));
  constexpr std::size_t kSound = 3000, kSilence = 30000, kCut = kSound + kSilence;
  AudioChannels input = {soundSilenceSound(kSound, kSilence, 24),
                         soundSilenceSound(kSound, kSilence, 26)};
  for (auto& channel : input)
    for (float& x : channel) x *= 0.25f;  // the output within full scale
  const AudioChannels faint = {faintForSilent(input[0]), faintForSilent(input[1])};
  const std::string events =
      "0 176 64 1\n0 144 60 1\n0 144 67 1\n4000 176 64 0.5\n9000 128 67 0\n"
      "12000 144 72 1\n20000 128 72 0\n33000 144 72 1\n";
  for (const char* plugin : {kSustain, kSympathetic}) {
    const std::vector<std::string> options = {"--init", "grand|0.5", "--extra", dir.path()};
    const AudioChannels running = runPlugin(dir, plugin, faint, events, options);
    const AudioChannels resting = runPlugin(dir, plugin, input, events, options);
    ASSERT_EQ(resting.size(), 2u);
    ASSERT_EQ(running.size(), 2u);
    for (std::size_t c = 0; c < 2; ++c) {
      ASSERT_EQ(resting[c].size(), running[c].size());
      const auto largest = largestDifferences(resting[c], running[c], kCut);
      EXPECT_LE(largest[0], 1e-7) << plugin << " channel " << c;
      EXPECT_LE(largest[1], 1e-6) << plugin << " channel " << c;
    }
  }
}

// The defaults switch the bypass off at level 0.2; with the pedal down from frame 0 and the
// ramps settled, a spike gives the dry term plus 0.076 times the scaled impulse.
TEST(StringBedBundle, TheSustainResonanceRingsWithTheImpulse) {
  TempDir dir;
  const StereoImpulse16 impulse = decayingNoise16(3000, 9);
  ASSERT_TRUE(writeImpulseFile(dir.file("grand44"), impulse));
  const std::size_t spikeAt = 5000, total = 9000;
  AudioChannels input(2, std::vector<float>(total, 0.0f));
  input[0][spikeAt] = 1.0f;
  input[1][spikeAt] = 0.5f;
  const AudioChannels output =
      runPlugin(dir, kSustain, input, "0 176 64 1\n",
                {"--init", "grand|0.5", "--extra", dir.path()});
  ASSERT_EQ(output.size(), 2u);
  const std::vector<double> flat(total, 1.0);
  const double dry = std::sqrt(1 - 0.076 * 0.076);
  const float wet = static_cast<float>(0.2 * 0.38);
  for (int c = 0; c < 2; ++c) {
    const std::vector<double> ring = calvatero::testing::decayingConvolution(
        input[c], scaledChannel(c == 0 ? impulse.left : impulse.right, 0.5f, 44100), flat);
    std::vector<double> expected(total);
    for (std::size_t t = 0; t < total; ++t) expected[t] = input[c][t] * dry + wet * ring[t];
    EXPECT_TRUE(closeToSignal(output[c], expected, 2e-6)) << "channel " << c;
  }
}

// Magnitude of the signal's spectrum at `hz`.
double magnitudeAt(const std::vector<float>& x, double hz) {
  std::complex<double> sum = 0;
  const std::complex<double> step = std::polar(1.0, -2 * M_PI * hz / 44100);
  std::complex<double> w = 1;
  for (const float v : x) {
    sum += double(v) * w;
    w *= step;
  }
  return std::abs(sum);
}

TEST(StringBedBundle, TheSympatheticResonanceOfAHeldA4RingsAt440Hz) {
  TempDir dir;
  const std::size_t burst = 4410, total = 44100;
  AudioChannels input(2, std::vector<float>(total, 0.0f));
  const std::vector<float> noise = kelo::test::noise(burst, 3);
  std::copy(noise.begin(), noise.end(), input[0].begin());
  std::copy(noise.begin(), noise.end(), input[1].begin());
  const AudioChannels output =
      runPlugin(dir, kSympathetic, input, "0 144 69 1\n");
  ASSERT_EQ(output.size(), 2u);
  const std::vector<float> tail(output[0].begin() + burst + 441, output[0].end());
  double peakHz = 0, peak = 0;
  for (double hz = 300; hz <= 600; hz += 0.5) {
    const double m = magnitudeAt(tail, hz);
    if (m > peak) {
      peak = m;
      peakHz = hz;
    }
  }
  EXPECT_NEAR(peakHz, 440.0, 1.5);
  EXPECT_GT(peak, 10 * magnitudeAt(tail, 415.3));  // G#4 is not held
  EXPECT_EQ(output[1], output[0]);
}

}  // namespace
}  // namespace kelo::test
