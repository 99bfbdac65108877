// The single-producer single-consumer ring between two real threads, run under ThreadSanitizer
// too: every item pushed arrives once, whole and in order; a full ring only makes the producer
// try again.
#include "VNL/source/SpscRing.h"

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

// An item whose fields all follow from its number, so a torn copy shows.
struct Item {
  std::uint64_t number;
  std::uint64_t inverted;
  std::uint32_t low;
  std::uint8_t tail[12];
};

Item itemOf(std::uint64_t n) {
  Item item{n, ~n, static_cast<std::uint32_t>(n * 2654435761u), {}};
  for (int i = 0; i < 12; ++i) item.tail[i] = static_cast<std::uint8_t>(n + i);
  return item;
}

bool whole(const Item& item) {
  const Item expected = itemOf(item.number);
  if (item.inverted != expected.inverted || item.low != expected.low) return false;
  for (int i = 0; i < 12; ++i)
    if (item.tail[i] != expected.tail[i]) return false;
  return true;
}

TEST(SpscRingThreads, AProducerAndAConsumerPassEveryItemWholeAndInOrder) {
  constexpr std::uint64_t kItems = 200000;
  vantor::SpscRing<Item> ring(64);  // small: both the full and the empty case come often
  std::atomic<std::uint64_t> refusals{0};
  std::thread producer([&] {
    for (std::uint64_t n = 0; n < kItems; ++n) {
      const Item item = itemOf(n);
      while (!ring.push(item)) {
        refusals.fetch_add(1, std::memory_order_relaxed);
        std::this_thread::yield();
      }
    }
  });
  std::uint64_t expected = 0;
  std::uint64_t broken = 0;
  std::uint64_t outOfOrder = 0;
  std::thread consumer([&] {
    Item item{};
    while (expected < kItems) {
      if (!ring.pop(item)) {
        std::this_thread::yield();
        continue;
      }
      if (!whole(item)) ++broken;
      if (item.number != expected) ++outOfOrder;
      expected = item.number + 1;
    }
  });
  producer.join();
  consumer.join();
  EXPECT_EQ(expected, kItems);
  EXPECT_EQ(broken, 0u);
  EXPECT_EQ(outOfOrder, 0u);
  EXPECT_EQ(ring.size(), 0u);
}

TEST(SpscRingThreads, DiscardingWhileTheProducerPushesKeepsTheOrderOfWhatFollows) {
  // The consumer drops everything now and then: what it does pop still comes in order.
  constexpr std::uint64_t kItems = 100000;
  vantor::SpscRing<Item> ring(128);
  std::atomic<bool> done{false};
  std::thread producer([&] {
    for (std::uint64_t n = 0; n < kItems; ++n) {
      while (!ring.push(itemOf(n))) std::this_thread::yield();
    }
    done.store(true, std::memory_order_release);
  });
  std::uint64_t last = 0;
  bool any = false;
  std::uint64_t broken = 0, backwards = 0, pops = 0;
  Item item{};
  for (std::uint64_t round = 0;; ++round) {
    const bool finished = done.load(std::memory_order_acquire);
    if (round % 50 == 49) ring.discardAll();
    while (ring.pop(item)) {
      ++pops;
      if (!whole(item)) ++broken;
      if (any && item.number <= last) ++backwards;
      last = item.number;
      any = true;
    }
    if (finished) break;
    std::this_thread::yield();
  }
  producer.join();
  EXPECT_EQ(broken, 0u);
  EXPECT_EQ(backwards, 0u);
  EXPECT_GT(pops, 0u);
}

}  // namespace
