// The input driver: its parser (running status, real-time bytes, exclusives, bytes without a
// status), time stamps, the ring when full or flushed, and a hardware driver's connection.
#include <algorithm>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/midi/FakeMIDIBackend.h"
#include "standalone/host/CoreMIDILayer.h"
#include "standalone/host/MIDIDriver.h"
#include "tests/standalone/host/HostTestSupport.h"
#include "tests/standalone/midi/MIDITestSupport.h"

namespace {

using Message = std::vector<int>;  // the four bytes of one ring entry
using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::vector<Message> drain(MIDIDriver& driver, std::vector<std::uint64_t>* times = nullptr) {
  std::vector<Message> out;
  DriverMIDIEvent event;
  while (driver.getMessage(event)) {
    out.push_back({event.bytes[0], event.bytes[1], event.bytes[2], event.bytes[3]});
    if (times != nullptr) times->push_back(event.hostTimeNanos);
  }
  return out;
}

struct ParseCase {
  const char* what;
  std::vector<Byte> bytes;
  std::vector<Message> expected;
};

void PrintTo(const ParseCase& c, std::ostream* out) { *out << c.what; }

class MIDIDriverParser : public ::testing::TestWithParam<ParseCase> {};

TEST_P(MIDIDriverParser, StoresWholeMessages) {
  const ParseCase& c = GetParam();
  MIDIDriver driver(true, 0);
  driver.start(nullptr);
  kelo::test::PacketList list{{1000, c.bytes}};
  driver.parsePacketList(list.get());
  EXPECT_EQ(drain(driver), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, MIDIDriverParser,
    ::testing::Values(
        ParseCase{"two messages", {0x90, 0x3C, 0x64, 0x80, 0x3C, 0x00},
                  {{0x90, 0x3C, 0x64, 0}, {0x80, 0x3C, 0x00, 0}}},
        ParseCase{"running status", {0x90, 0x3C, 0x64, 0x3E, 0x40},
                  {{0x90, 0x3C, 0x64, 0}, {0x90, 0x3E, 0x40, 0}}},
        ParseCase{"a long running-status run", {0xB0, 1, 2, 3, 4, 5, 6, 7, 8},
                  {{0xB0, 1, 2, 0}, {0xB0, 3, 4, 0}, {0xB0, 5, 6, 0}, {0xB0, 7, 8, 0}}},
        ParseCase{"a run cut short keeps the whole messages", {0x90, 0x3C, 0x64, 0x3E},
                  {{0x90, 0x3C, 0x64, 0}}},
        ParseCase{"one data byte statuses", {0xC0, 0x05, 0x06, 0xD1, 0x40},
                  {{0xC0, 0x05, 0, 0}, {0xC0, 0x06, 0, 0}, {0xD1, 0x40, 0, 0}}},
        ParseCase{"real-time byte inside a message", {0x90, 0x3C, 0xF8, 0x64},
                  {{0xF8, 0, 0, 0}, {0x90, 0x3C, 0x64, 0}}},
        ParseCase{"real-time byte after a message", {0x90, 0x3C, 0x64, 0xF8},
                  {{0x90, 0x3C, 0x64, 0}, {0xF8, 0, 0, 0}}},
        ParseCase{"real-time byte keeps the running status", {0x90, 0x3C, 0x64, 0xFE, 0x3E, 0x40},
                  {{0x90, 0x3C, 0x64, 0}, {0xFE, 0, 0, 0}, {0x90, 0x3E, 0x40, 0}}},
        ParseCase{"a packet starting with an exclusive", {0xF0, 0x7E, 0x7F, 0xF7, 0x90, 0x3C, 0x64},
                  {}},
        ParseCase{"an exclusive ends the packet", {0x90, 0x3C, 0x64, 0xF0, 0x80, 0x3C, 0x00},
                  {{0x90, 0x3C, 0x64, 0}}},
        ParseCase{"data bytes without a status", {0x3C, 0x64, 0x90, 0x3E, 0x40},
                  {{0x90, 0x3E, 0x40, 0}}},
        ParseCase{"a message cut by another status", {0x90, 0x3C, 0xB0, 0x07, 0x64},
                  {{0xB0, 0x07, 0x64, 0}}},
        ParseCase{"a message cut by the packet's end", {0x90, 0x3C, 0x64, 0xB0},
                  {{0x90, 0x3C, 0x64, 0}}},
        ParseCase{"system common ends the running status", {0xF2, 0x10, 0x20, 0x30, 0xF3, 0x05},
                  {{0xF2, 0x10, 0x20, 0}, {0xF3, 0x05, 0, 0}}},
        ParseCase{"tune request stands alone", {0xF6, 0x40}, {{0xF6, 0, 0, 0}}},
        ParseCase{"an end of exclusive clears the status", {0xB0, 0x07, 0xF7, 0x64}, {}},
        ParseCase{"an empty packet", {}, {}}),
    [](const ::testing::TestParamInfo<ParseCase>& info) {
      return "Case" + std::to_string(info.index);
    });

// Notes of one time stamp are joined into packets by MIDIPacketListAdd as the JACK back end
// joins them (100 note-ons are 300 bytes, more than a packet's nominal 256); all arrive, in
// the order they were played, and no byte is read outside what the language allows.
TEST(MIDIDriver, ManySimultaneousNotesArriveInOrder) {
  for (const int notes : {100, 1000}) {
    SCOPED_TRACE(notes);
    std::vector<std::uint32_t> storage(1024);  // 4096 bytes, as the JACK back end's list
    auto* list = reinterpret_cast<MIDIPacketList*>(storage.data());
    MIDIPacket* packet = MIDIPacketListInit(list);
    std::vector<Message> expected;
    for (int i = 0; i < notes; ++i) {
      const Byte note[3] = {static_cast<Byte>(0x90 | (i / 128) % 16), static_cast<Byte>(i % 128),
                            static_cast<Byte>(1 + i % 127)};
      packet = MIDIPacketListAdd(list, storage.size() * 4, packet, 42, 3, note);
      ASSERT_NE(packet, nullptr) << i;
      expected.push_back({note[0], note[1], note[2], 0});
    }
    MIDIDriver driver(true, 0);
    driver.start(nullptr);
    MIDIDriver::midiInputCallback(list, &driver, nullptr);
    std::vector<std::uint64_t> times;
    EXPECT_EQ(drain(driver, &times), expected);
    EXPECT_EQ(times.size(), static_cast<std::size_t>(notes));
    EXPECT_TRUE(std::all_of(times.begin(), times.end(), [](std::uint64_t t) { return t == 42; }));

    // A source may also send the whole chord as one packet longer than `data`'s 256 bytes.
    MIDIPacket* only = MIDIPacketListInit(list);
    only->timeStamp = 42;
    only->length = static_cast<UInt16>(3 * notes);
    for (int i = 0; i < notes; ++i)
      for (int k = 0; k < 3; ++k) MIDIPacketData(only)[3 * i + k] = static_cast<Byte>(expected[i][k]);
    list->numPackets = 1;
    MIDIDriver::midiInputCallback(list, &driver, nullptr);
    EXPECT_EQ(drain(driver), expected);
  }
}

TEST(MIDIDriver, EveryMessageCarriesItsPacketsTimeAndZeroMeansNow) {
  kelo::test::ManualHostClock clock;
  kelo::test::ManualHostClock::set(5'000'000);
  MIDIDriver driver(true, 0);
  driver.start(nullptr);
  kelo::test::PacketList list{{1234, {0x90, 0x3C, 0x64, 0x80, 0x3C, 0x00}},
                              {0, {0xB0, 0x07, 0x64}}};
  driver.parsePacketList(list.get());
  std::vector<std::uint64_t> times;
  EXPECT_EQ(drain(driver, &times).size(), 3u);
  EXPECT_THAT(times, ElementsAre(1234u, 1234u, 5'000'000u));
}

TEST(MIDIDriver, StoresNothingBeforeStartOrAfterStopAndKeepsWhatWasStored) {
  MIDIDriver driver(true, 0);
  kelo::test::PacketList list{{1, {0x90, 0x3C, 0x64}}};
  driver.parsePacketList(list.get());
  EXPECT_THAT(drain(driver), IsEmpty());
  driver.start(nullptr);
  driver.parsePacketList(list.get());
  driver.stop();
  driver.parsePacketList(list.get());
  driver.start(nullptr);
  EXPECT_EQ(drain(driver).size(), 1u);
}

TEST(MIDIDriver, ANullPacketListIsAnError) {
  kelo::test::LogCapture log;
  MIDIDriver driver(true, 0);
  driver.start(nullptr);
  MIDIDriver::midiInputCallback(nullptr, &driver, nullptr);
  EXPECT_TRUE(log.has('E', "MIDIPacketList is NULL!"));
}

TEST(MIDIDriver, AFullRingDropsTheNewestAndCountsThem) {
  kelo::test::LogCapture log;
  MIDIDriver driver(true, 7);
  driver.start(nullptr);
  for (int i = 0; i < 5000; ++i) {
    kelo::test::PacketList list{{static_cast<MIDITimeStamp>(i + 1), {0x90, 0x3C, 0x64}}};
    driver.parsePacketList(list.get());
  }
  std::vector<std::uint64_t> times;
  EXPECT_EQ(drain(driver, &times).size(), static_cast<std::size_t>(MIDIDriver::kRingSize - 1));
  EXPECT_EQ(times.front(), 1u);  // the oldest are kept
  EXPECT_EQ(times.back(), static_cast<std::uint64_t>(MIDIDriver::kRingSize - 1));
  driver.reportDroppedMessages();
  EXPECT_TRUE(log.has('W', "MIDI input of device 7: 905 messages dropped"));
  EXPECT_EQ(driver.takeDroppedCount(), 0u);
}

TEST(MIDIDriver, FlushEmptiesTheRingAndLaterMessagesStillArrive) {
  MIDIDriver driver(true, 0);
  driver.start(nullptr);
  kelo::test::PacketList list{{1, {0x90, 0x3C, 0x64, 0x3E, 0x40}}};
  driver.parsePacketList(list.get());
  driver.flushMessages();
  EXPECT_THAT(drain(driver), IsEmpty());
  driver.parsePacketList(list.get());
  EXPECT_EQ(drain(driver).size(), 2u);
}

TEST(MIDIDriver, AHardwareInputConnectsToItsSourceAndLetsGoOfIt) {
  kelo::midi::FakeMIDIBackend fake;
  fake.addEndpoint(kelo::test::endpoint("keys", "K", "Keys", true));
  ASSERT_NE(MIDI_GetDeviceInfo(0), nullptr);
  {
    MIDIDriver driver(0);
    EXPECT_TRUE(driver.isInput());
    EXPECT_EQ(fake.connectionCount(), 1);
    driver.start(nullptr);
    kelo::test::PacketList list{{9, {0x90, 0x3C, 0x64}}};
    EXPECT_TRUE(fake.send("keys", list.get()));
    EXPECT_THAT(drain(driver), ElementsAre(Message{0x90, 0x3C, 0x64, 0}));
  }
  EXPECT_EQ(fake.connectionCount(), 0);
  MIDI_Terminate();
}

TEST(MIDIDriver, ADeviceTheLayerDoesNotKnowCannotBeOpened) {
  kelo::midi::FakeMIDIBackend fake;
  EXPECT_THROW(MIDIDriver driver(12), std::runtime_error);
  MIDI_Terminate();
}

}  // namespace
