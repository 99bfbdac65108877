// The command interface over a scripted PortAudio and MIDI system and the reference engine:
// one table of commands run in order through the back end's states (built, with a device,
// playing, stopped, shut down), each with its result, whether it logs its name, and its
// effect.
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "VNL/source/Alerts.h"
#include "VNL/source/System.h"
#include "platform/midi/FakeMIDIBackend.h"
#include "standalone/engine_interface/EngineBinding.h"
#include "standalone/host/AudioDevice.h"
#include "standalone/host/CoreMIDILayer.h"
#include "standalone/host/MIDIDevice.h"
#include "standalone/host/MIDIFilePlayer.h"
#include "standalone/host/DSPInfo.h"
#include "standalone/host/DeviceFactories.h"
#include "standalone/host/DeviceManager.h"
#include "standalone/host/EngineManager.h"
#include "standalone/host/GraphManager.h"
#include "standalone/host/Instance.h"
#include "standalone/host/Singleton.h"
#include "standalone/host/Sndfile.h"
#include "tests/standalone/commands/CommandTestSupport.h"
#include "tests/standalone/devices/FakePortAudio.h"
#include "tests/support/PreferenceSandbox.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"

KELO_PREFERENCE_SANDBOX();

namespace {

using kelo::test::FakePortAudio;

int cmd(PE_ENGINE_OPCODE command, void* p1 = nullptr, void* p2 = nullptr, int i1 = 0, int i2 = 0,
        int i3 = 0, float f = 0.0f) {
  return engineOpcode(command, p1, p2, i1, i2, i3, f);
}

vantor::Instance* context() {
  return vantor::Singleton<vantor::EngineManager>::instance()->getInstance();
}
// Writes "g" for each GUI idle tick and "n" for each non-GUI idle call it is told.
struct IdleOrder : vantor::GUIIdleListener, vantor::NonGUIIdleListener {
  void guiIdle(double) override { told += 'g'; }
  void nonGuiIdle() override { told += 'n'; }
  std::string told;
};

vantor::GraphManager* graph() { return vantor::Singleton<vantor::GraphManager>::instance(); }
vantor::AudioDevice* audioDevice() {
  return dynamic_cast<vantor::AudioDevice*>(graph()->getAudioDevice());
}

// One command of the script: what it answers, whether its name is logged, what it changed.
struct Step {
  const char* what;
  std::function<int()> call;
  int expected;
  const char* loggedName;  // null: no line naming a command
  std::function<void()> check;
};

class CommandInterface : public ::testing::Test {
 protected:
  void SetUp() override {
    kelo::test::requirePreferenceSandbox();
    kelo::test::PreferenceSandbox::clear();
    kelo::test::FailureEcho::install();
    const int alsa = pa.addHostApi(paALSA, "ALSA");
    const int asio = pa.addHostApi(paASIO, "ASIO");
    const int directSound = pa.addHostApi(paDirectSound, "DirectSound");
    const int wasapi = pa.addHostApi(paWASAPI, "WASAPI");
    const int mme = pa.addHostApi(paMME, "MME");
    addDevice(std::string(200, 'L'), alsa, 44100);  // 0: its name is cut in the record
    addDevice("Fireface", asio, 48000);               // 1
    addDevice("Speakers", directSound, 44100.7);      // 2
    addDevice("Headphones", wasapi, 96000);           // 3
    addDevice("Line out", mme, 22050);                // 4
    vantor::setPortAudio(&pa);

    plugTestKeys();
  }

  void TearDown() override {
    // Shut-down takes the registry and the MIDI factory away; a test that stops before it
    // must not hand them to the next one.
    vantor::Singleton<vantor::Factory>::destroyInstance();
    vantor::Singleton<vantor::MIDIDeviceFactory>::destroyInstance();
    vantor::setPortAudio(nullptr);
  }

  // The keyboard every test starts with; plugged in again by the tests that unplug it.
  void plugTestKeys() {
    kelo::midi::EndpointDescription keys;
    keys.key = "src-keys";
    keys.deviceKey = "dev-keys";
    keys.deviceName = keys.name = "Test Keys";
    keys.isSource = true;
    midi.addEndpoint(keys);
  }

  // The id the MIDI input list gives Test Keys; -1 when the list fails or lacks it.
  int testKeysId() {
    std::vector<PEMIDIDeviceRecord> records(4);
    std::int32_t count = 0;
    const int listed = cmd(PE_ENGINE_MIDIDEVICE_LIST, records.data(), &count, 4, 0);
    EXPECT_EQ(listed, 0);
    if (listed != 0) return -1;
    for (int i = 0; i < count; ++i) {
      if (std::strcmp(records[static_cast<std::size_t>(i)].name, "Test Keys(in)") == 0) {
        return records[static_cast<std::size_t>(i)].id;
      }
    }
    return -1;
  }

  void addDevice(const std::string& name, int hostApi, double defaultRate) {
    FakePortAudio::Device device;
    device.name = name;
    device.hostApi = hostApi;
    device.outs = 2;
    device.defaultSampleRate = defaultRate;
    pa.addDevice(device);
  }

  void runScript(const std::vector<Step>& steps) {
    const std::string log = kelo::test::programLogPath();
    for (const Step& step : steps) {
      SCOPED_TRACE(step.what);
      const std::string before = kelo::test::readFile(log);
      EXPECT_EQ(step.call(), step.expected);
      std::string added = kelo::test::readFile(log);
      // A command that made a new manager started a new log.
      if (added.compare(0, before.size(), before) == 0) added.erase(0, before.size());
      std::vector<std::string> named;
      for (const std::string& text : kelo::test::infoTexts(added)) {
        if (text.rfind("PE_ENGINE_", 0) == 0 && text.find(' ') == std::string::npos &&
            text.find(',') == std::string::npos) {
          named.push_back(text);
        }
      }
      if (step.loggedName != nullptr) {
        ASSERT_FALSE(named.empty());
        EXPECT_EQ(named.front(), step.loggedName);
      } else {
        EXPECT_TRUE(named.empty()) << named.front();
      }
      if (step.check) step.check();
    }
  }

