// Drives SamplerAU through the test host, with the reference engine installed in a sandboxed
// preference store (or a chosen part of it missing), its test control at hand and the
// plug-in's log file read back.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "VNL/source/Alerts.h"
#include "engine/KeloEngineTestControl.h"
#include "platform/audiounit/AUComponent.h"
#include "plugins/au/SamplerAU.h"
#include "tests/support/TempDir.h"
#include "tests/support/audiounit/AUTestHost.h"

namespace kelo::test {

inline AudioComponentPlugInInterface* samplerFactory(const AudioComponentDescription* description) {
  return kelo::au::AUMusicDeviceFactory<SamplerAU>::Factory(description);
}

class SamplerAUFixture : public ::testing::Test {
 public:
  void SetUp() override;
  void TearDown() override;

  /// Writes "base_dir" (the fixture's data folder) and "path" (the reference engine).
  void installEngine();
  void writeDataFolder(const std::string& folder);
  void writeEnginePath(const std::string& path);

  std::int64_t control(std::int32_t command, void* handle = nullptr, void* pointer = nullptr,
                       std::int64_t a = 0, std::int64_t b = 0);
  std::vector<KeloTraceEntry> trace();
  std::vector<KeloFinding> findings();
  /// Opcodes of the trace, in order.
  std::vector<std::int32_t> opcodes();

  /// The plug-in's log file as it stands since it last opened.
  std::string log() const;
  /// True when a line of `level` ('I', 'E') holds `fragment`.
  bool logHas(char level, const std::string& fragment) const;
  int logCount(const std::string& fragment) const;

  /// A host with the unit open, 48 kHz, at most 512 frames, on `buses` buses of `channels`.
  std::unique_ptr<AUTestHost> openHost(UInt32 buses = 1, UInt32 channels = 2);

  vantor::RecordingAlertBackend m_alerts;
  TempDir m_data;
};

/// The output buffer holds only zeros (no NaN, nothing played).
bool allZero(const std::vector<float>& buffer);
bool anyNonZero(const std::vector<float>& buffer);

}  // namespace kelo::test
