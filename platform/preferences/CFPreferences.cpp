#include "platform/preferences/CFPreferences.h"

#include <mutex>
#include <set>
#include <string>

#include "platform/cf/CFDictionary.h"
#include "platform/preferences/PreferenceStore.h"

const CFStringRef kCFPreferencesCurrentUser = CFSTR("kCFPreferencesCurrentUser");
const CFStringRef kCFPreferencesAnyUser = CFSTR("kCFPreferencesAnyUser");
const CFStringRef kCFPreferencesCurrentHost = CFSTR("kCFPreferencesCurrentHost");
const CFStringRef kCFPreferencesAnyHost = CFSTR("kCFPreferencesAnyHost");

namespace {

using kelo::prefs::Scope;

Scope scopeOf(CFStringRef userName, CFStringRef hostName) {
  Scope scope;
  scope.allUsers = CFEqual(userName, CFSTR("kCFPreferencesAnyUser"));
  scope.currentHost = CFEqual(hostName, CFSTR("kCFPreferencesCurrentHost"));
  return scope;
}

// Files whose last set failed, until their domain is synchronised.
std::mutex g_failedMutex;
std::set<std::string> g_failedFiles;

bool text(CFStringRef string, std::string& out) {
  if (string == nullptr || CFGetTypeID(string) != CFStringGetTypeID()) return false;
  out = kelo::cf::utf8(string);
  return true;
}

}  // namespace

CFPropertyListRef CFPreferencesCopyValue(CFStringRef key, CFStringRef applicationID,
                                         CFStringRef userName, CFStringRef hostName) {
  std::string domain, name;
  if (!text(applicationID, domain) || !text(key, name)) return nullptr;
  return kelo::prefs::copyValue(domain, name, scopeOf(userName, hostName));
}

CFPropertyListRef CFPreferencesCopyAppValue(CFStringRef key, CFStringRef applicationID) {
  std::string domain, name;
  if (!text(applicationID, domain) || !text(key, name)) return nullptr;
  const Scope searchList[] = {{false, true}, {false, false}, {true, true}, {true, false}};
  for (const Scope& scope : searchList)
    if (CFPropertyListRef value = kelo::prefs::copyValue(domain, name, scope)) return value;
  return nullptr;
}

void CFPreferencesSetValue(CFStringRef key, CFPropertyListRef value, CFStringRef applicationID,
                           CFStringRef userName, CFStringRef hostName) {
  std::string domain, name;
  if (!text(applicationID, domain) || !text(key, name)) return;
  if (!kelo::prefs::isSafeDomain(domain)) return;  // refused; Synchronize answers false
  const Scope scope = scopeOf(userName, hostName);
  if (kelo::prefs::setValue(domain, name, value, scope)) return;
  std::lock_guard<std::mutex> hold(g_failedMutex);
  g_failedFiles.insert(kelo::prefs::preferencesFile(domain, scope) + "\n" + domain);
}

Boolean CFPreferencesSynchronize(CFStringRef applicationID, CFStringRef userName,
                                 CFStringRef hostName) {
  std::string domain;
  if (!text(applicationID, domain) || !kelo::prefs::isSafeDomain(domain)) return false;
  const std::string file = kelo::prefs::preferencesFile(domain, scopeOf(userName, hostName));
  std::lock_guard<std::mutex> hold(g_failedMutex);
  return g_failedFiles.erase(file + "\n" + domain) == 0;
}

CFArrayRef CFPreferencesCopyKeyList(CFStringRef applicationID, CFStringRef userName,
                                    CFStringRef hostName) {
  std::string domain;
  if (!text(applicationID, domain)) return nullptr;
  CFDictionaryRef values = kelo::prefs::copyDomain(domain, scopeOf(userName, hostName));
  if (values == nullptr) return nullptr;
  const CFIndex count = CFDictionaryGetCount(values);
  CFMutableArrayRef keys = CFArrayCreateMutable(nullptr, count, &kCFTypeArrayCallBacks);
  CFDictionaryApplyFunction(
      values,
      [](const void* key, const void*, void* array) {
        CFArrayAppendValue(static_cast<CFMutableArrayRef>(array), key);
      },
      keys);
  CFRelease(values);
  return keys;
}