  FakePortAudio pa;
  kelo::midi::FakeMIDIBackend midi;
};

TEST_F(CommandInterface, EveryCommandThroughTheBackEndsStates) {
  kelo::test::InstalledEngine engine;
  kelo::test::TempDir files;
  const std::string recording = files.file("take.wav");
  std::vector<std::string> arguments = {"/opt/kelo/KeloDeck", "song.kelo"};
  std::vector<std::string> argumentsOut = {"stale"};
  char version[32] = {};
  std::int32_t count = -7;
  std::int32_t value = -7;
  std::int32_t values[16] = {};
  float latency = 0.0f;
  bool playing = false;
  double position = -1.0;
  unsigned char* chunk = nullptr;
  std::int32_t chunkSize = 0;
  std::vector<unsigned char> savedChunk;
  std::vector<std::int32_t> used;
  std::vector<long> threadsBefore;
  int keysId = -1;
  PEAudioDeviceRecord records[3];
  const auto sentinel = [&] { std::memset(records, 0xAB, sizeof records); };
  const std::string midiFile = KELO_DEMO_MIDI;

  const std::vector<Step> script = {
      {"an unknown command", [&] { return cmd(static_cast<PE_ENGINE_OPCODE>(999)); }, 3, nullptr,
       {}},
      {"334 is not a command", [&] { return cmd(static_cast<PE_ENGINE_OPCODE>(334)); }, 3,
       nullptr, {}},
      {"arguments in", [&] { return cmd(PE_ENGINE_APP_ARGUMENTS_SET, &arguments); }, 0,
       "PE_ENGINE_APP_ARGUMENTS_SET", {}},
      {"arguments in, null", [&] { return cmd(PE_ENGINE_APP_ARGUMENTS_SET); }, 1,
       "PE_ENGINE_APP_ARGUMENTS_SET", {}},
      {"a command before the back end is built", [&] { return cmd(PE_ENGINE_AUDIO_START); }, 1,
       "PE_ENGINE_AUDIO_START", {}},
      {"initialise",
       [&] {
         std::thread([] {}).join();  // a sanitizer's own thread starts with the first one
         threadsBefore = kelo::test::threadIds();
         return cmd(PE_ENGINE_INITIALIZE);
       },
       0, "PE_ENGINE_INITIALIZE",
       [&] {
         ASSERT_NE(context(), nullptr);
         EXPECT_EQ(context()->getDSPInfo().sampleRateInt, 44100u);
         EXPECT_EQ(context()->getDSPInfo().blockSize, 512u);
       }},
      {"arguments out", [&] { return cmd(PE_ENGINE_APP_ARGUMENTS_GET, &argumentsOut); }, 0,
       "PE_ENGINE_APP_ARGUMENTS_GET", [&] { EXPECT_EQ(argumentsOut, arguments); }},
      {"version", [&] { return cmd(PE_ENGINE_VERSION, version); }, 0, "PE_ENGINE_VERSION",
       [&] { EXPECT_STREQ(version, "v1.969"); }},
      {"version, null", [&] { return cmd(PE_ENGINE_VERSION); }, 1, "PE_ENGINE_VERSION", {}},
      {"idle", [&] { return cmd(PE_ENGINE_IDLE); }, 3, nullptr,
       [&] {
         // Every call tells the non-GUI listeners; a call with a GUI tick due tells the GUI
         // listeners first. The GUI ticks follow the processor clock, which the program
         // starts (as KeloDeck will at its start).
         vantor::System::init(0);
         IdleOrder order;
         context()->addGUIIdleListener(&order);
         context()->addNonGUIIdleListener(&order);
         for (int i = 0; i < 200 && order.told.find('g') == std::string::npos; ++i) {
           std::this_thread::sleep_for(std::chrono::milliseconds(5));
           EXPECT_EQ(cmd(PE_ENGINE_IDLE), 3);
         }
         EXPECT_TRUE(context()->removeGUIIdleListener(&order));
         EXPECT_TRUE(context()->removeNonGUIIdleListener(&order));
         EXPECT_TRUE(std::regex_match(order.told, std::regex("(g?n)*gn"))) << order.told;
       }},
      {"show the panel", [&] { return cmd(PE_ENGINE_AUDIODEVICE_SHOWPANEL); }, 3,
       "PE_ENGINE_AUDIODEVICE_SHOWPANEL", {}},

      // Device lists.
      {"count the audio devices", [&] { return cmd(PE_ENGINE_AUDIODEVICE_LIST, nullptr, &count); },
       0, "PE_ENGINE_AUDIODEVICE_LIST", [&] { EXPECT_EQ(count, 5); }},
      {"count without a count", [&] { return cmd(PE_ENGINE_AUDIODEVICE_LIST); }, 1,
       "PE_ENGINE_AUDIODEVICE_LIST", {}},
      {"two audio records",
       [&] {
         sentinel();
         return cmd(PE_ENGINE_AUDIODEVICE_LIST, records, &count, 2);
       },
       0, "PE_ENGINE_AUDIODEVICE_LIST",
       [&] {
         EXPECT_EQ(count, 2);
         EXPECT_EQ(records[0].id, 0);
         EXPECT_EQ(records[0].hostApiCode, 10);  // the platform's own devices
         EXPECT_EQ(std::string(records[0].name), std::string(127, 'L'));
         EXPECT_EQ(records[0].isASIO, 0);
         EXPECT_EQ(records[0].defaultSampleRate, 44100);
         EXPECT_EQ(records[0].outputChannels, 2);
         EXPECT_EQ(records[1].id, 1);
         EXPECT_EQ(records[1].hostApiCode, 2);
         EXPECT_STREQ(records[1].name, "Fireface");
         EXPECT_EQ(records[1].isASIO, 1);
         EXPECT_EQ(records[1].defaultSampleRate, 48000);
         for (const PEAudioDeviceRecord& r : {records[0], records[1]}) {
           for (std::uint8_t byte : r.unwritten) EXPECT_EQ(byte, 0xAB);
         }
         const auto* after = reinterpret_cast<const unsigned char*>(&records[2]);
         EXPECT_TRUE(std::all_of(after, after + sizeof records[2],
                                 [](unsigned char b) { return b == 0xAB; }));
       }},
      {"every audio record",
       [&] { return cmd(PE_ENGINE_AUDIODEVICE_LIST, records, &count, 3); }, 0,
       "PE_ENGINE_AUDIODEVICE_LIST",
       [&] {
         EXPECT_EQ(count, 3);
         EXPECT_EQ(records[2].hostApiCode, 1);  // DirectSound
         EXPECT_EQ(records[2].defaultSampleRate, 44100);  // truncated
       }},
      {"a negative capacity counts as none",
       [&] {
         sentinel();
         return cmd(PE_ENGINE_AUDIODEVICE_LIST, records, &count, -3);
       },
       0, "PE_ENGINE_AUDIODEVICE_LIST",
       [&] {
         EXPECT_EQ(count, 0);
         EXPECT_EQ(records[0].id, static_cast<std::int32_t>(0xABABABAB));
       }},
      {"MIDI inputs",
       [&] { return cmd(PE_ENGINE_MIDIDEVICE_LIST, nullptr, &count, 0, 0); }, 0,
       "PE_ENGINE_MIDIDEVICE_LIST", [&] { EXPECT_EQ(count, 2); }},  // Test Keys and our own
      {"MIDI input records",
       [&] {
         PEMIDIDeviceRecord midiRecords[2];
         const int result = cmd(PE_ENGINE_MIDIDEVICE_LIST, midiRecords, &count, 2, 0);
         for (const PEMIDIDeviceRecord& r : midiRecords) {
           if (std::strcmp(r.name, "Test Keys(in)") == 0) keysId = r.id;
         }
         return result;
       },
       0, "PE_ENGINE_MIDIDEVICE_LIST", [&] { EXPECT_GE(keysId, 0); }},
      {"MIDI outputs: none", [&] { return cmd(PE_ENGINE_MIDIDEVICE_LIST, nullptr, &count, 0, 1); },
       0, "PE_ENGINE_MIDIDEVICE_LIST", [&] { EXPECT_EQ(count, 0); }},

      // Without an audio device.
      {"no device", [&] { return cmd(PE_ENGINE_AUDIODEVICE_GET, &value); }, 0,
       "PE_ENGINE_AUDIODEVICE_GET", [&] { EXPECT_EQ(value, -1); }},
      {"rates without a device",
       [&] { return cmd(PE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST, nullptr, &count); }, 1,
       "PE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST", {}},
      {"stereo pair without a device",
       [&] { return cmd(PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET, nullptr, nullptr, 0); }, 3,
       "PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET", {}},
      {"stereo pair out without a device",
       [&] { return cmd(PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_GET, &value); }, 1,
       "PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_GET", {}},
      {"latency without a device", [&] { return cmd(PE_ENGINE_AUDIODEVICE_LATENCY_GET, &latency); },
       1, "PE_ENGINE_AUDIODEVICE_LATENCY_GET", {}},
      {"start without a device", [&] { return cmd(PE_ENGINE_AUDIO_START); }, 7,
       "PE_ENGINE_AUDIO_START", {}},
      {"stop without a device", [&] { return cmd(PE_ENGINE_AUDIO_STOP); }, 7,
       "PE_ENGINE_AUDIO_STOP", {}},
      {"block size 0 is refused",
       [&] { return cmd(PE_ENGINE_AUDIODEVICE_SETTINGS, nullptr, nullptr, 48000, 0); }, 1,
       "PE_ENGINE_AUDIODEVICE_SETTINGS",
       [&] { EXPECT_EQ(context()->getDSPInfo().blockSize, 512u); }},
      {"block size 32769 is refused",
       [&] { return cmd(PE_ENGINE_AUDIODEVICE_SETTINGS, nullptr, nullptr, 48000, 32769); }, 1,
       "PE_ENGINE_AUDIODEVICE_SETTINGS",
       [&] { EXPECT_EQ(context()->getDSPInfo().sampleRateInt, 44100u); }},
      {"settings without a device take the rate as given",
       [&] { return cmd(PE_ENGINE_AUDIODEVICE_SETTINGS, nullptr, nullptr, 48000, 256); }, 0,
       "PE_ENGINE_AUDIODEVICE_SETTINGS", {}},
      {"settings out",
       [&] { return cmd(PE_ENGINE_AUDIODEVICE_SETTINGS_GET, &value, &count); }, 0,
       "PE_ENGINE_AUDIODEVICE_SETTINGS_GET",
       [&] {
         EXPECT_EQ(value, 48000);
         EXPECT_EQ(count, 256);
       }},
      {"settings out, one null", [&] { return cmd(PE_ENGINE_AUDIODEVICE_SETTINGS_GET, &value); },
       1, "PE_ENGINE_AUDIODEVICE_SETTINGS_GET", {}},

      {"a device that is not listed",
       [&] { return cmd(PE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, 99); }, 1,
       "PE_ENGINE_AUDIODEVICE_SET", [&] { EXPECT_EQ(audioDevice(), nullptr); }},

      // With the first device.
      {"choose a device", [&] { return cmd(PE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, 0); }, 0,
       "PE_ENGINE_AUDIODEVICE_SET", [&] { ASSERT_NE(audioDevice(), nullptr); }},
      {"the device", [&] { return cmd(PE_ENGINE_AUDIODEVICE_GET, &value); }, 0,
       "PE_ENGINE_AUDIODEVICE_GET", [&] { EXPECT_EQ(value, 0); }},
      {"count its rates",
       [&] { return cmd(PE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST, nullptr, &count); }, 0,
       "PE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST", [&] { EXPECT_EQ(count, 2); }},
      {"its first rate",
       [&] { return cmd(PE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST, values, &count, 1); }, 0,
       "PE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST",
       [&] {
         EXPECT_EQ(count, 1);
         EXPECT_EQ(values[0], 44100);
       }},
      {"its block sizes, negative capacity",
       [&] { return cmd(PE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST, values, &count, -1); }, 0,
       "PE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST", [&] { EXPECT_EQ(count, 0); }},
      {"its block sizes",
       [&] { return cmd(PE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST, values, &count, 16); }, 0,
       "PE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST",
       [&] {
         ASSERT_GT(count, 0);
         EXPECT_EQ(values[0], 32);
       }},
      {"a rate the device lacks",
       [&] { return cmd(PE_ENGINE_AUDIODEVICE_SETTINGS, nullptr, nullptr, 96000, 128); }, 0,
       "PE_ENGINE_AUDIODEVICE_SETTINGS",
       [&] {
         EXPECT_EQ(context()->getDSPInfo().sampleRateInt, 44100u);
         EXPECT_EQ(context()->getDSPInfo().blockSize, 128u);
         EXPECT_NE(kelo::test::readFile(kelo::test::programLogPath())
                       .find("PE_ENGINE_AUDIODEVICE_SETTINGS, current device does NOT support "
                             "96000Hz, reverting to 44100"),
                   std::string::npos);
       }},
      {"a negative stereo pair",
       [&] { return cmd(PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET, nullptr, nullptr, -1); }, 1,
       "PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET",
       [&] { EXPECT_EQ(audioDevice()->getOutputStereoPair(), 0); }},
      {"a pair beyond the outputs",
       [&] { return cmd(PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET, nullptr, nullptr, 1); }, 1,
       "PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET", {}},
      {"pair 0", [&] { return cmd(PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET, nullptr, nullptr, 0); },
       0, "PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET", {}},
      {"pair out", [&] { return cmd(PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_GET, &value); }, 0,
       "PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_GET", [&] { EXPECT_EQ(value, 0); }},
      {"latency while stopped", [&] { return cmd(PE_ENGINE_AUDIODEVICE_LATENCY_GET, &latency); },
       1, "PE_ENGINE_AUDIODEVICE_LATENCY_GET", {}},

      // The instrument and the MIDI file.
      {"add the instrument", [&] { return cmd(PE_ENGINE_INSTRUMENT_ADD); }, 3,
       "PE_ENGINE_INSTRUMENT_ADD",
       [&] {
         EXPECT_NE(graph()->getInstrument(0), nullptr);
         EXPECT_EQ(engine.count(KELO_OP_INSTANCE_CREATE), 1);
       }},
      {"add it again: the slot is taken", [&] { return cmd(PE_ENGINE_INSTRUMENT_ADD); }, 3,
       "PE_ENGINE_INSTRUMENT_ADD",
       [&] {
         // The second module was made, refused and deleted with its engine instance.
         EXPECT_EQ(engine.count(KELO_OP_INSTANCE_CREATE), 2);
         EXPECT_EQ(engine.count(KELO_OP_INSTANCE_DESTROY), 1);
       }},
      {"a MIDI file, null", [&] { return cmd(PE_ENGINE_MIDI_LOAD); }, 3, "PE_ENGINE_MIDI_LOAD", {}},
      {"a MIDI file that is not there",
       [&] { return cmd(PE_ENGINE_MIDI_LOAD, const_cast<char*>("/nonexistent/x.mid")); }, 1,
       "PE_ENGINE_MIDI_LOAD", {}},
      {"the demo MIDI file", [&] { return cmd(PE_ENGINE_MIDI_LOAD, const_cast<char*>(midiFile.c_str())); }, 0,
       "PE_ENGINE_MIDI_LOAD", {}},
      {"seek", [&] { return cmd(PE_ENGINE_MIDI_SEEK, nullptr, nullptr, 0, 0, 0, 0.5f); }, 0,
       "PE_ENGINE_MIDI_SEEK", {}},
      {"position", [&] { return cmd(PE_ENGINE_MIDI_POSITION_GET, &position); }, 0, nullptr,
       [&] { EXPECT_NEAR(position, 0.5, 0.01); }},
      {"position, null", [&] { return cmd(PE_ENGINE_MIDI_POSITION_GET); }, 1, nullptr, {}},
      {"rewind", [&] { return cmd(PE_ENGINE_MIDI_SEEK); }, 0, "PE_ENGINE_MIDI_SEEK", {}},

      // MIDI devices.
      {"enable Test Keys", [&] { return cmd(PE_ENGINE_MIDIDEVICE_ENABLE, nullptr, nullptr, keysId, 1); },
       0, "PE_ENGINE_MIDIDEVICE_ENABLE", {}},
      {"the graph holds it", [&] { return cmd(PE_ENGINE_MIDIDEVICE_GET, &value, nullptr, keysId); },
       0, "PE_ENGINE_MIDIDEVICE_GET", [&] { EXPECT_EQ(value, keysId); }},
      {"inputs in use", [&] { return cmd(PE_ENGINE_MIDIDEVICE_GETUSED, &used, nullptr, 0); }, 0,
       "PE_ENGINE_MIDIDEVICE_GETUSED", [&] { EXPECT_EQ(used, std::vector<std::int32_t>{keysId}); }},
      {"in use, null", [&] { return cmd(PE_ENGINE_MIDIDEVICE_GETUSED); }, 1,
       "PE_ENGINE_MIDIDEVICE_GETUSED", {}},

      // Playing: the settings are refused and stay as they were.
      {"start", [&] { return cmd(PE_ENGINE_AUDIO_START); }, 0, "PE_ENGINE_AUDIO_START", {}},
      {"playing", [&] { return cmd(PE_ENGINE_AUDIO_ISPLAYING, &playing); }, 0,
       "PE_ENGINE_AUDIO_ISPLAYING", [&] { EXPECT_TRUE(playing); }},
      {"start again", [&] { return cmd(PE_ENGINE_AUDIO_START); }, 7, "PE_ENGINE_AUDIO_START", {}},
      {"offline while playing", [&] { return cmd(PE_ENGINE_OFFLINE_SET, nullptr, nullptr, 1); }, 1,
       "PE_ENGINE_OFFLINE_SET", [&] { EXPECT_FALSE(context()->getDSPInfo().offline); }},
      {"another device while playing",
       [&] { return cmd(PE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, 1); }, 1,
       "PE_ENGINE_AUDIODEVICE_SET", [&] { EXPECT_EQ(audioDevice()->getDeviceId(), 0); }},
      {"no device while playing",
       [&] { return cmd(PE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, -1); }, 1,
       "PE_ENGINE_AUDIODEVICE_SET", [&] { EXPECT_NE(audioDevice(), nullptr); }},
      {"settings while playing",
       [&] { return cmd(PE_ENGINE_AUDIODEVICE_SETTINGS, nullptr, nullptr, 48000, 64); }, 1,
       "PE_ENGINE_AUDIODEVICE_SETTINGS",
       [&] {
         EXPECT_EQ(context()->getDSPInfo().sampleRateInt, 44100u);
         EXPECT_EQ(context()->getDSPInfo().blockSize, 128u);
       }},
      {"stereo pair while playing",
       [&] { return cmd(PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET, nullptr, nullptr, 0); }, 3,
       "PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET", {}},
      {"latency while playing", [&] { return cmd(PE_ENGINE_AUDIODEVICE_LATENCY_GET, &latency); },
       0, "PE_ENGINE_AUDIODEVICE_LATENCY_GET", [&] { EXPECT_GT(latency, 0.0f); }},
      {"latency, null", [&] { return cmd(PE_ENGINE_AUDIODEVICE_LATENCY_GET); }, 1,
       "PE_ENGINE_AUDIODEVICE_LATENCY_GET", {}},
      {"play the file", [&] { return cmd(PE_ENGINE_MIDI_PLAY); }, 0, "PE_ENGINE_MIDI_PLAY",
       [&] { EXPECT_TRUE(graph()->getMIDIFilePlayer()->isPlaying()); }},
      {"stop the file", [&] { return cmd(PE_ENGINE_MIDI_STOP); }, 0, "PE_ENGINE_MIDI_STOP",
       [&] { EXPECT_FALSE(graph()->getMIDIFilePlayer()->isPlaying()); }},
      {"stop", [&] { return cmd(PE_ENGINE_AUDIO_STOP); }, 0, "PE_ENGINE_AUDIO_STOP",
       [&] {
         ASSERT_EQ(cmd(PE_ENGINE_AUDIO_ISPLAYING, &playing), 0);
         EXPECT_FALSE(playing);
       }},
      {"stop again", [&] { return cmd(PE_ENGINE_AUDIO_STOP); }, 7, "PE_ENGINE_AUDIO_STOP", {}},

      // The instrument's state.
      {"save the chunk",
       [&] { return cmd(PE_ENGINE_INSTRUMENT_CHUNK_SAVE, &chunk, &chunkSize, 0); }, 0,
       "PE_ENGINE_INSTRUMENT_CHUNK_SAVE",
       [&] {
         ASSERT_NE(chunk, nullptr);
         ASSERT_GT(chunkSize, 0);
         savedChunk.assign(chunk, chunk + chunkSize);
       }},
      {"end of the chunk", [&] { return cmd(PE_ENGINE_INSTRUMENT_CHUNK_SAVE_END, nullptr, nullptr, 0); },
       1, "PE_ENGINE_INSTRUMENT_CHUNK_SAVE_END", {}},
      {"load a chunk of length 0",
       [&] { return cmd(PE_ENGINE_INSTRUMENT_CHUNK_LOAD, savedChunk.data(), nullptr, 0, 0, 0); },
       1, "PE_ENGINE_INSTRUMENT_CHUNK_LOAD",
       [&] { EXPECT_EQ(engine.count(KELO_OP_CHUNK_SET), 0); }},
      {"load the chunk",
       [&] {
         return cmd(PE_ENGINE_INSTRUMENT_CHUNK_LOAD, savedChunk.data(), nullptr, 0, 0,
                    static_cast<int>(savedChunk.size()));
       },
       0, "PE_ENGINE_INSTRUMENT_CHUNK_LOAD", [&] { EXPECT_EQ(engine.count(KELO_OP_CHUNK_SET), 1); }},
      {"the UI of an empty slot",
       [&] { return cmd(PE_ENGINE_INSTRUMENT_GUI_SHOW, nullptr, nullptr, 1); }, 1,
       "PE_ENGINE_INSTRUMENT_GUI_SHOW", {}},
      {"close the UI", [&] { return cmd(PE_ENGINE_INSTRUMENT_GUI_CLOSE, nullptr, nullptr, 0); }, 1,
       "PE_ENGINE_INSTRUMENT_GUI_CLOSE", {}},

      // Recording (libsndfile is in the program's resources).
      {"recording file, null", [&] { return cmd(PE_ENGINE_RECORDING_FILE_SET); }, 1,
       "PE_ENGINE_RECORDING_FILE_SET", {}},
      {"start without a file", [&] { return cmd(PE_ENGINE_RECORDING_START); }, 1,
       "PE_ENGINE_RECORDING_START", {}},
      {"recording file",
       [&] {
         return cmd(PE_ENGINE_RECORDING_FILE_SET, const_cast<char*>(recording.c_str()), nullptr, 0,
                    24, 1);
       },
       0, "PE_ENGINE_RECORDING_FILE_SET", {}},
      {"start recording", [&] { return cmd(PE_ENGINE_RECORDING_START); }, 0,
       "PE_ENGINE_RECORDING_START", {}},
      {"recording", [&] { return cmd(PE_ENGINE_RECORDING_ISRECORDING, &value); }, 0, nullptr,
       [&] { EXPECT_EQ(value, 1); }},
      {"stop recording", [&] { return cmd(PE_ENGINE_RECORDING_STOP); }, 0,
       "PE_ENGINE_RECORDING_STOP", {}},
      {"not recording", [&] { return cmd(PE_ENGINE_RECORDING_ISRECORDING, &value); }, 0, nullptr,
       [&] { EXPECT_EQ(value, 0); }},
      {"recording state, null", [&] { return cmd(PE_ENGINE_RECORDING_ISRECORDING); }, 1, nullptr,
       {}},

      // Offline and back.
      {"offline", [&] { return cmd(PE_ENGINE_OFFLINE_SET, nullptr, nullptr, 1); }, 0,
       "PE_ENGINE_OFFLINE_SET",
       [&] {
         EXPECT_TRUE(context()->getDSPInfo().offline);
         EXPECT_NE(vantor::Singleton<vantor::DeviceManager>::instance()->getOfflineThread(context()),
                   nullptr);
       }},
      {"real time", [&] { return cmd(PE_ENGINE_OFFLINE_SET, nullptr, nullptr, 7); }, 0,
       "PE_ENGINE_OFFLINE_SET",
       [&] {
         EXPECT_FALSE(context()->getDSPInfo().offline);
         EXPECT_EQ(vantor::Singleton<vantor::DeviceManager>::instance()->getOfflineThread(context()),
                   nullptr);
       }},
      {"offline again, left so at shut-down",
       [&] { return cmd(PE_ENGINE_OFFLINE_SET, nullptr, nullptr, 1); }, 0,
       "PE_ENGINE_OFFLINE_SET", {}},

      // Taking things out.
      {"disable Test Keys",
       [&] { return cmd(PE_ENGINE_MIDIDEVICE_ENABLE, nullptr, nullptr, keysId, -1); }, 0,
       "PE_ENGINE_MIDIDEVICE_ENABLE",
       [&] { EXPECT_EQ(graph()->getMIDIDevice(keysId), nullptr); }},
      {"disable a device the graph lacks",
       [&] { return cmd(PE_ENGINE_MIDIDEVICE_ENABLE, nullptr, nullptr, 4242, -1); }, 0,
       "PE_ENGINE_MIDIDEVICE_ENABLE", {}},
      {"enable an unknown device",
       [&] { return cmd(PE_ENGINE_MIDIDEVICE_ENABLE, nullptr, nullptr, 4242, 1); }, 1,
       "PE_ENGINE_MIDIDEVICE_ENABLE", {}},
      {"no MIDI device", [&] { return cmd(PE_ENGINE_MIDIDEVICE_GET, &value, nullptr, keysId); }, 0,
       "PE_ENGINE_MIDIDEVICE_GET", [&] { EXPECT_EQ(value, -1); }},
      {"remove an empty slot", [&] { return cmd(PE_ENGINE_INSTRUMENT_REMOVE, nullptr, nullptr, 3); },
       1, "PE_ENGINE_INSTRUMENT_REMOVE", {}},
      {"remove the instrument",
       [&] { return cmd(PE_ENGINE_INSTRUMENT_REMOVE, nullptr, nullptr, 0); }, 0,
       "PE_ENGINE_INSTRUMENT_REMOVE",
       [&] { EXPECT_EQ(engine.count(KELO_OP_INSTANCE_DESTROY), 2); }},
      {"add it back for shut-down to delete", [&] { return cmd(PE_ENGINE_INSTRUMENT_ADD); }, 3,
       "PE_ENGINE_INSTRUMENT_ADD", {}},

      {"shut down", [&] { return cmd(PE_ENGINE_SHUTDOWN); }, 0, "PE_ENGINE_SHUTDOWN",
       [&] {
         EXPECT_FALSE(vantor::Singleton<vantor::EngineManager>::isCreated());
         EXPECT_FALSE(vantor::Singleton<vantor::GraphManager>::isCreated());
         EXPECT_FALSE(vantor::Singleton<vantor::DeviceManager>::isCreated());
         EXPECT_EQ(engine.count(KELO_OP_INSTANCE_DESTROY), 3);
         // The disk thread and the offline thread are gone with the back end.
         EXPECT_EQ(kelo::test::threadIds(), threadsBefore);
         EXPECT_EQ(engine.findings(), 0);
         const std::string log = kelo::test::readFile(kelo::test::programLogPath());
         ASSERT_FALSE(log.empty());
         EXPECT_EQ(log.back(), '@');
         EXPECT_NE(log.find("PE_ENGINE_INITIALIZE OK"), std::string::npos);
       }},
      {"a command after shut-down opens a new log", [&] { return cmd(PE_ENGINE_VERSION, version); },
       0, "PE_ENGINE_VERSION",
       [&] {
         EXPECT_TRUE(vantor::Singleton<vantor::EngineManager>::isCreated());
         const std::vector<std::string> lines =
             kelo::test::infoTexts(kelo::test::readFile(kelo::test::programLogPath()));
         ASSERT_GE(lines.size(), 3u);
         EXPECT_NE(lines[0].find(" opened on: "), std::string::npos);
         EXPECT_EQ(lines[2], "PE_ENGINE_VERSION");
         EXPECT_EQ(std::count(lines.begin(), lines.end(), "PE_ENGINE_INITIALIZE"), 0);
       }},
      {"and shuts down with nothing built", [&] { return cmd(PE_ENGINE_SHUTDOWN); }, 0,
       "PE_ENGINE_SHUTDOWN", {}},
  };
  runScript(script);
  EXPECT_EQ(kelo::test::readFile(kelo::test::programLogPath()).back(), '@');
  // The 24-bit extensible WAV the recording made (format 0, bits 24, extensible 1).
  const std::string header = kelo::test::readFile(recording).substr(0, 4);
  EXPECT_EQ(header, "RIFF");
}

TEST_F(CommandInterface, WithoutLibsndfileRecordingAnswers11AndChangesNothing) {
  kelo::test::TempDir noResources;
  kelo::test::TempDir files;
  const std::string path = files.file("never.aiff");
  // The binding is made before the back end binds it: from a folder without the bundle.
  vantor::Singleton<vantor::Sndfile>::instance()->setResourcesFolder(noResources.path());
  ASSERT_EQ(cmd(PE_ENGINE_INITIALIZE), 0);
  EXPECT_EQ(cmd(PE_ENGINE_RECORDING_FILE_SET, const_cast<char*>(path.c_str()), nullptr, 1, 16, 0),
            11);
  EXPECT_EQ(cmd(PE_ENGINE_RECORDING_FILE_SET), 1);  // the missing path is told first
  EXPECT_EQ(cmd(PE_ENGINE_RECORDING_START), 11);
  EXPECT_EQ(cmd(PE_ENGINE_RECORDING_STOP), 11);
  std::int32_t recording = -1;
  EXPECT_EQ(cmd(PE_ENGINE_RECORDING_ISRECORDING, &recording), 0);
  EXPECT_EQ(recording, 0);
  EXPECT_EQ(cmd(PE_ENGINE_SHUTDOWN), 0);
  EXPECT_FALSE(::fileExists(path));
}

TEST_F(CommandInterface, MIDIDeviceThatCannotOpenIsDeletedAndAnswers9) {
  ASSERT_EQ(cmd(PE_ENGINE_INITIALIZE), 0);
  const int keysId = testKeysId();
  ASSERT_GE(keysId, 0);
  // Unplugged after the list was made, before the program has heard of it.
  midi.removeEndpoint("src-keys");
  EXPECT_EQ(cmd(PE_ENGINE_MIDIDEVICE_ENABLE, nullptr, nullptr, keysId, 1), 9);
  std::int32_t held = 0;
  EXPECT_EQ(cmd(PE_ENGINE_MIDIDEVICE_GET, &held, nullptr, keysId), 0);
  EXPECT_EQ(held, -1);
  EXPECT_NE(kelo::test::readFile(kelo::test::programLogPath())
                .find("MIDIDevice can't be loaded!, choose another"),
            std::string::npos);
  // The record is free again: the device was released when it was deleted.
  EXPECT_TRUE(vantor::Singleton<vantor::DeviceManager>::instance()->getMIDIDeviceInfo(keysId)->free);
  EXPECT_EQ(cmd(PE_ENGINE_SHUTDOWN), 0);
}

// Initialised, shut down and initialised again in one process, with fewer audio devices and
// other MIDI devices the second time: the second initialisation lists and uses the devices as
// they are then, and no command reaches a record of the first.
TEST_F(CommandInterface, ASecondInitialisationSeesTheDevicesAsTheyAreNow) {
  ASSERT_EQ(cmd(PE_ENGINE_INITIALIZE), 0);
  std::int32_t count = -1;
  ASSERT_EQ(cmd(PE_ENGINE_AUDIODEVICE_LIST, nullptr, &count), 0);
  ASSERT_EQ(count, 5);
  ASSERT_EQ(cmd(PE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, 4), 0);
  ASSERT_GE(testKeysId(), 0);
  ASSERT_EQ(cmd(PE_ENGINE_SHUTDOWN), 0);

  // Two devices now, on other host APIs; the test keyboard is gone and another one is there.
  FakePortAudio fewer;
  const int jack = fewer.addHostApi(paJACK, "JACK Audio Connection Kit");
  const int wasapi = fewer.addHostApi(paWASAPI, "WASAPI");
  FakePortAudio::Device first;
  first.name = "system";
  first.hostApi = jack;
  first.defaultSampleRate = 48000;
  fewer.addDevice(first);
  FakePortAudio::Device second;
  second.name = "Monitors";
  second.hostApi = wasapi;
  second.outs = 8;
  second.defaultSampleRate = 96000;
  fewer.addDevice(second);
  vantor::setPortAudio(&fewer);
  midi.removeEndpoint("src-keys");
  kelo::midi::EndpointDescription pads;
  pads.key = "src-pads";
  pads.deviceKey = "dev-pads";
  pads.deviceName = pads.name = "Test Pads";
  pads.isSource = true;
  midi.addEndpoint(pads);

  ASSERT_EQ(cmd(PE_ENGINE_INITIALIZE), 0);
  ASSERT_EQ(cmd(PE_ENGINE_AUDIODEVICE_LIST, nullptr, &count), 0);
  EXPECT_EQ(count, 2);
  PEAudioDeviceRecord records[5];
  std::memset(records, 0xAB, sizeof records);
  ASSERT_EQ(cmd(PE_ENGINE_AUDIODEVICE_LIST, records, &count, 5), 0);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(records[0].id, 0);
  EXPECT_STREQ(records[0].name, "system");
  EXPECT_EQ(records[0].hostApiCode, 10);
  EXPECT_EQ(records[0].defaultSampleRate, 48000);
  EXPECT_EQ(records[1].id, 1);
  EXPECT_STREQ(records[1].name, "Monitors");
  EXPECT_EQ(records[1].hostApiCode, 3);
  EXPECT_EQ(records[1].outputChannels, 8);
  EXPECT_EQ(records[2].id, static_cast<std::int32_t>(0xABABABAB));

  // An index of the first list is not a device any more; one of the second list is.
  EXPECT_EQ(cmd(PE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, 4), 1);
  EXPECT_EQ(audioDevice(), nullptr);
  ASSERT_EQ(cmd(PE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, 1), 0);
  ASSERT_NE(audioDevice(), nullptr);
  EXPECT_EQ(audioDevice()->getDeviceId(), 1);

  PEMIDIDeviceRecord midiRecords[4];
  std::int32_t listed = -1;
  ASSERT_EQ(cmd(PE_ENGINE_MIDIDEVICE_LIST, midiRecords, &listed, 4, 0), 0);
  ASSERT_LE(listed, 4);
  std::vector<std::string> names;
  int padsId = -1;
  for (int i = 0; i < listed; ++i) {
    names.emplace_back(midiRecords[i].name);
    if (names.back() == "Test Pads(in)") padsId = midiRecords[i].id;
  }
  EXPECT_EQ(std::count(names.begin(), names.end(), "Test Pads(in)"), 1) << ::testing::PrintToString(names);
  EXPECT_EQ(std::count(names.begin(), names.end(), "Test Keys(in)"), 0) << ::testing::PrintToString(names);
  EXPECT_EQ(listed, 2);  // Test Pads and our own
  EXPECT_EQ(cmd(PE_ENGINE_MIDIDEVICE_ENABLE, nullptr, nullptr, padsId, 1), 0);
  EXPECT_EQ(cmd(PE_ENGINE_SHUTDOWN), 0);
  vantor::setPortAudio(&pa);
}

// The JACK server ends while audio plays: the idle (263) notices it once, the server's
// devices are no longer listed, and stopping and shutting down never wait on the dead stream.
TEST_F(CommandInterface, AnAudioServerThatGoesIsToldOnceAndItsDevicesAreNoLongerListed) {
  FakePortAudio server;
  const int jack = server.addHostApi(paJACK, "JACK Audio Connection Kit");
  const int alsa = server.addHostApi(paALSA, "ALSA");
  for (const auto& [name, hostApi] :
       {std::pair{"system", jack}, {"other client", jack}, {"Card", alsa}}) {
    FakePortAudio::Device device;
    device.name = name;
    device.hostApi = hostApi;
    server.addDevice(device);
  }
  vantor::setPortAudio(&server);
  vantor::RecordingAlertBackend alerts;
  vantor::setAlertBackend(&alerts);
  ASSERT_EQ(cmd(PE_ENGINE_INITIALIZE), 0);
  ASSERT_EQ(cmd(PE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, 0), 0);
  ASSERT_EQ(cmd(PE_ENGINE_AUDIO_START), 0);
  std::int32_t count = -1;
  EXPECT_EQ(cmd(PE_ENGINE_IDLE), 3);
  ASSERT_EQ(cmd(PE_ENGINE_AUDIODEVICE_LIST, nullptr, &count), 0);
  EXPECT_EQ(count, 3);

  server.endStream();
  EXPECT_EQ(cmd(PE_ENGINE_IDLE), 3);
  EXPECT_EQ(cmd(PE_ENGINE_IDLE), 3);
  ASSERT_EQ(alerts.shown().size(), 1u);
  EXPECT_NE(alerts.shown()[0].text.find("\"system\" has stopped"), std::string::npos);
  PEAudioDeviceRecord records[3];
  ASSERT_EQ(cmd(PE_ENGINE_AUDIODEVICE_LIST, records, &count, 3), 0);
  ASSERT_EQ(count, 1);
  EXPECT_STREQ(records[0].name, "Card");

  EXPECT_EQ(cmd(PE_ENGINE_AUDIO_STOP), 0);
  EXPECT_EQ(cmd(PE_ENGINE_SHUTDOWN), 0);
  vantor::setAlertBackend(nullptr);
  vantor::setPortAudio(&pa);
  const std::vector<std::string> calls = server.calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "close"), 0);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "terminate"), 0);
}

