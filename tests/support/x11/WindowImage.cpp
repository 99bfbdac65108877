#include "tests/support/x11/WindowImage.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <filesystem>

namespace kelo::test {

int saveWindowImage(void* display, unsigned long window, int width, int height, const std::string& path) {
  XImage* image = XGetImage(static_cast<Display*>(display), window, 0, 0, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (image == nullptr) return -1;
  int ink = 0;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file != nullptr) std::fprintf(file, "P6\n%d %d\n255\n", width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const unsigned long pixel = XGetPixel(image, x, y);
      const unsigned char rgb[3] = {static_cast<unsigned char>(pixel >> 16), static_cast<unsigned char>(pixel >> 8),
                                    static_cast<unsigned char>(pixel)};
      if (rgb[0] < 128 && rgb[1] < 128 && rgb[2] < 128) ++ink;
      if (file != nullptr) std::fwrite(rgb, 1, 3, file);
    }
  }
  if (file != nullptr) std::fclose(file);
  XDestroyImage(image);
  return ink;
}

}  // namespace kelo::test
