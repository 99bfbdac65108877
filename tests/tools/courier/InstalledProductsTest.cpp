// The support tool after the installation scripts, as a new user meets it: the scripts install
// the engine, KeloRack and KeloDeck into a home of the test's own, the back end (as the player
// runs it, without windows) and a real host's plug-in scanner loading KeloRack write their logs,
// and KeloCourier, answered through KELO_COURIER_ANSWER, must find the installed products and
// gather those logs. GNU tar, gzip and md5sum judge the archive.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "VNL/source/FileUtils.h"
#include "tests/support/PreferenceSandbox.h"
#include "tests/support/RunProgram.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"

KELO_PREFERENCE_SANDBOX();

namespace kelo::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

bool holds(const std::vector<std::string>& lines, const std::string& part) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
    return line.find(part) != std::string::npos;
  });
}

std::string md5(const std::string& path) { return runProgram("md5sum", {path}).out.substr(0, 32); }

class InstalledProducts : public ::testing::Test {
 protected:
  void SetUp() override {
    requirePreferenceSandbox();
    PreferenceSandbox::clear();
    m_env.set("HOME", m_home.path());
    m_env.set("XDG_DATA_HOME", m_home.file("data"));
    m_env.set("XDG_CONFIG_HOME", m_home.file("config"));
    m_env.set("VST_PATH", m_home.file("vst"));
    m_env.unset("DISPLAY");
    m_env.set("JACK_NO_START_SERVER", "1");
    fs::create_directories(m_home.file("config"));
    ASSERT_TRUE(writeFile(m_home.file("config/user-dirs.dirs"),
                          "XDG_DESKTOP_DIR=\"" + m_home.file("Desktop") + "\"\n"));
  }
  void TearDown() override { PreferenceSandbox::clear(); }

  void install(const char* script) {
    std::string errors;
    const ProgramRun run = runProgram(
        "bash", {std::string(KELO_SOURCE_DIR) + "/scripts/" + script, KELO_BUILD_DIR}, errors);
    ASSERT_EQ(run.status, 0) << script << ": " << run.out << errors;
  }
  std::string productFolder() const { return m_home.file("data/Sorvelin/KELO Player"); }

  TempDir m_home;
  ScopedEnvironment m_env;
};

TEST_F(InstalledProducts, TheCourierGathersTheLogsOfWhatTheScriptsInstalled) {
  install("install-vst");
  install("install-kelodeck");
  install("install-kelodeck");  // again, over the first installation

  // A session of the player's back end writes its log into the product's folder.
  const ProgramRun render =
      runProgram(KELO_BACKEND_DRIVER, {"render", KELO_DEMO_MIDI, m_home.file("demo.aiff")});
  ASSERT_EQ(render.status, 0) << render.out;
  // A host loads KeloRack: the plug-in writes its log there too.
  const ProgramRun scan = runProgram(
      "sh", {"-c",
             "printf 'VST:%s\\n' \"$1\" | env " KELO_SCAN_ENVIRONMENT " timeout 120 "
             KELO_QTRACTOR_SCANNER,
             "scan", m_home.file("vst/KeloRack.so")});
  ASSERT_EQ(scan.out.rfind("VST|KELO Player|", 0), 0u) << scan.out;
  const std::string playerLog = productFolder() + "/KELO Player Standalone.log";
  const std::string rackLog = productFolder() + "/KELO PlayerVST_qtractor_plugin_scan.log";
  for (const std::string& log : {playerLog, rackLog}) ASSERT_TRUE(fs::is_regular_file(log)) << log;
  const std::string playerMd5 = md5(playerLog);
  const std::string rackMd5 = md5(rackLog);

  std::string errors;
  m_env.set("KELO_COURIER_ANSWER", "ok");
  ASSERT_EQ(runProgram(KELO_COURIER_PROGRAM, {}, errors).status, 0) << errors;

  const std::string archive = m_home.file("Desktop/Kelo logs " + getUserName() + ".tar.gz");
  EXPECT_EQ(runProgram("gzip", {"-t", archive}).status, 0);
  const std::vector<std::string> members = lines(runProgram("tar", {"-tzf", archive}).out);
  ASSERT_FALSE(members.empty());
  EXPECT_EQ(members[0], "KeloCourier.log");
  TempDir out;
  ASSERT_EQ(runProgram("tar", {"-xzf", archive, "-C", out.path()}).status, 0);
  const struct {
    std::string source;
    std::string md5;
  } gathered[] = {{playerLog, playerMd5}, {rackLog, rackMd5}};
  for (const auto& log : gathered) {
    const std::string name = fs::path(log.source).filename().string();
    EXPECT_NE(std::find(members.begin(), members.end(), name), members.end()) << name;
    EXPECT_EQ(md5(out.file(name)), log.md5) << name;
    EXPECT_FALSE(fs::exists(log.source)) << "moved into the archive: " << name;
  }

  // The report lists both products under the names of their log folder, and the engine.
  const std::vector<std::string> report = lines(readFile(out.file("KeloCourier.log")));
  const std::string engine = m_home.file("data/vantor/KeloEngine.bundle");
  for (const std::string& part :
       {std::string("  KeloDeck"), std::string("  KeloRack"),
        std::string("    key    : Products.KeloDeck.product"), std::string("    value  : KELO Player"),
        std::string("    key    : Products.KeloRack.vendor"), std::string("    value  : Sorvelin"),
        std::string("    config : com.Sorvelin.KELO Player"),
        "    value  : " + m_home.file("data/vantor/KeloData"), "    value  : " + engine,
        "    value  : " + m_home.file("data/vantor"),
        std::string("  Version : 1.0.56"), "    " + playerLog})
    EXPECT_TRUE(holds(report, part)) << part;
  EXPECT_FALSE(holds(report, "Not found.")) << "every value the tool reads is installed";
}

// The scripts list their products beside what is there, and change no value they do not own.
TEST_F(InstalledProducts, InstallingKeepsWhatTheUserSet) {
  const std::string defaults = std::string(KELO_BUILD_DIR) + "/bin/kelo-defaults";
  ASSERT_EQ(runProgram(defaults, {"--host", "--path", "write", "com.vantor.kelo",
                                  "Products/Other/vendor", "Acme"})
                .status,
            0);
  ASSERT_EQ(runProgram(defaults, {"write", "com.Sorvelin.KELO PlayerSA", "samplerate", "--int",
                                  "48000"})
                .status,
            0);
  install("install-kelodeck");
  EXPECT_EQ(runProgram(defaults, {"--host", "--path", "read", "com.vantor.kelo",
                                  "Products/Other/vendor"})
                .out,
            "Acme\n");
  EXPECT_EQ(runProgram(defaults, {"--host", "--path", "read", "com.vantor.kelo",
                                  "Products/KeloDeck/vendor"})
                .out,
            "Sorvelin\n");
  EXPECT_EQ(runProgram(defaults, {"read", "com.Sorvelin.KELO PlayerSA", "samplerate"}).out,
            "48000\n");
}

}  // namespace
}  // namespace kelo::test
