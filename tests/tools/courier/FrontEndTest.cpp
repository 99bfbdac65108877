// KeloCourier's question on a terminal, and its progress through the progress dialog's view
// seam (the widget toolkit's window plugs in there).
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "VNL/source/FileUtils.h"
#include "VNL/source/PxProgressDialog.h"
#include "tests/support/PreferenceSandbox.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/ShownProgress.h"
#include "tests/support/TempDir.h"
#include "tools/courier/FrontEnd.h"
#include "tools/courier/LogGetter.h"

namespace kelo::test {
namespace {

TEST(TerminalQuestion, AButtonsNameAnswersAndAnEmptyLineOrTheEndIsTheSafeChoice) {
  static const char* const okCancel[] = {"Ok", "Cancel"};
  static const char* const message[] = {"OK"};
  struct Case {
    const char* typed;
    int buttons;
    int answer;
  };
  // "maybe" is asked again, then the input ends.
  const Case cases[] = {
      {"ok\n", 2, 0}, {" OK \n", 2, 0}, {"Cancel\n", 2, 1}, {"\n", 2, 1},
      {"", 2, 1},     {"yes please\nok\n", 2, 0}, {"maybe\n", 2, 1}, {"\n", 1, 0},
  };
  for (const Case& c : cases) {
    std::istringstream in(c.typed);
    std::ostringstream out;
    vantor::TerminalAlertBackend terminal(in, out);
    const vantor::AlertRequest alert{"Kelo Courier", "Go on?", c.buttons == 2 ? okCancel : message,
                                     c.buttons};
    EXPECT_EQ(terminal.runAlert(alert), c.answer) << c.typed;
    EXPECT_EQ(out.str().rfind("Kelo Courier\n\nGo on?\n[", 0), 0u) << out.str();
  }
}

TEST(CourierProgress, OneWindowWithoutCancelFollowsEveryStage) {
  requirePreferenceSandbox();
  TempDir dir;
  ScopedEnvironment env;
  env.set("XDG_DATA_HOME", dir.file("data"));
  env.set("XDG_CONFIG_HOME", dir.file("config"));
  std::filesystem::create_directories(dir.file("config"));
  std::filesystem::create_directories(dir.file("data/Vantor/Kelo"));
  ASSERT_TRUE(writeFile(dir.file("config/user-dirs.dirs"),
                        "XDG_DESKTOP_DIR=\"" + dir.file("Desktop") + "\"\n"));
  ASSERT_TRUE(writeFile(dir.file("data/Vantor/Kelo/Kelo.log"), "engine\n"));

  ShownProgress progress;
  showProgressIn(progress);
  const std::vector<vantor::ProgressViewSetup>& windows = progress.windows;
  const std::vector<std::string>& statuses = progress.statuses;
  bool archived = false;
  {
    vantor::LogGetter getter;
    archived = getter.run();
  }
  vantor::PxProgressDialogCocoa::setViewFactory(nullptr);
  EXPECT_TRUE(archived);

  ASSERT_EQ(windows.size(), 1u);
  EXPECT_EQ(windows[0].title, "Kelo Courier");
  EXPECT_EQ(windows[0].steps, 6u);
  EXPECT_FALSE(windows[0].cancellable);
  EXPECT_FALSE(windows[0].secondBar);
  const std::string user = getUserName();
  const std::vector<std::string> expected = {
      "create ConsoleLogger",
      "Scan Registry",
      "getRegKeyValue(com.vantor.kelo, base_dir)",
      "getRegKeyValue(com.vantor.kelo, path)",
      "Listing Products",
      "listConfigKeys(com.vantor.kelo, Products...)",
      "Listing Converters:",
      "listConfigKeys(com.vantor.kelo, Converters...)",
      "Getting Kelo info",
      "Getting Logs",
      "deleting old logs",
      "listing kelo logs",
      "copy Kelo.log",
      "creating Kelo logs.tar",
      "listing logs",
      "Adding KeloCourier.log to tar",
      "Adding Kelo.log to tar",
      "Creating Kelo logs " + user + ".tar.gz",
      "delete Kelo logs.tar",
  };
  EXPECT_EQ(statuses, expected);
}

}  // namespace
}  // namespace kelo::test
