// The back end plays the reference engine through PortAudio's JACK host API on a private JACK
// server with the dummy driver and eight playback ports. A JACK client of the test listens to
// the product's output ports and measures what reaches each playback port: the held note is a
// tone on ports 1 and 2 for stereo pair 0, and on ports 7 and 8 only for pair 3.
//
// The measurements wait in the server's periods, never in wall-clock time.
#include <jack/jack.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "VNL/source/Config.h"
#include "VNL/source/ProductConf.h"
#include "standalone/engine_interface/EngineBinding.h"
#include "standalone/host/AudioDevice.h"
#include "standalone/host/CoreMIDILayer.h"
#include "standalone/host/DeviceFactories.h"
#include "standalone/host/DeviceManager.h"
#include "standalone/host/GraphManager.h"
#include "standalone/host/Instance.h"
#include "standalone/host/SMPLModule.h"
#include "platform/midi/FakeMIDIBackend.h"
#include "tests/standalone/host/HostTestSupport.h"
#include "tests/support/JackDummyServer.h"
#include "tests/support/PreferenceSandbox.h"
#include "tests/support/SmfWriter.h"
#include "tests/support/TempDir.h"

KELO_PREFERENCE_SANDBOX();

namespace {

constexpr int kPorts = 8;
constexpr unsigned kRate = 48000;
constexpr unsigned kPeriod = 256;
constexpr int kNote = 69;  // A4
constexpr double kNoteHz = 440.0;

/// Listens to the product's ports, each on the input standing for the playback port it feeds.
class Capture {
 public:
  /// `name` is unique to the server (JackDummyServer::clientName).
  explicit Capture(const std::string& name) {
    m_client = jack_client_open(name.c_str(), JackNoStartServer, nullptr);
    if (m_client == nullptr) return;
    for (int i = 0; i < kPorts; ++i) {
      m_inputs[i] = jack_port_register(m_client, ("in_" + std::to_string(i + 1)).c_str(),
                                       JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    }
    jack_set_process_callback(m_client, &Capture::process, this);
    jack_activate(m_client);
  }
  ~Capture() {
    if (m_client != nullptr) jack_client_close(m_client);
  }
  bool ok() const { return m_client != nullptr; }

  /// Connects every output port of `client` to the input of the playback port it feeds.
  int connectProductPorts(const std::string& client) {
    int connected = 0;
    const char** ports = jack_get_ports(m_client, (client + ":").c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                        JackPortIsOutput);
    for (int i = 0; ports != nullptr && ports[i] != nullptr; ++i) {
      const char** feeds = jack_port_get_all_connections(m_client, jack_port_by_name(m_client, ports[i]));
      for (int j = 0; feeds != nullptr && feeds[j] != nullptr; ++j) {
        const std::string feed = feeds[j];
        const std::string prefix = "system:playback_";
        if (feed.rfind(prefix, 0) != 0) continue;
        const int port = std::stoi(feed.substr(prefix.size()));
        if (port < 1 || port > kPorts) continue;
        if (jack_connect(m_client, ports[i], jack_port_name(m_inputs[port - 1])) == 0) ++connected;
      }
      jack_free(feeds);
    }
    jack_free(ports);
    return connected;
  }

  /// Starts a new measurement.
  void reset() { m_resetRequested.store(true); }
  std::uint64_t periods() const { return m_periods.load(); }
  /// Waits until `count` more periods were measured; false if the server stopped calling.
  bool waitPeriods(std::uint64_t count) {
    const std::uint64_t target = periods() + count;
    // A bound in yields, not time: generous enough for any machine.
    for (std::uint64_t spins = 0; periods() < target; ++spins) {
      if (spins > 400000000ull) return false;
      std::this_thread::yield();
    }
    return true;
  }
  /// Over the periods in which the port sounded; 0 for a port that never did.
  double rms(int port) const {
    const double frames = double(m_soundingFrames[port].load());
    return frames > 0 ? std::sqrt(m_energy[port].load() / frames) : 0.0;
  }
  /// Cycles per second, from the rising zero crossings inside each period (a dropped period
  /// breaks the phase only between periods, so it cannot bias the count).
  double frequency(int port) const {
    const double span = m_crossingSpan[port].load();
    return span > 0 ? double(m_cycles[port].load()) * double(kRate) / span : 0.0;
  }
  /// Share of the measured frames in which the port sounded.
  double soundingShare(int port) const {
    const double frames = double(m_frames.load());
    return frames > 0 ? double(m_soundingFrames[port].load()) / frames : 0.0;
  }

 private:
  static int process(jack_nframes_t frames, void* self) {
    static_cast<Capture*>(self)->measure(frames);
    return 0;
  }
  void measure(jack_nframes_t frames) {
    if (m_resetRequested.exchange(false)) {
      for (int i = 0; i < kPorts; ++i) {
        m_energy[i].store(0);
        m_cycles[i].store(0);
        m_crossingSpan[i].store(0);
        m_soundingFrames[i].store(0);
      }
      m_frames.store(0);
    }
    // A client late past its period reads inputs the server has already begun the next cycle
    // in: the product may be writing them meanwhile, so such a period is torn and not counted.
    const jack_nframes_t cycle = jack_last_frame_time(m_client);
    std::array<PeriodMeasure, kPorts> period{};
    for (int i = 0; i < kPorts; ++i) {
      const auto* in = static_cast<const float*>(jack_port_get_buffer(m_inputs[i], frames));
      PeriodMeasure& port = period[i];
      double first = -1;  // positions of the first and last rising crossing, interpolated
      double last = -1;
      std::uint64_t crossings = 0;
      for (jack_nframes_t f = 0; f < frames; ++f) {
        port.energy += double(in[f]) * in[f];
        if (f > 0 && in[f - 1] <= 0.0f && in[f] > 0.0f) {
          const double at = double(f - 1) + double(-in[f - 1]) / double(in[f] - in[f - 1]);
          if (first < 0) first = at;
          last = at;
          ++crossings;
        }
      }
      if (crossings >= 2) {
        port.cycles = crossings - 1;
        port.crossingSpan = last - first;
      }
    }
    if (jack_last_frame_time(m_client) != cycle) return;
    for (int i = 0; i < kPorts; ++i) {
      m_energy[i].store(m_energy[i].load() + period[i].energy);
      if (period[i].energy > 0.0) m_soundingFrames[i].store(m_soundingFrames[i].load() + frames);
      m_cycles[i].store(m_cycles[i].load() + period[i].cycles);
      m_crossingSpan[i].store(m_crossingSpan[i].load() + period[i].crossingSpan);
    }
    m_frames.store(m_frames.load() + frames);
    m_periods.fetch_add(1);
  }

  struct PeriodMeasure {
    double energy = 0;
    std::uint64_t cycles = 0;
    double crossingSpan = 0;
  };

  jack_client_t* m_client = nullptr;
  std::array<jack_port_t*, kPorts> m_inputs{};
  std::array<std::atomic<double>, kPorts> m_energy{};
  std::array<std::atomic<std::uint64_t>, kPorts> m_cycles{};
  std::array<std::atomic<double>, kPorts> m_crossingSpan{};
  // Frames of the periods in which the port carried anything: a period the server dropped
  // (an xrun on a machine without real-time scheduling) is silent on every port.
  std::array<std::atomic<std::uint64_t>, kPorts> m_soundingFrames{};
  std::atomic<std::uint64_t> m_frames{0};
  std::atomic<std::uint64_t> m_periods{0};
  std::atomic<bool> m_resetRequested{false};
};

class JackPlayback : public ::testing::Test {
 protected:
  void SetUp() override {
    kelo::test::requirePreferenceSandbox();
    kelo::test::PreferenceSandbox::clear();
    ASSERT_TRUE(server.ready()) << "jackd did not come up";
    // The reference engine as the program finds it.
    ASSERT_TRUE(kelo::test::writeFile(data.file("KeloSetup.xml"), "<KeloSetup version=\"1\"/>\n"));
    ASSERT_TRUE(vantor::writeConfigStringValue("com.vantor.kelo", "path", KELO_ENGINE_BUNDLE,
                                               vantor::CONFIG_LEVEL_USER));
    ASSERT_TRUE(vantor::writeConfigStringValue(
        vantor::productPreferenceDomain(conf.vendorName, conf.productName), "base_dir",
        data.path(), vantor::CONFIG_LEVEL_SYSTEM));
    context.init();
    context.resetDSP(int(kRate), int(kPeriod));
  }

