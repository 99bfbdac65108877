// Pictures of X11 windows for display tests (label "display"): saved as PPM files a person can
// look at, with a count of their dark pixels so a test can tell that something was drawn.
// Declared without Xlib's headers, whose macros (None, Bool) clash with GoogleTest's names.
#pragma once

#include <string>

namespace kelo::test {

/// Saves `width` x `height` of `window` (an X11 Window on `display`, a Display*) to `path`,
/// creating its folder, and answers the count of dark pixels; -1 when the image cannot be read.
int saveWindowImage(void* display, unsigned long window, int width, int height, const std::string& path);

}  // namespace kelo::test
