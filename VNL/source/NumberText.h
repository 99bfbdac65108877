// Numbers read and printed the same way whatever the locale's decimal separator: the parser
// takes "." or "," as the decimal mark, the printer can force ".".
//
// vantor::scanDecimal is the one decimal scanner of the library; PStrtod and PStringToDouble
// are built on it, and tinyxmlStringToDouble (PlatformWrappers) can be too: it scans with
// DecimalSteps::Extended and ignores rangeError.
#pragma once

#include <string>

namespace vantor {

/// How a scale of 0.1 is applied: in double, or in long double rounded to double per step.
enum class DecimalSteps { Double, Extended };

struct DecimalScan {
  double value = 0.0;          ///< signed result
  const char* end = nullptr;   ///< after the last character used; the start when no digit
  bool digits = false;         ///< a digit was read before any exponent
  bool rangeError = false;     ///< the exponent took the value beyond or below the double range
};

/// Reads [white-space and control characters] [+|-] digits [(.|,) digits]
/// [(e|E|d|D) [+|-] digits] from the C string `text`, never beyond its terminating 0.
/// The exponent is applied one power of ten at a time; a value that exceeds the largest double
/// becomes 4294967295.0, one that falls below the smallest normal double (0 included) becomes
/// 0.0, both with rangeError. An exponent letter without digits is not used. A null text reads
/// as empty. Pure; any thread.
DecimalScan scanDecimal(const char* text, DecimalSteps steps);

}  // namespace vantor

/// The number at the start of `text` (see vantor::scanDecimal); sets errno to ERANGE when the
/// exponent leaves the double range. `end`, when given, receives where reading stopped (the
/// start when no digit was read, which returns 0).
double PStrtod(const char* text, const char** end);

/// False for a null or empty text; otherwise stores the number read by PStrtod (even on
/// failure) and answers whether something was read and the whole text was used.
bool PStringToDouble(const char* text, double& value);

/// Replaces `out` with the value's text: "%.1f" for whole values below 2^63, else "%.16e" for
/// magnitudes of at least 1e12 or at most 1e-6 (and for NaN and infinities), else "%f".
/// With `dotOnly`, a locale's decimal comma becomes ".".
void PDoubleToString(std::string& out, double value, bool dotOnly);
