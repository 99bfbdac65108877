#include "VNL/source/Alerts.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "VNL/source/FileUtils.h"
#include "VNL/source/LogLine.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace {

using vantor::RecordingAlertBackend;

// Installs a recording backend and the alert mode for one test, and restores both.
class AlertTest : public ::testing::Test {
 protected:
  AlertTest() : m_savedMode(vantor::VNL::sPopupModalCocoaMode) { vantor::setAlertBackend(&recorder); }
  ~AlertTest() override {
    vantor::setAlertBackend(nullptr);
    vantor::VNL::sPopupModalCocoaMode = m_savedMode;
  }
  RecordingAlertBackend recorder;

 private:
  int m_savedMode;
};

TEST_F(AlertTest, EachAlertShowsItsTitleTextAndButtons) {
  popupModalMessageWindowCocoa(nullptr, "Title", "Text");
  popupModalYesNoWindowCocoa(nullptr, "Question", "Sure?");
  popupModalOkCancelWindowCocoa(nullptr, "Kelo Courier", "Collect?");
  const auto& shown = recorder.shown();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].title, "Title");
  EXPECT_EQ(shown[0].text, "Text");
  EXPECT_EQ(shown[0].buttons, (std::vector<std::string>{"OK"}));
  EXPECT_EQ(shown[1].buttons, (std::vector<std::string>{"Yes", "No"}));
  EXPECT_EQ(shown[2].title, "Kelo Courier");
  EXPECT_EQ(shown[2].buttons, (std::vector<std::string>{"Ok", "Cancel"}));
}

TEST_F(AlertTest, OnlyNoAnswersNoAndOnlyOkGoesOn) {
  struct Case {
    int button;
    bool yes;
    bool ok;
  };
  // Closed without a button, Ok/Cancel gives the safe answer.
  const Case cases[] = {{0, true, true},
                        {1, false, false},
                        {vantor::kAlertEndedOtherwise, true, false},
                        {2, true, false}};
  for (const Case& c : cases) {
    recorder.queueAnswer(c.button);
    EXPECT_EQ(popupModalYesNoWindowCocoa(nullptr, "t", "x"), c.yes) << c.button;
    recorder.queueAnswer(c.button);
    EXPECT_EQ(popupModalOkCancelWindowCocoa(nullptr, "t", "x"), c.ok) << c.button;
  }
}

TEST_F(AlertTest, TheModeGatesEveryAlert) {
  recorder.setDefaultAnswer(0);  // "Yes" and "Ok" whenever asked
  struct Case {
    int mode;
    bool shown;
  };
  const Case cases[] = {{1, true}, {0, false}, {2, false}, {-1, false}};
  for (const Case& c : cases) {
    vantor::VNL::sPopupModalCocoaMode = c.mode;
    const std::size_t before = recorder.shown().size();
    popupModalMessageWindow(nullptr, "t", "x");
    EXPECT_EQ(popupModalYesNoWindow(nullptr, "t", "x", true), c.shown) << c.mode;
    EXPECT_EQ(popupModalOkCancelWindow(nullptr, "t", "x"), c.shown) << c.mode;
    EXPECT_EQ(recorder.shown().size() - before, c.shown ? 3u : 0u) << c.mode;
  }
}

TEST_F(AlertTest, GatedAlertsPassTheAnswerOn) {
  vantor::VNL::sPopupModalCocoaMode = 1;
  recorder.queueAnswer(1);
  EXPECT_FALSE(popupModalYesNoWindow(nullptr, "t", "x"));
  recorder.queueAnswer(1);
  EXPECT_FALSE(popupModalOkCancelWindow(nullptr, "t", "x"));
}

TEST(StartModeTest, AlertsAreOnAtStart) { EXPECT_EQ(vantor::VNL::sPopupModalCocoaMode, 1); }

// Runs `body` with stderr going to a file and returns what was written.
template <typename Body>
std::string captureStderr(Body&& body) {
  kelo::test::TempDir tmp;
  const int file = ::open(tmp.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const int saved = ::dup(STDERR_FILENO);
  ::dup2(file, STDERR_FILENO);
  body();
  ::dup2(saved, STDERR_FILENO);
  ::close(saved);
  ::close(file);
  return kelo::test::readFile(tmp.file("err"));
}

TEST(StderrAlertTest, WritesOneLineAndTakesTheSafeChoice) {
  vantor::setAlertBackend(nullptr);
  bool yes = true;
  bool ok = true;
  std::string written, logged;
  {
    kelo::test::LogCapture log;
    ASSERT_TRUE(log.ok());
    written = captureStderr([&] {
      popupModalMessageWindowCocoa(nullptr, "File Recording", "disk full");
      yes = popupModalYesNoWindowCocoa(nullptr, "Delete", "Really?");
      ok = popupModalOkCancelWindowCocoa(nullptr, "Kelo Courier", "Collect the logs?");
    });
    logged = log.text();
  }
  EXPECT_EQ(logged.rfind("I:", 0), 0u) << logged;
  EXPECT_NE(logged.find(":alert: File Recording: disk full [OK]\n"), std::string::npos) << logged;
  EXPECT_NE(logged.find(":alert: Kelo Courier: Collect the logs? [Cancel]\n"), std::string::npos) << logged;
  EXPECT_FALSE(yes);
  EXPECT_FALSE(ok);
  EXPECT_EQ(written,
            "alert: File Recording: disk full [OK]\n"
            "alert: Delete: Really? [No]\n"
            "alert: Kelo Courier: Collect the logs? [Cancel]\n");
}

TEST(StderrAlertTest, LongTextIsCutToOneLine) {
  vantor::StderrAlertBackend backend;
  const std::string text(10000, 'x');
  const char* const buttons[] = {"OK"};
  const std::string written = captureStderr([&] {
    EXPECT_EQ(backend.runAlert({"t", text.c_str(), buttons, 1}), 0);
  });
  ASSERT_FALSE(written.empty());
  EXPECT_EQ(written.back(), '\n');
  EXPECT_EQ(written.find('\n'), written.size() - 1);
}

}  // namespace
