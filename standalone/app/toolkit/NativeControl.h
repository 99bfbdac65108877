// The root of the toolkit's controls: `NativeControl` holds what every control shares (frame,
// name, id, its peer, its window) and the operations every control answers. Also the drawing
// context handed to panels and the font handle.
//
// Ownership: a control creates its peer in its constructor. With a parent view the parent
// owns the peer; the peer's end (its window closing, its parent going) deletes the control.
// Application code therefore never deletes a control; it keeps a pointer only while the
// window lives (a `WindowListener` hears when it goes). Listeners are not owned.
//
// Threads: main thread only.
#pragma once

#include <string>

#include "standalone/app/toolkit/Geometry.h"
#include "standalone/app/toolkit/Peers.h"

typedef struct _PangoFontDescription PangoFontDescription;

namespace vantor::VNT {

class Window;

class NativeBaseObject {
 public:
  virtual ~NativeBaseObject() = default;
};

/// A font: a Pango description such as "Sans 9" (the handle).
class Font {
 public:
  explicit Font(const std::string& description);
  ~Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;
  /// The PangoFontDescription*.
  void* getHandle() const { return m_description; }
  std::string toString() const;

 private:
  PangoFontDescription* m_description;
};

/// A drawing context over a cairo context and the size of the area drawn. The context is not
/// released unless `ownsContext` is set.
class DrawContext {
 public:
  DrawContext(void* nativeContext, const Size& size);
  virtual ~DrawContext();
  /// The cairo_t*.
  void* getHandle() const { return m_context; }
  const Size& getSize() const { return m_size; }
  void setOwnsContext(bool owns) { m_ownsContext = owns; }
  const RGBAColour& getColour() const { return m_colour; }
  void setColour(const RGBAColour& colour) { m_colour = colour; }

 private:
  void* m_context;
  bool m_ownsContext = false;
  Size m_size;
  RGBAColour m_colour{0, 0, 0, 255.0};
};

class NativeControl : public NativeBaseObject, protected ViewOwner {
 public:
  NativeControl(Window* window, const Point& origin, const Size& size, const std::string& name,
                unsigned id);
  /// Frees the control's own fields; the peer stays with its parent view.
  ~NativeControl() override;
  NativeControl(const NativeControl&) = delete;
  NativeControl& operator=(const NativeControl&) = delete;

  /// The native view (`ViewPeer::handle()`): the parent for controls placed inside this one.
  virtual void* getControlHandle();
  virtual void enable(bool enabled);
  virtual bool isEnabled();
  /// Follows the parent's size on all sides whatever `flag` says; `flag` tells whether the
  /// view's own subviews follow it.
  virtual void setAutoResize(bool flag);
  virtual void postNeedRefresh();
  virtual void postNeedRefresh(const Rect& area);
  virtual void setOrigin(const Point& origin);
  virtual void setSize(const Size& size);
  /// Sizes the view to its content.
  virtual void bestSize();
  virtual void setFont(Font& font);
  /// The same font family at `points`.
  virtual void setFontSize(double points);

  unsigned getId() const { return m_id; }
  const std::string& getName() const { return m_name; }
  Window* getWindow() const { return m_window; }
  const Point& getOrigin() const { return m_origin; }
  const Size& getSize() const { return m_size; }
  /// The peer; null only before the peer is made or after it ended.
  ViewPeer* peer() const { return m_peer; }
  /// The control a peer reports to (`owner`; only controls own views), null for none (tests
  /// walking a view tree).
  static NativeControl* ofOwner(ViewOwner* owner) { return static_cast<NativeControl*>(owner); }

 protected:
  /// Construction steps shared by every control: makes the peer of `setup.kind` in
  /// `parentView` (a native view handle; null leaves it to the caller to place), sets its tag
  /// to the id and records this control as its owner. The member's `init()` follows.
  void createPeer(void* parentView, const ViewSetup& setup);
  /// Registers with the window when there is one and the id is not kNoId.
  void registerWithWindow();
  /// Deletes the control, or, while it is telling its listeners of a peer's report, once that
  /// is done (a listener may close the window the control is in).
  void peerEnded() override;
  /// Runs `report` (what a peer reported) so that the control outlives it.
  template <typename Report>
  void dispatch(Report&& report) {
    ++m_dispatching;
    report();
    if (--m_dispatching == 0 && m_ended) delete this;
  }

 private:
  Point m_origin;
  Size m_size;
  std::string m_name;
  unsigned m_id;
  ViewPeer* m_peer = nullptr;
  void* m_reserved = nullptr;  // a second native pointer that nothing sets
  Window* m_window;
  int m_dispatching = 0;
  bool m_ended = false;
};

}  // namespace vantor::VNT
