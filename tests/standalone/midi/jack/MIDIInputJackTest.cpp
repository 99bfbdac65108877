// MIDI input over a private JACK server with the dummy driver: JACK's example sequencer as a
// source enabled through the layer, and the product's virtual destination played by another
// client. The sequencer loops 24000 frames at 48 kHz: note 60 on at 0 and off at 8000, note 63
// on at 12000 and off at 20000.
#include <errno.h>
#include <jack/jack.h>

#include <jack/midiport.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/midi/MIDIBackend.h"
#include "standalone/host/CoreMIDILayer.h"
#include "standalone/host/DSPInfo.h"
#include "standalone/host/MIDIDevice.h"
#include "tests/standalone/midi/MIDITestSupport.h"
#include "tests/support/JackDummyServer.h"
#include "tests/support/jack/JackTestClient.h"

namespace {

constexpr unsigned kRate = 48000;
constexpr unsigned kBlock = 512;
constexpr std::uint32_t kProductID = 0x4B6C4463;

const std::vector<std::string> kSequencer = {"jack_midiseq", "", "24000", "0",    "60",
                                             "8000",         "12000", "63", "8000"};

std::vector<std::string> sequencer(const std::string& name) {
  std::vector<std::string> argv = kSequencer;
  argv[1] = name;
  return argv;
}

/// Runs `step` until it answers true; gives up after a generous bound, so a broken set-up
/// fails instead of hanging. Nothing is measured.
bool eventually(const std::function<bool()>& step) {
  for (int i = 0; i < 4000; ++i) {
    if (step()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

struct Received {
  int status, note;
  std::uint64_t nanos;
  int frameOffset;
};

/// Renders blocks on this thread about as often as a device would, until `count` events came.
std::vector<Received> renderOnce(vantor::MIDIDevice& device, std::size_t count) {
  std::vector<Received> received;
  std::vector<vantor::MIDIEvent> events;
  events.reserve(device.getMaxEventsPerBlock());
  eventually([&] {
    events.clear();
    device.getMIDIEvents(events);
    for (const auto& e : events) {
      received.push_back({e.bytes[0] & 0xF0, e.bytes[1], e.hostTimeNanos, e.frameOffset});
    }
    return received.size() >= count;
  });
  return received;
}

/// The sequencer's events in its loop order, each followed by the frames to the next one.
struct Step {
  int status, note, framesToNext;
};
const Step kLoop[] = {{0x90, 60, 8000}, {0x80, 60, 4000}, {0x90, 63, 8000}, {0x80, 63, 4000}};

/// The host time between each event and the next against the loop's frames, for the events that
/// follow the loop's order: within one block of the loop.
bool intervalsWithinABlock(const std::vector<Received>& received) {
  int at = -1;
  for (int i = 0; i < 4 && !received.empty(); ++i) {
    if (kLoop[i].status == received[0].status && kLoop[i].note == received[0].note) at = i;
  }
  if (at < 0) return true;  // out of order: the ordinary checks say so
  for (std::size_t i = 0; i + 1 < received.size(); ++i) {
    const double frames =
        static_cast<double>(received[i + 1].nanos - received[i].nanos) * kRate / 1e9;
    if (std::abs(frames - kLoop[(at + i) % 4].framesToNext) > kBlock) return false;
  }
  return true;
}

/// `renderOnce`, but a stretch during which the machine disturbed the server (an over-run: the
/// driver woke too late, which shifts host time against frames, or a client was late for its
/// cycle, which loses that cycle's MIDI) is discarded and run again. So is one whose host times
/// stray from the loop by more than a block: the dummy driver stamps a cycle when the machine
/// lets it wake, which load can delay without an over-run. A back end that stamps wrongly strays
/// in every stretch, so the last one still fails.
std::vector<Received> renderUntil(vantor::MIDIDevice& device, std::size_t count,
                                  const kelo::test::JackTestClient& watch) {
  // A stretch lasts about a second: a loaded machine may spoil many in a row.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(3);
  std::vector<Received> last;  // the last undisturbed stretch
  for (int attempt = 1; std::chrono::steady_clock::now() < deadline; ++attempt) {
    const int xruns = watch.xruns();
    const std::uint64_t missed = watch.missedCycles();
    watch.waitCycles(2);
    renderOnce(device, 0);  // events of the cycles before the counts were read are not measured
    std::vector<Received> received = renderOnce(device, count);
    watch.waitCycles(2);  // news of the last cycle comes with the next ones
    if (watch.xruns() == xruns && watch.missedCycles() == missed) {
      last = received;
      if (intervalsWithinABlock(received)) return received;
      std::printf("stretch %d: host times stray from the loop; again\n", attempt);
      continue;
    }
    std::printf("stretch %d: %d over-runs, %llu missed cycles; again\n", attempt,
                watch.xruns() - xruns,
                static_cast<unsigned long long>(watch.missedCycles() - missed));
  }
  if (last.empty()) ADD_FAILURE() << "the server was disturbed during every stretch: nothing to measure";
  return last;
}

void expectTheLoopInOrderAndInTime(const std::vector<Received>& received) {
  ASSERT_GE(received.size(), 9u);
  std::string trace;
  for (const Received& r : received) {
    trace += std::to_string(r.status) + "/" + std::to_string(r.note) + " at " +
             std::to_string(r.nanos) + " frame " + std::to_string(r.frameOffset) + "\n";
  }
  SCOPED_TRACE(trace);
  int at = -1;
  for (int i = 0; i < 4; ++i) {
    if (kLoop[i].status == received[0].status && kLoop[i].note == received[0].note) at = i;
  }
  ASSERT_GE(at, 0) << "unexpected first event";
  for (std::size_t i = 0; i < received.size(); ++i) {
    const Step& step = kLoop[(at + i) % 4];
    EXPECT_EQ(received[i].status, step.status) << i;
    EXPECT_EQ(received[i].note, step.note) << i;
    EXPECT_GE(received[i].frameOffset, 0);
    EXPECT_LT(received[i].frameOffset, static_cast<int>(kBlock));
    if (i + 1 < received.size()) {
      // Where it was sent against where the next one was: within one block.
      const double frames = static_cast<double>(received[i + 1].nanos - received[i].nanos) *
                            kRate / 1e9;
      EXPECT_NEAR(frames, step.framesToNext, kBlock) << i;
    }
  }
}

/// A JACK client of the test's own, to look at ports and connect them; it watches the server
/// for disturbances as well.
class Probe {
 public:
  explicit Probe(const std::string& name) : watch(name), client(watch.client()) {
    if (client != nullptr) {
      input = jack_port_register(client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    }
  }

  /// Waits until `port` exists and its client is active (only then can it be connected).
  bool waitConnectable(const std::string& port) {
    return eventually([&] {
      if (jack_connect(client, port.c_str(), jack_port_name(input)) != 0) return false;
      jack_disconnect(client, port.c_str(), jack_port_name(input));
      return true;
    });
  }

  kelo::test::JackTestClient watch;
  jack_client_t* client = nullptr;
  jack_port_t* input = nullptr;
};

class MIDIInputJack : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.ready()) << "jackd did not start";
    // The layer's client is named after the program; see JackDummyServer::clientName.
    static std::string programName;
    programName = server.clientName("kelo-deck");
    program_invocation_short_name = programName.data();
    MIDI_CreateVirtualDevices(kProductID, {"KeloDeck"}, {});
    MIDI_GetDeviceIDs(ids);
    ASSERT_STREQ(kelo::midi::openBackendName(), "jack");
  }
  void TearDown() override {
    device.reset();
    MIDI_Terminate();
  }

  /// The id of the device the layer added for `name`, once the main loop has seen it.
  int waitForDevice(const std::string& name, int ins) {
    int found = -1;
    eventually([&] {
      MIDI_DispatchNotifications();
      for (const std::string& call : manager.calls) {
        if (call.rfind("add ", 0) != 0) continue;
        const int id = std::stoi(call.substr(4));
        const MIDIDeviceInfo* info = MIDI_GetDeviceInfo(id);
        if (info != nullptr && info->name == name && info->ins == ins) found = id;
      }
      return found >= 0;
    });
    return found;
  }

  void openDevice(const std::string& moduleName, int id, const std::string& name) {
    device = std::make_unique<vantor::MIDIDevice>(moduleName, id, 1, 0, vantor::kDeviceInput, name);
    ASSERT_TRUE(device->init(nullptr, &format));
    device->acquire();
    device->start();
  }

  // Long periods: a server without real-time scheduling over-runs whenever a wake-up is later
  // than one period, which a loaded machine makes common at 256 frames. Events still carry
  // their offsets within the cycle, so a wrong offset now shows as a larger error.
  kelo::test::JackDummyServer server{{.rate = kRate, .period = 2048}};
  kelo::test::RecordingMIDIManager manager;
  const vantor::DSPInfo format{kRate, kBlock};
  std::vector<int> ids;
  std::unique_ptr<vantor::MIDIDevice> device;
};

TEST_F(MIDIInputJack, TheSequencersNotesReachTheDrainInOrderEachWithinABlock) {
  const std::string seqName = server.clientName("kelo-seq");
  kelo::test::ChildProgram seq(sequencer(seqName));
  ASSERT_TRUE(seq.running());
  Probe probe(server.clientName("kelo-probe"));
  ASSERT_NE(probe.client, nullptr);
  ASSERT_TRUE(probe.waitConnectable(seqName + ":out"));
  const int id = waitForDevice(seqName + ":out", 1);
  ASSERT_GE(id, 0) << "the sequencer's port never reached the device manager";
  openDevice("MidiInput_0", id, seqName + ":out(in)");
  expectTheLoopInOrderAndInTime(renderUntil(*device, 9, probe.watch));

  // Gone, it leaves the device manager too.
  seq.stop();
  ASSERT_TRUE(eventually([&] {
    MIDI_DispatchNotifications();
    return manager.calls.back() == "remove " + std::to_string(id);
  }));
}

TEST_F(MIDIInputJack, TheVirtualDestinationIsAPortAnotherClientPlays) {
  ASSERT_EQ(ids.size(), 1u);
  const int virtualId = ids[0];
  ASSERT_EQ(MIDI_GetDeviceInfo(virtualId)->type, "virtual");

  Probe probe(server.clientName("kelo-probe"));
  ASSERT_NE(probe.client, nullptr);
  const char** ports =
      jack_get_ports(probe.client, ":KeloDeck$", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
  ASSERT_NE(ports, nullptr);
  const std::string destination = ports[0];
  EXPECT_EQ(ports[1], nullptr);
  jack_free(ports);

  const std::string player = server.clientName("kelo-player");
  kelo::test::ChildProgram seq(sequencer(player));
  ASSERT_TRUE(probe.waitConnectable(player + ":out"));
  openDevice("MidiVirtual_0", virtualId, "KeloDeck(in)");
  ASSERT_EQ(jack_connect(probe.client, (player + ":out").c_str(), destination.c_str()), 0);
  expectTheLoopInOrderAndInTime(renderUntil(*device, 9, probe.watch));
}

/// A JACK client of the test that plays a chord: `notes` note-ons, all at frame 0 of one cycle.
class ChordPlayer {
 public:
  explicit ChordPlayer(const std::string& name) {
    client = jack_client_open(name.c_str(), JackNoStartServer, nullptr);
    if (client == nullptr) return;
    out = jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(client, &ChordPlayer::process, this);
    if (out == nullptr || jack_activate(client) != 0) {
      jack_client_close(client);
      client = nullptr;
    }
  }
  ~ChordPlayer() {
    if (client != nullptr) jack_client_close(client);
  }
  ChordPlayer(const ChordPlayer&) = delete;
  ChordPlayer& operator=(const ChordPlayer&) = delete;

  /// The bytes of note `i` of a chord.
  static void noteBytes(int i, jack_midi_data_t bytes[3]) {
    bytes[0] = static_cast<jack_midi_data_t>(0x90 | (i / 128) % 16);
    bytes[1] = static_cast<jack_midi_data_t>(i % 128);
    bytes[2] = static_cast<jack_midi_data_t>(1 + i % 127);
  }
  /// Plays `notes` in the next cycle.
  void play(int notes) { m_pending.store(notes, std::memory_order_release); }
  /// Notes the last chord could not write into the cycle's buffer (-1 before it was played).
  int refused() const { return m_refused.load(std::memory_order_acquire); }

  jack_client_t* client = nullptr;
  jack_port_t* out = nullptr;

 private:
  static int process(jack_nframes_t frames, void* self) {
    auto* me = static_cast<ChordPlayer*>(self);
    void* buffer = jack_port_get_buffer(me->out, frames);
    jack_midi_clear_buffer(buffer);
    const int notes = me->m_pending.exchange(0, std::memory_order_acq_rel);
    if (notes == 0) return 0;
    int refused = 0;
    for (int i = 0; i < notes; ++i) {
      jack_midi_data_t bytes[3];
      noteBytes(i, bytes);
      if (jack_midi_event_write(buffer, 0, bytes, 3) != 0) ++refused;
    }
    me->m_refused.store(refused, std::memory_order_release);
    return 0;
  }

  std::atomic<int> m_pending{0};
  std::atomic<int> m_refused{-1};
};

TEST_F(MIDIInputJack, ManySimultaneousNotesArriveWholeAndInOrder) {
  // 100 note-ons at one frame are 300 bytes, more than a packet's nominal 256; 1000 are 3000.
  ASSERT_EQ(ids.size(), 1u);
  const int virtualId = ids[0];
  Probe probe(server.clientName("kelo-probe"));
  ASSERT_NE(probe.client, nullptr);
  const char** ports =
      jack_get_ports(probe.client, ":KeloDeck$", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
  ASSERT_NE(ports, nullptr);
  const std::string destination = ports[0];
  jack_free(ports);
  const std::string chordName = server.clientName("kelo-chord");
  ChordPlayer chord(chordName);
  ASSERT_NE(chord.client, nullptr);
  openDevice("MidiVirtual_0", virtualId, "KeloDeck(in)");
  ASSERT_EQ(jack_connect(probe.client, (chordName + ":out").c_str(), destination.c_str()), 0);
  ASSERT_TRUE(probe.watch.waitCycles(4));  // the connection is in the graph

  for (const int notes : {100, 1000}) {
    SCOPED_TRACE(notes);
    renderOnce(*device, 0);
    chord.play(notes);
    const std::vector<Received> received = renderOnce(*device, static_cast<std::size_t>(notes));
    ASSERT_EQ(chord.refused(), 0) << "the chord did not fit into one cycle's buffer";
    ASSERT_EQ(received.size(), static_cast<std::size_t>(notes));
    for (int i = 0; i < notes; ++i) {
      jack_midi_data_t bytes[3];
      ChordPlayer::noteBytes(i, bytes);
      EXPECT_EQ(received[i].status, bytes[0] & 0xF0) << i;
      EXPECT_EQ(received[i].note, bytes[1]) << i;
      EXPECT_EQ(received[i].nanos, received[0].nanos) << i;  // one frame, one time
    }
  }
}

TEST_F(MIDIInputJack, AnotherClientsPortRenamedReachesTheDeviceManager) {
  const std::string probeName = server.clientName("kelo-probe");
  Probe probe(probeName);
  ASSERT_NE(probe.client, nullptr);
  jack_port_t* out =
      jack_port_register(probe.client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
  ASSERT_NE(out, nullptr);
  const int id = waitForDevice(probeName + ":out", 1);
  ASSERT_GE(id, 0);
  ASSERT_EQ(jack_port_rename(probe.client, out, "keys"), 0);
  const std::string expected = "rename " + std::to_string(id) + " " + probeName + ":keys";
  EXPECT_TRUE(eventually([&] {
    MIDI_DispatchNotifications();
    return manager.calls.back() == expected;
  }));
  jack_port_unregister(probe.client, out);
  EXPECT_TRUE(eventually([&] {
    MIDI_DispatchNotifications();
    return manager.calls.back() == "remove " + std::to_string(id);
  }));
}

}  // namespace
