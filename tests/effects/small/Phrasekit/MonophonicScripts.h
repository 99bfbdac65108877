// The Monophonic plug-in's behaviour as event scripts: what goes in block by block, what must
// come out. The same scripts run against the object and through kelo-plugin-run.
#pragma once

#include <string>
#include <vector>

#include "tests/support/EventScript.h"

namespace kelo::test {

struct MonophonicScript {
  const char* name;
  const char* initText;  // null for none
  std::vector<EventRows> in;
  std::vector<EventRows> out;
};

// Keys are data1; statuses 144 note-on, 128 note-off, 176 controller on the first channel.
inline const std::vector<MonophonicScript>& monophonicScripts() {
  static const std::vector<MonophonicScript> scripts = {
      {"MonoModeOnFromHalfOffBelow",
       nullptr,
       {{{0, 176, 102, 0.5f}, {10, 144, 60, 0.7f}, {20, 144, 64, 0.6f}},
        {{0, 176, 102, 0.49f}, {10, 144, 67, 0.5f}, {20, 144, 69, 0.5f}}},
       {{{0, 176, 102, 0.5f}, {10, 144, 60, 0.7f}, {20, 144, 64, 0.6f}, {20, 128, 60, 0.6f}},
        {{0, 176, 102, 0.49f},
         {0, 128, 64, 0.5f},
         {0, 128, 60, 0.5f},
         {10, 144, 67, 0.5f},
         {20, 144, 69, 0.5f}}}},
      {"ModeOffSendsNotesOnTheFirstChannel",
       nullptr,
       {{{0, 145, 60, 0.7f}, {1, 146, 64, 0.6f}, {2, 129, 60, 0.3f}, {3, 0x92, 64, 0.0f}}},
       {{{0, 144, 60, 0.7f}, {1, 144, 64, 0.6f}, {2, 128, 60, 0.3f}, {3, 128, 64, 0.0f}}}},
      {"LastNotePriorityAndTheReturnToTheKeyStillHeld",
       nullptr,
       {{{0, 176, 102, 1.0f}, {10, 144, 60, 0.7f}, {20, 144, 64, 0.6f}},
        {{5, 128, 64, 0.2f}},
        {{7, 128, 60, 0.3f}}},
       {{{0, 176, 102, 1.0f}, {10, 144, 60, 0.7f}, {20, 144, 64, 0.6f}, {20, 128, 60, 0.6f}},
        {{5, 144, 60, 0.6f}, {5, 128, 64, 0.6f}},
        {{7, 128, 60, 0.3f}}}},
      {"ReleasingAKeyNotOnTopSendsNothing",
       nullptr,
       {{{0, 176, 102, 1.0f},
         {1, 144, 60, 0.5f},
         {2, 144, 64, 0.6f},
         {3, 128, 60, 0.1f},
         {4, 148, 64, 0.0f}}},  // a note-on with velocity 0 on channel 5 is a note-off
       {{{0, 176, 102, 1.0f},
         {1, 144, 60, 0.5f},
         {2, 144, 64, 0.6f},
         {2, 128, 60, 0.6f},
         {4, 128, 64, 0.0f}}}},
      {"SwitchingOffReleasesTheHeldKeysMostRecentFirst",
       nullptr,
       {{{0, 176, 102, 1.0f}, {1, 144, 60, 0.5f}, {2, 144, 64, 0.6f}, {9, 176, 102, 0.0f}}},
       {{{0, 176, 102, 1.0f},
         {1, 144, 60, 0.5f},
         {2, 144, 64, 0.6f},
         {2, 128, 60, 0.6f},
         {9, 176, 102, 0.0f},
         {9, 128, 64, 0.5f},
         {9, 128, 60, 0.5f}}}},
      {"AllNotesOffControllers",
       nullptr,
       {{{0, 144, 60, 0.5f}, {1, 144, 64, 0.5f}, {2, 176, 120, 0.0f}, {3, 176, 123, 0.0f}}},
       {{{0, 144, 60, 0.5f},
         {1, 144, 64, 0.5f},
         {2, 176, 120, 0.0f},
         {2, 128, 64, 0.5f},
         {2, 128, 60, 0.5f},
         {3, 176, 123, 0.0f}}}},
      {"KeysOutsideTheRangePassAndAreNeverHeld",
       "low:48|high:72",
       {{{0, 145, 47, 0.5f},
         {1, 145, 73, 0.5f},
         {2, 176, 102, 1.0f},
         {3, 144, 47, 0.5f},
         {4, 144, 60, 0.5f},
         {5, 129, 73, 0.0f},
         {6, 176, 123, 0.0f}}},
       {{{0, 145, 47, 0.5f},
         {1, 145, 73, 0.5f},
         {2, 176, 102, 1.0f},
         {3, 144, 47, 0.5f},
         {4, 144, 60, 0.5f},
         {5, 129, 73, 0.0f},
         {6, 176, 123, 0.0f},
         {6, 128, 60, 0.5f}}}},
      {"AHeldKeyMinusOneDoesNotStopAllNotesOff",
       "low:-2|high:127",
       {{{0, 144, 5, 0.5f}, {1, 144, -1, 0.5f}, {2, 144, 7, 0.5f}, {3, 176, 120, 0.0f}},
        {{0, 176, 123, 0.0f}}},
       {{{0, 144, 5, 0.5f},
         {1, 144, -1, 0.5f},
         {2, 144, 7, 0.5f},
         {3, 176, 120, 0.0f},
         {3, 128, 7, 0.5f},
         {3, 128, -1, 0.5f},
         {3, 128, 5, 0.5f}},
        {{0, 176, 123, 0.0f}}}},
      {"InputIsSortedStablyByTickAndOtherEventsPass",
       nullptr,
       {{{20, 144, 64, 0.6f},
         {10, 224, 0, 0.5f},
         {10, 256, 70, 0.0f},
         {10, 512, 70, 0.3f},
         {20, 208, 1, 0.2f}}},
       {{{10, 224, 0, 0.5f},
         {10, 256, 70, 0.0f},
         {10, 512, 70, 0.3f},
         {20, 144, 64, 0.6f},
         {20, 208, 1, 0.2f}}}},
  };
  return scripts;
}

}  // namespace kelo::test
