// Windows, controls, modal runs, alerts, progress windows and the quit path of the GTK back
// end, seen and driven as a person would: on an X server, with xdotool.
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "VNL/source/Alerts.h"
#include "VNL/source/PxProgressDialogCocoa.h"
#include "standalone/app/toolkit/Application.h"
#include "standalone/app/toolkit/Controls.h"
#include "standalone/app/toolkit/Window.h"
#include "tests/standalone/app/toolkit/DisplayFixture.h"
#include "tests/support/JackDummyServer.h"

// After GoogleTest: Xlib defines macros (None, Bool) that its headers use as names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gdk/gdkx.h>

namespace kelo::test {
namespace {

using namespace vantor::VNT;
using VWindow = vantor::VNT::Window;

struct Heard : VNTButtonListener, SliderListener {
  void buttonClicked(unsigned id) override { log.push_back("clicked " + std::to_string(id)); }
  void buttonToggled(unsigned id, bool state) override {
    log.push_back("toggled " + std::to_string(id) + (state ? " on" : " off"));
  }
  void sliderValueChanged(unsigned id, unsigned value) override {
    log.push_back("slider " + std::to_string(value));
  }
  std::vector<std::string> log;
};

bool hasAtom(Display* display, ::Window window, const char* property, const char* value) {
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, window, XInternAtom(display, property, False), 0, 64, False,
                         XA_ATOM, &type, &format, &count, &after, &data) != Success)
    return false;
  bool found = false;
  const Atom wanted = XInternAtom(display, value, False);
  for (unsigned long i = 0; i < count; ++i)
    if (reinterpret_cast<Atom*>(data)[i] == wanted) found = true;
  if (data != nullptr) XFree(data);
  return found;
}

GtkWidget* messageDialog(GtkWidget* toplevel) {
  return GTK_IS_MESSAGE_DIALOG(toplevel) ? toplevel : nullptr;
}

Display* xdisplay() { return gdk_x11_display_get_xdisplay(gdk_display_get_default()); }

::Window xidOf(GtkWidget* window) { return GDK_WINDOW_XID(gtk_widget_get_window(window)); }

// The client windows the window manager stacks, bottom to top (_NET_CLIENT_LIST_STACKING);
// empty without a window manager.
std::vector<::Window> stackingOrder() {
  Display* display = xdisplay();
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::vector<::Window> order;
  if (XGetWindowProperty(display, DefaultRootWindow(display),
                         XInternAtom(display, "_NET_CLIENT_LIST_STACKING", False), 0, 1024, False,
                         XA_WINDOW, &type, &format, &count, &after, &data) == Success &&
      data != nullptr) {
    order.assign(reinterpret_cast<::Window*>(data), reinterpret_cast<::Window*>(data) + count);
  }
  if (data != nullptr) XFree(data);
  return order;
}

// Whether `upper` is stacked above `lower` by the window manager.
bool stackedAbove(::Window upper, ::Window lower) {
  const std::vector<::Window> order = stackingOrder();
  const auto up = std::find(order.begin(), order.end(), upper);
  const auto low = std::find(order.begin(), order.end(), lower);
  return up != order.end() && low != order.end() && up > low;
}

using GtkWindows = DisplayToolkit;

