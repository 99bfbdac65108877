// kelo-defaults: the preference store from the command line.
//
//   kelo-defaults [--system] [--host] [--path] read   <domain> [<key>]
//   kelo-defaults [--system] [--host] [--path] write  <domain> <key> [--int] <value>
//   kelo-defaults [--system] [--host] delete <domain> <key>
//   kelo-defaults [--system] [--host] list   <domain>
//
// The scope is the current user and any host, unless --system (all users) or --host (this
// host) says otherwise; each command reads or changes exactly that scope's file. With --path the
// key of read and write is a path into dictionaries, its keys separated by "/": a write creates
// the dictionaries it lacks, keeps every other entry of those it finds, and refuses to replace a
// value on the way that is not a dictionary.
// Exit status: 0 done, 1 not found, not readable or not stored, 2 bad usage or input. A domain
// file that is there but is not a readable property-list dictionary (or not a regular file) is
// reported as such by every command.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/cf/CoreFoundation.h"
#include "platform/preferences/PreferenceStore.h"

namespace {

constexpr int kDone = 0;
constexpr int kNotFound = 1;
constexpr int kBadUsage = 2;

const char* const kUsage =
    "usage: kelo-defaults [--system] [--host] [--path] read <domain> [<key>]\n"
    "       kelo-defaults [--system] [--host] [--path] write <domain> <key> [--int] <value>\n"
    "       kelo-defaults [--system] [--host] delete <domain> <key>\n"
    "       kelo-defaults [--system] [--host] list <domain>\n"
    "  --system  the all-users preferences instead of the current user's\n"
    "  --host    the preferences of this host only\n"
    "  --int     store the value as a 32-bit integer instead of text\n"
    "  --path    the key is a path into dictionaries, its keys separated by \"/\"\n"
    "example: kelo-defaults write com.vantor.kelo path /opt/kelo/KeloEngine.bundle\n"
    "         kelo-defaults --host --path write com.vantor.kelo Products/KeloDeck/vendor "
    "Sorvelin\n";

int usage(const char* problem) {
  if (problem != nullptr) std::fprintf(stderr, "kelo-defaults: %s\n", problem);
  std::fputs(kUsage, stderr);
  return kBadUsage;
}

struct Ref {
  explicit Ref(CFTypeRef object) : object(object) {}
  ~Ref() { CFRelease(object); }
  CFTypeRef object;
};

// Texts and numbers as they are; anything else as its XML.
void print(CFTypeRef value) {
  const CFTypeID type = CFGetTypeID(value);
  if (type == CFStringGetTypeID()) {
    const std::string_view text = kelo::cf::utf8(static_cast<CFStringRef>(value));
    std::printf("%.*s\n", static_cast<int>(text.size()), text.data());
  } else if (type == CFNumberGetTypeID() &&
             !CFNumberIsFloatType(static_cast<CFNumberRef>(value))) {
    long long number = 0;
    CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberLongLongType, &number);
    std::printf("%lld\n", number);
  } else if (type == CFNumberGetTypeID()) {
    double number = 0;
    CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberDoubleType, &number);
    std::printf("%.17g\n", number);
  } else if (type == CFBooleanGetTypeID()) {
    std::printf("%d\n", CFBooleanGetValue(static_cast<CFBooleanRef>(value)) ? 1 : 0);
  } else {
    std::string xml;
    if (kelo::cf::propertyListToXML(value, xml)) std::fputs(xml.c_str(), stdout);
  }
}

bool parseInt32(const std::string& text, int& out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value < INT32_MIN || value > INT32_MAX) return false;
  out = static_cast<int>(value);
  return true;
}

bool isDictionary(CFTypeRef value) {
  return value != nullptr && CFGetTypeID(value) == CFDictionaryGetTypeID();
}

// The value at the end of `path` inside `value`, or null.
CFTypeRef lookUp(CFTypeRef value, const std::vector<std::string>& path) {
  for (const std::string& key : path) {
    if (!isDictionary(value)) return nullptr;
    Ref name(kelo::cf::makeString(key));
    if (name.object == nullptr) return nullptr;
    value = CFDictionaryGetValue(static_cast<CFDictionaryRef>(value), name.object);
  }
  return value;
}

