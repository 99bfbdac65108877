// The piano MIDI pre-processor's behaviour as event scripts: its init text, sample rate and
// block length, what goes in block by block and what must come out.
#pragma once

#include <cmath>
#include <memory>
#include <vector>

#include "Sampler/sdk/KeyTone/MIDIProc.h"
#include "tests/support/EventScript.h"

namespace kelo::test {

struct MIDIProcScript {
  const char* name;
  const char* initText;
  double rate;
  std::int32_t frames;
  std::vector<EventRows> in, out;
};

/// A pre-processor given `initText`, the DSP settings and started, as the engine prepares it.
inline std::unique_ptr<acme::MIDIProc> preparedMIDIProc(const char* initText, double rate,
                                                        std::int32_t maxBlock = 512) {
  auto proc = std::make_unique<acme::MIDIProc>(nullptr);
  EXPECT_EQ(proc->initEx(initText, nullptr), 1);
  vantor::KELOPluginSDK::DSPInfo info{};
  info.sampleRate = rate;
  info.sampleRateInt = static_cast<std::int32_t>(rate);
  info.maxBlockSize = maxBlock;
  proc->setDSPInfo(&info);
  proc->start();
  return proc;
}

// One zone on controller 300 whose press arrives after 0.1 s: 100 frames at 1000 Hz.
inline constexpr const char* kOneZone = "298|1|299|0|296|32|297|64|295|1|300|0.1";

inline const std::vector<MIDIProcScript>& midiProcScripts() {
  static const std::vector<MIDIProcScript> scripts = {
      // Below 0.5 off, from 0.5 on; a repeat of the last value is dropped, and reaching fully
      // down or up first sends a copy on the crossing controller.
      {"OnOffPedalWithItsCrossings",
       nullptr,
       44100,
       256,
       {{{0, 176, 64, 0.3f},
         {10, 176, 64, 0.6f},
         {20, 176, 64, 0.7f},
         {30, 176, 64, 1.0f},
         {40, 176, 64, 0.0f}}},
       {{{0, 176, 64, 0.0f},
         {10, 176, 64, 1.0f},
         {30, 176, 295, 1.0f},
         {40, 176, 295, 0.0f},
         {40, 176, 64, 0.0f}}}},
      {"ValuesOutsideTheRangeAreLimitedAndNaNIsDropped",
       nullptr,
       44100,
       256,
       {{{0, 176, 64, 1.5f}, {1, 176, 64, NAN}, {2, 176, 64, -0.5f}}},
       {{{0, 176, 295, 1.0f}, {0, 176, 64, 1.0f}, {2, 176, 295, 0.0f}, {2, 176, 64, 0.0f}}}},
      // Half-pedalling between 0.25 and 0.5; within one window only pedal positions of 0.0 or
      // 1.0, or the one before a full press, survive, and a window reaching back before the
      // block's start keeps nothing earlier.
      {"HalfPedalThinnedNearTheBlocksStart",
       "298|1|299|1",
       44100,
       256,
       {{{0, 176, 64, 0.3125f},
         {50, 176, 64, 0.375f},
         {120, 176, 64, 0.4375f},
         {200, 176, 64, 0.6f},
         {230, 176, 64, 0.375f}}},
       {{{120, 176, 64, 0.75f}, {200, 176, 64, 1.0f}, {230, 176, 64, 0.5f}}}},
      // Thresholds given the wrong way round switch the pedal at the upper one.
      {"CrossedThresholds",
       "298|1|299|1",
       44100,
       256,
       {{{0, 176, 296, 0.6f}, {1, 176, 297, 0.4f}},
        {{0, 176, 64, 0.5f}, {1, 176, 64, 0.3f}, {2, 176, 64, 0.45f}}},
       {{{0, 176, 296, 0.6f}, {1, 176, 297, 0.4f}},
        {{0, 176, 64, 1.0f}, {1, 176, 64, 0.0f}, {2, 176, 64, 1.0f}}}},
      {"AZonePressArrivesAfterItsDelayInALaterBlock",
       kOneZone,
       1000,
       64,
       {{{10, 176, 64, 1.0f}}, {}},
       {{{10, 176, 295, 1.0f}, {10, 176, 64, 1.0f}}, {{46, 176, 300, 1.0f}}}},
      {"AReleaseBeforeTheZonesPressCancelsIt",
       kOneZone,
       1000,
       64,
       {{{10, 176, 64, 1.0f}}, {{20, 176, 64, 0.0f}}, {}},
       {{{10, 176, 295, 1.0f}, {10, 176, 64, 1.0f}},
        {{20, 176, 295, 0.0f}, {20, 176, 300, 0.0f}, {20, 176, 64, 0.0f}},
        {}}},
      // Zones off through 298 releases them; a press then reaches no zone; half pedal on through
      // 299 brings them back, from the next block.
      {"TheFlagsSwitchTheZonesFromTheNextBlock",
       "298|1|299|0|296|32|297|64|295|1|300|0",
       44100,
       256,
       {{{0, 176, 298, 0.0f}}, {{5, 176, 64, 1.0f}, {6, 176, 299, 1.0f}}, {{5, 176, 64, 0.0f}}},
       {{{0, 176, 298, 0.0f}, {0, 176, 300, 0.0f}},
        {{5, 176, 295, 1.0f}, {5, 176, 64, 1.0f}, {6, 176, 299, 1.0f}, {6, 176, 300, 0.0f}},
        {{5, 176, 295, 0.0f}, {5, 176, 300, 0.0f}, {5, 176, 64, 0.0f}}}},
      // At frame count 0 no thinning and no delays: the zones hear the pedal at once, the last
      // zone first.
      {"ZeroFramesSendTheZonesAtOnce",
       "298|1|299|0|296|32|297|64|295|2|300|0.5|301|0.5",
       44100,
       0,
       {{{0, 176, 64, 1.0f}}},
       {{{0, 176, 295, 1.0f}, {0, 176, 301, 1.0f}, {0, 176, 300, 1.0f}, {0, 176, 64, 1.0f}}}},
  };
  return scripts;
}

/// The script through a prepared pre-processor.
inline std::vector<EventRows> runMIDIProcScript(const MIDIProcScript& script) {
  auto proc = preparedMIDIProc(script.initText, script.rate);
  return runEventScript(blockProcessOf(*proc, script.frames), script.in, EventBytes::RowsOnly);
}

}  // namespace kelo::test
