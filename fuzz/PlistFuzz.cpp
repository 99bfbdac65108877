// Property-list bytes from the fuzzer: a readable list is written back, the text read again,
// and the two lists and the two written texts must agree. Dates: the reader hands out only
// instants of the years 0000 to 9999, which the writer then never refuses; one second either
// side of each date read, the writer refuses exactly what lies outside those years (handing
// out nothing) and writes the rest so that it reads back as the same instant.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "platform/cf/CoreFoundation.h"

namespace {

// 0000-01-01 and 10000-01-01 in seconds since 2001-01-01 (proleptic Gregorian).
constexpr double kFirstWritable = -62167219200.0 - 978307200.0;
constexpr double kPastLastWritable = 253402300800.0 - 978307200.0;

bool writable(double at) { return at >= kFirstWritable && at < kPastLastWritable; }

void checkNeighbour(double at) {
  CFDateRef date = CFDateCreate(nullptr, at);
  std::string written = "untouched";
  const bool wrote = kelo::cf::propertyListToXML(date, written);
  FUZZ_CHECK(wrote == writable(at));
  if (wrote) {
    CFPropertyListRef read = kelo::cf::propertyListFromXML(written.data(), written.size());
    FUZZ_CHECK(read != nullptr && CFEqual(read, date));
    CFRelease(read);
  } else {
    FUZZ_CHECK(written == "untouched");
  }
  CFRelease(date);
}

/// Checks every date of `list`, at any depth.
void checkDates(CFPropertyListRef list) {
  const CFTypeID type = CFGetTypeID(list);
  if (type == CFDateGetTypeID()) {
    const double at = CFDateGetAbsoluteTime(static_cast<CFDateRef>(list));
    FUZZ_CHECK(writable(at));
    checkNeighbour(at - 1);
    checkNeighbour(at + 1);
  } else if (type == CFArrayGetTypeID()) {
    const auto array = static_cast<CFArrayRef>(list);
    for (CFIndex i = 0; i < CFArrayGetCount(array); ++i) checkDates(CFArrayGetValueAtIndex(array, i));
  } else if (type == CFDictionaryGetTypeID()) {
    CFDictionaryApplyFunction(
        static_cast<CFDictionaryRef>(list),
        [](const void*, const void* value, void*) { checkDates(value); }, nullptr);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CFPropertyListRef first = kelo::cf::propertyListFromXML(data, size);
  if (first == nullptr) return 0;
  checkDates(first);
  std::string written;
  FUZZ_CHECK(kelo::cf::propertyListToXML(first, written));
  CFPropertyListRef second = kelo::cf::propertyListFromXML(written.data(), written.size());
  FUZZ_CHECK(second != nullptr);
  FUZZ_CHECK(CFEqual(first, second));
  std::string again;
  FUZZ_CHECK(kelo::cf::propertyListToXML(second, again));
  FUZZ_CHECK(again == written);
  CFRelease(second);
  CFRelease(first);
  return 0;
}