// A new dictionary: `container` (null: none yet) with `value` at the end of `path`, every other
// entry kept. Null when a value on the way is not a dictionary, which is left alone.
CFTypeRef copyWithValueAt(CFTypeRef container, const std::vector<std::string>& path,
                          std::size_t at, CFTypeRef value) {
  if (at == path.size()) return CFRetain(value);
  if (container != nullptr && !isDictionary(container)) return nullptr;
  Ref name(kelo::cf::makeString(path[at]));
  if (name.object == nullptr) return nullptr;
  CFMutableDictionaryRef copy =
      container != nullptr
          ? CFDictionaryCreateMutableCopy(nullptr, 0, static_cast<CFDictionaryRef>(container))
          : CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                      &kCFTypeDictionaryValueCallBacks);
  const void* inner =
      container != nullptr
          ? CFDictionaryGetValue(static_cast<CFDictionaryRef>(container), name.object)
          : nullptr;
  CFTypeRef changed = copyWithValueAt(inner, path, at + 1, value);
  if (changed == nullptr) {
    CFRelease(copy);
    return nullptr;
  }
  CFDictionarySetValue(copy, name.object, changed);
  CFRelease(changed);
  return copy;
}

std::vector<std::string> splitPath(const std::string& key) {
  std::vector<std::string> path;
  std::size_t start = 0;
  for (std::size_t slash; (slash = key.find('/', start)) != std::string::npos; start = slash + 1)
    path.push_back(key.substr(start, slash - start));
  path.push_back(key.substr(start));
  return path;
}

std::string scopeName(kelo::prefs::Scope scope) {
  return std::string(scope.allUsers ? "all users" : "current user") + ", " +
         (scope.currentHost ? "this host" : "any host");
}

}  // namespace

