// Bundles of the stand-in: the folder layout, Info.plist, dlopen and resources.
#include "platform/cf/CFBundle.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <string>

#include "platform/cf/CFObject.h"
#include "platform/cf/CFPropertyList.h"

using kelo::cf::detail::as;
using kelo::cf::detail::asMutable;
using kelo::cf::detail::Retained;

const CFStringRef kCFBundleInfoDictionaryVersionKey = CFSTR("CFBundleInfoDictionaryVersion");
const CFStringRef kCFBundleExecutableKey = CFSTR("CFBundleExecutable");
const CFStringRef kCFBundleIdentifierKey = CFSTR("CFBundleIdentifier");
const CFStringRef kCFBundleVersionKey = CFSTR("CFBundleVersion");
const CFStringRef kCFBundleNameKey = CFSTR("CFBundleName");

namespace {

// The loader locks itself, but sanitizers cannot see its lock; one lock of ours around every
// loader call makes the ordering visible to them and costs nothing where bundles are loaded.
std::mutex& loaderMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

struct KeloCFBundle final : kelo::cf::detail::Object {
  static constexpr CFTypeID kTypeID = kelo::cf::detail::kBundleTypeID;
  KeloCFBundle(bool immortal) : Object(kTypeID, immortal) {}
  ~KeloCFBundle() override {
    if (handle) {
      std::lock_guard<std::mutex> lock(loaderMutex());
      dlclose(handle);
    }
  }

  std::string path;            // the folder, or the shared object itself
  std::string executablePath;  // empty when the layout names none
  std::string resourcesPath;   // empty for a bare shared object
  Retained info;               // a dictionary, never null
  void* handle = nullptr;
  bool isMain = false;
  std::string loadError;
};

namespace {

constexpr const char* kExecutableFolder = "/Contents/x86_64-linux/";

bool isDirectory(const std::string& path) {
  struct stat s {};
  return ::stat(path.c_str(), &s) == 0 && S_ISDIR(s.st_mode);
}

bool exists(const std::string& path, bool* directory = nullptr) {
  struct stat s {};
  if (::stat(path.c_str(), &s) != 0) return false;
  if (directory) *directory = S_ISDIR(s.st_mode);
  return true;
}

bool endsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

Retained emptyDictionary() {
  return Retained::adopt(CFDictionaryCreateMutable(nullptr, 0, nullptr, nullptr));
}

// Info.plist when present: false when it exists but is not a readable dictionary.
bool readInfo(const std::string& file, Retained& info) {
  kelo::cf::PlistFileStatus status;
  Retained list = Retained::adopt(kelo::cf::readPropertyListFile(file, &status));
  if (status == kelo::cf::PlistFileStatus::Missing) {
    info = emptyDictionary();
    return true;
  }
  if (!list || CFGetTypeID(list.get()) != CFDictionaryGetTypeID()) return false;
  info = std::move(list);
  return true;
}

// True when `symbol` lies in the object `handle` names, not in one of its dependencies.
bool definedIn(void* handle, void* symbol) {
  struct link_map* own = nullptr;
  if (dlinfo(handle, RTLD_DI_LINKMAP, &own) != 0 || !own) return false;
  Dl_info where{};
  struct link_map* found = nullptr;
  if (!dladdr1(symbol, &where, reinterpret_cast<void**>(&found), RTLD_DL_LINKMAP)) return false;
  return found == own;
}

}  // namespace

CFTypeID CFBundleGetTypeID() { return KeloCFBundle::kTypeID; }

CFBundleRef CFBundleCreate(CFAllocatorRef, CFURLRef url) {
  std::string path(kelo::cf::filePath(url));
  bool folder = false;
  if (path.empty() || !exists(path, &folder)) return nullptr;
  auto* bundle = new KeloCFBundle(false);
  Retained owner = Retained::adopt(bundle);
  bundle->path = path;
  if (!folder) {
    bundle->executablePath = path;
    bundle->info = emptyDictionary();
    return static_cast<CFBundleRef>(const_cast<void*>(owner.release()));
  }
  if (!isDirectory(path + "/Contents")) return nullptr;
  if (!readInfo(path + "/Contents/Info.plist", bundle->info)) return nullptr;
  bundle->resourcesPath = path + "/Contents/Resources";

  // The executable is named by Info.plist, else by the folder's name without its extension.
  std::string name;
  CFTypeRef named = CFDictionaryGetValue(static_cast<CFDictionaryRef>(bundle->info.get()),
                                         kCFBundleExecutableKey);
  if (CFGetTypeID(named) == CFStringGetTypeID()) {
    name = kelo::cf::utf8(static_cast<CFStringRef>(named));
  } else {
    const std::size_t slash = path.rfind('/');
    name = path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
  }
  if (!name.empty() && name.find('/') == std::string::npos) {
    bundle->executablePath = path + kExecutableFolder + name;
    if (!endsWith(name, ".so")) bundle->executablePath += ".so";
  }
  return static_cast<CFBundleRef>(const_cast<void*>(owner.release()));
}

CFBundleRef CFBundleGetMainBundle() {
  static CFBundleRef mainBundle = [] {
    auto* bundle = new KeloCFBundle(true);
    bundle->isMain = true;
    char exe[4096];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
      bundle->executablePath.assign(exe, static_cast<std::size_t>(n));
      const std::size_t slash = bundle->executablePath.rfind('/');
      bundle->path = slash == 0 ? std::string("/") : bundle->executablePath.substr(0, slash);
      bundle->resourcesPath = bundle->path + (bundle->path == "/" ? "Resources" : "/Resources");
    }
    if (bundle->resourcesPath.empty() || !readInfo(bundle->resourcesPath + "/Info.plist", bundle->info))
      bundle->info = emptyDictionary();
    return bundle;
  }();
  return mainBundle;
}

