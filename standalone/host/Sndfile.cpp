#include "standalone/host/Sndfile.h"

#include "VNL/source/CFWrappers.h"
#include "VNL/source/FileUtils.h"
#include "VNL/source/LogLine.h"

namespace vantor {

namespace {

constexpr const char* kBundleName = "libsndfile.bundle";

// The bundle's URL, or null when there is nothing of that name.
CFURLRef copyBundleURL(const std::string& resourcesFolder) {
  if (resourcesFolder.empty()) {
    return CFBundleCopyResourceURL(CFBundleGetMainBundle(), CFSTR("libsndfile"), CFSTR("bundle"),
                                   nullptr);
  }
  const std::string path = resourcesFolder + "/" + kBundleName;
  if (!fileExists(path)) return nullptr;
  return CFURLCreateFromFileSystemRepresentation(
      nullptr, reinterpret_cast<const UInt8*>(path.data()), static_cast<CFIndex>(path.size()),
      true);
}

template <class Function>
bool bindOne(CFBundleRef bundle, Function& slot, const char* name) {
  CFStringWrapper text(name, kCFStringEncodingUTF8, false);
  slot = reinterpret_cast<Function>(
      CFBundleGetFunctionPointerForName(bundle, text.getCFStringRef()));
  if (slot) return true;
  PLOGE("CFBundleGetFunctionPointerForName failed for %s", name);
  return false;
}

}  // namespace

Sndfile::Sndfile() = default;

Sndfile::~Sndfile() {
  clearAll();
  if (bundle) CFRelease(bundle);
}

bool Sndfile::init(const std::string&) {
  if (!tryPending) return true;
  tryPending = false;

  CFURLWrapper url(copyBundleURL(m_resourcesFolder));
  if (!url.getCFURLRef()) {
    PLOGE("libsndfile.bundle isn't present");
    return false;
  }
  bundle = CFBundleCreate(nullptr, url.getCFURLRef());
  if (!bundle) {
    PLOGE("CFBundleCreate failed for libsndfile");
    return false;
  }
  if (!CFBundleLoadExecutable(bundle)) {
    // The look-up below names the first entry point; this line says why nothing was found.
    PLOGE("libsndfile.bundle does not load: %s", kelo::cf::bundleLoadError(bundle).c_str());
  }
  if (!bindAll()) {
    // All or none: nothing half-bound stays behind, nor the library it came from.
    clearAll();
    CFRelease(bundle);
    bundle = nullptr;
    return false;
  }
  logLibrary();
  isAvailable = true;
  return true;
}

bool Sndfile::bindAll() {
  // Stops at the first missing name: the names after it are not looked up.
#define KELO_SNDFILE_BIND(name) &&bindOne(bundle, name, #name)
  return true KELO_SNDFILE_ENTRY_POINTS(KELO_SNDFILE_BIND);
#undef KELO_SNDFILE_BIND
}

void Sndfile::clearAll() {
#define KELO_SNDFILE_CLEAR(name) name = nullptr;
  KELO_SNDFILE_ENTRY_POINTS(KELO_SNDFILE_CLEAR)
#undef KELO_SNDFILE_CLEAR
}

void Sndfile::logLibrary() {
  if (!sf_command) return;
  char version[1024] = {};
  sf_command(nullptr, SFC_GET_LIB_VERSION, version, sizeof version);
  version[sizeof version - 1] = '\0';
  PLOGI("Success attaching to %s", version);
}

}  // namespace vantor
