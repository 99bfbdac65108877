// Panels, text fields and context menus over the headless back end.
#include <gdk/gdk.h>

#include <cstdio>
#include <string>
#include <vector>

#include "standalone/app/toolkit/Menu.h"
#include "standalone/app/toolkit/Panel.h"
#include "standalone/app/toolkit/PointerInput.h"
#include "standalone/app/toolkit/Window.h"
#include "tests/standalone/app/toolkit/HeadlessFixture.h"

namespace kelo::test {
namespace {

using namespace vantor::VNT;
using headless::HeadlessBackend;

struct PanelRecorder : PanelListener {
  PanelRecorder(std::vector<std::string>& log, std::string name, bool draws = false)
      : log(log), name(std::move(name)), draws(draws) {}
  static std::string at(const Point& p) {
    char text[64];
    std::snprintf(text, sizeof text, "(%d,%d)", static_cast<int>(p.x), static_cast<int>(p.y));
    return text;
  }
  void say(const std::string& s) { log.push_back(name + ":" + s); }
  void panelMouseMoved(unsigned id, const Point& p, unsigned m) override {
    say("moved " + std::to_string(id) + at(p) + " m" + std::to_string(m));
  }
  void panelMouseDown(unsigned id, const Point& p, unsigned b, unsigned m) override {
    say("down " + std::to_string(id) + at(p) + " b" + std::to_string(b) + " m" + std::to_string(m));
    if (menu != nullptr) panel->popupMenu(menu, p);
  }
  void panelMouseUp(unsigned id, const Point& p, unsigned b, unsigned m) override {
    say("up " + std::to_string(id) + at(p) + " b" + std::to_string(b) + " m" + std::to_string(m));
  }
  void panelMouseDragged(unsigned id, const Point& p, unsigned b, unsigned m) override {
    say("dragged " + std::to_string(id) + at(p) + " b" + std::to_string(b) + " m" + std::to_string(m));
  }
  void panelMouseWheeled(unsigned id, const Point& p, unsigned m, int d) override {
    say("wheel " + std::to_string(d));
  }
  bool panelWantsDraw(unsigned) override {
    say("wants");
    return draws;
  }
  void panelDraw(unsigned id, DrawContext* context) override {
    say("draw " + std::to_string(static_cast<int>(context->getSize().width)));
  }
  void panelContextMenu(unsigned id, const Point& p) override { say("context" + at(p)); }
  void panelFrameChanged(unsigned id, const Rect& f) override {
    say("frame " + std::to_string(static_cast<int>(f.width)) + "x" +
        std::to_string(static_cast<int>(f.height)));
  }
  std::vector<std::string>& log;
  std::string name;
  bool draws;
  Panel* panel = nullptr;
  NativeMenu* menu = nullptr;
};

class Panels : public HeadlessToolkit {
 protected:
  void SetUp() override {
    HeadlessToolkit::SetUp();
    window = new Window({0, 0}, {400, 300}, WindowKind::Ordinary, kWindowClosable, "p", "p");
  }
  void TearDown() override {
    delete window;
    HeadlessToolkit::TearDown();
  }
  // The colour of the rendered view at (x, y), top-left based, as 0xAARRGGBB.
  static std::uint32_t pixelAt(cairo_surface_t* image, int x, int y) {
    const unsigned char* row = cairo_image_surface_get_data(image) +
                               y * cairo_image_surface_get_stride(image);
    return reinterpret_cast<const std::uint32_t*>(row)[x];
  }
  Window* window = nullptr;
  std::vector<std::string> log;
};

TEST_F(Panels, DrawingFillsTheBackgroundThenTheListenersThatWantTo) {
  auto* panel = new Panel(window, window->getControlForEmbedding(), {10, 10}, {40, 30}, 5, "p");
  PanelRecorder a(log, "a"), b(log, "b", true);
  panel->addPanelListener(&a);
  panel->addPanelListener(&b);
  auto& view = HeadlessBackend::viewOf(*panel);

  cairo_surface_t* image = view.render();
  EXPECT_EQ(pixelAt(image, 20, 15), 0u);  // no background: nothing filled
  cairo_surface_destroy(image);
  EXPECT_EQ(log, (std::vector<std::string>{"a:wants", "b:wants", "b:draw 40"}));

  panel->setBackgroundColour({0.2, 0.4, 0.6, 255.0});
  EXPECT_EQ(view.redrawCount(), 0);  // stored only
  log.clear();
  b.draws = false;
  image = view.render();
  EXPECT_EQ(pixelAt(image, 0, 0), 0xff336699u);
  EXPECT_EQ(pixelAt(image, 39, 29), 0xff336699u);
  cairo_surface_destroy(image);
  EXPECT_EQ(log, (std::vector<std::string>{"a:wants", "b:wants"}));
}

TEST_F(Panels, DrawingHasItsOriginAtTheBottomLeft) {
  struct Square : PanelListener {
    bool panelWantsDraw(unsigned) override { return true; }
    void panelDraw(unsigned, DrawContext* context) override {
      auto* cr = static_cast<cairo_t*>(context->getHandle());
      cairo_set_source_rgb(cr, 0, 0, 1);
      cairo_rectangle(cr, 0, 0, 5, 5);
      cairo_fill(cr);
    }
  } square;
  auto* panel = new Panel(window, window->getControlForEmbedding(), {0, 0}, {20, 10}, 5, "p");
  panel->addPanelListener(&square);
  cairo_surface_t* image = HeadlessBackend::viewOf(*panel).render();
  EXPECT_EQ(pixelAt(image, 0, 9), 0xff0000ffu);
  EXPECT_EQ(pixelAt(image, 4, 5), 0xff0000ffu);
  EXPECT_EQ(pixelAt(image, 0, 0), 0u);
  cairo_surface_destroy(image);
}

TEST_F(Panels, MouseEventsReachTheListenersAsTheToolkitNumbersThem) {
  auto* panel = new Panel(window, window->getControlForEmbedding(), {10, 10}, {100, 80}, 6, "p");
  PanelRecorder a(log, "a");
  panel->addPanelListener(&a);
  auto& view = HeadlessBackend::viewOf(*panel);
  view.press({0, 0}, 3, GDK_SHIFT_MASK);
  view.release({0, 0}, 3, GDK_SHIFT_MASK | GDK_BUTTON3_MASK);
  view.move({5, 6}, GDK_LOCK_MASK);
  view.move({7, 8}, GDK_BUTTON1_MASK | GDK_MOD1_MASK | GDK_SUPER_MASK);
  view.press({1, 2}, 9, GDK_CONTROL_MASK | GDK_MOD4_MASK);
  panel->mouseWheeled({0, 0}, 0, -3);
  panel->onContextMenu({4, 4});
  EXPECT_EQ(log, (std::vector<std::string>{"a:down 6(0,0) b1 m2", "a:up 6(0,0) b1 m2",
                                           "a:moved 6(5,6) m0", "a:dragged 6(7,8) b0 m24",
                                           "a:down 6(1,2) b4 m20", "a:wheel -3",
                                           "a:context(4,4)"}));
  EXPECT_EQ(panel->currentEvent(), nullptr);
}

TEST_F(Panels, ButtonsAndModifiersTable) {
  const std::vector<std::pair<unsigned, unsigned>> buttons = {{1, 0}, {3, 1}, {2, 2}, {8, 3}, {9, 4}};
  for (const auto& [x11, toolkit] : buttons) EXPECT_EQ(toolkitButton(x11), toolkit) << x11;
  const std::vector<std::pair<unsigned, unsigned>> modifiers = {
      {GDK_SHIFT_MASK, 2}, {GDK_CONTROL_MASK, 4}, {GDK_MOD1_MASK, 8}, {GDK_SUPER_MASK, 16},
      {GDK_LOCK_MASK, 0},  {GDK_MOD1_MASK | GDK_SUPER_MASK, 24}, {GDK_BUTTON1_MASK, 0}};
  for (const auto& [state, toolkit] : modifiers) EXPECT_EQ(toolkitModifiers(state), toolkit) << state;
  struct Drag {
    bool text, generic, copy;
    DragOperation answer;
  };
  for (const Drag& d : std::vector<Drag>{{true, true, true, kDragGeneric},
                                         {true, false, true, kDragCopy},
                                         {true, false, false, kDragNone},
                                         {false, true, true, kDragNone}})
    EXPECT_EQ(textDragAnswer(d.text, d.generic, d.copy), d.answer);
}

TEST_F(Panels, APanelWithoutParentIsTheContentViewAndFocused) {
  auto* content = new Panel(window, nullptr, {0, 0}, {400, 300}, 1, "content");
  EXPECT_EQ(window->getControlForEmbedding(), content->getControlHandle());
  EXPECT_EQ(window->registeredControlCount(), 1u);
  auto* child = new Panel(window, window->getControlForEmbedding(), {0, 0}, {10, 10}, kNoId, "c");
  EXPECT_EQ(HeadlessBackend::viewOf(*content).children().size(), 1u);
  (void)child;
}

TEST_F(Panels, EnableChangesOnlyTheFlagAndAutoResizeSetsBothMasks) {
  auto* panel = new Panel(window, window->getControlForEmbedding(), {0, 0}, {50, 50}, 2, "p");
  PanelRecorder a(log, "a", true);
  panel->addPanelListener(&a);
  panel->enable(false);
  EXPECT_FALSE(panel->isEnabled());
  auto& view = HeadlessBackend::viewOf(*panel);
  EXPECT_TRUE(view.isEnabled());
  view.press({1, 1}, 1, 0);
  cairo_surface_destroy(view.render());
  EXPECT_EQ(log, (std::vector<std::string>{"a:down 2(1,1) b0 m0", "a:wants", "a:draw 50"}));
  panel->setAutoResize(true);
  EXPECT_EQ(view.autoResizeMask(), 63u);
  EXPECT_TRUE(view.resizesSubviews());
  panel->setAutoResize(false);
  EXPECT_EQ(view.autoResizeMask(), 0u);
  EXPECT_FALSE(view.resizesSubviews());
}

TEST_F(Panels, GeometryChangesTellTheFrame) {
  auto* panel = new Panel(window, window->getControlForEmbedding(), {0, 0}, {50, 50}, 2, "p");
  PanelRecorder a(log, "a");
  panel->addPanelListener(&a);
  panel->setSize({60, 40});
  panel->setSize({60, 40});
  EXPECT_EQ(log, std::vector<std::string>{"a:frame 60x40"});
}

TEST_F(Panels, AddControlPlacesAControlMadeWithoutAParent) {
  auto* panel = new Panel(window, window->getControlForEmbedding(), {0, 0}, {50, 50}, 2, "p");
  auto* field = new NativeTextBox(window, nullptr, {1, 1}, {40, 20}, "start", "t", 9);
  EXPECT_EQ(ui->unplacedViewCount(), 1u);
  panel->addControl(field);
  EXPECT_EQ(ui->unplacedViewCount(), 0u);
  EXPECT_EQ(HeadlessBackend::viewOf(*panel).children().size(), 1u);
}

TEST_F(Panels, TextBoxTellsTheTextWhenEditingEnds) {
  struct Heard : TextBoxListener {
    void textBoxEditingEnded(unsigned id, const std::string& text) override {
      log.push_back(std::to_string(id) + " " + text);
    }
    std::vector<std::string> log;
  } heard;
  auto* field = new NativeTextBox(window, window->getControlForEmbedding(), {0, 0}, {80, 20},
                                  "old", "t", 4);
  EXPECT_EQ(field->addTextBoxListener(&heard), 1u);
  field->setText("quiet");
  HeadlessBackend::viewOf(*field).typeAndEnter("Grüße");
  EXPECT_EQ(heard.log, std::vector<std::string>{"4 Grüße"});
  EXPECT_EQ(field->getText(), "Grüße");
}

struct MenuHeard : MenuListener {
  void menuItemSelected(unsigned menuId, unsigned tag, const std::string& title) override {
    log.push_back(std::to_string(menuId) + " " + std::to_string(tag) + " " + title);
  }
  std::vector<std::string> log;
};

TEST_F(Panels, APopupFromAMouseCallChoosesAnItemWithItsWholeTitle) {
  auto* panel = new Panel(window, window->getControlForEmbedding(), {0, 0}, {50, 50}, 2, "p");
  auto* menu = new NativeMenu(7, "context");
  menu->appendItem("Ouvrir…", 10);
  menu->appendSeparator();
  menu->appendItem("Klänge ♪ löschen", 11);
  MenuHeard heard;
  menu->addMenuListener(&heard);
  PanelRecorder a(log, "a");
  a.panel = panel;
  a.menu = menu;
  panel->addPanelListener(&a);
  ui->queueMenuChoice(2);
  ui->queueMenuChoice(1);  // a separator chooses nothing
  auto& view = HeadlessBackend::viewOf(*panel);
  view.press({3, 4}, 3, 0);
  view.press({3, 4}, 3, 0);
  panel->popupMenu(menu, {0, 0});  // outside a mouse call: no event
  EXPECT_EQ(heard.log, std::vector<std::string>{"7 11 Klänge ♪ löschen"});
  ASSERT_EQ(ui->popups().size(), 3u);
  EXPECT_EQ(ui->popups()[0].view, &view);
  EXPECT_NE(ui->popups()[0].event, nullptr);
  EXPECT_EQ(ui->popups()[2].event, nullptr);
  delete menu;
}

TEST_F(Panels, AMenuWhoseNativeMenuEndsIsDeleted) {
  struct Counted : NativeMenu {
    explicit Counted(int& deleted) : deleted(deleted) {}
    ~Counted() override { ++deleted; }
    int& deleted;
  };
  int deleted = 0;
  auto* menu = new Counted(deleted);
  static_cast<headless::HeadlessMenu*>(menu->peer())->end();
  EXPECT_EQ(deleted, 1);
}

TEST(PlatformText, vntStringFromCFGivesTheWholeText) {
  CFStringRef text = kelo::cf::makeString("Grüße ♪");
  EXPECT_EQ(vntStringFromCF(text).str(), "Grüße ♪");
  CFRelease(text);
  CFStringRef empty = kelo::cf::makeString("");
  EXPECT_EQ(vntStringFromCF(empty).str(), "");
  CFRelease(empty);
  EXPECT_EQ(vntStringFromCF(nullptr).str(), "");
}

}  // namespace
}  // namespace kelo::test
