// Both reverbs through the runtime's entry points while the control thread shrinks and grows
// the maximum block size and the audio thread runs blocks of every size, some following the
// maximum it last heard of, some not: no block may reach buffers smaller than itself, and no
// setting may be read while it is written (ThreadSanitizer, AddressSanitizer). Bounded in time.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Sampler/sdk/PluginEntry.h"
#include "engine/pluginhost/AudioFileHost.h"
#include "tests/effects/reverb/ReverbKit.h"
#include "tests/support/TempDir.h"

namespace kelo::test {
namespace {

using namespace vantor::KELOPluginSDK;

constexpr std::int32_t kLongest = 4096;
constexpr auto kRunFor = std::chrono::milliseconds(1500);

TEST(ReverbBlockSize, BlocksOfAnySizeMeetChangingMaximaSafely) {
  TempDir dir;
  ASSERT_TRUE(writeWav(dir.file("ir.wav"), 48000, decayingNoise(1500, 2, 71)));
  for (const char* identifier : {"com.Sorvelin.Kelo.Convolver.Simple",
                                 "com.Sorvelin.Kelo.Convolver.Room"}) {
    pluginhost::AudioFileHost files;
    PluginStruct* plugin = newInstance(identifier, files.host());
    ASSERT_NE(plugin, nullptr);
    const std::string init = dir.file("ir.wav") + "|0.5|1";
    plugin_dispatch1(plugin, PLUGOP_INITEX, const_cast<char*>(init.c_str()), nullptr);
    const auto first = std::make_unique<DSPInfo>(dspSettings(48000, 256));
    plugin_dispatch1(plugin, PLUGOP_SET_DSPINFO, first.get(), nullptr);

    std::atomic<std::int32_t> heardMaximum{256};
    std::atomic<bool> done{false};
    std::atomic<long> blocks{0};
    std::atomic<long> badSamples{0};
    std::thread audio([&] {
      std::vector<std::vector<float>> channels(2);
      float* pointers[2] = {};
      auto in = std::make_unique<HDMIDIEvents>();
      auto out = std::make_unique<HDMIDIEvents>();
      std::int32_t counter = 0;
      while (!done.load()) {
        // Every size in turn, and every other block the maximum last heard of.
        counter = counter % kLongest + 1;
        const std::int32_t frames = counter % 2 == 0 ? heardMaximum.load() : counter;
        for (std::size_t c = 0; c < 2; ++c) {
          channels[c].assign(kLongest, 0.25f);
          pointers[c] = channels[c].data();
        }
        in->numEvents = 0;
        plugin_process(plugin, pointers, frames, in.get(), out.get(), nullptr);
        for (const auto& channel : channels)
          for (std::int32_t j = 0; j < frames; ++j)
            if (!std::isfinite(channel[j]) || std::fabs(channel[j]) > 64.0f) badSamples.fetch_add(1);
        blocks.fetch_add(1);
      }
    });
    const std::int32_t maxima[] = {32, kLongest, 100, 1024, 0, 1, 513, 2048, 7};
    long changes = 0;
    const auto until = std::chrono::steady_clock::now() + kRunFor;
    while (std::chrono::steady_clock::now() < until) {
      const std::int32_t maximum = maxima[changes % std::size(maxima)];
      const auto info = std::make_unique<DSPInfo>(dspSettings(48000, maximum));
      // The engine tells its audio thread sometimes before, sometimes after the plug-in.
      if (changes % 2 == 0) heardMaximum.store(maximum);
      plugin_dispatch1(plugin, PLUGOP_SET_DSPINFO, info.get(), nullptr);
      if (changes % 2 == 1) heardMaximum.store(maximum);
      ++changes;
    }
    done.store(true);
    audio.join();
    deleteInstance(plugin);
    EXPECT_GT(changes, 1) << identifier;
    EXPECT_GT(blocks.load(), 1) << identifier;
    EXPECT_EQ(badSamples.load(), 0) << identifier;
    EXPECT_EQ(files.filesHeld(), 0u) << identifier;
  }
}

}  // namespace
}  // namespace kelo::test
