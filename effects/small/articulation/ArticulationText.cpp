#include "effects/small/articulation/ArticulationText.h"

#include <cstdlib>

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

void readKeyRange(const char* initText, std::int32_t& lowKey, std::int32_t& highKey) {
  forEachInitItem(initText, [&](const std::vector<std::string>& pieces) {
    if (pieces.size() != 2) return;
    if (pieces[0] == "low") lowKey = std::atoi(pieces[1].c_str());
    if (pieces[0] == "high") highKey = std::atoi(pieces[1].c_str());
  });
}

}  // namespace sorvelin