// 530 takes the path, then format (i1), bits (i2) and extensible (i3): each written file is read
// back with libsndfile, so swapping any two of the integers is seen.
TEST_F(CommandInterface, RecordingFileSetTakesFormatBitsAndExtensibleInThatOrder) {
  kelo::test::TempDir files;
  ASSERT_EQ(cmd(PE_ENGINE_INITIALIZE), 0);
  const struct {
    int format, bits, extensible;
    int expected;  // libsndfile's format of the file written
  } table[] = {
      {0, 16, 0, SF_FORMAT_WAV | SF_FORMAT_PCM_16},
      {0, 24, 0, SF_FORMAT_WAV | SF_FORMAT_PCM_24},
      {0, 32, 0, SF_FORMAT_WAV | SF_FORMAT_FLOAT},
      {0, 16, 1, SF_FORMAT_WAVEX | SF_FORMAT_PCM_16},
      {0, 24, 1, SF_FORMAT_WAVEX | SF_FORMAT_PCM_24},
      {0, 32, 1, SF_FORMAT_WAVEX | SF_FORMAT_FLOAT},
      {1, 16, 0, SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
      {1, 24, 0, SF_FORMAT_AIFF | SF_FORMAT_PCM_24},
      {1, 32, 0, SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
      {1, 24, 1, SF_FORMAT_AIFF | SF_FORMAT_PCM_24},  // extensible is a WAV matter
  };
  int n = 0;
  for (const auto& row : table) {
    SCOPED_TRACE("format " + std::to_string(row.format) + ", bits " + std::to_string(row.bits) +
                 ", extensible " + std::to_string(row.extensible));
    const std::string path = files.file("take" + std::to_string(n++));
    ASSERT_EQ(cmd(PE_ENGINE_RECORDING_FILE_SET, const_cast<char*>(path.c_str()), nullptr,
                  row.format, row.bits, row.extensible),
              0);
    ASSERT_EQ(cmd(PE_ENGINE_RECORDING_START), 0);
    ASSERT_EQ(cmd(PE_ENGINE_RECORDING_STOP), 0);
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    sf_close(file);
    EXPECT_EQ(info.format, row.expected) << std::hex << info.format;
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplerate, 44100);
  }
  EXPECT_EQ(cmd(PE_ENGINE_SHUTDOWN), 0);
}

// The error lines of the device lists, reached through the PortAudio fake: a device whose
// every format check is refused has no rates, so 284 fails (with "failed1" when only counting,
// "failed2" when filling) and 286 finds a severe device error. Block sizes never fail
// (listAvailableBufferSizes always answers true): 285's "failed" lines stay
// unreachable, and a device whose range cannot be asked lists no sizes.
TEST_F(CommandInterface, DeviceListsThatCannotBeMadeWriteTheirErrorLines) {
  ASSERT_EQ(cmd(PE_ENGINE_INITIALIZE), 0);
  ASSERT_EQ(cmd(PE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, 0), 0);
  pa.formatAnswer = paInvalidSampleRate;
  const std::string log = kelo::test::programLogPath();
  // The error lines a command added, without level, thread and time.
  auto errorsOf = [&](const std::function<int()>& call, int expected) {
    const std::string before = kelo::test::readFile(log);
    EXPECT_EQ(call(), expected);
    const std::string added = kelo::test::readFile(log).substr(before.size());
    std::vector<std::string> errors;
    std::size_t start = 0;
    while (start < added.size()) {
      std::size_t end = added.find('\n', start);
      if (end == std::string::npos) end = added.size();
      const std::string line = added.substr(start, end - start);
      if (line.rfind("E:", 0) == 0) {
        const std::size_t second = line.find(':', 2);
        const std::size_t third = line.find(':', second + 1);
        errors.push_back(line.substr(third + 1));
      }
      start = end + 1;
    }
    return errors;
  };
  std::int32_t count = -7;
  std::int32_t values[16] = {};
  using Lines = std::vector<std::string>;
  EXPECT_EQ(errorsOf([&] { return cmd(PE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST, nullptr, &count); }, 1),
            Lines{"PE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST failed1"});
  EXPECT_EQ(count, -7);
  EXPECT_EQ(errorsOf([&] { return cmd(PE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST, values, &count, 16); },
                     1),
            Lines{"PE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST failed2"});
  EXPECT_EQ(count, -7);
  EXPECT_EQ(errorsOf([&] { return cmd(PE_ENGINE_AUDIODEVICE_SETTINGS, nullptr, nullptr, 48000, 256); },
                     1),
            Lines{"PE_ENGINE_AUDIODEVICE_SETTINGS, SEVERE DEVICE ERROR"});
  EXPECT_EQ(context()->getDSPInfo().sampleRateInt, 44100u);
  EXPECT_EQ(context()->getDSPInfo().blockSize, 512u);

  // Block sizes: listed whatever the format checks say (32 to 8192 for a device PortAudio
  // adapts to), never an error line.
  EXPECT_EQ(errorsOf([&] { return cmd(PE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST, nullptr, &count); }, 0),
            Lines{});
  EXPECT_EQ(count, 9);
  EXPECT_EQ(errorsOf([&] { return cmd(PE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST, values, &count, 16); },
                     0),
            Lines{});
  EXPECT_EQ(count, 9);
  EXPECT_EQ(values[8], 8192);
  // A device outside ALSA and JACK has no range to ask: no sizes, still no error.
  ASSERT_EQ(cmd(PE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, 1), 0);
  EXPECT_EQ(errorsOf([&] { return cmd(PE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST, values, &count, 16); },
                     0),
            Lines{});
  EXPECT_EQ(count, 0);
  EXPECT_EQ(cmd(PE_ENGINE_SHUTDOWN), 0);
}

TEST(ProgramLog, WithoutAUserDataFolderTheLogIsInTheCurrentFolder) {
  kelo::test::requirePreferenceSandbox();
  kelo::test::TempDir place;
  ASSERT_TRUE(kelo::test::writeFile(place.file("not-a-folder"), "x"));
  kelo::test::ScopedEnvironment environment;
  environment.set("XDG_DATA_HOME", place.file("not-a-folder"));
  char* previous = ::getcwd(nullptr, 0);
  ASSERT_EQ(::chdir(place.path().c_str()), 0);

  ::testing::internal::CaptureStdout();
  const int version = cmd(PE_ENGINE_VERSION, std::vector<char>(32).data());
  const int shutdown = cmd(PE_ENGINE_SHUTDOWN);
  const std::string terminal = ::testing::internal::GetCapturedStdout();
  ASSERT_EQ(::chdir(previous), 0);
  std::free(previous);

  EXPECT_EQ(version, 0);
  EXPECT_EQ(shutdown, 0);
  EXPECT_EQ(terminal, "can't get app support path\n");
  const std::string log = kelo::test::readFile(place.file(std::string(conf.productName) +
                                                          " Standalone.log"));
  const std::vector<std::string> lines = kelo::test::infoTexts(log);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front().rfind(std::string(conf.productName) + " Standalone.log opened on: ", 0),
            0u);
  EXPECT_EQ(log.back(), '@');
}

