// The SoloControl plug-in driven directly: its scripts, the interval groups, stop, the default
// list, and the range of its random controllers.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "effects/small/Phrasekit/SoloControl.h"
#include "tests/effects/small/Phrasekit/SoloControlScripts.h"

namespace kelo::test {
namespace {

using vantor::KELOPluginSDK::HDMIDIEvents;

TEST(SoloControl, FollowsItsScripts) {
  expectEventScripts<sorvelin::SoloControl>(soloControlScripts());
}

TEST(SoloControl, TheDefaultListFollowsTheSoloSwitch) {
  sorvelin::SoloControl solo(nullptr);
  auto list = std::make_unique<HDMIDIEvents>();
  const std::pair<float, float> steps[] = {{0.01f, 1.0f}, {-0.5f, 0.0f}, {1.0f, 1.0f}, {NAN, 0.0f}};
  solo.getDefaults(list.get());
  EXPECT_EQ(list->numEvents, 1);
  EXPECT_EQ(list->events[0].data1, 102);
  EXPECT_EQ(list->events[0].data2, 0.0f);
  for (const auto& [value, reported] : steps) {
    runEventScript(blockProcessOf(solo), {{{0, 176, 102, value}}});
    solo.getDefaults(list.get());
    EXPECT_EQ(list->events[0].data2, reported) << value;
  }
}

TEST(SoloControl, StopReleasesTheHeldKeysAtTheHeadOfTheNextBlock) {
  for (float mode : {0.0f, 1.0f}) {
    sorvelin::SoloControl solo(nullptr);
    runEventScript(blockProcessOf(solo),
                   {{{0, 176, 102, mode}, {1, 144, 60, 0.5f}, {2, 144, 64, 0.5f}}});
    solo.stop();
    EXPECT_EQ(solo.held().Count(), 0);
    EXPECT_EQ(solo.isSoloOff(), mode == 0.0f);
    // Nothing triggered these releases: there are no bytes to copy.
    EXPECT_EQ(runEventScript(blockProcessOf(solo), {{}, {}}, EventBytes::RowsOnly),
              (std::vector<EventRows>{{{0, 128, 64, 0.5f}, {0, 128, 60, 0.5f}}, {}}))
        << mode;
  }
}

// Markers are not written but count against the 2048 entries a block examines; the rest
// leave first in the next block, at tick 0.
TEST(SoloControl, MarkersCountAmongTheEntriesABlockExamines) {
  sorvelin::SoloControl solo(nullptr);
  EventRows in(100, EventRow{0, 256, 1, 0.0f});
  for (int i = 0; i < 400; ++i) in.push_back({1, 144, i % 128, 0.5f});  // six entries each
  const auto out = runEventScript(blockProcessOf(solo), {in, {}});
  ASSERT_EQ(out[0].size(), 2048u - 100u);
  ASSERT_EQ(out[1].size(), 100u + 400u * 6u - 2048u);
  for (const EventRow& row : out[1]) EXPECT_EQ(row.tick, 0u);
  EXPECT_EQ(out[1].back(), (EventRow{0, 144, 399 % 128, 0.5f}));
}

// Key `from` held, key `to` pressed with `velocity`: the portamento and bend controllers
// (5, 202, 211) sent before its note-on, in their order.
TEST(SoloControl, TheIntervalDecidesBetweenPortamentoAndBend) {
  struct Case {
    int from, to;
    float velocity;
    std::optional<EventRow> setting;  // a controller sent first
    EventRows group;
  };
  const Case cases[] = {
      {60, 64, 0.5f, {}, stepRows(2, 0.5f)},
      {60, 56, 0.5f, {}, stepRows(2, 0.5f)},
      {60, 61, 0.75f, {}, stepRows(2, 0.25f)},
      {60, 72, 0.5f, {}, {{2, 176, 5, 0.0f}, {2, 176, 202, 0.0f}, {2, 176, 211, 0.5f}}},
      {72, 60, 0.5f, {}, {{2, 176, 5, 0.0f}, {2, 176, 202, 1.0f}, {2, 176, 211, 0.5f}}},
      {60, 65, 0.5f, {}, {{2, 176, 5, 0.0f}, {2, 176, 202, 0.0f}, {2, 176, 211, 0.5f}}},
      {60, 60, 0.5f, {}, sameKeyRows(2)},
      {60, 64, 0.25f, EventRow{0, 176, 20, 0.5f}, stepRows(2, 0.375f)},
      {60, 64, 0.5f, EventRow{0, 176, 65, 0.49f}, stepRows(2, 0.0f)},
      {60,
       72,
       0.5f,
       EventRow{0, 176, 65, 0.49f},
       {{2, 176, 5, 0.0f}, {2, 176, 202, 0.0f}, {2, 176, 211, 0.0f}}},
      {60,
       64,
       0.5f,
       EventRow{0, 176, 22, 0.25f},
       {{2, 176, 202, 0.5f}, {2, 176, 211, 0.25f}, {2, 176, 5, 0.5f}}},
  };
  for (const Case& c : cases) {
    sorvelin::SoloControl solo(nullptr);
    EventRows in = {{0, 176, 102, 1.0f}};
    if (c.setting) in.push_back(*c.setting);
    in.push_back({1, 144, c.from, 0.5f});
    in.push_back({2, 144, c.to, c.velocity});
    const auto out = runEventScript(blockProcessOf(solo), {in});
    EventRows group;
    for (const EventRow& row : out[0])
      if (row.tick == 2 && row.status == 176 &&
          (row.data1 == 5 || row.data1 == 202 || row.data1 == 211))
        group.push_back(row);
    EXPECT_EQ(group, c.group) << c.from << " to " << c.to;
  }
}

// Counts through every residue, so each of the 1001 steps is drawn.
class CountingSource : public sorvelin::RandomSource {
 public:
  std::uint32_t next() override { return n++ * 7919u; }

