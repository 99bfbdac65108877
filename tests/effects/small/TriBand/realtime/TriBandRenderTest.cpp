// The equaliser's process allocates nothing and never blocks, gliding or not, on an odd and an
// even channel count: run under the real-time guard.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/pluginhost/AudioFileHost.h"
#include "engine/pluginhost/PluginInstance.h"
#include "tests/support/realtime/RealtimeGuard.h"

namespace kelo::pluginhost {
namespace {

using namespace vantor::KELOPluginSDK;

TEST(TriBandRender, ProcessNeitherAllocatesNorLocks) {
  ASSERT_TRUE(test::kRealtimeGuarded);
  std::string error;
  AudioFileHost host;
  auto bundle = PluginBundle::open(KELO_TRIBAND_BUNDLE, error);
  ASSERT_NE(bundle, nullptr) << error;
  for (int channels : {2, 3}) {
    InstanceSettings settings;
    settings.maxBlockSize = 64;
    settings.audioChannels = channels;
    auto eq = PluginInstance::create(*bundle, "com.Sorvelin.TriBand", host, settings, error);
    ASSERT_NE(eq, nullptr) << error;
    std::vector<std::vector<float>> audio(static_cast<std::size_t>(channels),
                                          std::vector<float>(1001, 0.25f));
    std::vector<float*> pointers;
    for (auto& channel : audio) pointers.push_back(channel.data());
    auto in = std::make_unique<HDMIDIEvents>();
    in->numEvents = 0;
    const float values[] = {0.9f, 0.1f, 0.7f, 0.5f, 0.3f};
    for (int controller : {0, 1, 2, 4, 3})
      in->events[in->numEvents++] =
          midiEvent(176, controller, values[controller], 100u * controller);
    {
      test::RealtimeRegion region;
      for (int block = 0; block < 4; ++block)
        eq->process(pointers.data(), 1001, in.get(), nullptr, nullptr);
    }
    EXPECT_NE(audio[0][1000], 0.25f);
  }
}

}  // namespace
}  // namespace kelo::pluginhost
