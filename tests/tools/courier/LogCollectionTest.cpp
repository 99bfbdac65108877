// KeloCourier run as a user would run it, without a display and answered through
// KELO_COURIER_ANSWER, over a home of the test's own: the installation report in its log, the
// gathered logs judged by GNU tar, gzip and md5sum, and what stays when a run cannot finish.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "VNL/source/Config.h"
#include "VNL/source/FileUtils.h"
#include "tests/support/PreferenceSandbox.h"
#include "tests/support/RunProgram.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"
#include "tests/tools/courier/CourierTestFiles.h"

KELO_PREFERENCE_SANDBOX();

namespace kelo::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDomain = "com.vantor.kelo";

// Every file and folder below `folder`, with the bytes of each file.
std::map<std::string, std::string> snapshot(const std::string& folder) {
  std::map<std::string, std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string relative = fs::relative(entry.path(), folder).string();
    entries[relative] = entry.is_directory() ? "<folder>" : readFile(entry.path().string());
  }
  return entries;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// The text after the "I:thread:micros:" or "E:..." prefix of each log line.
std::vector<std::string> logTexts(const std::string& log) {
  std::vector<std::string> texts;
  for (const std::string& line : lines(log)) {
    std::size_t at = 0;
    for (int colon = 0; colon < 3 && at != std::string::npos; ++colon) at = line.find(':', at + 1);
    texts.push_back(at == std::string::npos ? line : line.substr(at + 1));
  }
  return texts;
}

std::string md5Upper(const std::string& path) {
  std::string digest = runProgram("md5sum", {path}).out.substr(0, 32);
  for (char& c : digest) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return digest;
}

class LogCollection : public ::testing::Test {
 protected:
  void SetUp() override {
    requirePreferenceSandbox();
    PreferenceSandbox::clear();
    fs::create_directories(m_dir.file("config"));
    fs::create_directories(m_dir.file("data"));
    m_env.set("XDG_DATA_HOME", m_dir.file("data"));
    m_env.set("XDG_CONFIG_HOME", m_dir.file("config"));
    m_env.unset("DISPLAY");
    m_env.set("KELO_COURIER_ANSWER", "ok");
    setDesktop(m_dir.file("Desktop"));
  }
  void TearDown() override { PreferenceSandbox::clear(); }

  void setDesktop(const std::string& folder) {
    m_desktop = folder;
    ASSERT_TRUE(
        writeFile(m_dir.file("config/user-dirs.dirs"), "XDG_DESKTOP_DIR=\"" + folder + "\"\n"));
  }
  std::string data(const std::string& relative) const { return m_dir.file("data/" + relative); }
  std::string toolFolder() const { return data("Vantor/KeloCourier"); }
  std::string archive() const { return m_desktop + "/Kelo logs " + getUserName() + ".tar.gz"; }

  // A log below the data folder; its bytes are remembered under `relative`.
  void putLog(const std::string& relative, const std::string& bytes) {
    fs::create_directories(fs::path(data(relative)).parent_path());
    ASSERT_TRUE(writeFile(data(relative), bytes));
    m_logs[relative] = bytes;
  }
  void putProduct(const std::string& key, const char* vendor, const char* product) {
    if (vendor != nullptr) {
      ASSERT_TRUE(vantor::writeConfigStringValue(kDomain, {"Products", key, "vendor"}, vendor,
                                                 vantor::CONFIG_LEVEL_SYSTEM));
    }
    if (product != nullptr) {
      ASSERT_TRUE(vantor::writeConfigStringValue(kDomain, {"Products", key, "product"}, product,
                                                 vantor::CONFIG_LEVEL_SYSTEM));
    }
  }
  // The engine's bundle in folder form, and the two engine values naming it.
  std::string putEngine() {
    const std::string bundle = m_dir.file("apps/KeloEngine.bundle");
    fs::create_directories(bundle + "/Contents/x86_64-linux");
    fs::create_directories(bundle + "/Contents/Resources");
    EXPECT_TRUE(
        writeFile(bundle + "/Contents/Info.plist",
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n"
                  "<dict>\n<key>CFBundleExecutable</key><string>KeloEngine</string>\n"
                  "<key>CFBundleVersion</key><string>1.0.56</string>\n</dict>\n</plist>\n"));
    EXPECT_TRUE(writeFile(bundle + "/Contents/x86_64-linux/KeloEngine.so", makeBytes(70000, 5)));
    EXPECT_TRUE(writeFile(bundle + "/Contents/Resources/Voices.txt", makeBytes(1234)));
    EXPECT_TRUE(vantor::writeConfigStringValue(kDomain, "path", bundle, vantor::CONFIG_LEVEL_USER));
    EXPECT_TRUE(vantor::writeConfigStringValue(kDomain, "base_dir", m_dir.file("content"),
                                               vantor::CONFIG_LEVEL_USER));
    return bundle;
  }
  // The engine's logs and two products sharing a log name; a product log named like ours.
  void putInstallation() {
    putProduct("Alpha", "Acme", "Piano");
    putProduct("Beta", "Sorvelin", "Strings");
    ASSERT_TRUE(vantor::writeConfigStringValue("com.Acme.Piano", "base_dir", "/opt/acme",
                                               vantor::CONFIG_LEVEL_USER));
    putLog("Vantor/Kelo/Kelo.log", "engine session\n");
    putLog("Vantor/Kelo/old/Engine-1.log", makeBytes(3000, 7));
    putLog("Acme/Piano/App.log", "piano app\n");
    putLog("Sorvelin/Strings/App.log", makeBytes(1025));
    putLog("Sorvelin/Strings/KeloCourier.log", "a product's own log of that name\n");
  }

