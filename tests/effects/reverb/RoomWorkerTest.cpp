// The room reverb's background worker with real threads: a parameter change reaches the
// output without a dry block, a custom data link or the reverb's destruction during a rebuild
// waits for the worker and leaves nothing behind, a worker whose thread cannot start is a
// failed build. Liveness bounds only, never timings.
#include <gtest/gtest.h>
#include <pthread.h>

#include <chrono>
#include <thread>
#include <vector>

#include "effects/reverb/ImpulseResponse.h"
#include "effects/reverb/RoomConvolverPost.h"
#include "tests/effects/reverb/InProcessReverb.h"
#include "tests/effects/reverb/ReverbKit.h"
#include "tests/support/ChildProcess.h"

namespace kelo::test {
namespace {

constexpr int kBlock = 512;
constexpr auto kPatience = std::chrono::seconds(60);

class RoomWorker : public ::testing::Test, public InProcessReverb<acme::RoomConvolverPost> {
 protected:
  // The wet signal alone at gain 1 (dry 0, wet 1, level 1).
  void load(const std::string& file) {
    reverb->initEx((file + "|0|1").c_str(), nullptr);
    configure(48000, kBlock);
    std::vector<std::vector<float>> none(2, std::vector<float>(1, 0.0f));
    run(none, {controller(2, 1.0f)}, 0);
  }
  // One block answering an impulse at its start, from a cleared history.
  std::vector<std::vector<float>> impulseBlock(const std::vector<vantor::KELOPluginSDK::HDMIDIEvent>& events = {}) {
    reverb->stop();
    std::vector<std::vector<float>> audio(2, std::vector<float>(kBlock, 0.0f));
    audio[0][0] = audio[1][0] = 1.0f;
    run(audio, events);
    return audio;
  }
  // The first kBlock working frames of `response` shaped as given.
  static std::vector<std::vector<double>> shaped(const std::vector<std::vector<float>>& response,
                                                 std::int64_t preDelay, float size, float decay) {
    std::vector<const float*> pointers;
    for (const auto& channel : response) pointers.push_back(channel.data());
    acme::ImpulseResponse ir(pointers.data(), response.size(), response[0].size(), 48000);
    EXPECT_EQ(ir.Modify(preDelay, size, decay), 0);
    std::vector<std::vector<double>> out(response.size(), std::vector<double>(kBlock, 0.0));
    for (std::size_t c = 0; c < response.size(); ++c)
      for (std::size_t t = 0; t < kBlock && t < ir.getCurFrames(); ++t) out[c][t] = ir.getWorking(c)[t];
    return out;
  }
  // Impulse blocks until both sides match `expected`; fails on a dry block or past the bound.
  void awaitResponse(const std::vector<std::vector<double>>& expected) {
    const auto until = std::chrono::steady_clock::now() + kPatience;
    for (;;) {
      const auto out = impulseBlock();
      ASSERT_NE(out[0], std::vector<float>(kBlock, 0.0f)) << "a dry block";
      if (closeToSignal(out[0], expected[0], 1e-5) && closeToSignal(out[1], expected[1], 1e-5)) return;
      ASSERT_LT(std::chrono::steady_clock::now(), until) << "the new response never came";
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
};

TEST_F(RoomWorker, AChangedRoomReachesTheOutputWithoutADryBlock) {
  const auto response = decayingNoise(3000, 2, 101);
  ASSERT_TRUE(writeWav(dir.file("ir.wav"), 48000, response));
  struct Case {
    int controllerNumber;
    float value;
    std::int64_t preDelay;
    float size, decay;
  } const cases[] = {{4, 0.8f, 0, 0.8f, 1.0f}, {5, 0.3f, 0, 0.5f, 0.3f}, {3, 0.01f, 240, 0.5f, 1.0f}};
  for (const Case& c : cases) {
    renew();
    load(dir.file("ir.wav"));
    const auto before = shaped(response, 0, 0.5f, 1.0f);
    const auto first = impulseBlock({controller(c.controllerNumber, c.value)});
    EXPECT_TRUE(closeToSignal(first[0], before[0], 1e-5)) << "the old set plays on";
    awaitResponse(shaped(response, c.preDelay, c.size, c.decay));
  }
}

TEST_F(RoomWorker, ALinkDuringARebuildSwitchesToTheNewResponse) {
  const auto a = decayingNoise(48000, 2, 111), b = decayingNoise(2000, 2, 112);
  ASSERT_TRUE(writeWav(dir.file("a.wav"), 48000, a));
  ASSERT_TRUE(writeWav(dir.file("b.wav"), 48000, b));
  load(dir.file("a.wav"));
  impulseBlock({controller(4, 0.9f)});
  std::this_thread::sleep_for(std::chrono::milliseconds(110));  // the worker is likely building
  link(61715, dir.file("b.wav"));
  EXPECT_EQ(payload->pending, 0);
  awaitResponse(shaped(b, 0, 0.9f, 1.0f));
  reverb.reset();
  EXPECT_EQ(files.filesHeld(), 0u);
}

TEST_F(RoomWorker, DestroyingDuringARebuildReturnsAndLeavesNothing) {
  ASSERT_TRUE(writeWav(dir.file("long.wav"), 48000, decayingNoise(20 * 48000, 2, 121)));
  load(dir.file("long.wav"));
  ASSERT_EQ(reverb->getActiveChannels(), 2u);
  impulseBlock({controller(4, 1.0f)});
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  reverb.reset();
  EXPECT_EQ(files.filesHeld(), 0u);
}

TEST_F(RoomWorker, AWorkerWhoseThreadCannotStartIsAFailedBuild) {
  configure(48000, kBlock);
  std::vector<float> left(4800, 0.0f), right(4800, 0.0f);
  left[0] = right[0] = 1.0f;
  vantor::KELOPluginSDK::HostAudioFile file{};
  file.sampleRate = 48000;
  file.numChannels = 2;
  file.channels[0] = left.data();
  file.channels[1] = right.data();
  file.numFrames = 4800;
  // In a child whose new threads all ask for a stack no machine gives, so none can start.
  const std::string answer = textFromChild([&] {
    pthread_attr_t huge;
    pthread_attr_init(&huge);
    pthread_attr_setstacksize(&huge, std::size_t{1} << 40);
    if (pthread_setattr_default_np(&huge) != 0) return std::string("no default attributes");
    return std::string(reverb->initConvEngineFromHaf(&file) ? "built" : "refused");
  });
  EXPECT_EQ(answer, "refused");
  EXPECT_TRUE(reverb->initConvEngineFromHaf(&file));  // here threads start
}

}  // namespace
}  // namespace kelo::test
