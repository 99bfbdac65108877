// The view side of our Audio Unit stand-in. No Cocoa view class run time exists on Linux: a
// unit's editor view is a plain C++ object over the records below, made by a factory that the
// unit's bundle exports as a C entry under the name its property 31 gives. A window is an X11
// window id with an optional backing scale; an editor drawn by the engine lives in a child
// X11 window of it.
//
// Threads: the host's main thread only.
#pragma once

#include <cstdint>

#include "platform/audiounit/AudioUnitTypes.h"

struct AUViewRect {
  double x, y, width, height;
};

/// The host's window a view moves into.
struct AUWindow {
  std::uintptr_t x11Window;
  /// False: the window does not answer backingScaleFactor.
  bool answersBackingScaleFactor;
  double backingScaleFactor;
};

/// A view the host places in its windows; the host deletes it when done (its release).
class AUView {
 public:
  explicit AUView(const AUViewRect& frame) : m_frame(frame) {}
  virtual ~AUView() = default;
  AUView(const AUView&) = delete;
  AUView& operator=(const AUView&) = delete;

  /// Before the view moves into `window`, or out of its window when null.
  virtual void viewWillMoveToWindow(const AUWindow* window) {}

  const AUViewRect& frame() const { return m_frame; }
  void setFrame(const AUViewRect& frame) { m_frame = frame; }
  /// Keeps the origin.
  void setFrameSize(double width, double height) {
    m_frame.width = width;
    m_frame.height = height;
  }

 private:
  AUViewRect m_frame;
};

/// What a view factory entry answers. Every call is behind a catch-all.
struct AUCocoaViewFactory {
  UInt32 (*interfaceVersion)();
  /// UTF-8, owned by the factory.
  const char* (*description)();
  /// A new view for `unit` (the component instance the host opened), or null; the preferred
  /// size may be ignored.
  AUView* (*uiViewForAudioUnit)(AudioComponentPlugInInterface* unit, double preferredWidth, double preferredHeight);
};
extern "C" {
typedef const AUCocoaViewFactory* (*AUCocoaViewFactoryFunction)();
}

namespace kelo::au {

/// The frame of a native view (an X11 window id) within its parent; false when there is no
/// display or no such window.
bool nativeViewFrame(std::uintptr_t view, AUViewRect& frame);

}  // namespace kelo::au
