// The host callback and an instance's control calls from several threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "engine/pluginhost/AudioFileHost.h"
#include "engine/pluginhost/PluginInstance.h"
#include "tests/Sampler/sdk/TestPlugins.h"
#include "tests/Sampler/sdk/host/WavFiles.h"
#include "tests/support/TempDir.h"

namespace kelo::pluginhost {
namespace {

using namespace vantor::KELOPluginSDK;

TEST(PluginHostThreads, LoadsAndReleasesFromManyThreads) {
  test::TempDir dir;
  const std::string path = dir.file("shared.wav");
  ASSERT_TRUE(test::writeWav(path, 44100, {test::impulse(256, 10), test::impulse(256, 20)}));
  AudioFileHost host;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 8; ++i) {
        HostAudioFile file{};
        file.version = kSDKVersion;
        file.fileName = path.c_str();
        file.sampleRate = t % 2 == 0 ? 44100 : 48000;
        Host* record = host.host();
        if (record->callback(record, HOSTOP_LOAD_AUDIO_FILE, 0, &file) != 0 ||
            file.channels[1][t % 2 == 0 ? 20 : 0] == 0.5f ||
            record->callback(record, HOSTOP_RELEASE_AUDIO_FILE, 0, &file) != 0)
          failures.fetch_add(1);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(host.filesHeld(), 0u);
  EXPECT_EQ(host.calls().size(), 64u);
}

// Control calls from the main thread while another thread renders: the two never overlap
// inside the plug-in (ThreadSanitizer would see the probe's trace written from both).
TEST(PluginHostThreads, ControlCallsAndProcessNeverOverlap) {
  std::string error;
  AudioFileHost host;
  auto bundle = PluginBundle::open(KELO_TEST_PLUGINS_BUNDLE, error);
  ASSERT_NE(bundle, nullptr) << error;
  InstanceSettings settings;
  settings.maxBlockSize = 64;
  auto probe = PluginInstance::create(*bundle, test::kProbeId, host, settings, error);
  ASSERT_NE(probe, nullptr) << error;
  std::atomic<bool> done{false};
  std::thread render([&] {
    auto in = std::make_unique<HDMIDIEvents>();
    auto out = std::make_unique<HDMIDIEvents>();
    in->numEvents = 0;
    while (!done.load()) probe->process(nullptr, 64, in.get(), out.get(), nullptr);
  });
  for (int i = 0; i < 200; ++i) {
    probe->setDSPSettings(i % 2 == 0 ? 44100 : 48000, 64);
    probe->idle();
  }
  done = true;
  render.join();
}

}  // namespace
}  // namespace kelo::pluginhost
