#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "Sampler/sdk/calvatero/convolution/Platform.h"
#include "Sampler/sdk/calvatero/newconv/Common.h"
#include "tests/Sampler/sdk/calvatero/support/AlignedAllocationProbe.h"

namespace calvatero::common {
namespace {

std::uintptr_t address(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

TEST(MallocAligned, AddressIsCongruentToOffsetAndTheWholeSizeIsUsable) {
  const struct {
    std::size_t size, alignment, offset, modulus, remainder;
  } cases[] = {
      {100, 0, 0, 16, 0},  {100, 16, 0, 16, 0}, {100, 64, 0, 64, 0}, {0, 64, 0, 64, 0},
      {100, 24, 0, 24, 0}, {100, 64, 8, 64, 8}, {1, 4, 0, 4, 0},     {7, 1, 0, 1, 0},
      {33, 8, 4, 8, 4},    {50, 32, 31, 32, 31}, {10, 24, 5, 24, 5},
  };
  for (const auto& c : cases) {
    auto* p = static_cast<unsigned char*>(MallocAligned(c.size, c.alignment, c.offset));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(address(p) % c.modulus, c.remainder) << c.alignment << " " << c.offset;
    std::memset(p, 0xa5, c.size);  // ASan reports any byte outside the block
    FreeAligned(p);
  }
}

TEST(MallocAligned, SizesThatWouldWrapGiveNull) {
  const std::size_t max = std::numeric_limits<std::size_t>::max();
  testing::AlignedAllocationProbe probe;
  EXPECT_EQ(MallocAligned(max, 64, 0), nullptr);
  EXPECT_EQ(MallocAligned(max - 64, 64, 0), nullptr);
  EXPECT_EQ(MallocAligned(max - 71, 64, 0), nullptr);
  EXPECT_EQ(MallocAligned(max - 8, 0, 0), nullptr);
  EXPECT_EQ(probe.calls(), 0) << "the allocator must not see a wrapped size";
}

TEST(MallocAligned, ExhaustedHeapGivesNullAndFreeOfNullDoesNothing) {
  testing::AlignedAllocationProbe probe(1);
  EXPECT_EQ(MallocAligned(16, 16, 0), nullptr);
  FreeAligned(nullptr);
  EXPECT_EQ(probe.liveBlocks(), 0);
}

TEST(MallocAligned, FreeReleasesTheHeapBlockItCameFrom) {
  testing::AlignedAllocationProbe probe;
  void* a = MallocAligned(10, 64, 8);
  void* b = MallocAligned(10, 3, 1);
  EXPECT_EQ(probe.liveBlocks(), 2);
  FreeAligned(a);
  FreeAligned(b);
  EXPECT_EQ(probe.liveBlocks(), 0);
}

TEST(CommonHelpers, FixedProcessorAndCacheReports) {
  std::size_t level = 0;
  EXPECT_EQ(GetSIMDSupportLevel(&level), 0);
  EXPECT_EQ(level, 6u);
  std::int32_t a = 0, b = 0, c = 0;
  EXPECT_EQ(GetL2CacheInfo(&a, &b, &c), 0);
  EXPECT_EQ(a, 64);
  EXPECT_EQ(b, 6);
  EXPECT_EQ(c, 128);
  EXPECT_EQ(GetL2CacheInfo(nullptr, &b, nullptr), 0);
  EXPECT_TRUE(convolution::isCurrentCPUSupported());
  EXPECT_EQ(convolution::getMinimumBufferMultiple(), 32u);
  convolution::initPlatform();
  convolution::endPlatform();
}

TEST(CommonHelpers, LevelConversionsInTheirExactForms) {
  EXPECT_NEAR(DBToAmplitude(-6.0), 0.501187, 1e-6);
  EXPECT_EQ(DBToAmplitude(0), 1.0);
  EXPECT_EQ(AmplitudeToDB(1), 0.0);
  EXPECT_NEAR(DBToEnergy(10), 10.0, 1e-12);
  EXPECT_NEAR(EnergyToDB(100), 20.0, 1e-12);
  EXPECT_EQ(DBToEnergy(3.7), std::exp(3.7 / 10 * 2.302585092994046));
  EXPECT_EQ(EnergyToDB(0.3), std::log(0.3) * 10 / 2.302585092994046);
  EXPECT_EQ(AmplitudeToDB(0.3), std::log(0.3) * 20 / 2.302585092994046);
  EXPECT_EQ(AmplitudeToDB(0), -std::numeric_limits<double>::infinity());
  EXPECT_TRUE(std::isnan(EnergyToDB(-1)));
}

// One sound sample anywhere, in blocks of every length around the sixteen- and thirty-two-
// sample steps: found, whatever its lane or the remainder it falls in; zeros of either sign are
// silence. Both vector widths, and the one chosen at run time, answer alike.
TEST(CommonHelpers, AllZeroFindsOneSampleAnywhere) {
  const float kSounds[] = {1.0f, -std::numeric_limits<float>::denorm_min(),
                           std::numeric_limits<float>::quiet_NaN(),
                           std::numeric_limits<float>::infinity()};
  std::vector<std::pair<const char*, bool (*)(const float*, std::size_t)>> tests = {
      {"chosen", &AllZero}, {"four wide", &AllZeroFourWide}};
  if (AllZeroEightWideRuns()) tests.emplace_back("eight wide", &AllZeroEightWide);
  for (const auto& [name, allZero] : tests) {
    for (std::size_t count = 0; count <= 100; ++count) {
      std::vector<float> block(count + 1, 0.0f);
      for (std::size_t i = 0; i < count; i += 2) block[i + 1] = -0.0f;
      block[0] = 1.0f;  // before the block, as at an unaligned start
      EXPECT_TRUE(allZero(block.data() + 1, count)) << name << " " << count;
      for (std::size_t at = 0; at < count; ++at) {
        for (const float sound : kSounds) {
          const float kept = block[at + 1];
          block[at + 1] = sound;
          EXPECT_FALSE(allZero(block.data() + 1, count))
              << name << " " << count << " " << at << " " << sound;
          block[at + 1] = kept;
        }
      }
    }
  }
}

}  // namespace
}  // namespace calvatero::common
