#include "tests/plugins/vst/RackFixture.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>

#include "VNL/source/Config.h"
#include "tests/support/LogCapture.h"
#include "tests/support/PreferenceSandbox.h"

KELO_PREFERENCE_SANDBOX();

namespace kelo::test {

KeloEngineTestControlFunction engineControl() {
  static KeloEngineTestControlFunction control = [] {
    void* library = ::dlopen(KELO_ENGINE_SO, RTLD_NOW | RTLD_LOCAL);
    return library ? reinterpret_cast<KeloEngineTestControlFunction>(
                         ::dlsym(library, "keloEngineTestControl"))
                   : nullptr;
  }();
  if (!control) {
    std::fprintf(stderr, "cannot load the reference engine %s\n", KELO_ENGINE_SO);
    std::abort();
  }
  return control;
}

namespace {

/// Everything the engine's test control holds of one kind (trace or findings).
template <typename Record>
std::vector<Record> readAll(KeloEngineTestCommand command, std::size_t capacity) {
  std::vector<Record> records(capacity);
  const std::int64_t n = engineControl()(command, nullptr, records.data(),
                                         static_cast<std::int64_t>(capacity), 0);
  records.resize(std::min(static_cast<std::size_t>(n), capacity));
  return records;
}

}  // namespace

std::vector<KeloTraceEntry> engineTrace() {
  return readAll<KeloTraceEntry>(KELO_TEST_READ_TRACE, 65536);
}

std::vector<KeloFinding> engineFindings() {
  return readAll<KeloFinding>(KELO_TEST_READ_FINDINGS, 1024);
}

std::vector<std::int32_t> engineOpcodes() {
  std::vector<std::int32_t> opcodes;
  for (const KeloTraceEntry& entry : engineTrace()) opcodes.push_back(entry.opcode);
  return opcodes;
}

std::size_t countOpcode(std::int32_t opcode) {
  std::size_t n = 0;
  for (std::int32_t each : engineOpcodes()) n += each == opcode;
  return n;
}

void installEngine(const std::string& dataFolder, const std::string& enginePath) {
  if (!dataFolder.empty()) {
    ASSERT_TRUE(vantor::writeConfigStringValue("com.Sorvelin.KELO Player", "base_dir", dataFolder,
                                               vantor::CONFIG_LEVEL_USER));
  }
  if (!enginePath.empty()) {
    ASSERT_TRUE(vantor::writeConfigStringValue("com.vantor.kelo", "path", enginePath,
                                               vantor::CONFIG_LEVEL_USER));
  }
}

std::string pluginLogPath(bool multi) {
  return PreferenceSandbox::home() + "/.local/share/Sorvelin/KELO Player/KELO PlayerVST_" +
         program_invocation_short_name + (multi ? "_Multi" : "") + ".log";
}

std::vector<std::string> pluginLog(char level, bool multi) {
  return logLineTexts(sinceLastOpening(readFile(pluginLogPath(multi))), level);
}

std::size_t pluginLogCount(char level, const std::string& fragment, bool multi) {
  std::size_t n = 0;
  for (const std::string& line : pluginLog(level, multi))
    n += line.find(fragment) != std::string::npos;
  return n;
}

AEffect* RackTest::make() { return (new SamplerVST(RecordingAudioMaster::callback))->getAeffect(); }

void RackTest::SetUp() {
  requirePreferenceSandbox();
  PreferenceSandbox::clear();
  vantor::setAlertBackend(&m_alerts);
  ASSERT_TRUE(writeFile(m_data.file("KeloSetup.xml"), "<KeloSetup version=\"1\">\n</KeloSetup>\n"));
  installEngine(m_data.path(), KELO_ENGINE_BUNDLE);
  engineControl()(KELO_TEST_RESET, nullptr, nullptr, 0, 0);
}

void RackTest::TearDown() {
  vantor::setAlertBackend(nullptr);
  engineControl()(KELO_TEST_RESET, nullptr, nullptr, 0, 0);
}

}  // namespace kelo::test
