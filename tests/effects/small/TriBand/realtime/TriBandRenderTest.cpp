// The equaliser's process allocates nothing and never blocks, gliding or not, on an odd and an
// even channel count: run under the real-time guard.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "tests/support/plugins/BlockSplitKit.h"
#include "tests/support/realtime/RealtimeGuard.h"

namespace kelo::test {
namespace {

using namespace vantor::KELOPluginSDK;

TEST(TriBandRender, ProcessNeitherAllocatesNorLocks) {
  ASSERT_TRUE(kRealtimeGuarded);
  for (int channels : {2, 3}) {
    PluginUnderTest plugin{KELO_BUNDLE, "com.Sorvelin.TriBand", {}, {}};
    plugin.settings.maxBlockSize = 64;
    plugin.settings.audioChannels = channels;
    const LoadedPlugin eq = loadPlugin(plugin);
    ASSERT_NE(eq.instance, nullptr);
    std::vector<std::vector<float>> audio(static_cast<std::size_t>(channels),
                                          std::vector<float>(1001, 0.25f));
    std::vector<float*> pointers;
    for (auto& channel : audio) pointers.push_back(channel.data());
    auto in = std::make_unique<HDMIDIEvents>();
    in->numEvents = 0;
    const float values[] = {0.9f, 0.1f, 0.7f, 0.5f, 0.3f};
    for (int controller : {0, 1, 2, 4, 3})
      in->events[in->numEvents++] =
          pluginhost::midiEvent(176, controller, values[controller], 100u * controller);
    {
      RealtimeRegion region;
      for (int block = 0; block < 4; ++block)
        eq.instance->process(pointers.data(), 1001, in.get(), nullptr, nullptr);
    }
    EXPECT_NE(audio[0][1000], 0.25f);
  }
}

}  // namespace
}  // namespace kelo::test
