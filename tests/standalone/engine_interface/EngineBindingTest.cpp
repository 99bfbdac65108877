#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "VNL/source/Alerts.h"
#include "VNL/source/Config.h"
#include "VNL/source/LogLine.h"
#include "standalone/engine_interface/EngineBinding.h"
#include "standalone/engine_interface/EngineVersion.h"
#include "tests/support/LogCapture.h"
#include "tests/support/PreferenceSandbox.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"

KELO_PREFERENCE_SANDBOX();

namespace {

constexpr const char* kVendor = "Sorvelin";
constexpr const char* kProduct = "KELO Player";
constexpr const char* kProductDomain = "com.Sorvelin.KELO Player";

class EngineBindingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kelo::test::requirePreferenceSandbox();
    kelo::test::PreferenceSandbox::clear();
    vantor::setAlertBackend(&m_alerts);
    ASSERT_TRUE(kelo::test::writeFile(m_data.file("KeloSetup.xml"), "<KeloSetup/>\n"));
  }
  void TearDown() override { vantor::setAlertBackend(nullptr); }

  void install(const std::string& enginePath) {
    ASSERT_TRUE(vantor::writeConfigStringValue(kProductDomain, "base_dir", m_data.path(),
                                               vantor::CONFIG_LEVEL_USER));
    ASSERT_TRUE(vantor::writeConfigStringValue("com.vantor.kelo", "path", enginePath,
                                               vantor::CONFIG_LEVEL_USER));
  }

  vantor::RecordingAlertBackend m_alerts;
  kelo::test::TempDir m_data;
};

TEST_F(EngineBindingTest, BindsTheInstalledEngineAndCreatesAnInstance) {
  install(KELO_ENGINE_BUNDLE);
  kelo::test::LogCapture log;
  vantor::EngineBinding binding;
  ASSERT_EQ(vantor::bindEngine(kVendor, kProduct, vantor::CONFIG_LEVEL_USER, binding),
            vantor::EngineBindingFailure::None);
  EXPECT_EQ(binding.dataFolder, m_data.path());
  EXPECT_EQ(binding.enginePath, KELO_ENGINE_BUNDLE);
  ASSERT_NE(binding.entry, nullptr);
  EXPECT_TRUE(log.texts('E').empty());
  EXPECT_TRUE(m_alerts.shown().empty());

  EXPECT_EQ(vantor::fetchEngineVersion(binding.entry).number, 1056);
  EngineCreateInfo info{0, 2, kKeloHostConstantStandalone, binding.dataFolder.c_str()};
  void* instance = nullptr;
  ASSERT_EQ(binding.entry(nullptr, KELO_OP_INSTANCE_CREATE, &info, &instance, nullptr, 0, 0, 0, 0),
            0);
  ASSERT_NE(instance, nullptr);
  EXPECT_EQ(binding.entry(instance, KELO_OP_INSTANCE_DESTROY, nullptr, nullptr, nullptr, 0, 0, 0,
                          0),
            0);
  vantor::releaseEngineBinding(binding);
  EXPECT_EQ(binding.entry, nullptr);
}

TEST_F(EngineBindingTest, TakesTheEnginePathAsItsBytes) {
  const kelo::test::TempDir place;
  const std::string path = place.file("Kélo Engine ü.bundle");
  std::filesystem::create_directory_symlink(KELO_ENGINE_BUNDLE, path);
  install(path);
  vantor::EngineBinding binding;
  ASSERT_EQ(vantor::bindEngine(kVendor, kProduct, vantor::CONFIG_LEVEL_SYSTEM, binding),
            vantor::EngineBindingFailure::None);
  EXPECT_NE(binding.entry, nullptr);
  vantor::releaseEngineBinding(binding);
}

