// Random blocks through Bowkit's articulation plug-ins (under the sanitizers in CI); Shakes
// with random frame counts, so that its queue carries events across block ends.
#include <gtest/gtest.h>

#include <random>

#include "effects/small/Bowkit/Legato.h"
#include "effects/small/Bowkit/Shakes.h"
#include "tests/effects/small/articulation/ArticulationFuzz.h"

namespace kelo::test {
namespace {

constexpr std::uint32_t kSeed = 20261211;

TEST(BowkitFuzz, LegatoLeavesNoInRangeNoteSounding) {
  std::mt19937 random(kSeed);
  expectNothingHangs<sorvelin::Legato>(random, false);
}

TEST(BowkitFuzz, ShakesLeavesNoInRangeNoteSoundingAndItsQueueEmpties) {
  std::mt19937 random(kSeed + 1);
  expectNothingHangs<sorvelin::Shakes>(random, false, true);
}

}  // namespace
}  // namespace kelo::test