TEST(DeviceRecords, NamesAreCutToTheirFields) {
  PEMIDIDeviceRecord record;
  std::memset(&record, 0xAB, sizeof record);
  vantor::fillMIDIDeviceRecord(record, 12, std::string(300, 'm'));
  EXPECT_EQ(record.id, 12);
  EXPECT_EQ(std::string(record.name), std::string(255, 'm'));
  vantor::fillMIDIDeviceRecord(record, 3, "Keys(in)");
  EXPECT_STREQ(record.name, "Keys(in)");
}

TEST(DeviceRecords, HostApiCodesForTheFrontEnd) {
  // The device manager's codes: 1 DirectSound, 0 MME, 2 ASIO, 3 the platform's, 4 WASAPI.
  const std::vector<std::pair<int, int>> table = {{1, 1}, {0, 0}, {2, 2}, {3, 10}, {4, 3}, {9, 0}};
  for (const auto& [manager, frontEnd] : table) {
    EXPECT_EQ(vantor::frontEndHostApiCode(manager), frontEnd) << manager;
  }
}

// The device manager takes a device that vanishes while in use out of the graph, and puts it
// back when it returns, through the command interface.
TEST_F(CommandInterface, MIDIDeviceUnpluggedAndBackIsReEnabledThroughTheCommands) {
  ASSERT_EQ(cmd(PE_ENGINE_INITIALIZE), 0);
  const int keysId = testKeysId();
  ASSERT_GE(keysId, 0);
  ASSERT_EQ(cmd(PE_ENGINE_MIDIDEVICE_ENABLE, nullptr, nullptr, keysId, 1), 0);

  midi.removeEndpoint("src-keys");
  MIDI_DispatchNotifications();
  std::vector<std::int32_t> used;
  ASSERT_EQ(cmd(PE_ENGINE_MIDIDEVICE_GETUSED, &used, nullptr, 0), 0);
  EXPECT_TRUE(used.empty());

  plugTestKeys();
  MIDI_DispatchNotifications();
  ASSERT_EQ(cmd(PE_ENGINE_MIDIDEVICE_GETUSED, &used, nullptr, 0), 0);
  ASSERT_EQ(used.size(), 1u);
  EXPECT_NE(used.front(), keysId);  // the returning endpoint has a new id
  EXPECT_EQ(graph()->getMIDIDevice(used.front())->getDeviceId(), used.front());
  EXPECT_NE(kelo::test::readFile(kelo::test::programLogPath())
                .find("newly connected device is re-enabled : Test Keys"),
            std::string::npos);
  EXPECT_EQ(cmd(PE_ENGINE_SHUTDOWN), 0);
}

}  // namespace
