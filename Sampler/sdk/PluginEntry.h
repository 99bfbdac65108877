// The entry points every engine plug-in bundle exports, and the table a bundle fills them with.
//
// A bundle defines `bundleTable()` (one constant table of its plug-ins) in its own source and
// is built with kelo_add_engine_plugin_bundle (Sampler/sdk/KeloPluginBundle.cmake), which
// compiles this runtime in and exports exactly the names below. Nothing thrown inside a
// plug-in leaves these functions.
//
// Threads: the four table functions and the dispatcher run on the engine's control thread;
// plugin_process on its render thread, never overlapping a dispatcher call on the same
// instance unless the plug-in allows it. Neither keeps state of its own or takes a lock.
#pragma once

#include <concepts>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "Sampler/sdk/Plugin.h"
#include "Sampler/sdk/PluginRecords.h"

namespace vantor::KELOPluginSDK {

/// One plug-in of a bundle: its identifier, how to create it, and what fillKeloPluginInfo
/// writes. Fields left empty are not written.
struct PluginRow {
  const char* identifier = nullptr;
  EffectPlugin* (*create)(Host* host) = nullptr;
  const char* shortName = nullptr;
  const char* displayName = nullptr;  // group, TAB, short name
  std::optional<std::int32_t> audioSpec = {};  // written to audioInsSpec and audioOutsSpec
  std::optional<std::int32_t> infoFlagA = {};
  std::optional<std::int32_t> version = {};
  std::optional<std::int32_t> infoFlagB = {};
  std::optional<std::int32_t> customDataMagic = {};
  std::optional<std::int32_t> customDataCount = {};
};

/// How a bundle writes its three strings: the text and one NUL, or a field of exactly 255
/// bytes (the text, at most 254 characters, then NUL padding).
enum class InfoStrings { TextAndNul, Padded255 };

struct BundleTable {
  std::span<const PluginRow> rows;
  InfoStrings strings;
};

/// Defined once by every bundle.
const BundleTable& bundleTable();

template <std::derived_from<EffectPlugin> T>
EffectPlugin* makePlugin(Host* host) {
  return new T(host);
}

/// For a static_assert beside a table: every string fits its field, identifiers are unique.
consteval bool isValidTable(std::span<const PluginRow> rows, InfoStrings strings) {
  const std::size_t limit = strings == InfoStrings::Padded255 ? 254 : 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const PluginRow& row = rows[i];
    if (row.identifier == nullptr || row.shortName == nullptr ||
        row.displayName == nullptr)
      return false;
    const std::string_view id = row.identifier;
    const std::string_view shortName = row.shortName;
    const std::string_view displayName = row.displayName;
    if (id.empty() || id.size() > (limit ? limit : 255) ||
        shortName.size() > (limit ? limit : 511) || displayName.size() > (limit ? limit : 511))
      return false;
    for (std::size_t j = 0; j < i; ++j)
      if (id == std::string_view(rows[j].identifier)) return false;
  }
  return true;
}

/// The table of `rows`, checked at compile time; a bundle's bundleTable() answers it.
template <const auto& rows, InfoStrings strings>
const BundleTable& checkedTable() {
  static_assert(isValidTable(rows, strings));
  static constexpr BundleTable table{rows, strings};
  return table;
}

}  // namespace vantor::KELOPluginSDK

extern "C" {

KELO_EXPORT std::int32_t getNumKeloPlugins();
/// 0 after writing row `index`; 1, writing nothing, for an index outside the table.
KELO_EXPORT std::int32_t fillKeloPluginInfo(std::int64_t index,
                                            vantor::KELOPluginSDK::KeloPluginInfo* info);
/// The new instance's handle, or null for an unknown identifier (exact bytes) or when the
/// plug-in could not be created. The `Host` must outlive the instance.
KELO_EXPORT vantor::KELOPluginSDK::PluginStruct* newInstance(const char* identifier,
                                                             vantor::KELOPluginSDK::Host* host);
/// Destroys the instance; null does nothing.
KELO_EXPORT void deleteInstance(vantor::KELOPluginSDK::PluginStruct* handle);

/// Opcodes 0 to 21, compared unsigned; others, and 13, 14 and 16, do nothing. Answers go back
/// only through `ptr` or `val`. Opcode 21 acts only on an InstrumentPlugin. Opcode 17 without
/// a channel record answers -1 for every plug-in.
KELO_EXPORT void plugin_dispatch1(vantor::KELOPluginSDK::PluginStruct* handle,
                                  vantor::KELOPluginSDK::PluginOpcodes1 opcode, void* ptr,
                                  std::int32_t* val);
/// Renders one block in place. After a failure inside the plug-in, while it is marked failed,
/// or for more frames than its last DSPInfo's maxBlockSize (read atomically: a plug-in that
/// takes settings during audio checks a block against its own buffers under its own lock),
/// its audio output channels are zeroed for the block instead (and a MIDI plug-in's midiOut
/// emptied); negative frames do nothing.
/// Real-time safe as far as the plug-in's own process is.
KELO_EXPORT void plugin_process(vantor::KELOPluginSDK::PluginStruct* handle, float** audio,
                                std::int32_t frames, vantor::KELOPluginSDK::HDMIDIEvents* midiIn,
                                vantor::KELOPluginSDK::HDMIDIEvents* midiOut,
                                const vantor::KELOPluginSDK::SyncInfo* sync);
}
