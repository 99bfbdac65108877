#include "tests/support/x11/WindowCapture.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <filesystem>

namespace kelo::test {
namespace {

// Runs `request` with X errors ignored: a window not (or no longer) wholly on screen makes the
// server refuse with BadMatch or BadWindow, which Xlib's own handler would answer by ending
// the test program.
template <typename Request>
auto withErrorsIgnored(Display* display, Request request) {
  XSync(display, False);
  XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  auto result = request();
  XSync(display, False);
  XSetErrorHandler(previous);
  return result;
}

// Reads the window's width x height area at (x, y), writing its pixels to `file` and their
// FNV-1a digest to `digest` when given; answers how many are dark (-1 when the window cannot
// be read).
int readArea(Display* display, unsigned long window, int x, int y, int width, int height,
             FILE* file, std::uint64_t* digest = nullptr) {
  XImage* image = withErrorsIgnored(display, [&] {
    return XGetImage(display, window, x, y, static_cast<unsigned>(width),
                     static_cast<unsigned>(height), AllPlanes, ZPixmap);
  });
  if (image == nullptr) return -1;
  if (file != nullptr) std::fprintf(file, "P6\n%d %d\n255\n", width, height);
  int ink = 0;
  std::uint64_t hash = 14695981039346656037ull;
  for (int row = 0; row < height; ++row) {
    for (int column = 0; column < width; ++column) {
      const unsigned long pixel = XGetPixel(image, column, row);
      const unsigned char rgb[3] = {static_cast<unsigned char>(pixel >> 16),
                                    static_cast<unsigned char>(pixel >> 8),
                                    static_cast<unsigned char>(pixel)};
      if (rgb[0] < 128 && rgb[1] < 128 && rgb[2] < 128) ++ink;
      if (file != nullptr) std::fwrite(rgb, 1, 3, file);
      for (const unsigned char channel : rgb) hash = (hash ^ channel) * 1099511628211ull;
    }
  }
  XDestroyImage(image);
  if (digest != nullptr) *digest = hash;
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

std::uint64_t pictureDigest(Display* display, unsigned long window) {
  XWindowAttributes size{};
  const Status known =
      withErrorsIgnored(display, [&] { return XGetWindowAttributes(display, window, &size); });
  std::uint64_t digest = 0;
  return known != 0 && readArea(display, window, 0, 0, size.width, size.height, nullptr,
                                &digest) >= 0
             ? digest
             : 0;
}

}  // namespace kelo::test
