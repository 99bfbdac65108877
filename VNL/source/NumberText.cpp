#include "VNL/source/NumberText.h"

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace vantor {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// White-space and control characters; 0 ends the text.
bool isSkipped(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (byte != 0 && byte <= ' ') || byte == 0x7F;
}

double tenth(double value, DecimalSteps steps) {
  return steps == DecimalSteps::Extended
             ? static_cast<double>(static_cast<long double>(value) * 0.1L)
             : value * 0.1;
}

// Far beyond any exponent that keeps a double finite and non-zero; a saturated count ends the
// same way as the exact one would, within a few hundred steps.
constexpr std::uint64_t kExponentCap = 100000;

}  // namespace

DecimalScan scanDecimal(const char* text, DecimalSteps steps) {
  DecimalScan scan;
  scan.end = text;
  if (text == nullptr) return scan;
  const char* p = text;
  while (isSkipped(*p)) ++p;
  double sign = 1.0;
  if (*p == '+' || *p == '-') sign = *p++ == '-' ? -1.0 : 1.0;

  double value = 0.0;
  for (; isDigit(*p); ++p) {
    value = value * 10.0 + (*p - '0');
    scan.digits = true;
  }
  if (*p == '.' || *p == ',') {
    ++p;
    double place = 0.1;
    for (; isDigit(*p); ++p) {
      value += (*p - '0') * place;
      place = tenth(place, steps);
      scan.digits = true;
    }
  }
  if (!scan.digits) return scan;
  scan.end = p;

  if (*p == 'e' || *p == 'E' || *p == 'd' || *p == 'D') {
    const char* q = p + 1;
    bool negative = false;
    if (*q == '+' || *q == '-') negative = *q++ == '-';
    if (isDigit(*q)) {
      std::uint64_t exponent = 0;
      for (; isDigit(*q); ++q) {
        if (exponent < kExponentCap) exponent = exponent * 10 + static_cast<unsigned>(*q - '0');
      }
      // Every step is checked, so a value of 0 stops at once and a huge count ends at the
      // first step beyond the range.
      for (std::uint64_t i = 0; i < exponent; ++i) {
        value = negative ? tenth(value, steps) : value * 10.0;
        if (value > DBL_MAX) {
          value = 4294967295.0;
          scan.rangeError = true;
          break;
        }
        if (value < DBL_MIN) {
          value = 0.0;
          scan.rangeError = true;
          break;
        }
      }
      scan.end = q;
    }
  }
  scan.value = sign * value;
  return scan;
}

}  // namespace vantor

double PStrtod(const char* text, const char** end) {
  const vantor::DecimalScan scan = vantor::scanDecimal(text, vantor::DecimalSteps::Double);
  if (end != nullptr) *end = scan.end;
  if (scan.rangeError) errno = ERANGE;
  return scan.value;
}

bool PStringToDouble(const char* text, double& value) {
  if (text == nullptr || *text == '\0') return false;
  const char* end = text;
  value = PStrtod(text, &end);
  return end != text && *end == '\0';
}

void PDoubleToString(std::string& out, double value, bool dotOnly) {
  char buffer[128];
  // The integer test converts to 64 bits, so it runs only where that conversion is defined.
  constexpr double kTwoTo63 = 9223372036854775808.0;
  const bool convertible = std::isfinite(value) && std::fabs(value) < kTwoTo63;
  const double magnitude = std::fabs(value);
  if (convertible &&
      std::fabs(value - static_cast<double>(static_cast<std::int64_t>(value))) <=
          2.220446049250313e-16) {
    std::snprintf(buffer, sizeof buffer, "%.1f", value);
  } else if (!convertible || magnitude >= 1000000000000.0 || magnitude <= 0.000001) {
    std::snprintf(buffer, sizeof buffer, "%.16e", value);
  } else {
    std::snprintf(buffer, sizeof buffer, "%f", value);
  }
  if (dotOnly) {
    for (char* c = buffer; *c != '\0'; ++c) {
      if (*c == ',') *c = '.';
    }
  }
  out = buffer;
}
