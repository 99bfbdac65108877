// Pictures of X11 windows for the display tests: a window's pixels saved as a PPM file a
// person can look at, its dark pixels counted (text and lines drawn in black on white), and a
// digest that tells whether what it shows changed.
// Main thread; needs the display connection the window is visible through.
#pragma once

#include <cstdint>
#include <string>

struct _XDisplay;

namespace kelo::test {

/// Saves the window's top-left width x height pixels to `path` (folders made as needed) and
/// answers how many are dark; -1 when the window cannot be read.
int captureWindow(_XDisplay* display, unsigned long window, int width, int height,
                  const std::string& path);

/// How many pixels of the window's width x height area at (x, y) are dark; -1 when the window
/// cannot be read.
int countDarkPixels(_XDisplay* display, unsigned long window, int x, int y, int width,
                    int height);

/// A digest of all the window shows: equal digests, the same picture. 0 when the window
/// cannot be read (gone, or not wholly on screen).
std::uint64_t pictureDigest(_XDisplay* display, unsigned long window);

}  // namespace kelo::test
