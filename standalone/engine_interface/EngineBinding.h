// Binding the external engine, the same procedure in every host: the data folder ("base_dir"
// of the product's preference domain), the engine bundle's path ("path" of "com.vantor.kelo"),
// the bundle made from that path, its executable loaded and `keloOpcode` looked up.
//
// Each of the four failures writes one "E:" line and shows one alert whose header is the
// vendor name, a blank and the product name and whose message ends "please re-install" (through
// the library's alert backend: a dialog in the programs, stderr in the plug-ins). Main thread.
#pragma once

#include <cstddef>
#include <string>

#include "VNL/source/Config.h"
#include "platform/cf/CFBundle.h"
#include "standalone/engine_interface/KeloEngineInterface.h"

namespace vantor {

enum class EngineBindingFailure {
  None,
  DataFolder,   // "base_dir" cannot be read
  EnginePath,   // "path" cannot be read
  EngineFile,   // no bundle from the path
  EntryPoint,   // no keloOpcode in the bundle
};

/// The failure's alert message ("Cannot find data installation, please re-install", ...);
/// empty for None.
const char* engineBindingAlertText(EngineBindingFailure failure);

/// The preference domain of a product: "com." + vendor + "." + product.
std::string productPreferenceDomain(const std::string& vendorName, const std::string& productName);

/// What binding found. `bundle` holds the one reference binding took (null until a bundle was
/// made); the entry point stays callable while the bundle is referenced.
struct EngineBinding {
  std::string dataFolder;
  std::string enginePath;
  CFBundleRef bundle = nullptr;
  KeloOpcodeFunction entry = nullptr;
};

/// Reads the data folder ("base_dir", level 1); reports the failure. With a `capacity` (the
/// bytes of a caller's field, terminator included), a longer value is that same failure.
bool readEngineDataFolder(const std::string& vendorName, const std::string& productName,
                          std::string& dataFolder, std::size_t capacity = 0);

/// Reads "path" at `pathLevel` (the standalone and the Audio Unit pass 0, the VST plug-in 1),
/// makes the bundle from the path's bytes taken as a folder, loads it and finds keloOpcode.
/// Reports the first failure and stops there.
EngineBindingFailure loadEngine(const std::string& vendorName, const std::string& productName,
                                CONFIG_LEVEL pathLevel, EngineBinding& binding);

/// The data folder, then the engine: the whole procedure, stopping at the first failure.
EngineBindingFailure bindEngine(const std::string& vendorName, const std::string& productName,
                                CONFIG_LEVEL pathLevel, EngineBinding& binding);

/// The standalone's form: after a failure's alert the process ends with exit status 0.
EngineBinding bindEngineOrExit(const std::string& vendorName, const std::string& productName);

/// Forgets the entry point and releases binding's bundle reference.
void releaseEngineBinding(EngineBinding& binding);

}  // namespace vantor
