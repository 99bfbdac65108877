#include "standalone/engine_interface/EngineBinding.h"

#include <cstdlib>

#include "VNL/source/Alerts.h"
#include "VNL/source/LogLine.h"
#include "platform/cf/CFURL.h"

namespace vantor {
namespace {

constexpr const char* kEngineDomain = "com.vantor.kelo";

void showBindingAlert(const std::string& vendorName, const std::string& productName,
                      EngineBindingFailure failure) {
  const std::string header = vendorName + " " + productName;
  static const char* const kButtons[] = {"OK"};
  alertBackend().runAlert(
      AlertRequest{header.c_str(), engineBindingAlertText(failure), kButtons, 1});
}

}  // namespace

const char* engineBindingAlertText(EngineBindingFailure failure) {
  switch (failure) {
    case EngineBindingFailure::DataFolder:
      return "Cannot find data installation, please re-install";
    case EngineBindingFailure::EnginePath:
      return "Cannot find engine installation, please re-install";
    case EngineBindingFailure::EngineFile:
      return "Cannot find engine file, please re-install";
    case EngineBindingFailure::EntryPoint:
      return "Cannot connect to engine, please re-install";
    case EngineBindingFailure::None:
      break;
  }
  return "";
}

std::string productPreferenceDomain(const std::string& vendorName,
                                    const std::string& productName) {
  return "com." + vendorName + "." + productName;
}

bool readEngineDataFolder(const std::string& vendorName, const std::string& productName,
                          std::string& dataFolder, std::size_t capacity) {
  if (readConfigStringValue(productPreferenceDomain(vendorName, productName), "base_dir",
                            dataFolder, CONFIG_LEVEL_SYSTEM) &&
      (capacity == 0 || dataFolder.size() < capacity)) {
    return true;
  }
  PLOGE("Can't get base_dir from configuration");
  showBindingAlert(vendorName, productName, EngineBindingFailure::DataFolder);
  return false;
}

EngineBindingFailure loadEngine(const std::string& vendorName, const std::string& productName,
                                CONFIG_LEVEL pathLevel, EngineBinding& binding) {
  EngineBindingFailure failure = EngineBindingFailure::None;
  if (!readConfigStringValue(kEngineDomain, "path", binding.enginePath, pathLevel)) {
    PLOGE("Can't get path from configuration");
    failure = EngineBindingFailure::EnginePath;
  } else {
    // The path's bytes as they are (UTF-8 on Linux), taken as a folder.
    const std::string& path = binding.enginePath;
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(
        nullptr, reinterpret_cast<const UInt8*>(path.data()), static_cast<CFIndex>(path.size()),
        true);
    binding.bundle = url != nullptr ? CFBundleCreate(nullptr, url) : nullptr;
    if (url != nullptr) CFRelease(url);
    if (binding.bundle == nullptr) {
      PLOGE("Can't load engine bundle from : %s", path.c_str());
      failure = EngineBindingFailure::EngineFile;
    } else {
      CFBundleLoadExecutable(binding.bundle);  // a failure shows as a missing entry point
      binding.entry = reinterpret_cast<KeloOpcodeFunction>(
          CFBundleGetFunctionPointerForName(binding.bundle, CFSTR("keloOpcode")));
      if (binding.entry == nullptr) {
        PLOGE("CFBundleGetFunctionPointerForName failed for keloOpcode");
        failure = EngineBindingFailure::EntryPoint;
      }
    }
  }
  if (failure != EngineBindingFailure::None) showBindingAlert(vendorName, productName, failure);
  return failure;
}

EngineBindingFailure bindEngine(const std::string& vendorName, const std::string& productName,
                                CONFIG_LEVEL pathLevel, EngineBinding& binding) {
  if (!readEngineDataFolder(vendorName, productName, binding.dataFolder)) {
    return EngineBindingFailure::DataFolder;
  }
  return loadEngine(vendorName, productName, pathLevel, binding);
}

EngineBinding bindEngineOrExit(const std::string& vendorName, const std::string& productName) {
  EngineBinding binding;
  if (bindEngine(vendorName, productName, CONFIG_LEVEL_USER, binding) !=
      EngineBindingFailure::None) {
    std::exit(0);
  }
  return binding;
}

void releaseEngineBinding(EngineBinding& binding) {
  binding.entry = nullptr;
  if (binding.bundle != nullptr) CFRelease(binding.bundle);
  binding.bundle = nullptr;
}

}  // namespace vantor
