#include "VNL/source/Config.h"

#include <memory>
#include <set>

#include "VNL/source/CFWrappers.h"
#include "VNL/source/PlatformWrappers.h"
#include "platform/cf/CoreFoundation.h"
#include "platform/preferences/CFPreferences.h"
#include "platform/preferences/PreferenceStore.h"

namespace vantor {
namespace {

// Texts come back through a buffer of this many bytes, terminating zero included.
constexpr std::size_t kTextBuffer = 2048;

int effectiveLevel(CONFIG_LEVEL level) {
  return (level < 0 || level > 4) ? 0 : static_cast<int>(level);
}

bool isDictionary(CFTypeRef value) {
  return value != nullptr && CFGetTypeID(value) == CFDictionaryGetTypeID();
}

// The UTF-8 text of a string value that fits the return buffer.
bool textOf(CFTypeRef value, std::string& out) {
  if (value == nullptr || CFGetTypeID(value) != CFStringGetTypeID()) return false;
  const std::string_view text = kelo::cf::utf8(static_cast<CFStringRef>(value));
  if (text.size() >= kTextBuffer) return false;
  out.assign(text.data(), text.size());
  return true;
}

// Holds a platform string made from UTF-8 text, or nothing when the text does not convert.
struct Text {
  explicit Text(const std::string& utf8) : holder(utf8, kCFStringEncodingUTF8, false) {}
  CFStringRef ref() const { return holder.getCFStringRef(); }
  explicit operator bool() const { return ref() != nullptr; }
  CFStringWrapper holder;
};

// A domain as the store takes it: converted, and safe as a file name.
struct Domain : Text {
  explicit Domain(const std::string& utf8)
      : Text(utf8), safe(kelo::prefs::isSafeDomain(utf8)) {}
  explicit operator bool() const { return ref() != nullptr && safe; }
  bool safe;
};

CFTypeRef copyUserAnyHost(CFStringRef key, CFStringRef domain) {
  return CFPreferencesCopyValue(key, domain, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
}

// The single-key fetch: the application search list, then current user / any host.
CFTypeRef copySingle(CFStringRef key, CFStringRef domain) {
  if (CFTypeRef value = CFPreferencesCopyAppValue(key, domain)) return value;
  return copyUserAnyHost(key, domain);
}

bool setAndSynchronize(CFStringRef key, CFTypeRef value, CFStringRef domain, CFStringRef user,
                       CFStringRef host) {
  CFPreferencesSetValue(key, value, domain, user, host);
  return CFPreferencesSynchronize(domain, user, host);
}

// Appends the keys of `dictionary` that convert; answers how many were appended.
std::size_t appendKeys(CFTypeRef dictionary, std::vector<std::string>& keys) {
  if (!isDictionary(dictionary)) return 0;
  auto* dict = static_cast<CFDictionaryRef>(dictionary);
  std::vector<const void*> names(static_cast<std::size_t>(CFDictionaryGetCount(dict)));
  CFDictionaryGetKeysAndValues(dict, names.data(), nullptr);
  std::size_t appended = 0;
  for (const void* name : names) {
    std::string text;
    if (textOf(name, text)) {
      keys.push_back(text);
      ++appended;
    }
  }
  return appended;
}

// The dictionary in a preferences file under one of the library roots, or null.
CFTypeRef copyPreferencesFile(VNL_FindFolderDomain root, const std::string& domain) {
  std::string library;
  if (!kelo::prefs::isSafeDomain(domain) || !wrap_FindFolder(VNL_LibraryFolder, root, library, false))
    return nullptr;
  CFTypeRef list = kelo::cf::readPropertyListFile(library + "/Preferences/" + domain + ".plist");
  if (list != nullptr && !isDictionary(list)) {
    CFRelease(list);
    return nullptr;
  }
  return list;
}

// The value reached from `top` (the value of path[0]) through path[1...], each step inside a
// dictionary; null when a step is missing, is not inside a dictionary or does not convert.
CFTypeRef lookUp(CFTypeRef top, const std::vector<std::string>& path) {
  CFTypeRef current = top;
  for (std::size_t i = 1; i < path.size() && current != nullptr; ++i) {
    if (!isDictionary(current)) return nullptr;
    Text key(path[i]);
    if (!key) return nullptr;
    current = CFDictionaryGetValue(static_cast<CFDictionaryRef>(current), key.ref());
  }
  return current;
}

// The keys of a path as platform strings; false when one does not convert.
bool convertKeys(const std::vector<std::string>& path, std::vector<std::unique_ptr<Text>>& keys) {
  for (const auto& key : path) {
    keys.push_back(std::make_unique<Text>(key));
    if (!*keys.back()) return false;
  }
  return true;
}

// Where key-path writes and deletes go: all users at level 1, else the current user; always
// the current host.
struct WriteScope {
  explicit WriteScope(CONFIG_LEVEL level)
      : user(effectiveLevel(level) == CONFIG_LEVEL_SYSTEM ? kCFPreferencesAnyUser
                                                          : kCFPreferencesCurrentUser) {}
  CFStringRef user;
  CFStringRef host = kCFPreferencesCurrentHost;
};

// A new mutable copy of `value` when it is a dictionary, else a new empty dictionary.
CFMutableDictionaryRef mutableDictionary(CFTypeRef value) {
  if (isDictionary(value))
    return CFDictionaryCreateMutableCopy(nullptr, 0, static_cast<CFDictionaryRef>(value));
  return CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                   &kCFTypeDictionaryValueCallBacks);
}

}  // namespace

// --- single keys ---

bool readConfigIntValue(const std::string& domain, const std::string& key, int& value,
                        CONFIG_LEVEL) {
  Domain app(domain);
  Text name(key);
  if (!app || !name) return false;
  CFTypeWrapper found(copySingle(name.ref(), app.ref()));
  CFTypeRef number = found.getCFTypeRef();
  if (number == nullptr || CFGetTypeID(number) != CFNumberGetTypeID()) return false;
  SInt32 result = 0;
  if (!CFNumberGetValue(static_cast<CFNumberRef>(number), kCFNumberSInt32Type, &result))
    return false;
  value = result;
  return true;
}

bool readConfigStringValue(const std::string& domain, const std::string& key, std::string& value,
                           CONFIG_LEVEL level) {
  if (effectiveLevel(level) == CONFIG_LEVEL_USER_FILE) {
    Text name(key);
    if (!name) return false;
    CFTypeWrapper file(copyPreferencesFile(VNL_UserDomain, domain));
    if (file.getCFTypeRef() == nullptr) return false;
    auto* dict = static_cast<CFDictionaryRef>(file.getCFTypeRef());
    const auto count = static_cast<std::size_t>(CFDictionaryGetCount(dict));
    std::vector<const void*> keys(count), values(count);
    CFDictionaryGetKeysAndValues(dict, keys.data(), values.data());
    bool assigned = false;
    for (std::size_t i = 0; i < count; ++i) {
      if (CFGetTypeID(keys[i]) != CFStringGetTypeID()) continue;
      if (CFStringCompare(static_cast<CFStringRef>(keys[i]), name.ref(),
                          kCFCompareCaseInsensitive) != kCFCompareEqualTo)
        continue;
      std::string text;
      if (textOf(values[i], text)) {
        value = text;  // every match is tried: the last one wins
        assigned = true;
      }
    }
    return assigned;
  }
  Domain app(domain);
  Text name(key);
  if (!app || !name) return false;
  CFTypeWrapper found(copySingle(name.ref(), app.ref()));
  std::string text;
  if (!textOf(found.getCFTypeRef(), text)) return false;
  value = text;
  return true;
}

bool writeConfigIntValue(const std::string& domain, const std::string& key, int value,
                         CONFIG_LEVEL) {
  Domain app(domain);
  Text name(key);
  if (!app || !name) return false;
  const SInt32 number32 = value;
  CFTypeWrapper number(CFNumberCreate(nullptr, kCFNumberSInt32Type, &number32));
  if (number.getCFTypeRef() == nullptr) return false;
  return setAndSynchronize(name.ref(), number.getCFTypeRef(), app.ref(), kCFPreferencesCurrentUser,
                           kCFPreferencesAnyHost);
}

bool writeConfigStringValue(const std::string& domain, const std::string& key,
                            const std::string& value, CONFIG_LEVEL) {
  Domain app(domain);
  Text name(key);
  Text text(value);
  if (!app || !name || !text) return false;
  return setAndSynchronize(name.ref(), text.ref(), app.ref(), kCFPreferencesCurrentUser,
                           kCFPreferencesAnyHost);
}

bool deleteConfigValue(const std::string& domain, const std::string& key, CONFIG_LEVEL) {
  Domain app(domain);
  Text name(key);
  if (!app || !name) return false;
  return setAndSynchronize(name.ref(), nullptr, app.ref(), kCFPreferencesCurrentUser,
                           kCFPreferencesAnyHost);
}

bool deleteConfigKey(const std::string&, const std::string&, CONFIG_LEVEL) { return false; }

// --- listing ---

bool listAndMergeSystemUserConfigKeys(const std::string& domain, const std::string& key,
                                      std::vector<std::string>& keys) {
  const CFStringEncoding system = CFStringGetSystemEncoding();
  CFStringWrapper app(domain, system, false);
  CFStringWrapper name(key, system, false);
  if (app.getCFStringRef() == nullptr || name.getCFStringRef() == nullptr) return false;
  std::set<std::string> merged;  // std::string orders by unsigned bytes
  for (CFStringRef user : {kCFPreferencesAnyUser, kCFPreferencesCurrentUser}) {
    CFTypeWrapper value(CFPreferencesCopyValue(name.getCFStringRef(), app.getCFStringRef(), user,
                                               kCFPreferencesCurrentHost));
    std::vector<std::string> found;
    appendKeys(value.getCFTypeRef(), found);
    merged.insert(found.begin(), found.end());
  }
  keys.insert(keys.end(), merged.begin(), merged.end());
  return !merged.empty();
}

bool listConfigKeys(const std::string& domain, const std::string& key,
                    std::vector<std::string>& keys, CONFIG_LEVEL) {
  Domain app(domain);
  Text name(key.empty() ? std::string("Root") : key);
  if (!app || !name) return false;
  CFTypeWrapper value(copySingle(name.ref(), app.ref()));
  return appendKeys(value.getCFTypeRef(), keys) > 0;
}

bool listConfigStringKeys(const std::string&, const std::string&, std::vector<std::string>&,
                          CONFIG_LEVEL) {
  return false;
}

// --- key paths ---

bool readConfigStringValue(const std::string& domain, const std::vector<std::string>& keyPath,
                           std::string& value, CONFIG_LEVEL level) {
  const int effective = effectiveLevel(level);
  if (keyPath.size() == 1 && effective != CONFIG_LEVEL_LOCAL_FILE)
    return readConfigStringValue(domain, keyPath[0], value, level);
  if (keyPath.empty()) return false;
  Domain app(domain);
  Text first(keyPath[0]);
  if (!app || !first) return false;

  CFTypeWrapper top(nullptr);
  if (effective == CONFIG_LEVEL_SYSTEM) {
    top.reset(CFPreferencesCopyAppValue(first.ref(), app.ref()));
  } else if (effective == CONFIG_LEVEL_LOCAL_FILE) {
    CFTypeWrapper file(copyPreferencesFile(VNL_LocalDomain, domain));
    if (file.getCFTypeRef() != nullptr) {
      CFTypeRef entry =
          CFDictionaryGetValue(static_cast<CFDictionaryRef>(file.getCFTypeRef()), first.ref());
      if (entry != nullptr) top.reset(CFRetain(entry));
    }
  }
  if (top.getCFTypeRef() == nullptr) top.reset(copyUserAnyHost(first.ref(), app.ref()));

  if (textOf(lookUp(top.getCFTypeRef(), keyPath), value)) return true;
  if (effective != CONFIG_LEVEL_LOCAL_FILE)
    return readConfigStringValue(domain, keyPath, value, CONFIG_LEVEL_LOCAL_FILE);
  return false;
}

bool writeConfigStringValue(const std::string& domain, const std::vector<std::string>& keyPath,
                            const std::string& value, CONFIG_LEVEL level) {
  if (keyPath.empty() || keyPath.size() > 3) return false;
  Domain app(domain);
  Text text(value);
  if (!app || !text) return false;
  std::vector<std::unique_ptr<Text>> keys;
  if (!convertKeys(keyPath, keys)) return false;
  const WriteScope scope(level);

  CFTypeWrapper stored(nullptr);
  if (keyPath.size() == 1) {
    stored.reset(CFRetain(text.ref()));
  } else {
    CFTypeWrapper top(CFPreferencesCopyValue(keys[0]->ref(), app.ref(), scope.user, scope.host));
    CFMutableDictionaryRef outer = mutableDictionary(top.getCFTypeRef());
    stored.reset(outer);
    if (keyPath.size() == 2) {
      CFDictionarySetValue(outer, keys[1]->ref(), text.ref());
    } else {
      CFTypeWrapper inner(mutableDictionary(CFDictionaryGetValue(outer, keys[1]->ref())));
      CFDictionarySetValue(const_cast<CFMutableDictionaryRef>(
                               static_cast<CFDictionaryRef>(inner.getCFTypeRef())),
                           keys[2]->ref(), text.ref());
      CFDictionarySetValue(outer, keys[1]->ref(), inner.getCFTypeRef());
    }
  }
  return setAndSynchronize(keys[0]->ref(), stored.getCFTypeRef(), app.ref(), scope.user,
                           scope.host);
}

bool listConfigKeys(const std::string& domain, const std::vector<std::string>& keyPath,
                    std::vector<std::string>& keys, CONFIG_LEVEL level) {
  if (keyPath.size() == 1) return listConfigKeys(domain, keyPath[0], keys, level);
  Domain app(domain);
  if (!app) return false;
  if (keyPath.empty()) {
    CFTypeWrapper list(
        CFPreferencesCopyKeyList(app.ref(), kCFPreferencesCurrentUser, kCFPreferencesAnyHost));
    if (list.getCFTypeRef() == nullptr) return false;
    auto* array = static_cast<CFArrayRef>(list.getCFTypeRef());
    for (CFIndex i = 0; i < CFArrayGetCount(array); ++i) {
      std::string text;
      if (textOf(CFArrayGetValueAtIndex(array, i), text)) keys.push_back(text);
    }
    return true;
  }
  Text first(keyPath[0]);
  if (!first) return false;
  CFTypeWrapper top(copyUserAnyHost(first.ref(), app.ref()));
  return appendKeys(lookUp(top.getCFTypeRef(), keyPath), keys) > 0;
}

bool deleteConfigKey(const std::string& domain, const std::vector<std::string>& keyPath,
                     const std::string& key, CONFIG_LEVEL level) {
  if (keyPath.size() > 2) return false;
  Domain app(domain);
  Text name(key);
  if (!app || !name) return false;
  std::vector<std::unique_ptr<Text>> path;
  if (!convertKeys(keyPath, path)) return false;
  const WriteScope scope(level);

  if (path.empty())
    return setAndSynchronize(name.ref(), nullptr, app.ref(), scope.user, scope.host);

  CFTypeWrapper top(CFPreferencesCopyValue(path[0]->ref(), app.ref(), scope.user, scope.host));
  if (!isDictionary(top.getCFTypeRef()))
    return CFPreferencesSynchronize(app.ref(), scope.user, scope.host);
  CFTypeWrapper outer(mutableDictionary(top.getCFTypeRef()));
  auto* outerDict = const_cast<CFMutableDictionaryRef>(
      static_cast<CFDictionaryRef>(outer.getCFTypeRef()));
  if (path.size() == 1) {
    CFDictionaryRemoveValue(outerDict, name.ref());
  } else {
    CFTypeRef innerValue = CFDictionaryGetValue(outerDict, path[1]->ref());
    if (!isDictionary(innerValue))
      return CFPreferencesSynchronize(app.ref(), scope.user, scope.host);
    CFTypeWrapper inner(mutableDictionary(innerValue));
    CFDictionaryRemoveValue(
        const_cast<CFMutableDictionaryRef>(static_cast<CFDictionaryRef>(inner.getCFTypeRef())),
        name.ref());
    CFDictionarySetValue(outerDict, path[1]->ref(), inner.getCFTypeRef());
  }
  return setAndSynchronize(path[0]->ref(), outer.getCFTypeRef(), app.ref(), scope.user,
                           scope.host);
}

}  // namespace vantor
