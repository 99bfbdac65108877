// Faults already known and being mended, each with its own test in the ordinary suites. The
// fuzz targets step around them so that long runs go on looking for new ones; remove each
// step once its fault is mended.
#pragma once

#include "platform/cf/CoreFoundation.h"

namespace kelo::fuzz {

/// Whether `list` holds, at any depth, a date outside the years 1000 to 9999: such a date is
/// written back with other than four year digits, which the reader then refuses.
inline bool holdsDateOutsideFourDigitYears(CFPropertyListRef list) {
  if (list == nullptr) return false;
  const CFTypeID type = CFGetTypeID(list);
  if (type == CFDateGetTypeID()) {
    // 1000-01-01 and 10000-01-01 in seconds since 2001-01-01.
    const double at = CFDateGetAbsoluteTime(static_cast<CFDateRef>(list));
    return !(at >= -30610224000.0 - 978307200.0 && at < 253402300800.0 - 978307200.0);
  }
  if (type == CFArrayGetTypeID()) {
    const auto array = static_cast<CFArrayRef>(list);
    for (CFIndex i = 0; i < CFArrayGetCount(array); ++i) {
      if (holdsDateOutsideFourDigitYears(CFArrayGetValueAtIndex(array, i))) return true;
    }
    return false;
  }
  if (type == CFDictionaryGetTypeID()) {
    bool found = false;
    CFDictionaryApplyFunction(
        static_cast<CFDictionaryRef>(list),
        [](const void*, const void* value, void* context) {
          if (holdsDateOutsideFourDigitYears(value)) *static_cast<bool*>(context) = true;
        },
        &found);
    return found;
  }
  return false;
}

}  // namespace kelo::fuzz
