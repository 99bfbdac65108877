// The Shakes plug-in driven directly: its scripts, its default list, the shift of its init
// text, its two per-key tables, and a block that makes more than one output list holds.
#include <gtest/gtest.h>

#include <limits>
#include <map>

#include "effects/small/Bowkit/Shakes.h"
#include "tests/effects/small/Bowkit/ShakesScripts.h"

namespace kelo::test {
namespace {

TEST(Shakes, FollowsItsScripts) {
  expectEventScripts<sorvelin::Shakes>(shakesScripts(), kShakesBlock);
}

TEST(Shakes, TheDefaultListFollowsTheShakesSwitch) {
  sorvelin::Shakes shakes(nullptr);
  EXPECT_EQ(shakes.getNumMIDIIns(), 1u);
  EXPECT_EQ(shakes.getNumMIDIOuts(), 1u);
  EXPECT_EQ(shakes.getNumAudioIns() + shakes.getNumAudioOuts(), 0u);
  expectSwitchDefaults(shakes, 0.0f);
  runEventScript(blockProcessOf(shakes), {{{0, 176, 102, 0.5f}}});
  expectSwitchDefaults(shakes, 1.0f);
  runEventScript(blockProcessOf(shakes), {{{0, 176, 102, 0.75f}}});
  expectSwitchDefaults(shakes, 0.0f);
}

TEST(Shakes, TheInitTextSetsTheRangeAndTheShift) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  struct Case {
    const char* text;
    std::int32_t shift, low, high;
  };
  const Case cases[] = {
      {"shift12:|low:60", -12, 60, 127},
      {"shift12", 0, 0, 127},  // no ":", no piece
      {"shift12:|shift7", -12, 0, 127},
      {"shift12:", -12, 0, 127},
      {"shift-3:|high:90", 3, 0, 90},
      {"shift12:|other:", 0, 0, 127},  // any other one-piece item sets 0
      {"myshift7:", 0, 0, 127},        // "ift7" after the first five characters
      {"shift99999999999:", -kMax, 0, 127},
      {"shift-99999999999:", kMax, 0, 127},
      {nullptr, 0, 0, 127},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text ? c.text : "(null)");
    sorvelin::Shakes shakes(nullptr);
    EXPECT_EQ(shakes.initEx(c.text, nullptr), 1);
    EXPECT_EQ(shakes.shift(), c.shift);
    EXPECT_EQ(shakes.lowestKey(), c.low);
    EXPECT_EQ(shakes.highestKey(), c.high);
  }
}

// The tables as written for the instrument: the columns named, the end columns for the rest.
TEST(Shakes, ThePerKeyTablesForEveryKeyAndBeyond) {
  const std::map<int, int> upper = {{81, 70}, {82, 64}, {83, 57}, {84, 54}, {85, 52},
                                    {86, 51}, {87, 50}, {88, 48}, {89, 47}, {90, 45},
                                    {91, 43}, {92, 40}, {93, 38}, {94, 36}};
  const std::map<int, int> porta = {{78, 69}, {79, 69}, {80, 69}, {81, 69}, {82, 70}, {83, 71},
                                    {84, 72}, {85, 73}, {86, 74}, {87, 75}, {88, 75}, {89, 75},
                                    {90, 75}, {91, 75}, {92, 75}, {93, 75}, {94, 77}};
  for (int key = 0; key <= 127; ++key) {
    const int upperValue = key <= 80 ? 80 : key >= 95 ? 36 : upper.at(key);
    const int portaValue = key <= 77 ? 67 : key >= 95 ? 77 : porta.at(key);
    EXPECT_EQ(sorvelin::computeUpperVel(key), upperValue / 127.0f) << key;
    EXPECT_EQ(sorvelin::computePortaByNote(key), portaValue / 127.0f) << key;
  }
  constexpr std::int64_t kFar = std::int64_t{1} << 40;
  EXPECT_EQ(sorvelin::computeUpperVel(-kFar), 80 / 127.0f);
  EXPECT_EQ(sorvelin::computeUpperVel(kFar), 36 / 127.0f);
  EXPECT_EQ(sorvelin::computePortaByNote(-kFar), 67 / 127.0f);
  EXPECT_EQ(sorvelin::computePortaByNote(kFar), 77 / 127.0f);
}

// The largest shift on a high key: the tables answer their end columns, nothing overflows.
TEST(Shakes, AnExtremeShiftReadsTheEndColumns) {
  sorvelin::Shakes shakes(nullptr);
  shakes.initEx("shift-99999999999:", nullptr);
  const auto out = runEventScript(blockProcessOf(shakes, kShakesBlock),
                                  {{{0, 176, 102, 0.5f}, {1, 144, 60, 0.5f}, {2, 144, 127, 0.5f}}});
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0], concat({{{0, 176, 102, 2.0f}},
                            shakesPhraseEnd(0),
                            shakesPhraseStart(1, 60, 0.5f, 77),
                            shakesOverlap(2),
                            {{2, 144, 127, over127(36)}, {3, 128, 60, over127(36)}}}));
}

// Controller 102 = 0.0 makes five entries: 500 of them make 2500, of which 2048 leave in
// their block and the other 452 first in the next one, at tick 0, in order, ahead of that
// block's own events.
TEST(Shakes, EventsBeyondOneListLeaveFirstInTheNextBlock) {
  EventRows many, sent;
  for (int i = 0; i < 500; ++i) many.push_back({static_cast<std::uint32_t>(i % 64), 176, 102, 0.0f});
  for (std::uint32_t tick = 0; tick < 64; ++tick)
    for (int i = static_cast<int>(tick); i < 500; i += 64)
      sent = concat({sent, {{tick, 176, 102, 0.0f}}, shakesPhraseEnd(tick)});
  EventRows carried(sent.begin() + 2048, sent.end());
  for (EventRow& row : carried) row.tick = 0;
  carried.push_back({0, 176, 7, 0.5f});

  sorvelin::Shakes shakes(nullptr);
  const auto out = runEventScript(blockProcessOf(shakes, kShakesBlock), {many, {{0, 176, 7, 0.5f}}});
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0], EventRows(sent.begin(), sent.begin() + 2048));
  EXPECT_EQ(out[1], carried);
  EXPECT_EQ(shakes.lostEvents(), 0u);
  EXPECT_EQ(shakes.queued(), 0u);
}

}  // namespace
}  // namespace kelo::test
