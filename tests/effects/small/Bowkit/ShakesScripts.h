// The Shakes plug-in's behaviour as event scripts in 64-frame blocks: what goes in block by
// block, what must come out, tick by tick. The same scripts run against the object and
// through kelo-plugin-run.
#pragma once

#include <vector>

#include "tests/support/EventScript.h"

namespace kelo::test {

inline constexpr std::int32_t kShakesBlock = 64;

inline float over127(int value) { return static_cast<float>(value) / 127.0f; }

// The end of a phrase at `tick`: sustain off, controllers 20 and 21 restored, 28 off.
inline EventRows shakesPhraseEnd(std::uint32_t tick, float cc20 = 0.0f, float cc21 = 0.0f) {
  return {{tick, 176, 64, 0.0f}, {tick, 176, 20, cc20}, {tick, 176, 21, cc21}, {tick, 176, 28, 0.0f}};
}

// The start of a phrase on `key`: its note-on, controller 21 off, portamento by key, 28.
inline EventRows shakesPhraseStart(std::uint32_t tick, int key, float velocity, int porta) {
  return {{tick, 144, key, velocity},
          {tick, 176, 21, 0.0f},
          {tick, 176, 20, over127(porta)},
          {tick, 176, 28, over127(44)}};
}

// The first overlap of a phrase: sustain at half, controller 15 off.
inline EventRows shakesOverlap(std::uint32_t tick) {
  return {{tick, 176, 64, 0.5f}, {tick, 176, 15, 0.0f}};
}

inline const std::vector<EventScript>& shakesScripts() {
  static const std::vector<EventScript> scripts = {
      {"OnlyTheMiddleRangeTurnsShakesOn",
       nullptr,
       {{{0, 176, 102, 0.5f}, {1, 176, 102, 0.25f}, {2, 176, 102, 0.75f}, {3, 179, 102, 0.3f}}},
       {concat({{{0, 176, 102, 2.0f}},
                shakesPhraseEnd(0),
                {{1, 176, 102, 0.25f}},
                shakesPhraseEnd(1),
                {{2, 176, 102, 0.75f}},
                shakesPhraseEnd(2),
                {{3, 179, 102, 2.0f}},
                shakesPhraseEnd(3)})}},
      {"APhraseOnTwoKeys",
       nullptr,
       {{{0, 176, 102, 0.5f},
         {1, 176, 20, 0.25f},
         {2, 176, 21, 0.4f},
         {10, 144, 84, 0.9f},
         {20, 144, 86, 0.5f},
         {30, 128, 86, 0.3f},
         {40, 128, 84, 0.2f}}},
       {concat({{{0, 176, 102, 2.0f}},
                shakesPhraseEnd(0),
                {{1, 176, 20, 0.25f}, {2, 176, 21, 0.4f}},
                shakesPhraseStart(10, 84, 0.9f, 72),
                shakesOverlap(20),
                {{20, 144, 86, over127(51)},
                 {21, 128, 84, over127(51)},
                 {31, 144, 84, over127(107)},
                 {32, 128, 86, over127(107)}},
                shakesPhraseEnd(40, 0.25f, 0.4f),
                {{41, 128, 84, 0.2f}}})}},
      {"APhraseEndingOnTheLastFrameStopsItsNoteInTheNextBlock",
       nullptr,
       {{{0, 176, 102, 0.5f}, {10, 144, 84, 0.9f}, {63, 128, 84, 0.2f}}, {{5, 176, 7, 0.5f}}},
       {concat({{{0, 176, 102, 2.0f}},
                shakesPhraseEnd(0),
                shakesPhraseStart(10, 84, 0.9f, 72),
                shakesPhraseEnd(63)}),
        {{0, 128, 84, 0.2f}, {5, 176, 7, 0.5f}}}},
      {"ControllerFifteenWaitsForThePhrasesEnd",
       nullptr,
       {{{0, 176, 102, 0.5f},
         {1, 176, 15, 0.3f},
         {2, 144, 60, 0.7f},
         {3, 144, 62, 0.6f},
         {4, 128, 62, 0.1f},
         {7, 128, 60, 0.2f},
         {20, 144, 60, 0.7f},
         {21, 128, 60, 0.2f}}},
       {concat({{{0, 176, 102, 2.0f}},
                shakesPhraseEnd(0),
                shakesPhraseStart(2, 60, 0.7f, 67),
                shakesOverlap(3),
                {{3, 144, 62, over127(80)},
                 {4, 128, 60, over127(80)},
                 {5, 144, 60, over127(107)},
                 {6, 128, 62, over127(107)}},
                shakesPhraseEnd(7),
                {{7, 176, 15, 0.3f}, {8, 128, 60, 0.2f}, {9, 176, 15, 0.0f}},
                shakesPhraseStart(20, 60, 0.7f, 67),
                shakesPhraseEnd(21),
                {{22, 128, 60, 0.2f}}})}},
      {"TheShiftMovesTheTablesAndTheRangeKeepsItsKeys",
       "shift12:|low:60",
       {{{0, 176, 102, 0.5f}, {1, 144, 94, 0.8f}, {2, 144, 96, 0.5f}, {4, 145, 59, 0.5f}}},
       {concat({{{0, 176, 102, 2.0f}},
                shakesPhraseEnd(0),
                shakesPhraseStart(1, 94, 0.8f, 70),
                shakesOverlap(2),
                {{2, 144, 96, over127(54)}, {3, 128, 94, over127(54)}, {4, 145, 59, 0.5f}}})}},
      {"ShakesOffSendsInRangeNotesOnTheFirstChannel",
       nullptr,
       {{{0, 146, 60, 0.7f}, {1, 130, 60, 0.3f}, {2, 145, 64, 0.5f}, {3, 176, 15, 0.4f},
         {4, 176, 123, 0.0f}}},
       {concat({{{0, 144, 60, 0.7f},
                 {1, 128, 60, 0.3f},
                 {2, 144, 64, 0.5f},
                 {3, 176, 15, 0.4f},
                 {4, 176, 123, 0.0f},
                 {4, 128, 64, 0.5f}},
                shakesPhraseEnd(4),
                {{4, 176, 15, 0.4f}, {6, 176, 15, 0.0f}}})}},
      // The return to 84 goes out at 31; all-notes-off at 30 must not stop it before it starts.
      {"AllNotesOffComesAfterANoteOnQueuedForALaterFrame",
       nullptr,
       {{{0, 176, 102, 0.5f},
         {10, 144, 84, 0.9f},
         {20, 144, 86, 0.5f},
         {30, 128, 86, 0.3f},
         {30, 176, 123, 0.0f}}},
       {concat({{{0, 176, 102, 2.0f}},
                shakesPhraseEnd(0),
                shakesPhraseStart(10, 84, 0.9f, 72),
                shakesOverlap(20),
                {{20, 144, 86, over127(51)},
                 {21, 128, 84, over127(51)},
                 {30, 176, 123, 0.0f},
                 {31, 144, 84, over127(107)},
                 {31, 128, 84, 0.5f}},
                shakesPhraseEnd(31),
                {{32, 128, 86, over127(107)}}})}},
  };
  return scripts;
}

}  // namespace kelo::test
