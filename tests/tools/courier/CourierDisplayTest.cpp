// KeloCourier's windows under an X server (run under xvfb-run -a): the warning as the GTK
// dialog, answered by its buttons or closed, and the log collection's GTK progress window;
// then the program, answered through the X server.
#include <gtk/gtk.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "VNL/source/Alerts.h"
#include "VNL/source/FileUtils.h"
#include "VNL/source/PxProgressDialog.h"
#include "standalone/app/toolkit/Application.h"
#include "standalone/app/toolkit/gtk/GtkBackend.h"
#include "tests/standalone/app/toolkit/DisplayFixture.h"
#include "tests/support/PreferenceSandbox.h"
#include "tests/support/RunProgram.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"
#include "tools/courier/FrontEnd.h"
#include "tools/courier/LogGetter.h"

KELO_PREFERENCE_SANDBOX();

namespace kelo::test {
namespace {

using vantor::VNT::Point;

GtkWidget* messageDialog(GtkWidget* toplevel) {
  return GTK_IS_MESSAGE_DIALOG(toplevel) ? toplevel : nullptr;
}

std::string stringProperty(GtkWidget* widget, const char* name) {
  gchar* value = nullptr;
  g_object_get(widget, name, &value, nullptr);
  std::string text = value != nullptr ? value : "";
  g_free(value);
  return text;
}

class CourierWindows : public DisplayToolkit {
 public:
  void SetUp() override {
    DisplayToolkit::SetUp();
    if (IsSkipped()) return;
    // The program's seam gives the toolkit the fixture already started.
    ASSERT_TRUE(vantor::installDisplayToolkit());
    vantor::VNL::sPopupModalCocoaMode = 1;
  }

  // A desktop and one engine log, in a temporary home of their own.
  void makeEngineLog() {
    requirePreferenceSandbox();
    m_env.set("XDG_DATA_HOME", m_dir.file("data"));
    m_env.set("XDG_CONFIG_HOME", m_dir.file("config"));
    std::filesystem::create_directories(m_dir.file("config"));
    std::filesystem::create_directories(m_dir.file("data/Vantor/Kelo"));
    ASSERT_TRUE(writeFile(m_dir.file("config/user-dirs.dirs"),
                          "XDG_DESKTOP_DIR=\"" + desktop() + "\"\n"));
    ASSERT_TRUE(writeFile(engineLog(), "engine\n"));
  }
  // A desktop that cannot be made: a file stands where its parent folder would be.
  void blockDesktop() {
    ASSERT_TRUE(writeFile(m_dir.file("blocker"), "a file"));
    ASSERT_TRUE(writeFile(m_dir.file("config/user-dirs.dirs"),
                          "XDG_DESKTOP_DIR=\"" + m_dir.file("blocker/Desktop") + "\"\n"));
  }
  std::string desktop() const { return m_dir.file("Desktop"); }
  std::string engineLog() const { return m_dir.file("data/Vantor/Kelo/Kelo.log"); }

  void screenshotOf(GtkWidget* window, const std::string& name) {
    const Point origin = originOf(window);
    screenshot(name, {origin.x, origin.y,
                      static_cast<double>(gtk_widget_get_allocated_width(window)),
                      static_cast<double>(gtk_widget_get_allocated_height(window))});
  }