TEST_F(GtkWindows, AWindowMadeAtAPointHasItsContentThereInItsColour) {
  auto* window = new VWindow({100, 50}, {240, 160}, WindowKind::Ordinary,
                            kWindowClosable | kWindowResizable, "Placed", "placed");
  window->setBackgroundColour({0.2, 0.4, 0.6, 255.0});
  ASSERT_TRUE(showAndWait(window));

  const auto xid = static_cast<::Window>(window->getContentX11Window());
  ASSERT_NE(xid, 0u);
  XWindowAttributes attributes{};
  ASSERT_NE(XGetWindowAttributes(xdisplay(), xid, &attributes), 0);
  EXPECT_EQ(attributes.map_state, IsViewable);
  EXPECT_EQ(attributes.width, 240);
  EXPECT_EQ(attributes.height, 160);
  int x = 0, y = 0;
  ::Window child = 0;
  XTranslateCoordinates(xdisplay(), xid, DefaultRootWindow(xdisplay()), 0, 0, &x, &y, &child);
  EXPECT_EQ(x, 100);
  EXPECT_EQ(y, 50);

  Point position;
  window->getPosition(position);
  EXPECT_EQ(position, (Point{100, 50}));  // no window manager: no decorations
  window->setPosition({300, 200});
  settle();
  window->getPosition(position);
  EXPECT_EQ(position, (Point{300, 200}));

  screenshot("toolkit-window-background", {300, 200, 240, 160});
  for (const auto& [px, py] : std::vector<std::pair<int, int>>{{1, 1}, {120, 80}, {238, 158}})
    EXPECT_EQ(rgbAt(px, py), (std::vector<int>{51, 102, 153})) << px << "," << py;
  delete window;
}

TEST_F(GtkWindows, KindAndStyleBecomeWindowHints) {
  auto* utility = new VWindow({10, 10}, {120, 80}, WindowKind::Utility, kWindowClosable, "Tool",
                             "tool");
  auto* fixed = new VWindow({200, 10}, {120, 80}, WindowKind::Ordinary, kWindowMiniaturisable,
                           "Fixed", "fixed");
  ASSERT_TRUE(showAndWait(utility));
  ASSERT_TRUE(showAndWait(fixed));
  const auto frameOf = [](VWindow* w) {
    return GDK_WINDOW_XID(gtk_widget_get_window(GTK_WIDGET(w->getHandle())));
  };
  EXPECT_TRUE(hasAtom(xdisplay(), frameOf(utility), "_NET_WM_WINDOW_TYPE",
                      "_NET_WM_WINDOW_TYPE_UTILITY"));
  EXPECT_TRUE(hasAtom(xdisplay(), frameOf(utility), "_NET_WM_STATE", "_NET_WM_STATE_ABOVE"));
  EXPECT_FALSE(hasAtom(xdisplay(), frameOf(fixed), "_NET_WM_STATE", "_NET_WM_STATE_ABOVE"));
  EXPECT_TRUE(gtk_window_get_deletable(GTK_WINDOW(utility->getHandle())));
  EXPECT_FALSE(gtk_window_get_deletable(GTK_WINDOW(fixed->getHandle())));
  EXPECT_FALSE(gtk_window_get_resizable(GTK_WINDOW(fixed->getHandle())));
  delete utility;
  delete fixed;
}

TEST_F(GtkWindows, OneClickIsOneListenerCall) {
  auto* window = new VWindow({60, 60}, {300, 140}, WindowKind::Ordinary, kWindowClosable,
                            "Buttons", "buttons");
  void* content = window->getControlForEmbedding();
  auto* plain = new NativeButton(window, content, {20, 20}, {100, 30}, "Play", false, "play", 1);
  auto* toggle = new NativeButton(window, content, {160, 20}, {100, 30}, "Loop", true, "loop", 2);
  auto* slider = new NativeSlider(window, content, {20, 80}, {240, 30}, 0, 100, 50, "pos", 3);
  new NativeStaticText(window, content, {20, 115}, {240, 20}, "Grüße, Kelo ♪", "label", 4);
  Heard heard;
  plain->addButtonListener(&heard);
  toggle->addButtonListener(&heard);
  slider->addSliderListener(&heard);
  ASSERT_TRUE(showAndWait(window, GTK_WIDGET(plain->getControlHandle())));

  const std::vector<std::pair<NativeControl*, std::vector<std::string>>> clicks = {
      {plain, {"clicked 1"}}, {toggle, {"toggled 2 on"}}, {toggle, {"toggled 2 off"}}};
  for (const auto& [control, expected] : clicks) {
    heard.log.clear();
    const Point at = centreOf(GTK_WIDGET(control->getControlHandle()));
    ASSERT_TRUE(clickAt(at.x, at.y));
    ASSERT_TRUE(waitUntil([&] { return !heard.log.empty(); }));
    settle();
    EXPECT_EQ(heard.log, expected);
  }

  // A wheel notch up over the slider is one step, told once.
  heard.log.clear();
  const Point knob = centreOf(GTK_WIDGET(slider->getControlHandle()));
  ASSERT_TRUE(clickAt(knob.x, knob.y, 4));
  ASSERT_TRUE(waitUntil([&] { return !heard.log.empty(); }));
  settle();
  EXPECT_EQ(heard.log, std::vector<std::string>{"slider 51"});
  screenshot("toolkit-controls", {60, 60, 300, 140});
  delete window;
}

