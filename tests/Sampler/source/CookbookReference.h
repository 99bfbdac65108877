// An independent reference for the equaliser tests: the Audio EQ Cookbook's filters computed
// in double from their published formulas, as transfer functions and as direct form I filters.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

namespace kelo::test::cookbook {

enum Type {
  LowPass,
  HighPass,
  BandPassSkirt,
  BandPassPeak,
  Notch,
  AllPass,
  Peaking,
  LowShelf,
  HighShelf
};
enum QType { Inverse, Damping, Bandwidth, Slope };

/// b0, b1, b2 over a0, a1, a2 (not normalised).
struct Filter {
  double b[3], a[3];

  double magnitude(double cyclesPerSample) const {
    const std::complex<double> z1 = std::polar(1.0, -2.0 * M_PI * cyclesPerSample);
    const std::complex<double> z2 = z1 * z1;
    return std::abs((b[0] + b[1] * z1 + b[2] * z2) / (a[0] + a[1] * z1 + a[2] * z2));
  }

  /// Direct form I in double over the whole signal.
  std::vector<double> run(const std::vector<double>& x) const {
    std::vector<double> y(x.size());
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (std::size_t n = 0; n < x.size(); ++n) {
      y[n] = (b[0] * x[n] + b[1] * x1 + b[2] * x2 - a[1] * y1 - a[2] * y2) / a[0];
      x2 = x1, x1 = x[n], y2 = y1, y1 = y[n];
    }
    return y;
  }
};

/// `f` in cycles per sample. The damping rules: alpha = sin(w0) x damping, with damping
/// 2/q, q, sinh(ln 2 / 2 x octaves x w0 / sin w0), or the cookbook's shelf-slope form.
inline Filter design(Type type, double f, double gainDb, QType qType, double q) {
  const double A = std::pow(10.0, gainDb / 40.0);
  const double w0 = 2.0 * M_PI * f, sn = std::sin(w0), cs = std::cos(w0);
  double damping = 0;
  switch (qType) {
    case Inverse:
      damping = 2.0 / q;
      break;
    case Damping:
      damping = q;
      break;
    case Bandwidth:
      damping = std::sinh(std::log(2.0) / 2.0 * q * w0 / sn);
      break;
    case Slope:
      damping = 0.5 * std::sqrt((A + 1.0 / A) * (1.0 / q - 1.0) + 2.0);
      break;
  }
  const double alpha = sn * damping, root = 2.0 * std::sqrt(A) * alpha;
  switch (type) {
    case LowPass:
      return {{(1 - cs) / 2, 1 - cs, (1 - cs) / 2}, {1 + alpha, -2 * cs, 1 - alpha}};
    case HighPass:
      return {{(1 + cs) / 2, -(1 + cs), (1 + cs) / 2}, {1 + alpha, -2 * cs, 1 - alpha}};
    case BandPassSkirt:
      return {{sn / 2, 0, -sn / 2}, {1 + alpha, -2 * cs, 1 - alpha}};
    case BandPassPeak:
      return {{alpha, 0, -alpha}, {1 + alpha, -2 * cs, 1 - alpha}};
    case Notch:
      return {{1, -2 * cs, 1}, {1 + alpha, -2 * cs, 1 - alpha}};
    case AllPass:
      return {{1 - alpha, -2 * cs, 1 + alpha}, {1 + alpha, -2 * cs, 1 - alpha}};
    case Peaking:
      return {{1 + alpha * A, -2 * cs, 1 - alpha * A}, {1 + alpha / A, -2 * cs, 1 - alpha / A}};
    case LowShelf:
      return {{A * ((A + 1) - (A - 1) * cs + root), 2 * A * ((A - 1) - (A + 1) * cs),
               A * ((A + 1) - (A - 1) * cs - root)},
              {(A + 1) + (A - 1) * cs + root, -2 * ((A - 1) + (A + 1) * cs),
               (A + 1) + (A - 1) * cs - root}};
    case HighShelf:
      return {{A * ((A + 1) + (A - 1) * cs + root), -2 * A * ((A - 1) + (A + 1) * cs),
               A * ((A + 1) + (A - 1) * cs - root)},
              {(A + 1) - (A - 1) * cs + root, 2 * ((A - 1) - (A + 1) * cs),
               (A + 1) - (A - 1) * cs - root}};
  }
  return {{1, 0, 0}, {1, 0, 0}};
}

/// The equaliser's three bands at `rate` for gains in dB and the peak's centre in Hz.
inline std::vector<Filter> equaliser(double rate, double lowDb, double midDb, double highDb,
                                     double centreHz) {
  auto ratio = [rate](double hz) { return std::clamp(hz / rate, 0.01, 0.39); };
  return {design(LowShelf, ratio(500), lowDb, Slope, 1.0),
          design(Peaking, ratio(centreHz), midDb, Bandwidth, 2.0),
          design(HighShelf, ratio(2500), highDb, Slope, 1.0)};
}

}  // namespace kelo::test::cookbook
