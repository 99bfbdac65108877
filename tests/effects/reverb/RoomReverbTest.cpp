// The room reverb as an object: rates and the resampled path, the pre-delay in samples,
// response routing for every channel count, its init text and layouts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "effects/reverb/RoomConvolverPost.h"
#include "tests/effects/reverb/InProcessReverb.h"
#include "tests/effects/reverb/ReverbKit.h"

namespace kelo::test {
namespace {

using namespace vantor::KELOPluginSDK;

constexpr float kRoot = 0.70710677f;

class RoomReverb : public ::testing::Test, public InProcessReverb<acme::RoomConvolverPost> {
 protected:
  // A response file at `rate` and a reverb at `engineRate` taking it from its init text,
  // mixing the wet signal alone at gain 1.
  void load(const std::vector<std::vector<float>>& response, int rate, double engineRate,
            int block, const std::string& room = "") {
    const std::string file = dir.file("ir" + std::to_string(++files_) + ".wav");
    ASSERT_TRUE(writeWav(file, rate, response));
    renew();
    reverb->initEx((file + "|0|1" + room).c_str(), nullptr);
    configure(engineRate, block);
    std::vector<std::vector<float>> none(2, std::vector<float>(1, 0.0f));
    run(none, {controller(2, 1.0f)});
  }
  // Both outputs for `input` in blocks of `block`.
  std::vector<std::vector<float>> render(std::vector<std::vector<float>> input, std::size_t block) {
    std::vector<std::vector<float>> out(2);
    for (std::size_t at = 0; at < input[0].size(); at += block) {
      const std::size_t n = std::min(block, input[0].size() - at);
      std::vector<std::vector<float>> audio = {
          std::vector<float>(input[0].begin() + at, input[0].begin() + at + n),
          std::vector<float>(input[1].begin() + at, input[1].begin() + at + n)};
      run(audio);
      for (int side = 0; side < 2; ++side)
        out[side].insert(out[side].end(), audio[side].begin(), audio[side].end());
    }
    return out;
  }
  int files_ = 0;
};

TEST_F(RoomReverb, ConvolvesAtTheBaseRateOfEachEngineRate) {
  struct Case {
    double rate;
    std::uint64_t factor, asked, workerBlock;
    bool resampler;
    float preDelay;
    std::int64_t samples;
  } const cases[] = {
      {44100, 1, 44100, 500, false, 1.0f, 22050}, {48000, 1, 48000, 500, false, 0.0f, 0},
      {96000, 2, 48000, 250, true, 0.0f, -47},    {88200, 2, 44100, 250, true, 0.1f, 2205 - 47},
      {192000, 4, 48000, 125, true, 0.0f, -47},   {176400, 4, 44100, 125, true, 0.0f, -47},
      {22050, 1, 22050, 500, false, 0.5f, 5512},
  };
  for (const Case& c : cases) {
    load(decayingNoise(64, 2, 3), static_cast<int>(c.asked), c.rate, 500);
    std::vector<std::vector<float>> none(2, std::vector<float>(1, 0.0f));
    run(none, {controller(3, c.preDelay)}, 0);
    EXPECT_EQ(reverb->getFactor(), c.factor) << c.rate;
    EXPECT_EQ(reverb->getDesiredIRSampleRate(), c.asked) << c.rate;
    EXPECT_EQ(reverb->workerBlockFrames(), c.workerBlock) << c.rate;
    EXPECT_EQ(reverb->hasResampler(), c.resampler) << c.rate;
    EXPECT_EQ(reverb->GetPreDelaySamples(), c.samples) << c.rate;
    EXPECT_EQ(files.calls().back().sampleRate, double(c.asked)) << c.rate;
    EXPECT_EQ(reverb->getActiveChannels(), 2u) << c.rate;
  }
}

// At four times the base rate the filters delay by 190 engine frames, 47.5 base frames, of
// which the pre-delay makes up 47.
TEST_F(RoomReverb, ASpikeKeepsItsTimeAtTheEngineRate) {
  for (const auto& [rate, base, at] : {std::tuple{96000.0, 48000, 200}, {44100.0, 44100, 100},
                                       {192000.0, 48000, 402}}) {
    std::vector<std::vector<float>> response(2, std::vector<float>(400, 0.0f));
    response[0][100] = response[1][100] = 1.0f;
    load(response, base, rate, 256);
    std::vector<std::vector<float>> input(2, std::vector<float>(1024, 0.0f));
    input[0][0] = input[1][0] = 1.0f;
    const auto out = render(input, 256);
    for (int side = 0; side < 2; ++side) {
      const auto peak = std::max_element(out[side].begin(), out[side].end(),
                                         [](float a, float b) { return std::abs(a) < std::abs(b); });
      EXPECT_EQ(peak - out[side].begin(), at) << rate << " side " << side;
      EXPECT_GT(*peak, 0.2f) << rate;
    }
  }
}

TEST_F(RoomReverb, RoutesEveryChannelCount) {
  const auto four = decayingNoise(300, 4, 81);
  const std::vector<std::vector<float>> input = {noise(1000, 82), noise(1000, 83)};
  const std::vector<float> silent(300, 0.0f);
  struct Case {
    std::vector<std::vector<float>> response;
    std::vector<double> expectedLeft, expectedRight;
  };
  auto conv = [&](int side, const std::vector<float>& h, double gain) {
    auto y = directConvolution(input[side], h);
    for (double& v : y) v *= gain;
    return y;
  };
  auto sum = [](std::vector<double> a, const std::vector<double>& b) {
    for (std::size_t i = 0; i < a.size(); ++i) a[i] += b[i];
    return a;
  };
  const Case cases[] = {
      {{four[0], four[1]}, conv(0, four[0], 1), conv(1, four[1], 1)},
      {{four[0], silent, silent, silent}, conv(0, four[0], kRoot), conv(1, silent, 1)},
      {four, sum(conv(0, four[0], kRoot), conv(1, four[2], kRoot)),
       sum(conv(0, four[1], kRoot), conv(1, four[3], kRoot))},
      {{four[2]}, conv(0, four[2], 1), conv(1, four[2], 1)},
      {{four[0], four[1], four[2]}, conv(0, four[0], 1), conv(1, four[1], 1)},
      {{four[0], four[1], four[2], four[3], four[0]}, conv(0, four[0], 1), conv(1, four[1], 1)},
  };
  for (const Case& c : cases) {
    load(c.response, 48000, 48000, 128);
    EXPECT_EQ(reverb->getActiveChannels(), c.response.size() == 4 ? 4u : c.response.size() == 1 ? 1u : 2u);
    const auto out = render(input, 128);
    EXPECT_TRUE(closeToSignal(out[0], c.expectedLeft, 2e-5)) << c.response.size() << " channels";
    EXPECT_TRUE(closeToSignal(out[1], c.expectedRight, 2e-5)) << c.response.size() << " channels";
  }
}

// Resampled, a four-channel response still carries each input to each output: one input alone
// through channels 0 and 1 (left) or 2 and 3 (right) gives 0.70710677 times what a
// two-channel response of those two channels gives for that input on both sides.
TEST_F(RoomReverb, AtAHigherRateFourChannelsRouteAsTwoDo) {
  const auto four = decayingNoise(500, 4, 95);
  const std::vector<float> x = noise(2000, 96), silent(2000, 0.0f);
  for (double rate : {96000.0, 192000.0}) {
    for (int side = 0; side < 2; ++side) {
      load({four[2 * side], four[2 * side + 1]}, 48000, rate, 256);
      const auto pair = render({x, x}, 256);
      load(four, 48000, rate, 256);
      ASSERT_EQ(reverb->getActiveChannels(), 4u);
      const auto out = render(side == 0 ? std::vector<std::vector<float>>{x, silent}
                                        : std::vector<std::vector<float>>{silent, x},
                              256);
      for (int output = 0; output < 2; ++output) {
        std::vector<double> expected(pair[output].begin(), pair[output].end());
        for (double& v : expected) v *= kRoot;
        EXPECT_TRUE(closeToSignal(out[output], expected, 1e-5))
            << rate << ": input " << side << " to output " << output;
      }
    }
  }
}

// Blocks that are not a multiple of the factor continue one decimation grid and hold the
// up-sampled frames beyond them for the next block.
TEST_F(RoomReverb, AtTwiceTheBaseRateAnyBlocksGiveTheSameOutput) {
  const std::vector<std::vector<float>> input = {noise(3000, 91), noise(3000, 92)};
  for (double rate : {96000.0, 192000.0}) {
    load(decayingNoise(700, 2, 93), 48000, rate, 512);
    const auto whole = render(input, 512);
    for (std::size_t block : {3, 1, 7, 509}) {
      load(decayingNoise(700, 2, 93), 48000, rate, 512);
      const auto pieces = render(input, block);
      for (int side = 0; side < 2; ++side) {
        std::vector<double> expected(whole[side].begin(), whole[side].end());
        EXPECT_TRUE(closeToSignal(pieces[side], expected, 1e-5))
            << rate << " blocks of " << block << " side " << side;
      }
    }
  }
}

// Silence longer than the tail: the convolvers rest until the next sound. The output is what
// running them over a faint stand-in for the silence gives: within -140 dBFS up to the next
// sound, and within rounding after it (the convolvers restart their partition schedule), at
// the engine's rate and through the resampler with blocks off its grid.
TEST_F(RoomReverb, RestsInSilenceAndGoesOnAsIfItHadConvolvedIt) {
  auto part = [](const std::vector<std::vector<float>>& signal, std::size_t from, std::size_t to) {
    return std::vector<std::vector<float>>{
        std::vector<float>(signal[0].begin() + from, signal[0].begin() + to),
        std::vector<float>(signal[1].begin() + from, signal[1].begin() + to)};
  };
  constexpr std::size_t kSound = 3000;
  // Two lengths of silence: one of them is off the decimation grid.
  for (std::size_t silence : {20000u, 20001u}) {
    std::vector<std::vector<float>> input = {soundSilenceSound(kSound, silence, 101),
                                             soundSilenceSound(kSound, silence, 103)};
    for (auto& channel : input)
      for (float& x : channel) x *= 0.05f;  // the output within full scale
    const std::vector<std::vector<float>> faint = {faintForSilent(input[0]),
                                                   faintForSilent(input[1])};
    const std::size_t cut = kSound + silence, end = input[0].size();
    for (const auto& [rate, block] :
         {std::pair{48000.0, 256u}, {96000.0, 301u}, {192000.0, 127u}}) {
      load(decayingNoise(2000, 2, 105), 48000, rate, 512, "|0.1|0.6|0.8");
      const auto expected = render(part(faint, 0, cut), block);
      EXPECT_FALSE(reverb->isResting()) << rate;
      const auto expectedAfter = render(part(faint, cut, end), block);

      load(decayingNoise(2000, 2, 105), 48000, rate, 512, "|0.1|0.6|0.8");
      const auto out = render(part(input, 0, cut), block);
      EXPECT_TRUE(reverb->isResting()) << rate;
      const auto outAfter = render(part(input, cut, end), block);
      EXPECT_FALSE(reverb->isResting()) << rate;
      for (int side = 0; side < 2; ++side) {
        EXPECT_LE(largestDifferences(out[side], expected[side], cut)[0], 1e-7)
            << rate << " side " << side << ", silence " << silence;
        EXPECT_TRUE(closeToSignal(outAfter[side],
                                  {expectedAfter[side].begin(), expectedAfter[side].end()}, 1e-6))
            << rate << " side " << side << ", silence " << silence;
      }
    }
  }
}

TEST_F(RoomReverb, ReadsTheRoomFromTheInitTextAndAcceptsOnlyStereo) {
  reverb->initEx("hall.wav|0.2|0.3|0.4|0.6|0.7|9", nullptr);
  HDMIDIEvents defaults;
  reverb->getDefaults(&defaults);
  ASSERT_EQ(defaults.numEvents, 6);
  const float values[] = {0.2f, 0.3f, 0.5f, 0.4f, 0.6f, 0.7f};
  for (int e = 0; e < 6; ++e) {
    const HDMIDIEvent expected = controller(e, values[e]);
    EXPECT_EQ(std::memcmp(&defaults.events[e], &expected, sizeof expected), 0) << e;
  }
  EXPECT_EQ(reverb->getIRName(), "hall.wav");
  renew();
  reverb->initEx("x|a|0.3|inf|0.6x|0.7", nullptr);
  EXPECT_EQ(reverb->getDryLevel(), 0.0f);
  EXPECT_EQ(reverb->getPreDelay(), 0.0f);
  EXPECT_EQ(reverb->getSize(), 0.5f);
  EXPECT_EQ(reverb->getDecay(), 0.7f);

  std::vector<std::vector<float>> none(2, std::vector<float>(1, 0.0f));
  const float nan = std::numeric_limits<float>::quiet_NaN();
  run(none, {controller(3, 0.25f), controller(4, nan), controller(5, INFINITY), controller(4, 0.9f)}, 0);
  EXPECT_EQ(reverb->getPreDelay(), 0.25f);
  EXPECT_EQ(reverb->getSize(), 0.9f);
  EXPECT_EQ(reverb->getDecay(), 0.7f);
  run(none, {controller(3, 1e30f)}, 0);
  EXPECT_EQ(reverb->GetPreDelaySamples(), std::int64_t{1} << 62);  // saturated

  for (const auto& [ins, outs, answer] :
       {std::tuple{2, 2, 1}, {4, 4, -1}, {0, 0, -1}, {1, 1, -1}, {2, 4, -1}}) {
    ChannelInfo info{ins, outs};
    std::int32_t result = 0;
    reverb->setIOConfig(&info, &result);
    EXPECT_EQ(result, answer) << ins << "/" << outs;
    EXPECT_EQ(reverb->getNumAudioIns(), 2u);
  }
  std::int32_t result = 0;
  reverb->setIOConfig(nullptr, &result);
  EXPECT_EQ(result, -1);
}

}  // namespace
}  // namespace kelo::test
