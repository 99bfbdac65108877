#include "Sampler/sdk/PluginText.h"

#include <cerrno>
#include <cfloat>

namespace vantor::KELOPluginSDK {

namespace {

constexpr double kOverflowMagnitude = 4294967295.0;
// Beyond this no non-zero double survives scaling; the count only has to stay above it.
constexpr int kExponentCeiling = 100000;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isBlankOrControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte <= ' ' || byte == 0x7F;
}

}  // namespace

double Strtod(const char* text, const char** end) {
  const char* dummy = nullptr;
  const char*& stop = end != nullptr ? *end : dummy;
  stop = text;
  if (text == nullptr) return 0.0;

  const char* p = text;
  while (*p != '\0' && isBlankOrControl(*p)) ++p;
  double sign = 1.0;
  if (*p == '+' || *p == '-') sign = *p++ == '-' ? -1.0 : 1.0;

  double value = 0.0;
  bool anyDigit = false;
  for (; isDigit(*p); ++p, anyDigit = true) value = value * 10.0 + (*p - '0');
  if (*p == '.' || *p == ',') {
    ++p;
    double factor = 0.1;
    for (; isDigit(*p); ++p, anyDigit = true) {
      value += (*p - '0') * factor;
      factor = static_cast<double>(static_cast<long double>(factor) * 0.1L);
    }
  }
  if (!anyDigit) return 0.0;
  stop = p;

  if (*p == 'E' || *p == 'e' || *p == 'D' || *p == 'd') {
    const char* q = p + 1;
    bool negative = false;
    if (*q == '+' || *q == '-') negative = *q++ == '-';
    if (isDigit(*q)) {
      int exponent = 0;
      for (; isDigit(*q); ++q)
        if (exponent < kExponentCeiling) exponent = exponent * 10 + (*q - '0');
      stop = q;
      if (value == 0.0) return sign * 0.0;
      if (negative) {
        long double scaled = value;
        for (int i = 0; i < exponent; ++i) {
          scaled *= 0.1L;
          if (scaled < DBL_MIN) {
            errno = ERANGE;
            return sign * 0.0;
          }
        }
        value = static_cast<double>(scaled);
      } else {
        for (int i = 0; i < exponent; ++i) {
          value *= 10.0;
          if (value > DBL_MAX) {
            errno = ERANGE;
            return sign * kOverflowMagnitude;
          }
        }
      }
    }
  }
  if (value > DBL_MAX) {  // so many mantissa digits that no exponent was needed to overflow
    errno = ERANGE;
    return sign * kOverflowMagnitude;
  }
  return sign * value;
}

bool StringToDouble(const char* text, double& out) {
  if (text == nullptr) return false;
  const char* end = nullptr;
  out = Strtod(text, &end);
  return end != text && *end == '\0';
}

void SimpleStringTokenizer(const std::string& text, const std::string& separator,
                           std::vector<std::string>& pieces) {
  if (separator.empty()) {
    pieces.push_back(text);
    return;
  }
  std::string::size_type start = 0;
  bool matched = false;
  for (auto at = text.find(separator); at != std::string::npos;
       at = text.find(separator, start)) {
    pieces.push_back(text.substr(start, at - start));
    start = at + separator.size();
    matched = true;
  }
  pieces.push_back(matched ? text.substr(start) : text);
}

}  // namespace vantor::KELOPluginSDK
