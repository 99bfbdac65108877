// The toolkit's application object: `main` creates it and calls `initialize()`, `runLoop()`
// and `terminate()` in turn; the standalone's application class derives from it. The
// platform's termination and open-file requests reach it through the application delegate
// that `runLoop()` attaches.
//
// Quitting: `quitApplication()` (the quit action, a window-manager close of the main window,
// SIGINT and SIGTERM) runs the delegate's will-terminate, which calls `terminate()` and
// deletes the application object, and then ends the process with status 0. `main`'s own
// `terminate()` and delete run only when the loop returns by itself.
//
// Threads: main thread only (signals arrive through the main loop).
#pragma once

#include <functional>
#include <string>

#include "standalone/app/toolkit/Peers.h"

namespace vantor::VNT {

class Application {
 public:
  Application() = default;
  virtual ~Application() = default;
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  /// Starts the GTK back end when a display is there (the headless one otherwise) and reads
  /// the interface file "cocoa" from the program's `Resources` folder; true whatever it finds.
  virtual bool initialize();
  virtual bool terminate() { return true; }
  /// Attaches the application delegate and runs the main loop; true when the loop returns.
  virtual bool runLoop();
  virtual void idle() {}
  /// The platform asks to open `path` (UTF-8).
  virtual void loadFile(const std::string& path) {}

  /// The menus read from the interface file (empty when there was none or it was unreadable).
  const MenuBarModel& getMenuModel() const { return m_menus; }
  /// Reads the interface file at `path` into the menu model; false when unreadable.
  bool loadInterfaceFile(const std::string& path);

 private:
  MenuBarModel m_menus;
};

/// The platform side of the application: attached by `runLoop()`, it turns termination and
/// open-file requests into calls of the application object. Owned by itself: it deletes itself
/// at will-terminate.
class ApplicationDelegate {
 public:
  /// The delegate attached by `runLoop()`; null before and after.
  static ApplicationDelegate* current();

  explicit ApplicationDelegate(Application* application);
  ~ApplicationDelegate();
  ApplicationDelegate(const ApplicationDelegate&) = delete;
  ApplicationDelegate& operator=(const ApplicationDelegate&) = delete;

  /// With an application attached: its `terminate()`, then delete it, then detach. Then the
  /// delegate deletes itself.
  void applicationWillTerminate();
  /// False with no application attached or a name over 2046 bytes; otherwise `loadFile`.
  bool openFile(const std::string& utf8Path);
  void setVNTApplication(Application* application) { m_app = application; }

 private:
  Application* m_app;
};

/// The longest file name `openFile` passes on, in bytes.
inline constexpr std::size_t kMaxOpenFileNameBytes = 2046;

/// Asks the running application to open `utf8Path` (false when none is attached).
bool requestOpenFile(const std::string& utf8Path);

/// The quit path: the delegate's will-terminate (when one is attached), then the process end.
void quitApplication();
/// Replaces the process end of the quit path (default: `std::exit`); tests record the status
/// instead. An empty function restores the default.
void setProcessEnd(std::function<void(int status)> end);

/// Reads the interface file format: one statement a line, "#" starts a comment line.
///   menu <title>                 starts a menu
///   item <action> <key> <title>  an item sending <action>; <key> one character for Ctrl+key,
///                                or "-" for none; the title is the rest of the line
///   separator                    a separator line
/// Fails (false, `menus` unchanged) on any other line or an item before the first menu.
bool parseInterfaceText(const std::string& text, MenuBarModel& menus);

/// A repeating main-loop timer; see Backend::addTimer.
TimerId addTimer(double firstSeconds, double intervalSeconds, std::function<void()> callback);
void removeTimer(TimerId id);

}  // namespace vantor::VNT
