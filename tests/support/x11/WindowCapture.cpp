#include "tests/support/x11/WindowCapture.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <filesystem>

namespace kelo::test {
namespace {

// Reads the window's width x height area at (x, y), writing its pixels to `file` when given;
// answers how many are dark (-1 when the window cannot be read).
int readArea(Display* display, unsigned long window, int x, int y, int width, int height,
             FILE* file) {
  // A window not (or no longer) wholly on screen makes the server refuse with BadMatch, which
  // Xlib's own handler would answer by ending the test program.
  XSync(display, False);
  XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  XImage* image = XGetImage(display, window, x, y, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  XSync(display, False);
  XSetErrorHandler(previous);
  if (image == nullptr) return -1;
  if (file != nullptr) std::fprintf(file, "P6\n%d %d\n255\n", width, height);
  int ink = 0;
  for (int row = 0; row < height; ++row) {
    for (int column = 0; column < width; ++column) {
      const unsigned long pixel = XGetPixel(image, column, row);
      const unsigned char rgb[3] = {static_cast<unsigned char>(pixel >> 16),
                                    static_cast<unsigned char>(pixel >> 8),
                                    static_cast<unsigned char>(pixel)};
      if (rgb[0] < 128 && rgb[1] < 128 && rgb[2] < 128) ++ink;
      if (file != nullptr) std::fwrite(rgb, 1, 3, file);
    }
  }
  XDestroyImage(image);
  return ink;
}

}  // namespace

int captureWindow(Display* display, unsigned long window, int width, int height,
                  const std::string& path) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  FILE* file = std::fopen(path.c_str(), "wb");
  const int ink = readArea(display, window, 0, 0, width, height, file);
  if (file != nullptr) std::fclose(file);
  return ink;
}

int countDarkPixels(Display* display, unsigned long window, int x, int y, int width,
                    int height) {
  return readArea(display, window, x, y, width, height, nullptr);
}

}  // namespace kelo::test
