// KeloUnit's editor view, made by the factory property 31 names in the built
// KeloUnit.component, placed in plain X11 windows of the test host (label "display": run under
// xvfb-run -a; skipped without a display), with the reference engine's editor inside.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "plugins/au/SorvelinKeloDeckKELOCocoaView.h"
#include "tests/plugins/au/SamplerAUFixture.h"
#include "tests/support/x11/WindowCapture.h"

// After GoogleTest: Xlib defines macros (None, Bool) that its headers use as names.
#include <X11/Xlib.h>

namespace {

using kelo::test::AUTestHost;

AudioComponentFactoryFunction bundleFactory() {
  static const AudioComponentFactoryFunction factory =
      kelo::test::loadComponentFactory(KELO_UNIT_BUNDLE, "SamplerAUFactory");
  return factory;
}

class SamplerAUView : public kelo::test::SamplerAUFixture {
 protected:
  void SetUp() override {
    SamplerAUFixture::SetUp();
    m_display = XOpenDisplay(nullptr);
    if (m_display == nullptr) GTEST_SKIP() << "no X display (run under xvfb-run -a)";
    for (Window& window : m_windows) {
      window = XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), 0, 0, 600, 480, 0, 0, 0xFFFFFF);
      XMapWindow(m_display, window);
    }
    XSync(m_display, False);
  }
  void TearDown() override {
    if (m_display != nullptr) {
      for (Window window : m_windows) XDestroyWindow(m_display, window);
      XCloseDisplay(m_display);
    }
    SamplerAUFixture::TearDown();
  }

  /// An initialised unit of the built component.
  std::unique_ptr<AUTestHost> openUnit(const char* hostName = nullptr) {
    auto host = std::make_unique<AUTestHost>(bundleFactory());
    EXPECT_EQ(host->openResult(), noErr);
    if (hostName != nullptr) {
      EXPECT_EQ(host->setHostIdentifier(hostName, 1), noErr);
    }
    EXPECT_EQ(host->initialize(), noErr);
    return host;
  }
  std::unique_ptr<AUView> makeView(AUTestHost& host) {
    const AUCocoaViewFactory* factory = host.viewFactory();
    if (factory == nullptr) return nullptr;
    return std::unique_ptr<AUView>(factory->uiViewForAudioUnit(host.unit(), 800.0, 600.0));
  }
  AUWindow window(int index, bool answersScale = false, double scale = 0.0) const {
    return {static_cast<std::uintptr_t>(m_windows[index]), answersScale, scale};
  }
  std::vector<Window> children(int index) const {
    Window root = 0, parent = 0;
    Window* list = nullptr;
    unsigned int count = 0;
    XQueryTree(m_display, m_windows[index], &root, &parent, &list, &count);
    std::vector<Window> out(list, list + count);
    if (list != nullptr) XFree(list);
    return out;
  }
  int count(std::int32_t opcode) {
    const std::vector<std::int32_t> ops = opcodes();
    return static_cast<int>(std::count(ops.begin(), ops.end(), opcode));
  }
  KeloTraceEntry last(std::int32_t opcode) {
    KeloTraceEntry found{};
    for (const KeloTraceEntry& entry : trace())
      if (entry.opcode == opcode) found = entry;
    return found;
  }
  /// The one editor window inside window `index`, by the name the engine gives it.
  bool holdsOneEditor(int index) const {
    const std::vector<Window> inside = children(index);
    if (inside.size() != 1) return false;
    char* name = nullptr;
    const bool named = XFetchName(m_display, inside[0], &name) != 0 && name != nullptr &&
                       std::string(name) == "Kelo reference engine";
    if (name != nullptr) XFree(name);
    return named;
  }

  Display* m_display = nullptr;
  Window m_windows[2] = {};
};

TEST_F(SamplerAUView, TheFactoryIsFoundThroughTheUnitsBundle) {
  installEngine();
  auto host = openUnit();
  const AUCocoaViewFactory* factory = host->viewFactory();
  ASSERT_NE(factory, nullptr);
  EXPECT_EQ(factory->interfaceVersion(), 0u);
  EXPECT_STREQ(factory->description(), "KELO Player Cocoa View");
  auto view = makeView(*host);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->frame().x, 0.0);
  EXPECT_EQ(view->frame().y, 0.0);
  EXPECT_EQ(view->frame().width, 420.0) << "the editor's size, not the preferred one";
  EXPECT_EQ(view->frame().height, 320.0);
  const KeloTraceEntry create = last(KELO_OP_EDITOR_CREATE);
  EXPECT_EQ(create.i2, 1);
}

TEST_F(SamplerAUView, TheWindowsScaleReachesTheEditor) {
  installEngine();
  struct Row {
    bool answers;
    double scale;
    float opened;
    std::int32_t i3;
  };
  const Row rows[] = {{true, 2.0, 2.0f, 3}, {false, 2.0, 1.0f, 1}, {true, 1.0, 1.0f, 1}};
  auto host = openUnit();
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.answers << " " << row.scale);
    auto view = makeView(*host);
    ASSERT_NE(view, nullptr);
    const AUWindow target = window(0, row.answers, row.scale);
    view->viewWillMoveToWindow(&target);
    const KeloTraceEntry open = last(KELO_OP_EDITOR_OPEN);
    EXPECT_EQ(open.result, 0);
    EXPECT_EQ(open.i1, 1);
    EXPECT_EQ(open.f, row.opened);
    EXPECT_EQ(open.i3, row.i3);
    EXPECT_EQ(last(KELO_OP_EDITOR_ATTACH).result, 0);
    EXPECT_EQ(children(0).size(), 1u);
  }
  EXPECT_TRUE(children(0).empty()) << "each released view took its editor along";
  EXPECT_TRUE(findings().empty());
}

