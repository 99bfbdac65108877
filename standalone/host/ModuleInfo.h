// The key under which the device factories list a creatable module.
#pragma once

#include <string>

namespace vantor {

struct ModuleInfo {
  std::string name;        ///< the module's name, the sort key
  std::string deviceName;  ///< the name of the device behind it

  /// Orders by name alone, byte by byte (as unsigned bytes); on a common prefix the shorter
  /// name comes first.
  bool operator<(const ModuleInfo& other) const;
};

}  // namespace vantor
