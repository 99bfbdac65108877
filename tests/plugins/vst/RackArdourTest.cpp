// Debian's Ardour 7 as a musician runs it, headless: both builds installed by scripts/install-vst
// alone, found on the Linux VST path that the script set in Ardour's configuration once Ardour's
// own scanner has indexed them, played on MIDI tracks of a session on the Dummy back end, and the
// session saved and loaded again with the plug-ins' state. Label host: Ardour loads the plug-ins only from a build without sanitizers.
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/plugins/vst/RackFixture.h"
#include "tests/support/PreferenceSandbox.h"
#include "tests/support/RunProgram.h"
#include "tests/support/ScopedEnvironment.h"

namespace kelo::test {
namespace {

const std::string kArdourLua = "/usr/bin/ardour7-lua";
const std::string kArdourLibraries = "/usr/lib/ardour7";
const std::string kArdourScanner = kArdourLibraries + "/ardour-vst-scanner";
const std::string kSessionScript =
    std::string(KELO_SOURCE_DIR) + "/tests/plugins/vst/ardour-session.lua";

std::string base64(const std::uint8_t* bytes, std::size_t size) {
  static const char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (std::size_t i = 0; i < size; i += 3) {
    const std::size_t n = std::min<std::size_t>(3, size - i);
    std::uint32_t group = std::uint32_t{bytes[i]} << 16;
    if (n > 1) group |= std::uint32_t{bytes[i + 1]} << 8;
    if (n > 2) group |= bytes[i + 2];
    for (std::size_t k = 0; k < 4; ++k)
      text += k <= n ? kDigits[(group >> (18 - 6 * k)) & 63] : '=';
  }
  return text;
}

/// The session script's lines "<key>|<field>|...", by key.
std::map<std::string, std::vector<std::string>> reportOf(const std::string& output) {
  std::map<std::string, std::vector<std::string>> report;
  std::size_t start = 0;
  for (std::size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1) {
    std::vector<std::string> fields;
    const std::string line = output.substr(start, end - start);
    for (std::size_t at = 0, bar; at <= line.size(); at = bar + 1) {
      bar = line.find('|', at);
      if (bar == std::string::npos) bar = line.size();
      fields.push_back(line.substr(at, bar - at));
    }
    const std::string key = fields.front();
    fields.erase(fields.begin());
    report[key] = fields;
  }
  return report;
}

/// A level the script printed, in dBFS ("-inf" for silence).
double level(const std::vector<std::string>& fields, std::size_t index) {
  return index < fields.size() ? std::strtod(fields[index].c_str(), nullptr) : 0.0;
}

/// Ardour takes a cache entry only when it is newer, in whole seconds, than the plug-in file:
/// a scan in the second of the copy would be ignored. Waits for the next second.
void waitForTheSecondAfter(const std::string& file) {
  struct stat status {};
  ASSERT_EQ(::stat(file.c_str(), &status), 0) << file;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::time(nullptr) <= status.st_mtime && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_GT(std::time(nullptr), status.st_mtime);
}

class RackArdourTest : public RackTest {
 protected:
  /// The session script in ardour7-lua, bounded in time; its report.
  static std::map<std::string, std::vector<std::string>> session(const std::string& mode,
                                                                 const std::string& folder) {
    std::string errors;
    const ProgramRun run =
        runProgram("timeout", {"180", kArdourLua, kSessionScript, mode, folder, "kelo"}, errors);
    auto report = reportOf(run.out);
    // After "unmade" the script exits at once, and Ardour's teardown of the half-made session
    // now and then crashes on the way out (as closing it does): only a made session's ending
    // is checked, the caller makes a new one.
    if (report.count("unmade") == 0) {
      EXPECT_EQ(run.status, 0) << run.out << errors;
      EXPECT_EQ(report.count("closed"), 1u) << run.out << errors;
    }
    return report;
  }
  /// The state chunk of a stereo plug-in whose volume is all the way down, as a host gets it.
  static std::string silentChunk() {
    AEffect* effect = make();
    dispatch(effect, effMainsChanged, 0, 1);
    effect->setParameter(effect, 0, 0.0f);  // the engine's volume
    void* chunk = nullptr;
    const std::intptr_t size = dispatch(effect, effGetChunk, 0, 0, &chunk);
    const std::string text =
        chunk && size > 0 ? base64(static_cast<const std::uint8_t*>(chunk), size) : "";
    dispatch(effect, effClose);
    return text;
  }
};

TEST_F(RackArdourTest, BothBuildsPlayInAHeadlessSessionAndComeBackWithTheirState) {
  if (!std::filesystem::exists(kArdourLua) || !std::filesystem::exists(kArdourScanner))
    GTEST_SKIP() << "Debian's Ardour 7 is not installed (scripts/setup installs it)";
  ScopedEnvironment environment;
  environment.unset("VST_PATH");
  environment.unset("LXVST_PATH");
  std::string errors;
  const ProgramRun install =
      runProgram(std::string(KELO_SOURCE_DIR) + "/scripts/install-vst", {KELO_BUILD_DIR}, errors);
  ASSERT_EQ(install.status, 0) << install.out << errors;
  const std::string said = "Installed KeloRack.so and KeloRack-Multi.so in ";
  const std::size_t at = install.out.find(said);
  ASSERT_NE(at, std::string::npos) << install.out;
  const std::string folder =
      install.out.substr(at + said.size(), install.out.find('\n', at) - at - said.size());

  // Ardour's scanner indexes each file (Ardour starts it with its own library folder).
  for (const char* file : {"KeloRack.so", "KeloRack-Multi.so"}) {
    SCOPED_TRACE(file);
    waitForTheSecondAfter(folder + "/" + file);
    environment.set("LD_LIBRARY_PATH", kArdourLibraries);
    std::string scanned;
    const ProgramRun scan =
        runProgram("timeout", {"120", kArdourScanner, folder + "/" + file}, scanned);
    environment.unset("LD_LIBRARY_PATH");
    EXPECT_EQ(scan.status, 0) << scan.out << scanned;
    EXPECT_NE((scan.out + scanned).find("Found Plugin"), std::string::npos) << scan.out << scanned;
  }

  // A new session: each build on a MIDI track, silent until a note, then sounding.
  // Headless Ardour 7.3 now and then fails to make a track (its own instruments too): the
  // script then says so and a new session is made, at most three times.
  TempDir sessions;
  std::string sessionFolder;
  std::map<std::string, std::vector<std::string>> created;
  for (int attempt = 0; attempt < 3; ++attempt) {
    sessionFolder = sessions.file("kelo" + std::to_string(attempt));
    created = session("create", sessionFolder);
    if (created.count("unmade") == 0) break;
  }
  ASSERT_EQ(created.count("unmade"), 0u);
  struct Track {
    const char* name;
    const char* plugin;
  };
  const Track tracks[] = {{"KeloRack", "KELO Player"},
                          {"KeloRack-Multi", "KELO Player (Multi)"}};
  for (const Track& track : tracks) {
    SCOPED_TRACE(track.name);
    const auto plugin = created.find(std::string("plugin ") + track.name);
    ASSERT_NE(plugin, created.end());
    EXPECT_EQ(plugin->second, std::vector<std::string>{track.plugin});
    const auto peak = created.find(std::string("peak ") + track.name);
    ASSERT_NE(peak, created.end());
    EXPECT_LT(level(peak->second, 0), -120.0);
    EXPECT_GT(level(peak->second, 1), -60.0);
  }

  // The stereo build's saved state becomes one with the volume down, as if the musician had
  // turned it down before saving; loaded again, that track stays silent while the other plays.
  const std::string file = sessionFolder + "/kelo.ardour";
  std::string xml = readFile(file);
  const std::string open = "<chunk program=\"0\">";
  // The stereo build's track: a route's name is followed by its default type, an IO's is not.
  const std::size_t route = xml.find("name=\"KeloRack\" default-type=");
  ASSERT_NE(route, std::string::npos);
  const std::size_t chunkStart = xml.find(open, route);
  ASSERT_NE(chunkStart, std::string::npos) << "no state saved for the stereo build";
  const std::size_t chunkEnd = xml.find("</chunk>", chunkStart);
  ASSERT_NE(chunkEnd, std::string::npos);
  const std::string chunk = silentChunk();
  ASSERT_FALSE(chunk.empty());
  xml.replace(chunkStart + open.size(), chunkEnd - chunkStart - open.size(), chunk);
  ASSERT_TRUE(writeFile(file, xml));

  const auto restored = session("restore", sessionFolder);
  for (const Track& track : tracks) {
    SCOPED_TRACE(track.name);
    const auto plugin = restored.find(std::string("plugin ") + track.name);
    ASSERT_NE(plugin, restored.end());
    EXPECT_EQ(plugin->second, std::vector<std::string>{track.plugin});
  }
  const auto multi = restored.find("peak KeloRack-Multi");
  const auto stereo = restored.find("peak KeloRack");
  ASSERT_NE(multi, restored.end());
  ASSERT_NE(stereo, restored.end());
  EXPECT_GT(level(multi->second, 1), -60.0);
  EXPECT_LT(level(stereo->second, 1), -120.0);
}

}  // namespace
}  // namespace kelo::test
