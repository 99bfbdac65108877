#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "standalone/engine_interface/EngineEvents.h"
#include "standalone/engine_interface/EngineVersion.h"
#include "tests/support/realtime/RealtimeGuard.h"

namespace {

template <typename T, typename Record>
T at(const Record& record, size_t offset) {
  T value;
  std::memcpy(&value, reinterpret_cast<const unsigned char*>(&record) + offset, sizeof value);
  return value;
}

TEST(EngineRecords, BytesSitWhereTheEngineReadsThem) {
  const char* path = "/data";
  const EngineCreateInfo create{1, 2, kKeloHostConstantVST, path};
  EXPECT_EQ(at<std::int64_t>(create, 0), 1);
  EXPECT_EQ(at<std::int64_t>(create, 8), 2);
  EXPECT_EQ(at<std::int64_t>(create, 16), 0x4B52636B);
  EXPECT_EQ(at<const char*>(create, 24), path);

  EngineStartInfo start;
  EXPECT_EQ(at<std::int32_t>(start, 0), 2001);
  EXPECT_EQ(at<std::int32_t>(start, 4), 0);
  EXPECT_EQ(at<std::int64_t>(start, 0), 2001);  // read as two int64 fields: 2001, then 0
  EXPECT_EQ(at<std::int64_t>(start, 8), 0);

  EngineDSPInfo dsp;
  dsp.numInputs = 2;
  dsp.numOutputs = 32;
  dsp.sampleRate = 96000;
  dsp.blockSize = 4096;
  EXPECT_EQ(at<std::int32_t>(dsp, 0), 1);
  EXPECT_EQ(at<std::int32_t>(dsp, 4), 0);
  EXPECT_EQ(at<std::int64_t>(dsp, 8), 2);
  EXPECT_EQ(at<std::int64_t>(dsp, 16), 32);
  EXPECT_EQ(at<std::int32_t>(dsp, 24), 1);
  EXPECT_EQ(at<std::uint64_t>(dsp, 32), 96000u);
  EXPECT_EQ(at<std::int64_t>(dsp, 40), 4096);

  static MIDIEventBlock in{}, out{};
  float* outputs[2] = {};
  vantor::SyncInfo sync;
  const EngineProcessInfo process{1, 0, &in, &out, nullptr, outputs, &sync, 480, 0};
  EXPECT_EQ(at<std::int32_t>(process, 0), 1);
  EXPECT_EQ(at<MIDIEventBlock*>(process, 8), &in);
  EXPECT_EQ(at<MIDIEventBlock*>(process, 16), &out);
  EXPECT_EQ(at<float**>(process, 24), nullptr);
  EXPECT_EQ(at<float**>(process, 32), outputs);
  EXPECT_EQ(at<vantor::SyncInfo*>(process, 40), &sync);
  EXPECT_EQ(at<std::int32_t>(process, 48), 480);

  in.numEvents = 3;
  in.events[1].frameOffset = 77;
  EXPECT_EQ(at<std::uint64_t>(in, 0), 3u);
  EXPECT_EQ(at<std::int32_t>(in, 8 + 32 + 4), 77);
}

TEST(EngineRecords, VersionTextChoosesTheProcessCall) {
  struct Case {
    const char* text;
    int number;
    bool compatibility;
    bool processEx;
  };
  const Case cases[] = {
      {"1025", 1025, true, false},       {"1055", 1055, false, false},
      {"1056", 1056, false, true},       {"2000", 2000, false, true},
      {"engine", 1025, false, false},    {"", 1025, false, false},
      {"1025 ", 1025, false, false},     {" 1056", 1056, false, true},
      {"1056b", 1056, false, true},      {"99999999999", 1025, false, false},
      {"+1056", 1056, false, true},      {nullptr, 1025, false, false},
  };
  for (const Case& c : cases) {
    const vantor::EngineVersion version = vantor::parseEngineVersion(c.text);
    EXPECT_EQ(version.number, c.number) << (c.text ? c.text : "null");
    EXPECT_EQ(version.compatibility1025, c.compatibility) << (c.text ? c.text : "null");
    EXPECT_EQ(version.usesProcessEx(), c.processEx) << (c.text ? c.text : "null");
  }
}

std::int32_t g_versionAnswered = 0;
std::int32_t unterminatedVersion(void* handle, std::int32_t opcode, void* p1, void*, void*,
                                 std::int32_t, float, std::int32_t, std::int32_t) {
  ++g_versionAnswered;
  EXPECT_EQ(handle, nullptr);
  EXPECT_EQ(opcode, KELO_OP_VERSION_GET);
  std::memset(p1, '7', 32);  // fills the whole buffer, no terminator
  return 0;
}

TEST(EngineRecords, FetchedVersionIsAlwaysTerminated) {
  const vantor::EngineVersion version = vantor::fetchEngineVersion(unterminatedVersion);
  EXPECT_EQ(g_versionAnswered, 1);
  EXPECT_EQ(std::strlen(version.text), 31u);
  EXPECT_EQ(version.number, 1025);  // 31 sevens do not fit 32 bits
  EXPECT_EQ(vantor::fetchEngineVersion(nullptr).number, 1025);
}

vantor::MIDIEvent eventAt(std::int32_t frame, std::uint8_t tag) {
  vantor::MIDIEvent event{};
  event.bytes[0] = 0x90;
  event.bytes[1] = tag & 0x7F;
  event.frameOffset = frame;
  std::memcpy(event.reserved, &tag, 1);
  event.hostTimeNanos = tag;
  return event;
}

TEST(EngineRecords, ABlockTakesThe1024EarliestEventsInStableOrder) {
  std::vector<vantor::MIDIEvent> events;
  std::mt19937 random(11);
  for (int i = 0; i < 1500; ++i) {
    vantor::MIDIEvent event = eventAt(static_cast<std::int32_t>(random() % 300), 0);
    event.hostTimeNanos = static_cast<std::uint64_t>(i);  // arrival order
    events.push_back(event);
  }
  std::vector<vantor::MIDIEvent> expected = events;
  std::stable_sort(expected.begin(), expected.end(), vantor::midiSort);

  static MIDIEventBlock block;
  for (auto& event : block.events) event = eventAt(-1, 99);
  std::vector<vantor::MIDIEvent> scratch(events.size());
  std::size_t total = 0;
  {
    kelo::test::RealtimeRegion region;
    total = vantor::fillMIDIEventBlock(block, events.data(), events.size(), scratch.data(),
                                       scratch.size(), 300);
  }
  EXPECT_EQ(total, 1500u);
  ASSERT_EQ(block.numEvents, 1024u);
  for (size_t i = 0; i < 1024; ++i) {
    EXPECT_EQ(block.events[i].frameOffset, expected[i].frameOffset) << i;
    EXPECT_EQ(block.events[i].hostTimeNanos, expected[i].hostTimeNanos) << i;
  }

  // Without scratch storage it stays stable (insertion), and an empty block still fills.
  std::vector<vantor::MIDIEvent> few = {eventAt(5, 1), eventAt(2, 2), eventAt(5, 3), eventAt(2, 4)};
  {
    kelo::test::RealtimeRegion region;
    EXPECT_EQ(vantor::fillMIDIEventBlock(block, few.data(), few.size(), nullptr, 0, 8), 4u);
  }
  ASSERT_EQ(block.numEvents, 4u);
  const std::uint64_t order[] = {2, 4, 1, 3};
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(block.events[i].hostTimeNanos, order[i]);
  EXPECT_EQ(block.events[4].hostTimeNanos, expected[4].hostTimeNanos);  // past the count: kept
  EXPECT_EQ(vantor::fillMIDIEventBlock(block, nullptr, 0, nullptr, 0, 8), 0u);
  EXPECT_EQ(block.numEvents, 0u);
  EXPECT_EQ(block.events[0].hostTimeNanos, 2u);  // entries past the count keep what they held
}

// A host's offset outside the block reaches the engine at the nearer edge, after the events the
// host placed before it in time.
TEST(EngineRecords, OffsetsOutsideTheBlockAreHeldAtItsEdgesAfterTheSort) {
  struct Case {
    std::int32_t frames;
    std::vector<std::int32_t> offsets;
    std::vector<std::pair<std::uint64_t, std::int32_t>> delivered;  // tag, offset
  };
  const Case cases[] = {
      {64,
       {64, -5, INT32_MAX, 10, INT32_MIN, 63, 0},
       {{5, 0}, {2, 0}, {7, 0}, {4, 10}, {6, 63}, {1, 63}, {3, 63}}},
      {0, {5, -1, 0}, {{2, 0}, {3, 0}, {1, 0}}},
      {-3, {7}, {{1, 0}}},
  };
  static MIDIEventBlock block;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frames);
    std::vector<vantor::MIDIEvent> events;
    for (std::size_t i = 0; i < c.offsets.size(); ++i)
      events.push_back(eventAt(c.offsets[i], static_cast<std::uint8_t>(i + 1)));
    vantor::fillMIDIEventBlock(block, events.data(), events.size(), nullptr, 0, c.frames);
    std::vector<std::pair<std::uint64_t, std::int32_t>> got;
    for (std::uint64_t i = 0; i < block.numEvents; ++i)
      got.emplace_back(block.events[i].hostTimeNanos, block.events[i].frameOffset);
    EXPECT_EQ(got, c.delivered);
  }
}

}  // namespace
