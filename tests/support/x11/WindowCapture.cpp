#include "tests/support/x11/WindowCapture.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <filesystem>

namespace kelo::test {
namespace {

bool isDark(const unsigned char rgb[3]) { return rgb[0] < 128 && rgb[1] < 128 && rgb[2] < 128; }

void rgbOf(unsigned long pixel, unsigned char rgb[3]) {
  rgb[0] = static_cast<unsigned char>(pixel >> 16);
  rgb[1] = static_cast<unsigned char>(pixel >> 8);
  rgb[2] = static_cast<unsigned char>(pixel);
}

}  // namespace

int captureWindow(Display* display, unsigned long window, int width, int height,
                  const std::string& path) {
  XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (image == nullptr) return -1;
  int ink = 0;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file != nullptr) std::fprintf(file, "P6\n%d %d\n255\n", width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      unsigned char rgb[3];
      rgbOf(XGetPixel(image, x, y), rgb);
      if (isDark(rgb)) ++ink;
      if (file != nullptr) std::fwrite(rgb, 1, 3, file);
    }
  }
  if (file != nullptr) std::fclose(file);
  XDestroyImage(image);
  return ink;
}

int countDarkPixels(Display* display, unsigned long window, int x, int y, int width,
                    int height) {
  XImage* image = XGetImage(display, window, x, y, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (image == nullptr) return -1;
  int ink = 0;
  for (int row = 0; row < height; ++row) {
    for (int column = 0; column < width; ++column) {
      unsigned char rgb[3];
      rgbOf(XGetPixel(image, column, row), rgb);
      if (isDark(rgb)) ++ink;
    }
  }
  XDestroyImage(image);
  return ink;
}

}  // namespace kelo::test
