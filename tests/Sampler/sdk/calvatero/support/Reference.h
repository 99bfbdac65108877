// Reference arithmetic for the library's tests: naive transforms and convolutions in double,
// error measures relative to the signal, and regex quoting for death-test messages.
#pragma once

#include <cmath>
#include <complex>
#include <cstddef>
#include <random>
#include <string>
#include <vector>

namespace calvatero::testing {

using Complex = std::complex<double>;

/// sum x[n] e^(sign 2 pi i nk/N), in double.
inline std::vector<Complex> naiveDft(const std::vector<Complex>& x, int sign) {
  const std::size_t n = x.size();
  std::vector<Complex> roots(n);
  for (std::size_t m = 0; m < n; ++m) roots[m] = std::polar(1.0, sign * 2 * M_PI * m / n);
  std::vector<Complex> out(n);
  for (std::size_t k = 0; k < n; ++k) {
    Complex sum = 0;
    for (std::size_t j = 0, index = 0; j < n; ++j, index = (index + k) % n) sum += x[j] * roots[index];
    out[k] = sum;
  }
  return out;
}

/// Relative L2 distance of `actual` from `expected`.
template <typename A, typename B>
double relativeError(const A& actual, const B& expected) {
  double err = 0, ref = 0;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    err += std::norm(Complex(expected[i]) - Complex(actual[i]));
    ref += std::norm(Complex(expected[i]));
  }
  return std::sqrt(err / (ref > 0 ? ref : 1));
}

inline std::vector<float> randomFloats(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> dist(-1, 1);
  std::vector<float> v(n);
  for (float& x : v) x = dist(rng);
  return v;
}

/// `text` as a POSIX regular expression that matches it literally.
inline std::string literally(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) out += '\\';
    out += c;
  }
  return out;
}

}  // namespace calvatero::testing
