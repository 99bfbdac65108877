#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Sampler/sdk/calvatero/resample/ResamplerFilterTables.h"
#include "tests/support/FilterTables.h"

namespace {

using namespace calvatero::resample;

struct TableCase {
  const char* name;
  const float* table;
  std::size_t taps;
  double rate, passEdge, stopEdge;
  double attenuationDb;  // what each table reaches (all meet the figure in their names)
  bool minimumPhase;
};

const TableCase kTables[] = {
    {"LOWPASS88_18000_TO_22050_106DB", LOWPASS88_18000_TO_22050_106DB, 95, 88200, 18000, 22050,
     106, false},
    {"LOWPASS96_19000_TO_24000_125DB", LOWPASS96_19000_TO_24000_125DB, 95, 96000, 19000, 24000,
     125, false},
    {"LOWPASS176_18000_TO_22050_106DB", LOWPASS176_18000_TO_22050_106DB, 191, 176400, 18000,
     22050, 106, false},
    {"LOWPASS192_19000_TO_24000_123DB", LOWPASS192_19000_TO_24000_123DB, 191, 192000, 19000,
     24000, 123, false},
    {"LOWPASS88_18000_TO_22050_102DB_MINPHASE", LOWPASS88_18000_TO_22050_102DB_MINPHASE, 95,
     88200, 18000, 22050, 102, true},
    {"LOWPASS96_19000_TO_24000_117DB_MINPHASE", LOWPASS96_19000_TO_24000_117DB_MINPHASE, 95,
     96000, 19000, 24000, 117, true},
    {"LOWPASS176_18000_TO_22050_115DB_MINPHASE", LOWPASS176_18000_TO_22050_115DB_MINPHASE, 223,
     176400, 18000, 22050, 115, true},
    {"LOWPASS192_19000_TO_24000_126DB_MINPHASE", LOWPASS192_19000_TO_24000_126DB_MINPHASE, 223,
     192000, 19000, 24000, 126, true},
};

void PrintTo(const TableCase& c, std::ostream* os) { *os << c.name; }

class LowpassTableTest : public ::testing::TestWithParam<TableCase> {};

TEST_P(LowpassTableTest, MeetsItsDesign) {
  const TableCase& c = GetParam();
  const float* h = c.table;
  EXPECT_EQ(lowpassTableFor(static_cast<std::size_t>(c.rate), c.minimumPhase).taps, h);
  EXPECT_EQ(lowpassTableFor(static_cast<std::size_t>(c.rate), c.minimumPhase).tapCount, c.taps);
  EXPECT_EQ(h[c.taps], 0.0f) << "a table ends with one 0.0";
  EXPECT_NE(h[c.taps - 1], 0.0f) << "the last tap is part of the design";

  const std::size_t peak = std::max_element(h, h + c.taps, [](float a, float b) {
                             return std::fabs(a) < std::fabs(b);
                           }) - h;
  if (c.minimumPhase) {
    EXPECT_LT(peak, c.taps / 8) << "a minimum-phase table peaks near its start";
  } else {
    EXPECT_EQ(peak, (c.taps - 1) / 2);
    for (std::size_t i = 0; i < c.taps / 2; ++i) {
      ASSERT_EQ(h[i], h[c.taps - 1 - i]) << "tap " << i;
    }
  }

  double dc = 0;
  for (std::size_t i = 0; i < c.taps; ++i) dc += h[i];
  EXPECT_GE(dc, 0.9958);
  EXPECT_LE(dc, 1.0043);

  const std::vector<double> magnitude = kelo::test::magnitudeResponse(h, c.taps);
  const double binHz = c.rate / (2.0 * (magnitude.size() - 1));
  double ripple = 0, stopPeak = 0;
  for (std::size_t k = 0; k < magnitude.size(); ++k) {
    const double f = k * binHz;
    if (f <= c.passEdge) ripple = std::max(ripple, std::fabs(magnitude[k] - 1.0));
    if (f >= c.stopEdge) stopPeak = std::max(stopPeak, magnitude[k]);
  }
  EXPECT_LE(ripple, 0.0045);
  EXPECT_GE(-20 * std::log10(stopPeak), c.attenuationDb);
}

INSTANTIATE_TEST_SUITE_P(Tables, LowpassTableTest, ::testing::ValuesIn(kTables),
                         [](const auto& info) { return std::string(info.param.name); });

// The linear-phase tables are the reference designs: their first three taps and their centre
// tap, as the reference gives them (the minimum-phase tables are designs of our own).
TEST(LowpassTableReference, LinearPhaseTablesHoldTheReferenceValues) {
  const struct {
    const float* table;
    float first[3];
    std::size_t centre;
    float centreValue;
  } cases[] = {
      {LOWPASS88_18000_TO_22050_106DB, {-3.31976007e-05f, -5.85052949e-05f, 0.000113584676f}, 47,
       0.441447198f},
      {LOWPASS96_19000_TO_24000_125DB, {1.33866615e-05f, 5.40831643e-05f, 6.67360873e-05f}, 47,
       0.430641383f},
      {LOWPASS176_18000_TO_22050_106DB, {-1.01756668e-05f, -2.43256418e-05f, -4.16751645e-05f}, 95,
       0.220780551f},
      {LOWPASS192_19000_TO_24000_123DB, {2.79755409e-06f, 1.04422479e-05f, 2.62418362e-05f}, 95,
       0.215938926f},
  };
  for (const auto& c : cases) {
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(c.table[i], c.first[i], 1e-9) << c.centreValue << " tap " << i;
    EXPECT_NEAR(c.table[c.centre], c.centreValue, 1e-8);
  }
  EXPECT_NEAR(LOWPASS88_18000_TO_22050_106DB[46], 0.312543154f, 1e-8);
  EXPECT_NEAR(LOWPASS88_18000_TO_22050_106DB[48], 0.312543154f, 1e-8);
}

TEST(LowpassTableLookup, OtherRatesHaveNoTable) {
  for (const std::size_t rate : {0u, 44100u, 48000u, 88000u, 192001u, 384000u}) {
    for (const bool minimumPhase : {false, true}) {
      EXPECT_EQ(lowpassTableFor(rate, minimumPhase).taps, nullptr) << rate;
      EXPECT_EQ(lowpassTableFor(rate, minimumPhase).tapCount, 0u) << rate;
    }
  }
}

// The committed tables are what the design script makes of its designs today.
TEST(LowpassTableDesign, ScriptRegeneratesTheCommittedTables) {
  const std::string python = KELO_PYTHON3;
  if (!kelo::test::pythonHas(python, "numpy, scipy.signal, mpmath")) {
    GTEST_SKIP() << "python3 with numpy, scipy and mpmath is not installed (scripts/setup "
                    "installs python3-scipy and python3-mpmath)";
  }
  kelo::test::expectScriptRegenerates(
      python, KELO_SOURCE_DIR "/scripts/design-resampler-filters.py",
      KELO_SOURCE_DIR "/Sampler/sdk/calvatero/resample/ResamplerFilterTables.cpp", 8);
}

}  // namespace
