#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <string>
#include <vector>

#include "Sampler/sdk/PluginText.h"

namespace vantor::KELOPluginSDK {
namespace {

struct StrtodCase {
  const char* text;
  double value;
  int consumed;  // characters before `end`
  bool range;    // ERANGE expected
};

TEST(PluginText, StrtodTable) {
  const StrtodCase cases[] = {
      {"  -1,5e2", -150.0, 8, false},
      {"3.25", 3.25, 4, false},
      {".5", 0.5, 2, false},
      {"5.", 5.0, 2, false},
      {"1e", 1.0, 1, false},
      {"1e+", 1.0, 1, false},
      {"2E3x", 2000.0, 3, false},
      {"4d-1", 0.4, 4, false},
      {"+7D1", 70.0, 4, false},
      {"\t\x01\x7f 12", 12.0, 6, false},
      {"abc", 0.0, 0, false},
      {"", 0.0, 0, false},
      {".", 0.0, 0, false},
      {"-", 0.0, 0, false},
      {"1e400", 4294967295.0, 5, true},
      {"-1e400", -4294967295.0, 6, true},
      {"1e-400", 0.0, 6, true},
      {"2.5e-320", 0.0, 8, true},  // subnormal
      {"1e99999999999999999999", 4294967295.0, 22, true},
      {"1e-99999999999999999999", 0.0, 23, true},
      {"0e-5", 0.0, 4, false},
      {"0e2000000000", 0.0, 12, false},
      {"-0.0e-999999", -0.0, 12, false},
      {"1e308", 1e308, 5, false},
  };
  for (const StrtodCase& c : cases) {
    errno = 0;
    const char* end = nullptr;
    const double value = Strtod(c.text, &end);
    EXPECT_NEAR(value, c.value, std::fabs(c.value) * 1e-15) << '"' << c.text << '"';
    EXPECT_EQ(std::signbit(value), std::signbit(c.value)) << '"' << c.text << '"';
    EXPECT_EQ(end - c.text, c.consumed) << '"' << c.text << '"';
    EXPECT_EQ(errno == ERANGE, c.range) << '"' << c.text << '"';
  }
  EXPECT_EQ(Strtod("42", nullptr), 42.0);
}

TEST(PluginText, StringToDoubleWantsTheWholeText) {
  struct Case {
    const char* text;
    bool accepted;
  };
  for (Case c : {Case{"0.7", true}, Case{" 0.7", true}, Case{"0.7 ", false}, Case{"", false},
                 Case{"a", false}, Case{"1e", false}, Case{"-3,5", true}}) {
    double out = -1.0;
    EXPECT_EQ(StringToDouble(c.text, out), c.accepted) << '"' << c.text << '"';
  }
  double untouched = 9.0;
  EXPECT_FALSE(StringToDouble(nullptr, untouched));
  EXPECT_EQ(untouched, 9.0);
}

TEST(PluginText, TokenizerTable) {
  using Pieces = std::vector<std::string>;
  struct Case {
    std::string text, separator;
    Pieces pieces;
  };
  const Case cases[] = {
      {"a;b;c", ";", {"a", "b", "c"}},
      {"a;;b", ";", {"a", "", "b"}},
      {";a", ";", {"", "a"}},
      {"a;", ";", {"a", ""}},
      {"abc", ";", {"abc"}},
      {"", ";", {""}},
      {"a::b::", "::", {"a", "b", ""}},
      {"a", "::", {"a"}},
      {"a;b", "", {"a;b"}},
  };
  for (const Case& c : cases) {
    Pieces fresh;
    SimpleStringTokenizer(c.text, c.separator, fresh);
    EXPECT_EQ(fresh, c.pieces) << '"' << c.text << '"';
    // Appends: what the vector held before stays, and the text is never lost.
    Pieces held{"kept"};
    SimpleStringTokenizer(c.text, c.separator, held);
    Pieces expected{"kept"};
    expected.insert(expected.end(), c.pieces.begin(), c.pieces.end());
    EXPECT_EQ(held, expected) << '"' << c.text << '"';
  }
}

}  // namespace
}  // namespace vantor::KELOPluginSDK
