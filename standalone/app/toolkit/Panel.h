// The toolkit's custom-drawn container: a `Panel` is a control over a view in which other
// controls are placed; it paints an optional background colour and hands drawing, mouse and
// geometry events to its panel listeners. A panel created without a parent view becomes the
// content view of its window (and takes the keyboard focus). Also the single-line text field
// `NativeTextBox`.
//
// Mouse positions are in the panel's own coordinates, top-left origin, y down. Drawing is not:
// the `DrawContext` handed to `panelDraw` has its origin at the panel's bottom-left corner and
// y growing upward (the panel's cairo context translated by its height and scaled by (1, -1)),
// its size the panel's.
//
// Lifetime, ownership and threads as for every control (NativeControl.h): deleted by its
// view; main thread only.
#pragma once

#include <string>

#include "standalone/app/toolkit/ListenerRegistry.h"
#include "standalone/app/toolkit/NativeControl.h"

namespace vantor::VNT {

class NativeMenu;

/// Told with the panel's id first, in ascending registration id. `button`: 0 primary,
/// 1 secondary, 2 middle, then the side buttons; `modifiers`: shift 2, control 4, Alt 8,
/// Super 16.
class PanelListener {
 public:
  virtual ~PanelListener() = default;
  virtual void panelMouseMoved(unsigned panelId, const Point& where, unsigned modifiers) {}
  virtual void panelMouseDown(unsigned panelId, const Point& where, unsigned button,
                              unsigned modifiers) {}
  virtual void panelMouseUp(unsigned panelId, const Point& where, unsigned button,
                            unsigned modifiers) {}
  virtual void panelMouseDragged(unsigned panelId, const Point& where, unsigned button,
                                 unsigned modifiers) {}
  virtual void panelMouseWheeled(unsigned panelId, const Point& where, unsigned modifiers,
                                 int delta) {}
  /// Asked before each drawing; true has `panelDraw` called.
  virtual bool panelWantsDraw(unsigned panelId) { return false; }
  virtual void panelDraw(unsigned panelId, DrawContext* context) {}
  virtual void panelContextMenu(unsigned panelId, const Point& where) {}
  virtual void panelFrameChanged(unsigned panelId, const Rect& frame) {}
};

class Panel : public NativeControl {
 public:
  Panel(Window* window, void* parentView, const Point& origin, const Size& size, unsigned id,
        const std::string& name);

  /// A flag only: events and drawing go on.
  void enable(bool enabled) override { m_enabled = enabled; }
  bool isEnabled() override { return m_enabled; }
  /// Follows the parent on all sides when `flag`, stays put otherwise; subviews follow it by
  /// `flag`.
  void setAutoResize(bool flag) override;

  /// Places `control` (made without a parent view) in this panel.
  virtual void addControl(NativeControl* control);
  /// Fills the background when one is set, then lets each listener that wants to draw.
  virtual void draw(DrawContext* context);
  virtual void mouseMoved(const Point& where, unsigned modifiers);
  virtual void mouseDown(const Point& where, unsigned button, unsigned modifiers);
  virtual void mouseUp(const Point& where, unsigned button, unsigned modifiers);
  virtual void mouseDragged(const Point& where, unsigned button, unsigned modifiers);
  /// Not called by the view (wheel steps are not forwarded); for code that calls it.
  virtual void mouseWheeled(const Point& where, unsigned modifiers, int delta);
  /// Tells the listeners the view's current frame (all zero without a view).
  virtual void frameChanged();
  /// Not called by the view; for code that calls it.
  virtual void onContextMenu(const Point& where);
  /// Shows `menu` over this panel for the mouse event being handled (none outside a mouse
  /// call: then at the pointer).
  virtual void popupMenu(NativeMenu* menu, const Point& where);
  virtual bool hasBackgroundColour() { return m_hasBackgroundColour; }
  virtual const RGBAColour& getBackgroundColour() { return m_backgroundColour; }
  /// Stores the colour; it shows at the next redraw, which it does not ask for.
  virtual void setBackgroundColour(const RGBAColour& colour);
  virtual unsigned addPanelListener(PanelListener* listener);
  virtual bool removePanelListener(unsigned registrationId);
  virtual void init();

  /// The native mouse event being dispatched (a GdkEvent*), null outside a mouse call.
  void* currentEvent() const { return m_currentEvent; }

 protected:
  void peerMouse(int kind, const Point& where, unsigned button, unsigned modifiers,
                 void* event) override;
  void peerDraw(cairo_t* cr, const Size& size) override;
  void peerFrameChanged() override {
    dispatch([this] { frameChanged(); });
  }

 private:
  ListenerRegistry<PanelListener> m_listeners;
  bool m_hasBackgroundColour = false;
  RGBAColour m_backgroundColour{0, 0, 0, 255.0};
  Size m_initialSize;
  Point m_initialOrigin;
  void* m_currentEvent = nullptr;
  bool m_enabled = true;
};

class TextBoxListener {
 public:
  virtual ~TextBoxListener() = default;
  virtual void textBoxEditingEnded(unsigned id, const std::string& utf8) = 0;
};

/// A single-line text field. When the user ends editing (Return, or the focus leaving it) its
/// listeners hear the text. Text dragged onto it is accepted without changing it; it has no
/// context menu.
class NativeTextBox : public NativeControl {
 public:
  NativeTextBox(Window* window, void* parentView, const Point& origin, const Size& size,
                const std::string& text, const std::string& name, unsigned id);

  /// Editing ended: every listener hears the text.
  virtual void editingEnded();
  virtual std::string getText();
  /// Shows `utf8`; no listener is told.
  virtual void setText(const std::string& utf8);
  virtual unsigned addTextBoxListener(TextBoxListener* listener);
  virtual bool removeTextBoxListener(unsigned registrationId);
  virtual void init();

 protected:
  void peerEditingEnded() override {
    dispatch([this] { editingEnded(); });
  }

 private:
  ListenerRegistry<TextBoxListener> m_listeners;
  std::string m_text;
};

}  // namespace vantor::VNT