 private:
  std::uint32_t n = 0;
};

TEST(SoloControl, RandomControllersStayInTheirRangeAndPointAlongTheMove) {
  sorvelin::SoloControl solo(nullptr);
  CountingSource source;
  solo.setRandomSource(&source);
  std::vector<EventRows> blocks = {{{0, 176, 22, 1.0f},
                                    {0, 176, 23, 1.0f},
                                    {0, 176, 27, 0.9f},
                                    {0, 176, 102, 1.0f},
                                    {1, 144, 60, 0.5f}}};
  for (int i = 0; i < 800; ++i) blocks.push_back({{0, 144, 64, 0.5f}, {1, 128, 64, 0.5f}});
  const auto out = runEventScript(blockProcessOf(solo), blocks);
  int checked = 0;
  for (std::size_t b = 1; b < out.size(); ++b) {
    for (const EventRow& row : out[b]) {
      if (row.status != 176) continue;
      const bool upward = row.tick == 0;  // 60 to 64; at tick 1 the return from 64 to 60
      if (row.data1 == 166 || row.data1 == 167) {
        EXPECT_TRUE(upward ? row.data2 >= 0.0f && row.data2 <= 0.5f
                           : row.data2 >= 0.5f && row.data2 <= 1.0f)
            << row.data1 << " = " << row.data2;
      }
      if (row.data1 == 227) {
        EXPECT_TRUE(row.data2 >= 0.0f && row.data2 <= 1.0f) << row.data2;
      }
      if (row.data1 == 166 || row.data1 == 167 || row.data1 == 227) {
        EXPECT_NEAR(row.data2 * 1000.0f, std::round(row.data2 * 1000.0f), 1e-3f) << row.data2;
        ++checked;
      }
    }
  }
  EXPECT_EQ(checked, 800 * 2 * 3);
}

// Each key pressed alone repeats itself (nothing held to move from): 166 and 167 point along
// the move from the last note played, 60 up to 72 and back down.
TEST(SoloControl, ARepeatedKeyTakesItsDirectionFromTheLastNote) {
  sorvelin::SoloControl solo(nullptr);
  CountingSource source;
  solo.setRandomSource(&source);
  std::vector<EventRows> blocks = {
      {{0, 176, 22, 1.0f}, {0, 176, 23, 1.0f}, {0, 176, 102, 1.0f}, {1, 144, 60, 0.5f}, {2, 128, 60, 0.5f}}};
  for (int i = 0; i < 400; ++i) {
    const int key = i % 2 == 0 ? 72 : 60;
    blocks.push_back({{0, 144, key, 0.5f}, {1, 128, key, 0.5f}});
  }
  const auto out = runEventScript(blockProcessOf(solo), blocks);
  int checked = 0;
  for (std::size_t b = 1; b < out.size(); ++b) {
    const bool upward = b % 2 == 1;
    for (const EventRow& row : out[b]) {
      if (row.status != 176 || (row.data1 != 166 && row.data1 != 167)) continue;
      EXPECT_TRUE(upward ? row.data2 <= 0.5f : row.data2 >= 0.5f)
          << "block " << b << ": " << row.data1 << " = " << row.data2;
      ++checked;
    }
  }
  EXPECT_EQ(checked, 400 * 2);
}

TEST(SoloControl, TheFormulas) {
  EXPECT_EQ(sorvelin::randBipolar(0.0f, 1.0f), 0.0f);
  EXPECT_EQ(sorvelin::randBipolar(1.0f, 0.5f), 0.75f);
  EXPECT_EQ(sorvelin::randBipolar(0.3f, 0.0f), 0.5f);
  EXPECT_EQ(sorvelin::invertBipolar(0.25f), 0.75f);
  EXPECT_EQ(sorvelin::randCentered(0.0f, 0.9f, 1.0f), 0.0f);
  EXPECT_EQ(sorvelin::randCentered(1.0f, 0.5f, 4.0f), 1.0f);
  EXPECT_EQ(sorvelin::randCentered(0.25f, 0.75f, 0.0f), 0.75f);
  EXPECT_EQ(sorvelin::directed(0.75f, 64, 60), 0.25f);
  EXPECT_EQ(sorvelin::directed(0.25f, 64, 60), 0.25f);
  EXPECT_EQ(sorvelin::directed(0.25f, 56, 60), 0.75f);
  EXPECT_EQ(sorvelin::directed(0.25f, 60, 60), 0.25f);
  EXPECT_EQ(sorvelin::portaMath(7, 0.25f), 0.75f);
}

}  // namespace
}  // namespace kelo::test
