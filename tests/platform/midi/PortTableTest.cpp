// The table of a back end's own ports: slots, keys, connection numbers, and a port handed
// back only after the MIDI thread's pass that may have seen it.
#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "platform/midi/PortTable.h"

namespace {

using Ports = kelo::midi::PortTable<int, -1>;

TEST(PortTable, SlotsAreTakenInOrderFoundByKeyAndFreedForReuse) {
  Ports table;
  EXPECT_EQ(table.freeSlot(), 0);
  table.publish(0, 10, true, {}, "128:0");
  table.publish(1, 11, false, {}, "128:1");
  EXPECT_EQ(table.freeSlot(), 2);
  EXPECT_EQ(table.find("128:1"), 1);
  EXPECT_EQ(table.find("128:9"), -1);
  EXPECT_EQ(table.remove(0), 10);
  EXPECT_EQ(table.remove(0), -1);  // already free
  EXPECT_EQ(table.find("128:0"), -1);
  EXPECT_EQ(table.freeSlot(), 0);
  for (int outside : {-1, Ports::kSlots}) EXPECT_EQ(table.remove(outside), -1);
  // 0 is no connection: it names no slot.
  EXPECT_EQ(Ports::connectionOf(0), 1);
  EXPECT_EQ(table.remove(Ports::slotOf(0)), -1);
  EXPECT_EQ(table.remove(Ports::slotOf(2)), 11);
  for (int i = 0; i < Ports::kSlots; ++i) table.publish(i, 100 + i, true, {}, "k");
  EXPECT_EQ(table.freeSlot(), -1);
  table.clear();
  EXPECT_EQ(table.freeSlot(), 0);
}

TEST(PortTable, ARemovedPortComesBackOnlyAfterThePassThatMaySeeItEnds) {
  Ports table;
  table.publish(3, 42, true, {}, "ours");
  table.enterPass();  // this thread plays the MIDI thread
  std::atomic<bool> returned{false};
  std::thread remover([&] {
    EXPECT_EQ(table.remove(3), 42);
    returned = true;
  });
  // Withdrawn at once, so no later pass sees it...
  while (table.slot(3).port.load() != -1) std::this_thread::yield();
  // ...but not handed back while this pass may still use it.
  EXPECT_FALSE(returned.load());
  table.leavePass();
  remover.join();
  EXPECT_TRUE(returned.load());

  // Outside a pass, and after the thread was abandoned, nothing waits.
  table.publish(3, 43, true, {}, "ours");
  EXPECT_EQ(table.remove(3), 43);
  table.publish(3, 44, true, {}, "ours");
  table.enterPass();
  table.abandonPasses();
  EXPECT_EQ(table.remove(3), 44);
}

}  // namespace