Boolean CFBundleLoadExecutable(CFBundleRef bundleRef) {
  auto* bundle = asMutable<KeloCFBundle>(bundleRef);
  if (!bundle) return false;
  if (bundle->handle || bundle->isMain) return true;
  if (bundle->executablePath.empty() || !exists(bundle->executablePath)) {
    bundle->loadError = "no executable at " + bundle->executablePath;
    return false;
  }
  std::lock_guard<std::mutex> lock(loaderMutex());
  bundle->handle = dlopen(bundle->executablePath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!bundle->handle) {
    const char* why = dlerror();
    bundle->loadError = why ? why : "dlopen failed";
    return false;
  }
  bundle->loadError.clear();
  return true;
}

Boolean CFBundleIsExecutableLoaded(CFBundleRef bundleRef) {
  const auto* bundle = as<KeloCFBundle>(bundleRef);
  return bundle && (bundle->handle || bundle->isMain);
}

void CFBundleUnloadExecutable(CFBundleRef bundleRef) {
  auto* bundle = asMutable<KeloCFBundle>(bundleRef);
  if (bundle && bundle->handle) {
    std::lock_guard<std::mutex> lock(loaderMutex());
    dlclose(bundle->handle);
    bundle->handle = nullptr;
  }
}

namespace {

void* lookUp(CFBundleRef bundleRef, CFStringRef name) {
  auto* bundle = asMutable<KeloCFBundle>(bundleRef);
  const std::string_view symbol = kelo::cf::utf8(name);
  if (!bundle || symbol.empty() || !CFBundleLoadExecutable(bundleRef)) return nullptr;
  const std::string text(symbol);
  std::lock_guard<std::mutex> lock(loaderMutex());
  if (bundle->isMain) return dlsym(RTLD_DEFAULT, text.c_str());
  void* address = dlsym(bundle->handle, text.c_str());
  // dlsym also searches the object's dependencies; only the bundle's own exports count.
  return address && definedIn(bundle->handle, address) ? address : nullptr;
}

}  // namespace

void* CFBundleGetFunctionPointerForName(CFBundleRef bundle, CFStringRef name) {
  return lookUp(bundle, name);
}

void* CFBundleGetDataPointerForName(CFBundleRef bundle, CFStringRef name) {
  return lookUp(bundle, name);
}

CFDictionaryRef CFBundleGetInfoDictionary(CFBundleRef bundleRef) {
  const auto* bundle = as<KeloCFBundle>(bundleRef);
  return bundle ? static_cast<CFDictionaryRef>(bundle->info.get()) : nullptr;
}

CFTypeRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key) {
  return CFDictionaryGetValue(CFBundleGetInfoDictionary(bundle), key);
}

CFStringRef CFBundleGetIdentifier(CFBundleRef bundle) {
  CFTypeRef value = CFBundleGetValueForInfoDictionaryKey(bundle, kCFBundleIdentifierKey);
  return CFGetTypeID(value) == CFStringGetTypeID() ? static_cast<CFStringRef>(value) : nullptr;
}

namespace {

CFURLRef urlFor(const std::string& path, bool directory) {
  if (path.empty()) return nullptr;
  return CFURLCreateFromFileSystemRepresentation(
      nullptr, reinterpret_cast<const UInt8*>(path.data()), static_cast<CFIndex>(path.size()),
      directory);
}

}  // namespace

CFURLRef CFBundleCopyBundleURL(CFBundleRef bundleRef) {
  const auto* bundle = as<KeloCFBundle>(bundleRef);
  return bundle ? urlFor(bundle->path, isDirectory(bundle->path)) : nullptr;
}

CFURLRef CFBundleCopyExecutableURL(CFBundleRef bundleRef) {
  const auto* bundle = as<KeloCFBundle>(bundleRef);
  if (!bundle || bundle->executablePath.empty() || !exists(bundle->executablePath)) return nullptr;
  return urlFor(bundle->executablePath, false);
}

CFURLRef CFBundleCopyResourcesDirectoryURL(CFBundleRef bundleRef) {
  const auto* bundle = as<KeloCFBundle>(bundleRef);
  return bundle ? urlFor(bundle->resourcesPath, true) : nullptr;
}

CFURLRef CFBundleCopyResourceURL(CFBundleRef bundleRef, CFStringRef name, CFStringRef type,
                                 CFStringRef subFolder) {
  const auto* bundle = as<KeloCFBundle>(bundleRef);
  const std::string_view resource = kelo::cf::utf8(name);
  if (!bundle || bundle->resourcesPath.empty() || resource.empty()) return nullptr;
  std::string path = bundle->resourcesPath + "/";
  const std::string_view folder = kelo::cf::utf8(subFolder);
  if (!folder.empty()) {
    path.append(folder);
    path += '/';
  }
  path.append(resource);
  std::string_view extension = kelo::cf::utf8(type);
  if (!extension.empty() && extension[0] == '.') extension.remove_prefix(1);
  if (!extension.empty()) {
    path += '.';
    path.append(extension);
  }
  bool directory = false;
  if (!exists(path, &directory)) return nullptr;
  return urlFor(path, directory);
}

namespace kelo::cf {

std::string bundleLoadError(CFBundleRef bundleRef) {
  const auto* bundle = as<KeloCFBundle>(bundleRef);
  return bundle ? bundle->loadError : std::string();
}

}  // namespace kelo::cf
