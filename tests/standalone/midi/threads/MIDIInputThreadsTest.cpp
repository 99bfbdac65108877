// The ring between the MIDI thread and the render thread, run for real under ThreadSanitizer:
// every message arrives once, in order, or is counted as dropped.
#include <pthread.h>

#include <atomic>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/midi/FakeMIDIBackend.h"
#include "standalone/host/CoreMIDILayer.h"
#include "standalone/host/DSPInfo.h"
#include "standalone/host/MIDIDevice.h"
#include "standalone/host/MIDIDriver.h"
#include "tests/standalone/midi/MIDITestSupport.h"

namespace {

TEST(MIDIInputThreads, AProducerThreadAgainstTheRenderDrain) {
  kelo::midi::FakeMIDIBackend fake;
  MIDI_CreateVirtualDevices(100, {"KeloDeck"}, {});
  std::vector<int> ids;
  MIDI_GetDeviceIDs(ids);
  ASSERT_EQ(ids.size(), 1u);

  const vantor::DSPInfo format(48000, 64);
  vantor::MIDIDevice device("MidiVirtual_0", 0, 1, 0, vantor::kDeviceInput, "KeloDeck(in)");
  ASSERT_TRUE(device.init(nullptr, &format));
  device.start();
  MIDIDriver* driver = MIDI_GetMIDIDriverForVirtualDriver(0);

  constexpr int kMessages = 16000;  // several times the ring; numbers fit 14 bits
  std::atomic<bool> produced{false};
  std::thread producer([&] {
    pthread_setname_np(pthread_self(), "midi-producer");
    for (int i = 0; i < kMessages; i += 2) {
      // Two messages a packet, the second in running status; the sequence number in the data.
      kelo::test::PacketList list{{static_cast<MIDITimeStamp>(i + 1),
                                   {0xB0, static_cast<Byte>(i >> 7 & 0x7F), static_cast<Byte>(i & 0x7F),
                                    static_cast<Byte>((i + 1) >> 7 & 0x7F),
                                    static_cast<Byte>((i + 1) & 0x7F)}}};
      MIDIDriver::midiInputCallback(list.get(), driver, nullptr);
    }
    produced.store(true);
  });

  std::vector<int> received;
  std::thread render([&] {
    pthread_setname_np(pthread_self(), "render");
    std::vector<vantor::MIDIEvent> events;
    events.reserve(device.getMaxEventsPerBlock());
    for (;;) {
      const bool last = produced.load();
      do {
        events.clear();
        device.getMIDIEvents(events);
        for (const auto& e : events) received.push_back(e.bytes[1] << 7 | e.bytes[2]);
      } while (!events.empty());
      if (last) break;
      std::this_thread::yield();
    }
  });
  producer.join();
  render.join();

  const std::uint64_t dropped = driver->takeDroppedCount();
  EXPECT_EQ(received.size() + dropped, static_cast<std::size_t>(kMessages));
  std::size_t outOfOrder = 0;
  for (std::size_t i = 1; i < received.size(); ++i) outOfOrder += received[i - 1] >= received[i];
  EXPECT_EQ(outOfOrder, 0u);
  device.stop();
  MIDI_Terminate();
}

}  // namespace
