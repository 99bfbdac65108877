// The GTK back end under a real X server (run under xvfb-run -a; skipped without a display):
// waiting for the server, clicking and typing through xdotool, screenshots a person can look
// at (PNG files under the build's screenshots folder) and pixels sampled from the screen.
#pragma once

#include <gtk/gtk.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "standalone/app/toolkit/Geometry.h"

namespace vantor::VNT {
class Window;
}

namespace kelo::test {

class DisplayToolkit : public ::testing::Test {
 public:
  void SetUp() override;

  /// Lets GTK handle what the server sent, until `done` or 30 seconds passed.
  static bool waitUntil(const std::function<bool()>& done);
  /// Shows `window` and waits until `widget` (by default the window itself) is on screen.
  static bool showAndWait(vantor::VNT::Window* window, GtkWidget* widget = nullptr);
  /// Round trip to the server, then everything pending handled.
  static void settle();
  /// Runs xdotool with `arguments` (a shell word list); true on success.
  static bool xdotool(const std::string& arguments);
  /// A click of `button` at a point in root coordinates.
  static bool clickAt(double x, double y, int button = 1);
  /// The centre of `widget` in root coordinates.
  static vantor::VNT::Point centreOf(GtkWidget* widget);
  /// The top-left corner of `widget` in root coordinates.
  static vantor::VNT::Point originOf(GtkWidget* widget);
  /// The toplevel window titled `title`, null when none.
  static GtkWidget* toplevelTitled(const std::string& title);
  /// The first mapped toplevel window (dialogs and pop-ups included) for which `matches`
  /// answers a widget; that widget, or null.
  static GtkWidget* findInToplevels(const std::function<GtkWidget*(GtkWidget* toplevel)>& matches);
  /// The first descendant of `root` that is a button labelled `label`.
  static GtkWidget* buttonLabelled(GtkWidget* root, const std::string& label);
  /// The screen area of `widget` (a toplevel or a widget inside one).
  static vantor::VNT::Rect screenRectOf(GtkWidget* widget);

  /// A toolkit timer that answers the file dialog titled `title` as a person would: Ctrl+L,
  /// `path` typed once the field it shows takes keys, a screenshot named `shot` of the dialog
  /// once the field holds the name, Return, again while the dialog stays (see `pressReturn`);
  /// one step a tick, so that the dialog handles each before the next. `steps` counts the
  /// steps taken. After 90 seconds it cancels the dialog with a failure rather than leave the
  /// test waiting. Remove the timer once the question is over.
  std::uint64_t answerFileDialog(const std::string& title, const std::string& path,
                                 const std::string& shot, int& steps);

  /// What a file dialog's field showed at the last look, and for how many looks since.
  struct FieldWatch {
    std::string text;
    int looks = 0;
  };
  /// Whether the focused field of file dialog `dialog` holds `path`, as typed keys should
  /// have left it. A loaded program takes seconds to handle them, each one completing the
  /// name: while the text still changes, the answer is no. Once it has stood for ten looks
  /// short of `path` (keys lost), the field is given `path` and the answer is yes.
  static bool fieldHolds(GtkWidget* dialog, const std::string& path, FieldWatch& watch);
  /// Whether keys typed now reach the focused field of `dialog`: an entry GTK has laid out.
  /// The field Ctrl+L shows has the focus at once but is realized only at the next layout;
  /// keys that come before (a loaded machine delivers them together) are dropped.
  static bool fieldTakesKeys(GtkWidget* dialog);
  /// Presses Return on the first of a run of calls, one a tick while a file dialog stays
  /// open, and again on every tenth: the dialog checks the typed file after the key, and a
  /// second Return pressed meanwhile reaches whatever window has the focus next.
  static void pressReturn(int& calls);

  /// Saves the screen area as `<screenshots>/<name>.png` and keeps it for `rgbAt`.
  void screenshot(const std::string& name, const vantor::VNT::Rect& area);
  /// Red, green and blue of the last screenshot at (x, y) in its own coordinates.
  std::vector<int> rgbAt(int x, int y) const;
  /// Checks in the last screenshot, taken of `area`, that every button and choice inside `root`
  /// shows whole: its frame's bottom row is in the shot and drawn, unlike the row
  /// under it, so no window or panel edge cuts it off. Answers how many were checked.
  int expectButtonsWhole(GtkWidget* root, const vantor::VNT::Rect& area);
  void TearDown() override;

 private:
  GdkPixbuf* m_shot = nullptr;
};

}  // namespace kelo::test
