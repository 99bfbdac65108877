// Property-list bytes from the fuzzer: a readable list is written back, the text read again,
// and the two lists and the two written texts must agree.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "fuzz/KnownFaults.h"
#include "platform/cf/CoreFoundation.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CFPropertyListRef first = kelo::cf::propertyListFromXML(data, size);
  if (first == nullptr) return 0;
  if (kelo::fuzz::holdsDateOutsideFourDigitYears(first)) {
    CFRelease(first);
    return 0;
  }
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
