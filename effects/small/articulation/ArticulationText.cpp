#include "effects/small/articulation/ArticulationText.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace sorvelin {

void PSimpleStringTokenizer(const std::string& text, const std::string& separator,
                            std::vector<std::string>& pieces) {
  std::size_t at = text.find(separator);
  if (separator.empty() || at == std::string::npos) return;
  std::size_t start = 0;
  while (at != std::string::npos) {
    pieces.push_back(text.substr(start, at - start));
    start = at + separator.size();
    at = text.find(separator, start);
  }
  if (start < text.size()) pieces.push_back(text.substr(start));
}

std::int32_t leadingInteger(const char* text) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
  while (std::isspace(static_cast<unsigned char>(*text))) ++text;
  const bool negative = *text == '-';
  if (*text == '-' || *text == '+') ++text;
  std::int64_t magnitude = 0;
  for (; std::isdigit(static_cast<unsigned char>(*text)); ++text)
    magnitude = std::min(magnitude * 10 + (*text - '0'), kMax + 1);
  return static_cast<std::int32_t>(negative ? std::max(-magnitude, kMin) : std::min(magnitude, kMax));
}

void readKeyRange(const char* initText, std::int32_t& lowKey, std::int32_t& highKey) {
  forEachInitItem(initText, [&](const std::vector<std::string>& pieces) {
    if (pieces.size() != 2) return;
    if (pieces[0] == "low") lowKey = leadingInteger(pieces[1].c_str());
    if (pieces[0] == "high") highKey = leadingInteger(pieces[1].c_str());
  });
}

}  // namespace sorvelin
