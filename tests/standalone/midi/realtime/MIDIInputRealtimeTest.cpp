// The MIDI thread's parse and the render thread's drain under the real-time guard: no
// allocation, no blocking lock.
#include <vector>

#include <gtest/gtest.h>

#include "platform/midi/FakeMIDIBackend.h"
#include "standalone/host/CoreMIDILayer.h"
#include "standalone/host/DSPInfo.h"
#include "standalone/host/MIDIDevice.h"
#include "standalone/host/MIDIDriver.h"
#include "tests/standalone/midi/MIDITestSupport.h"
#include "tests/support/realtime/RealtimeGuard.h"

namespace {

TEST(MIDIInputRealtime, ParseAndDrainWithoutAllocatingOrBlocking) {
  ASSERT_TRUE(kelo::test::kRealtimeGuarded);
  kelo::midi::FakeMIDIBackend fake;
  MIDI_CreateVirtualDevices(100, {"KeloDeck"}, {});
  std::vector<int> ids;
  MIDI_GetDeviceIDs(ids);
  for (const auto& [rate, block] : {std::pair{44100u, 512u}, std::pair{44100u, 2048u}}) {
    const vantor::DSPInfo format(rate, block);
    vantor::MIDIDevice device("MidiVirtual_0", 0, 1, 0, vantor::kDeviceInput, "KeloDeck(in)");
    ASSERT_TRUE(device.init(nullptr, &format));
    device.start();
    MIDIDriver* driver = MIDI_GetMIDIDriverForVirtualDriver(0);
    kelo::test::PacketList list{{0, {0x90, 0x3C, 0x64, 0x3E, 0x40, 0xF8, 0x80, 0x3C, 0x00}},
                                {5, {0xF0, 0x7E, 0x7F}},
                                {6, {0xE0, 0x00, 0x40}}};
    std::vector<vantor::MIDIEvent> events;
    events.reserve(device.getMaxEventsPerBlock());
    std::size_t total = 0;
    {
      kelo::test::RealtimeRegion region;
      for (int i = 0; i < 200; ++i) {
        MIDIDriver::midiInputCallback(list.get(), driver, nullptr);
        events.clear();
        device.getMIDIEvents(events);
        total += events.size();
      }
      // A full ring drops without allocating either.
      for (int i = 0; i < 2000; ++i) MIDIDriver::midiInputCallback(list.get(), driver, nullptr);
      for (int i = 0; i < 200; ++i) {
        events.clear();
        device.getMIDIEvents(events);
      }
    }
    EXPECT_EQ(total, 200u * 5u);
    EXPECT_GT(driver->takeDroppedCount(), 0u);
    device.stop();
  }
  MIDI_Terminate();
}

}  // namespace
