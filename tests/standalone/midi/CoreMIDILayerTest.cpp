// The CoreMIDI layer over the fake MIDI system: the identifier table, hot-plug, offline and
// online, renames, unique ids of the virtual endpoints, names.
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

using kelo::midi::EndpointDescription;
using kelo::test::endpoint;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::uint32_t kProductID = 0x4B6C4463;  // 'KlDc'

class CoreMIDILayer : public ::testing::Test {
 protected:
  void TearDown() override { MIDI_Terminate(); }

  std::vector<int> ids() {
    std::vector<int> out;
    MIDI_GetDeviceIDs(out);
    return out;
  }

  SInt32 uniqueIDOfVirtual(int id) {
    SInt32 value = 0;
    MIDIObjectGetIntegerProperty(MIDI_GetMIDIDriverForVirtualDriver(id)->virtualEndpoint(),
                                 kMIDIPropertyUniqueID, &value);
    return value;
  }

  kelo::test::LogCapture log;
  kelo::midi::FakeMIDIBackend fake;
  kelo::test::RecordingMIDIManager manager;
};

TEST_F(CoreMIDILayer, ListsDestinationsThenSourcesThenVirtualEndpoints) {
  fake.addEndpoint(endpoint("synth-a", "A", "Synth A", false));
  fake.addEndpoint(endpoint("synth-b", "B", "Synth B", false));
  fake.addEndpoint(endpoint("keys", "K", "Keys", true));
  MIDI_CreateVirtualDevices(kProductID, {"KeloDeck"}, {"KeloDeck out"});

  EXPECT_THAT(ids(), ElementsAre(0, 1, 2, 3, 4));
  struct Expected {
    int id;
    const char* type;
    const char* name;
    int ins, outs;
  };
  for (const Expected& e : {Expected{0, "", "Synth A", 0, 1}, Expected{1, "", "Synth B", 0, 1},
                            Expected{2, "", "Keys", 1, 0}, Expected{3, "virtual", "KeloDeck", 1, 0},
                            Expected{4, "virtual", "KeloDeck out", 0, 1}}) {
    const MIDIDeviceInfo* info = MIDI_GetDeviceInfo(e.id);
    ASSERT_NE(info, nullptr) << e.id;
    EXPECT_EQ(info->id, e.id);
    EXPECT_EQ(info->type, e.type) << e.id;
    EXPECT_EQ(info->name, e.name) << e.id;
    EXPECT_EQ(info->ins, e.ins) << e.id;
    EXPECT_EQ(info->outs, e.outs) << e.id;
    EXPECT_TRUE(info->working);
  }
  EXPECT_EQ(MIDI_GetDeviceInfo(5), nullptr);
  EXPECT_THAT(fake.virtualEndpoints(), ElementsAre("KeloDeck", "KeloDeck out"));
  EXPECT_EQ(uniqueIDOfVirtual(3), static_cast<SInt32>(kProductID));
  EXPECT_EQ(uniqueIDOfVirtual(4), static_cast<SInt32>(kProductID + 1));
  EXPECT_TRUE(log.has('I', "using MIDI Client name : "));

  // The services announce the program's own endpoints too; the layer ignores them.
  MIDI_DispatchNotifications();
  EXPECT_THAT(manager.calls, IsEmpty());
  EXPECT_THAT(ids(), ElementsAre(0, 1, 2, 3, 4));

  // A device id that names no virtual endpoint has no driver.
  EXPECT_EQ(MIDI_GetMIDIDriverForVirtualDriver(2), nullptr);
  EXPECT_TRUE(log.has('E', "couldn't find virtual device!?!?!!!"));
}

TEST_F(CoreMIDILayer, HotPlugReachesTheDeviceManagerWithFreshIdentifiers) {
  fake.addEndpoint(endpoint("synth", "S", "Synth", false));
  MIDI_CreateVirtualDevices(kProductID, {"KeloDeck"}, {});
  EXPECT_THAT(ids(), ElementsAre(0, 1));

  fake.addEndpoint(endpoint("keys", "K", "Keys", true));
  EXPECT_THAT(manager.calls, IsEmpty()) << "nothing before the main loop dispatches";
  MIDI_DispatchNotifications();
  EXPECT_THAT(manager.calls, ElementsAre("add 2"));
  ASSERT_NE(MIDI_GetDeviceInfo(2), nullptr);
  EXPECT_EQ(MIDI_GetDeviceInfo(2)->ins, 1);
  EXPECT_EQ(MIDI_GetDeviceInfo(2)->name, "Keys");
  EXPECT_NE(MIDI_GetEndpointRef(2), 0u);
  EXPECT_TRUE(log.has('I', "Keys (src) added"));

  fake.removeEndpoint("keys");
  MIDI_DispatchNotifications();
  EXPECT_THAT(manager.calls, ElementsAre("add 2", "remove 2"));
  EXPECT_EQ(MIDI_GetDeviceInfo(2), nullptr);
  EXPECT_EQ(MIDI_GetEndpointRef(2), 0u);
  EXPECT_TRUE(log.has('I', "Keys (src) removed"));

  // Plugged back in, it is a new device with a new identifier.
  fake.addEndpoint(endpoint("keys", "K", "Keys", true));
  MIDI_DispatchNotifications();
  EXPECT_THAT(manager.calls, ElementsAre("add 2", "remove 2", "add 3"));
  EXPECT_THAT(ids(), ElementsAre(0, 1, 3));
}