  void TearDown() override {
    vantor::Singleton<vantor::GraphManager>::destroyInstance();  // the device and the engine
    if (vantor::Singleton<vantor::DeviceManager>::isCreated()) {
      vantor::Singleton<vantor::DeviceManager>::instance()->removeContext(&context);
    }
    vantor::Singleton<vantor::DeviceManager>::destroyInstance();
    vantor::Singleton<vantor::Factory>::destroyInstance();
    vantor::Singleton<vantor::MIDIDeviceFactory>::destroyInstance();
    MIDI_Terminate();
  }

  /// Builds the back end as the command interface does, with the JACK server's device as the
  /// output, the engine in slot 0 and a MIDI file holding the note playing.
  vantor::AudioDevice* startBackEnd() {
    vantor::DeviceManager* dm = vantor::Singleton<vantor::DeviceManager>::instance();
    dm->init();
    dm->addContext(&context);
    vantor::Factory* registry = vantor::Singleton<vantor::Factory>::instance();
    graph = vantor::Singleton<vantor::GraphManager>::instance();
    graph->init(&context, context.dspInfo());

    int index = -1;
    std::vector<int> ids;
    registry->getAudioDeviceFactory()->listAudioDevicesID(ids);
    for (int id : ids) {
      const vantor::DMAudioDeviceInfo* record = dm->getAudioDeviceInfo(id);
      // PortAudio lists every JACK client with ports as a device: the test's own listener too.
      if (record->hostApiName.find("JACK") != std::string::npos && record->name == "system") {
        index = id;
      }
    }
    if (index < 0) return nullptr;
    EXPECT_EQ(dm->getAudioDeviceInfo(index)->hostApiCode, vantor::DeviceManager::kHostApiCodePlatform);
    EXPECT_EQ(dm->getAudioDeviceInfo(index)->maxOutputChannels, kPorts);
    auto* device = dynamic_cast<vantor::AudioDevice*>(
        registry->getAudioDeviceFactory()->newInstanceByID(&context, index));
    if (device == nullptr) return nullptr;
    device->init(&context, context.dspInfo());
    device->acquire();
    graph->setAudioDevice(device);

    auto* engine = new vantor::SMPLModule();
    engine->init(&context, context.dspInfo());
    engine->start();
    EXPECT_TRUE(graph->addInstrument(0, engine));

    kelo::test::SmfTrack track;
    track.tempo(0, 120).noteOn(0, 0, kNote, 100).noteOff(480 * 400, 0, kNote).endOfTrack(480 * 400);
    const std::string midiFile = data.file("held.mid");
    EXPECT_TRUE(kelo::test::writeFile(midiFile, kelo::test::smfFile(0, 480, {track})));
    EXPECT_TRUE(graph->setMIDIFile(midiFile));
    EXPECT_TRUE(graph->startMIDIFile());
    graph->start();
    return device;
  }

