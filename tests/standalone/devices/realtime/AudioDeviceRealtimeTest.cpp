// The audio callback's render path under the real-time guard: once the first callback of an
// opening has run, blocks of any size (larger than the block included) neither allocate nor
// block, for a stereo device and for a pair of a multi-channel device.
#include <vector>

#include <gtest/gtest.h>

#include "tests/standalone/devices/DeviceTestSupport.h"
#include "tests/support/realtime/RealtimeGuard.h"

namespace {

class AudioDeviceRealtime : public kelo::test::DeviceBackEnd {};

TEST_F(AudioDeviceRealtime, CallbacksRenderWithoutAllocatingOrBlocking) {
  ASSERT_TRUE(kelo::test::kRealtimeGuarded);
  addOutput("Stereo", 2);
  addOutput("Eight", 8);
  startManager();
  context.resetDSP(48000, 256);

  for (int index : {0, 1}) {
    SCOPED_TRACE(index);
    kelo::test::ConstantRender render;
    render.blocks.reserve(64);
    vantor::AudioDevice* device = makeDevice(index, &render);
    ASSERT_NE(device, nullptr);
    if (index == 1) {
      ASSERT_TRUE(device->setOutputStereoPair(2));
    }
    // The first callback, inside the opening, posts the start semaphore: not a render block.
    ASSERT_TRUE(device->onPlay());

    const unsigned channels = device->streamChannels();
    std::vector<std::vector<float>> storage(channels, std::vector<float>(1024, 9.0f));
    std::vector<float*> outputs;
    for (auto& channel : storage) outputs.push_back(channel.data());
    PaStreamCallbackTimeInfo time{};
    {
      kelo::test::RealtimeRegion region;
      for (unsigned long frames : {256ul, 64ul, 1024ul, 300ul}) {
        vantor::AudioDevice::paCallback(nullptr, outputs.data(), frames, &time, 0, device);
      }
    }
    EXPECT_EQ(storage[channels - 2][1023], 0.5f);
    EXPECT_EQ(storage[channels - 1][299], -0.25f);
    EXPECT_EQ(storage[0][0], index == 0 ? 0.5f : 0.0f);
    delete device;
  }
}

}  // namespace
