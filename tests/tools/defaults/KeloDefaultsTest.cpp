// Runs the kelo-defaults program as a user or a script would, inside the preference sandbox.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "platform/preferences/PreferenceStore.h"
#include "tests/support/PreferenceSandbox.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"

namespace {

KELO_PREFERENCE_SANDBOX();

using kelo::test::PreferenceSandbox;

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

// The program is stopped after ten seconds (status 137), so one that blocks fails the test.
Outcome run(const std::string& arguments) {
  const kelo::test::TempDir dir;
  const std::string errFile = dir.file("err");
  const std::string command = "timeout -s KILL 10 " + std::string(KELO_DEFAULTS_PROGRAM) + " " +
                              arguments + " 2>'" + errFile + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {-1, "", ""};
  std::string out;
  char buffer[512];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out, kelo::test::readFile(errFile)};
}

// Python's plistlib reads the file independently of our own reader.
std::string python(const std::string& file, const std::string& expression) {
  const std::string command = "python3 -c 'import plistlib,sys; d=plistlib.load(open(sys.argv[1],\"rb\")); "
                              "print(" + expression + ", end=\"\")' '" + file + "'";
  FILE* pipe = popen(command.c_str(), "r");
  std::string out;
  char buffer[256];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  return pclose(pipe) == 0 ? out : "<unreadable>";
}

class KeloDefaults : public ::testing::Test {
 protected:
  void SetUp() override {
    kelo::test::requirePreferenceSandbox();
    PreferenceSandbox::clear();
  }
};

TEST_F(KeloDefaults, WritesWhatItReadsBackIntoAValidPropertyList) {
  EXPECT_EQ(run("write com.vantor.kelo path /x").status, 0);
  const Outcome shown = run("read com.vantor.kelo path");
  EXPECT_EQ(shown.status, 0);
  EXPECT_EQ(shown.out, "/x\n");
  const std::string file = PreferenceSandbox::userLibrary() + "/Preferences/com.vantor.kelo.plist";
  EXPECT_EQ(python(file, "d"), "{'path': '/x'}");

  EXPECT_EQ(run("write com.vantor.kelo base_dir '/data with blanks'").status, 0);
  EXPECT_EQ(run("write com.vantor.KeloDeckSA samplerate --int 48000").status, 0);
  EXPECT_EQ(run("read com.vantor.KeloDeckSA samplerate").out, "48000\n");
  EXPECT_EQ(python(PreferenceSandbox::userLibrary() + "/Preferences/com.vantor.KeloDeckSA.plist",
                   "d[\"samplerate\"] + 1"),
            "48001");
  EXPECT_EQ(run("list com.vantor.kelo").out, "path\nbase_dir\n");
  EXPECT_EQ(run("delete com.vantor.kelo path").status, 0);
  EXPECT_EQ(run("read com.vantor.kelo path").status, 1);
  EXPECT_EQ(python(file, "d"), "{'base_dir': '/data with blanks'}");
}

TEST_F(KeloDefaults, SystemAndHostSelectTheirOwnFiles) {
  EXPECT_EQ(run("--system write com.vantor.kelo path /sys").status, 0);
  EXPECT_EQ(run("write --host com.vantor.kelo path /host").status, 0);
  EXPECT_EQ(run("read com.vantor.kelo path").status, 1);
  EXPECT_EQ(run("--system read com.vantor.kelo path").out, "/sys\n");
  EXPECT_EQ(run("--host read com.vantor.kelo path").out, "/host\n");
  EXPECT_EQ(python(PreferenceSandbox::localLibrary() + "/Preferences/com.vantor.kelo.plist",
                   "d[\"path\"]"),
            "/sys");
  EXPECT_EQ(python(PreferenceSandbox::userLibrary() +
                       "/Preferences/ByHost/com.vantor.kelo.kelo-test-host.plist",
                   "d[\"path\"]"),
            "/host");
}

// An installer registering its product beside what others (or the user) put there.
TEST_F(KeloDefaults, APathWriteKeepsEveryOtherEntryOfItsDictionaries) {
  const std::string file =
      PreferenceSandbox::userLibrary() + "/Preferences/ByHost/com.vantor.kelo.kelo-test-host.plist";
  EXPECT_EQ(run("--host --path write com.vantor.kelo Products/Other/vendor Acme").status, 0);
  EXPECT_EQ(run("--host --path write com.vantor.kelo Products/KeloDeck/note 'set by hand'").status,
            0);
  EXPECT_EQ(run("--host --path write com.vantor.kelo Products/KeloDeck/vendor Sorvelin").status, 0);
  EXPECT_EQ(run("--host --path write com.vantor.kelo Products/KeloDeck/vendor Sorvelin").status, 0);
  EXPECT_EQ(run("--host --path read com.vantor.kelo Products/KeloDeck/vendor").out, "Sorvelin\n");
  EXPECT_EQ(python(file, "d"),
            "{'Products': {'Other': {'vendor': 'Acme'}, "
            "'KeloDeck': {'note': 'set by hand', 'vendor': 'Sorvelin'}}}");

  // A value on the way that is not a dictionary is not replaced.
  EXPECT_EQ(run("--host write com.vantor.kelo path /x").status, 0);
  const Outcome refused = run("--host --path write com.vantor.kelo path/inner y");
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err.rfind("kelo-defaults: not stored: a value on the way to \"path/inner\"", 0),
            0u)
      << refused.err;
  EXPECT_EQ(run("--host read com.vantor.kelo path").out, "/x\n");
  EXPECT_EQ(run("--host --path read com.vantor.kelo Products/Nobody/vendor").status, 1);
  EXPECT_EQ(run("--path delete com.vantor.kelo path").status, 2);
}

