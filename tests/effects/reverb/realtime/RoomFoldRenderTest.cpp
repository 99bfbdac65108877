// The simple reverb's process allocates nothing and never blocks, with two and four channels,
// with a response loaded and with none: run under the real-time guard.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "tests/Sampler/sdk/host/WavFiles.h"
#include "tests/effects/reverb/ReverbKit.h"
#include "tests/support/TempDir.h"
#include "tests/support/plugins/BlockSplitKit.h"
#include "tests/support/realtime/RealtimeGuard.h"

namespace kelo::test {
namespace {

using namespace vantor::KELOPluginSDK;

TEST(RoomFoldRender, SimpleReverbProcessNeitherAllocatesNorLocks) {
  ASSERT_TRUE(kRealtimeGuarded);
  TempDir dir;
  ASSERT_TRUE(writeWav(dir.file("ir.wav"), 48000, decayingNoise(20000, 2, 71)));
  for (int channels : {2, 4}) {
    for (const std::string& name : {dir.file("ir.wav"), std::string()}) {
      PluginUnderTest plugin{KELO_BUNDLE, "com.Sorvelin.Kelo.Convolver.Simple", {}, {}};
      plugin.settings.maxBlockSize = 256;
      plugin.settings.audioChannels = channels;
      plugin.settings.initText = name + "|0.5|0.5";
      const LoadedPlugin reverb = loadPlugin(plugin);
      ASSERT_NE(reverb.instance, nullptr);
      std::vector<std::vector<float>> audio(static_cast<std::size_t>(channels),
                                            std::vector<float>(1000, 0.25f));
      std::vector<float*> pointers;
      for (auto& channel : audio) pointers.push_back(channel.data());
      auto in = std::make_unique<HDMIDIEvents>();
      in->numEvents = 0;
      for (int controller : {0, 1, 2})
        in->events[in->numEvents++] = pluginhost::midiEvent(176, controller, 0.7f, 10u * controller);
      {
        RealtimeRegion region;
        for (int block = 0; block < 8; ++block)
          reverb.instance->process(pointers.data(), 1000, in.get(), nullptr, nullptr);
      }
      EXPECT_NE(audio[0][999], 0.25f);
    }
  }
}

}  // namespace
}  // namespace kelo::test
