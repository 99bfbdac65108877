#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "VNL/source/MIDIEvent.h"
#include "VNL/source/StableSort.h"

namespace {

// Collection order is kept in hostTimeNanos so that stability can be checked.
vantor::MIDIEvent event(std::int32_t frameOffset, std::uint64_t order, std::uint8_t status = 0x90) {
  vantor::MIDIEvent e{};
  e.bytes[0] = status;
  e.bytes[1] = 60;
  e.bytes[2] = status == 0x80 ? 0 : 100;
  e.frameOffset = frameOffset;
  e.hostTimeNanos = order;
  return e;
}

void expectSameOrder(const std::vector<vantor::MIDIEvent>& actual,
                     const std::vector<vantor::MIDIEvent>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < actual.size(); ++i) {
    EXPECT_EQ(actual[i].frameOffset, expected[i].frameOffset) << "at " << i;
    EXPECT_EQ(actual[i].hostTimeNanos, expected[i].hostTimeNanos) << "at " << i;
  }
}

TEST(StableSort, KeepsCollectionOrderWithinEachOffset) {
  // 96 events over three offsets, interleaved so that every merge meets equal keys.
  const std::int32_t offsets[] = {37, -4, 0};
  std::vector<vantor::MIDIEvent> events;
  for (std::uint64_t i = 0; i < 96; ++i) {
    events.push_back(event(offsets[(i * 7 + i / 5) % 3], i, i % 2 ? 0x90 : 0x80));
  }
  std::vector<vantor::MIDIEvent> expected = events;
  std::stable_sort(expected.begin(), expected.end(), vantor::midiSort);

  std::vector<vantor::MIDIEvent> scratch(events.size());
  vantor::stableSort(events.data(), events.size(), scratch.data(), scratch.size(),
                     vantor::midiSort);
  expectSameOrder(events, expected);
  EXPECT_EQ(events.front().frameOffset, -4);  // a negative offset sorts first
  for (std::size_t i = 1; i < events.size(); ++i) {
    if (events[i].frameOffset == events[i - 1].frameOffset) {
      EXPECT_LT(events[i - 1].hostTimeNanos, events[i].hostTimeNanos) << "at " << i;
    }
  }
}

TEST(StableSort, NoteOffBeforeNoteOnOfTheSameFrameStaysFirst) {
  std::vector<vantor::MIDIEvent> events = {event(5, 0), event(3, 1, 0x80), event(3, 2, 0x90)};
  vantor::MIDIEvent scratch[3];
  vantor::stableSort(events.data(), events.size(), scratch, 3, vantor::midiSort);
  EXPECT_EQ(events[0].bytes[0], 0x80);
  EXPECT_EQ(events[1].bytes[0], 0x90);
  EXPECT_EQ(events[2].frameOffset, 5);
}

TEST(StableSort, MatchesStdStableSortOnRandomTables) {
  std::mt19937 random(20261210);
  for (std::size_t count : {0u, 1u, 2u, 15u, 16u, 17u, 33u, 64u, 100u, 255u, 1024u}) {
    for (int keys : {1, 3, 40}) {
      std::uniform_int_distribution<int> key(-keys / 2, keys);
      std::vector<vantor::MIDIEvent> events;
      for (std::size_t i = 0; i < count; ++i) events.push_back(event(key(random), i));
      std::vector<vantor::MIDIEvent> expected = events;
      std::stable_sort(expected.begin(), expected.end(), vantor::midiSort);

      // Full scratch (merge), too little scratch and none (insertion fallback).
      for (std::size_t scratchSize : {count, count / 2, std::size_t{0}}) {
        std::vector<vantor::MIDIEvent> sorted = events;
        std::vector<vantor::MIDIEvent> scratch(scratchSize);
        vantor::stableSort(sorted.data(), sorted.size(), scratch.data(), scratch.size(),
                           vantor::midiSort);
        SCOPED_TRACE(testing::Message() << "count " << count << " keys " << keys << " scratch "
                                        << scratchSize);
        expectSameOrder(sorted, expected);
      }
    }
  }
}

TEST(StableSort, SortedAndReversedInputs) {
  for (bool reversed : {false, true}) {
    std::vector<vantor::MIDIEvent> events;
    for (std::uint64_t i = 0; i < 200; ++i) {
      const auto offset = static_cast<std::int32_t>(i / 3);
      events.push_back(event(reversed ? 100 - offset : offset, i));
    }
    std::vector<vantor::MIDIEvent> expected = events;
    std::stable_sort(expected.begin(), expected.end(), vantor::midiSort);
    std::vector<vantor::MIDIEvent> scratch(events.size());
    vantor::stableSort(events.data(), events.size(), scratch.data(), scratch.size(),
                       vantor::midiSort);
    expectSameOrder(events, expected);
  }
}

}  // namespace
