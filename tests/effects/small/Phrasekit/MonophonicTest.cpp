// The Monophonic plug-in driven directly: its scripts, its default list, and a block that
// queues more than one output list holds.
#include <gtest/gtest.h>

#include "effects/small/Phrasekit/Monophonic.h"
#include "tests/effects/small/Phrasekit/MonophonicScripts.h"

namespace kelo::test {
namespace {

TEST(Monophonic, FollowsItsScripts) {
  expectEventScripts<sorvelin::Monophonic>(monophonicScripts());
}

TEST(Monophonic, KeysOutsideTheRangeNeverEnterTheStack) {
  sorvelin::Monophonic mono(nullptr);
  mono.initEx("low:48|high:72", nullptr);
  EXPECT_EQ(mono.lowestKey(), 48);
  EXPECT_EQ(mono.highestKey(), 72);
  runEventScript(blockProcessOf(mono), {{{0, 144, 47, 0.5f}, {0, 144, 73, 0.5f}},
                                        {{0, 176, 102, 1.0f}, {1, 144, 47, 0.5f}}});
  EXPECT_EQ(mono.held().Count(), 0);
}

TEST(Monophonic, TheDefaultListAsksForTheCurrentMode) {
  sorvelin::Monophonic mono(nullptr);
  EXPECT_EQ(mono.getNumMIDIIns(), 1u);
  EXPECT_EQ(mono.getNumMIDIOuts(), 1u);
  EXPECT_EQ(mono.getNumAudioIns() + mono.getNumAudioOuts(), 0u);
  for (float value : {0.0f, 1.0f}) {
    expectSwitchDefaults(mono, value);
    runEventScript(blockProcessOf(mono), {{{0, 176, 102, 0.5f}}});
  }
  void* data = &data;
  EXPECT_EQ(mono.getChunk(&data), 0);
  EXPECT_EQ(data, &data);
}

// Each note-on in mono mode queues two entries: 1050 of them make 2100, of which 2048 leave in
// their block and the other 52 first in the next one, at tick 0.
TEST(Monophonic, EntriesBeyondOneListLeaveFirstInTheNextBlock) {
  EventRows many, sent;
  int previous = 50;
  for (int i = 0; i < 1050; ++i) {
    const int key = 60 + i % 2;
    const auto tick = static_cast<std::uint32_t>(i / 8);
    many.push_back({tick, 144, key, 0.5f});
    sent.push_back({tick, 144, key, 0.5f});
    sent.push_back({tick, 128, previous, 0.5f});
    previous = key;
  }
  EventRows carried(sent.begin() + 2048, sent.end());
  for (EventRow& row : carried) row.tick = 0;
  carried.push_back({5, 144, 70, 0.4f});
  carried.push_back({5, 128, previous, 0.4f});

  sorvelin::Monophonic mono(nullptr);
  const auto out =
      runEventScript(blockProcessOf(mono),
                     {{{0, 176, 102, 1.0f}, {0, 144, 50, 0.5f}}, many, {{5, 144, 70, 0.4f}}});
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[1], EventRows(sent.begin(), sent.begin() + 2048));
  EXPECT_EQ(out[2], carried);
  EXPECT_EQ(mono.lostEvents(), 0u);
}

}  // namespace
}  // namespace kelo::test