int main(int argc, char** argv) {
  kelo::prefs::Scope scope;
  bool asInteger = false;
  bool asPath = false;
  std::vector<std::string> words;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && (arg == "--help" || arg == "-h")) {
      std::fputs(kUsage, stdout);
      return kDone;
    } else if (!optionsEnded && arg == "--system") {
      scope.allUsers = true;
    } else if (!optionsEnded && arg == "--host") {
      scope.currentHost = true;
    } else if (!optionsEnded && arg == "--path") {
      asPath = true;
    } else if (!optionsEnded && arg == "--int") {
      asInteger = true;
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
      return usage(("unknown option " + arg).c_str());
    } else {
      words.push_back(arg);
    }
  }
  if (words.empty()) return usage("no command given");
  const std::string command = words[0];
  // Words each command takes, the command included.
  std::size_t least = 0, most = 0;
  if (command == "read") least = 2, most = 3;
  else if (command == "write") least = most = 4;
  else if (command == "delete") least = most = 3;
  else if (command == "list") least = most = 2;
  else return usage(("unknown command \"" + command + "\"").c_str());
  if (words.size() < least || words.size() > most)
    return usage(("wrong number of arguments for " + command).c_str());
  if (asInteger && command != "write") return usage("--int goes with write only");
  if (asPath && command != "write" && command != "read")
    return usage("--path goes with read and write only");

  const std::string& domain = words[1];
  if (!kelo::prefs::isSafeDomain(domain)) {
    std::fprintf(stderr,
                 "kelo-defaults: refused domain \"%s\": a domain is not empty, is not \".\" and "
                 "holds neither \"/\" nor \"..\"\n",
                 domain.c_str());
    return kBadUsage;
  }
  // Appended piece by piece: GCC 12 warns wrongly about "(" + std::string (its bug 105329).
  std::string where = "(";
  where += scopeName(scope);
  where += ": ";
  where += kelo::prefs::preferencesFile(domain, scope);
  where += ")";

  // A file that is there but cannot be read is said to be so, whatever the command.
  const std::string file = kelo::prefs::preferencesFile(domain, scope);
  auto cannotRead = [&](kelo::prefs::DomainFile found) {
    const char* problem = nullptr;
    if (found == kelo::prefs::DomainFile::NotRegularFile) problem = "is not a regular file";
    if (found == kelo::prefs::DomainFile::Unreadable)
      problem = "is not a readable property-list dictionary";
    if (problem == nullptr) return false;
    std::fprintf(stderr, "kelo-defaults: domain %s cannot be read: %s %s\n", domain.c_str(),
                 file.c_str(), problem);
    return true;
  };
  kelo::prefs::DomainFile found = kelo::prefs::DomainFile::Missing;

  if (command == "read" && words.size() == 2) {
    Ref values(kelo::prefs::copyDomain(domain, scope, &found));
    if (values.object == nullptr) {
      if (cannotRead(found)) return kNotFound;
      std::fprintf(stderr, "kelo-defaults: domain %s does not exist %s\n", domain.c_str(),
                   where.c_str());
      return kNotFound;
    }
    print(values.object);
    return kDone;
  }
  if (command == "read") {
    const std::vector<std::string> path = asPath ? splitPath(words[2]) : std::vector{words[2]};
    Ref top(kelo::prefs::copyValue(domain, path[0], scope, &found));
    const std::vector<std::string> inner(path.begin() + 1, path.end());
    const CFTypeRef value = top.object != nullptr ? lookUp(top.object, inner) : nullptr;
    if (value == nullptr) {
      if (cannotRead(found)) return kNotFound;
      std::fprintf(stderr, "kelo-defaults: no \"%s\" in %s %s\n", words[2].c_str(),
                   domain.c_str(), where.c_str());
      return kNotFound;
    }
    print(value);
    return kDone;
  }
  if (command == "list") {
    Ref values(kelo::prefs::copyDomain(domain, scope, &found));
    if (values.object == nullptr) {
      if (cannotRead(found)) return kNotFound;
      std::fprintf(stderr, "kelo-defaults: domain %s does not exist %s\n", domain.c_str(),
                   where.c_str());
      return kNotFound;
    }
    auto* dict = static_cast<CFDictionaryRef>(values.object);
    std::vector<const void*> keys(static_cast<std::size_t>(CFDictionaryGetCount(dict)));
    CFDictionaryGetKeysAndValues(dict, keys.data(), nullptr);
    for (const void* key : keys) print(key);
    return kDone;
  }

  const std::vector<std::string> keyPath = asPath ? splitPath(words[2]) : std::vector{words[2]};
  const std::string& key = keyPath[0];
  if (command == "delete") {
    Ref existing(kelo::prefs::copyValue(domain, key, scope, &found));
    if (existing.object == nullptr) {
      if (cannotRead(found)) return kNotFound;
      std::fprintf(stderr, "kelo-defaults: no \"%s\" in %s %s\n", key.c_str(), domain.c_str(),
                   where.c_str());
      return kNotFound;
    }
    if (!kelo::prefs::setValue(domain, key, nullptr, scope)) {
      std::fprintf(stderr, "kelo-defaults: not deleted: %s\n", kelo::prefs::lastError().c_str());
      return kNotFound;
    }
    return kDone;
  }

  const std::string& text = words[3];
  const std::vector<std::string> inner(keyPath.begin() + 1, keyPath.end());
  CFTypeRef value = nullptr;
  if (asInteger) {
    int number = 0;
    if (!parseInt32(text, number)) {
      std::fprintf(stderr, "kelo-defaults: \"%s\" is not a 32-bit integer\n", text.c_str());
      return kBadUsage;
    }
    const SInt32 number32 = number;
    value = CFNumberCreate(nullptr, kCFNumberSInt32Type, &number32);
  } else {
    value = kelo::cf::makeString(text);
    if (value == nullptr) {
      std::fprintf(stderr, "kelo-defaults: the value is not UTF-8 text\n");
      return kBadUsage;
    }
  }
  Ref leaf(value);
  Ref top(inner.empty() ? nullptr : kelo::prefs::copyValue(domain, key, scope, &found));
  if (!inner.empty() && top.object == nullptr && cannotRead(found)) return kNotFound;
  Ref stored(inner.empty() ? CFRetain(leaf.object)
                            : copyWithValueAt(top.object, inner, 0, leaf.object));
  if (stored.object == nullptr) {
    std::fprintf(stderr,
                 "kelo-defaults: not stored: a value on the way to \"%s\" in %s is not a "
                 "dictionary %s\n",
                 words[2].c_str(), domain.c_str(), where.c_str());
    return kNotFound;
  }
  if (!kelo::prefs::setValue(domain, key, stored.object, scope)) {
    std::fprintf(stderr, "kelo-defaults: not stored: %s\n", kelo::prefs::lastError().c_str());
    return kNotFound;
  }
  return kDone;
}