TEST_F(GtkWindows, ProgrammaticSliderChangesAreToldOnceAndSkipTheCaller) {
  auto* window = new VWindow({60, 60}, {300, 60}, WindowKind::Ordinary, kWindowClosable, "Slider",
                            "slider");
  auto* slider = new NativeSlider(window, window->getControlForEmbedding(), {20, 20}, {240, 20},
                                  0, 100, 0, "s", 3);
  Heard caller, other;
  const unsigned callerId = slider->addSliderListener(&caller);
  slider->addSliderListener(&other);
  ASSERT_TRUE(showAndWait(window));
  slider->setValue(30, callerId);
  slider->setValue(130, 0);
  settle();
  EXPECT_TRUE(caller.log == std::vector<std::string>{"slider 100"});
  EXPECT_EQ(other.log, (std::vector<std::string>{"slider 30", "slider 100"}));
  EXPECT_EQ(slider->getValue(), 100);
  delete window;
}

TEST_F(GtkWindows, ShowModalAnswersEndModalWhileTimersFire) {
  auto* window = new VWindow({80, 80}, {200, 100}, WindowKind::Utility, kWindowClosable, "Modal",
                            "modal");
  int ticks = 0;
  const TimerId timer = addTimer(0.2, 0.2, [&] {
    if (++ticks == 3) window->endModal(1002);
  });
  EXPECT_EQ(window->showModal(), 1002u);
  removeTimer(timer);
  EXPECT_EQ(ticks, 3);
  settle();
  EXPECT_EQ(toplevelTitled("Modal"), nullptr);
}

TEST_F(GtkWindows, AWindowManagerCloseInAModalRunEndsItWithZero) {
  auto* window = new VWindow({80, 80}, {200, 100}, WindowKind::Ordinary, kWindowClosable,
                            "Closed modal", "modal");
  const TimerId timer = addTimer(0.2, 1.0, [&] {
    gtk_window_close(GTK_WINDOW(window->getHandle()));
  });
  EXPECT_EQ(window->showModal(), 0u);
  removeTimer(timer);
}