 private:
  TempDir m_dir;
  ScopedEnvironment m_env;
};

TEST_F(CourierWindows, TheWarningGoesOnOnlyWithOkAndClosingItCancels) {
  struct Case {
    const char* press;  // null: the window is closed
    bool accepted;
  };
  const Case cases[] = {{"Ok", true}, {"Cancel", false}, {nullptr, false}};
  const std::string text = "Collect the Kelo logs?\n- They go to your desktop.";
  for (const Case& c : cases) {
    const char* label = c.press != nullptr ? c.press : "(closed)";
    GtkWidget* shown = nullptr;
    std::string title, secondary;
    std::vector<bool> buttons;
    bool done = false;
    const vantor::VNT::TimerId timer = vantor::VNT::addTimer(0.2, 0.2, [&] {
      if (done || (shown = findInToplevels(messageDialog)) == nullptr) return;
      done = true;
      title = stringProperty(shown, "text");
      secondary = stringProperty(shown, "secondary-text");
      for (const char* name : {"Ok", "Cancel"})
        buttons.push_back(buttonLabelled(shown, name) != nullptr);
      if (c.press == nullptr) {
        gtk_window_close(GTK_WINDOW(shown));
        return;
      }
      if (c.accepted) screenshotOf(shown, "courier-warning");
      const Point at = centreOf(buttonLabelled(shown, c.press));
      clickAt(at.x, at.y);
    });
    EXPECT_EQ(popupModalOkCancelWindow(nullptr, "Kelo Courier", text), c.accepted) << label;
    vantor::VNT::removeTimer(timer);
    ASSERT_NE(shown, nullptr) << label;
    EXPECT_EQ(title, "Kelo Courier") << label;
    EXPECT_EQ(secondary, text) << label;
    EXPECT_EQ(buttons, (std::vector<bool>{true, true})) << label;
    settle();
    EXPECT_EQ(findInToplevels(messageDialog), nullptr) << label;
  }
}

// Passes everything to the GTK view and keeps the steps; a screenshot at one of them.
class WatchedView : public vantor::ProgressView {
 public:
  WatchedView(std::unique_ptr<vantor::ProgressView> view, std::vector<std::string>& statuses,
              const std::function<void(const std::string&)>& onStatus)
      : m_view(std::move(view)), m_statuses(statuses), m_onStatus(onStatus) {}
  void advanceMainBar(double delta) override { m_view->advanceMainBar(delta); }
  void setMainBar(double value) override { m_view->setMainBar(value); }
  void setSecondBar(double value) override { m_view->setSecondBar(value); }
  void setStatus(const std::string& text) override {
    m_view->setStatus(text);
    m_statuses.push_back(text);
    m_onStatus(text);
  }
  void redrawStatus() override { m_view->redrawStatus(); }
  void redrawMainBar() override { m_view->redrawMainBar(); }
  void redrawSecondBar() override { m_view->redrawSecondBar(); }
  void runModalSessionOnce() override { m_view->runModalSessionOnce(); }
  int confirm(const std::string& message, const std::string& first,
              const std::string& second) override {
    return m_view->confirm(message, first, second);
  }

 private:
  std::unique_ptr<vantor::ProgressView> m_view;
  std::vector<std::string>& m_statuses;
  std::function<void(const std::string&)> m_onStatus;
};

TEST_F(CourierWindows, TheCollectionShowsItsStepsInOneProgressWindowWithoutCancel) {
  ASSERT_NO_FATAL_FAILURE(makeEngineLog());
  std::vector<vantor::ProgressViewSetup> windows;
  std::vector<std::string> statuses;
  std::string titled;
  bool cancelShown = true;
  vantor::PxProgressDialog::sCocoaMode = 1;
  vantor::PxProgressDialogCocoa::setViewFactory([&](const vantor::ProgressViewSetup& setup) {
    windows.push_back(setup);
    return std::make_unique<WatchedView>(
        vantor::VNT::makeGtkProgressView(setup), statuses, [&](const std::string& status) {
          if (status != "Getting Logs") return;
          GtkWidget* window = toplevelTitled("Kelo Courier");
          if (window == nullptr) return;
          titled = gtk_window_get_title(GTK_WINDOW(window));
          cancelShown = buttonLabelled(window, "Cancel") != nullptr;
          settle();
          screenshotOf(window, "courier-progress");
        });
  });
  bool archived = false;
  {
    vantor::LogGetter getter;
    archived = getter.run();
  }
  vantor::PxProgressDialogCocoa::setViewFactory(vantor::VNT::makeGtkProgressView);
  vantor::PxProgressDialog::sCocoaMode = 0;
  EXPECT_TRUE(archived);
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_EQ(windows[0].steps, 6u);
  EXPECT_EQ(titled, "Kelo Courier");
  EXPECT_FALSE(cancelShown);
  for (const char* stage : {"Scan Registry", "Listing Products", "Getting Kelo info",
                            "Getting Logs", "listing logs"})
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), stage), statuses.end()) << stage;
  settle();
  EXPECT_EQ(toplevelTitled("Kelo Courier"), nullptr);
}

