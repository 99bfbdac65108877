#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "VNL/source/SyncInfo.h"

namespace {

using vantor::SyncInfo;

template <typename T>
T readAt(const SyncInfo& s, size_t offset) {
  T value;
  std::memcpy(&value, reinterpret_cast<const unsigned char*>(&s) + offset, sizeof value);
  return value;
}

TEST(SyncInfo, FreshRecordHoldsTheDefaultsAtTheirOffsets) {
  SyncInfo s;
  s.samplePosition = 11;
  s.ppqPosition = 2.5;
  s.looping = true;
  s.sliceLength = 512;
  s.nextBarSamples = 70000;
  EXPECT_EQ(readAt<double>(s, 0), 11.0);
  EXPECT_EQ(readAt<double>(s, 24), 2.5);
  EXPECT_EQ(readAt<double>(s, 32), 120.0);
  EXPECT_EQ(readAt<std::int32_t>(s, 64), 4);
  EXPECT_EQ(readAt<std::int32_t>(s, 68), 4);
  EXPECT_EQ(readAt<std::uint8_t>(s, 84), 0);
  EXPECT_EQ(readAt<std::uint8_t>(s, 86), 1);
  EXPECT_EQ(readAt<std::int16_t>(s, 90), 512);
  EXPECT_EQ(readAt<std::int32_t>(s, 92), 70000);
  for (size_t i = 120; i < 128; ++i) EXPECT_EQ(readAt<std::uint8_t>(s, i), 0) << i;
}

TEST(SyncInfo, PrepareDerivesBarAndSliceFields) {
  SyncInfo s;
  s.playing = true;
  s.ppqPosition = 1.5;
  ASSERT_TRUE(s.prepare(480, 48000.0, "test", nullptr, true));
  EXPECT_EQ(s.barLength, 4.0);
  EXPECT_EQ(s.nextBarSamples, 60000);
  EXPECT_EQ(s.sliceLength, 480);
  EXPECT_DOUBLE_EQ(s.ppqAdvance, 0.02);
  EXPECT_FALSE(s.barStartsInSlice);
  EXPECT_EQ(vantor::samplesToNextBeat(120, 1.5, 0, 4, 4, 48000), 12000);

  s.timeSigNumerator = 6;
  s.timeSigDenominator = 8;
  s.ppqPosition = 0;
  ASSERT_TRUE(s.prepare(480, 48000.0, nullptr, nullptr, true));
  EXPECT_EQ(s.barLength, 3.0);
  EXPECT_EQ(s.nextBarSamples, 0);
  EXPECT_TRUE(s.barStartsInSlice);
}

TEST(SyncInfo, StoppedRecordIsValidWhateverItHolds) {
  SyncInfo s;
  s.tempo = -5;
  s.timeSigDenominator = 0;
  s.ppqPosition = -3;
  s.barStartPosition = 4;
  EXPECT_EQ(s.valid(), 0);
  EXPECT_TRUE(s.prepare(64, 0.0, nullptr, nullptr, true));
  EXPECT_EQ(s.barLength, 4.0);
  EXPECT_EQ(s.ppqAdvance, 0.0);
}

TEST(SyncInfo, ValidReportsTheFirstProblem) {
  struct Case {
    const char* what;
    void (*change)(SyncInfo&);
    int code;
  };
  const Case cases[] = {
      {"usable", [](SyncInfo&) {}, 0},
      {"no rate", [](SyncInfo& s) { s.sampleRate = 0; }, 1},
      {"no tempo", [](SyncInfo& s) { s.tempo = 0; }, 3},
      {"rate before tempo", [](SyncInfo& s) { s.tempo = 0; s.sampleRate = -1; }, 1},
      {"numerator", [](SyncInfo& s) { s.timeSigNumerator = 0; }, 5},
      {"denominator", [](SyncInfo& s) { s.timeSigDenominator = 0; }, 6},
      {"before bar", [](SyncInfo& s) { s.barStartPosition = 2; }, 7},
      {"loop end", [](SyncInfo& s) { s.looping = true; s.loopEndPosition = -1; }, 9},
      {"loop start", [](SyncInfo& s) { s.looping = true; s.loopStartPosition = -1; s.loopEndPosition = 8; }, 10},
      {"loop beyond bar not examined",
       [](SyncInfo& s) { s.looping = true; s.loopEndPosition = -1; s.ppqPosition = 9; }, 0},
  };
  for (const Case& c : cases) {
    SyncInfo s;
    s.playing = true;
    s.sampleRate = 44100;
    s.barLength = 4;
    s.ppqPosition = 1;
    c.change(s);
    EXPECT_EQ(s.valid(), c.code) << c.what;
  }
}

TEST(SyncInfo, InvertedLoopWithinTheBarIsSwitchedOff) {
  SyncInfo s;
  s.playing = true;
  s.looping = true;
  s.ppqPosition = 1;
  s.loopStartPosition = 3;
  s.loopEndPosition = 2;
  ASSERT_TRUE(s.prepare(256, 44100, nullptr, nullptr, true));
  EXPECT_FALSE(s.looping);
  EXPECT_FALSE(s.loopWrapsInSlice);
}

TEST(SyncInfo, FailedPrepareKeepsDerivedFieldsAndDescribesTheRecord) {
  SyncInfo s;
  s.playing = true;
  s.ppqPosition = 1.5;
  ASSERT_TRUE(s.prepare(480, 48000.0, nullptr, nullptr, true));
  s.barStartPosition = 4;  // position now before the bar: code 7
  std::string text = "untouched";
  EXPECT_FALSE(s.prepare(100, 48000.0, nullptr, &text, true));
  EXPECT_EQ(text, "untouched");
  EXPECT_FALSE(s.prepare(100, 48000.0, nullptr, &text, false));
  EXPECT_EQ(s.nextBarSamples, 60000);
  EXPECT_DOUBLE_EQ(s.ppqAdvance, 0.02);
  EXPECT_EQ(text.rfind(" 7 ppq:", 0), 0u) << text;
}

TEST(SyncInfo, LogTextIsTheGoldenLine) {
  SyncInfo s;
  s.playing = true;
  s.looping = true;
  s.ppqPosition = 1.5;
  s.ppqAdvance = 0.02;
  s.lastLoggedPpq = 0.5;
  s.timeSigNumerator = 3;
  s.sampleRate = 48000;
  s.sliceLength = 480;
  s.samplePosition = 36000;
  s.loopStartPosition = 1;
  s.loopEndPosition = 1234567;
  std::string text;
  EXPECT_FALSE(s.log(7, text));
  EXPECT_EQ(text,
            " 7 ppq:       1.5 L:      0.02 D:           1 bar:     0 (3/4) bpm:   120 play:1 "
            "loop:1 diff:0 sr:48000 sl:  480 sp:36000 ls:1 le:1.23457e+06");
  EXPECT_EQ(s.lastLoggedPpq, 1.5);
  EXPECT_TRUE(s.log(0, text));
  EXPECT_NE(text.find(" D:           0 "), std::string::npos) << text;
}

// The reduction as first written: one bar at a time. Only usable where it ends quickly.
std::int64_t nextBarByLoop(double tempo, double ppq, double bar, double num, double den,
                           double rate) {
  double length = num * 4 / den;
  if (!(length > 0)) length = 4;
  double g = ppq == bar ? 0 : length + bar - ppq;
  while (g < 0) g += length;
  while (g > length) g -= length;
  const double samples = g * rate / (tempo / 60);
  return samples < 0 ? 0 : static_cast<std::int64_t>(samples);
}

TEST(SyncInfo, SamplesToNextBarMatchesTheBarByBarReduction) {
  struct Case {
    double ppq, bar, num, den;
    std::int64_t expected;
  };
  const Case cases[] = {
      {1.5, 0, 4, 4, 60000},  {0, 0, 4, 4, 0},       {4, 4, 4, 4, 0},
      {0.25, 4, 4, 4, 90000}, {8, 4, 4, 4, 0},       // distance 0 after whole bars
      {4, 0, 4, 4, 0},        {9, 0, 4, 4, 72000},   {-1, 0, 4, 4, 24000},
      {2, 0, 6, 8, 24000},    {0.5, 0, 0, 4, 84000}, {100.5, 2, 4, 4, 36000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(vantor::samplesToNextBar(120, c.ppq, c.bar, c.num, c.den, 48000), c.expected)
        << c.ppq << " " << c.bar;
    EXPECT_EQ(nextBarByLoop(120, c.ppq, c.bar, c.num, c.den, 48000), c.expected);
  }
  // A position exactly one bar before the bar start's next bar keeps the full bar.
  EXPECT_EQ(vantor::samplesToNextBar(120, 2, 6, 4, 4, 48000), 96000);
  EXPECT_EQ(nextBarByLoop(120, 2, 6, 4, 4, 48000), 96000);

  std::mt19937 random(7);
  std::uniform_int_distribution<int> sixteenths(-4000, 4000);
  std::uniform_int_distribution<int> numerators(1, 9);
  const double denominators[] = {2, 4, 8, 16};
  for (int i = 0; i < 2000; ++i) {
    const double ppq = sixteenths(random) / 16.0;
    const double bar = sixteenths(random) / 16.0;
    const double num = numerators(random);
    const double den = denominators[i % 4];
    EXPECT_EQ(vantor::samplesToNextBar(97, ppq, bar, num, den, 44100),
              nextBarByLoop(97, ppq, bar, num, den, 44100))
        << ppq << " " << bar << " " << num << "/" << den;
  }
}

TEST(SyncInfo, HugeSongPositionAnswersAtOnce) {
  // Bar by bar this never ends: 1e17 + 4 == 1e17 in doubles.
  const std::int64_t samples = vantor::samplesToNextBar(120, 1e17, 0, 4, 4, 48000);
  EXPECT_GE(samples, 0);
  EXPECT_LE(samples, 96000);
  // 1e17 is a whole number of 4/4 bars: a full bar to go, as bar by bar would give.
  EXPECT_EQ(vantor::samplesToNextBar(120, -1e17, 0, 4, 4, 48000), 96000);
  SyncInfo s;
  s.playing = true;
  s.ppqPosition = 1e17;
  EXPECT_TRUE(s.prepare(256, 48000, nullptr, nullptr, true));
}

TEST(SyncInfo, UnusableTimingGivesNoSamples) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double tempo, ppq, bar, rate;
  };
  const Case cases[] = {
      {0, 1.5, 0, 48000},   {-120, 1.5, 0, 48000}, {nan, 1.5, 0, 48000}, {inf, 1.5, 0, 48000},
      {120, 1.5, 0, 0},     {120, 1.5, 0, -1},     {120, 1.5, 0, nan},   {120, 1.5, 0, inf},
      {120, nan, 0, 48000}, {120, inf, 0, 48000},  {120, 1.5, nan, 48000}, {120, 1.5, -inf, 48000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(vantor::samplesToNextBar(c.tempo, c.ppq, c.bar, 4, 4, c.rate), 0)
        << c.tempo << " " << c.ppq << " " << c.bar << " " << c.rate;
    EXPECT_EQ(vantor::samplesToNextBeat(c.tempo, c.ppq, c.bar, 4, 4, c.rate), 0);
  }
  EXPECT_EQ(vantor::samplesToNextBar(120, 1.5, 0, inf, 4, 48000), 60000);  // bar length 4
}

TEST(SyncInfo, SamplesToNextBeatStopsAtTheBarStart) {
  EXPECT_EQ(vantor::samplesToNextBeat(120, 2, 0, 4, 4, 48000), 0);
  EXPECT_EQ(vantor::samplesToNextBeat(120, 2.75, 0, 4, 4, 48000), 6000);
  EXPECT_EQ(vantor::samplesToNextBeat(120, 1.25, 0, 3, 8, 48000), 6000);  // bar ends at 1.5
}

}  // namespace