TEST_F(GtkWindows, DialogsAndAlertsStayAboveTheWindowTheyBelongTo) {
  // Only a window manager restacks on a click; openbox is a light one.
  ChildProgram windowManager({"openbox", "--sm-disable"});
  ASSERT_TRUE(windowManager.running());
  const auto managed = [] {
    return hasAtom(xdisplay(), DefaultRootWindow(xdisplay()), "_NET_SUPPORTED",
                   "_NET_CLIENT_LIST_STACKING");
  };
  ASSERT_TRUE(waitUntil(managed) || waitUntil(managed)) << windowManager.describe();
  auto* main = new MainWindow({100, 140}, {500, 320}, WindowKind::Ordinary, kWindowMiniaturisable,
                              "KeloDeck main", "SA");
  ASSERT_TRUE(showAndWait(main));
  GtkWidget* mainWidget = GTK_WIDGET(main->getHandle());
  auto* dialog = new VWindow({160, 200}, {220, 120}, WindowKind::Ordinary, kWindowClosable,
                             "A dialog", "dialog");
  GtkWidget* dialogWidget = GTK_WIDGET(dialog->getHandle());
  // A click on the main window's title bar, as a person trying the frozen-looking window would.
  const auto clickMainTitle = [&] {
    const Point origin = originOf(mainWidget);
    clickAt(origin.x + 200, origin.y - 8);
    settle();
  };
  int step = 0;
  bool dialogAbove = false, alertAbove = false;
  GtkWindow* alertParent = nullptr;
  std::string alertTitle;
  const TimerId timer = addTimer(0.3, 0.3, [&] {
    switch (step) {
      case 0:
        if (!gtk_widget_get_mapped(dialogWidget)) return;
        clickMainTitle();
        break;
      case 1:
        dialogAbove = stackedAbove(xidOf(dialogWidget), xidOf(mainWidget));
        screenshot("toolkit-dialog-over-main", {0, 0, 800, 600});
        break;
      case 2: {
        const TimerId answer = addTimer(0.3, 0.3, [&] {
          GtkWidget* alert = findInToplevels(messageDialog);
          if (alert == nullptr || !gtk_widget_get_mapped(alert)) return;
          if (alertParent == nullptr) {
            alertParent = gtk_window_get_transient_for(GTK_WINDOW(alert));
            alertTitle = gtk_window_get_title(GTK_WINDOW(alert)) != nullptr
                             ? gtk_window_get_title(GTK_WINDOW(alert))
                             : "";
            clickMainTitle();
            return;
          }
          alertAbove = stackedAbove(xidOf(alert), xidOf(dialogWidget)) &&
                       stackedAbove(xidOf(alert), xidOf(mainWidget));
          screenshot("toolkit-alert-over-dialog", {0, 0, 800, 600});
          GtkWidget* ok = buttonLabelled(alert, "OK");
          ASSERT_NE(ok, nullptr);
          const Point at = centreOf(ok);
          clickAt(at.x, at.y);
        });
        popupModalMessageWindowCocoa(nullptr, "", "The audio device stopped.");
        removeTimer(answer);
        dialog->endModal(1);
        break;
      }
      default: return;
    }
    ++step;
  });
  dialog->showModal();
  removeTimer(timer);
  EXPECT_TRUE(dialogAbove) << "a click on the main window put the modal dialog under it";
  EXPECT_EQ(alertParent, GTK_WINDOW(dialogWidget));
  EXPECT_TRUE(alertAbove);
  EXPECT_EQ(alertTitle, g_get_application_name());
  delete main;
  settle();
}

TEST_F(GtkWindows, AnAlertAnsweredByItsButton) {
  GtkWidget* shown = nullptr;
  const TimerId timer = addTimer(0.2, 0.2, [&] {
    shown = findInToplevels(messageDialog);
    if (shown == nullptr) return;
    const Point origin = originOf(shown);
    screenshot("toolkit-alert", {origin.x, origin.y,
                                 static_cast<double>(gtk_widget_get_allocated_width(shown)),
                                 static_cast<double>(gtk_widget_get_allocated_height(shown))});
    GtkWidget* no = buttonLabelled(shown, "No");
    ASSERT_NE(no, nullptr);
    const Point at = centreOf(no);
    clickAt(at.x, at.y);
  });
  EXPECT_FALSE(popupModalYesNoWindowCocoa(nullptr, "Replace the file?", "It exists already."));
  removeTimer(timer);
  EXPECT_NE(shown, nullptr);
}

