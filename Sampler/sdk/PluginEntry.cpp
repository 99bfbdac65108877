#include "Sampler/sdk/PluginEntry.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>

using namespace vantor::KELOPluginSDK;

namespace {

// The field forms of KeloPluginInfo's strings. Lengths were checked against the field sizes
// when the table was built (isValidTable).
void writeString(char* field, const char* text, InfoStrings form) {
  if (form == InfoStrings::Padded255) {
    std::strncpy(field, text, 255);  // the text, then NUL padding up to 255 bytes
  } else {
    std::memcpy(field, text, std::strlen(text) + 1);
  }
}

void writeNumber(std::int32_t& field, const std::optional<std::int32_t>& value) {
  if (value) field = *value;
}

EffectPlugin* pluginOf(PluginStruct* handle) {
  if (handle == nullptr || handle->object == nullptr) return nullptr;
  // Every table row creates an EffectPlugin (makePlugin), whose Plugin part stored itself.
  return static_cast<EffectPlugin*>(static_cast<Plugin*>(handle->object));
}

// The runtime keeps no log file of its own: a failure inside a plug-in is told on standard
// error, formatted on the stack and written at once (also from a render thread).
void logFailure(const void* object, const char* operation, int opcode) {
  char line[512];
  const char* what = "unknown exception";
  try {
    throw;
  } catch (const std::exception& e) {
    what = e.what();
  } catch (...) {
  }
  const int length = std::snprintf(line, sizeof line, "E:engine plug-in %p: %s %d failed: %s\n",
                                   object, operation, opcode, what);
  if (length > 0) {
    const ssize_t written =
        ::write(STDERR_FILENO, line, std::min<std::size_t>(length, sizeof line - 1));
    (void)written;
  }
}

void clearOutput(EffectPlugin& plugin, float** audio, std::int32_t frames,
                 HDMIDIEvents* midiOut) {
  if (audio != nullptr) {
    for (std::uint32_t channel = 0; channel < plugin.getNumAudioOuts(); ++channel)
      if (audio[channel] != nullptr)
        std::memset(audio[channel], 0, sizeof(float) * static_cast<std::size_t>(frames));
  }
  if (midiOut != nullptr && plugin.getNumMIDIOuts() > 0) midiOut->numEvents = 0;
}

void dispatch(EffectPlugin& plugin, std::uint32_t opcode, void* ptr, std::int32_t* val) {
  switch (opcode) {
    case PLUGOP_INITEX:
      plugin.initEx(static_cast<const char*>(ptr), reinterpret_cast<const char*>(val));
      break;
    case PLUGOP_IDLE:
      plugin.idle();
      break;
    case PLUGOP_SET_DSPINFO:
    case PLUGOP_SET_DSPINFO2:
      if (ptr == nullptr) break;
      try {
        plugin.setDSPInfo(static_cast<const DSPInfo*>(ptr));
        plugin.setFailed(false);
      } catch (...) {
        plugin.setFailed(true);
        throw;
      }
      break;
    case PLUGOP_GET_NUM_AUDIO_INS:
      if (val != nullptr) *val = static_cast<std::int32_t>(plugin.getNumAudioIns());
      break;
    case PLUGOP_GET_NUM_AUDIO_OUTS:
      if (val != nullptr) *val = static_cast<std::int32_t>(plugin.getNumAudioOuts());
      break;
    case PLUGOP_GET_NUM_MIDI_INS:
      if (val != nullptr) *val = static_cast<std::int32_t>(plugin.getNumMIDIIns());
      break;
    case PLUGOP_GET_NUM_MIDI_OUTS:
      if (val != nullptr) *val = static_cast<std::int32_t>(plugin.getNumMIDIOuts());
      break;
    case PLUGOP_CAPABLE_OF:
      if (ptr != nullptr && val != nullptr)
        *static_cast<std::int32_t*>(ptr) = plugin.capableOf(static_cast<std::uint32_t>(*val));
      break;
    case PLUGOP_START:
      plugin.start();
      break;
    case PLUGOP_STOP:
    case PLUGOP_STOP2:
      plugin.stop();
      break;
    case PLUGOP_GET_DEFAULTS:
      if (ptr != nullptr) plugin.getDefaults(static_cast<HDMIDIEvents*>(ptr));
      break;
    case PLUGOP_GET_PARAMETER_DETAILS:
      if (ptr != nullptr)
        *static_cast<std::int32_t*>(ptr) =
            plugin.getParameterDetails(reinterpret_cast<ParameterDetails*>(val));
      break;
    case PLUGOP_SET_IO_CONFIG:
      if (val == nullptr) break;
      if (ptr == nullptr)
        *val = -1;  // no record to accept, whatever the plug-in
      else
        plugin.setIOConfig(static_cast<ChannelInfo*>(ptr), val);
      break;
    case PLUGOP_GET_LATENCY:
      if (ptr != nullptr && val != nullptr)
        plugin.getLatency(static_cast<LatencyInfo*>(ptr), val);
      break;
    case PLUGOP_INITEX_RECORD:
      if (ptr != nullptr) {
        auto* record = static_cast<InitExRecord*>(ptr);
        record->result = 0;
        const std::int32_t answer = plugin.initEx(record->initText, record->extraText);
        record->result = static_cast<std::int64_t>(static_cast<std::uint32_t>(answer));
      }
      break;
    case PLUGOP_SET_CUSTOM_DATA_LINK:
      if (ptr != nullptr) plugin.setCustomDataLink(static_cast<const CustomDataLink*>(ptr));
      break;
    case PLUGOP_INSTRUMENT_OP:
      // Only an InstrumentPlugin has this operation; for any other plug-in it does nothing.
      if (auto* instrument = dynamic_cast<InstrumentPlugin*>(&plugin)) instrument->instrumentOp(ptr);
      break;
    default:  // 13, 14, 16 and everything above 21 (negative values included)
      break;
  }
}

}  // namespace

