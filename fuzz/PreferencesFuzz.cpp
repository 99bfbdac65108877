// A domain file from the fuzzer under the preference store: reads answer or refuse, a write to
// a readable dictionary keeps every value and adds the new one, and a file the store cannot
// read is refused for writing and left byte for byte as it was.
//
// Input: one byte choosing the scope, then the file's bytes.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "platform/cf/CoreFoundation.h"
#include "platform/preferences/PreferenceStore.h"
#include "tests/support/PreferenceSandbox.h"
#include "tests/support/TempDir.h"

namespace {

constexpr const char* kDomain = "com.vantor.fuzz";

struct KeyCheck {
  CFDictionaryRef after;
  bool same = true;
};

void compareKey(const void* key, const void* value, void* context) {
  auto* state = static_cast<KeyCheck*>(context);
  if (CFEqual(key, CFSTR("fuzzKey"))) return;
  const void* kept = CFDictionaryGetValue(state->after, key);
  if (kept == nullptr || !CFEqual(kept, value)) state->same = false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static kelo::test::PreferenceSandbox sandbox;
  sandbox.SetUp();
  kelo::test::requirePreferenceSandbox();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  kelo::test::PreferenceSandbox::clear();
  const kelo::prefs::Scope scope{(data[0] & 1) != 0, (data[0] & 2) != 0};
  const std::string path = kelo::prefs::preferencesFile(kDomain, scope);
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  FUZZ_CHECK(kelo::test::writeFile(path, bytes));

  CFDictionaryRef before = kelo::prefs::copyDomain(kDomain, scope);
  CFPropertyListRef path0 = kelo::prefs::copyValue(kDomain, "path", scope);
  if (path0 != nullptr) {
    FUZZ_CHECK(before != nullptr && CFEqual(path0, CFDictionaryGetValue(before, CFSTR("path"))));
    CFRelease(path0);
  }
  CFStringRef value = CFSTR("written by the fuzzer");
  const bool stored = kelo::prefs::setValue(kDomain, "fuzzKey", value, scope);
  if (before == nullptr) {
    // Unreadable or not a dictionary: refused, the file untouched.
    FUZZ_CHECK(!stored);
    FUZZ_CHECK(kelo::test::readFile(path) == bytes);
    return 0;
  }
  FUZZ_CHECK(stored);
  CFDictionaryRef after = kelo::prefs::copyDomain(kDomain, scope);
  FUZZ_CHECK(after != nullptr);
  FUZZ_CHECK(CFEqual(CFDictionaryGetValue(after, CFSTR("fuzzKey")), value));
  KeyCheck keys{after};
  CFDictionaryApplyFunction(before, compareKey, &keys);
  const bool added = !CFDictionaryContainsKey(before, CFSTR("fuzzKey"));
  FUZZ_CHECK(keys.same);
  FUZZ_CHECK(CFDictionaryGetCount(after) == CFDictionaryGetCount(before) + (added ? 1 : 0));
  CFRelease(after);
  CFRelease(before);
  return 0;
}
