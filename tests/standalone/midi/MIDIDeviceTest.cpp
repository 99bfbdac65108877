// The MIDI device module: per-block limits, frame placement with and without jitter
// reduction (on a clock the test moves), the per-block cap, offline flush, and the device
// manager calls around its life.
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/midi/FakeMIDIBackend.h"
#include "standalone/host/CoreMIDILayer.h"
#include "standalone/host/DSPInfo.h"
#include "standalone/host/MIDIDevice.h"
#include "standalone/host/MIDIDriver.h"
#include "tests/standalone/host/HostTestSupport.h"
#include "tests/standalone/midi/MIDITestSupport.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::uint64_t kMs = 1'000'000;

struct LimitCase {
  std::uint32_t rate, block, maxEvents;
  bool reduceJitter;
};

void PrintTo(const LimitCase& c, std::ostream* out) { *out << c.rate << " Hz, " << c.block << " frames"; }

class MIDIDeviceLimits : public ::testing::TestWithParam<LimitCase> {};

TEST_P(MIDIDeviceLimits, FollowTheBlockDuration) {
  const LimitCase& c = GetParam();
  kelo::midi::FakeMIDIBackend fake;
  MIDI_CreateVirtualDevices(100, {"KeloDeck"}, {});
  std::vector<int> ids;
  MIDI_GetDeviceIDs(ids);
  const vantor::DSPInfo format(c.rate, c.block);
  vantor::MIDIDevice device("MidiVirtual_0", 0, 1, 0, vantor::kDeviceInput, "KeloDeck(in)");
  EXPECT_EQ(device.getMaxEventsPerBlock(), 64u);  // before init
  EXPECT_TRUE(device.init(nullptr, &format));
  EXPECT_EQ(device.getMaxEventsPerBlock(), c.maxEvents);
  EXPECT_EQ(device.getReduceJitter(), c.reduceJitter);
  // A new format recomputes both.
  const vantor::DSPInfo other(44100, 4096);
  device.setDSPInfo(&other);
  EXPECT_EQ(device.getMaxEventsPerBlock(), 96u);
  EXPECT_TRUE(device.getReduceJitter());
  // The layer outliving the device is the program's order; the other way round must be
  // harmless too.
  MIDI_Terminate();
}

INSTANTIATE_TEST_SUITE_P(Table, MIDIDeviceLimits,
                         ::testing::Values(LimitCase{44100, 512, 64, false},   // 11.6 ms
                                           LimitCase{44100, 1024, 64, true},   // 23.2 ms
                                           LimitCase{44100, 4096, 96, true},
                                           LimitCase{48000, 256, 64, false},
                                           LimitCase{48000, 576, 64, true},    // exactly 12 ms
                                           LimitCase{22050, 4096, 193, true},
                                           LimitCase{96000, 64, 64, false}));

/// A virtual input device fed through the fake's virtual destination, on a manual clock.
class MIDIDeviceDrain : public ::testing::Test {
 protected:
  void SetUp() override {
    kelo::test::ManualHostClock::set(1000 * kMs);
    MIDI_CreateVirtualDevices(100, {"KeloDeck"}, {});
    std::vector<int> ids;
    MIDI_GetDeviceIDs(ids);
    ASSERT_THAT(ids, ElementsAre(0));
  }
  void TearDown() override {
    device.reset();
    MIDI_Terminate();
  }

  void open(std::uint32_t rate, std::uint32_t block) {
    format = std::make_unique<vantor::DSPInfo>(rate, block);
    device = std::make_unique<vantor::MIDIDevice>("MidiVirtual_0", 0, 1, 0, vantor::kDeviceInput,
                                                  "KeloDeck(in)");
    ASSERT_TRUE(device->init(nullptr, format.get()));
    device->acquire();
    device->start();
  }

  /// Another program plays the virtual destination: one packet per (time, bytes).
  void play(MIDITimeStamp time, std::vector<Byte> bytes) {
    kelo::test::PacketList list{{time, std::move(bytes)}};
    ASSERT_TRUE(fake.sendToDestination("KeloDeck", list.get()));
  }

  std::vector<vantor::MIDIEvent> block(std::uint64_t nowNanos) {
    kelo::test::ManualHostClock::set(nowNanos);
    std::vector<vantor::MIDIEvent> events;
    device->getMIDIEvents(events);
    return events;
  }

  static std::vector<int> offsets(const std::vector<vantor::MIDIEvent>& events) {
    std::vector<int> out;
    for (const auto& e : events) out.push_back(e.frameOffset);
    return out;
  }

  kelo::test::ManualHostClock clock;
  kelo::test::LogCapture log;
  kelo::midi::FakeMIDIBackend fake;
  kelo::test::RecordingMIDIManager manager;
  std::unique_ptr<vantor::DSPInfo> format;
  std::unique_ptr<vantor::MIDIDevice> device;
};

TEST_F(MIDIDeviceDrain, WithJitterReductionEventsLandWhereTheyArrivedInTheBlock) {
  open(44100, 1024);
  ASSERT_TRUE(device->getReduceJitter());
  // The first drain after start measures from 0: an event stamped just before it lands on the
  // block's last frames.
  play(1000 * kMs - 1, {0x90, 0x3C, 0x64});
  EXPECT_THAT(offsets(block(1000 * kMs)), ElementsAre(1023));
  // The next block spans 20 ms from the end of that drain.
  play(999 * kMs, {0x90, 0x01, 0x01});    // before the previous drain: frame 0
  play(1000 * kMs, {0x90, 0x02, 0x01});   // at its end: frame 0
  play(1005 * kMs, {0x90, 0x03, 0x01});   // a quarter in
  play(1010 * kMs, {0x90, 0x04, 0x01});   // half way
  play(1025 * kMs, {0x90, 0x05, 0x01});   // stamped after now: the last frame
  EXPECT_THAT(offsets(block(1020 * kMs)), ElementsAre(0, 0, 256, 512, 1023));
}

