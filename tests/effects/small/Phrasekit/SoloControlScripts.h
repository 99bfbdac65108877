// The SoloControl plug-in's behaviour as event scripts, with both random depths 0 so that
// every value is known. The same scripts run against the object and through kelo-plugin-run.
#pragma once

#include <vector>

#include "tests/support/EventScript.h"

namespace kelo::test {

// The random controllers before every note-on (26 = its saved value 0, then 227, 166, 167 at
// their centre and 168 = the random depth 0).
inline EventRows randomRows(std::uint32_t tick) {
  return {{tick, 176, 26, 0.0f},
          {tick, 176, 227, 0.5f},
          {tick, 176, 166, 0.5f},
          {tick, 176, 167, 0.5f},
          {tick, 176, 168, 0.0f}};
}

// What the solo switch sends after its note-offs: bend reset, portamento 0, legato end.
inline EventRows switchRows(std::uint32_t tick, float savedCC21) {
  return {{tick, 176, 202, 0.5f},
          {tick, 176, 211, 0.0f},
          {tick, 176, 5, 0.0f},
          {tick, 176, 264, 0.0f},
          {tick, 176, 221, savedCC21}};
}

// The interval group of a repeated key (interval 0) and of a step of 1 to 4 keys.
inline EventRows sameKeyRows(std::uint32_t tick) {
  return {{tick, 176, 5, 0.0f}, {tick, 176, 202, 0.5f}, {tick, 176, 211, 0.0f}};
}
inline EventRows stepRows(std::uint32_t tick, float portamento) {
  return {{tick, 176, 202, 0.5f}, {tick, 176, 211, 0.0f}, {tick, 176, 5, portamento}};
}

inline const std::vector<EventScript>& soloControlScripts() {
  static const std::vector<EventScript> scripts = {
      {"APhraseOfTwoKeys",
       nullptr,
       {{{0, 176, 102, 1.0f}},
        {{3, 144, 60, 0.75f}},
        {{10, 144, 64, 0.5f}},
        {{20, 128, 64, 0.25f}},
        {{30, 128, 60, 0.25f}}},
       {concat({{{0, 176, 102, 1.0f}}, switchRows(0, 0.0f)}),
        concat({randomRows(3), sameKeyRows(3), {{3, 144, 60, 0.75f}}}),
        concat({{{10, 176, 264, 1.0f}, {10, 176, 221, 0.0f}},
                randomRows(10),
                stepRows(10, 0.5f),
                {{10, 144, 64, 0.5f}, {10, 128, 60, 0.5f}}}),
        concat({randomRows(20), stepRows(20, 0.5f), {{20, 144, 60, 0.5f}, {20, 128, 64, 0.5f}}}),
        {{30, 176, 264, 0.0f}, {30, 176, 221, 0.0f}, {30, 128, 60, 0.25f}}}},
      {"SwitchingSoloOffReleasesTheHeldKeysAndResets",
       nullptr,
       {{{0, 176, 21, 0.25f}, {0, 176, 102, 0.01f}, {1, 144, 60, 0.5f}, {2, 144, 64, 0.75f}},
        {{7, 176, 102, 0.0f}}},
       {concat({{{0, 176, 21, 0.25f}, {0, 176, 221, 0.25f}, {0, 176, 102, 0.01f}},
                switchRows(0, 0.25f),
                randomRows(1),
                sameKeyRows(1),
                {{1, 144, 60, 0.5f}, {2, 176, 264, 1.0f}, {2, 176, 221, 0.0f}},
                randomRows(2),
                stepRows(2, 0.25f),
                {{2, 144, 64, 0.75f}, {2, 128, 60, 0.75f}}}),
        concat({{{7, 176, 102, 0.0f}, {7, 128, 64, 0.5f}, {7, 128, 60, 0.5f}},
                switchRows(7, 0.25f)})}},
      {"SoloOffSendsTheRandomControllersAndFirstChannelNotes",
       nullptr,
       {{{0, 145, 60, 0.5f}, {1, 146, 64, 0.5f}, {2, 176, 120, 0.0f}, {3, 129, 64, 0.5f}}},
       {concat({randomRows(0),
                {{0, 144, 60, 0.5f}},
                randomRows(1),
                {{1, 144, 64, 0.5f},
                 {2, 176, 120, 0.0f},
                 {2, 128, 64, 0.5f},
                 {2, 128, 60, 0.5f},
                 {3, 128, 64, 0.5f}}})}},
      {"Controller21IsEchoedAs221OnlyWithSoloOff",
       nullptr,
       {{{0, 176, 21, 0.25f}}, {{0, 176, 102, 1.0f}}, {{0, 176, 21, 0.5f}}},
       {{{0, 176, 21, 0.25f}, {0, 176, 221, 0.25f}},
        concat({{{0, 176, 102, 1.0f}}, switchRows(0, 0.25f)}),
        {{0, 176, 21, 0.5f}}}},
      {"ExpressionControllersAreRemappedOnTheFirstChannelOnly",
       nullptr,
       {{{0, 176, 2, 0.625f}, {1, 177, 11, 0.5f}, {2, 176, 79, 0.5f}}},
       {{{0, 176, 1, 0.625f}, {1, 177, 11, 0.5f}, {2, 176, 129, 0.5f}}}},
      {"MarkersGateControllerEntries",
       nullptr,
       {{{0, 512, 0, 0.125f},  // no marker yet: even 0 does not match
         {1, 256, 70, 0.0f},
         {2, 512, 70, 0.25f},
         {3, 512, 71, 0.5f}},
        {{0, 512, 70, 0.75f}, {1, 256, 0, 0.0f}, {2, 512, 0, 0.5f}}},
       {{{2, 176, 128, 0.25f}}, {{0, 176, 128, 0.75f}, {2, 176, 128, 0.5f}}}},
      {"KeysOutsideTheRangePassWithoutControllers",
       "low:55",
       {{{0, 176, 102, 1.0f}}, {{0, 144, 50, 0.5f}, {1, 128, 50, 0.0f}}},
       {concat({{{0, 176, 102, 1.0f}}, switchRows(0, 0.0f)}),
        {{0, 144, 50, 0.5f}, {1, 128, 50, 0.0f}}}},
  };
  return scripts;
}

}  // namespace kelo::test
