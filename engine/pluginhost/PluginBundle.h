// An engine plug-in bundle as the engine sees it: loaded through the bundle layer, its four
// entry points bound by name and its plug-ins listed from their information records.
//
// Main thread (loading and listing call into the bundle; dlopen takes the loader's lock).
// The bundle stays loaded while this object lives: destroy every instance first.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Sampler/sdk/PluginRecords.h"

struct KeloCFBundle;

namespace kelo::pluginhost {

/// One plug-in of a bundle, from its information record.
struct PluginDescription {
  std::int64_t index = 0;
  std::string identifier, shortName, displayName;
  /// The audio channel layout (the record's audioInsSpec, equal to its audioOutsSpec): 0 no
  /// audio, -1 any channel count, -2 an even count; inputs always equal outputs.
  std::int32_t channelLayout = 0;
  std::int32_t infoFlagA = 0, version = 0, infoFlagB = 0;
  std::int32_t customDataMagic = 0, customDataCount = 0;
};

class PluginBundle {
 public:
  /// Loads the bundle (a `.bundle` folder or a shared object) and lists its plug-ins;
  /// null with `error` set when it cannot be loaded or lacks an entry point. Records that
  /// break the format are left out of the list, each with a log line.
  static std::unique_ptr<PluginBundle> open(const std::string& path, std::string& error);
  ~PluginBundle();
  PluginBundle(const PluginBundle&) = delete;
  PluginBundle& operator=(const PluginBundle&) = delete;

  const std::string& path() const { return m_path; }
  const std::vector<PluginDescription>& plugins() const { return m_plugins; }
  /// Null when the bundle lists no such identifier (exact bytes).
  const PluginDescription* find(const std::string& identifier) const;

  vantor::KELOPluginSDK::NewInstanceFunction newInstance = nullptr;
  vantor::KELOPluginSDK::DeleteInstanceFunction deleteInstance = nullptr;

 private:
  PluginBundle() = default;

  std::string m_path;
  KeloCFBundle* m_bundle = nullptr;
  std::vector<PluginDescription> m_plugins;
};

/// Checks one record as filled by a bundle; false with `error` set when a string has no NUL
/// within its field, the identifier is empty, the end marker is not 0 or the audio
/// channel layout is not one of 0, -1, -2 for both directions.
bool describe(const vantor::KELOPluginSDK::KeloPluginInfo& info, PluginDescription& out,
              std::string& error);

}  // namespace kelo::pluginhost
