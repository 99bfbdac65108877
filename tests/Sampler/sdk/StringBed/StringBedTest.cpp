#include "Sampler/sdk/StringBed/StringBed.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/Sampler/sdk/StringBed/HarpImpulseFile.h"
#include "tests/Sampler/sdk/StringBed/PluginEvents.h"
#include "tests/support/ConvolutionKit.h"
#include "tests/support/TempDir.h"

namespace {

using kelo::test::eventList;
using vantor::KELOPluginSDK::ChannelInfo;
using vantor::KELOPluginSDK::HDMIDIEvents;

using Channels = std::vector<std::vector<float>>;

// A folder with the impulse "harp" at 44.1 and 48 kHz.
struct Impulses {
  kelo::test::TempDir dir;
  Impulses() {
    for (const char* suffix : {"44", "48"}) {
      EXPECT_TRUE(kelo::test::writeImpulseFile(dir.file(std::string("harp") + suffix),
                                               kelo::test::decayingNoise16(2000, 1)));
    }
  }
};

struct Bed {
  acme::StringBed plugin{nullptr};
  Bed(const std::string& folder, double rate = 48000, std::int32_t block = 256,
      std::int32_t channels = 2) {
    EXPECT_EQ(plugin.initEx("harp|0.5", folder.c_str()), 1);
    ChannelInfo io{channels, channels};
    std::int32_t answer = 0;
    plugin.setIOConfig(&io, &answer);
    EXPECT_EQ(answer, 1);
    const auto info = kelo::test::dspInfo(rate, block);
    plugin.setDSPInfo(&info);
    plugin.start();
  }
  void run(Channels& audio, const HDMIDIEvents* events, std::size_t start = 0,
           std::size_t frames = 0) {
    if (frames == 0) frames = audio[0].size();
    std::vector<float*> pointers;
    for (auto& channel : audio) pointers.push_back(channel.data() + start);
    plugin.process(pointers.data(), static_cast<std::int32_t>(frames), events, nullptr, nullptr);
  }
};

TEST(StringBedInit, TextsGiveNameGainAndFolder) {
  const struct {
    const char *text1, *text2;
    std::string name;
    float gain;
    std::string path;
  } kCases[] = {
      {"Grand", "/data", "Grand", 0.025f, "/data"},
      {"Grand|0.05", "/data", "Grand", 0.05f, "/data"},
      {"Grand|loud", "", "Grand", 0.025f, ""},
      {"Grand|0.05x", "/d", "Grand", 0.025f, "/d"},
      {"Grand|0,05|x", "/d", "Grand", 0.05f, "/d"},
      {"", "/only", "", 0.025f, "/only"},
      {nullptr, nullptr, "", 0.025f, ""},
      {"|0.1", "/d", "", 0.1f, "/d"},
  };
  for (const auto& c : kCases) {
    acme::StringBed plugin(nullptr);
    EXPECT_EQ(plugin.initEx(c.text1, c.text2), 1);
    EXPECT_EQ(plugin.getImpulseName(), c.name) << (c.text1 ? c.text1 : "(null)");
    EXPECT_EQ(plugin.getImpulseGain(), c.gain) << (c.text1 ? c.text1 : "(null)");
    EXPECT_EQ(plugin.getImpulsePath(), c.path);
  }
}

TEST(StringBed, WithoutAFolderNothingIsBuiltButLevelAndBypassApply) {
  Bed bed("");
  EXPECT_EQ(bed.plugin.harpCount(), 0u);
  EXPECT_TRUE(bed.plugin.isBypassed());
  Channels x = {kelo::test::noise(64, 1), kelo::test::noise(64, 2)};
  x[0][3] = std::numeric_limits<float>::quiet_NaN();
  x[1][5] = 9.0f;
  Channels y = x;
  const auto events = eventList({{176, 84, 0.5f}, {176, 85, 0.0f}});
  bed.run(y, events.get());
  EXPECT_EQ(std::memcmp(y[0].data(), x[0].data(), 64 * 4), 0) << "not even sanitised";
  EXPECT_EQ(y[1], x[1]);
  EXPECT_EQ(bed.plugin.getLevel(), 0.5);
  EXPECT_FALSE(bed.plugin.isBypassed());
}

TEST(StringBed, DefaultsSwitchTheBypassOffAtLevel02) {
  Bed bed("");
  auto defaults = eventList({{1, 2, 3.0f}});
  bed.plugin.getDefaults(defaults.get());
  ASSERT_EQ(defaults->numEvents, 2);
  EXPECT_EQ(defaults->events[0].status, 176);
  EXPECT_EQ(defaults->events[0].data1, 84);
  EXPECT_EQ(defaults->events[0].data2, 0.2f);
  EXPECT_EQ(defaults->events[1].data1, 85);
  EXPECT_EQ(defaults->events[1].data2, 0.0f);
  EXPECT_EQ(defaults->events[2].status, 0);
  const auto nan = std::numeric_limits<float>::quiet_NaN();
  const struct {
    std::int32_t controller;
    float value;
    double level;
    bool bypass;
  } kSteps[] = {{84, 0.7f, 0.7f, true}, {84, nan, 0.7f, true}, {85, 0.0f, 0.7f, false},
                {85, 0.5f, 0.7f, true},  {85, nan, 0.7f, true}, {85, -0.0f, 0.7f, false},
                {84, INFINITY, 0.7f, false}};
  for (const auto& step : kSteps) {
    const auto events = eventList({{176, step.controller, step.value}});
    unsigned long stored = 9;
    bed.plugin.ExtractFromMidiStream(events->events, 1, &stored);
    EXPECT_EQ(stored, 0u);
    EXPECT_EQ(bed.plugin.getLevel(), step.level) << step.controller << " " << step.value;
    EXPECT_EQ(bed.plugin.isBypassed(), step.bypass) << step.controller << " " << step.value;
  }
}

TEST(StringBed, PedalChangesWithinFiveMillisecondsMerge) {
  Impulses impulses;
  Bed bed(impulses.dir.path(), 48000);
  ASSERT_EQ(bed.plugin.getMergeWindow(), 240u);
  struct Change {
    std::uint32_t tick;
    float value;
  };
  const struct {
    std::vector<Change> in;
    std::vector<Change> stored;
  } kCases[] = {
      {{{100, 1.0f}, {196, 0.5f}}, {{100, 1.0f}, {196, 0.5f}}},  // 2 ms apart: pending, kept
      {{{100, 1.0f}, {196, 0.5f}, {250, 0.7f}}, {{100, 1.0f}, {250, 0.7f}}},
      {{{100, 1.0f}, {341, 0.2f}}, {{100, 1.0f}, {341, 0.2f}}},
      {{{100, 1.0f}, {340, 0.2f}}, {{100, 1.0f}, {340, 0.2f}}},
      {{{100, 1.0f}, {100, 0.3f}}, {{100, 1.0f}}},  // at the last stored frame: ignored
      {{{100, 1.0f}, {150, 0.5f}, {400, 0.2f}}, {{100, 1.0f}, {400, 0.2f}}},
      {{{300, 1.0f}, {200, 0.5f}}, {{300, 1.0f}}},
      {{{0, 1.0f}}, {{0, 1.0f}}},
  };
  for (const auto& c : kCases) {
    auto events = eventList({{177, 64, 0.9f, 10}, {176, 7, 0.9f, 20}});  // ignored
    for (const Change& change : c.in) {
      events->events[events->numEvents++] = {176, 64, change.value, {}, {}, change.tick};
    }
    unsigned long stored = 0;
    bed.plugin.ExtractFromMidiStream(events->events, events->numEvents, &stored);
    ASSERT_EQ(stored, c.stored.size()) << c.in.size();
    for (std::size_t i = 0; i < stored; ++i) {
      EXPECT_EQ(bed.plugin.sustainEvents()[i].frame, c.stored[i].tick);
      EXPECT_EQ(bed.plugin.sustainEvents()[i].value, c.stored[i].value);
    }
  }
}

TEST(StringBed, At2046StoredChangesTheRestOnlyMoveTheLastPosition) {
  Impulses impulses;
  Bed bed(impulses.dir.path(), 48000);
  std::vector<vantor::KELOPluginSDK::HDMIDIEvent> events;
  for (std::uint32_t k = 0; k < 3000; ++k) {
    events.push_back({176, 64, float(k % 7) / 7, {}, {}, 241 * k});
  }
  unsigned long stored = 0;
  bed.plugin.ExtractFromMidiStream(events.data(), events.size(), &stored);
  ASSERT_EQ(stored, 2047u);
  EXPECT_EQ(bed.plugin.sustainEvents()[2045].frame, 241u * 2045);
  EXPECT_EQ(bed.plugin.sustainEvents()[2046].frame, 241u * 2999);
  EXPECT_EQ(bed.plugin.sustainEvents()[2046].value, float(2999 % 7) / 7);
}

TEST(StringBed, BadSamplesBecomeTheLastGoodOne) {
  Impulses impulses;
  Bed bed(impulses.dir.path(), 48000, 16);
  ASSERT_EQ(bed.plugin.harpCount(), 1u);
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  Channels y = {{5.0f, nan, inf, -4.0f, 0.5f, -inf, 4.0001f, 1e30f},
                {0.25f, -5.0f, 3.0f, nan, 4.0f, -4.5f, 0.0f, 2.0f}};
  const Channels expected = {{0.0f, 0.0f, 0.0f, -4.0f, 0.5f, 0.5f, 0.5f, 0.5f},
                             {0.25f, 0.25f, 3.0f, 3.0f, 4.0f, 4.0f, 0.0f, 2.0f}};
  const auto bypassed = eventList({{176, 85, 0.5f}});  // the harp leaves the audio as it is
  bed.run(y, bypassed.get());
  EXPECT_EQ(y, expected);
  Channels next = {{nan}, {nan}};
  bed.run(next, bypassed.get());
  EXPECT_EQ(next[0][0], 0.5f);
  EXPECT_EQ(next[1][0], 2.0f);
  bed.plugin.start();
  next = {{nan}, {nan}};
  bed.run(next, bypassed.get());
  EXPECT_EQ(next[0][0], 0.0f);
}

TEST(StringBed, BypassIsBitExactAndProcessingIsNot) {
  Impulses impulses;
  Bed bed(impulses.dir.path(), 44100, 128);
  const Channels x = {kelo::test::noise(1024, 3), kelo::test::noise(1024, 4)};
  Channels y = x;
  const auto bypassed = eventList({{176, 64, 1.0f}, {176, 85, 0.5f}});
  for (std::size_t start = 0; start < 1024; start += 128) bed.run(y, bypassed.get(), start, 128);
  EXPECT_EQ(y, x);
  const auto processing = eventList({{176, 85, 0.0f}, {176, 64, 1.0f}});
  for (std::size_t start = 0; start < 1024; start += 128) bed.run(y, processing.get(), start, 128);
  EXPECT_NE(y, x);
}

TEST(StringBed, PairsGetHarpsAndOddCountsAreRefused) {
  Impulses impulses;
  Bed bed(impulses.dir.path(), 48000, 256, 4);
  EXPECT_EQ(bed.plugin.harpCount(), 2u);
  const struct {
    std::int32_t ins, outs, answer;
    std::uint32_t count;
    std::size_t harps;
  } kCases[] = {{3, 3, -1, 4, 2}, {2, 4, -1, 4, 2}, {6, 6, 1, 6, 3}, {2, 2, 1, 2, 1},
                {0, 0, 1, 0, 0},  {4, 4, 1, 4, 0}};  // once none are left, none are made
  for (const auto& c : kCases) {
    ChannelInfo io{c.ins, c.outs};
    std::int32_t answer = 0;
    bed.plugin.setIOConfig(&io, &answer);
    EXPECT_EQ(answer, c.answer) << c.ins << "/" << c.outs;
    EXPECT_EQ(bed.plugin.getNumAudioIns(), c.count);
    EXPECT_EQ(bed.plugin.harpCount(), c.harps) << c.ins << "/" << c.outs;
  }
  std::int32_t answer = 0;
  bed.plugin.setIOConfig(nullptr, &answer);
  EXPECT_EQ(answer, -1);
}

TEST(StringBed, HarpsStayOnlyForTheFormatTheyWereBuiltFor) {
  Impulses impulses;
  Bed bed(impulses.dir.path(), 48000, 256);
  const PianoHarp* built = bed.plugin.harpAt(0);
  ASSERT_NE(built, nullptr);
  bed.plugin.initEx("", "");  // no folder any more
  const auto same = kelo::test::dspInfo(48000, 256);
  bed.plugin.setDSPInfo(&same);
  EXPECT_EQ(bed.plugin.harpAt(0), built);
  const auto other = kelo::test::dspInfo(96000, 256);
  bed.plugin.setDSPInfo(&other);
  EXPECT_EQ(bed.plugin.harpCount(), 0u);
  const Channels x = {kelo::test::noise(256, 5), kelo::test::noise(256, 6)};
  Channels y = x;
  const auto events = eventList({{176, 85, 0.0f}, {176, 64, 1.0f}});
  bed.run(y, events.get());
  EXPECT_EQ(y, x);

  // A block below 1 builds nothing; a missing impulse leaves its pair dry but sanitised.
  Bed empty(impulses.dir.path(), 48000, 0);
  EXPECT_EQ(empty.plugin.harpCount(), 0u);
  Bed missing(impulses.dir.path(), 100000, 256);  // would want harp96
  ASSERT_EQ(missing.plugin.harpCount(), 1u);
  EXPECT_EQ(missing.plugin.harpAt(0), nullptr);
  Channels z = {{1.0f, 7.0f}, {2.0f, 3.0f}};
  missing.run(z, events.get());
  EXPECT_EQ(z, (Channels{{1.0f, 1.0f}, {2.0f, 3.0f}}));
}

}  // namespace

