#include "Sampler/sdk/StringBed/HarpLowpassTables.h"

#include <cmath>
#include <cstdlib>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/FilterTables.h"

namespace {

struct TableCase {
  const char* name;
  const float* taps;
  std::size_t count;
  double rate, stopEdge;
};

const TableCase kTables[] = {
    {"LOWPASS88_FROM_18000_TO_22050_100DB", LOWPASS88_FROM_18000_TO_22050_100DB, 95, 88200,
     22050},
    {"LOWPASS96_FROM_18000_TO_24000_100DB", LOWPASS96_FROM_18000_TO_24000_100DB, 71, 96000,
     24000},
    {"LOWPASS176_FROM_18000_TO_22050_100DB", LOWPASS176_FROM_18000_TO_22050_100DB, 191, 176400,
     22050},
    {"LOWPASS192_FROM_18000_TO_24000_100DB", LOWPASS192_FROM_18000_TO_24000_100DB, 141, 192000,
     24000},
};

void PrintTo(const TableCase& c, std::ostream* os) { *os << c.name; }

class HarpLowpassTable : public ::testing::TestWithParam<TableCase> {};

TEST_P(HarpLowpassTable, IsSymmetricWithGain0998AndA100DbStopBand) {
  const TableCase& c = GetParam();
  const float* h = c.taps;
  EXPECT_EQ(c.count % 2, 1u);
  EXPECT_NE(h[0], 0.0f) << "the first tap is part of the design";
  for (std::size_t i = 0; i < c.count / 2; ++i) ASSERT_EQ(h[i], h[c.count - 1 - i]) << i;
  double dc = 0;
  for (std::size_t i = 0; i < c.count; ++i) dc += h[i];
  EXPECT_NEAR(dc, 0.998, 2e-6);

  const std::vector<double> magnitude = kelo::test::magnitudeResponse(h, c.count);
  const double binHz = c.rate / (2.0 * (magnitude.size() - 1));
  double stopPeak = 0, passLow = 1e9, passHigh = 0;
  for (std::size_t k = 0; k < magnitude.size(); ++k) {
    const double f = k * binHz;
    if (f >= c.stopEdge) stopPeak = std::max(stopPeak, magnitude[k]);
    if (f <= 18000) {
      passLow = std::min(passLow, magnitude[k]);
      passHigh = std::max(passHigh, magnitude[k]);
    }
  }
  EXPECT_GE(-20 * std::log10(stopPeak), 100.0);
  EXPECT_GT(passLow, 0.998 - 0.005);
  EXPECT_LT(passHigh, 0.998 + 0.005);
}

INSTANTIATE_TEST_SUITE_P(Tables, HarpLowpassTable, ::testing::ValuesIn(kTables),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HarpLowpassDesign, ScriptRegeneratesTheCommittedTables) {
  const std::string python = KELO_PYTHON3;
  if (!kelo::test::pythonHas(python, "numpy, scipy.signal")) {
    GTEST_SKIP() << "python3 with numpy and scipy is not installed (scripts/setup installs "
                    "python3-scipy)";
  }
  kelo::test::expectScriptRegenerates(
      python, KELO_SOURCE_DIR "/scripts/design-harp-filters.py",
      KELO_SOURCE_DIR "/Sampler/sdk/StringBed/HarpLowpassTables.cpp", 4);
}

}  // namespace
