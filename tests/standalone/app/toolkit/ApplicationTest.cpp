// The application object, its delegate, the quit path, the interface file and the timers,
// over the headless back end.
#include <string>
#include <vector>

#include "standalone/app/toolkit/Application.h"
#include "tests/standalone/app/toolkit/HeadlessFixture.h"

namespace kelo::test {
namespace {

using namespace vantor::VNT;

struct RecordingApp : Application {
  RecordingApp(std::vector<std::string>& log) : log(log) {}
  ~RecordingApp() override { log.push_back("deleted"); }
  bool terminate() override {
    log.push_back("terminate");
    return true;
  }
  void loadFile(const std::string& path) override { log.push_back("load " + path); }
  std::vector<std::string>& log;
};

class ApplicationObject : public HeadlessToolkit {
 protected:
  void SetUp() override {
    HeadlessToolkit::SetUp();
    setProcessEnd([this](int status) { log.push_back("exit " + std::to_string(status)); });
  }
  void TearDown() override {
    setProcessEnd(nullptr);
    if (ApplicationDelegate::current() != nullptr)
      ApplicationDelegate::current()->applicationWillTerminate();
    HeadlessToolkit::TearDown();
  }
  std::vector<std::string> log;
};

TEST_F(ApplicationObject, OpenFileNeedsAnAttachedApplicationAndAName) {
  EXPECT_FALSE(requestOpenFile("/tmp/before.kelo"));
  auto* app = new RecordingApp(log);
  new ApplicationDelegate(app);
  const std::string utf8 = "/tmp/Klänge ♪.kelo";
  EXPECT_TRUE(requestOpenFile(utf8));
  EXPECT_TRUE(requestOpenFile(std::string(2046, 'a')));
  EXPECT_FALSE(requestOpenFile(std::string(2047, 'a')));
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], "load " + utf8);
  EXPECT_EQ(log[1].size(), 5u + 2046u);
  ApplicationDelegate::current()->applicationWillTerminate();
  EXPECT_FALSE(requestOpenFile("/tmp/after.kelo"));
}

TEST_F(ApplicationObject, QuitTerminatesAndDeletesOnceThenEndsTheProcess) {
  auto* app = new RecordingApp(log);
  ui->queueStep([] { quitApplication(); });
  ui->queueStep([] { quitApplication(); });
  EXPECT_TRUE(app->runLoop());
  EXPECT_EQ(log, (std::vector<std::string>{"terminate", "deleted", "exit 0", "exit 0"}));
  EXPECT_EQ(ApplicationDelegate::current(), nullptr);
}

TEST_F(ApplicationObject, ALoopThatReturnsLeavesTerminateToMain) {
  RecordingApp app(log);
  EXPECT_TRUE(app.initialize());
  EXPECT_TRUE(app.runLoop());
  EXPECT_TRUE(log.empty());
  EXPECT_NE(ApplicationDelegate::current(), nullptr);
  ApplicationDelegate::current()->setVNTApplication(nullptr);
}

TEST_F(ApplicationObject, InterfaceFileReadsMenusOrNothing) {
  const std::string good =
      "# KeloDeck menus\n"
      "menu File\n"
      "item open o Open…\n"
      "separator\n"
      "item quit q Quit KeloDeck\n"
      "menu Édition\r\n"
      "item prefs - Preferences\n";
  MenuBarModel menus;
  ASSERT_TRUE(parseInterfaceText(good, menus));
  ASSERT_EQ(menus.size(), 2u);
  EXPECT_EQ(menus[0].title, "File");
  ASSERT_EQ(menus[0].items.size(), 3u);
  EXPECT_EQ(menus[0].items[0].title, "Open…");
  EXPECT_EQ(menus[0].items[0].key, "o");
  EXPECT_EQ(menus[0].items[0].action, "open");
  EXPECT_TRUE(menus[0].items[1].title.empty());
  EXPECT_EQ(menus[0].items[2].title, "Quit KeloDeck");
  EXPECT_EQ(menus[1].title, "Édition");
  EXPECT_EQ(menus[1].items[0].key, "");

  for (const char* bad : {"item open o Open\n", "menu File\nitem open oo Open\n",
                          "menu File\nitem open o\n", "menu File\nbutton x\n", "menu\n",
                          "menu File\nseparator x\n"}) {
    MenuBarModel kept = menus;
    EXPECT_FALSE(parseInterfaceText(bad, kept)) << bad;
    EXPECT_EQ(kept.size(), 2u) << bad;
  }
}

TEST_F(ApplicationObject, TimersFireFirstThenEveryInterval) {
  std::vector<double> fired;
  TimerId id = 0;
  id = addTimer(0.5, 0.25, [&] {
    fired.push_back(ui->now());
    if (fired.size() == 3) removeTimer(id);
  });
  ui->advanceClock(0.4);
  EXPECT_TRUE(fired.empty());
  ui->advanceClock(2.0);
  EXPECT_EQ(fired, (std::vector<double>{0.5, 0.75, 1.0}));
  removeTimer(id);
  removeTimer(12345);
}

}  // namespace
}  // namespace kelo::test