  ProgramRun runCourier() { return runProgram(KELO_COURIER_PROGRAM, {}, m_errors); }

  // Members as GNU tar lists them ("-rw-r--r-- 501/501 size date time name"), in order.
  std::vector<std::string> members(std::vector<std::string>* details = nullptr) {
    std::vector<std::string> names;
    const ProgramRun listing = runProgram("tar", {"--numeric-owner", "-tvzf", archive()});
    EXPECT_EQ(listing.status, 0);
    for (const std::string& line : lines(listing.out)) {
      if (details != nullptr) details->push_back(line);
      names.push_back(line.substr(line.rfind(' ') + 1));
    }
    return names;
  }

  TempDir m_dir;
  ScopedEnvironment m_env;
  std::string m_desktop;
  std::string m_errors;
  std::map<std::string, std::string> m_logs;  // relative to the data folder: bytes
};

TEST_F(LogCollection, PacksTheReportAndEveryLogUnderDistinctNamesAndThenDeletesTheSources) {
  const std::string engine = putEngine();
  putInstallation();
  ASSERT_EQ(runCourier().status, 0) << m_errors;

  EXPECT_EQ(runProgram("gzip", {"-t", archive()}).status, 0);
  EXPECT_FALSE(fileExists(m_desktop + "/Kelo logs.tar"));
  std::vector<std::string> details;
  EXPECT_EQ(members(&details),
            (std::vector<std::string>{"KeloCourier.log", "App-2.log", "App.log", "Engine-1.log",
                                      "Kelo.log", "KeloCourier-2.log"}));
  for (const std::string& line : details)
    EXPECT_EQ(line.rfind("-rw-r--r-- 501/501 ", 0), 0u) << line;

  TempDir out;
  ASSERT_EQ(runProgram("tar", {"-xzf", archive(), "-C", out.path()}).status, 0);
  const std::map<std::string, std::string> expected = {
      {"App.log", m_logs["Acme/Piano/App.log"]},
      {"App-2.log", m_logs["Sorvelin/Strings/App.log"]},
      {"Engine-1.log", m_logs["Vantor/Kelo/old/Engine-1.log"]},
      {"Kelo.log", m_logs["Vantor/Kelo/Kelo.log"]},
      {"KeloCourier-2.log", m_logs["Sorvelin/Strings/KeloCourier.log"]},
  };
  for (const auto& [name, bytes] : expected) EXPECT_EQ(readFile(out.file(name)), bytes) << name;
  for (const auto& [relative, bytes] : m_logs) EXPECT_FALSE(fileExists(data(relative))) << relative;

  // The report: the tool's own log, closed before it was packed.
  const std::string log = readFile(out.file("KeloCourier.log"));
  EXPECT_EQ(log, readFile(toolFolder() + "/KeloCourier.log"));
  EXPECT_EQ(log.back(), '@');
  const std::vector<std::string> texts = logTexts(log);
  const auto has = [&](const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
  };
  std::string md5;
  std::uint64_t size = 0;
  for (const char* file : {"Contents/Info.plist", "Contents/Resources/Voices.txt",
                           "Contents/x86_64-linux/KeloEngine.so"}) {
    const std::string path = engine + "/" + file;
    md5 += fs::path(path).filename().string() + " " + md5Upper(path) + " ";
    size += fs::file_size(path);
  }
  for (const std::string& text : {"m_usrPath : " + m_dir.file("data"),
                                  "m_appPath : " + toolFolder(),
                                  std::string("Scan Registry:"),
                                  std::string("    config : com.vantor.kelo"),
                                  std::string("    key    : path"),
                                  "    value  : " + engine,
                                  "    value  : " + m_dir.file("content"),
                                  std::string("  Listing Products:"),
                                  std::string("  Alpha"),
                                  std::string("  Beta"),
                                  std::string("    key    : Products.Alpha.product"),
                                  std::string("    value  : Piano"),
                                  std::string("    config : com.Acme.Piano"),
                                  std::string("    value  : /opt/acme"),
                                  std::string("    config : com.Sorvelin.Strings"),
                                  std::string("    Not found."),
                                  std::string("  Listing Converters:"),
                                  std::string("Kelo info:"),
                                  "  " + engine,
                                  std::string("  Version : 1.0.56"),
                                  "  Time    : " + getFileTimeDetails(engine),
                                  "  Size    : " + std::to_string(size),
                                  "  MD5     : " + md5,
                                  std::string("Getting Logs:"),
                                  std::string("  Kelo:"),
                                  "    " + data("Vantor/Kelo/old/Engine-1.log"),
                                  std::string("  Alpha:"),
                                  std::string("  Beta:")})
    EXPECT_TRUE(has(text)) << text;
}