TEST_F(CoreMIDILayer, AnEndpointWithAKnownUniqueIDIsAlreadyThere) {
  fake.addEndpoint(endpoint("keys", "K", "Keys", true, 777));
  EXPECT_THAT(ids(), ElementsAre(0));
  fake.addEndpoint(endpoint("keys-twin", "K2", "Twin", true, 777));
  MIDI_DispatchNotifications();
  EXPECT_THAT(manager.calls, IsEmpty());
  EXPECT_TRUE(log.has('I', "Twin (src) already there!?!"));
}

TEST_F(CoreMIDILayer, OfflineRemovesEachEndpointAndOnlineAddsThemUnderNewIdentifiers) {
  EndpointDescription in = endpoint("pad-in", "Pad", "Pad", true);
  EndpointDescription out = endpoint("pad-out", "Pad", "Pad", false);
  fake.addEndpoint(in);
  fake.addEndpoint(out);
  EXPECT_THAT(ids(), ElementsAre(0, 1));  // destination 0, source 1

  fake.setDeviceOffline("Pad", true);
  MIDI_DispatchNotifications();
  EXPECT_THAT(manager.calls, ElementsAre("remove 1", "remove 0"));  // sources first
  EXPECT_THAT(ids(), IsEmpty());

  fake.setDeviceOffline("Pad", false);
  MIDI_DispatchNotifications();
  EXPECT_THAT(manager.calls, ElementsAre("remove 1", "remove 0", "add 2", "add 3"));
  EXPECT_EQ(MIDI_GetDeviceInfo(2)->ins, 1);
  EXPECT_EQ(MIDI_GetDeviceInfo(3)->outs, 1);
}

TEST_F(CoreMIDILayer, RenamesOfEndpointsEntitiesAndDevicesReachTheDeviceManager) {
  fake.addEndpoint(endpoint("pad-out", "Pad", "Pad", false));
  fake.addEndpoint(endpoint("pad-in", "Pad", "Pad", true));
  MIDI_CreateVirtualDevices(kProductID, {"KeloDeck"}, {});
  EXPECT_THAT(ids(), ElementsAre(0, 1, 2));

  fake.renameEndpoint("pad-in", "Drum Pad");
  MIDI_DispatchNotifications();
  EXPECT_THAT(manager.calls, ElementsAre("rename 1 Drum Pad"));
  EXPECT_TRUE(log.has('I', "kMIDIPropertyName changed on Destination or Source"));

  manager.calls.clear();
  fake.renameEntity("Pad", "whatever");  // endpoints keep their own names
  MIDI_DispatchNotifications();
  EXPECT_THAT(manager.calls, ElementsAre("rename 1 Drum Pad", "rename 0 Pad"));
  EXPECT_TRUE(log.has('I', "kMIDIPropertyName changed on Entity"));

  manager.calls.clear();
  fake.renameDevice("Pad", "whatever");
  MIDI_DispatchNotifications();
  EXPECT_THAT(manager.calls, ElementsAre("rename 1 Drum Pad", "rename 0 Pad"));
  EXPECT_TRUE(log.has('I', "kMIDIPropertyName changed on Device"));
}

TEST_F(CoreMIDILayer, ACollidingUniqueIDMovesThePrefixUpBy32) {
  fake.addEndpoint(endpoint("a", "A", "A", true, static_cast<SInt32>(kProductID)));
  fake.addEndpoint(endpoint("b", "B", "B", true, static_cast<SInt32>(kProductID + 32)));
  MIDI_CreateVirtualDevices(kProductID, {"KeloDeck", "KeloDeck 2"}, {});
  EXPECT_THAT(ids(), ElementsAre(0, 1, 2, 3));
  EXPECT_EQ(uniqueIDOfVirtual(2), static_cast<SInt32>(kProductID + 64));
  // The raised prefix stays for the next endpoint.
  EXPECT_EQ(uniqueIDOfVirtual(3), static_cast<SInt32>(kProductID + 65));
  MIDI_DispatchNotifications();
  EXPECT_THAT(manager.calls, IsEmpty());
}

