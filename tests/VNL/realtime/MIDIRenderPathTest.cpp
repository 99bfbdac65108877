#include <algorithm>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "VNL/source/MIDIEvent.h"
#include "VNL/source/SpscRing.h"
#include "VNL/source/StableSort.h"
#include "tests/support/realtime/RealtimeGuard.h"

namespace {

TEST(MIDIRenderPath, SortingAndDescribingABlockNeitherAllocatesNorLocks) {
  ASSERT_TRUE(kelo::test::kRealtimeGuarded);
  // A full engine block, collected in arrival order with offsets out of order.
  std::vector<vantor::MIDIEvent> events(1024);
  for (std::size_t i = 0; i < events.size(); ++i) {
    events[i].bytes[0] = 0x90;
    events[i].frameOffset = static_cast<std::int32_t>((i * 37) % 5);
    events[i].hostTimeNanos = i;
  }
  std::vector<vantor::MIDIEvent> scratch(events.size());
  std::vector<vantor::MIDIEvent> small(10, events[0]);
  char text[64];
  int midi7 = -1;
  {
    kelo::test::RealtimeRegion region;
    vantor::stableSort(events.data(), events.size(), scratch.data(), scratch.size(),
                       vantor::midiSort);
    vantor::stableSort(small.data(), small.size(), scratch.data(), std::size_t{0},
                       vantor::midiSort);
    PMIDILogMessage(text, sizeof text, events[0].bytes);
    float value = 0.5f;
    midi7 = PDowngradeFloatMIDI7(value);
  }
  EXPECT_EQ(midi7, 64);
  EXPECT_TRUE(std::is_sorted(events.begin(), events.end(), vantor::midiSort));
  EXPECT_STREQ(text, "Chn:  1 Note Off(  0):   0");
}

TEST(MIDIRenderPath, TheSingleProducerRingNeitherAllocatesNorLocks) {
  ASSERT_TRUE(kelo::test::kRealtimeGuarded);
  vantor::SpscRing<vantor::MIDIEvent> ring(16);  // allocated before the region
  vantor::MIDIEvent event{};
  event.bytes[0] = 0x90;
  std::size_t pushed = 0, popped = 0;
  {
    kelo::test::RealtimeRegion region;
    for (int i = 0; i < 40; ++i) pushed += ring.push(event) ? 1 : 0;
    ring.discardAll();
    for (int i = 0; i < 5; ++i) ring.push(event);
    while (ring.pop(event)) ++popped;
  }
  EXPECT_EQ(pushed, 15u);
  EXPECT_EQ(popped, 5u);
}

}  // namespace
