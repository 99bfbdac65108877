#include "platform/audiounit/AUView.h"

#include <X11/Xlib.h>

namespace kelo::au {
namespace {

int g_errors = 0;
int countError(Display*, XErrorEvent*) {
  ++g_errors;
  return 0;
}

}  // namespace

bool nativeViewFrame(std::uintptr_t view, AUViewRect& frame) {
  if (view == 0) return false;
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return false;
  // A window id that is no window must not reach the host's X error handler.
  g_errors = 0;
  const XErrorHandler previous = XSetErrorHandler(countError);
  Window root = 0;
  int x = 0, y = 0;
  unsigned int width = 0, height = 0, border = 0, depth = 0;
  const bool found = XGetGeometry(display, static_cast<Window>(view), &root, &x, &y, &width, &height, &border,
                                  &depth) != 0;
  XSync(display, False);
  XSetErrorHandler(previous);
  XCloseDisplay(display);
  if (!found || g_errors != 0) return false;
  frame = {static_cast<double>(x), static_cast<double>(y), static_cast<double>(width), static_cast<double>(height)};
  return true;
}

}  // namespace kelo::au
