// The spatializer's process allocates nothing and never blocks, while it fades, re-places its
// microphones and reports the stage switching on: run under the real-time guard.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "tests/support/plugins/BlockSplitKit.h"
#include "tests/support/realtime/RealtimeGuard.h"

namespace kelo::test {
namespace {

using namespace vantor::KELOPluginSDK;

TEST(MicFieldRender, ProcessNeitherAllocatesNorLocks) {
  ASSERT_TRUE(kRealtimeGuarded);
  PluginUnderTest plugin{KELO_BUNDLE, "com.Sorvelin.Stage.Effect.First", {}, {}};
  plugin.settings.maxBlockSize = 64;
  plugin.settings.initText = "45|-45|2|30|6|5|20|0|2|15|0.3|0.5";
  plugin.settings.extraText = "engine";
  const LoadedPlugin stage = loadPlugin(plugin);
  ASSERT_NE(stage.instance, nullptr);
  std::vector<std::vector<float>> audio(2, std::vector<float>(3001, 0.25f));
  float* pointers[2] = {audio[0].data(), audio[1].data()};
  auto in = std::make_unique<HDMIDIEvents>();
  auto out = std::make_unique<HDMIDIEvents>();
  in->numEvents = 0;
  in->events[in->numEvents++] = pluginhost::midiEvent(176, 10, 0.9f, 0);
  in->events[in->numEvents++] = pluginhost::midiEvent(176, 103, 0.0f, 500);
  in->events[in->numEvents++] = pluginhost::midiEvent(176, 256, 0.2f, 2500);
  in->events[in->numEvents++] = pluginhost::midiEvent(176, 103, 1.0f, 2900);
  {
    RealtimeRegion region;
    for (int block = 0; block < 3; ++block)
      stage.instance->process(pointers, 3001, in.get(), out.get(), nullptr);
  }
  EXPECT_NE(audio[0][3000], 0.25f);
  EXPECT_EQ(out->numEvents, 3);
}

}  // namespace
}  // namespace kelo::test
