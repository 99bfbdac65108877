// The device manager over the scripted PortAudio and MIDI system: the audio records of every
// kind of device, PortAudio failures, output devices of a context, play and stop with their
// order, MIDI naming and hot-plug with the re-enabling through the command interface.
#include <map>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "VNL/source/Alerts.h"
#include "standalone/host/MIDIDevice.h"
#include "tests/standalone/devices/DeviceTestSupport.h"

namespace {

using kelo::test::DeviceBackEnd;
using kelo::test::FakePortAudio;
using kelo::midi::EndpointDescription;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class DeviceManager : public DeviceBackEnd {
 protected:
  FakePortAudio::Device device(const std::string& name, int hostApi, int ins, int outs) {
    FakePortAudio::Device d;
    d.name = name;
    d.hostApi = hostApi;
    d.ins = ins;
    d.outs = outs;
    return d;
  }

  /// Lines of the log in order, each cut after its time stamp.
  std::vector<std::string> linesContaining(const std::vector<std::string>& fragments) {
    std::vector<std::string> out;
    const std::string text = log.text();
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      const std::string line = text.substr(start, end - start);
      for (const std::string& f : fragments) {
        if (line.find(f) != std::string::npos) {
          std::size_t text = 0;  // after "L:thread:micros:"
          for (int i = 0; i < 3; ++i) text = line.find(':', text) + 1;
          out.push_back(line.substr(0, 2) + line.substr(text));
          break;
        }
      }
      start = end + 1;
    }
    return out;
  }
};

TEST_F(DeviceManager, RecordsEveryPortAudioDeviceAndOffersOnlyUsableOutputs) {
  pa.addDevice(device("Duplex", alsa, 2, 2));        // 0
  pa.addDevice(device("Mic", alsa, 2, 0));           // 1
  pa.addDevice(device("system", jack, 0, 8));        // 2
  pa.addDevice(device("Mono", alsa, 0, 1));          // 3
  pa.addDevice(device("Nothing", alsa, 0, 0));       // 4
  pa.addDevice(device("/dev/dsp", oss, 2, 2));       // 5
  pa.addDevice(device("Missing", alsa, 2, 2));       // 6
  pa.addDevice(device("Throwing", alsa, 2, 2));      // 7
  pa.missingDevices = {6};
  pa.throwingDevices = {7};
  vantor::DeviceManager* dm = startManager();
  ASSERT_EQ(dm->getNumAudioDevices(), 8);

  struct Expected {
    const char* name;
    vantor::DeviceIOType ioType;
    int inputIndex, outputIndex, hostApiCode;
    bool free, valid, selectable;
  };
  const Expected table[] = {
      {"Duplex", vantor::kDeviceInputOutput, 0, 0, 3, true, true, true},
      {"Mic", vantor::kDeviceInput, 1, -1, 3, true, true, false},
      {"system", vantor::kDeviceOutput, -1, 2, 3, true, true, true},
      {"Mono", vantor::kDeviceOutput, -1, 3, 3, true, false, false},
      {"Nothing(BAD)", vantor::kDeviceInput, -1, -1, 3, true, true, false},
      {"", vantor::kDeviceInput, -1, -1, 0, true, false, false},
      {"", vantor::kDeviceInput, -1, -1, 0, false, false, false},
      {"", vantor::kDeviceInput, -1, -1, 0, false, false, false},
  };
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    const vantor::DMAudioDeviceInfo* r = dm->getAudioDeviceInfo(i);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->name, table[i].name);
    EXPECT_EQ(r->ioType, table[i].ioType);
    EXPECT_EQ(r->inputIndex, table[i].inputIndex);
    EXPECT_EQ(r->outputIndex, table[i].outputIndex);
    EXPECT_EQ(r->hostApiCode, table[i].hostApiCode);
    EXPECT_EQ(r->free, table[i].free);
    EXPECT_EQ(r->valid, table[i].valid);
    EXPECT_EQ(r->selectable, table[i].selectable);
  }
  EXPECT_EQ(dm->getAudioDeviceInfo(8), nullptr);
  EXPECT_EQ(dm->getAudioDeviceInfo(-1), nullptr);
  EXPECT_EQ(dm->getAudioDeviceInfo(2)->hostApiName, "JACK Audio Connection Kit");
  EXPECT_EQ(dm->getAudioDeviceInfo(4)->portAudioName, "Nothing");
  EXPECT_EQ(dm->getAudioDeviceInfo(2)->maxOutputChannels, 8);
  EXPECT_DOUBLE_EQ(dm->getAudioDeviceInfo(0)->defaultHighOutputLatency, 0.06);

  EXPECT_TRUE(log.has('I', "Using PortAudio fake"));
  EXPECT_TRUE(log.has('I', "Found 8 :"));
  EXPECT_TRUE(log.has('I', "Name = Duplex Max Inputs   = 2, Max Outputs = 2"));
  EXPECT_TRUE(log.has('I', "Default SampleRate:48000"));
  EXPECT_TRUE(log.has('I', "mono output device, do not use!"));
  EXPECT_TRUE(log.has('E', "This device is way screwed up!"));
  EXPECT_TRUE(log.has('E', "Dev:5 unsupported host API(7) skipping"));
  EXPECT_TRUE(log.has('E', "Dev:6 pointer is null! skipping device"));
  EXPECT_TRUE(log.has('E', " has caused an unknown exception while fetching info from it"));

  vantor::AudioDeviceFactory factory;
  std::vector<int> ids;
  factory.listAudioDevicesID(ids);
  EXPECT_THAT(ids, ElementsAre(0, 2));
}

