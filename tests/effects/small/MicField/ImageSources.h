// An independent reference for the spatializer's taps: the stage's microphones and source
// edges placed as the plug-in places them, then every path by the image-source method (the
// source mirrored in the walls and the floor), with the polar pattern applied to the angle
// between the microphone's axis and the arriving path in three dimensions.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "effects/small/MicField/MicrophonePattern.h"

namespace kelo::test::stage {

struct Tap {
  double gain;
  std::uint64_t delay;
};

struct Stage {
  double angleLeft, angleRight, spacing, roomDepth, sourceWidth, height, roomWidth, extraWidth;
  std::uint64_t pattern, reflections;
  double position, distance;
};

// The taps of a microphone at lateral `my` (depth D) with axis `b` hearing a source point at
// (sx, sd), in a room of width W, before normalisation.
inline std::vector<Tap> microphoneTaps(double b, double sx, double sd, double my, double D,
                                       double W, double h, std::uint64_t pattern,
                                       std::uint64_t bits, double rate) {
  struct Image {
    std::uint64_t bit;
    double lateral, depth, below;
  };
  const Image images[] = {
      {1, sx, sd, 0},          // direct
      {2, -sx, sd, 0},         // left wall
      {2, 2 * W - sx, sd, 0},  // right wall
      {4, -sx, sd, 2 * h},     // left wall and floor
      {4, 2 * W - sx, sd, 2 * h},
      {8, -sx, -sd, 0},  // left wall and front wall
      {8, 2 * W - sx, -sd, 0},
  };
  const acme::MicrophonePattern* polar = acme::microphonePattern(pattern);
  std::vector<Tap> taps;
  for (const Image& image : images) {
    if ((bits & image.bit) == 0) continue;
    const double dx = my - image.lateral, dy = D - image.depth, dz = image.below;
    const double length = std::sqrt(dx * dx + dy * dy + dz * dz);
    const double cosine = (dx * std::sin(b) + dy * std::cos(b)) / length;
    const double gain =
        polar->GetAmplitudeResponse(std::acos(std::clamp(cosine, -1.0, 1.0))) / length;
    const auto delay = static_cast<std::uint64_t>(rate * length * 0.001);
    auto same =
        std::find_if(taps.begin(), taps.end(), [&](const Tap& t) { return t.delay == delay; });
    if (same != taps.end())
      same->gain = std::hypot(same->gain, gain);
    else
      taps.push_back({gain, delay});
  }
  std::stable_sort(taps.begin(), taps.end(),
                   [](const Tap& a, const Tap& b) { return a.delay < b.delay; });
  return taps;
}

/// Left and right tap lists as the plug-in renders them: normalised to a power of 2, shifted
/// by the earlier first delay, padded to one length.
inline std::vector<std::vector<Tap>> stageTaps(const Stage& s, double rate) {
  const double width = std::abs(s.sourceWidth);
  const double w = std::max(3 + width, s.roomWidth), c = w / 2;
  const double u = width / 2 + (w - 3 - width) * s.position + 1.5;
  const double D = std::max(4.5, s.roomDepth);
  const double sd = (D - 4.5) * (1 - s.distance) + 1.5;
  const double shift = c >= u ? 0 : s.extraWidth;
  const double W = w + s.extraWidth;
  std::vector<std::vector<Tap>> sides = {
      microphoneTaps(s.angleLeft, u - s.sourceWidth / 2 + shift, sd,
                     std::max(1.5, c - s.spacing / 2) + shift, D, W, s.height, s.pattern,
                     s.reflections, rate),
      microphoneTaps(s.angleRight, u + s.sourceWidth / 2 + shift, sd,
                     std::min(w - 1.5, c + s.spacing / 2) + shift, D, W, s.height, s.pattern,
                     s.reflections, rate)};
  double energy = 0;
  std::uint64_t first = UINT64_MAX;
  for (const auto& side : sides) {
    for (const Tap& tap : side) energy += tap.gain * tap.gain;
    if (!side.empty()) first = std::min(first, side.front().delay);
  }
  const std::size_t count = std::max(sides[0].size(), sides[1].size());
  for (auto& side : sides) {
    for (Tap& tap : side) {
      if (energy > 0) tap.gain *= std::sqrt(2.0 / energy);
      tap.delay -= first;
    }
    const std::uint64_t last = side.empty() ? 0 : side.back().delay;
    side.resize(count, Tap{0.0, last});
  }
  return sides;
}

/// Each output channel: the sum of the input's copies delayed and scaled by the side's taps.
inline std::vector<double> renderTaps(const std::vector<Tap>& taps,
                                      const std::vector<float>& input) {
  std::vector<double> out(input.size(), 0.0);
  for (const Tap& tap : taps)
    for (std::size_t n = tap.delay; n < input.size(); ++n)
      out[n] += tap.gain * input[n - tap.delay];
  return out;
}

}  // namespace kelo::test::stage