TEST_F(GtkWindows, CancelThenYesInAProgressWindowStopsTheWork) {
  vantor::PxProgressDialogCocoa dialog("Rendering", nullptr, 100, true, true, false);
  ASSERT_NE(dialog.getHandle(), nullptr);
  GtkWidget* progress = toplevelTitled("Rendering");
  ASSERT_NE(progress, nullptr);
  settle();
  screenshot("toolkit-progress", {0, 0, 1280, 800});
  GtkWidget* cancel = buttonLabelled(progress, "Cancel");
  ASSERT_NE(cancel, nullptr);
  bool answered = false;
  const TimerId timer = addTimer(0.2, 0.2, [&] {
    GtkWidget* dialog = findInToplevels(messageDialog);
    GtkWidget* yes = dialog != nullptr ? buttonLabelled(dialog, "Yes") : nullptr;
    if (yes == nullptr || answered) return;
    answered = true;
    const Point at = centreOf(yes);
    clickAt(at.x, at.y);
  });
  const Point at = centreOf(cancel);
  ASSERT_TRUE(clickAt(at.x, at.y));
  int steps = 0;
  while (steps < 20000 && dialog.step("working")) {
    ++steps;
    g_usleep(1000);
  }
  removeTimer(timer);
  EXPECT_TRUE(answered);
  EXPECT_FALSE(dialog.step("after"));
}

TEST_F(GtkWindows, MenuBarItemsAnswerTheirControlKey) {
  MenuBarModel menus;
  ASSERT_TRUE(parseInterfaceText("menu File\nitem open o Open…\nseparator\nitem quit q Quit\n",
                                 menus));
  auto* window = new VWindow({40, 40}, {300, 100}, WindowKind::Ordinary, kWindowClosable,
                             "Menus", "menus");
  std::vector<std::string> actions;
  window->setMenuBar(menus, [&](const std::string& action) { actions.push_back(action); });
  window->show(true);
  ASSERT_TRUE(waitUntil([&] { return gtk_window_is_active(GTK_WINDOW(window->getHandle())); }));
  ASSERT_TRUE(xdotool("key ctrl+q"));
  ASSERT_TRUE(waitUntil([&] { return !actions.empty(); }));
  settle();
  EXPECT_EQ(actions, std::vector<std::string>{"quit"});
  screenshot("toolkit-menubar", {40, 40, 300, 130});
  delete window;
}

// The quit path ends the process: each case runs in a child process of its own.
class QuittingApp : public Application {
 public:
  bool terminate() override {
    std::fprintf(stderr, "terminate %d\n", ++m_terminated);
    return true;
  }
  ~QuittingApp() override { std::fprintf(stderr, "deleted\n"); }

 private:
  int m_terminated = 0;
};

void runMainWindowAndQuitBy(const std::function<void(MainWindow*)>& quit) {
  auto* app = new QuittingApp();
  app->initialize();
  auto* main = new MainWindow({50, 50}, {650, 350}, WindowKind::Ordinary, kWindowMiniaturisable,
                              "KeloDeck", "SA");
  main->show(true);
  addTimer(0.3, 5.0, [main, quit] { quit(main); });
  app->runLoop();
  std::fprintf(stderr, "the loop returned\n");
  std::_Exit(3);
}

TEST_F(GtkWindows, AWindowManagerCloseOfTheMainWindowQuits) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(runMainWindowAndQuitBy([](MainWindow* main) {
                // What a window manager sends when its close button is pressed.
                XEvent event{};
                event.xclient.type = ClientMessage;
                event.xclient.window = GDK_WINDOW_XID(gtk_widget_get_window(GTK_WIDGET(main->getHandle())));
                event.xclient.message_type = XInternAtom(xdisplay(), "WM_PROTOCOLS", False);
                event.xclient.format = 32;
                event.xclient.data.l[0] = static_cast<long>(XInternAtom(xdisplay(), "WM_DELETE_WINDOW", False));
                event.xclient.data.l[1] = CurrentTime;
                XSendEvent(xdisplay(), event.xclient.window, False, NoEventMask, &event);
                XFlush(xdisplay());
              }),
              ::testing::ExitedWithCode(0), "terminate 1\ndeleted\n$");
}

TEST_F(GtkWindows, SigtermQuits) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(runMainWindowAndQuitBy([](MainWindow*) { kill(getpid(), SIGTERM); }),
              ::testing::ExitedWithCode(0), "terminate 1\ndeleted\n$");
}

}  // namespace
}  // namespace kelo::test
