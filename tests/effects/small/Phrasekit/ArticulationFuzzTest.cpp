// Random blocks through the plug-ins (under the sanitizers in CI): nothing crashes, nothing is
// lost, and no in-range note is left sounding after a final all-notes-off.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <set>

#include "effects/small/Phrasekit/Monophonic.h"
#include "effects/small/Phrasekit/SoloControl.h"
#include "effects/small/articulation/Expression.h"
#include "tests/support/EventScript.h"

namespace kelo::test {
namespace {

constexpr std::uint32_t kSeed = 20261210;

EventRows randomBlock(std::mt19937& random) {
  static const float values[] = {
      0.0f, 0.2f, 0.49f, 0.5f, 1.0f, -0.1f, std::numeric_limits<float>::quiet_NaN()};
  static const std::int32_t controllers[] = {102, 102, 120, 123, 7, 5, 20, 21, 22, 23, 26, 27, 65};
  static const std::int32_t kinds[] = {0x80, 0x90, 0x90, 0x90, 0xB0, 0xE0, 0x100, 0x200};
  EventRows block(std::uniform_int_distribution<int>(0, 40)(random));
  for (EventRow& row : block) {
    const std::int32_t kind = kinds[random() % std::size(kinds)];
    row.status = kind < 0x100 ? kind | static_cast<std::int32_t>(random() % 16) : kind;
    row.data1 = (kind == 0xB0) ? controllers[random() % std::size(controllers)]
                               : std::uniform_int_distribution<int>(-3, 130)(random);
    row.data2 = values[random() % std::size(values)];
    row.tick = static_cast<std::uint32_t>(random() % 256);
  }
  return block;
}

// Blocks through one plug-in for each of a few key ranges, ended by all-notes-off: no note of
// the range is left sounding, nothing is lost, and (`markersStay`) no marker status leaves.
template <typename Plugin>
void expectNothingHangs(std::mt19937& random, bool markersStay) {
  for (const char* initText : {"", "low:-2|high:100", "low:40|high:80"}) {
    SCOPED_TRACE(initText);
    Plugin plugin(nullptr);
    plugin.initEx(initText, nullptr);
    std::vector<EventRows> blocks(300);
    for (EventRows& block : blocks) block = randomBlock(random);
    blocks.push_back({{0, 176, 123, 0.0f}});
    const auto out = runEventScript(blockProcessOf(plugin), blocks);

    // As an engine that honours channels hears it: a note-off stops its own channel's note.
    std::set<std::pair<std::int32_t, std::int32_t>> sounding;
    for (const EventRows& block : out) {
      for (const EventRow& row : block) {
        if (markersStay) {
          EXPECT_LT(row.status, 256);
        }
        if (row.data1 < plugin.lowestKey() || row.data1 > plugin.highestKey()) continue;
        const std::int32_t kind = row.status & 0xF0;
        const std::pair note{row.status & 0x0F, row.data1};
        if (kind == 0x90 && row.data2 > 0.0f)
          sounding.insert(note);
        else if (kind == 0x90 || kind == 0x80)
          sounding.erase(note);
      }
    }
    EXPECT_TRUE(sounding.empty()) << testing::PrintToString(sounding);
    EXPECT_EQ(plugin.held().Count(), 0);
    EXPECT_EQ(plugin.lostEvents(), 0u);
  }
}

TEST(ArticulationFuzz, MonophonicLeavesNoInRangeNoteSounding) {
  std::mt19937 random(kSeed);
  expectNothingHangs<sorvelin::Monophonic>(random, false);
}

TEST(ArticulationFuzz, SoloControlLeavesNoInRangeNoteSounding) {
  std::mt19937 random(kSeed + 2);
  expectNothingHangs<sorvelin::SoloControl>(random, true);
}

TEST(ArticulationFuzz, ExpressionChangesOnlyTheThreeControllers) {
  std::mt19937 random(kSeed + 1);
  sorvelin::Expression expression(nullptr);
  std::vector<EventRows> blocks(300);
  for (EventRows& block : blocks) {
    block = randomBlock(random);
    for (EventRow& row : block)
      if ((row.status & 0xF0) == 0xB0) row.data1 = static_cast<std::int32_t>(random() % 130);
  }
  const auto out = runEventScript(blockProcessOf(expression), blocks);
  ASSERT_EQ(out.size(), blocks.size());
  for (std::size_t b = 0; b < blocks.size(); ++b) {
    ASSERT_EQ(out[b].size(), blocks[b].size());
    for (std::size_t i = 0; i < blocks[b].size(); ++i) {
      EventRow expected = blocks[b][i];
      if (expected.status == 176 && (expected.data1 == 2 || expected.data1 == 11))
        expected.data1 = 1;
      if (expected.status == 176 && expected.data1 == 79) expected.data1 = 129;
      const EventRow& got = out[b][i];
      EXPECT_TRUE(
          got.tick == expected.tick && got.status == expected.status &&
          got.data1 == expected.data1 &&
          (got.data2 == expected.data2 || (std::isnan(got.data2) && std::isnan(expected.data2))));
    }
  }
}

}  // namespace
}  // namespace kelo::test