  /// Plays, listens for 150 periods (0.8 s) and stops. Answers false when it could not.
  bool playAndMeasure(vantor::DeviceManager* dm, vantor::AudioDevice* device) {
    if (!dm->playStopReq(&context, true)) return false;
    // The stream's reported latency plus one block: at least the block.
    double latency = 0;
    EXPECT_TRUE(device->getOutputLatency(latency));
    EXPECT_GE(latency, kPeriod * 1000.0 / kRate);
    EXPECT_LT(latency, 1000.0);
    const int connected = capture.connectProductPorts(conf.productName);
    EXPECT_GT(connected, 0);
    const bool measured = capture.waitPeriods(20);  // connections settle, the note sounds
    capture.reset();
    const bool measuredAgain = capture.waitPeriods(150);
    EXPECT_TRUE(dm->playStopReq(&context, false));
    return measured && measuredAgain;
  }

  kelo::test::LogCapture log;
  kelo::test::JackDummyServer server{{.rate = kRate, .period = kPeriod, .playbackPorts = kPorts}};
  kelo::midi::FakeMIDIBackend midi;
  kelo::test::TempDir data;
  vantor::Instance context;
  vantor::GraphManager* graph = nullptr;
  Capture capture{server.clientName("kelo-capture")};
};

TEST_F(JackPlayback, TheHeldNoteSoundsOnThePairChosen) {
  ASSERT_TRUE(capture.ok());
  vantor::AudioDevice* device = startBackEnd();
  ASSERT_NE(device, nullptr);
  vantor::DeviceManager* dm = vantor::Singleton<vantor::DeviceManager>::instance();

  // The server runs at one rate; PortAudio adapts any block to its period.
  std::vector<std::int32_t> rates;
  EXPECT_TRUE(device->listAvailableSampleRates(rates));
  EXPECT_EQ(rates, std::vector<std::int32_t>{48000});
  std::vector<std::int32_t> sizes;
  EXPECT_TRUE(device->listAvailableBufferSizes(sizes));
  EXPECT_EQ(sizes, (std::vector<std::int32_t>{32, 64, 128, 256, 512, 1024, 2048, 4096, 8192}));

  ASSERT_TRUE(playAndMeasure(dm, device));
  for (int port : {0, 1}) {
    EXPECT_GT(capture.soundingShare(port), 0.5) << "port " << port + 1;
    EXPECT_GT(capture.rms(port), 0.01) << "port " << port + 1;
    EXPECT_NEAR(capture.frequency(port), kNoteHz, 1.0) << "port " << port + 1;
  }
  for (int port = 2; port < kPorts; ++port) EXPECT_EQ(capture.rms(port), 0.0) << port + 1;

  ASSERT_TRUE(device->setOutputStereoPair(3));
  ASSERT_TRUE(playAndMeasure(dm, device));
  for (int port = 0; port < 6; ++port) EXPECT_EQ(capture.rms(port), 0.0) << "port " << port + 1;
  for (int port : {6, 7}) {
    EXPECT_GT(capture.soundingShare(port), 0.5) << "port " << port + 1;
    EXPECT_GT(capture.rms(port), 0.01) << "port " << port + 1;
    EXPECT_NEAR(capture.frequency(port), kNoteHz, 1.0) << "port " << port + 1;
  }
  EXPECT_TRUE(log.has('I', "in its first callback"));

  double latency = 0;
  EXPECT_FALSE(device->getOutputLatency(latency)) << "stopped: no stream";
}

// A client of another program, with two inputs the user connected the player to.
class OtherProgram {
 public:
  explicit OtherProgram(const std::string& name)
      : m_client(jack_client_open(name.c_str(), JackNoStartServer, nullptr)) {
    if (m_client == nullptr) return;
    for (const char* port : {"in_1", "in_2"})
      jack_port_register(m_client, port, JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    jack_activate(m_client);
  }
  ~OtherProgram() {
    if (m_client != nullptr) jack_client_close(m_client);
  }
  jack_client_t* client() const { return m_client; }
  std::string port(const char* name) const {
    return std::string(jack_get_client_name(m_client)) + ":" + name;
  }

  using PlayerPorts = std::vector<std::pair<std::string, std::vector<std::string>>>;

  // The player's output ports, each with what it is connected to.
  PlayerPorts playerPorts() const {
    PlayerPorts out;
    const char** ports =
        jack_get_ports(m_client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
    for (int i = 0; ports != nullptr && ports[i] != nullptr; ++i) {
      if (std::string(ports[i]).rfind(std::string(conf.productName) + ":", 0) != 0) continue;
      std::vector<std::string> connected;
      const char** to =
          jack_port_get_all_connections(m_client, jack_port_by_name(m_client, ports[i]));
      for (int j = 0; to != nullptr && to[j] != nullptr; ++j) connected.emplace_back(to[j]);
      jack_free(to);
      std::sort(connected.begin(), connected.end());
      out.emplace_back(ports[i], connected);
    }
    jack_free(ports);
    return out;
  }

  // Other clients see a connection change once the server has switched its graph, which load
  // can delay past a read (one port lacked the connection just made to it on a loaded run): so
  // the ports are read until they show `expected`, for a minute at most.
  PlayerPorts playerPortsOnceShowing(const PlayerPorts& expected) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    PlayerPorts ports = playerPorts();
    while (ports != expected && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      ports = playerPorts();
    }
    return ports;
  }

 private:
  jack_client_t* m_client;
};

// Every stop and play closes and reopens the stream (the preferences, a render). The player's
// ports keep their names and the connections the user made to other programs.
TEST_F(JackPlayback, PortsKeepTheirNamesAndConnectionsAcrossReopenings) {
  OtherProgram other(server.clientName("other"));
  ASSERT_NE(other.client(), nullptr);
  ASSERT_NE(startBackEnd(), nullptr);
  vantor::DeviceManager* dm = vantor::Singleton<vantor::DeviceManager>::instance();
  ASSERT_TRUE(dm->playStopReq(&context, true));
  const std::string player = std::string(conf.productName) + ":";
  ASSERT_EQ(jack_connect(other.client(), (player + "out_0").c_str(), other.port("in_1").c_str()),
            0);
  ASSERT_EQ(jack_connect(other.client(), (player + "out_1").c_str(), other.port("in_2").c_str()),
            0);
  const OtherProgram::PlayerPorts expected = {
      {player + "out_0", {other.port("in_1"), "system:playback_1"}},
      {player + "out_1", {other.port("in_2"), "system:playback_2"}}};
  ASSERT_EQ(other.playerPortsOnceShowing(expected), expected);

  for (int reopening = 1; reopening <= 2; ++reopening) {
    SCOPED_TRACE(reopening);
    ASSERT_TRUE(dm->playStopReq(&context, false));
    ASSERT_TRUE(dm->playStopReq(&context, true));
    EXPECT_EQ(other.playerPortsOnceShowing(expected), expected);
  }
  EXPECT_TRUE(dm->playStopReq(&context, false));
}

}  // namespace