// Silence longer than the harp's tail, sound on one channel of a higher pair, silence: that
// pair's harp wakes and rings on as a harp of its own would, and the pairs without sound stay
// exactly zero (the silence one pair shows says nothing about another's).
TEST(StringBed, EachPairRingsFromItsOwnSoundAlone) {
  constexpr std::size_t kBlock = 256, kBlocks = 24, kFrom = 12, kTo = 16;
  for (const std::size_t sounding : {std::size_t{4}, std::size_t{7}}) {
    Impulses impulses;
    Bed bed(impulses.dir.path(), 48000, kBlock, 8);
    Bed alone(impulses.dir.path(), 48000, kBlock, 2);
    Channels eight(8, std::vector<float>(kBlock * kBlocks, 0.0f));
    Channels two(2, std::vector<float>(kBlock * kBlocks, 0.0f));
    const auto sound = kelo::test::noise(kBlock * (kTo - kFrom), 5);
    std::copy(sound.begin(), sound.end(), eight[sounding].begin() + kBlock * kFrom);
    std::copy(sound.begin(), sound.end(), two[sounding % 2].begin() + kBlock * kFrom);
    const auto pedal = eventList({{176, 85, 0.0f}, {176, 84, 0.5f}, {176, 64, 1.0f}});
    for (std::size_t b = 0; b < kBlocks; ++b) {
      bed.run(eight, b == 0 ? pedal.get() : nullptr, b * kBlock, kBlock);
      alone.run(two, b == 0 ? pedal.get() : nullptr, b * kBlock, kBlock);
    }
    const std::size_t pair = sounding / 2;
    EXPECT_EQ(eight[2 * pair], two[0]) << "channel " << sounding;
    EXPECT_EQ(eight[2 * pair + 1], two[1]) << "channel " << sounding;
    EXPECT_NE(two[sounding % 2][kBlock * kTo + kBlock], 0.0f) << "the harp rings into the silence";
    for (std::size_t c = 0; c < 8; ++c) {
      if (c / 2 == pair) continue;
      EXPECT_EQ(eight[c], std::vector<float>(kBlock * kBlocks, 0.0f)) << "channel " << c;
    }
  }
}