TEST_F(LogCollection, AnEarlierArchiveIsKeptUnderItsDatedName) {
  putInstallation();
  fs::create_directories(m_desktop);
  ASSERT_TRUE(writeFile(archive(), "the earlier archive"));
  const std::int64_t when = 1700000000;
  ASSERT_TRUE(setModificationTime(archive(), when));
  ASSERT_EQ(runCourier().status, 0) << m_errors;

  const std::time_t time = when;
  std::tm local{};
  char date[64];
  ::localtime_r(&time, &local);
  std::strftime(date, sizeof date, "%x %X", &local);
  std::string text = date;
  std::replace(text.begin(), text.end(), '/', '-');
  std::replace(text.begin(), text.end(), ':', '_');
  EXPECT_EQ(readFile(m_desktop + "/Kelo logs " + getUserName() + "(" + text + ").tar.gz"),
            "the earlier archive");
  EXPECT_EQ(runProgram("gzip", {"-t", archive()}).status, 0);
  EXPECT_EQ(namesIn(m_desktop).size(), 2u);
}

// An answer that is not "ok" (any case) cancels; a value that is not "cancel" either is said.
TEST_F(LogCollection, CancelTouchesNothing) {
  putEngine();
  putInstallation();
  fs::create_directories(m_desktop);
  const auto before = snapshot(m_dir.path());
  for (const char* answer : {"cancel", "CANCEL", "yes"}) {
    m_env.set("KELO_COURIER_ANSWER", answer);
    EXPECT_EQ(runCourier().status, 0) << answer;
    EXPECT_EQ(snapshot(m_dir.path()), before) << answer;
    EXPECT_EQ(m_errors.find("neither ok nor cancel") != std::string::npos,
              std::string(answer) == "yes")
        << m_errors;
  }
}

