#include "engine/pluginhost/PluginBundle.h"

#include <cstring>

#include "VNL/source/LogLine.h"
#include "platform/cf/CFBundle.h"

namespace kelo::pluginhost {

using namespace vantor::KELOPluginSDK;

namespace {

// More rows than any bundle could sensibly hold means a broken count.
constexpr std::int32_t kMaxPluginsPerBundle = 4096;

bool fieldText(const char* field, std::size_t size, std::string& out) {
  const void* nul = std::memchr(field, 0, size);
  if (nul == nullptr) return false;
  out.assign(field, static_cast<const char*>(nul));
  return true;
}

void* function(CFBundleRef bundle, const char* name) {
  CFStringRef text = CFStringCreateWithCString(nullptr, name, kCFStringEncodingUTF8);
  void* address = CFBundleGetFunctionPointerForName(bundle, text);
  CFRelease(text);
  return address;
}

}  // namespace

bool describe(const KeloPluginInfo& info, PluginDescription& out, std::string& error) {
  if (!fieldText(info.identifier, sizeof info.identifier, out.identifier) ||
      out.identifier.empty()) {
    error = "identifier missing or not terminated";
    return false;
  }
  if (!fieldText(info.shortName, sizeof info.shortName, out.shortName) ||
      !fieldText(info.displayName, sizeof info.displayName, out.displayName)) {
    error = "name not terminated";
    return false;
  }
  if (info.endMarker != 0) {
    error = "end marker is not 0";
    return false;
  }
  if (info.audioInsSpec != info.audioOutsSpec || info.audioInsSpec < -2 || info.audioInsSpec > 0) {
    error = "audio channel layout " + std::to_string(info.audioInsSpec) + "/" +
            std::to_string(info.audioOutsSpec) + " is not one the engine knows";
    return false;
  }
  out.channelLayout = info.audioInsSpec;
  out.infoFlagA = info.infoFlagA;
  out.version = info.version;
  out.infoFlagB = info.infoFlagB;
  out.customDataMagic = info.customDataMagic;
  out.customDataCount = info.customDataCount;
  return true;
}

std::unique_ptr<PluginBundle> PluginBundle::open(const std::string& path, std::string& error) {
  std::unique_ptr<PluginBundle> result(new PluginBundle);
  result->m_path = path;
  CFURLRef url = CFURLCreateFromFileSystemRepresentation(
      nullptr, reinterpret_cast<const UInt8*>(path.data()), static_cast<CFIndex>(path.size()),
      false);
  result->m_bundle = url != nullptr ? CFBundleCreate(nullptr, url) : nullptr;
  if (url != nullptr) CFRelease(url);
  if (result->m_bundle == nullptr) {
    error = "\"" + path + "\" is not a bundle";
    return nullptr;
  }
  if (!CFBundleLoadExecutable(result->m_bundle)) {
    error = "cannot load \"" + path + "\": " + kelo::cf::bundleLoadError(result->m_bundle);
    return nullptr;
  }
  auto count = reinterpret_cast<GetNumKeloPluginsFunction>(function(result->m_bundle, "getNumKeloPlugins"));
  auto fill = reinterpret_cast<FillKeloPluginInfoFunction>(function(result->m_bundle, "fillKeloPluginInfo"));
  result->newInstance = reinterpret_cast<NewInstanceFunction>(function(result->m_bundle, "newInstance"));
  result->deleteInstance = reinterpret_cast<DeleteInstanceFunction>(function(result->m_bundle, "deleteInstance"));
  if (count == nullptr || fill == nullptr || result->newInstance == nullptr ||
      result->deleteInstance == nullptr) {
    error = "\"" + path + "\" is not an engine plug-in bundle (entry point missing)";
    return nullptr;
  }
  const std::int32_t plugins = count();
  if (plugins < 0 || plugins > kMaxPluginsPerBundle) {
    error = "\"" + path + "\" claims " + std::to_string(plugins) + " plug-ins";
    return nullptr;
  }
  for (std::int32_t index = 0; index < plugins; ++index) {
    KeloPluginInfo info;
    std::memset(&info, 0, sizeof info);  // the engine clears the record before each call
    PluginDescription description;
    description.index = index;
    std::string problem;
    if (fill(index, &info) != 0) {
      PLOGW("engine plug-in host: \"%s\" has no record for plug-in %d", path.c_str(), index);
    } else if (!describe(info, description, problem)) {
      PLOGW("engine plug-in host: \"%s\" plug-in %d left out: %s", path.c_str(), index,
            problem.c_str());
    } else if (result->find(description.identifier) != nullptr) {
      PLOGW("engine plug-in host: \"%s\" lists \"%s\" twice", path.c_str(),
            description.identifier.c_str());
    } else {
      result->m_plugins.push_back(std::move(description));
    }
  }
  return result;
}

PluginBundle::~PluginBundle() {
  if (m_bundle != nullptr) CFRelease(m_bundle);
}

const PluginDescription* PluginBundle::find(const std::string& identifier) const {
  for (const PluginDescription& plugin : m_plugins)
    if (plugin.identifier == identifier) return &plugin;
  return nullptr;
}

}  // namespace kelo::pluginhost
