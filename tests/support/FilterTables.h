// Checks shared by the tests of generated FIR tables: the magnitude response by a long DFT
// (FFTW), the parse of a generated C++ source, and the rerun of a design script. Header only: a
// test program that includes it links FFTW and kelo_test_support itself.
#pragma once

#include <fftw3.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace kelo::test {

/// |H| on 2^17 + 1 evenly spaced frequencies from 0 to half the rate.
inline std::vector<double> magnitudeResponse(const float* taps, std::size_t count) {
  const int n = 1 << 18;
  std::vector<double> in(n, 0.0);
  std::copy(taps, taps + count, in.begin());
  std::vector<fftw_complex> out(n / 2 + 1);
  fftw_plan plan = fftw_plan_dft_r2c_1d(n, in.data(), out.data(), FFTW_ESTIMATE);
  fftw_execute(plan);
  fftw_destroy_plan(plan);
  std::vector<double> magnitude(out.size());
  for (std::size_t k = 0; k < out.size(); ++k) magnitude[k] = std::hypot(out[k][0], out[k][1]);
  return magnitude;
}

/// name -> values of every `const float NAME[n] = {...};` in a generated source.
inline std::map<std::string, std::vector<double>> parseFloatTables(const std::string& source) {
  std::map<std::string, std::vector<double>> tables;
  const std::string opening = "const float ";
  for (std::size_t at = source.find(opening); at != std::string::npos;
       at = source.find(opening, at + 1)) {
    const std::size_t nameStart = at + opening.size();
    const std::size_t bracket = source.find('[', nameStart);
    const std::size_t open = source.find('{', bracket);
    const std::size_t close = source.find('}', open);
    if (bracket == std::string::npos || open == std::string::npos || close == std::string::npos)
      break;
    std::vector<double>& values = tables[source.substr(nameStart, bracket - nameStart)];
    const std::string body = source.substr(open + 1, close - open - 1);
    const char* p = body.c_str();
    char* next = nullptr;
    for (double v = std::strtod(p, &next); next != p; v = std::strtod(p, &next)) {
      values.push_back(v);
      p = next;
      while (*p == 'f' || *p == ',' || std::isspace(static_cast<unsigned char>(*p))) ++p;
    }
  }
  return tables;
}

/// True when `python` names an interpreter that imports every module of `modules` (a
/// comma-separated import list such as "numpy, scipy.signal").
inline bool pythonHas(const std::string& python, const std::string& modules) {
  return !python.empty() &&
         std::system((python + " -c 'import " + modules + "' 2>/dev/null").c_str()) == 0;
}

/// Runs the design script `script` with `python` into a temporary file and expects the
/// `tableCount` tables of the committed source `committed` back, within float rounding.
inline void expectScriptRegenerates(const std::string& python, const std::string& script,
                                    const std::string& committed, std::size_t tableCount) {
  TempDir dir;
  const std::string output = dir.file("tables.cpp");
  const std::string command = python + " " + script + " " + output + " >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const auto expected = parseFloatTables(readFile(committed));
  const auto regenerated = parseFloatTables(readFile(output));
  ASSERT_EQ(expected.size(), tableCount);
  ASSERT_EQ(regenerated.size(), expected.size());
  for (const auto& [name, values] : expected) {
    ASSERT_TRUE(regenerated.count(name)) << name;
    const std::vector<double>& again = regenerated.at(name);
    ASSERT_EQ(again.size(), values.size()) << name;
    for (std::size_t i = 0; i < values.size(); ++i) {
      EXPECT_NEAR(again[i], values[i], 1.2e-7 * std::fabs(values[i]) + 1e-12)
          << name << " tap " << i;
    }
  }
}

}  // namespace kelo::test
