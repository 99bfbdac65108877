#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "VNL/source/NumberText.h"
#include "tests/support/ScopedLocale.h"

namespace {

TEST(PStrtod, ReadsLocaleIndependentNumbers) {
  const struct {
    const char* text;
    double value;
    int used;  // characters read
  } cases[] = {
      {"3.25", 3.25, 4},
      {"3,25", 3.25, 4},
      {"  -2e3", -2000.0, 6},
      {"\t\n\x7f" "42", 42.0, 5},  // control characters are skipped
      {"+.5", 0.5, 3},
      {"7.", 7.0, 2},
      {"1.5d2", 150.0, 5},
      {"1.5D+2", 150.0, 6},
      {"12abc", 12.0, 2},
      {"1e", 1.0, 1},   // an exponent letter without digits is not used
      {"1e+", 1.0, 1},
      {"1E-x", 1.0, 1},
      {"   ", 0.0, 0},  // no digit: 0, end at the start
      {"", 0.0, 0},
      {"-", 0.0, 0},
      {".", 0.0, 0},
      {"abc", 0.0, 0},
  };
  for (const auto& c : cases) {
    const char* end = nullptr;
    errno = 0;
    EXPECT_EQ(PStrtod(c.text, &end), c.value) << '"' << c.text << '"';
    EXPECT_EQ(end - c.text, c.used) << '"' << c.text << '"';
    EXPECT_EQ(errno, 0) << '"' << c.text << '"';
  }
  EXPECT_EQ(PStrtod("5", nullptr), 5.0);
}

TEST(PStrtod, ExponentsBeyondTheDoubleRange) {
  const struct {
    const char* text;
    double value;
  } cases[] = {
      {"1e400", 4294967295.0},
      {"-1e400", -4294967295.0},
      {"1e99999999999999999999999999", 4294967295.0},  // too large to count
      {"1e-400", 0.0},
      {"1e-99999999999999999999999999", 0.0},  // too large to count, negative: 0, not overflow
      {"1e-9223372036854775808", 0.0},
      {"0e2000000000", 0.0},  // stops at once: the value is already 0
      {"0e-5", 0.0},
  };
  for (const auto& c : cases) {
    const char* end = nullptr;
    errno = 0;
    EXPECT_EQ(PStrtod(c.text, &end), c.value) << c.text;
    EXPECT_EQ(errno, ERANGE) << c.text;
    EXPECT_EQ(*end, '\0') << c.text;
  }
}

TEST(PStrtod, ExponentsWithinTheRangeSetNoError) {
  errno = 0;
  EXPECT_NEAR(PStrtod("1e-307", nullptr) / 1e-307, 1.0, 1e-12);
  EXPECT_NEAR(PStrtod("1.7e308", nullptr) / 1.7e308, 1.0, 1e-12);
  EXPECT_EQ(PStrtod("25e0", nullptr), 25.0);
  EXPECT_EQ(errno, 0);
}

TEST(PStringToDouble, TrueOnlyWhenTheWholeTextIsANumber) {
  const struct {
    const char* text;
    bool ok;
    double value;
  } cases[] = {
      {"3,25", true, 3.25}, {"3.25", true, 3.25}, {"12abc", false, 12.0},
      {"12 ", false, 12.0}, {" 8", true, 8.0},    {"1e", false, 1.0},
      {"x", false, 0.0},    {"1e400", true, 4294967295.0},
  };
  for (const auto& c : cases) {
    double value = -99.0;
    EXPECT_EQ(PStringToDouble(c.text, value), c.ok) << c.text;
    EXPECT_EQ(value, c.value) << c.text;  // stored either way
  }
  double untouched = -99.0;
  EXPECT_FALSE(PStringToDouble(nullptr, untouched));
  EXPECT_FALSE(PStringToDouble("", untouched));
  EXPECT_EQ(untouched, -99.0);
  errno = 0;
  double big = 0;
  PStringToDouble("1e400", big);
  EXPECT_EQ(errno, ERANGE);
}

std::string printed(double value) {
  std::string out = "old";
  PDoubleToString(out, value, true);
  return out;
}

std::string withFormat(const char* format, double value) {
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

TEST(PDoubleToString, ChoosesTheFormatByValue) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {3.0, "3.0"},
      {-7.0, "-7.0"},
      {0.0, "0.0"},
      {0.5, "0.500000"},
      {1e12 + 0.5, "1.0000000000005000e+12"},
      {2.5e12, "2500000000000.0"},
      {0.000001, "9.9999999999999995e-07"},
      {123.25, "123.250000"},
      {9007199254740992.0, "9007199254740992.0"},  // 2^53, whole
  };
  for (const auto& c : cases) EXPECT_EQ(printed(c.value), c.text) << c.value;
}

TEST(PDoubleToString, NonFiniteAndHugeValuesNeverConvertToAnInteger) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const double twoTo63 = 9223372036854775808.0;
  for (double value : {nan, -nan, inf, -inf, twoTo63, -twoTo63, 1e300, -1e300,
                       std::numeric_limits<double>::max()}) {
    EXPECT_EQ(printed(value), withFormat("%.16e", value)) << value;
  }
  EXPECT_EQ(printed(twoTo63), "9.2233720368547758e+18");
  EXPECT_EQ(printed(inf), "inf");
  // Just below 2^63 is still a whole number.
  EXPECT_EQ(printed(9223372036854774784.0), "9223372036854774784.0");
}

TEST(PDoubleToString, DotOnlyUndoesADecimalComma) {
  std::string dot, comma;
  {
    kelo::test::ScopedLocale german(LC_NUMERIC, "de_DE", "UTF-8");
    if (!german.active()) GTEST_SKIP() << "no locale sources to build a decimal-comma locale";
    PDoubleToString(dot, 0.5, true);
    PDoubleToString(comma, 0.5, false);
  }
  EXPECT_EQ(dot, "0.500000");
  EXPECT_EQ(comma, "0,500000");
}

TEST(PStrtod, IgnoresTheLocalesDecimalMark) {
  kelo::test::ScopedLocale german(LC_NUMERIC, "de_DE", "UTF-8");
  if (!german.active()) GTEST_SKIP() << "no locale sources to build a decimal-comma locale";
  EXPECT_EQ(PStrtod("2.5", nullptr), 2.5);
  EXPECT_EQ(PStrtod("2,5", nullptr), 2.5);
}

}  // namespace
