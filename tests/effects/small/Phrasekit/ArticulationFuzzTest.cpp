// Random blocks through Phrasekit's plug-ins (under the sanitizers in CI).
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "effects/small/Phrasekit/Monophonic.h"
#include "effects/small/Phrasekit/SoloControl.h"
#include "effects/small/articulation/Expression.h"
#include "tests/effects/small/articulation/ArticulationFuzz.h"

namespace kelo::test {
namespace {

constexpr std::uint32_t kSeed = 20261210;

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
