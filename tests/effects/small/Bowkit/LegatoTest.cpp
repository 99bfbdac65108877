// The Legato plug-in driven directly: its scripts, its default list, and a block that queues
// more than one output list holds.
#include <gtest/gtest.h>

#include "effects/small/Bowkit/Legato.h"
#include "tests/support/EventScript.h"

namespace kelo::test {
namespace {

// The end of a phrase: sustain off, controller 21 restored.
EventRows phraseEnd(std::uint32_t tick, float cc21) {
  return {{tick, 176, 64, 0.0f}, {tick, 176, 21, cc21}};
}

const std::vector<EventScript>& legatoScripts() {
  static const std::vector<EventScript> scripts = {
      {"LegatoOffSendsInRangeNotesOnTheFirstChannel",
       nullptr,
       {{{0, 146, 60, 0.7f}, {1, 130, 60, 0.3f}, {2, 146, 128, 0.5f}, {3, 0x92, 62, 0.4f},
         {4, 0x92, 62, 0.0f}}},
       {{{0, 144, 60, 0.7f}, {1, 128, 60, 0.3f}, {2, 146, 128, 0.5f}, {3, 144, 62, 0.4f},
         {4, 128, 62, 0.0f}}}},
      {"TheSwitchValuesEachEndThePhrase",
       nullptr,
       {{{0, 176, 21, 0.3f},
         {1, 176, 102, 1.0f},
         {2, 144, 60, 0.5f},
         {3, 144, 62, 0.6f},
         {4, 176, 102, 1.5f},
         {5, 144, 64, 0.5f},
         {6, 176, 102, 0.0f}}},
       {concat({{{0, 176, 21, 0.3f}, {0, 176, 21, 0.3f}, {1, 176, 102, 1.0f}},
                phraseEnd(1, 0.3f),
                {{2, 144, 60, 0.5f},
                 {2, 176, 21, 0.0f},
                 {3, 176, 64, 1.0f},
                 {3, 144, 62, 0.6f},
                 {3, 128, 60, 0.6f},
                 {4, 176, 102, 0.5f},
                 {4, 128, 62, 0.5f},
                 {4, 128, 60, 0.5f}},
                phraseEnd(4, 0.3f),
                {{5, 144, 64, 0.5f}, {6, 176, 102, 0.0f}, {6, 128, 64, 0.5f}},
                phraseEnd(6, 0.3f)})}},
      {"APhraseStartsWithCC21AndHoldsSustainFromItsFirstOverlap",
       nullptr,
       {{{0, 176, 102, 1.0f},
         {5, 176, 21, 0.4f},
         {10, 144, 60, 0.7f},
         {20, 144, 62, 0.6f},
         {30, 128, 60, 0.2f},
         {40, 128, 62, 0.3f}}},
       {concat({{{0, 176, 102, 1.0f}},
                phraseEnd(0, 0.0f),
                {{5, 176, 21, 0.4f},
                 {10, 144, 60, 0.7f},
                 {10, 176, 21, 0.0f},
                 {20, 176, 64, 1.0f},
                 {20, 144, 62, 0.6f},
                 {20, 128, 60, 0.6f}},
                phraseEnd(40, 0.4f),
                {{40, 128, 62, 0.3f}}})}},
      {"SustainIsSentOncePerPhraseAndReleasesReturnToTheKeyStillHeld",
       nullptr,
       {{{0, 176, 102, 1.0f},
         {1, 144, 60, 0.5f},
         {2, 144, 62, 0.6f},
         {3, 144, 64, 0.7f},
         {4, 128, 64, 0.1f},
         {5, 128, 62, 0.1f},
         {6, 128, 60, 0.2f}}},
       {concat({{{0, 176, 102, 1.0f}},
                phraseEnd(0, 0.0f),
                {{1, 144, 60, 0.5f},
                 {1, 176, 21, 0.0f},
                 {2, 176, 64, 1.0f},
                 {2, 144, 62, 0.6f},
                 {2, 128, 60, 0.6f},
                 {3, 144, 64, 0.7f},
                 {3, 128, 62, 0.7f},
                 {4, 144, 62, 0.7f},
                 {4, 128, 64, 0.7f},
                 {5, 144, 60, 0.7f},
                 {5, 128, 62, 0.7f}},
                phraseEnd(6, 0.0f),
                {{6, 128, 60, 0.2f}}})}},
      {"StrikingTheHeldKeyAgainStartsAndStopsIt",
       nullptr,
       {{{0, 176, 102, 1.0f}, {1, 144, 60, 0.5f}, {2, 144, 60, 0.6f}}},
       {concat({{{0, 176, 102, 1.0f}},
                phraseEnd(0, 0.0f),
                {{1, 144, 60, 0.5f},
                 {1, 176, 21, 0.0f},
                 {2, 176, 64, 1.0f},
                 {2, 144, 60, 0.6f},
                 {2, 128, 60, 0.6f}}})}},
      {"AllNotesOffEndsThePhraseInEitherMode",
       nullptr,
       {{{0, 144, 60, 0.5f}, {1, 145, 64, 0.5f}, {2, 176, 21, 0.2f}, {3, 177, 123, 0.0f}},
        {{0, 176, 102, 1.0f}, {1, 144, 60, 0.5f}, {2, 176, 120, 0.0f}}},
       {concat({{{0, 144, 60, 0.5f},
                 {1, 144, 64, 0.5f},
                 {2, 176, 21, 0.2f},
                 {2, 176, 21, 0.2f},
                 {3, 177, 123, 0.0f},
                 {3, 128, 64, 0.5f},
                 {3, 128, 60, 0.5f}},
                phraseEnd(3, 0.2f)}),
        concat({{{0, 176, 102, 1.0f}},
                phraseEnd(0, 0.2f),
                {{1, 144, 60, 0.5f}, {1, 176, 21, 0.0f}, {2, 176, 120, 0.0f}, {2, 128, 60, 0.5f}},
                phraseEnd(2, 0.2f)})}},
      // The copy of controller 21 on the first channel comes only with legato mode off.
      {"ControllerTwentyOneFromAnotherChannel",
       nullptr,
       {{{0, 179, 21, 0.6f}, {1, 176, 102, 1.0f}, {2, 179, 21, 0.7f}}},
       {concat({{{0, 179, 21, 0.6f}, {0, 176, 21, 0.6f}, {1, 176, 102, 1.0f}},
                phraseEnd(1, 0.6f),
                {{2, 179, 21, 0.7f}}})}},
      {"KeysOutsideTheRangePassAndAreNeverHeld",
       "low:48|high:72",
       {{{0, 176, 102, 1.0f},
         {1, 145, 47, 0.5f},
         {2, 145, 73, 0.5f},
         {3, 144, 60, 0.5f},
         {4, 129, 47, 0.0f},
         {5, 176, 123, 0.0f}}},
       {concat({{{0, 176, 102, 1.0f}},
                phraseEnd(0, 0.0f),
                {{1, 145, 47, 0.5f},
                 {2, 145, 73, 0.5f},
                 {3, 144, 60, 0.5f},
                 {3, 176, 21, 0.0f},
                 {4, 129, 47, 0.0f},
                 {5, 176, 123, 0.0f},
                 {5, 128, 60, 0.5f}},
                phraseEnd(5, 0.0f)})}},
  };
  return scripts;
}

TEST(Legato, FollowsItsScripts) { expectEventScripts<sorvelin::Legato>(legatoScripts()); }

TEST(Legato, StartsWithLegatoOffWhateverItsMode) {
  sorvelin::Legato legato(nullptr);
  EXPECT_EQ(legato.getNumMIDIIns(), 1u);
  EXPECT_EQ(legato.getNumMIDIOuts(), 1u);
  EXPECT_EQ(legato.getNumAudioIns() + legato.getNumAudioOuts(), 0u);
  expectSwitchDefaults(legato, 0.0f);
  runEventScript(blockProcessOf(legato), {{{0, 176, 102, 1.0f}}});
  EXPECT_TRUE(legato.isLegatoOn());
  expectSwitchDefaults(legato, 0.0f);
  void* data = &data;
  EXPECT_EQ(legato.getChunk(&data), 0);
  EXPECT_EQ(data, &data);
}

// Controller 21 with legato off queues two entries: 2000 of them make 4000, of which 2048
// leave in their block and the other 1952 first in the next one, at tick 0.
TEST(Legato, EntriesBeyondOneListLeaveFirstInTheNextBlock) {
  EventRows many, sent;
  for (int i = 0; i < 2000; ++i) {
    const EventRow row{static_cast<std::uint32_t>(i / 8), 176, 21, (i % 100) / 100.0f};
    many.push_back(row);
    sent.push_back(row);
    sent.push_back(row);
  }
  EventRows carried(sent.begin() + 2048, sent.end());
  for (EventRow& row : carried) row.tick = 0;
  carried.push_back({3, 176, 7, 0.5f});

  sorvelin::Legato legato(nullptr);
  const auto out = runEventScript(blockProcessOf(legato), {many, {{3, 176, 7, 0.5f}}});
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0], EventRows(sent.begin(), sent.begin() + 2048));
  EXPECT_EQ(out[1], carried);
  EXPECT_EQ(legato.lostEvents(), 0u);
}

}  // namespace
}  // namespace kelo::test
