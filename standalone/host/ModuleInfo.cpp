#include "standalone/host/ModuleInfo.h"

#include <algorithm>
#include <cstring>

namespace vantor {

bool ModuleInfo::operator<(const ModuleInfo& other) const {
  const std::size_t common = std::min(name.size(), other.name.size());
  const int order = std::memcmp(name.data(), other.name.data(), common);
  if (order != 0) return order < 0;
  return name.size() < other.name.size();
}

}  // namespace vantor