extern "C" {

std::int32_t getNumKeloPlugins() {
  return static_cast<std::int32_t>(bundleTable().rows.size());
}

std::int32_t fillKeloPluginInfo(std::int64_t index, KeloPluginInfo* info) {
  const BundleTable& table = bundleTable();
  if (info == nullptr || index < 0 || static_cast<std::uint64_t>(index) >= table.rows.size())
    return 1;
  const PluginRow& row = table.rows[static_cast<std::size_t>(index)];
  writeString(info->identifier, row.identifier, table.strings);
  writeNumber(info->audioInsSpec, row.audioSpec);
  writeNumber(info->audioOutsSpec, row.audioSpec);
  writeNumber(info->infoFlagA, row.infoFlagA);
  writeNumber(info->version, row.version);
  writeNumber(info->infoFlagB, row.infoFlagB);
  writeNumber(info->customDataMagic, row.customDataMagic);
  writeNumber(info->customDataCount, row.customDataCount);
  writeString(info->shortName, row.shortName, table.strings);
  writeString(info->displayName, row.displayName, table.strings);
  info->endMarker = 0;
  return 0;
}

PluginStruct* newInstance(const char* identifier, Host* host) {
  if (identifier == nullptr) return nullptr;
  for (const PluginRow& row : bundleTable().rows) {
    if (std::strcmp(identifier, row.identifier) != 0) continue;
    if (row.create == nullptr) return nullptr;
    try {
      return row.create(host)->getPluginStruct();
    } catch (...) {
      logFailure(nullptr, "creation", 0);
      return nullptr;
    }
  }
  return nullptr;
}

void deleteInstance(PluginStruct* handle) {
  if (handle == nullptr || handle->object == nullptr) return;
  delete static_cast<Plugin*>(handle->object);  // destructors are noexcept
}

void plugin_dispatch1(PluginStruct* handle, PluginOpcodes1 opcode, void* ptr, std::int32_t* val) {
  EffectPlugin* plugin = pluginOf(handle);
  if (plugin == nullptr) return;
  const auto code = static_cast<std::uint32_t>(opcode);
  try {
    dispatch(*plugin, code, ptr, val);
  } catch (...) {
    logFailure(plugin, "opcode", static_cast<int>(code));
  }
}

void plugin_process(PluginStruct* handle, float** audio, std::int32_t frames, HDMIDIEvents* midiIn,
                    HDMIDIEvents* midiOut, const SyncInfo* sync) {
  EffectPlugin* plugin = pluginOf(handle);
  if (plugin == nullptr || frames < 0) return;
  // A failed plug-in, or a block larger than the plug-in sized its buffers for, only clears.
  if (plugin->hasFailed() || frames > plugin->getBlockLimit()) {
    clearOutput(*plugin, audio, frames, midiOut);
    return;
  }
  try {
    plugin->process(audio, frames, midiIn, midiOut, sync);
  } catch (...) {
    clearOutput(*plugin, audio, frames, midiOut);
    logFailure(plugin, "process", frames);
  }
}

}  // extern "C"
