// Locale-free number parsing and string splitting for the engine plug-ins' init texts. Keep
// no state; any thread (Strtod writes the thread's errno on range errors).
#pragma once

#include <string>
#include <vector>

namespace vantor::KELOPluginSDK {

/// Parses a decimal number: leading blanks and control characters skipped, optional sign,
/// "." or "," as decimal separator, an exponent after "E", "e", "D" or "d". Text without
/// digits gives 0.0 with `end` at the start. Out of range: ERANGE, with +-4294967295.0 for
/// too large and 0.0 for results below the smallest normal double; a zero mantissa gives
/// +-0.0 whatever its exponent. `end` (may be null) receives the first unparsed character.
double Strtod(const char* text, const char** end);

/// True when the whole text (after leading blanks) is a number; `out` is then set. A null
/// text answers false and leaves `out` untouched.
bool StringToDouble(const char* text, double& out);

/// Appends the pieces of `text` between occurrences of `separator` (exact bytes), empty ones
/// included, to `pieces`. A text without the separator gives one piece, the whole text (an
/// empty text one empty piece); so does an empty separator.
void SimpleStringTokenizer(const std::string& text, const std::string& separator,
                           std::vector<std::string>& pieces);

}  // namespace vantor::KELOPluginSDK
