#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "VNL/source/MIDIEvent.h"

namespace {

TEST(MIDIEvent, SortsByFrameOffsetAsSignedValues) {
  vantor::MIDIEvent early{}, late{};
  early.frameOffset = -1;
  late.frameOffset = 0;
  EXPECT_TRUE(vantor::midiSort(early, late));
  EXPECT_FALSE(vantor::midiSort(late, early));
  EXPECT_FALSE(vantor::midiSort(late, late));
}

TEST(MIDIBytes, CombineAndCreateAreInverseOnFourteenBits) {
  std::uint8_t lsb = 0xAA, msb = 0xAA;
  PMIDICreateBytes(8192, lsb, msb);
  EXPECT_EQ(lsb, 0);
  EXPECT_EQ(msb, 64);
  EXPECT_EQ(PMIDICombineBytes(lsb, msb), 8192);
  PMIDICreateBytes(0xFFFF, lsb, msb);  // bits above the fourteenth are dropped
  EXPECT_EQ(lsb, 0x7F);
  EXPECT_EQ(msb, 0x7F);
  PMIDICreateBytes(0x1234 & 0x3FFF, lsb, msb);
  EXPECT_EQ(PMIDICombineBytes(lsb, msb), 0x1234);
  EXPECT_EQ(PMIDICombineBytes(0x80, 0x80), (0x80 << 7) | 0x80);  // not masked
}

TEST(MIDIBytes, DowngradeToSevenBits) {
  const struct {
    float value;
    int expected;
  } cases[] = {
      {0.0f, 0},   {0.5f, 64},  {1.0f, 127}, {1.01f, 0},  // wraps, no clamping
      {-0.5f, 65},                                        // -63 & 0x7F
      {std::numeric_limits<float>::quiet_NaN(), 0},
      {std::numeric_limits<float>::infinity(), 0},
      {-std::numeric_limits<float>::infinity(), 0},
  };
  for (const auto& c : cases) {
    float value = c.value;
    EXPECT_EQ(PDowngradeFloatMIDI7(value), c.expected) << c.value;
  }
}

// Worked by hand: the single-precision product, plus 0.5, rounded down, its low seven bits
// (two's complement for negative values). Products at or beyond 2^31 are multiples of 128.
TEST(MIDIBytes, SevenBitsWrapFarOutOfRangeLikeNearby) {
  const struct {
    float value;
    int expected;
  } cases[] = {
      {2.0f, 126},          // 254
      {1000.0f, 24},        // 127000 = 992 x 128 + 24
      {-1000.0f, 104},      // -127000 = -993 x 128 + 104
      {20000.5f, 32},       // 2540063.5 + 0.5 = 19844 x 128 + 32
      {-20000.5f, 97},      // -2540063.5 + 0.5 = -19845 x 128 + 97
      {16909321.0f, 0},     // the product rounds to 2^31, one past the int32 range
      {3.0e9f, 0},          // 380999991296
      {-3.0e9f, 0},
      {1.0e15f, 0},
      {-1.0e15f, 0},
  };
  for (const auto& c : cases) {
    float in = c.value;
    EXPECT_EQ(PDowngradeFloatMIDI7(in), c.expected) << c.value;
  }
}

TEST(MIDIBytes, DowngradeToFourteenBitsClamps) {
  const struct {
    float value;
    int expected;
  } cases[] = {
      {-1.0f, 0},     {0.0f, 8192},  {1.0f, 16383}, {2.0f, 16383}, {-2.0f, 0},
      {0.5f, 12288},  {-0.5f, 4096},
      {std::numeric_limits<float>::quiet_NaN(), 8192},
      {std::numeric_limits<float>::infinity(), 16383},
  };
  for (const auto& c : cases) {
    float value = c.value;
    EXPECT_EQ(PDowngradeFloatMIDI14(value), c.expected) << c.value;
  }
}

std::string describe(std::uint8_t status, std::uint8_t d1, std::uint8_t d2) {
  char buffer[64];
  const std::uint8_t data[3] = {status, d1, d2};
  PMIDILogMessage(buffer, sizeof buffer, data);
  return buffer;
}

TEST(MIDILogMessage, GoldenTexts) {
  const struct {
    std::uint8_t status, d1, d2;
    const char* text;
  } cases[] = {
      {0x00, 1, 2, "????"},
      {0x7F, 1, 2, "????"},
      {0x80, 60, 64, "Chn:  1 Note Off( 60):  64"},
      {0x8F, 0xBC, 0xFF, "Chn: 16 Note Off( 60): 127"},  // data bytes masked
      {0x90, 60, 100, "Chn:  1 Note On ( 60): 100"},
      {0x90, 60, 0, "Chn:  1 Note Off( 60):   0"},
      {0x91, 60, 0x80, "Chn:  2 Note Off( 60):   0"},  // velocity 0 after masking
      {0xA3, 64, 5, "Chn:  4 Aftertouch( 64):   5"},
      {0xB0, 7, 127, "Chn:  1 CC(  7): 127"},
      {0xC9, 0, 0, "Chn: 10 Program(  0)"},
      {0xD0, 90, 0, "Chn:  1 Channel Pressure:  90"},
      {0xE0, 0, 64, "Chn:  1 Pitch Bend:    0"},  // 8192 - 8191.5 truncates to 0
      {0xE0, 0, 0, "Chn:  1 Pitch Bend: -8191"},
      {0xE5, 127, 127, "Chn:  6 Pitch Bend: 8191"},
      {0xF1, 0x23, 0, "MTC Qtr Frame:  35"},
      {0xF2, 0, 64, "Song Position Ptr:  8192"},
      {0xF3, 5, 0, "Song Select:   5"},
      {0xF6, 0, 0, "Tune Request"},
      {0xF8, 0, 0, "Clock"},
      {0xFA, 0, 0, "Start"},
      {0xFB, 0, 0, "Continue"},
      {0xFC, 0, 0, "Stop"},
      {0xFE, 0, 0, "Active Sense"},
      {0xFF, 0, 0, "Reset"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(describe(c.status, c.d1, c.d2), c.text) << std::hex << int(c.status);
  }
}

TEST(MIDILogMessage, MessagesWithoutTextOnlyEndTheBuffer) {
  for (std::uint8_t status : {0xF0, 0xF4, 0xF5, 0xF7, 0xF9, 0xFD}) {
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    const std::uint8_t data[3] = {status, 1, 2};
    PMIDILogMessage(buffer, sizeof buffer, data);
    EXPECT_EQ(std::string(buffer, 7), "xxxxxxx") << int(status);
    EXPECT_EQ(buffer[7], '\0');
  }
}

TEST(MIDILogMessage, SmallBuffersAreCutAndTerminated) {
  const std::uint8_t noteOn[3] = {0x90, 60, 100};
  const std::uint8_t bend[3] = {0xE0, 0, 64};
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  PMIDILogMessage(buffer, 8, noteOn);
  EXPECT_STREQ(buffer, "Chn:  ");  // limited to size - 1
  PMIDILogMessage(buffer, 8, bend);
  EXPECT_STREQ(buffer, "Chn:  1");  // pitch bend is limited to size

  std::memset(buffer, 'x', sizeof buffer);
  PMIDILogMessage(buffer, 1, noteOn);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(buffer[1], 'x');

  PMIDILogMessage(buffer, 0, noteOn);  // nothing written
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(buffer[1], 'x');
  PMIDILogMessage(nullptr, 8, noteOn);
}

}  // namespace
