// The stage spatializer of the MicField bundle: places the engine's stereo output on a virtual
// stage (a rectangular room, a source of some width, a pair of microphones with a polar
// pattern, orientation and spacing) by rendering each output as a sum of delayed, scaled
// copies of its input: the direct path and wall, floor and corner reflections. A change of
// position, distance, stage model or microphone arrangement recomputes the taps once and
// cross-fades to them over 42 ms. With the stage model off it is a constant-power panner.
// Lengths are in feet; sound travels one foot per millisecond.
//
// The first init text holds twelve numbers separated by blanks or "|": left and right axis
// angles (degrees), microphone spacing, room depth, source width, height, room width, extra
// width, pattern (0 to 5), reflection bits (1 direct, 2 side walls, 4 floor, 8 corners),
// position (0 left to 1 right) and distance (0 nearest, which switches the stage model off).
// While either init text is empty, or the text holds a number that is not finite, or the
// room needs a delay line longer than kMaxLineLength, the plug-in is transparent.
//
// Controllers (status 176; values that are not finite are ignored): 10 position, 36 distance,
// 103 stage model on (0 off), 256 microphone arrangement. Switching the stage model on writes
// three events to midiOut: 256 with the old arrangement and 36 twice with the distance.
//
// Threads: the engine's control calls and process never overlap on one instance; process
// allocates nothing and takes no lock. No threads of its own.
#pragma once

#include <cstdint>
#include <string>

#include "Sampler/sdk/Plugin.h"
#include "Sampler/sdk/calvatero/newconv/Common.h"
#include "effects/small/MicField/MicrophonePattern.h"

namespace acme {

struct DelayTap {
  float gain;
  std::uint64_t delay;  // samples
};

/// What placing one microphone answers: 0 placed; 1 a position or the room depth not above
/// 0; 2 the source not in front of the microphones; 3 the source or microphone beyond the
/// room's width; 4 no such pattern.
enum class Placement {
  Placed = 0,
  NotPositive = 1,
  SourceBehind = 2,
  BeyondWidth = 3,
  NoPattern = 4
};

inline constexpr int kMaxTaps = 32;
/// Longest delay line, in samples (a room whose diagonal needs more leaves the plug-in
/// transparent): 2^22, 87 s at 48 kHz.
inline constexpr std::uint64_t kMaxLineLength = std::uint64_t{1} << 22;

/// The taps one microphone hears, before normalisation: at most 7, sorted by delay, equal
/// delays merged by power sum.
struct TapList {
  DelayTap taps[kMaxTaps];
  int count = 0;
};

/// The geometry of one microphone: axis angle b (radians), source (lateral sx, depth sd),
/// microphone lateral position my (at depth D), room depth D and width W, height h.
struct MicGeometry {
  double b, sx, sd, my, D, W, h;
};

/// Builds one microphone's taps (`InitPosition`); `taps` is written only when placed.
Placement InitPosition(const MicGeometry& geometry, std::uint64_t patternIndex, double rate,
                       std::uint64_t reflections, TapList& taps);

class SpatializerPost : public vantor::KELOPluginSDK::EffectPlugin {
 public:
  explicit SpatializerPost(vantor::KELOPluginSDK::Host* host);
  ~SpatializerPost() override;

  /// Stores both texts and reads the stage numbers from the first; answers 1.
  std::int32_t initEx(const char* initText, const char* extraText) override;
  bool init(const char* initText, const char* extraText);
  void start() override {}
  void stop() override {}
  /// Builds the taps and the delay lines for the rate (nothing while transparent).
  void setDSPInfo(const vantor::KELOPluginSDK::DSPInfo* info) override;
  /// Writes the whole list; a null list is left alone.
  void getDefaults(vantor::KELOPluginSDK::HDMIDIEvents* events) override;
  void process(float** audio, std::int32_t frames,
               const vantor::KELOPluginSDK::HDMIDIEvents* midiIn,
               vantor::KELOPluginSDK::HDMIDIEvents* midiOut,
               const vantor::KELOPluginSDK::SyncInfo* sync) override;
  void setCustomDataLink(const vantor::KELOPluginSDK::CustomDataLink*) override {}
  std::int32_t getChunk(void**) { return 0; }
  void setChunk(unsigned char*, unsigned) {}

  // Read-only views for tests and diagnostics.
  bool isTransparent() const { return lineLeft == nullptr; }
  bool isFading() const { return fadeOut > 0.0f; }
  std::uint64_t getTapCount() const { return tapCount; }
  const DelayTap* getTaps(int side) const { return side == 0 ? tapsLeft : tapsRight; }
  std::uint64_t getLineLength() const { return lineLength; }
  float getPositionTarget() const { return positionTarget; }
  float getPosition() const { return position; }
  double getAngleLeft() const { return angleLeft; }
  double getAngleRight() const { return angleRight; }
  double getSpacing() const { return spacing; }
  std::uint64_t getPattern() const { return pattern; }
  double getXfadeFrames() const { return xfadeFrames; }

 private:
  void readStageNumbers();
  void applyController(std::int32_t controller, float value);
  bool stageModelOn() const { return distance != 0.0f && stageOn != 0.0f; }
  void pannerTaps();
  /// Places the pair (`UpdateStereoMics`); false, changing no taps, when refused.
  bool UpdateStereoMics();
  void chooseArrangement();
  void render(float* left, float* right, std::int32_t frames);
  template <bool Fade>
  void renderFrames(float* left, float* right, std::int32_t from, std::int32_t to);

  std::string extraText, initText;
  DelayTap tapsLeft[kMaxTaps] = {}, tapsRight[kMaxTaps] = {};
  std::uint64_t tapCount = 0;
  DelayTap oldTapsLeft[kMaxTaps] = {}, oldTapsRight[kMaxTaps] = {};
  std::uint64_t oldTapCount = 0;
  double xfadeStep = 0.0, xfadeFrames = 0.0;
  float fadeIn = 0.0f, fadeOut = 0.0f;
  std::uint32_t inputChannels = 2;
  std::uint64_t lineLength = 0, lineMask = 0;
  float* lineLeft = nullptr;
  float* lineRight = nullptr;
  std::uint64_t writePos = 0;
  std::uint64_t sampleRate = 0;
  float positionValue = 64.0f / 127.0f;
  float position = 0.49999997f, positionTarget = 0.49999997f;
  float distance = 0.0f, distanceTarget = 0.0f;
  double textAngleLeft = 0.0, textAngleRight = 0.0, textSpacing = 0.0;
  std::uint64_t textPattern = 0;
  float stageOn = 1.0f, stageOnTarget = 1.0f;
  float arrangement = 0.0f, arrangementTarget = 0.0f;
  double angleLeft = 0.0, angleRight = 0.0, spacing = 0.0, roomDepth = 0.0, sourceWidth = 0.0,
         height = 10.0, roomWidth = 0.0, extraWidth = 0.0;
  std::uint64_t pattern = 0, reflections = 4294967295u;
  bool textUsable = false;  // both texts present, every number finite
};

}  // namespace acme
