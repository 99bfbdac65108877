// The GTK 3 back end of the toolkit, forced to X11: windows are GtkWindows whose content view
// is a GtkFixed with its own native X11 window; controls are GTK widgets placed in fixed
// containers; modal runs are nested GLib main loops; timers are GLib timeouts. Programmatic
// changes block the widget's signal handlers, so only the user's actions reach the toolkit.
//
// Also the GTK forms of the common library's alert backend (GtkMessageDialog) and progress
// window, which `startGtkBackendIfDisplay` installs.
//
// Threads: main thread only (the GTK thread).
#pragma once

#include <gtk/gtk.h>

#include <map>
#include <memory>

#include "VNL/source/Alerts.h"
#include "VNL/source/PxProgressDialogCocoa.h"
#include "standalone/app/toolkit/Peers.h"

namespace vantor::VNT {

/// When no back end was installed: opens the X11 display (GDK_BACKEND x11 forced) and, when
/// that works, installs the GTK back end, the GTK alert backend and the GTK progress windows.
/// True when the GTK back end is in use afterwards.
bool startGtkBackendIfDisplay();

/// SIGINT and SIGTERM run the application's quit path from the main loop (once installed,
/// for the life of the process).
void installQuitSignals();

class GtkBackend final : public Backend {
 public:
  /// Call after gtk_init has succeeded.
  GtkBackend();
  ~GtkBackend() override;

  WindowPeer* createWindow(WindowKind kind, long style, const Rect& content,
                           const std::string& title) override;
  ViewPeer* createView(void* parent, const Rect& frame, const ViewSetup& setup) override;
  ViewPeer* peerOf(void* handle) override;
  void runMainLoop() override;
  void quitMainLoop() override;
  TimerId addTimer(double firstSeconds, double intervalSeconds,
                   std::function<void()> callback) override;
  void removeTimer(TimerId id) override;
  MenuPeer* createMenu() override;
  /// A GtkFileChooserDialog: open (several files when asked), save (with folder creation and a
  /// question before replacing a file) or choose a folder (with folder creation). Allowed
  /// extensions match in any letter case.
  int askFiles(const FileQuestion& question, std::vector<std::string>& paths) override;
  void cancelFileQuestion() override;

 private:
  struct Timer;
  static gboolean fire(gpointer data);
  std::map<TimerId, std::unique_ptr<Timer>> m_timers;
  TimerId m_nextTimer = 1;
  GMainLoop* m_mainLoop = nullptr;
  GtkWidget* m_fileDialog = nullptr;
};

/// A GTK file pattern matching "*.<extension>" in any letter case.
std::string anyCaseExtensionPattern(const std::string& extension);

/// Alerts as GtkMessageDialogs, buttons left to right in the order given; the dialog is modal
/// over the focused window.
class GtkAlertBackend final : public AlertBackend {
 public:
  int runAlert(const AlertRequest& alert) override;
};

/// The progress window: centred, kept above, with the layout of `progressLayout`; Cancel goes
/// to `setup.dialog->cancelPressed()`, the confirmation is a warning attached to the window.
std::unique_ptr<ProgressView> makeGtkProgressView(const ProgressViewSetup& setup);

}  // namespace vantor::VNT