// Without an answer, a display or a terminal (nohup keeps standard input off the terminal), the
// warning goes to standard error and its safe answer is Cancel.
TEST_F(LogCollection, UnansweredTheWarningIsCancelled) {
  putInstallation();
  m_env.unset("KELO_COURIER_ANSWER");
  const auto before = snapshot(m_dir.path());
  EXPECT_EQ(runProgram("nohup", {KELO_COURIER_PROGRAM}, m_errors).status, 0);
  EXPECT_EQ(snapshot(m_dir.path()), before);
  const std::string warning =
      "alert: Kelo Courier: WARNING:\n"
      "- Logs should only be generated following a request from support staff. If support staff "
      "did not ask for logs, press [Cancel].\n\n"
      "- Make sure you have reproduced the issue right before running this tool. If a technical "
      "issue did not occur, press [Cancel].\n\n\n"
      "IMPORTANT:\n"
      "- For support information specific to your product, please look at your user's manual or "
      "visit your product's website.\n"
      "- For general support information, please read the README that comes with the Kelo host "
      "suite.\n\n"
      "By clicking [OK], this tool will produce a log file named \"Kelo logs (yourname).tar.gz\" "
      "on your desktop.This file will contains all the events from your last session using an "
      "KELO product.\n [Cancel]\n";
  EXPECT_NE(m_errors.find(warning), std::string::npos) << m_errors;
}

// No archive, every log where it was, the reason on standard error: a desktop that cannot be
// made (a file stands where its folder would be; permissions do not stop root), and an earlier
// archive that cannot be kept under its dated name (a folder: it is not replaced either).
TEST_F(LogCollection, NoArchiveLosesNoLog) {
  putInstallation();
  ASSERT_TRUE(writeFile(m_dir.file("blocker"), "a file"));
  setDesktop(m_dir.file("blocker/Desktop"));
  EXPECT_EQ(runCourier().status, 1);
  EXPECT_NE(m_errors.find("blocker/Desktop"), std::string::npos) << m_errors;
  for (const auto& [relative, bytes] : m_logs)
    EXPECT_EQ(readFile(data(relative)), bytes) << relative;

  setDesktop(m_dir.file("Desktop"));
  fs::create_directories(archive() + "/inside");
  EXPECT_EQ(runCourier().status, 1);
  EXPECT_NE(m_errors.find("cannot keep the earlier archive"), std::string::npos) << m_errors;
  EXPECT_TRUE(fs::is_directory(archive() + "/inside"));
  for (const auto& [relative, bytes] : m_logs)
    EXPECT_EQ(readFile(data(relative)), bytes) << relative;

  // The next run finds them all again, and the copies of the failed ones do not come twice.
  fs::remove_all(archive());
  ASSERT_EQ(runCourier().status, 0) << m_errors;
  EXPECT_EQ(members().size(), 6u);
}

// The tool folder keeps the previous run's copies until the next run, which deletes them (in
// sub-folders too) before gathering: an old log never goes into a new archive. Its own log is
// the one it writes.
TEST_F(LogCollection, AnEarlierRunsLogsAreDeletedBeforeGathering) {
  putLog("Vantor/Kelo/Kelo.log", "engine session\n");
  fs::create_directories(toolFolder() + "/inner");
  for (const char* stale : {"Stale.log", "inner/Older.log", "Kelo.log"})
    ASSERT_TRUE(writeFile(toolFolder() + "/" + stale, "from an earlier run\n"));
  ASSERT_TRUE(writeFile(toolFolder() + "/notes.txt", "not a log\n"));
  ASSERT_EQ(runCourier().status, 0) << m_errors;

  EXPECT_EQ(members(), (std::vector<std::string>{"KeloCourier.log", "Kelo.log"}));
  TempDir out;
  ASSERT_EQ(runProgram("tar", {"-xzf", archive(), "-C", out.path()}).status, 0);
  EXPECT_EQ(readFile(out.file("Kelo.log")), "engine session\n");
  EXPECT_FALSE(fileExists(toolFolder() + "/Stale.log"));
  EXPECT_FALSE(fileExists(toolFolder() + "/inner/Older.log"));
  EXPECT_EQ(readFile(toolFolder() + "/notes.txt"), "not a log\n");
}

