// The audio device with a stream that calls back from its own thread: the first callback
// releases the opening, play and stop requests alternate with blocks running, the start
// semaphore and the playing state pass cleanly between the threads.
#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "tests/standalone/devices/DeviceTestSupport.h"

namespace {

using kelo::test::FakePortAudio;

class AudioDeviceThreads : public kelo::test::DeviceBackEnd {};

/// Counts its blocks; written on the callback thread, read on the test's.
class CountingRender : public vantor::StereoRender {
 public:
  void runGraphStereo(float** outputs, unsigned frames) override {
    for (unsigned i = 0; i < frames; ++i) outputs[0][i] = outputs[1][i] = 0.125f;
    blocks.fetch_add(1, std::memory_order_relaxed);
  }
  std::atomic<int> blocks{0};
};

TEST_F(AudioDeviceThreads, PlayAndStopWithTheCallbackOnItsOwnThread) {
  pa.callbacks = FakePortAudio::Callbacks::Threaded;
  addOutput("Card", 2);
  vantor::DeviceManager* dm = startManager();
  CountingRender render;
  vantor::AudioDevice* device = makeDevice(0, &render);
  ASSERT_NE(device, nullptr);

  for (int round = 0; round < 5; ++round) {
    ASSERT_TRUE(dm->playStopReq(&context, true)) << round;
    const int seen = pa.threadedCallbacks();
    while (pa.threadedCallbacks() < seen + 3) std::this_thread::yield();
    EXPECT_TRUE(dm->playStopReq(&context, false)) << round;
  }
  EXPECT_GE(render.blocks.load(), 15);
  EXPECT_GT(dm->getRenderedFrames(&context), 0u);
  delete device;
}

TEST_F(AudioDeviceThreads, AStreamThatNeverCallsBackFailsThePlayRequest) {
  pa.callbacks = FakePortAudio::Callbacks::Never;
  addOutput("Card", 2);
  vantor::DeviceManager* dm = startManager();
  vantor::AudioDevice* device = makeDevice(0);
  device->setStartTimeout(10);
  EXPECT_FALSE(dm->playStopReq(&context, true));
  EXPECT_FALSE(dm->isPlaying(&context, true));
  EXPECT_TRUE(log.has('E', "playReq TIMEOUT!!"));
  // A loaded machine may start the callback thread late: give it the usual time.
  pa.callbacks = FakePortAudio::Callbacks::Threaded;
  device->setStartTimeout(vantor::AudioDevice::kStartTimeoutMilliseconds);
  EXPECT_TRUE(dm->playStopReq(&context, true));
  EXPECT_TRUE(dm->playStopReq(&context, false));
  delete device;
}

}  // namespace