// A desktop user never sees standard error: the reason is shown before the program ends.
TEST_F(CourierWindows, AFailedCollectionSaysWhyInAnAlert) {
  ASSERT_NO_FATAL_FAILURE(makeEngineLog());
  ASSERT_NO_FATAL_FAILURE(blockDesktop());
  std::string title, secondary;
  bool okShown = false;
  const vantor::VNT::TimerId timer = vantor::VNT::addTimer(0.2, 0.2, [&] {
    GtkWidget* shown = findInToplevels(messageDialog);
    if (shown == nullptr || !title.empty()) return;
    title = stringProperty(shown, "text");
    secondary = stringProperty(shown, "secondary-text");
    GtkWidget* ok = buttonLabelled(shown, "OK");
    okShown = ok != nullptr;
    screenshotOf(shown, "courier-failed");
    if (ok == nullptr) {
      gtk_window_close(GTK_WINDOW(shown));
      return;
    }
    const Point at = centreOf(ok);
    clickAt(at.x, at.y);
  });
  EXPECT_FALSE(vantor::collectLogs(true));
  vantor::VNT::removeTimer(timer);
  EXPECT_EQ(title, "Kelo Courier");
  EXPECT_TRUE(okShown);
  EXPECT_EQ(secondary.rfind("No log archive was made; your logs are where they were.\n\n", 0), 0u)
      << secondary;
  EXPECT_NE(secondary.find("blocker/Desktop"), std::string::npos) << secondary;
  EXPECT_EQ(readFile(engineLog()), "engine\n");
  settle();
  EXPECT_EQ(findInToplevels(messageDialog), nullptr);
}

// The program itself: its warning, answered from outside through the X server, decides.
TEST_F(CourierWindows, TheProgramCollectsOnlyWhenOkIsPressed) {
  ASSERT_NO_FATAL_FAILURE(makeEngineLog());
  ScopedEnvironment env;
  env.unset("KELO_COURIER_ANSWER");
  struct Case {
    const char* answer;  // xdotool commands on the warning, whose geometry is in the shell
    bool collected;
  };
  // Escape closes the warning without a button; the buttons share its bottom row, Ok on the
  // left, Cancel on the right.
  const Case cases[] = {
      {"key Escape", false},
      {"mousemove $((X + WIDTH * 3 / 4)) $((Y + HEIGHT - 15)) click 1", false},
      {"mousemove $((X + WIDTH / 4)) $((Y + HEIGHT - 15)) click 1", true},
  };
  for (const Case& c : cases) {
    const std::string script =
        "\"$0\" </dev/null & "
        "id=$(xdotool search --sync --onlyvisible --class KeloCourier | head -n 1); "
        "xdotool windowfocus --sync $id; eval $(xdotool getwindowgeometry --shell $id); "
        "xdotool " + std::string(c.answer) + "; wait $!";
    std::string errors;
    const ProgramRun run =
        runProgram("timeout", {"60", "sh", "-c", script, KELO_COURIER_PROGRAM}, errors);
    EXPECT_EQ(run.status, 0) << c.answer << "\n" << errors;
    EXPECT_EQ(std::filesystem::exists(engineLog()), !c.collected) << c.answer;
    const std::string archive = desktop() + "/Kelo logs " + getUserName() + ".tar.gz";
    EXPECT_EQ(std::filesystem::exists(archive), c.collected) << c.answer;
  }
}

}  // namespace
}  // namespace kelo::test
