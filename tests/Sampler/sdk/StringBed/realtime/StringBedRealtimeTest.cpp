#include <cmath>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "Sampler/sdk/StringBed/PianoHarp.h"
#include "Sampler/sdk/StringBed/pianosim/piano.h"
#include "tests/Sampler/sdk/StringBed/HarpImpulseFile.h"
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

}  // namespace
