// Windows over the headless back end: listeners, closing, modal runs, the control registry,
// the status bar.
#include <memory>
#include <string>
#include <vector>

#include "standalone/app/toolkit/Application.h"
#include "standalone/app/toolkit/Controls.h"
#include "standalone/app/toolkit/Window.h"
#include "tests/standalone/app/toolkit/HeadlessFixture.h"

namespace kelo::test {
namespace {

using namespace vantor::VNT;
using headless::HeadlessBackend;

struct Recorder : WindowListener {
  Recorder(std::vector<std::string>& log, std::string name, bool answer = true)
      : log(log), name(std::move(name)), answer(answer) {}
  void windowClosing(unsigned id) override {
    log.push_back(name + " closing " + std::to_string(id));
  }
  bool windowCanClose(unsigned id) override {
    log.push_back(name + " asked " + std::to_string(id));
    return answer;
  }
  std::vector<std::string>& log;
  std::string name;
  bool answer;
};

Window* makeWindow(long style = kWindowClosable) {
  return new Window({10, 20}, {300, 200}, WindowKind::Ordinary, style, "Title", "name");
}

using WindowBasics = HeadlessToolkit;

TEST_F(WindowBasics, RegistrationIdsCountFromOneAndAreNeverReused) {
  Window* window = makeWindow();
  std::vector<std::string> log;
  Recorder a(log, "a"), b(log, "b");
  EXPECT_EQ(window->addWindowListener(&a), 1u);
  EXPECT_EQ(window->addWindowListener(&b), 2u);
  EXPECT_TRUE(window->removeWindowListener(1));
  EXPECT_FALSE(window->removeWindowListener(1));
  EXPECT_FALSE(window->removeWindowListener(77));
  EXPECT_EQ(window->addWindowListener(&a), 3u);
  window->setId(5);
  delete window;
  // Ascending registration id: b (2) before a (3).
  EXPECT_EQ(log, (std::vector<std::string>{"b closing 5", "a closing 5"}));
}

TEST_F(WindowBasics, CanCloseAsksInOrderUntilOneRefuses) {
  struct Case {
    std::vector<bool> answers;
    bool expected;
    std::vector<std::string> asked;
  };
  const std::vector<Case> cases = {
      {{}, true, {}},
      {{true, true}, true, {"0 asked 4294967295", "1 asked 4294967295"}},
      {{true, false, true}, false, {"0 asked 4294967295", "1 asked 4294967295"}},
      {{false, true}, false, {"0 asked 4294967295"}},
  };
  for (const Case& c : cases) {
    Window* window = makeWindow();
    window->setId(0xffffffffu);
    std::vector<std::string> log;
    std::vector<std::unique_ptr<Recorder>> listeners;
    for (std::size_t i = 0; i < c.answers.size(); ++i) {
      listeners.push_back(std::make_unique<Recorder>(log, std::to_string(i), c.answers[i]));
      window->addWindowListener(listeners.back().get());
    }
    EXPECT_EQ(window->canClose(), c.expected);
    EXPECT_EQ(log, c.asked);
    for (std::size_t i = 1; i <= listeners.size(); ++i) window->removeWindowListener(i);
    delete window;
  }
}

TEST_F(WindowBasics, AUserCloseTheListenersRefuseHidesTheWindow) {
  Window* window = makeWindow();
  std::vector<std::string> log;
  Recorder refusing(log, "r", false);
  const unsigned id = window->addWindowListener(&refusing);
  window->show(true);
  auto& peer = HeadlessBackend::windowOf(*window);
  peer.requestClose();
  EXPECT_FALSE(peer.isClosed());
  EXPECT_FALSE(window->isShown());

  window->removeWindowListener(id);
  Recorder accepting(log, "a", true);
  window->addWindowListener(&accepting);
  log.clear();
  peer.requestClose();
  EXPECT_TRUE(peer.isClosed());  // and the toolkit window is gone
  EXPECT_EQ(log, (std::vector<std::string>{"a asked 268435455", "a closing 268435455"}));
}

TEST_F(WindowBasics, WindowsWithoutTheCloseFlagIgnoreAUserClose) {
  Window* window = makeWindow(kWindowMiniaturisable);
  window->show(true);
  auto& peer = HeadlessBackend::windowOf(*window);
  peer.requestClose();
  EXPECT_FALSE(peer.isClosed());
  EXPECT_TRUE(window->isShown());
  delete window;
  EXPECT_TRUE(peer.isClosed());
}

TEST_F(WindowBasics, ControlRegistryKeepsTheFirstControlOfAnId) {
  Window* window = makeWindow();
  void* content = window->getControlForEmbedding();
  auto* first = new NativeStaticText(window, content, {0, 0}, {50, 20}, "one", "one", 7);
  new NativeStaticText(window, content, {0, 20}, {50, 20}, "two", "two", 7);
  new NativeStaticText(window, content, {0, 40}, {50, 20}, "none", "none", kNoId);
  new NativeStaticText(nullptr, content, {0, 60}, {50, 20}, "orphan", "orphan", 8);
  EXPECT_EQ(window->registeredControlCount(), 1u);
  EXPECT_EQ(window->registeredControl(7), first);
  EXPECT_EQ(window->registeredControl(8), nullptr)
      << "a control without a window registers nowhere";
  EXPECT_EQ(HeadlessBackend::windowOf(*window).content().children().size(), 4u);
  delete window;
}

TEST_F(WindowBasics, StatusBarCellsFormTheBottomStrip) {
  Window* window = makeWindow();
  window->createStatusBar(0);
  auto& content = HeadlessBackend::windowOf(*window).content();
  EXPECT_TRUE(content.children().empty());

  window->createStatusBar(3);
  ASSERT_EQ(content.children().size(), 3u);
  const std::vector<Rect> expected = {{0, 180, 100, 20}, {100, 180, 100, 20}, {200, 180, 100, 20}};
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(content.children()[i]->frame(), expected[i]);

  window->setStatusBarItem(1, "middle");
  window->setStatusBarItem(5, "nowhere");
  window->setStatusBarItems({"a"});
  std::vector<std::string> texts;
  for (const auto& cell : content.children()) texts.push_back(cell->text());
  EXPECT_EQ(texts, (std::vector<std::string>{"a", "middle", ""}));
  window->setStatusBarItems({"x", "y", "z", "ignored"});
  texts.clear();
  for (const auto& cell : content.children()) texts.push_back(cell->text());
  EXPECT_EQ(texts, (std::vector<std::string>{"x", "y", "z"}));
  EXPECT_EQ(window->registeredControlCount(), 0u);
  delete window;
}

TEST_F(WindowBasics, BackgroundIsStoredAsGivenAndHandedToTheNativeWindow) {
  Window* window = makeWindow();
  EXPECT_FALSE(window->hasBackgroundColour());
  EXPECT_EQ(window->getBackgroundColour(), (RGBAColour{0, 0, 0, 255.0}));
  window->setBackgroundColour({0.2, 0.4, 0.6, 255.0});
  EXPECT_TRUE(window->hasBackgroundColour());
  EXPECT_EQ(HeadlessBackend::windowOf(*window).background(), (RGBAColour{0.2, 0.4, 0.6, 255.0}));
  delete window;
}

// Counts deletions of the controls a window's views own.
struct CountedText : NativeStaticText {
  CountedText(Window* w, int& deleted)
      : NativeStaticText(w, w->getControlForEmbedding(), {0, 0}, {10, 10}, "", "", kNoId),
        deleted(deleted) {}
  ~CountedText() override { ++deleted; }
  int& deleted;
};

TEST_F(WindowBasics, ClosingOrDeletingAWindowDeletesEachControlOnce) {
  for (const bool byCode : {true, false}) {
    Window* window = makeWindow();
    int deleted = 0;
    new CountedText(window, deleted);
    new CountedText(window, deleted);
    window->createStatusBar(2);
    if (byCode)
      delete window;
    else
      window->close();
    EXPECT_EQ(deleted, 2) << (byCode ? "deleted" : "closed");
  }
}

TEST_F(WindowBasics, AListenerMayCloseTheWindowOfTheControlTellingIt) {
  struct Closer : VNTButtonListener {
    void buttonClicked(unsigned) override {
      ++heard;
      if (window != nullptr) window->close();
    }
    Window* window = nullptr;
    int heard = 0;
  };
  Window* window = makeWindow();
  int deleted = 0;
  struct CountedButton : NativeButton {
    CountedButton(Window* w, int& deleted)
        : NativeButton(w, w->getControlForEmbedding(), {0, 0}, {60, 20}, "Close", false, "c", 1),
          deleted(deleted) {}
    ~CountedButton() override { ++deleted; }
    int& deleted;
  };
  auto* button = new CountedButton(window, deleted);
  Closer first, second;
  first.window = window;
  button->addButtonListener(&first);
  button->addButtonListener(&second);
  auto& peer = HeadlessBackend::windowOf(*window);
  HeadlessBackend::viewOf(*button).click();
  EXPECT_TRUE(peer.isClosed());
  EXPECT_EQ(deleted, 1);  // after both listeners heard the click
  EXPECT_EQ(first.heard, 1);
  EXPECT_EQ(second.heard, 1);
}

using ModalRuns = HeadlessToolkit;

TEST_F(ModalRuns, ShowModalAnswersTheEndModalCodeAndClosesTheWindow) {
  Window* window = makeWindow();
  std::vector<std::string> log;
  Recorder listener(log, "l");
  window->addWindowListener(&listener);
  int ticks = 0;
  const TimerId timer = addTimer(0.2, 0.2, [&] {
    if (++ticks == 3) window->endModal(1002);
  });
  auto& peer = HeadlessBackend::windowOf(*window);
  EXPECT_EQ(window->showModal(), 1002u);
  removeTimer(timer);
  EXPECT_EQ(ticks, 3);
  EXPECT_DOUBLE_EQ(ui->now(), 0.6);
  EXPECT_TRUE(peer.isClosed());
  EXPECT_EQ(log, (std::vector<std::string>{"l closing 268435455"}));
}

TEST_F(ModalRuns, AUserCloseEndsTheRunOnlyWhenTheListenersAgree) {
  for (const bool agree : {true, false}) {
    Window* window = makeWindow();
    std::vector<std::string> log;
    Recorder listener(log, "l", agree);
    window->addWindowListener(&listener);
    auto& peer = HeadlessBackend::windowOf(*window);
    ui->queueStep([&] { peer.requestClose(); });
    if (!agree) {
      ui->queueStep([&] {
        // A refused close leaves a modal window on screen.
        EXPECT_FALSE(peer.isClosed());
        EXPECT_TRUE(peer.isVisible());
        window->endModal(9);
      });
    }
    EXPECT_EQ(window->showModal(), agree ? 0u : 9u);
    EXPECT_TRUE(peer.isClosed());
  }
}

TEST_F(ModalRuns, CloseInsideTheRunEndsItBeforeTheWindowGoes) {
  Window* window = makeWindow();
  auto& peer = HeadlessBackend::windowOf(*window);
  ui->queueStep([&] { window->close(); });
  ui->queueStep([&] { window->endModal(5); });  // the run has ended: not reached in the run
  EXPECT_EQ(window->showModal(), 0u);
  EXPECT_TRUE(peer.isClosed());
}

TEST_F(ModalRuns, ARunNobodyEndsIsAbandoned) {
  Window* window = makeWindow();
  EXPECT_EQ(window->showModal(), headless::kModalAbandoned);
}

using QuitPath = HeadlessToolkit;

struct CountingApp : Application {
  CountingApp(int& terminated, int& deleted) : terminated(terminated), deleted(deleted) {}
  ~CountingApp() override { ++deleted; }
  bool terminate() override {
    ++terminated;
    return true;
  }
  int& terminated;
  int& deleted;
};

TEST_F(QuitPath, AUserCloseOfTheMainWindowQuitsOnce) {
  std::vector<int> ends;
  setProcessEnd([&](int status) { ends.push_back(status); });
  int terminated = 0, deleted = 0;
  auto* app = new CountingApp(terminated, deleted);
  new ApplicationDelegate(app);
  auto* main = new MainWindow({50, 50}, {650, 350}, WindowKind::Ordinary, kWindowMiniaturisable,
                              "Kelo", "SA");
  main->show(true);
  auto& peer = HeadlessBackend::windowOf(*main);
  peer.requestClose();
  EXPECT_EQ(terminated, 1);
  EXPECT_EQ(deleted, 1);
  EXPECT_EQ(ends, std::vector<int>{0});
  EXPECT_EQ(ApplicationDelegate::current(), nullptr);
  // A second close (the process would have ended) reaches no application.
  peer.requestClose();
  EXPECT_EQ(terminated, 1);
  EXPECT_EQ(ends, (std::vector<int>{0, 0}));
  setProcessEnd(nullptr);
}

}  // namespace
}  // namespace kelo::test