TEST_F(EngineBindingTest, EachFailureLogsOneLineAndShowsItsAlert) {
  const kelo::test::TempDir notABundle;
  struct Case {
    const char* what;
    bool dataFolder;
    std::string enginePath;  // empty: none stored
    vantor::EngineBindingFailure failure;
    std::string logText;
    const char* alertText;
  };
  const std::string missing = notABundle.file("Missing.bundle");
  const Case cases[] = {
      {"no base_dir", false, KELO_ENGINE_BUNDLE, vantor::EngineBindingFailure::DataFolder,
       "Can't get base_dir from configuration", "Cannot find data installation, please re-install"},
      {"no path", true, "", vantor::EngineBindingFailure::EnginePath,
       "Can't get path from configuration", "Cannot find engine installation, please re-install"},
      {"nothing at the path", true, missing, vantor::EngineBindingFailure::EngineFile,
       "Can't load engine bundle from : " + missing, "Cannot find engine file, please re-install"},
      {"a folder that is no bundle", true, notABundle.path(),
       vantor::EngineBindingFailure::EngineFile, "Can't load engine bundle from : " + notABundle.path(),
       "Cannot find engine file, please re-install"},
      {"no keloOpcode", true, NOT_AN_ENGINE_BUNDLE, vantor::EngineBindingFailure::EntryPoint,
       "CFBundleGetFunctionPointerForName failed for keloOpcode",
       "Cannot connect to engine, please re-install"},
  };
  for (const Case& c : cases) {
    kelo::test::PreferenceSandbox::clear();
    vantor::RecordingAlertBackend alerts;
    vantor::setAlertBackend(&alerts);
    if (c.dataFolder) {
      ASSERT_TRUE(vantor::writeConfigStringValue(kProductDomain, "base_dir", m_data.path(),
                                                 vantor::CONFIG_LEVEL_USER));
    }
    if (!c.enginePath.empty()) {
      ASSERT_TRUE(vantor::writeConfigStringValue("com.vantor.kelo", "path", c.enginePath,
                                                 vantor::CONFIG_LEVEL_USER));
    }
    kelo::test::LogCapture log;
    vantor::EngineBinding binding;
    EXPECT_EQ(vantor::bindEngine(kVendor, kProduct, vantor::CONFIG_LEVEL_USER, binding), c.failure)
        << c.what;
    EXPECT_EQ(binding.entry, nullptr) << c.what;
    EXPECT_EQ(log.texts('E'), std::vector<std::string>{c.logText}) << c.what;
    ASSERT_EQ(alerts.shown().size(), 1u) << c.what;
    EXPECT_EQ(alerts.shown()[0].title, "Sorvelin KELO Player");
    EXPECT_EQ(alerts.shown()[0].text, c.alertText);
    vantor::releaseEngineBinding(binding);
  }
}

TEST_F(EngineBindingTest, TheStandaloneEndsCleanlyAfterTheAlert) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(vantor::bindEngineOrExit(kVendor, kProduct), ::testing::ExitedWithCode(0), "");
  install(KELO_ENGINE_BUNDLE);
  vantor::EngineBinding binding = vantor::bindEngineOrExit(kVendor, kProduct);
  EXPECT_NE(binding.entry, nullptr);
  vantor::releaseEngineBinding(binding);
}

TEST_F(EngineBindingTest, TheInstallScriptMakesTheEngineBindable) {
  const kelo::test::TempDir dataHome;
  kelo::test::ScopedEnvironment environment;
  environment.set("XDG_DATA_HOME", dataHome.path());
  const std::string command = std::string("bash '") + KELO_SOURCE_DIR +
                              "/scripts/install-engine' '" + KELO_BUILD_DIR + "' >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  ASSERT_EQ(std::system(command.c_str()), 0);  // again, over the first installation

  vantor::EngineBinding binding;
  ASSERT_EQ(vantor::bindEngine(kVendor, kProduct, vantor::CONFIG_LEVEL_USER, binding),
            vantor::EngineBindingFailure::None);
  EXPECT_EQ(binding.enginePath, dataHome.path() + "/vantor/KeloEngine.bundle");
  EXPECT_EQ(binding.dataFolder, dataHome.path() + "/vantor/KeloData");
  EngineCreateInfo info{0, 2, kKeloHostConstantStandalone, binding.dataFolder.c_str()};
  void* instance = nullptr;
  ASSERT_EQ(binding.entry(nullptr, KELO_OP_INSTANCE_CREATE, &info, &instance, nullptr, 0, 0, 0, 0),
            0);
  EXPECT_EQ(binding.entry(instance, KELO_OP_INSTANCE_DESTROY, nullptr, nullptr, nullptr, 0, 0, 0,
                          0),
            0);
  vantor::releaseEngineBinding(binding);
}

}  // namespace
