#include "effects/small/MicField/MicrophonePattern.h"

#include <cmath>

#include "Sampler/sdk/calvatero/newconv/Common.h"

namespace acme {

namespace {

constexpr double kPi = 3.141592653589793;

// The measured cardioid's rear half in bands of the folded angle: level (dB) and slope (dB
// per radian) of each band, up to the band's upper limit.
struct Band {
  double upTo, level, slope;
};
constexpr Band kBands[] = {
    {1.7453292519943295, 14.50000000000001, 13.063437728982775},
    {1.9198621771937623, 16.699999999999996, 14.32394487827058},
    {2.0943951023931953, 18.89999999999999, 15.469860468532223},
    {2.2689280275926285, 22.5, 17.188733853924695},
    {2.443460952792061, 26.400000000000002, 18.90760723931717},
    {2.617993877991494, 30.59999999999996, 20.62648062470962},
    {2.792526803190927, 35.10000000000002, 22.345354010102117},
    {2.9670597283903604, 33.50000000000002, 21.772396214971288},
    {INFINITY, 26.699999999999974, 19.48056503444798},
};

double cardioid(double angle) {
  angle = std::fmod(angle, 2 * kPi);
  if (angle > kPi) angle -= 2 * kPi;
  if (angle < -kPi) angle += 2 * kPi;
  const double magnitude = std::abs(angle);
  const bool front = magnitude < kPi / 2;
  const double folded = front ? kPi - magnitude : magnitude;
  const Band* band = kBands;
  while (!(folded < band->upTo) && band + 1 != std::end(kBands)) ++band;
  const double f = calvatero::common::DBToAmplitude(band->level - band->slope * folded);
  return front ? 1 - f : f;
}

const OmniPattern kOmni;
const Figure8Pattern kFigure8;
const CardioidPattern kCardioid;
const SubCardioidPattern kSubCardioid;
const HyperCardioidPattern kHyperCardioid;
const SuperCardioidPattern kSuperCardioid;
const MicrophonePattern* const kPatterns[kMicrophonePatterns] = {
    &kOmni, &kFigure8, &kCardioid, &kSubCardioid, &kHyperCardioid, &kSuperCardioid};

}  // namespace

double OmniPattern::GetAmplitudeResponse(double) const { return 1.0; }
double Figure8Pattern::GetAmplitudeResponse(double angle) const { return 2 * cardioid(angle) - 1; }
double CardioidPattern::GetAmplitudeResponse(double angle) const { return cardioid(angle); }
double SubCardioidPattern::GetAmplitudeResponse(double angle) const {
  return 0.666666667 * cardioid(angle) + 0.333333333;
}
double HyperCardioidPattern::GetAmplitudeResponse(double angle) const {
  return 1.42 * cardioid(angle) - 0.42;
}
double SuperCardioidPattern::GetAmplitudeResponse(double angle) const {
  return 1.2 * cardioid(angle) - 0.2;
}

const MicrophonePattern* microphonePattern(std::size_t index) {
  return index < kMicrophonePatterns ? kPatterns[index] : nullptr;
}

}  // namespace acme
