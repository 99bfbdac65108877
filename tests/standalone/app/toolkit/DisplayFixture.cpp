#include "tests/standalone/app/toolkit/DisplayFixture.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "standalone/app/toolkit/Application.h"
#include "standalone/app/toolkit/Window.h"
#include "standalone/app/toolkit/gtk/GtkBackend.h"

namespace kelo::test {

void DisplayToolkit::SetUp() {
  if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display (run under xvfb-run -a)";
  if (!vantor::VNT::startGtkBackendIfDisplay()) GTEST_SKIP() << "the X display does not open";
}

void DisplayToolkit::TearDown() {
  if (m_shot != nullptr) g_object_unref(m_shot);
  settle();
}

bool DisplayToolkit::waitUntil(const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    if (!g_main_context_iteration(nullptr, FALSE))
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

bool DisplayToolkit::showAndWait(vantor::VNT::Window* window, GtkWidget* widget) {
  window->show(true);
  if (widget == nullptr) widget = GTK_WIDGET(window->getHandle());
  if (!waitUntil([&] { return gtk_widget_get_mapped(widget); })) return false;
  settle();
  return true;
}

void DisplayToolkit::settle() {
  gdk_display_sync(gdk_display_get_default());
  for (int i = 0; i < 3; ++i) {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    gdk_display_sync(gdk_display_get_default());
  }
}

bool DisplayToolkit::xdotool(const std::string& arguments) {
  gdk_display_flush(gdk_display_get_default());
  const std::string command = "xdotool " + arguments;
  return std::system(command.c_str()) == 0;
}

bool DisplayToolkit::clickAt(double x, double y, int button) {
  return xdotool("mousemove " + std::to_string(static_cast<int>(x)) + " " +
                 std::to_string(static_cast<int>(y)) + " click " + std::to_string(button));
}

vantor::VNT::Point DisplayToolkit::originOf(GtkWidget* widget) {
  GtkWidget* top = gtk_widget_get_toplevel(widget);
  int x = 0, y = 0, rootX = 0, rootY = 0;
  gtk_widget_translate_coordinates(widget, top, 0, 0, &x, &y);
  gdk_window_get_origin(gtk_widget_get_window(top), &rootX, &rootY);
  return {static_cast<double>(rootX + x), static_cast<double>(rootY + y)};
}

vantor::VNT::Point DisplayToolkit::centreOf(GtkWidget* widget) {
  const vantor::VNT::Point origin = originOf(widget);
  return {origin.x + gtk_widget_get_allocated_width(widget) / 2,
          origin.y + gtk_widget_get_allocated_height(widget) / 2};
}

GtkWidget* DisplayToolkit::toplevelTitled(const std::string& title) {
  GtkWidget* found = nullptr;
  GList* windows = gtk_window_list_toplevels();
  for (GList* item = windows; item != nullptr; item = item->next) {
    const char* t = gtk_window_get_title(GTK_WINDOW(item->data));
    if (t != nullptr && title == t && gtk_widget_get_visible(GTK_WIDGET(item->data)))
      found = GTK_WIDGET(item->data);
  }
  g_list_free(windows);
  return found;
}

GtkWidget* DisplayToolkit::findInToplevels(
    const std::function<GtkWidget*(GtkWidget* toplevel)>& matches) {
  GtkWidget* found = nullptr;
  GList* windows = gtk_window_list_toplevels();
  for (GList* item = windows; item != nullptr && found == nullptr; item = item->next)
    if (gtk_widget_get_mapped(GTK_WIDGET(item->data))) found = matches(GTK_WIDGET(item->data));
  g_list_free(windows);
  return found;
}

GtkWidget* DisplayToolkit::buttonLabelled(GtkWidget* root, const std::string& label) {
  if (GTK_IS_BUTTON(root)) {
    const char* text = gtk_button_get_label(GTK_BUTTON(root));
    if (text != nullptr && label == text) return root;
  }
  if (!GTK_IS_CONTAINER(root)) return nullptr;
  GtkWidget* found = nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(root));
  for (GList* item = children; item != nullptr && found == nullptr; item = item->next)
    found = buttonLabelled(GTK_WIDGET(item->data), label);
  g_list_free(children);
  return found;
}

vantor::VNT::Rect DisplayToolkit::screenRectOf(GtkWidget* widget) {
  const vantor::VNT::Point origin = originOf(widget);
  return {origin.x, origin.y, static_cast<double>(gtk_widget_get_allocated_width(widget)),
          static_cast<double>(gtk_widget_get_allocated_height(widget))};
}

std::uint64_t DisplayToolkit::answerFileDialog(const std::string& title, const std::string& path,
                                               const std::string& shot, int& steps) {
  steps = 0;
  auto watch = std::make_shared<FieldWatch>();
  auto returns = std::make_shared<int>(0);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  return vantor::VNT::addTimer(0.5, 0.3, [this, title, path, shot, &steps, watch, returns, end] {
    GtkWidget* dialog = toplevelTitled(title);
    if (dialog == nullptr) return;
    if (std::chrono::steady_clock::now() > end) {
      // Cancelled rather than left open: the test fails on the missing answer, it does not hang.
      ADD_FAILURE() << "the file dialog \"" << title << "\" never took " << path;
      gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
      return;
    }
    if (!gtk_window_is_active(GTK_WINDOW(dialog))) {
      gtk_window_present(GTK_WINDOW(dialog));  // no window manager gives it the focus
      return;
    }
    switch (steps) {
      case 0: xdotool("key ctrl+l"); break;
      case 1:
        if (!fieldTakesKeys(dialog)) return;
        xdotool("type --delay 20 '" + path + "'");
        break;
      case 2:
        if (!fieldHolds(dialog, path, *watch)) return;
        screenshot(shot, screenRectOf(dialog));
        break;
      default:
        pressReturn(*returns);  // again while it stays: the first may take a completion
        break;
    }
    ++steps;
  });
}

bool DisplayToolkit::fieldHolds(GtkWidget* dialog, const std::string& path, FieldWatch& watch) {
  GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(dialog));
  if (focus == nullptr || !GTK_IS_ENTRY(focus)) return false;
  GtkEntry* field = GTK_ENTRY(focus);
  const std::string text = gtk_entry_get_text(field);
  if (text == path) return true;
  if (text != watch.text) {
    watch = {text, 0};
    return false;
  }
  // Typing again into a field that completes while keys arrive loses more of them.
  if (++watch.looks < 10) return false;
  std::printf("the typed name did not all reach the file dialog's field (it held \"%s\"); given\n",
              text.c_str());
  gtk_entry_set_text(field, path.c_str());
  return true;
}

