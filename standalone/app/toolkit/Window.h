// The toolkit's top-level window: one toolkit object over one native window (an ordinary
// window or a floating utility panel kept above the others). It keeps its window listeners,
// a registry of its controls by id, an optional status bar, and runs dialogs modally.
//
// Lifetime: a window is created hidden with `new`. It lives until its native window closes
// (a close the listeners accept, `close()`, or the end of `showModal()`), and then deletes
// itself; a window deleted in code closes its native window. Code keeping a pointer to it
// learns of the end through `WindowListener::windowClosing`. The window owns its native
// window and, through it, the controls placed in it; it owns neither its listeners nor the
// controls it registers.
//
// Coordinates are X11 root coordinates (top-left of the screen, y down); frames include the
// window manager's decorations, the content area does not.
//
// Threads: main thread only.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "standalone/app/toolkit/Geometry.h"
#include "standalone/app/toolkit/ListenerRegistry.h"
#include "standalone/app/toolkit/Peers.h"

namespace vantor::VNT {

class DrawContext;
class NativeControl;
class NativeStaticText;
class VNTButtonListener;

class WindowListener {
 public:
  virtual ~WindowListener() = default;
  /// The window is going away (its toolkit object is being deleted).
  virtual void windowClosing(unsigned windowId) = 0;
  /// Asked when the user closes the window; false keeps it (hidden).
  virtual bool windowCanClose(unsigned windowId) = 0;
};

class Window : private WindowOwner {
 public:
  /// `origin`: the content area's top-left corner in root coordinates. `style`: WindowStyle
  /// flags (a title bar is always there).
  Window(const Point& origin, const Size& size, WindowKind kind, long style,
         const std::string& title, const std::string& name);
  /// Tells the listeners `windowClosing`, then closes the native window if it is still open.
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  /// true: show, raise and focus; false: hide.
  virtual void show(bool visible);
  /// Closes the native window, which deletes this window. During a modal run it ends the run
  /// instead (as `endModal(0)`), and `showModal` closes the window.
  virtual void close();
  /// Shows the window and runs a modal loop until `endModal`; then closes the window (which
  /// deletes it) and answers the code. Timers keep firing inside the loop. The window must not
  /// be deleted in code while its run goes on: end the run with `endModal` or `close`.
  virtual unsigned showModal();
  virtual void endModal(unsigned code);
  /// Raises and focuses the window when it is not the focused one.
  virtual void setFocus();
  virtual void activated(bool) {}
  virtual void shown(bool) {}
  virtual void focused(bool) {}
  virtual void draw(DrawContext*) {}
  virtual bool isShown();
  /// The native window (GtkWindow* or the headless window).
  virtual void* getHandle();
  virtual bool hasBackgroundColour() { return m_hasBackgroundColour; }
  virtual const RGBAColour& getBackgroundColour() { return m_backgroundColour; }
  virtual void setBackgroundColour(const RGBAColour& colour);
  /// The content view: the parent view for controls and panels.
  virtual void* getControlForEmbedding();
  virtual void addControl(NativeControl*) {}
  /// Tells every listener `windowClosing(id)`.
  virtual void closing();
  virtual void setClientSize(const Size& size);
  virtual void centre();
  /// Places the frame's top-left corner.
  virtual void setPosition(const Point& topLeft);
  virtual void setRect(const Rect& frame);
  virtual void setTitle(const std::string& utf8);
  /// The frame's top-left corner; (0, 0) without a native window.
  virtual void getPosition(Point& topLeft);
  virtual void getSize(Size& size);
  virtual void getRect(Rect& frame);
  /// Appends `n` label cells in a strip 20 high along the bottom of the content view.
  virtual void createStatusBar(unsigned n);
  /// Ignored for an index beyond the cells.
  virtual void setStatusBarItem(unsigned index, const std::string& utf8);
  /// Sets the first cells; extra texts are ignored, extra cells keep their text.
  virtual void setStatusBarItems(const std::vector<std::string>& texts);
  virtual void setId(unsigned id) { m_id = id; }
  virtual unsigned getId() { return m_id; }
  virtual unsigned addWindowListener(WindowListener* listener);
  virtual bool removeWindowListener(unsigned registrationId);
  /// Asks the listeners in ascending id until one answers false; true without listeners.
  virtual bool canClose();

  /// Records `control` under `id`; an id already present keeps its first control.
  void addChildControl(unsigned id, NativeControl* control);
  /// The content view's X11 window id as a pointer-sized integer (the engine editor's parent);
  /// 0 without a display.
  std::uintptr_t getContentX11Window();
  /// Shows `menus` as a menu bar above the content; items call `onAction` with their action.
  void setMenuBar(const MenuBarModel& menus, MenuActionHandler onAction);

  const std::string& getName() const { return m_name; }
  WindowKind getKind() const { return m_kind; }
  long getStyle() const { return m_style; }
  /// The peer, for the back ends' tests.
  WindowPeer* peer() const { return m_peer; }
  /// Number of controls in the registry (tests).
  std::size_t registeredControlCount() const { return m_controls.size(); }
  /// The control registered under `id`, null for none (tests).
  NativeControl* registeredControl(unsigned id) const {
    const auto found = m_controls.find(id);
    return found == m_controls.end() ? nullptr : found->second;
  }

 protected:
  /// The main window: a close by the window manager starts the application's quit path.
  void setQuitsOnClose(bool quits) { m_quitsOnClose = quits; }

 private:
  bool peerCloseRequested() override;
  void peerWillClose() override;

  ListenerRegistry<WindowListener> m_listeners;
  unsigned m_id = kNoId;
  std::string m_name;
  WindowPeer* m_peer;
  bool m_hasBackgroundColour = false;
  RGBAColour m_backgroundColour{0, 0, 0, 255.0};
  bool m_nativeOpen = true;
  std::vector<NativeStaticText*> m_statusCells;
  std::map<unsigned, NativeControl*> m_controls;
  WindowKind m_kind;
  long m_style;
  bool m_quitsOnClose = false;
  int m_modalDepth = 0;
};

/// The standalone's main window. It has no close button; a close by the window manager (or
/// the keyboard) is the application's quit path. It owns the media bar's two panels once it
/// is given them, and deletes the recorder, then the player, while its controls still exist.
class MainWindow : public Window {
 public:
  MainWindow(const Point& origin, const Size& size, WindowKind kind, long style,
             const std::string& title, const std::string& name);
  ~MainWindow() override;

  /// Takes the media-bar panels (the MIDI-file player and the recorder; either may be null),
  /// deleting any it held.
  void setMediaBarPanels(VNTButtonListener* player, VNTButtonListener* recorder);

  /// The main window made last and not yet gone; null when there is none.
  static MainWindow* current();

 private:
  void deleteMediaBarPanels();
  VNTButtonListener* m_player = nullptr;
  VNTButtonListener* m_recorder = nullptr;
};

}  // namespace vantor::VNT