TEST_F(SamplerAUView, MovingBetweenWindowsMakesANewEditorInTheSecond) {
  installEngine();
  auto host = openUnit();
  auto view = makeView(*host);
  ASSERT_NE(view, nullptr);
  const AUWindow first = window(0);
  const AUWindow second = window(1);
  view->viewWillMoveToWindow(&first);
  ASSERT_TRUE(holdsOneEditor(0));
  EXPECT_EQ(count(KELO_OP_EDITOR_CREATE), 1) << "the factory's editor is shown";
  view->viewWillMoveToWindow(&second);
  EXPECT_TRUE(children(0).empty());
  ASSERT_TRUE(holdsOneEditor(1));
  EXPECT_EQ(count(KELO_OP_EDITOR_DESTROY), 1);
  EXPECT_EQ(count(KELO_OP_EDITOR_CREATE), 2);

  // Out of its window and in again: the editor goes with the removal and a second comes.
  view->viewWillMoveToWindow(nullptr);
  EXPECT_TRUE(children(1).empty());
  EXPECT_EQ(count(KELO_OP_EDITOR_DESTROY), 2);
  view->viewWillMoveToWindow(&second);
  EXPECT_TRUE(holdsOneEditor(1));
  EXPECT_EQ(count(KELO_OP_EDITOR_CREATE), 3);

  // What the host shows: the engine's editor inside its window.
  const int ink = kelo::test::captureWindow(m_display, m_windows[1], 600, 480,
                                              std::string(KELO_SCREENSHOT_DIR) + "/keloUnit-view.ppm");
  EXPECT_GT(ink, 500);
  view.reset();
  EXPECT_TRUE(children(1).empty());
  EXPECT_EQ(count(KELO_OP_EDITOR_DESTROY), 3);
  EXPECT_TRUE(findings().empty()) << "editor calls on the main thread, handles of the right kind";
}

TEST_F(SamplerAUView, OneHostKeepsTheViewsOriginWhenTheEditorOpens) {
  installEngine();
  struct Row {
    const char* host;
    bool realWindow;  // else an id that is no window: the editor does not open and has no view
    AUViewRect frame;
  };
  const Row rows[] = {
      {nullptr, true, {0, 0, 420, 320}},
      {"com.example.daw", true, {0, 0, 420, 320}},
      {"com.presonus.auhost", true, {15, 25, 420, 320}},
      {"com.example.daw", false, {0, 0, 0, 0}},
      {"com.presonus.auhost", false, {15, 25, 0, 0}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << (row.host != nullptr ? row.host : "no name") << " " << row.realWindow);
    auto host = openUnit(row.host);
    auto view = makeView(*host);
    ASSERT_NE(view, nullptr);
    view->setFrame({15, 25, 100, 100});
    const AUWindow target = row.realWindow ? window(0) : AUWindow{0x7ffffff0, false, 0.0};
    view->viewWillMoveToWindow(&target);
    EXPECT_EQ(view->frame().x, row.frame.x);
    EXPECT_EQ(view->frame().y, row.frame.y);
    EXPECT_EQ(view->frame().width, row.frame.width);
    EXPECT_EQ(view->frame().height, row.frame.height);
  }
}

TEST_F(SamplerAUView, AUnitWithoutAnEngineHasNoView) {
  auto host = openUnit();
  ASSERT_NE(host->viewFactory(), nullptr);
  EXPECT_EQ(makeView(*host), nullptr);
  EXPECT_TRUE(opcodes().empty());
}

TEST_F(SamplerAUView, AnEditorNeverShownIsDestroyedWithItsView) {
  installEngine();
  auto host = openUnit();
  auto view = makeView(*host);
  ASSERT_NE(view, nullptr);
  view.reset();
  EXPECT_EQ(count(KELO_OP_EDITOR_DESTROY), 1);
  EXPECT_EQ(count(KELO_OP_EDITOR_DETACH), 0) << "never attached";
  EXPECT_EQ(last(KELO_OP_EDITOR_DESTROY).handleKind, KELO_HANDLE_EDITOR);
}

TEST_F(SamplerAUView, AViewOutlivingItsUnitLetsGoOfTheEngineFirst) {
  installEngine();
  auto host = openUnit();
  auto view = makeView(*host);
  ASSERT_NE(view, nullptr);
  const AUWindow target = window(0);
  view->viewWillMoveToWindow(&target);
  ASSERT_EQ(children(0).size(), 1u);
  host.reset();
  EXPECT_TRUE(children(0).empty());
  EXPECT_EQ(opcodes().back(), KELO_OP_INSTANCE_DESTROY);
  const std::size_t calls = trace().size();
  view->viewWillMoveToWindow(nullptr);
  view->viewWillMoveToWindow(&target);
  view.reset();
  EXPECT_EQ(trace().size(), calls) << "nothing more to the engine";
  EXPECT_TRUE(findings().empty()) << "no editor left attached, no stale handles";
}

TEST(SorvelinKeloDeckKELOCocoaView, TextFieldsKeepWhatFits) {
  SorvelinKeloDeckKELOCocoaView view({0, 0, 1, 1});
  const std::string path(1100, 'p');
  view.setViewPath(path.c_str());
  EXPECT_EQ(std::string(view.viewPath()), path.substr(0, 1023));
  view.setViewPath("/short");
  EXPECT_STREQ(view.viewPath(), "/short");
  const std::string name(300, 'h');
  view.setHostName(name.c_str());
  EXPECT_EQ(std::string(view.hostName()), name.substr(0, 255));
  view.setHostName(nullptr);
  EXPECT_STREQ(view.hostName(), "");
}

}  // namespace
