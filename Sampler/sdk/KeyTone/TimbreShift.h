// The first stage of the piano MIDI pre-processor (acme::MIDIProc): the engine-internal
// transpose controller 489 picks a shift of -12 to +6 semitones; note-ons are sent on the
// shifted key (folded into 0..127 by octaves), each note-off follows the key its note-on went
// out on, and controller 490 tells the engine the compensation in semitones. A change of shift
// first silences the instrument (controllers 123 and 64).
//
// A plain class held by its plug-in; process runs on the render thread, allocates nothing and
// writes only inside the 2048 slots of its output list.
#pragma once

#include <cstdint>

#include "Sampler/sdk/PluginRecords.h"

class TimbreShift {
 public:
  TimbreShift();

  std::int32_t GetTransposeCCNum() const { return transposeCC; }
  /// The middle of the first zone that shifts by 0: 0.5.
  float GetTransposeCCDefaultValue() const;
  /// `out` = `in` (numEvents read as 0..2048) with the shift applied. A transpose controller
  /// whose value falls in a zone sets the shift and is followed by controllers 123 = 0.0,
  /// 64 = 0.0 and 490 = minus the shift, each a copy of the one before; it needs four free
  /// slots, else it is dropped with them and the shift stays. A value in no zone (above 100.0
  /// or NaN) leaves the shift and passes alone. Notes with keys outside 0..127 pass unchanged;
  /// an event that does not fit is dropped.
  void process(const vantor::KELOPluginSDK::HDMIDIEvents* in,
               vantor::KELOPluginSDK::HDMIDIEvents* out);

  std::int8_t shift() const { return currentShift; }

 private:
  struct Zone {
    float upperBound;
    std::int8_t shift;
  };

  /// Index of the first zone whose bound is at least `value`; -1 for none.
  std::int32_t zoneOf(float value) const;

  Zone ccValueMap[128] = {};
  std::int32_t sizeCcValueMap = 19;
  std::int32_t transposeCC = 489;
  std::int32_t shiftReportCC = 490;
  std::int32_t notenumTranslation[128];
  std::int8_t currentShift = 0;
};
