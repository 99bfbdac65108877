// The widget toolkit's value types: points, sizes and rectangles in view units (pixels on
// Linux), and colours. Views and the screen are top-left, y down (X11 root coordinates).
#pragma once

#include <cmath>

namespace vantor::VNT {

/// The id of a window or control that is not registered.
inline constexpr unsigned kNoId = 0xfffffff;

struct Point {
  double x = 0, y = 0;
  bool operator==(const Point&) const = default;
};

struct Size {
  double width = 0, height = 0;
  bool operator==(const Size&) const = default;
};

struct Rect {
  double x = 0, y = 0, width = 0, height = 0;
  bool operator==(const Rect&) const = default;
};

/// Components are stored as given; where they reach GTK or cairo they are clamped to [0, 1]
/// (`unitComponent`), so the default alpha of 255.0 is opaque.
struct RGBAColour {
  double red = 0, green = 0, blue = 0, alpha = 255.0;
  bool operator==(const RGBAColour&) const = default;
};

/// A colour component as the drawing layer takes it: clamped to [0, 1], NaN as 0.
inline double unitComponent(double value) {
  if (std::isnan(value)) return 0.0;
  return value < 0.0 ? 0.0 : (value > 1.0 ? 1.0 : value);
}

}  // namespace vantor::VNT