TEST_F(CoreMIDILayer, TheUniqueIDRetryGivesUpAndTheEndpointStaysTheProgramsOwn) {
  for (int k = 0; k < 200; ++k) {
    const std::string number = std::to_string(k);
    fake.addEndpoint(endpoint("taken" + number, "T" + number, "T", true,
                              static_cast<SInt32>(kProductID + 32u * k)));
  }
  MIDI_CreateVirtualDevices(kProductID, {"KeloDeck"}, {});
  const std::vector<int> all = ids();
  EXPECT_EQ(all.size(), 201u);
  EXPECT_TRUE(log.has('E', "no free unique id for a virtual MIDI endpoint after 64 tries"));
  MIDI_DispatchNotifications();
  EXPECT_THAT(manager.calls, IsEmpty());
}

TEST_F(CoreMIDILayer, AVirtualDestinationTheSystemRefusesKeepsItsSilentRecordAndDriver) {
  fake.setRefuseVirtual(true);
  MIDI_CreateVirtualDevices(kProductID, {"KeloDeck"}, {});
  EXPECT_THAT(ids(), ElementsAre(0));
  EXPECT_TRUE(log.has('E', "Error creating virtual destination!"));
  EXPECT_EQ(MIDI_GetDeviceInfo(0)->type, "virtual");
  ASSERT_NE(MIDI_GetMIDIDriverForVirtualDriver(0), nullptr);
  EXPECT_EQ(MIDI_GetMIDIDriverForVirtualDriver(0)->virtualEndpoint(), 0u);
}

TEST_F(CoreMIDILayer, NoMIDISystemListsNothing) {
  fake.setReachable(false);
  MIDI_CreateVirtualDevices(kProductID, {"KeloDeck"}, {});
  EXPECT_THAT(ids(), IsEmpty());
  EXPECT_EQ(MIDI_GetClient(), 0u);
  EXPECT_TRUE(log.has('E', "unable to create MIDIClient!!!"));
}

TEST_F(CoreMIDILayer, TerminateEmptiesTheTablesAndTheNextQuestionFillsThemAgain) {
  fake.addEndpoint(endpoint("keys", "K", "Keys", true));
  MIDI_CreateVirtualDevices(kProductID, {"KeloDeck"}, {});
  EXPECT_THAT(ids(), ElementsAre(0, 1));
  EXPECT_TRUE(MIDI_Terminate());
  EXPECT_THAT(fake.virtualEndpoints(), IsEmpty());
  EXPECT_THAT(ids(), ElementsAre(0, 1));
  // The counter kept its value: a device added now takes an identifier never given.
  fake.addEndpoint(endpoint("pad", "P", "Pad", true));
  MIDI_DispatchNotifications();
  EXPECT_THAT(manager.calls, ElementsAre("add 4"));
}

struct NameCase {
  std::string name;
  std::string manufacturer;
  std::string model;
  std::string expected;
};

void PrintTo(const NameCase& c, std::ostream* out) { *out << '"' << c.expected << '"'; }

class CoreMIDILayerNames : public CoreMIDILayer, public ::testing::WithParamInterface<NameCase> {};

TEST_P(CoreMIDILayerNames, ComposeNameManufacturerAndModel) {
  const NameCase& c = GetParam();
  EndpointDescription d = endpoint("dev", "D", c.name, true);
  d.manufacturer = c.manufacturer;
  d.model = c.model;
  fake.addEndpoint(d);
  ASSERT_THAT(ids(), ElementsAre(0));
  EXPECT_EQ(MIDI_GetDeviceInfo(0)->name, c.expected);
}


INSTANTIATE_TEST_SUITE_P(
    Table, CoreMIDILayerNames,
    ::testing::Values(NameCase{"Keys", "Brand", "K1", "Keys Brand K1"},
                      NameCase{"Keys", "Brand", "", "Keys Brand"},
                      NameCase{"Keys", "", "K1", "Keys K1"},
                      NameCase{"Keys", std::string(64, 'm'), "K1", "Keys K1"},
                      NameCase{"Keys", std::string(63, 'm'), "", "Keys " + std::string(63, 'm')},
                      NameCase{"Kéys", "Brand", "", " Brand"},
                      NameCase{"", "Brand", "K1", " Brand K1"}),
    [](const ::testing::TestParamInfo<NameCase>& info) {
      return "Case" + std::to_string(info.index);
    });

}  // namespace
