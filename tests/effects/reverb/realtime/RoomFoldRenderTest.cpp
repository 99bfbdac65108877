// The reverbs' process allocates nothing and never blocks: the simple reverb with two and four
// channels, with a response loaded and with none; the room reverb at the engine's rate and
// resampled, while room changes are handed to its worker and swapped in. Run under the
// real-time guard.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "tests/Sampler/sdk/host/WavFiles.h"
#include "tests/effects/reverb/ReverbKit.h"
#include "tests/support/TempDir.h"
#include "tests/support/plugins/BlockSplitKit.h"
#include "tests/support/realtime/RealtimeGuard.h"

namespace kelo::test {
namespace {

using namespace vantor::KELOPluginSDK;

// Blocks of 1000 frames with `events` in every block, `blocks` times, the audio checked.
void renderGuarded(const LoadedPlugin& reverb, int channels,
                   const std::vector<HDMIDIEvent>& events, int blocks,
                   std::chrono::milliseconds pause = std::chrono::milliseconds(0)) {
  std::vector<std::vector<float>> audio(static_cast<std::size_t>(channels),
                                        std::vector<float>(1000, 0.25f));
  std::vector<float*> pointers;
  for (auto& channel : audio) pointers.push_back(channel.data());
  auto in = std::make_unique<HDMIDIEvents>();
  in->numEvents = 0;
  for (const HDMIDIEvent& event : events) in->events[in->numEvents++] = event;
  for (int block = 0; block < blocks; ++block) {
    {
      RealtimeRegion region;
      reverb.instance->process(pointers.data(), 1000, in.get(), nullptr, nullptr);
    }
    if (pause.count() > 0) std::this_thread::sleep_for(pause);
  }
  EXPECT_NE(audio[0][999], 0.25f);
}

TEST(RoomFoldRender, SimpleReverbProcessNeitherAllocatesNorLocks) {
  ASSERT_TRUE(kRealtimeGuarded);
  TempDir dir;
  ASSERT_TRUE(writeWav(dir.file("ir.wav"), 48000, decayingNoise(20000, 2, 71)));
  for (int channels : {2, 4}) {
    for (const std::string& name : {dir.file("ir.wav"), std::string()}) {
      PluginUnderTest plugin{KELO_BUNDLE, "com.Sorvelin.Kelo.Convolver.Simple", {}, {}};
      plugin.settings.maxBlockSize = 1000;
      plugin.settings.audioChannels = channels;
      plugin.settings.initText = name + "|0.5|0.5";
      const LoadedPlugin reverb = loadPlugin(plugin);
      ASSERT_NE(reverb.instance, nullptr);
      std::vector<HDMIDIEvent> events;
      for (int controller : {0, 1, 2})
        events.push_back(pluginhost::midiEvent(176, controller, 0.7f, 10u * controller));
      renderGuarded(reverb, channels, events, 8);
    }
  }
}

// The room reverb at `rate` in blocks of up to 1000 frames, dry and wet at 0.5.
LoadedPlugin loadRoom(const std::string& response, double rate) {
  PluginUnderTest plugin{KELO_BUNDLE, "com.Sorvelin.Kelo.Convolver.Room", {}, {}};
  plugin.settings.sampleRate = rate;
  plugin.settings.maxBlockSize = 1000;
  plugin.settings.initText = response + "|0.5|0.5";
  return loadPlugin(plugin);
}

TEST(RoomFoldRender, RoomReverbProcessNeitherAllocatesNorLocksWhileItsRoomChanges) {
  ASSERT_TRUE(kRealtimeGuarded);
  TempDir dir;
  ASSERT_TRUE(writeWav(dir.file("ir.wav"), 48000, decayingNoise(4800, 4, 72)));
  for (double rate : {48000.0, 96000.0}) {
    const LoadedPlugin reverb = loadRoom(dir.file("ir.wav"), rate);
    ASSERT_NE(reverb.instance, nullptr);
    // A new size every few blocks: hand-overs and swaps while the worker builds.
    for (float size : {0.7f, 0.3f, 0.9f})
      renderGuarded(reverb, 2, {pluginhost::midiEvent(176, 4, size, 0)}, 6,
                    std::chrono::milliseconds(40));
  }
}

// Sound, silence long enough to rest, a room change while resting, sound: the rest and the
// wake-up neither allocate nor lock.
TEST(RoomFoldRender, RoomReverbRestsAndWakesWithoutAllocatingOrLocking) {
  ASSERT_TRUE(kRealtimeGuarded);
  TempDir dir;
  ASSERT_TRUE(writeWav(dir.file("ir.wav"), 48000, decayingNoise(2000, 2, 73)));
  for (double rate : {48000.0, 96000.0}) {
    const LoadedPlugin reverb = loadRoom(dir.file("ir.wav"), rate);
    ASSERT_NE(reverb.instance, nullptr);
    std::vector<std::vector<float>> audio(2, std::vector<float>(1000));
    std::vector<float*> pointers = {audio[0].data(), audio[1].data()};
    auto none = std::make_unique<HDMIDIEvents>();
    none->numEvents = 0;
    auto resize = std::make_unique<HDMIDIEvents>();
    resize->numEvents = 1;
    resize->events[0] = pluginhost::midiEvent(176, 4, 0.8f, 0);
    for (int block = 0; block < 20; ++block) {
      const bool sound = block < 2 || block >= 18;
      for (auto& channel : audio) std::fill(channel.begin(), channel.end(), sound ? 0.25f : 0.0f);
      {
        RealtimeRegion region;
        reverb.instance->process(pointers.data(), 1000, block == 10 ? resize.get() : none.get(),
                                 nullptr, nullptr);
      }
      if (block >= 10) std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    EXPECT_NE(audio[0][999], 0.25f);
  }
}

}  // namespace
}  // namespace kelo::test
