#include "effects/small/MicField/SpatializerPost.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <new>
#include <sstream>

#include "Sampler/sdk/PluginText.h"

namespace acme {

using namespace vantor::KELOPluginSDK;

namespace {

constexpr std::int32_t kController = 176;
constexpr double kPi = 3.141592653589793;
constexpr std::uint64_t kSpare = 16;  // samples past each line's end, mirroring its start

float positionFromController(float value) {
  return std::clamp(value * 1.0079365f - 0.007936508f, 0.0f, 1.0f);
}

bool spellsNotFinite(std::string word) {
  if (!word.empty() && (word[0] == '+' || word[0] == '-')) word.erase(0, 1);
  for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return word == "inf" || word == "infinity" || word == "nan";
}

void addTap(TapList& list, double gain, double length, double rate) {
  const auto delay = static_cast<std::uint64_t>(rate * length * 0.001);
  for (int i = 0; i < list.count; ++i) {
    DelayTap& tap = list.taps[i];
    if (tap.delay == delay) {
      tap.gain = static_cast<float>(std::sqrt(double{tap.gain} * tap.gain + gain * gain));
      return;
    }
  }
  list.taps[list.count++] = {static_cast<float>(gain), delay};
}

struct Path {
  double length, angle;
};

// The path via the front wall and one side wall (`CalculateBackAndLeftReflection`): source
// at (s, q), microphone at (m, n), lateral from that side wall and depth from the front wall.
Path CalculateBackAndLeftReflection(double s, double q, double m, double n) {
  if (s * n == q * m) return {std::hypot(n, m) + std::hypot(q, s), std::atan2(s, q)};
  if (s * n < q * m) {
    const double k = (q + n) * s / (s + m);
    const double j = (s + m) * n / (q + n);
    return {std::hypot(j, n) + std::hypot(m - j, q - k) + std::hypot(s, k), std::atan2(j, n)};
  }
  const double k = (q + n) * m / (s + m);
  const double j = (s + m) * q / (q + n);
  return {std::hypot(j, q) + std::hypot(s - j, n - k) + std::hypot(m, k), std::atan2(m, k)};
}

}  // namespace

Placement InitPosition(const MicGeometry& g, std::uint64_t patternIndex, double rate,
                       std::uint64_t reflections, TapList& taps) {
  if (!(g.my > 0) || !(g.sx > 0) || !(g.sd > 0) || !(g.D > 0)) return Placement::NotPositive;
  if (g.sd >= g.D) return Placement::SourceBehind;
  if (g.sx >= g.W || g.my >= g.W) return Placement::BeyondWidth;
  const MicrophonePattern* pattern = microphonePattern(patternIndex);
  if (pattern == nullptr) return Placement::NoPattern;
  auto P = [pattern](double angle) { return pattern->GetAmplitudeResponse(angle); };

  TapList list;
  const double x = g.D - g.sd;
  if (reflections & 1) {
    const double length = std::hypot(x, g.my - g.sx);
    addTap(list, P(std::atan2(g.my - g.sx, x) - g.b) / length, length, rate);
  }
  // Side walls by mirror images; their paths also give the floor reflections.
  const double o = x * g.sx / (g.sx + g.my);
  const double leftPath = std::hypot(o, g.sx) + std::hypot(x - o, g.my);
  const double leftAngle = std::atan2(g.my, x - o);
  const double sw = g.W - g.sx, mw = g.W - g.my;
  const double o2 = x * sw / (sw + mw);
  const double rightPath = std::hypot(o2, sw) + std::hypot(x - o2, mw);
  const double rightAngle = -std::atan2(mw, x - o2);
  if (reflections & 2) {
    addTap(list, P(leftAngle - g.b) / leftPath, leftPath, rate);
    addTap(list, P(rightAngle - g.b) / rightPath, rightPath, rate);
  }
  if (reflections & 4) {
    for (const Path wall : {Path{leftPath, leftAngle}, Path{rightPath, rightAngle}}) {
      const double elevation = std::atan2(g.h, wall.length / 2);
      const double angle = std::acos(std::cos(elevation) * std::cos(wall.angle - g.b));
      const double length = 2 * std::hypot(wall.length / 2, g.h);
      addTap(list, P(angle) / length, length, rate);
    }
  }
  if (reflections & 8) {
    const Path left = CalculateBackAndLeftReflection(g.sx, g.sd, g.my, g.D);
    addTap(list, P(left.angle - g.b) / left.length, left.length, rate);
    const Path right = CalculateBackAndLeftReflection(sw, g.sd, mw, g.D);
    addTap(list, P(-right.angle - g.b) / right.length, right.length, rate);
  }
  // Insertion sort: stable, and unlike std::stable_sort it never allocates (process runs this).
  for (int i = 1; i < list.count; ++i)
    for (int j = i; j > 0 && list.taps[j].delay < list.taps[j - 1].delay; --j)
      std::swap(list.taps[j], list.taps[j - 1]);
  taps = list;
  return Placement::Placed;
}

SpatializerPost::SpatializerPost(Host* host) : EffectPlugin(host) {
  numAudioIns = 2;
  numAudioOuts = 2;
  numMIDIIns = 1;
  numMIDIOuts = 0;
}

SpatializerPost::~SpatializerPost() {
  calvatero::common::FreeAligned(lineLeft);
  calvatero::common::FreeAligned(lineRight);
}

std::int32_t SpatializerPost::initEx(const char* text, const char* extra) {
  return init(text, extra) ? 1 : 0;
}

bool SpatializerPost::init(const char* text, const char* extra) {
  initText = text != nullptr ? text : "";
  extraText = extra != nullptr ? extra : "";
  readStageNumbers();
  positionValue = std::min(1.0f, position * 0.992126f + 0.007874016f);
  position = positionTarget = positionFromController(positionValue);
  distanceTarget = distance;
  textAngleLeft = angleLeft;
  textAngleRight = angleRight;
  textSpacing = spacing;
  textPattern = pattern;
  return true;
}

void SpatializerPost::readStageNumbers() {
  textUsable = !initText.empty() && !extraText.empty();
  std::string text = initText.substr(0, 1023);
  std::replace(text.begin(), text.end(), '|', ' ');
  std::istringstream words(text);
  std::string word;
  for (int field = 0; field < 12 && words >> word; ++field) {
    errno = 0;
    const char* end = nullptr;
    const double value = Strtod(word.c_str(), &end);
    if (end == word.c_str() || *end != '\0') {
      if (spellsNotFinite(word)) textUsable = false;
      return;
    }
    if (errno == ERANGE && std::abs(value) > 1.0) {  // beyond the double range
      textUsable = false;
      return;
    }
    const bool whole = field == 8 || field == 9;
    if (whole && !(value >= 0.0 && value < 18446744073709551616.0)) return;
    switch (field) {
      case 0:
        angleLeft = value * kPi / 180.0;
        break;
      case 1:
        angleRight = value * kPi / 180.0;
        break;
      case 2:
        spacing = value;
        break;
      case 3:
        roomDepth = value;
        break;
      case 4:
        sourceWidth = value;
        break;
      case 5:
        height = value;
        break;
      case 6:
        roomWidth = value;
        break;
      case 7:
        extraWidth = value;
        break;
      case 8:
        pattern = static_cast<std::uint64_t>(value);
        break;
      case 9:
        reflections = static_cast<std::uint64_t>(value);
        break;
      case 10:
        position = static_cast<float>(value);
        break;
      default:
        distance = static_cast<float>(value);
        break;
    }
  }
}

void SpatializerPost::setDSPInfo(const DSPInfo* info) {
  EffectPlugin::setDSPInfo(info);
  calvatero::common::FreeAligned(lineLeft);
  calvatero::common::FreeAligned(lineRight);
  lineLeft = lineRight = nullptr;
  lineLength = lineMask = 0;
  fadeIn = fadeOut = 0.0f;
  const double rate = dspInfo.sampleRate;
  if (!textUsable || !(rate >= 1.0 && rate < 1.0e7)) return;
  sampleRate = static_cast<std::uint64_t>(rate);
  xfadeFrames = static_cast<float>(sampleRate) * 0.042f;
  xfadeStep = 1.0 / xfadeFrames;

  // Sized by the room the taps are computed in, so that no tap reaches past its line.
  const double w = std::max(3.0 + std::abs(sourceWidth), roomWidth);
  const double width = std::max(w, w + extraWidth);
  const double depth = std::max(4.5, roomDepth);
  const double longest =
      rate * 0.001 * 2.0 * std::sqrt(height * height + width * width + depth * depth);
  if (!(longest < static_cast<double>(kMaxLineLength))) return;
  const std::uint64_t needed = (static_cast<std::uint64_t>(longest) + 12) & ~std::uint64_t{3};
  std::uint64_t length = 4;
  while (length < needed) length *= 2;
  if (length > kMaxLineLength) return;

  const std::size_t bytes = (length + kSpare) * sizeof(float);
  float* left = static_cast<float*>(calvatero::common::MallocAligned(bytes, 16, 0));
  float* right = static_cast<float*>(calvatero::common::MallocAligned(bytes, 16, 0));
  if (left == nullptr || right == nullptr) {
    calvatero::common::FreeAligned(left);
    calvatero::common::FreeAligned(right);
    throw std::bad_alloc();
  }
  std::memset(left, 0, bytes);
  std::memset(right, 0, bytes);
  lineLeft = left;
  lineRight = right;
  lineLength = length;
  lineMask = length - 1;
  writePos = 0;
  if (stageModelOn())
    UpdateStereoMics();
  else
    pannerTaps();
}

void SpatializerPost::getDefaults(HDMIDIEvents* events) {
  if (events == nullptr) return;
  std::memset(events, 0, sizeof(HDMIDIEvents));
  const std::pair<std::int32_t, float> defaults[] = {
      {10, positionValue}, {103, stageOn}, {256, arrangement}, {36, distance}, {36, distance}};
  for (const auto& [controller, value] : defaults) {
    HDMIDIEvent& event = events->events[events->numEvents++];
    event.status = kController;
    event.data1 = controller;
    event.data2 = value;
  }
}

void SpatializerPost::applyController(std::int32_t controller, float value) {
  if (!std::isfinite(value)) return;
  switch (controller) {
    case 10:
      positionTarget = positionFromController(value);
      break;
    case 36:
      distanceTarget = value;
      break;
    case 103:
      stageOnTarget = value;
      break;
    case 256:
      arrangementTarget = value;
      break;
    default:
      break;
  }
}

void SpatializerPost::pannerTaps() {
  const float angle = position * 1.5707964f;
  tapsLeft[0] = {std::cos(angle) * 1.4142135f, 0};
  tapsRight[0] = {std::sin(angle) * 1.4142135f, 0};
  tapCount = 1;
}

void SpatializerPost::chooseArrangement() {
  struct Arrangement {
    float from, to;
    double angle, spacing;
    std::uint64_t pattern;
  };
  static constexpr Arrangement kArrangements[] = {
      // from, up to (the arrangement value), axis angle (+ left, - right), spacing, pattern
      {0.062992126f, 0.12598425f, 0.7853982, 0.0, 2},  // coincident cardioids at 90 degrees
      {0.12598425f, 0.18897638f, 0.7853982, 0.0, 1},   // crossed figures-of-eight
      {0.18897638f, 0.2519685f, 0.9599311, 0.56, 2},   // cardioids 110 degrees, 17 cm apart
      {0.2519685f, 0.31496063f, 0.7853982, 4.0, 3},    // spaced sub-cardioids
      {0.31496063f, 0.37795275f, 0.7853982, 8.5, 0},   // spaced omnis
  };
  for (const Arrangement& a : kArrangements) {
    if (arrangement >= a.from && arrangement < a.to) {
      angleLeft = a.angle;
      angleRight = -a.angle;
      spacing = a.spacing;
      pattern = a.pattern;
      return;
    }
  }
  angleLeft = textAngleLeft;
  angleRight = textAngleRight;
  spacing = textSpacing;
  pattern = textPattern;
}

bool SpatializerPost::UpdateStereoMics() {
  const double s = std::abs(sourceWidth);
  const double w = std::max(3.0 + s, roomWidth);
  const double c = w / 2;
  const double u = s / 2 + (w - 3.0 - s) * position + 1.5;
  const double depth = std::max(4.5, roomDepth);
  const double sd = (depth - 4.5) * (1.0 - distance) + 1.5;
  const double shift = c >= u ? 0.0 : extraWidth;
  const double rate = static_cast<double>(sampleRate);
  const MicGeometry left{angleLeft, u - sourceWidth / 2 + shift,
                         sd,        std::max(1.5, c - spacing / 2) + shift,
                         depth,     w + extraWidth,
                         height};
  MicGeometry right = left;
  right.b = angleRight;
  right.sx = u + sourceWidth / 2 + shift;
  right.my = std::min(w - 1.5, c + spacing / 2) + shift;
  // Both sides are built aside and committed together: a refused side changes nothing.
  TapList sides[2];
  if (InitPosition(left, pattern, rate, reflections, sides[0]) != Placement::Placed ||
      InitPosition(right, pattern, rate, reflections, sides[1]) != Placement::Placed)
    return false;

  double energy = 0.0;
  for (const TapList& side : sides)
    for (int i = 0; i < side.count; ++i) energy += double{side.taps[i].gain} * side.taps[i].gain;
  if (energy > 0.0 && std::isfinite(energy)) {
    const double scale = std::sqrt(2.0) / std::sqrt(energy);
    for (TapList& side : sides)
      for (int i = 0; i < side.count; ++i)
        side.taps[i].gain = static_cast<float>(side.taps[i].gain * scale);
  }
  std::uint64_t first = UINT64_MAX;
  for (const TapList& side : sides)
    if (side.count > 0) first = std::min(first, side.taps[0].delay);
  const int count = std::max(sides[0].count, sides[1].count);
  DelayTap* targets[2] = {tapsLeft, tapsRight};
  for (int k = 0; k < 2; ++k) {
    TapList& side = sides[k];
    for (int i = 0; i < side.count; ++i) side.taps[i].delay -= first;
    const std::uint64_t last = side.count > 0 ? side.taps[side.count - 1].delay : 0;
    while (side.count < count) side.taps[side.count++] = {0.0f, last};
    std::copy(side.taps, side.taps + count, targets[k]);
  }
  tapCount = static_cast<std::uint64_t>(count);
  return true;
}

void SpatializerPost::process(float** audio, std::int32_t frames, const HDMIDIEvents* midiIn,
                              HDMIDIEvents* midiOut, const SyncInfo*) {
  if (lineLeft == nullptr) return;
  if (midiIn != nullptr) {
    const std::int64_t count =
        std::clamp<std::int64_t>(midiIn->numEvents, 0, MAX_MIDIEVENTS_PER_CALL_SDK);
    for (std::int64_t i = 0; i < count; ++i)
      if (midiIn->events[i].status == kController)
        applyController(midiIn->events[i].data1, midiIn->events[i].data2);
  }
  if (frames <= 0 || audio == nullptr || audio[0] == nullptr || audio[1] == nullptr) return;

  if (!isFading() && (positionTarget != position || distanceTarget != distance ||
                      stageOnTarget != stageOn || arrangementTarget != arrangement)) {
    position = positionTarget;
    distance = distanceTarget;
    if (stageOnTarget != stageOn && stageOnTarget > 0.0f && midiOut != nullptr) {
      const std::pair<std::int32_t, float> report[] = {
          {256, arrangement}, {36, distance}, {36, distance}};
      midiOut->numEvents = 0;
      for (const auto& [controller, value] : report) {
        HDMIDIEvent& event = midiOut->events[midiOut->numEvents++];
        std::memset(&event, 0, sizeof event);
        event.status = kController;
        event.data1 = controller;
        event.data2 = value;
      }
    }
    stageOn = stageOnTarget;
    arrangement = arrangementTarget;
    std::copy(tapsLeft, tapsLeft + kMaxTaps, oldTapsLeft);
    std::copy(tapsRight, tapsRight + kMaxTaps, oldTapsRight);
    oldTapCount = tapCount;
    bool placed = true;
    if (stageModelOn()) {
      chooseArrangement();
      placed = UpdateStereoMics();
    } else {
      pannerTaps();
    }
    if (placed) {
      fadeIn = 0.0f;
      fadeOut = 1.0f;
    }
  }
  render(audio[0], audio[1], frames);
}

void SpatializerPost::render(float* left, float* right, std::int32_t frames) {
  std::int32_t done = 0;
  if (isFading()) {
    const auto remaining =
        (static_cast<std::int64_t>(fadeOut * xfadeFrames) + 2) & ~std::int64_t{3};
    done = static_cast<std::int32_t>(std::min<std::int64_t>(remaining, frames));
    renderFrames<true>(left, right, 0, done);
    if (remaining <= frames) {
      fadeIn = 1.0f;
      fadeOut = 0.0f;
    }
  }
  renderFrames<false>(left, right, done, frames);
}

template <bool Fade>
void SpatializerPost::renderFrames(float* left, float* right, std::int32_t from, std::int32_t to) {
  float* const outputs[2] = {left, right};
  float* const lines[2] = {lineLeft, lineRight};
  const DelayTap* const taps[2] = {tapsLeft, tapsRight};
  const DelayTap* const oldTaps[2] = {oldTapsLeft, oldTapsRight};
  const auto count = static_cast<int>(tapCount);
  const auto oldCount = static_cast<int>(oldTapCount);
  for (std::int32_t at = from; at < to;) {
    // Groups of four frames; the last frames of a block one by one with the same sums.
    const int n = to - at >= 4 ? 4 : 1;
    float fadeInLanes[4], fadeOutLanes[4];
    for (int k = 0; k < n; ++k) {
      fadeInLanes[k] = static_cast<float>(fadeIn + k * xfadeStep);
      fadeOutLanes[k] = static_cast<float>(fadeOut - k * xfadeStep);
    }
    for (int side = 0; side < 2; ++side) {
      float* line = lines[side];
      float* samples = outputs[side] + at;
      for (int k = 0; k < n; ++k) {
        const std::uint64_t index = (writePos + static_cast<std::uint64_t>(k)) & lineMask;
        line[index] = samples[k];
        if (index < kSpare) line[lineLength + index] = samples[k];
      }
      float sum[4] = {0, 0, 0, 0};
      for (int t = 0; t < count; ++t) {
        const float* read = line + ((writePos - taps[side][t].delay) & lineMask);
        for (int k = 0; k < n; ++k) sum[k] += taps[side][t].gain * read[k];
      }
      if constexpr (Fade) {
        float oldSum[4] = {0, 0, 0, 0};
        for (int t = 0; t < oldCount; ++t) {
          const float* read = line + ((writePos - oldTaps[side][t].delay) & lineMask);
          for (int k = 0; k < n; ++k) oldSum[k] += oldTaps[side][t].gain * read[k];
        }
        for (int k = 0; k < n; ++k) sum[k] = fadeInLanes[k] * sum[k] + fadeOutLanes[k] * oldSum[k];
      }
      for (int k = 0; k < n; ++k) samples[k] = sum[k];
    }
    writePos = (writePos + static_cast<std::uint64_t>(n)) & lineMask;
    if constexpr (Fade) {
      fadeIn = static_cast<float>(fadeIn + n * xfadeStep);
      fadeOut = static_cast<float>(fadeOut - n * xfadeStep);
    }
    at += n;
  }
}

}  // namespace acme
