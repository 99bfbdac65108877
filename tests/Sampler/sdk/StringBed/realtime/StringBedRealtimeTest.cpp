#include <cmath>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "Sampler/sdk/StringBed/PianoHarp.h"
#include "Sampler/sdk/StringBed/PianoSymp.h"
#include "Sampler/sdk/StringBed/StringBed.h"
#include "Sampler/sdk/StringBed/pianosim/piano.h"
#include "tests/Sampler/sdk/StringBed/HarpImpulseFile.h"
#include "tests/Sampler/sdk/StringBed/PluginEvents.h"
#include "tests/support/ConvolutionKit.h"
#include "tests/support/TempDir.h"
#include "tests/support/realtime/RealtimeGuard.h"

namespace {

TEST(StringBedRealtime, PianoProcessingNotesAndResetNeverAllocateOrLock) {
  auto p = std::make_unique<piano>();
  ASSERT_EQ(piano_init(p.get(), 48000, nullptr), 0);
  for (const int string : {0, 1}) {
    piano_setdecay(p.get(), string, 48000, 0.999f, 0.9f, 0.3f, 6000, 3000, 0.2f);
    piano_setgain(p.get(), string, 0.01f);
  }
  const std::vector<float> in = kelo::test::noise(512, 1);
  std::vector<float> out(512, 0.0f);
  {
    kelo::test::RealtimeRegion region;
    for (int block = 0; block < 40; ++block) {
      if (block % 7 == 0) piano_noteon(p.get(), 21 + block);
      if (block % 11 == 0) piano_noteoff(p.get(), 21 + block / 2);
      if (block == 25) piano_reset(p.get());
      piano_processadding(p.get(), in.data(), out.data(), 1 + (block * 97) % 512);
    }
  }
  for (const float v : out) ASSERT_TRUE(std::isfinite(v));
  piano_finalize(p.get());
}

TEST(StringBedRealtime, HarpCallsNeverAllocateOrLock) {
  kelo::test::TempDir dir;
  for (const unsigned long rate : {44100ul, 48000ul}) {
    ASSERT_TRUE(kelo::test::writeImpulseFile(dir.file("harp" + std::to_string(rate / 1000)),
                                             kelo::test::decayingNoise16(3000, 2)));
  }
  for (const unsigned long rate : {44100ul, 96000ul, 192000ul}) {
    unsigned long error = 99;
    PianoHarp* harp = makePianoHarp(dir.path().c_str(), "harp", 256, &error, 0, 0, rate, 0.5f);
    ASSERT_NE(harp, nullptr) << rate;
    std::vector<float> left = kelo::test::noise(256, 3), right = kelo::test::noise(256, 4);
    float* pair[2] = {left.data(), right.data()};
    const tagThinSusEvent events[] = {{0, 1.0}, {3, 0.5}, {100, 0.0}, {200, 1.0}, {256, 0.7}};
    {
      kelo::test::RealtimeRegion region;
      for (int block = 0; block < 30; ++block) {
        const unsigned long frames = 1 + (block * 89) % 256;
        harp->CalculateCurrentHarpOutput(frames, pair, events, block % 2 == 0 ? 5 : 0,
                                         0.2 + block * 0.01, block == 13);
        if (block == 20) harp->ResetHarp();
        harp->UpdateFromSustainEvent(block % 3 == 0 ? 1.0 : 0.2, 0.3);
      }
      harp->CalculateCurrentHarpOutput(0, pair, events, 5, 0.3, false);
    }
    for (const float v : left) ASSERT_TRUE(std::isfinite(v));
    delete harp;
  }
}

// Both plug-ins on `channels` channels at 96 kHz in blocks of up to 256, the sustain harp with
// an impulse of `frames` frames of seeded decaying noise; built and started outside any region.
struct BothPlugins {
  BothPlugins(std::size_t frames, unsigned seed, std::int32_t channels) {
    EXPECT_TRUE(kelo::test::writeImpulseFile(dir.file("harp48"),
                                             kelo::test::decayingNoise16(frames, seed)));
    sustain.initEx("harp|0.1", dir.path().c_str());
    const auto info = kelo::test::dspInfo(96000, 256);
    for (vantor::KELOPluginSDK::EffectPlugin* plugin :
         {static_cast<vantor::KELOPluginSDK::EffectPlugin*>(&sustain),
          static_cast<vantor::KELOPluginSDK::EffectPlugin*>(&sympathetic)}) {
      vantor::KELOPluginSDK::ChannelInfo io{channels, channels};
      std::int32_t answer = 0;
      plugin->setIOConfig(&io, &answer);
      plugin->setDSPInfo(&info);
      plugin->start();
    }
  }
  kelo::test::TempDir dir;
  acme::StringBed sustain{nullptr};
  acme::PianoSymp sympathetic{nullptr};
};

// Both plug-ins' process with every event they read, built and configured outside the region.
TEST(StringBedRealtime, PluginProcessNeverAllocatesOrLocks) {
  BothPlugins both(3000, 5, 4);
  acme::StringBed& sustain = both.sustain;
  acme::PianoSymp& sympathetic = both.sympathetic;
  ASSERT_EQ(sustain.harpCount(), 2u);
  auto defaults = kelo::test::eventList();
  sympathetic.getDefaults(defaults.get());
  const auto events = kelo::test::eventList(
      {{176, 84, 0.4f}, {176, 85, 0.0f}, {176, 64, 1.0f, 3}, {176, 64, 0.2f, 100},
       {176, 87, 1.2f}, {144, 60, 1.0f}, {144, 64, 0.7f}, {128, 60, 0.0f}, {176, 64, 0.0f, 200},
       {176, 123, 0.0f}, {176, 120, 0.0f}, {144, 69, 1.0f}});
  std::vector<std::vector<float>> audio(4);
  for (std::size_t c = 0; c < 4; ++c) audio[c] = kelo::test::noise(256, 20 + c);
  audio[2][7] = std::nanf("");
  float* pointers[4] = {audio[0].data(), audio[1].data(), audio[2].data(), audio[3].data()};
  {
    kelo::test::RealtimeRegion region;
    for (int block = 0; block < 20; ++block) {
      const auto* list = block == 0 ? defaults.get() : events.get();
      const std::int32_t frames = 1 + (block * 61) % 256;
      sympathetic.process(pointers, frames, list, nullptr, nullptr);
      sustain.process(pointers, frames, list, nullptr, nullptr);
    }
    sustain.stop();
    sustain.process(pointers, 256, events.get(), nullptr, nullptr);
  }
  for (const auto& channel : audio) {
    for (const float v : channel) ASSERT_TRUE(std::isfinite(v));
  }
}

// Resting in silence and waking, keys and the pedal moving meanwhile: the harp and the strings
// clear and catch up without allocating or locking.
TEST(StringBedRealtime, RestingAndWakingNeverAllocateOrLock) {
  BothPlugins both(600, 6, 2);
  acme::StringBed& sustain = both.sustain;
  acme::PianoSymp& sympathetic = both.sympathetic;
  auto defaults = kelo::test::eventList();
  sympathetic.getDefaults(defaults.get());
  const auto none = kelo::test::eventList();
  const auto keys = kelo::test::eventList(
      {{176, 64, 1.0f, 3}, {144, 60, 1.0f}, {128, 64, 0.0f}, {144, 72, 0.5f}});
  const auto release = kelo::test::eventList({{176, 64, 0.0f}, {128, 60, 0.0f}, {128, 72, 0.0f}});
  std::vector<std::vector<float>> audio(2, std::vector<float>(256));
  float* pointers[2] = {audio[0].data(), audio[1].data()};
  {
    kelo::test::RealtimeRegion region;
    for (int block = 0; block < 300; ++block) {
      const bool sound = block < 4 || block >= 290;
      for (std::size_t c = 0; c < 2; ++c)
        for (float& x : audio[c]) x = sound ? 0.25f : 0.0f;
      const auto* list = block == 0 ? defaults.get()
                         : block % 50 == 1 ? keys.get()
                         : block % 50 == 30 ? release.get()
                                            : none.get();
      sympathetic.process(pointers, 256, list, nullptr, nullptr);
      sustain.process(pointers, 256, list, nullptr, nullptr);
    }
  }
  for (const auto& channel : audio) {
    for (const float v : channel) ASSERT_TRUE(std::isfinite(v));
  }
}

}  // namespace
