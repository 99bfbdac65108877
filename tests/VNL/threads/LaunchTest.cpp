// Launching programs: each launch is reaped on a thread of its own, hence the threads label.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <time.h>

#include <filesystem>

#include "VNL/source/FileUtils.h"
#include "VNL/source/PlatformWrappers.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"

namespace {

using kelo::test::readFile;
using kelo::test::TempDir;
using kelo::test::writeFile;

// Polls `done` every millisecond, for at most about 20 s; a guard against hanging, not a timing.
template <typename Done>
bool eventually(Done&& done) {
  for (int i = 0; i < 20000; ++i) {
    if (done()) return true;
    const timespec pause{0, 1000000};
    ::nanosleep(&pause, nullptr);
  }
  return done();
}

TEST(LaunchTest, StartsAProgramWithItsArgumentsAndSeesItEnd) {
  TempDir tmp;
  const std::string made = tmp.file("made by touch");
  wrap_RunningApp* app = wrap_launchApplication("/usr/bin/touch", {made});
  ASSERT_NE(app, nullptr);
  EXPECT_TRUE(eventually([&] { return wrap_isRunningAppTerminated(app); }));
  EXPECT_TRUE(std::filesystem::exists(made)) << "the argument arrived as one word";
  wrap_releaseRunningApp(app);

  app = wrap_launchApplication("/bin/true", {});
  ASSERT_NE(app, nullptr);
  EXPECT_TRUE(eventually([&] { return wrap_isRunningAppTerminated(app); }));
  wrap_releaseRunningApp(app);
}

TEST(LaunchTest, MissingProgramsAndEmptyPathsGiveNoHandle) {
  TempDir tmp;
  EXPECT_EQ(wrap_launchApplication("", {}), nullptr);
  EXPECT_EQ(wrap_launchApplication(tmp.file("no-such-program"), {}), nullptr);
  EXPECT_TRUE(wrap_isRunningAppTerminated(nullptr));
  wrap_releaseRunningApp(nullptr);
}

TEST(LaunchTest, NoShellReadsTheArguments) {
  TempDir tmp;
  const std::string tricky = tmp.file("a; touch ") + tmp.file("injected");
  wrap_RunningApp* app = wrap_launchApplication("/usr/bin/touch", {tricky});
  ASSERT_NE(app, nullptr);
  EXPECT_TRUE(eventually([&] { return wrap_isRunningAppTerminated(app); }));
  wrap_releaseRunningApp(app);
  EXPECT_FALSE(std::filesystem::exists(tmp.file("injected")));
}

// A stand-in xdg-open on PATH that writes its arguments to a file, so no desktop program runs.
class OpenTest : public ::testing::Test {
 protected:
  OpenTest() {
    std::filesystem::create_directory(tmp.file("bin"));
    const std::string script = tmp.file("bin/xdg-open");
    EXPECT_TRUE(writeFile(script, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$KELO_TEST_OPENED.tmp\"\n"
                                  "mv \"$KELO_TEST_OPENED.tmp\" \"$KELO_TEST_OPENED\"\n"));
    EXPECT_EQ(::chmod(script.c_str(), 0755), 0);
    env.set("PATH", tmp.file("bin") + ":/usr/bin:/bin");
    env.set("KELO_TEST_OPENED", opened());
  }
  std::string opened() const { return tmp.file("opened"); }
  std::string waitForOpened() {
    EXPECT_TRUE(eventually([&] { return std::filesystem::exists(opened()); }));
    return readFile(opened());
  }

  TempDir tmp;
  kelo::test::ScopedEnvironment env;
};

TEST_F(OpenTest, DocumentsOpenByAbsolutePath) {
  const std::string document = tmp.file("notes and more.txt");
  ASSERT_TRUE(writeFile(document, "x"));
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(tmp.path());
  startEditor("notes and more.txt");
  std::filesystem::current_path(cwd);
  EXPECT_EQ(waitForOpened(), document + "\n");
}

TEST_F(OpenTest, UrlsMustBePlainAscii) {
  EXPECT_FALSE(wrap_openURLText(""));
  EXPECT_FALSE(wrap_openURLText("--help"));
  EXPECT_FALSE(wrap_openURLText("https://example.org/\xC3\xA9"));
  EXPECT_FALSE(wrap_openURLText("https://example.org/\nsecond"));
  EXPECT_FALSE(std::filesystem::exists(opened()));
  startBrowser("https://example.org/support?a=1&b=2");
  EXPECT_EQ(waitForOpened(), "https://example.org/support?a=1&b=2\n");
}

TEST_F(OpenTest, AnEmptyPathOpensNothing) {
  wrapOpenURL("");
  startBrowser("");
  EXPECT_FALSE(std::filesystem::exists(opened()));
}

}  // namespace
