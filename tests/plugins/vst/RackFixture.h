// What the KeloRack tests share: the engine installed through a sandboxed preference store,
// the reference engine's test control (trace and findings of the engine the plug-in loads),
// the plug-in's own log file, a recording host, and MIDI event lists as hosts pass them.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "VNL/source/Alerts.h"
#include "engine/KeloEngineTestControl.h"
#include "plugins/vst/SamplerVST.h"
#include "tests/support/RecordingAudioMaster.h"
#include "tests/support/TempDir.h"

namespace kelo::test {

/// The loaded reference engine's test control (the same library the plug-in binds).
KeloEngineTestControlFunction engineControl();
std::vector<KeloTraceEntry> engineTrace();
std::vector<KeloFinding> engineFindings();
/// The opcodes of the trace, in order.
std::vector<std::int32_t> engineOpcodes();
std::size_t countOpcode(std::int32_t opcode);

/// Writes "base_dir" and "path" (an empty text writes nothing) at the user level.
void installEngine(const std::string& dataFolder, const std::string& enginePath);

/// The plug-in's log file in the sandbox, and the texts of its lines of `level`.
std::string pluginLogPath(bool multi = false);
std::vector<std::string> pluginLog(char level, bool multi = false);
/// True when a line of `level` holds `fragment`; count of such lines.
std::size_t pluginLogCount(char level, const std::string& fragment, bool multi = false);

/// A host's MIDI event (a note-on unless `status` says otherwise).
inline VstMidiEvent note(std::uint8_t key, std::int32_t offset, std::uint8_t velocity = 100,
                        std::int32_t status = 0x90) {
  VstMidiEvent event{};
  event.type = kVstMidiType;
  event.byteSize = sizeof(VstMidiEvent);
  event.deltaFrames = offset;
  event.midiData[0] = static_cast<char>(status);
  event.midiData[1] = static_cast<char>(key);
  event.midiData[2] = static_cast<char>(velocity);
  return event;
}

/// A host's event list: a VstEvents head followed by as many pointers as needed.
class EventList {
 public:
  explicit EventList(std::vector<VstMidiEvent> events) : m_events(std::move(events)) {
    m_storage.resize(2 + m_events.size() + 2);
    auto* head = reinterpret_cast<VstEvents*>(m_storage.data());
    head->numEvents = static_cast<std::int32_t>(m_events.size());
    VstEvent** pointers = head->events;
    for (std::size_t i = 0; i < m_events.size(); ++i)
      pointers[i] = reinterpret_cast<VstEvent*>(&m_events[i]);
  }
  VstEvents* get() { return reinterpret_cast<VstEvents*>(m_storage.data()); }
  VstEvent** pointers() { return get()->events; }

 private:
  std::vector<VstMidiEvent> m_events;
  std::vector<std::intptr_t> m_storage;
};

/// A sandboxed installation with the reference engine, a recording host and alerts kept.
class RackTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  /// A new plug-in object bound to the recording host, as VSTPluginMain makes it.
  static AEffect* make();
  static SamplerVST& object(AEffect* effect) { return *static_cast<SamplerVST*>(effect->object); }

  /// Sends one opcode through the record's dispatcher entry.
  static std::intptr_t dispatch(AEffect* effect, std::int32_t opcode, std::int32_t index = 0,
                                std::intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f) {
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
  }

  TempDir m_data;
  RecordingAudioMaster m_host;
  vantor::RecordingAlertBackend m_alerts;
};

}  // namespace kelo::test
