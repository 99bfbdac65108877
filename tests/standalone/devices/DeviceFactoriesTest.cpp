// The device factories and the registry: module names and their byte order, which devices are
// offered, creation by name, device name and identifier, and what refuses a second device.
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "standalone/host/MIDIDevice.h"
#include "tests/standalone/devices/DeviceTestSupport.h"

namespace {

using kelo::test::DeviceBackEnd;
using kelo::test::FakePortAudio;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class DeviceFactories : public DeviceBackEnd {};

std::vector<std::string> moduleNames(vantor::BaseFactory& factory) {
  std::vector<std::string> out;
  for (const vantor::ModuleInfo& info : factory.listModules()) {
    out.push_back(info.name + "=" + info.deviceName);
  }
  return out;
}

kelo::midi::EndpointDescription endpoint(const std::string& key, const std::string& name,
                                         bool isSource) {
  kelo::midi::EndpointDescription d;
  d.key = d.deviceKey = key;
  d.name = d.deviceName = name;
  d.isSource = isSource;
  return d;
}

TEST_F(DeviceFactories, AudioModulesAreNamedPerDirectionAndListedInNameOrder) {
  for (int i = 0; i < 12; ++i) addOutput("Out" + std::to_string(i));
  startManager();
  vantor::AudioDeviceFactory factory;
  EXPECT_THAT(moduleNames(factory),
              ElementsAre("AudioOutput_0=Out0", "AudioOutput_1=Out1", "AudioOutput_10=Out10",
                          "AudioOutput_11=Out11", "AudioOutput_2=Out2", "AudioOutput_3=Out3",
                          "AudioOutput_4=Out4", "AudioOutput_5=Out5", "AudioOutput_6=Out6",
                          "AudioOutput_7=Out7", "AudioOutput_8=Out8", "AudioOutput_9=Out9"));
  std::vector<int> ids;
  factory.listAudioDevicesID(ids);
  EXPECT_THAT(ids, ElementsAre(0, 1, 10, 11, 2, 3, 4, 5, 6, 7, 8, 9));
}

TEST_F(DeviceFactories, DuplexAndOutputDevicesAreOfferedInputsNever) {
  FakePortAudio::Device duplex;
  duplex.name = "Duplex";
  duplex.ins = 2;
  pa.addDevice(duplex);
  FakePortAudio::Device mic;
  mic.name = "Mic";
  mic.ins = 2;
  mic.outs = 0;
  pa.addDevice(mic);
  addOutput("Speakers");
  startManager();
  vantor::AudioDeviceFactory factory;
  EXPECT_THAT(moduleNames(factory), ElementsAre("AudioDuplex_0=Duplex", "AudioOutput_0=Speakers"));
  std::vector<int> ids;
  factory.listAudioDevicesID(ids);
  EXPECT_THAT(ids, ElementsAre(0, 2));
  EXPECT_EQ(factory.newInstanceByID(&context, 1), nullptr);
}

TEST_F(DeviceFactories, WithOnlyInputsNothingIsListedOrCreated) {
  FakePortAudio::Device mic;
  mic.name = "Mic";
  mic.ins = 2;
  mic.outs = 0;
  pa.addDevice(mic);
  pa.addDevice(mic);
  startManager();
  vantor::AudioDeviceFactory factory;
  EXPECT_THAT(factory.listModules(), IsEmpty());
  for (int index : {-1, 0, 1, 2}) EXPECT_EQ(factory.newInstanceByID(&context, index), nullptr);
}

TEST_F(DeviceFactories, AudioDevicesAreCreatedByModuleNameDeviceNameOrIndex) {
  addOutput("A");
  addOutput("B", 8);
  addOutput("B");
  vantor::DeviceManager* dm = startManager();
  vantor::AudioDeviceFactory factory;

  auto* byName = dynamic_cast<vantor::AudioDevice*>(factory.newInstance(&context, "AudioOutput_2"));
  ASSERT_NE(byName, nullptr);
  EXPECT_EQ(byName->getDeviceId(), 2);
  EXPECT_EQ(byName->name(), "B") << "the record's name";
  EXPECT_EQ(dm->getAudioDeviceInfo(2)->device, byName);
  EXPECT_EQ(byName->getContext(), &context);
  EXPECT_TRUE(dm->getAudioDeviceInfo(2)->free) << "acquiring is the caller's";
  delete byName;

  auto* byDevice = dynamic_cast<vantor::AudioDevice*>(factory.newInstanceByName(&context, "B"));
  ASSERT_NE(byDevice, nullptr);
  EXPECT_EQ(byDevice->getDeviceId(), 1) << "the first in listing order";
  EXPECT_EQ(byDevice->numOutputs(), 8u);
  delete byDevice;

  EXPECT_EQ(factory.newInstance(&context, "AudioOutput_9"), nullptr);
  EXPECT_EQ(factory.newInstanceByName(&context, "C"), nullptr);
  EXPECT_EQ(factory.newInstanceByID(&context, 7), nullptr);
}

TEST_F(DeviceFactories, ASecondAudioDeviceIsNullOnceAcquiredAndRefusedWhileMaster) {
  addOutput("A");
  addOutput("B");
  startManager();
  vantor::AudioDeviceFactory factory;
  vantor::Module* first = factory.newInstanceByID(&context, 0);
  ASSERT_NE(first, nullptr);
  try {
    factory.newInstanceByID(&context, 0);
    ADD_FAILURE() << "no exception";
  } catch (const vantor::InstantiationException& e) {
    EXPECT_STREQ(e.what(), "Only one audio device at the same time");
  }
  EXPECT_THROW(factory.newInstanceByID(&context, 1), vantor::InstantiationException);
  static_cast<vantor::AudioDevice*>(first)->acquire();
  EXPECT_EQ(factory.newInstanceByID(&context, 0), nullptr) << "no longer free";
  delete first;
  vantor::Module* again = factory.newInstanceByID(&context, 1);
  EXPECT_NE(again, nullptr) << "the release cleared the master";
  delete again;
}

TEST_F(DeviceFactories, MIDIModulesAreListedByDirectionWithNumbersNeverGivenTwice) {
  midi.addEndpoint(endpoint("keys", "Keys", true));
  midi.addEndpoint(endpoint("pads", "Pads", true));
  midi.addEndpoint(endpoint("synth", "Synth", false));
  MIDI_CreateVirtualDevices(0x4B6C4463, {"KELO Player"}, {});
  startManager();
  auto* factory = vantor::Singleton<vantor::MIDIDeviceFactory>::instance();
  EXPECT_THAT(moduleNames(*factory),
              ElementsAre("MIDIOutput_0=Synth(out)", "MidiInput_0=Keys(in)", "MidiInput_1=Pads(in)",
                          "MidiVirtual_0=KELO Player(in)"));
  std::vector<int> all, inputs, outputs, none;
  factory->listMIDIDevicesID(all, 2);
  factory->listMIDIDevicesID(inputs, 0);
  factory->listMIDIDevicesID(outputs, 1);
  factory->listMIDIDevicesID(none, 3);
  EXPECT_THAT(all, ElementsAre(0, 1, 2, 3));
  EXPECT_THAT(inputs, ElementsAre(1, 2, 3));
  EXPECT_THAT(outputs, ElementsAre(0));
  EXPECT_THAT(none, IsEmpty());

  // Unplugged and back: the next output number, and its place follows the name.
  midi.removeEndpoint("synth");
  MIDI_DispatchNotifications();
  EXPECT_THAT(moduleNames(*factory),
              ElementsAre("MidiInput_0=Keys(in)", "MidiInput_1=Pads(in)", "MidiVirtual_0=KELO Player(in)"));
  midi.addEndpoint(endpoint("synth", "Synth", false));
  MIDI_DispatchNotifications();
  EXPECT_THAT(moduleNames(*factory),
              ElementsAre("MIDIOutput_1=Synth(out)", "MidiInput_0=Keys(in)", "MidiInput_1=Pads(in)",
                          "MidiVirtual_0=KELO Player(in)"));
  factory->removeMIDIDevice(99);  // not listed: ignored
  EXPECT_EQ(factory->listModules().size(), 4u);
}

TEST_F(DeviceFactories, MIDIDevicesAreCreatedWhileFree) {
  midi.addEndpoint(endpoint("keys", "Keys", true));
  vantor::DeviceManager* dm = startManager();
  auto* factory = vantor::Singleton<vantor::MIDIDeviceFactory>::instance();
  auto* device = dynamic_cast<vantor::MIDIDevice*>(factory->newInstance(&context, "MidiInput_0"));
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(device->getDeviceId(), 0);
  EXPECT_EQ(device->getDeviceType(), vantor::kDeviceInput);
  EXPECT_EQ(dm->getMIDIDeviceInfo(0)->device, device);
  device->acquire();
  EXPECT_FALSE(dm->getMIDIDeviceInfo(0)->free);
  EXPECT_EQ(factory->newInstanceByName(&context, "Keys(in)"), nullptr) << "in use";
  delete device;
  EXPECT_TRUE(dm->getMIDIDeviceInfo(0)->free);
  EXPECT_EQ(dm->getMIDIDeviceInfo(0)->device, nullptr);
  EXPECT_TRUE(log.has('I', "DeviceManager : Keys(in) was deallocated"));
  vantor::Module* again = factory->newInstanceByID(&context, 0);
  EXPECT_NE(again, nullptr);
  delete again;
  EXPECT_EQ(factory->newInstanceByID(&context, 5), nullptr);
}

TEST_F(DeviceFactories, TheRegistryRecordsWhatBothFactoriesList) {
  addOutput("Card");
  midi.addEndpoint(endpoint("keys", "Keys", true));
  startManager();
  auto* registry = vantor::Singleton<vantor::Factory>::instance();
  ASSERT_NE(registry->getAudioDeviceFactory(), nullptr);
  EXPECT_EQ(registry->factoryOf("AudioOutput_0"), registry->getAudioDeviceFactory());
  EXPECT_EQ(registry->factoryOf("MidiInput_0"),
            vantor::Singleton<vantor::MIDIDeviceFactory>::instance());
  EXPECT_EQ(registry->factoryOf("MidiInput_1"), nullptr);
  EXPECT_TRUE(log.has('I', "Factory init MIDIDeviceFactory"));
  registry->clear();
  EXPECT_EQ(registry->getAudioDeviceFactory(), nullptr);
  EXPECT_EQ(registry->factoryOf("AudioOutput_0"), nullptr);
}

}  // namespace