TEST_F(MIDIDeviceDrain, WithoutJitterReductionEventsFollowOneFrameApart) {
  open(44100, 512);
  ASSERT_FALSE(device->getReduceJitter());
  play(5, {0x90, 0x3C, 0x64, 0x3E, 0x64, 0x40, 0x64});
  EXPECT_THAT(offsets(block(1001 * kMs)), ElementsAre(0, 1, 2));
}

TEST_F(MIDIDeviceDrain, WithoutJitterReductionATwoFrameBlockClampsToItsLastFrame) {
  open(44100, 2);
  play(5, {0x90, 0x3C, 0x64, 0x3E, 0x64, 0x40, 0x64});
  EXPECT_THAT(offsets(block(1001 * kMs)), ElementsAre(0, 1, 1));
}

TEST_F(MIDIDeviceDrain, ABlockTakesAtMostItsLimitAndTheRestWaits) {
  open(44100, 512);
  for (int i = 0; i < 100; ++i) play(5, {0xB0, static_cast<Byte>(i), 0x01});
  const auto first = block(1001 * kMs);
  const auto second = block(1002 * kMs);
  ASSERT_EQ(first.size(), 64u);
  ASSERT_EQ(second.size(), 36u);
  EXPECT_EQ(first.front().bytes[1], 0);
  EXPECT_EQ(second.front().bytes[1], 64);
  EXPECT_THAT(block(1003 * kMs), IsEmpty());
}

TEST_F(MIDIDeviceDrain, EventsCarryTheMessageAndItsArrivalTimeAndAreAppended) {
  open(44100, 512);
  play(777, {0x91, 0x3C, 0x64});
  kelo::test::ManualHostClock::set(1001 * kMs);
  std::vector<vantor::MIDIEvent> events(1);
  events[0].frameOffset = 99;
  device->getMIDIEvents(events);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].frameOffset, 99);
  const vantor::MIDIEvent& e = events[1];
  EXPECT_EQ(e.bytes[0], 0x91);
  EXPECT_EQ(e.bytes[1], 0x3C);
  EXPECT_EQ(e.bytes[2], 0x64);
  EXPECT_EQ(e.bytes[3], 0);
  EXPECT_EQ(e.hostTimeNanos, 777u);
  EXPECT_EQ(e.detune, 0.0f);
}

TEST_F(MIDIDeviceDrain, OfflineRenderingDiscardsLiveInput) {
  open(44100, 512);
  play(5, {0x90, 0x3C, 0x64});
  format->offline = true;
  EXPECT_THAT(block(1001 * kMs), IsEmpty());
  format->offline = false;
  play(6, {0x80, 0x3C, 0x00});
  EXPECT_EQ(block(1002 * kMs).size(), 1u);
}

TEST_F(MIDIDeviceDrain, StoppedDevicesStoreNothingAndKeepWhatWaits) {
  open(44100, 512);
  play(5, {0x90, 0x3C, 0x64});
  device->stop();
  play(6, {0x80, 0x3C, 0x00});
  device->start();
  EXPECT_EQ(block(1001 * kMs).size(), 1u);
}

TEST_F(MIDIDeviceDrain, TellsTheDeviceManagerWhenAcquiredAndReleased) {
  open(44100, 512);
  device.reset();
  EXPECT_THAT(manager.calls, ElementsAre("acquire 0", "release 0"));
  EXPECT_TRUE(log.has('I', "MIDIDevice: MidiVirtual_0 is acquired"));
  EXPECT_TRUE(log.has('I', "MIDIDevice:  id:0 ins:1 outs:0 name:KeloDeck(in) allocated!"));
  EXPECT_TRUE(log.has('I', "MIDI Dev:0 init reduceJitter:0"));
}

TEST(MIDIDevice, AnOutputDeviceNeverAppendsEvents) {
  kelo::midi::FakeMIDIBackend fake;
  fake.addEndpoint(kelo::test::endpoint("synth", "S", "Synth", false));
  const vantor::DSPInfo format(44100, 512);
  {
    vantor::MIDIDevice device("MIDIOutput_0", 0, 0, 1, vantor::kDeviceOutput, "Synth(out)");
    ASSERT_TRUE(device.init(nullptr, &format));
    device.start();
    std::vector<vantor::MIDIEvent> events;
    device.getMIDIEvents(events);
    EXPECT_THAT(events, IsEmpty());
  }
  MIDI_Terminate();
}

TEST(MIDIDevice, InitFailsWithoutADriver) {
  kelo::test::LogCapture log;
  kelo::midi::FakeMIDIBackend fake;
  const vantor::DSPInfo format(44100, 512);
  vantor::MIDIDevice virtualDevice("MidiVirtual_3", 3, 1, 0, vantor::kDeviceInput, "Gone(in)");
  EXPECT_FALSE(virtualDevice.init(nullptr, &format));
  vantor::MIDIDevice hardware("MidiInput_0", 9, 1, 0, vantor::kDeviceInput, "Gone(in)");
  EXPECT_FALSE(hardware.init(nullptr, &format));
  EXPECT_TRUE(log.has('E', "MIDIDevice::init()no MIDI device 9"));
  // Neither does anything once started.
  virtualDevice.start();
  std::vector<vantor::MIDIEvent> events;
  virtualDevice.getMIDIEvents(events);
  EXPECT_THAT(events, IsEmpty());
  MIDI_Terminate();
}

}  // namespace