bool DisplayToolkit::fieldTakesKeys(GtkWidget* dialog) {
  GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(dialog));
  return focus != nullptr && GTK_IS_ENTRY(focus) && gtk_widget_get_mapped(focus);
}

void DisplayToolkit::pressReturn(int& calls) {
  if (calls++ % 10 == 0) xdotool("key Return");
}

void DisplayToolkit::screenshot(const std::string& name, const vantor::VNT::Rect& area) {
  settle();
  if (m_shot != nullptr) g_object_unref(m_shot);
  m_shot = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), static_cast<int>(area.x),
                                      static_cast<int>(area.y), static_cast<int>(area.width),
                                      static_cast<int>(area.height));
  ASSERT_NE(m_shot, nullptr);
  std::filesystem::create_directories(KELO_SCREENSHOT_DIR);
  const std::string path = std::string(KELO_SCREENSHOT_DIR) + "/" + name + ".png";
  EXPECT_TRUE(gdk_pixbuf_save(m_shot, path.c_str(), "png", nullptr, nullptr)) << path;
}

int DisplayToolkit::expectButtonsWhole(GtkWidget* root, const vantor::VNT::Rect& area) {
  int checked = 0;
  if ((GTK_IS_BUTTON(root) || GTK_IS_COMBO_BOX(root)) && gtk_widget_get_mapped(root)) {
    ++checked;
    const vantor::VNT::Rect r = screenRectOf(root);
    const int bottom = static_cast<int>(r.y + r.height - 1 - area.y);
    const int middle = static_cast<int>(r.x + r.width / 2 - area.x);
    const char* label = GTK_IS_BUTTON(root) ? gtk_button_get_label(GTK_BUTTON(root)) : nullptr;
    const std::string name = label != nullptr ? label : G_OBJECT_TYPE_NAME(root);
    EXPECT_LT(bottom + 1, static_cast<int>(area.height)) << name << " is cut off at the bottom";
    EXPECT_LE(r.x + r.width, area.x + area.width) << name << " is cut off at the right";
    if (bottom + 1 < static_cast<int>(area.height) && middle >= 0 && middle < area.width) {
      const std::vector<int> edge = rgbAt(middle, bottom);
      const std::vector<int> under = rgbAt(middle, bottom + 1);
      int difference = 0;
      for (int i = 0; i < 3; ++i) difference += std::abs(edge[i] - under[i]);
      EXPECT_GT(difference, 30) << name << ": no frame drawn at its bottom edge";
    }
  }
  if (GTK_IS_CONTAINER(root)) {
    GList* children = gtk_container_get_children(GTK_CONTAINER(root));
    for (GList* item = children; item != nullptr; item = item->next)
      checked += expectButtonsWhole(GTK_WIDGET(item->data), area);
    g_list_free(children);
  }
  return checked;
}

std::vector<int> DisplayToolkit::rgbAt(int x, int y) const {
  const guchar* p = gdk_pixbuf_get_pixels(m_shot) + y * gdk_pixbuf_get_rowstride(m_shot) +
                    x * gdk_pixbuf_get_n_channels(m_shot);
  return {p[0], p[1], p[2]};
}

}  // namespace kelo::test
