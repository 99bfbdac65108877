// Bundles of the CoreFoundation stand-in: loadable code with its information and resources.
//
// A bundle is either a folder `<Name>.<ext>/Contents/` holding Info.plist (CFBundleExecutable,
// CFBundleVersion, ...), the shared object `Contents/x86_64-linux/<executable>.so` and
// resources under `Contents/Resources/`, or a path naming a shared object directly (no
// information, no resources). The executable is loaded with dlopen(RTLD_NOW | RTLD_LOCAL) and
// unloaded when the last reference to the bundle goes, so a caller that keeps function
// pointers keeps a reference too. The main bundle is the running program: its folder, with
// resources in the `Resources` folder beside the program. Loading, look-ups and unloading
// run on the caller's thread under one process-wide lock (they block: never call them from a
// render thread); one bundle object is not meant to be used from two threads at once.
#pragma once

#include "platform/cf/CFArray.h"
#include "platform/cf/CFBase.h"
#include "platform/cf/CFString.h"
#include "platform/cf/CFURL.h"

struct KeloCFBundle;
using CFBundleRef = KeloCFBundle*;

extern const CFStringRef kCFBundleInfoDictionaryVersionKey;
extern const CFStringRef kCFBundleExecutableKey;
extern const CFStringRef kCFBundleIdentifierKey;
extern const CFStringRef kCFBundleVersionKey;
extern const CFStringRef kCFBundleNameKey;

CFTypeID CFBundleGetTypeID();
/// A bundle for the folder or shared object at `url`; null when nothing is there, or it is a
/// folder without `Contents/`, or its Info.plist exists but cannot be read.
CFBundleRef CFBundleCreate(CFAllocatorRef allocator, CFURLRef url);
/// The running program; never null, owned by the process.
CFBundleRef CFBundleGetMainBundle();

/// Loads the executable (once); false when it is missing or does not load
/// (kelo::cf::bundleLoadError tells why).
Boolean CFBundleLoadExecutable(CFBundleRef bundle);
Boolean CFBundleIsExecutableLoaded(CFBundleRef bundle);
void CFBundleUnloadExecutable(CFBundleRef bundle);
/// The address of the exported function `name`, loading the executable first when needed;
/// null when it cannot be loaded or exports no such name.
void* CFBundleGetFunctionPointerForName(CFBundleRef bundle, CFStringRef name);
void* CFBundleGetDataPointerForName(CFBundleRef bundle, CFStringRef name);

/// The Info.plist dictionary (empty when there is none), owned by the bundle.
CFDictionaryRef CFBundleGetInfoDictionary(CFBundleRef bundle);
CFTypeRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key);
CFStringRef CFBundleGetIdentifier(CFBundleRef bundle);

CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle);
/// Null when the executable is not where the layout puts it.
CFURLRef CFBundleCopyExecutableURL(CFBundleRef bundle);
/// `Contents/Resources/` (whether or not it exists); null for a bare shared object.
CFURLRef CFBundleCopyResourcesDirectoryURL(CFBundleRef bundle);
/// The resource `name` (with "." and `type` appended when `type` is given) in the resources
/// folder or its `subFolder`; null when no such file or folder exists.
CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef name, CFStringRef type,
                                 CFStringRef subFolder);

namespace kelo::cf {

/// Why the last CFBundleLoadExecutable of `bundle` failed (the loader's message), for the
/// caller's log; empty after a success.
std::string bundleLoadError(CFBundleRef bundle);

}  // namespace kelo::cf
