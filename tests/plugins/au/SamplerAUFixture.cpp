#include "tests/plugins/au/SamplerAUFixture.h"

#include <algorithm>

#include "VNL/source/Config.h"
#include "VNL/source/FileUtils.h"
#include "tests/support/LogCapture.h"
#include "tests/support/PreferenceSandbox.h"

namespace kelo::test {

KELO_PREFERENCE_SANDBOX();

namespace {

KeloEngineTestControlFunction engineControl() {
  static const auto control =
      reinterpret_cast<KeloEngineTestControlFunction>(bundleFunction(KELO_ENGINE_BUNDLE, "keloEngineTestControl"));
  return control;
}

}  // namespace

void SamplerAUFixture::SetUp() {
  requirePreferenceSandbox();
  PreferenceSandbox::clear();
  vantor::setAlertBackend(&m_alerts);
  ASSERT_TRUE(writeFile(m_data.file("KeloSetup.xml"), "<KeloSetup/>\n"));
  ASSERT_NE(engineControl(), nullptr);
  control(KELO_TEST_RESET);
}

void SamplerAUFixture::TearDown() {
  vantor::setAlertBackend(nullptr);
  control(KELO_TEST_RESET);
}

void SamplerAUFixture::installEngine() {
  writeDataFolder(m_data.path());
  writeEnginePath(KELO_ENGINE_BUNDLE);
}

void SamplerAUFixture::writeDataFolder(const std::string& folder) {
  ASSERT_TRUE(vantor::writeConfigStringValue("com.Sorvelin.KELO Player", "base_dir", folder, vantor::CONFIG_LEVEL_USER));
}

void SamplerAUFixture::writeEnginePath(const std::string& path) {
  ASSERT_TRUE(vantor::writeConfigStringValue("com.vantor.kelo", "path", path, vantor::CONFIG_LEVEL_USER));
}

std::int64_t SamplerAUFixture::control(std::int32_t command, void* handle, void* pointer, std::int64_t a,
                                       std::int64_t b) {
  return engineControl()(command, handle, pointer, a, b);
}

std::vector<KeloTraceEntry> SamplerAUFixture::trace() {
  std::vector<KeloTraceEntry> entries(4096);
  const auto count = control(KELO_TEST_READ_TRACE, nullptr, entries.data(), static_cast<std::int64_t>(entries.size()));
  entries.resize(static_cast<std::size_t>(std::min<std::int64_t>(count, 4096)));
  return entries;
}

std::vector<KeloFinding> SamplerAUFixture::findings() {
  std::vector<KeloFinding> entries(256);
  const auto count = control(KELO_TEST_READ_FINDINGS, nullptr, entries.data(), 256);
  entries.resize(static_cast<std::size_t>(std::min<std::int64_t>(count, 256)));
  return entries;
}

std::vector<std::int32_t> SamplerAUFixture::opcodes() {
  std::vector<std::int32_t> out;
  for (const KeloTraceEntry& entry : trace()) out.push_back(entry.opcode);
  return out;
}

std::string SamplerAUFixture::log() const {
  std::string host = PGetCurrentApplicationPath(nullptr);
  host = host.substr(host.rfind('/') + 1);
  return sinceLastOpening(readFile(PreferenceSandbox::home() +
                                   "/.local/share/Sorvelin/KELO Player/KELO PlayerAU_" + host +
                                   ".log"));
}

bool SamplerAUFixture::logHas(char level, const std::string& fragment) const {
  for (const std::string& text : logLineTexts(log(), level))
    if (text.find(fragment) != std::string::npos) return true;
  return false;
}

int SamplerAUFixture::logCount(const std::string& fragment) const {
  const std::string all = log();
  int count = 0;
  for (std::size_t at = all.find(fragment); at != std::string::npos; at = all.find(fragment, at + 1)) ++count;
  return count;
}

std::unique_ptr<AUTestHost> SamplerAUFixture::openHost(UInt32 buses, UInt32 channels) {
  auto host = std::make_unique<AUTestHost>(&samplerFactory);
  EXPECT_EQ(host->openResult(), noErr);
  if (buses != 1) {
    EXPECT_EQ(host->setBusCount(buses), noErr);
  }
  for (UInt32 bus = 0; bus < buses; ++bus) {
    EXPECT_EQ(host->setOutputFormat(bus, channels, 48000.0), noErr);
  }
  EXPECT_EQ(host->setMaxFrames(512), noErr);
  return host;
}

bool allZero(const std::vector<float>& buffer) {
  return std::all_of(buffer.begin(), buffer.end(), [](float sample) { return sample == 0.0f; });
}

bool anyNonZero(const std::vector<float>& buffer) {
  return std::any_of(buffer.begin(), buffer.end(), [](float sample) { return sample != 0.0f && sample == sample; });
}

}  // namespace kelo::test
