// The single-producer single-consumer ring on one thread: order, the full and empty answers,
// wrapping around, discarding, and what an item carries.
#include "VNL/source/SpscRing.h"

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

namespace {

using vantor::SpscRing;

std::vector<int> popAll(SpscRing<int>& ring) {
  std::vector<int> out;
  for (int item = -1; ring.pop(item);) out.push_back(item);
  return out;
}

TEST(SpscRing, HoldsOneItemLessThanItsSlotsInTheOrderPushed) {
  SpscRing<int> ring(4);
  EXPECT_EQ(ring.capacity(), 3u);
  EXPECT_EQ(ring.size(), 0u);
  int item = 77;
  EXPECT_FALSE(ring.pop(item));
  EXPECT_EQ(item, 77) << "an empty ring leaves the item alone";
  EXPECT_TRUE(ring.push(1));
  EXPECT_TRUE(ring.push(2));
  EXPECT_TRUE(ring.push(3));
  EXPECT_EQ(ring.size(), 3u);
  EXPECT_FALSE(ring.push(4)) << "full: the newest is refused";
  EXPECT_EQ(popAll(ring), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(ring.size(), 0u);
}

TEST(SpscRing, WrapsAroundItsSlotsAgainAndAgain) {
  SpscRing<int> ring(5);
  std::vector<int> pushed, popped;
  int next = 0;
  // Uneven runs of pushes and pops, so the indices meet at every slot.
  for (int round = 0; round < 200; ++round) {
    for (int i = 0; i < round % 4 + 1; ++i) {
      if (ring.push(next)) pushed.push_back(next);
      ++next;
    }
    EXPECT_LE(ring.size(), ring.capacity());
    for (int i = 0; i < round % 3 + 1; ++i) {
      int item = -1;
      if (ring.pop(item)) popped.push_back(item);
    }
  }
  for (int item : popAll(ring)) popped.push_back(item);
  EXPECT_EQ(popped, pushed);
  EXPECT_LT(pushed.size(), static_cast<std::size_t>(next)) << "some pushes met a full ring";
}

TEST(SpscRing, DiscardingDropsWhatWasPushedAndLaterItemsStillArrive) {
  SpscRing<int> ring(8);
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(ring.push(i));
  ring.discardAll();
  EXPECT_EQ(ring.size(), 0u);
  EXPECT_TRUE(popAll(ring).empty());
  ASSERT_TRUE(ring.push(42));
  EXPECT_EQ(popAll(ring), std::vector<int>{42});
  ring.discardAll();  // empty: nothing changes
  EXPECT_EQ(ring.size(), 0u);
}

TEST(SpscRing, FewerThanTwoSlotsAreTwo) {
  for (std::size_t slots : {std::size_t{0}, std::size_t{1}}) {
    SpscRing<int> ring(slots);
    EXPECT_EQ(ring.capacity(), 1u);
    EXPECT_TRUE(ring.push(9));
    EXPECT_FALSE(ring.push(10));
    EXPECT_EQ(popAll(ring), std::vector<int>{9});
  }
}

TEST(SpscRing, AnItemComesOutWhole) {
  struct Event {
    std::uint8_t bytes[4];
    std::uint64_t time;
  };
  SpscRing<Event> ring(3);
  ASSERT_TRUE(ring.push(Event{{0x90, 60, 100, 0}, 1234567890123u}));
  Event out{};
  ASSERT_TRUE(ring.pop(out));
  EXPECT_EQ(out.bytes[0], 0x90);
  EXPECT_EQ(out.bytes[1], 60);
  EXPECT_EQ(out.bytes[2], 100);
  EXPECT_EQ(out.time, 1234567890123u);
}

}  // namespace
