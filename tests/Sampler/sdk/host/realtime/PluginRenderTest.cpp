// Rendering through the plug-in host allocates nothing and never blocks: run under the
// real-time guard, which aborts on either.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/pluginhost/AudioFileHost.h"
#include "engine/pluginhost/PluginInstance.h"
#include "tests/Sampler/sdk/TestPlugins.h"
#include "tests/support/realtime/RealtimeGuard.h"

namespace kelo::pluginhost {
namespace {

using namespace vantor::KELOPluginSDK;

TEST(PluginRender, ProcessNeitherAllocatesNorLocks) {
  ASSERT_TRUE(test::kRealtimeGuarded);
  std::string error;
  AudioFileHost host;
  auto bundle = PluginBundle::open(KELO_TEST_PLUGINS_BUNDLE, error);
  ASSERT_NE(bundle, nullptr) << error;
  InstanceSettings settings;
  settings.maxBlockSize = 64;
  auto passThrough = PluginInstance::create(*bundle, test::kPassThroughId, host, settings, error);
  auto probe = PluginInstance::create(*bundle, test::kProbeId, host, settings, error);
  ASSERT_TRUE(passThrough && probe) << error;
  std::vector<float> left(1000, 0.5f), right(1000, -0.5f);
  float* audio[2] = {left.data(), right.data()};
  auto in = std::make_unique<HDMIDIEvents>();
  auto out = std::make_unique<HDMIDIEvents>();
  in->numEvents = 3;
  for (int i = 0; i < 3; ++i) in->events[i] = midiEvent(144, 60 + i, 0.5f, 300u * i);
  {
    test::RealtimeRegion region;
    for (int block = 0; block < 4; ++block) {
      passThrough->process(audio, 1000, in.get(), nullptr, nullptr);
      probe->process(nullptr, 1000, in.get(), out.get(), nullptr);
    }
  }
  EXPECT_EQ(left[999], 0.5f);
  EXPECT_GT(out->numEvents, 3);
}

}  // namespace
}  // namespace kelo::pluginhost
