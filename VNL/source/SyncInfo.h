// The host's transport for one processing slice, as the plug-ins hand it to the engine with
// every process call. The layout crosses to the engine byte for byte (128 bytes, offsets
// pinned below). Plain data: any thread may fill it; prepare() and the two sample-count
// functions neither allocate nor lock, log() allocates (it builds a text).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantor {

struct SyncInfo {
  double samplePosition = 0;   // song position in samples
  double sampleRate = 0;       // set by prepare()
  double systemTimeNanos = 0;  // not read here
  double ppqPosition = 0;      // song position in quarter notes
  double tempo = 120;          // beats per minute
  double barStartPosition = 0; // quarter-note position of the current bar's start
  double loopStartPosition = 0;
  double loopEndPosition = 0;
  std::int32_t timeSigNumerator = 4;
  std::int32_t timeSigDenominator = 4;
  std::int32_t samplesToNextClock = 0;  // not read here
  std::int32_t smpteOffset = 0;         // not read here
  std::int32_t smpteFrameRate = 0;      // not read here
  bool playing = false;
  std::uint8_t reserved85 = 0;
  bool looping = false;  // valid() may clear it
  bool transportChanged = false;
  bool barStartsInSlice = false;  // derived by prepare()
  bool loopWrapsInSlice = false;  // derived by prepare()
  std::int16_t sliceLength = 0;   // derived by prepare()
  std::int32_t nextBarSamples = 0;  // derived by prepare()
  double barLength = 0;             // derived by prepare(), in quarter notes
  double ppqAdvance = 0;            // derived by prepare(): quarter notes covered by the slice
  double lastLoggedPpq = 0;         // ppqPosition at the last log()
  std::uint8_t reserved120[8] = {};

  /// Completes the record for a slice of `frames` at `rate`. Returns false when valid() finds
  /// a problem; the derived fields then keep their values, and unless `quiet` the record's
  /// description goes into `logText` when one is given. `caller` is not used.
  bool prepare(std::int16_t frames, double rate, const char* caller, std::string* logText,
               bool quiet);

  /// 0 when usable, else the code of the first problem (1 rate, 3 tempo, 5 numerator,
  /// 6 denominator, 7 position before the bar start, 9 loop end, 10 loop start). A stopped
  /// record is always usable. May switch `looping` off when the loop does not make sense.
  int valid();

  /// Replaces `text` with a one-line description starting with `code`; remembers the
  /// position for the next description's distance. True when `code` is 0.
  bool log(int code, std::string& text);
};

static_assert(sizeof(SyncInfo) == 128);
static_assert(offsetof(SyncInfo, samplePosition) == 0);
static_assert(offsetof(SyncInfo, sampleRate) == 8);
static_assert(offsetof(SyncInfo, systemTimeNanos) == 16);
static_assert(offsetof(SyncInfo, ppqPosition) == 24);
static_assert(offsetof(SyncInfo, tempo) == 32);
static_assert(offsetof(SyncInfo, barStartPosition) == 40);
static_assert(offsetof(SyncInfo, loopStartPosition) == 48);
static_assert(offsetof(SyncInfo, loopEndPosition) == 56);
static_assert(offsetof(SyncInfo, timeSigNumerator) == 64);
static_assert(offsetof(SyncInfo, timeSigDenominator) == 68);
static_assert(offsetof(SyncInfo, samplesToNextClock) == 72);
static_assert(offsetof(SyncInfo, smpteOffset) == 76);
static_assert(offsetof(SyncInfo, smpteFrameRate) == 80);
static_assert(offsetof(SyncInfo, playing) == 84);
static_assert(offsetof(SyncInfo, looping) == 86);
static_assert(offsetof(SyncInfo, transportChanged) == 87);
static_assert(offsetof(SyncInfo, barStartsInSlice) == 88);
static_assert(offsetof(SyncInfo, loopWrapsInSlice) == 89);
static_assert(offsetof(SyncInfo, sliceLength) == 90);
static_assert(offsetof(SyncInfo, nextBarSamples) == 92);
static_assert(offsetof(SyncInfo, barLength) == 96);
static_assert(offsetof(SyncInfo, ppqAdvance) == 104);
static_assert(offsetof(SyncInfo, lastLoggedPpq) == 112);
static_assert(sizeof(bool) == 1);

/// Samples from the slice start to the next bar start; 0 when the position is the bar start.
/// A non-positive or non-finite tempo or rate, or a non-finite position or bar start, gives 0.
/// Constant time whatever the song position.
std::int64_t samplesToNextBar(double tempo, double ppqPosition, double barStartPosition,
                              double timeSigNumerator, double timeSigDenominator,
                              double sampleRate);

/// Samples to the next whole quarter note or the next bar start, whichever comes first;
/// 0 on a whole quarter note and for the inputs samplesToNextBar() refuses.
std::int64_t samplesToNextBeat(double tempo, double ppqPosition, double barStartPosition,
                               double timeSigNumerator, double timeSigDenominator,
                               double sampleRate);

}  // namespace vantor