TEST_F(DeviceManager, PortAudioFailuresLeaveNoAudioDevices) {
  struct Case {
    const char* name;
    void (*script)(FakePortAudio&);
    std::vector<std::pair<char, std::string>> lines;
  };
  const Case cases[] = {
      {"no devices", [](FakePortAudio&) {}, {{'I', "Found 0 :"}}},
      {"initialise fails",
       [](FakePortAudio& p) {
         p.initializeAnswer = paNotInitialized;
         p.deviceCountOverride = paNotInitialized;
       },
       {{'E', "Pa_Initialize Error number: -10000 Error message: PortAudio not initialized"},
        {'I', "Passed Pa_Initialize()"},
        {'E', "ERROR: Pa_CountDevices returned -10000"},
        {'E', "An error occured while using the portaudio stream"},
        {'E', "Error number: -10000 Error message: PortAudio not initialized"}}},
      {"initialise throws", [](FakePortAudio& p) { p.initializeThrows = true; },
       {{'I', "Unknown exception while calling Pa_Initialize()!"}, {'I', "Passed Pa_Initialize()"}}},
      {"count throws", [](FakePortAudio& p) { p.deviceCountThrows = true; },
       {{'E', "Unknown exception while calling Pa_CountDevices()!"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    {
      FakePortAudio fresh;
      kelo::midi::FakeMIDIBackend freshMIDI;
      c.script(fresh);
      kelo::test::LogCapture caseLog;
      vantor::DeviceManager dm;
      dm.init();
      EXPECT_EQ(dm.getNumAudioDevices(), 0);
      EXPECT_EQ(dm.getAudioDeviceInfo(0), nullptr);
      for (const auto& [level, text] : c.lines) EXPECT_TRUE(caseLog.has(level, text)) << text;
      EXPECT_TRUE(caseLog.has('I', "Now enumerating MIDI Devices...")) << "MIDI is listed anyway";
      MIDI_Terminate();
    }
    vantor::setPortAudio(&pa);
  }
}

TEST_F(DeviceManager, AContextHasAtMostOneOutputDevice) {
  addOutput("A");
  addOutput("B");
  pa.addDevice(device("Mic", alsa, 2, 0));
  vantor::DeviceManager* dm = startManager();
  EXPECT_FALSE(dm->setAudioDeviceMaster(&context, 2)) << "no output";
  EXPECT_TRUE(dm->setAudioDeviceMaster(&context, 0));
  EXPECT_FALSE(dm->setAudioDeviceMaster(&context, 1));
  dm->releaseAudioDevice(&context, 1);
  EXPECT_FALSE(dm->setAudioDeviceMaster(&context, 1)) << "only the master's release frees it";
  dm->releaseAudioDevice(&context, 0);
  EXPECT_TRUE(dm->setAudioDeviceMaster(&context, 1));
  vantor::Instance other;
  EXPECT_FALSE(dm->setAudioDeviceMaster(&other, 0)) << "a context never added";
}

TEST_F(DeviceManager, PlayAndStopRunInTheirOrderAndRefuseRepeats) {
  addOutput("Card");
  vantor::DeviceManager* dm = startManager();
  kelo::test::ConstantRender render;
  vantor::AudioDevice* device = makeDevice(0, &render);
  ASSERT_NE(device, nullptr);
  EXPECT_FALSE(dm->getAudioDeviceInfo(0)->free);

  EXPECT_TRUE(dm->playStopReq(&context, true));
  EXPECT_TRUE(dm->isPlaying(&context, true));
  EXPECT_TRUE(device->isPlaying());
  EXPECT_FALSE(dm->playStopReq(&context, true));
  EXPECT_TRUE(dm->isPlaying(&context, false)) << "a refused play changes nothing";
  EXPECT_TRUE(dm->playStopReq(&context, false));
  EXPECT_FALSE(dm->isPlaying(&context, true));
  EXPECT_FALSE(device->isPlaying());
  EXPECT_FLOAT_EQ(dm->getCpuUsage(&context), 0.0f);
  EXPECT_FALSE(dm->playStopReq(&context, false));

  EXPECT_THAT(linesContaining({"PSR LOCK", "playReq", "stopReq", "privPlay", "privStop",
                               "has received Play", "has Stopped!", "no play", "no stop"}),
              ElementsAre("I:###### PSR LOCK ACQUIRED ######", "I:playReq 1", "I:playReq 2",
                          "I:DeviceManager::privPlay()", "I:Card, has received Play command...",
                          "I:playReq 3", "I:###### PSR LOCK RELEASED ###### sc:1",
                          "I:###### PSR LOCK ACQUIRED ######", "E:no play when playing",
                          "I:###### PSR LOCK RELEASED ###### sc:0",
                          "I:###### PSR LOCK ACQUIRED ######", "I:stopReq 1",
                          "I:DeviceManager::privStop()", "I:Card has Stopped!",
                          "I:DeviceManager::privStop(), exiting, stateChanged:1", "I:stopReq 2",
                          "I:stopReq 3", "I:###### PSR LOCK RELEASED ###### sc:1",
                          "I:###### PSR LOCK ACQUIRED ######", "E:no stop when not playing",
                          "I:###### PSR LOCK RELEASED ###### sc:0"));
  delete device;
  EXPECT_TRUE(dm->getAudioDeviceInfo(0)->free) << "released by its destructor";
}

TEST_F(DeviceManager, PlayWithoutAnAcquiredDeviceFailsAndADeviceAcquiredWhilePlayingStarts) {
  addOutput("A");
  addOutput("B");
  vantor::DeviceManager* dm = startManager();
  EXPECT_FALSE(dm->playStopReq(&context, true)) << "no device";
  EXPECT_FALSE(dm->isPlaying(&context, true));

  vantor::AudioDevice* a = makeDevice(0);
  ASSERT_TRUE(dm->playStopReq(&context, true));
  delete a;  // as the graph does when the device is replaced
  EXPECT_TRUE(dm->isPlaying(&context, true));
  vantor::AudioDevice* b = makeDevice(1);
  ASSERT_NE(b, nullptr);
  EXPECT_TRUE(b->isPlaying()) << "started at once by acquire";
  EXPECT_TRUE(log.has('I', "B is now acquired"));
  EXPECT_TRUE(dm->playStopReq(&context, false));
  delete b;
}

TEST_F(DeviceManager, CloseDeletesDevicesStillInUse) {
  addOutput("Card");
  vantor::DeviceManager* dm = startManager();
  makeDevice(0);
  ASSERT_TRUE(dm->playStopReq(&context, true));
  dm->close();  // the device stops and goes; ASan reports it otherwise
  EXPECT_EQ(dm->getNumAudioDevices(), 0);
  EXPECT_TRUE(log.has('I', "Card has Stopped!"));
  EXPECT_TRUE(log.has('I', "DeviceManager::close() out"));
  EXPECT_THAT(pa.calls(), ::testing::Contains("terminate"));
}

// A JACK server that ends while the program plays takes the stream with it. Closing that
// stream would wait on the dead server (PortAudio's JACK host API waits ten minutes), and so
// would terminating PortAudio, which closes it: both are skipped, the user is told once, and
// the server's devices are no longer offered.
TEST_F(DeviceManager, AStreamEndedByItsServerIsToldOnceAndNeverWaitedOn) {
  addOutput("Card");
  addOutput("system", 2, jack);
  addOutput("other client", 2, jack);
  vantor::DeviceManager* dm = startManager();
  vantor::RecordingAlertBackend alerts;
  vantor::setAlertBackend(&alerts);
  vantor::AudioDevice* device = makeDevice(1);
  ASSERT_TRUE(dm->playStopReq(&context, true));
  EXPECT_FALSE(dm->watchAudioDevices(&context)) << "the stream runs";
  EXPECT_TRUE(alerts.shown().empty());

  pa.endStream();
  EXPECT_TRUE(device->streamEnded());
  EXPECT_TRUE(dm->watchAudioDevices(&context));
  EXPECT_FALSE(dm->watchAudioDevices(&context)) << "told once";
  ASSERT_EQ(alerts.shown().size(), 1u);
  EXPECT_NE(alerts.shown()[0].text.find("\"system\" has stopped"), std::string::npos);
  EXPECT_TRUE(log.has('E', "system: the audio device stopped"));
  EXPECT_FALSE(dm->getAudioDeviceInfo(0)->gone) << "ALSA is still there";
  EXPECT_TRUE(dm->getAudioDeviceInfo(1)->gone);
  EXPECT_TRUE(dm->getAudioDeviceInfo(2)->gone) << "every client of the server went with it";

  EXPECT_TRUE(dm->playStopReq(&context, false));
  EXPECT_FALSE(device->isPlaying());
  delete device;
  dm->close();
  vantor::setAlertBackend(nullptr);
  EXPECT_THAT(pa.calls(), ::testing::Not(::testing::Contains("close")));
  EXPECT_THAT(pa.calls(), ::testing::Not(::testing::Contains("terminate")));
  EXPECT_TRUE(log.has('I', "DeviceManager::close() out"));
}

EndpointDescription source(const std::string& key, const std::string& name, bool isSource = true) {
  EndpointDescription d;
  d.key = key;
  d.deviceKey = key;
  d.deviceName = name;
  d.name = name;
  d.isSource = isSource;
  return d;
}

std::vector<std::string> namesOf(const vantor::DeviceManager& dm) {
  std::vector<vantor::DMMIDIDeviceInfo*> records;
  dm.listMIDIDevices(records);
  std::vector<std::string> out;
  for (const auto* r : records) out.push_back(std::to_string(r->id) + " " + r->displayName);
  return out;
}

// The direction the device records carry, as the numbers the front end reads and passes back
// (0 input, 1 output, 2 both), for audio and MIDI devices as the system reports them.
using DeviceIOType = DeviceManager;
TEST_F(DeviceIOType, HasTheRecordValues) {
  pa.addDevice(device("Mic", alsa, 2, 0));
  pa.addDevice(device("Speakers", alsa, 0, 2));
  pa.addDevice(device("Duplex", alsa, 2, 2));
  midi.addEndpoint(source("keys", "Keys"));
  midi.addEndpoint(source("synth", "Synth", false));
  vantor::DeviceManager* dm = startManager();
  EXPECT_EQ(static_cast<int>(dm->getAudioDeviceInfo(0)->ioType), 0);
  EXPECT_EQ(static_cast<int>(dm->getAudioDeviceInfo(1)->ioType), 1);
  EXPECT_EQ(static_cast<int>(dm->getAudioDeviceInfo(2)->ioType), 2);
  ASSERT_THAT(namesOf(*dm), ElementsAre("0 Synth(out)", "1 Keys(in)"));
  EXPECT_EQ(static_cast<int>(dm->getMIDIDeviceInfo(0)->ioType), 1);
  EXPECT_EQ(static_cast<int>(dm->getMIDIDeviceInfo(1)->ioType), 0);
}

TEST_F(DeviceManager, MIDINamesAreUniquePerDirectionAndFreedNamesAreReused) {
  midi.addEndpoint(source("pad-a", "Pad"));
  midi.addEndpoint(source("pad-b", "Pad"));
  midi.addEndpoint(source("pad-c", "Pad"));
  midi.addEndpoint(source("pad-out", "Pad", false));
  vantor::DeviceManager* dm = startManager();
  // The layer lists destinations first.
  EXPECT_THAT(namesOf(*dm), ElementsAre("0 Pad(out)", "1 Pad(in)", "2 Pad_1(in)", "3 Pad_2(in)"));
  EXPECT_EQ(dm->getMIDIDeviceInfo(2)->uniqueName, "Pad_1");
  EXPECT_EQ(dm->getMIDIDeviceInfo(0)->ioType, vantor::kDeviceOutput);
  EXPECT_EQ(dm->getMIDIDeviceInfo(1)->ioType, vantor::kDeviceInput);
  EXPECT_TRUE(log.has('I', "MIDI_0 interf:** Pad(out)"));
  EXPECT_TRUE(log.has('I', "MIDI_3 interf:** Pad_2(in)"));

  midi.removeEndpoint("pad-b");
  MIDI_DispatchNotifications();
  EXPECT_THAT(namesOf(*dm), ElementsAre("0 Pad(out)", "1 Pad(in)", "3 Pad_2(in)"));
  midi.addEndpoint(source("pad-d", "Pad"));
  MIDI_DispatchNotifications();
  EXPECT_THAT(namesOf(*dm), ElementsAre("0 Pad(out)", "1 Pad(in)", "3 Pad_2(in)", "4 Pad_1(in)"));
  EXPECT_THAT(dm->pendingReEnable(), IsEmpty()) << "the removed one was not in use";
  dm->releaseMIDIDevice(&context, 2);  // already gone: nothing happens
  dm->renameMIDIDevice(4, "Drums");
  EXPECT_TRUE(log.has('I', "TODO renaming :4 with Drums"));
  EXPECT_EQ(dm->getMIDIDeviceInfo(4)->uniqueName, "Pad_1");
}

// The command interface as the hot-plug sees it: records each call.
// Enabling does what PE_ENGINE_MIDIDEVICE_ENABLE does: the factory's device for the id,
// initialised and acquired (kept here in place of the graph); disabling deletes it.
std::vector<std::string> g_commands;
const vantor::Instance* g_context = nullptr;
std::map<int, vantor::MIDIDevice*> g_enabled;
std::int32_t recordCommand(std::int32_t command, void* p1, void* p2, std::int32_t i1,
                           std::int32_t i2, std::int32_t i3, float f) {
  g_commands.push_back(std::to_string(command) + " " + std::to_string(i1) + " " +
                       std::to_string(i2) + (p1 || p2 || i3 || f != 0.0f ? " extra" : ""));
  if (i2 == -1) {
    delete g_enabled[i1];
    g_enabled.erase(i1);
    return 0;
  }
  auto* device = dynamic_cast<vantor::MIDIDevice*>(
      vantor::Singleton<vantor::MIDIDeviceFactory>::instance()->newInstanceByID(g_context, i1));
  if (device == nullptr) return 1;
  if (!device->init(g_context, &g_context->getDSPInfo())) {
    delete device;
    return 9;
  }
  device->acquire();
  g_enabled[i1] = device;
  return 0;
}

TEST_F(DeviceManager, ADeviceInUseThatReturnsUnderItsNameAndDirectionIsReEnabled) {
  g_commands.clear();
  g_context = &context;
  midi.addEndpoint(source("keys", "Keys"));
  midi.addEndpoint(source("synth", "Synth", false));
  vantor::DeviceManager* dm = startManager();
  vantor::Singleton<vantor::Factory>::instance();
  dm->setCommandFunction(&recordCommand);
  ASSERT_THAT(namesOf(*dm), ElementsAre("0 Synth(out)", "1 Keys(in)"));
  ASSERT_EQ(recordCommand(512, nullptr, nullptr, 1, 1, 0, 0.0f), 0);
  ASSERT_EQ(recordCommand(512, nullptr, nullptr, 0, 1, 0, 0.0f), 0);
  g_commands.clear();
  EXPECT_FALSE(dm->getMIDIDeviceInfo(1)->free);

  midi.removeEndpoint("keys");
  midi.removeEndpoint("synth");
  MIDI_DispatchNotifications();
  EXPECT_THAT(g_commands, ElementsAre("512 1 -1", "512 0 -1"));
  EXPECT_TRUE(log.has('I', "removed MIDI Device is used : Keys"));
  EXPECT_THAT(dm->pendingReEnable(),
              ElementsAre(std::make_pair(1, std::string("Keys")), std::make_pair(0, std::string("Synth"))));

  // An output named Keys is not the input that went; another name is not it either.
  midi.addEndpoint(source("keys-out", "Keys", false));
  midi.addEndpoint(source("other", "Other"));
  MIDI_DispatchNotifications();
  EXPECT_THAT(g_commands, ElementsAre("512 1 -1", "512 0 -1"));
  EXPECT_EQ(dm->pendingReEnable().size(), 2u);

  midi.addEndpoint(source("keys-again", "Keys"));
  MIDI_DispatchNotifications();
  const vantor::DMMIDIDeviceInfo* back = nullptr;
  std::vector<vantor::DMMIDIDeviceInfo*> records;
  dm->listMIDIDevices(records);
  for (auto* r : records) {
    if (r->displayName == "Keys(in)") back = r;
  }
  ASSERT_NE(back, nullptr);
  EXPECT_THAT(g_commands, ElementsAre("512 1 -1", "512 0 -1", "512 " + std::to_string(back->id) + " 1"));
  EXPECT_TRUE(log.has('I', "newly connected device is re-enabled : Keys"));
  EXPECT_THAT(dm->pendingReEnable(), ElementsAre(std::make_pair(0, std::string("Synth"))));
  ASSERT_EQ(g_enabled.count(back->id), 1u);
  EXPECT_EQ(back->device, g_enabled[back->id]);
  EXPECT_FALSE(back->free);
  EXPECT_TRUE(log.has('I', "MIDIDevice::start()")) << "the re-enabled device is started";
  for (auto& [id, device] : g_enabled) delete device;
  g_enabled.clear();
}

}  // namespace