TEST_F(KeloDefaults, BadInputGetsAClearRefusalAndChangesNothing) {
  const struct {
    const char* arguments;
    int status;
    const char* message;  // the one line on standard error
  } cases[] = {
      {"", 2, "kelo-defaults: no command given\n"},
      {"frobnicate com.vantor.kelo", 2, "kelo-defaults: unknown command \"frobnicate\"\n"},
      {"write com.vantor.kelo path", 2, "kelo-defaults: wrong number of arguments for write\n"},
      {"write com.vantor.kelo path a b", 2, "kelo-defaults: wrong number of arguments for write\n"},
      {"write com.vantor.kelo rate --int 12abc", 2,
       "kelo-defaults: \"12abc\" is not a 32-bit integer\n"},
      {"write com.vantor.kelo rate --int 99999999999", 2,
       "kelo-defaults: \"99999999999\" is not a 32-bit integer\n"},
      {"read --int com.vantor.kelo path", 2, "kelo-defaults: --int goes with write only\n"},
      {"--force write com.vantor.kelo path /x", 2, "kelo-defaults: unknown option --force\n"},
      {"write ../evil path /x", 2, "kelo-defaults: refused domain \"../evil\""},
      {"write '' path /x", 2, "kelo-defaults: refused domain \"\""},
      {"write com/vantor path /x", 2, "kelo-defaults: refused domain \"com/vantor\""},
      {"write . path /x", 2, "kelo-defaults: refused domain \".\""},
      {"read . path", 2, "kelo-defaults: refused domain \".\""},
      {"read com.vantor.kelo path", 1, "kelo-defaults: no \"path\" in com.vantor.kelo ("},
      {"read com.vantor.kelo", 1, "kelo-defaults: domain com.vantor.kelo does not exist ("},
      {"delete com.vantor.kelo path", 1, "kelo-defaults: no \"path\" in com.vantor.kelo ("},
      {"list com.vantor.kelo", 1, "kelo-defaults: domain com.vantor.kelo does not exist ("},
  };
  for (const auto& c : cases) {
    const Outcome outcome = run(c.arguments);
    EXPECT_EQ(outcome.status, c.status) << c.arguments;
    EXPECT_EQ(outcome.err.rfind(c.message, 0), 0u) << c.arguments << ": " << outcome.err;
    EXPECT_EQ(outcome.out, "") << c.arguments;
  }
  EXPECT_EQ(run("--help").status, 0);
  EXPECT_EQ(run("list com.vantor.kelo").status, 1) << "nothing was written";
  struct stat status {};
  EXPECT_NE(stat((PreferenceSandbox::userLibrary() + "/Preferences/..plist").c_str(), &status), 0);
}

TEST_F(KeloDefaults, AFileThatCannotBeReadIsReportedAsSuch) {
  // Every command that reads says what is wrong with the file, not that a key is missing; the
  // file is left as it is. A FIFO in its place is refused without waiting for a writer.
  const std::string file = PreferenceSandbox::userLibrary() + "/Preferences/com.vantor.kelo.plist";
  ASSERT_EQ(run("write com.vantor.kelo path /x").status, 0);
  const std::string damaged = "<?xml version=\"1.0\"?><plist><dict><key>path</key>";
  const std::string notADictionary =
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><string>x</string></plist>";
  const struct {
    std::string contents;  // empty: a FIFO
    std::string problem;
  } files[] = {
      {damaged, " is not a readable property-list dictionary\n"},
      {notADictionary, " is not a readable property-list dictionary\n"},
      {"", " is not a regular file\n"},
  };
  for (const auto& f : files) {
    ASSERT_EQ(unlink(file.c_str()), 0);
    if (f.contents.empty()) {
      ASSERT_EQ(mkfifo(file.c_str(), 0644), 0);
    } else {
      ASSERT_TRUE(kelo::test::writeFile(file, f.contents));
    }
    const std::string expected = "kelo-defaults: domain com.vantor.kelo cannot be read: " + file + f.problem;
    for (const char* arguments : {"read com.vantor.kelo path", "read com.vantor.kelo",
                                  "list com.vantor.kelo", "delete com.vantor.kelo path"}) {
      const Outcome outcome = run(arguments);
      EXPECT_EQ(outcome.status, 1) << arguments;
      EXPECT_EQ(outcome.err, expected) << arguments;
      EXPECT_EQ(outcome.out, "") << arguments;
    }
    const Outcome write = run("write com.vantor.kelo other /y");
    EXPECT_EQ(write.status, 1);
    EXPECT_EQ(write.err.rfind("kelo-defaults: not stored: ", 0), 0u) << write.err;
    if (!f.contents.empty()) {
      EXPECT_EQ(kelo::test::readFile(file), f.contents);
    }
  }
}

TEST_F(KeloDefaults, AWriteThatCannotReachStorageSaysWhyAndFails) {
  // The user library's Preferences folder cannot be made: a plain file stands in its way.
  kelo::test::ScopedEnvironment environment;
  const std::string blocker = PreferenceSandbox::home() + "/blocker";
  ASSERT_TRUE(kelo::test::writeFile(blocker, "not a folder"));
  environment.set("VANTOR_USER_LIBRARY_DIR", blocker);
  const Outcome outcome = run("write com.vantor.kelo path /x");
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err.rfind("kelo-defaults: not stored: ", 0), 0u) << outcome.err;
  EXPECT_EQ(kelo::test::readFile(blocker), "not a folder");
}

}  // namespace
