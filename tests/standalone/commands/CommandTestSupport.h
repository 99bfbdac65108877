// Helpers of the command-interface tests: the reference engine installed in the sandboxed
// preference store, the program log read back, and failures echoed to the terminal while the
// program log holds the process's standard output.
#pragma once

#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "VNL/source/Config.h"
#include "VNL/source/FileUtils.h"
#include "VNL/source/ProductConf.h"
#include "engine/KeloEngineTestControl.h"
#include "standalone/engine_interface/EngineBinding.h"
#include "standalone/engine_interface/KeloEngineInterface.h"
#include "tests/support/TempDir.h"

namespace kelo::test {

/// While the command interface lives, standard output is the program log, and with it
/// GoogleTest's failure reports. This listener writes each failure to the standard output
/// the program had at start as well.
class FailureEcho : public ::testing::EmptyTestEventListener {
 public:
  static void install() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    ::testing::UnitTest::GetInstance()->listeners().Append(new FailureEcho);
  }
  void OnTestPartResult(const ::testing::TestPartResult& result) override {
    if (!result.failed()) return;
    const std::string text = std::string(result.file_name() ? result.file_name() : "?") + ":" +
                             std::to_string(result.line_number()) + ": " + result.message() + "\n";
    [[maybe_unused]] ssize_t ignored = ::write(s_terminal, text.data(), text.size());
  }

 private:
  static inline int s_terminal = ::dup(STDOUT_FILENO);
};

/// The reference engine as the player finds it: "path" names the built bundle, "base_dir" a
/// data folder with "KeloSetup.xml". Reads the engine's trace through its test control.
class InstalledEngine {
 public:
  InstalledEngine() {
    EXPECT_TRUE(writeFile(data.file("KeloSetup.xml"), "<KeloSetup version=\"1\"/>\n"));
    EXPECT_TRUE(vantor::writeConfigStringValue("com.vantor.kelo", "path", KELO_ENGINE_BUNDLE,
                                               vantor::CONFIG_LEVEL_USER));
    EXPECT_TRUE(vantor::writeConfigStringValue(
        vantor::productPreferenceDomain(conf.vendorName, conf.productName), "base_dir",
        data.path(), vantor::CONFIG_LEVEL_SYSTEM));
    // The file the bundle loads, so the same object: its test control.
    m_library = dlopen(KELO_ENGINE_SO, RTLD_NOW | RTLD_LOCAL);
    if (m_library != nullptr) {
      m_control = reinterpret_cast<KeloEngineTestControlFunction>(
          dlsym(m_library, "keloEngineTestControl"));
    }
    if (m_control != nullptr) m_control(KELO_TEST_RESET, nullptr, nullptr, 0, 0);
  }
  ~InstalledEngine() {
    if (m_library != nullptr) dlclose(m_library);
  }
  InstalledEngine(const InstalledEngine&) = delete;
  InstalledEngine& operator=(const InstalledEngine&) = delete;

  /// How many calls of `opcode` the engine has seen.
  int count(std::int32_t opcode) const {
    if (m_control == nullptr) return -1;
    std::vector<KeloTraceEntry> entries(65536);
    const auto total = m_control(KELO_TEST_READ_TRACE, nullptr, entries.data(),
                                 static_cast<std::int64_t>(entries.size()), 0);
    entries.resize(static_cast<std::size_t>(std::min<std::int64_t>(total, 65536)));
    return static_cast<int>(std::count_if(entries.begin(), entries.end(),
                                          [&](const KeloTraceEntry& e) { return e.opcode == opcode; }));
  }
  /// Host obligations the engine found broken.
  std::int64_t findings() const {
    KeloFinding none[1];
    return m_control != nullptr ? m_control(KELO_TEST_READ_FINDINGS, nullptr, none, 0, 0) : -1;
  }

  TempDir data;

 private:
  void* m_library = nullptr;
  KeloEngineTestControlFunction m_control = nullptr;
};

/// The task ids of this process's threads, in ascending order.
inline std::vector<long> threadIds() {
  std::vector<long> ids;
  if (DIR* tasks = ::opendir("/proc/self/task")) {
    while (const dirent* entry = ::readdir(tasks)) {
      if (entry->d_name[0] != '.') ids.push_back(std::atol(entry->d_name));
    }
    ::closedir(tasks);
  }
  std::sort(ids.begin(), ids.end());
  return ids;
}

/// The program log's path for this product, in the sandbox's user data folder.
inline std::string programLogPath() {
  return ::setUserPathVendorProduct(conf.vendorName, conf.productName) + "/" +
         conf.productName + " Standalone.log";
}

/// The information lines of `text` without their level, thread and time: "I:tid:us:TEXT".
inline std::vector<std::string> infoTexts(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    if (line.rfind("I:", 0) == 0) {
      const std::size_t second = line.find(':', 2);
      const std::size_t third = second == std::string::npos ? second : line.find(':', second + 1);
      if (third != std::string::npos) out.push_back(line.substr(third + 1));
    }
    start = end + 1;
  }
  return out;
}

}  // namespace kelo::test

#include <sys/wait.h>

#include <cstdio>

namespace kelo::test {

/// What the driver program printed and how it ended.
struct DriverRun {
  int status = -1;  ///< exit status, -1 when it did not exit normally
  std::string output;  ///< standard output and standard error, after the back end's log closed
};

/// Runs kelo-backend-driver with `arguments` (each quoted for the shell) and collects its
/// standard output. Its JACK clients reach only the server `jackServer` (the test's private one,
/// or unusedJackServerName()) and start none: never the JACK server of the machine's user. The
/// rest of its environment is this process's.
inline DriverRun runDriver(const std::string& jackServer,
                           const std::vector<std::string>& arguments) {
  std::string line = "JACK_NO_START_SERVER=1 JACK_DEFAULT_SERVER='" + jackServer + "' '" +
                     KELO_BACKEND_DRIVER + "'";
  for (const std::string& argument : arguments) line += " '" + argument + "'";
  line += " 2>&1";
  DriverRun run;
  FILE* pipe = ::popen(line.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, got);
  const int status = ::pclose(pipe);
  if (status != -1 && WIFEXITED(status)) run.status = WEXITSTATUS(status);
  return run;
}

}  // namespace kelo::test
