// What the KeloRack tests share: the engine installed through a sandboxed preference store,
// the reference engine's test control (trace and findings of the engine the plug-in loads),
// the plug-in's own log file and a recording host.
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
#include "tests/support/vst/VstEventList.h"

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

/// The plug-in's log file in the sandbox, and the texts of its lines of `level` since the log
/// last opened.
std::string pluginLogPath(bool multi = false);
std::vector<std::string> pluginLog(char level, bool multi = false);
/// True when a line of `level` holds `fragment`; count of such lines.
std::size_t pluginLogCount(char level, const std::string& fragment, bool multi = false);

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