// A log that cannot be copied into the tool folder (a folder stands at its name there; file
// permissions do not stop root) stays in its own folder, named by an error line; the others are
// archived.
TEST_F(LogCollection, ALogThatCannotBeCopiedStaysWithAnErrorLine) {
  putLog("Vantor/Kelo/Kelo.log", "engine session\n");
  putLog("Vantor/Kelo/Blocked.log", "cannot be copied\n");
  fs::create_directories(toolFolder() + "/Blocked.log/inside");
  ASSERT_EQ(runCourier().status, 0) << m_errors;

  EXPECT_EQ(members(), (std::vector<std::string>{"KeloCourier.log", "Kelo.log"}));
  EXPECT_EQ(readFile(data("Vantor/Kelo/Blocked.log")), "cannot be copied\n");
  EXPECT_FALSE(fileExists(data("Vantor/Kelo/Kelo.log")));
  const std::string line = "error copying file " + data("Vantor/Kelo/Blocked.log") + " to " +
                           toolFolder() + "/Blocked.log";
  const std::vector<std::string> logLines = lines(readFile(toolFolder() + "/KeloCourier.log"));
  const auto found = std::find_if(logLines.begin(), logLines.end(), [&](const std::string& text) {
    return text.find(line) != std::string::npos;
  });
  ASSERT_NE(found, logLines.end());
  EXPECT_EQ(found->rfind("E:", 0), 0u) << *found;
}

// A log the archive cannot hold stays where it is, with a line in the report naming it.
TEST_F(LogCollection, WhatTheArchiveCannotHoldIsNotGathered) {
  putLog("Vantor/Kelo/" + std::string(97, 'n') + ".log", "long name\n");  // 101 bytes
  putLog("Vantor/Kelo/before1970.log", "old\n");
  ASSERT_TRUE(setModificationTime(data("Vantor/Kelo/before1970.log"), -60));
  putLog("Vantor/Kelo/fits.log", "fits\n");
  ASSERT_EQ(runCourier().status, 0) << m_errors;
  EXPECT_EQ(members(), (std::vector<std::string>{"KeloCourier.log", "fits.log"}));
  const std::string log = readFile(toolFolder() + "/KeloCourier.log");
  for (const std::string& relative : {"Vantor/Kelo/" + std::string(97, 'n') + ".log",
                                      std::string("Vantor/Kelo/before1970.log")}) {
    EXPECT_EQ(readFile(data(relative)), m_logs[relative]) << relative;
    EXPECT_NE(log.find("not gathered, as the archive cannot hold"), std::string::npos);
    EXPECT_NE(log.find(data(relative)), std::string::npos) << relative;
  }
  EXPECT_FALSE(fileExists(data("Vantor/Kelo/fits.log")));
}

// Products whose vendor and name do not make a product folder of their own.
TEST_F(LogCollection, ProductFoldersAsDecided) {
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, const char*>> products;  // vendor, product (null: unset)
    std::vector<std::string> logs;
    std::vector<std::string> archived;  // after KeloCourier.log
    std::vector<std::string> staying;
  };
  const Case cases[] = {
      {"no products",
       {},
       {"Vantor/Kelo/Kelo.log", "Acme/Piano/App.log"},
       {"Kelo.log"},
       {"Acme/Piano/App.log"}},
      // The whole application-support folder would be gathered.
      {"empty vendor",
       {{"", "Piano"}},
       {"Vantor/Kelo/Kelo.log", "Piano/App.log", "Other.log"},
       {"Kelo.log"},
       {"Piano/App.log", "Other.log"}},
      {"vendor \"..\"", {{"..", "x"}}, {"Vantor/Kelo/Kelo.log"}, {"Kelo.log"}, {}},
      // The vendor's folder holds the engine's and the tool's: each file once, ours never.
      {"Vantor without a product name",
       {{"Vantor", ""}},
       {"Vantor/Kelo/Kelo.log", "Vantor/Stray.log"},
       {"Kelo.log", "Stray.log"},
       {}},
      {"no product value",
       {{"Acme", nullptr}},
       {"Acme/Piano/App.log", "Acme/Acme.log"},
       {"Acme.log", "App.log"},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PreferenceSandbox::clear();
    fs::remove_all(data(""));
    fs::remove_all(m_desktop);
    m_logs.clear();
    for (std::size_t i = 0; i < c.products.size(); ++i)
      putProduct(std::string("P").append(std::to_string(i)), c.products[i].first,
                 c.products[i].second);
    for (const std::string& log : c.logs) putLog(log, log + "\n");
    ASSERT_EQ(runCourier().status, 0) << m_errors;
    std::vector<std::string> archived = {"KeloCourier.log"};
    archived.insert(archived.end(), c.archived.begin(), c.archived.end());
    EXPECT_EQ(members(), archived);
    for (const std::string& log : c.staying) EXPECT_TRUE(fileExists(data(log))) << log;
  }
}

}  // namespace
}  // namespace kelo::test
