// The MIDI services over the fake system: the object hierarchy, listing, notifications and
// what they carry, unique ids, stale references, ports and read procedures, packet lists, and
// a clean failure when no MIDI system is reachable.
#include <sys/stat.h>

#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/midi/CoreMIDI.h"
#include "platform/midi/FakeMIDIBackend.h"
#include "tests/support/JackDummyServer.h"
#include "tests/support/ScopedEnvironment.h"

namespace {

using kelo::midi::EndpointDescription;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

EndpointDescription endpoint(const std::string& key, const std::string& device, bool isSource,
                             SInt32 uniqueID = 0) {
  EndpointDescription d;
  d.key = key;
  d.deviceKey = device;
  d.deviceName = device + " device";
  d.name = key;
  d.isSource = isSource;
  d.hasUniqueID = uniqueID != 0;
  d.uniqueID = uniqueID;
  return d;
}

std::string nameOf(MIDIObjectRef object) {
  CFStringRef value = nullptr;
  if (MIDIObjectGetStringProperty(object, kMIDIPropertyName, &value) != noErr) return "?";
  std::string text(kelo::cf::utf8(value));
  CFRelease(value);
  return text;
}

/// What a client's notification procedure saw, one line each.
struct Seen {
  std::vector<std::string> lines;
  static void proc(const MIDINotification* message, void* refCon) {
    auto* seen = static_cast<Seen*>(refCon);
    switch (message->messageID) {
      case kMIDIMsgObjectAdded:
      case kMIDIMsgObjectRemoved: {
        const auto* n = reinterpret_cast<const MIDIObjectAddRemoveNotification*>(message);
        // The object still answers while the clients hear of its removal.
        seen->lines.push_back(std::string(message->messageID == kMIDIMsgObjectAdded ? "added "
                                                                                     : "removed ") +
                              nameOf(n->child) + " type " + std::to_string(n->childType) +
                              " parent type " + std::to_string(n->parentType));
        break;
      }
      case kMIDIMsgPropertyChanged: {
        const auto* n = reinterpret_cast<const MIDIObjectPropertyChangeNotification*>(message);
        seen->lines.push_back("property " + std::string(kelo::cf::utf8(n->propertyName)) +
                              " type " + std::to_string(n->objectType));
        break;
      }
      case kMIDIMsgSetupChanged:
        seen->lines.push_back("setup");
        break;
      default:
        break;
    }
  }
};

class MIDIServices : public ::testing::Test {
 protected:
  void open() {
    ASSERT_EQ(MIDIClientCreate(CFSTR("test"), &Seen::proc, &seen, &client), noErr);
  }
  void TearDown() override {
    if (client != 0) {
      EXPECT_EQ(MIDIClientDispose(client), noErr);
    }
  }

  std::vector<std::string> sources() {
    std::vector<std::string> out;
    for (ItemCount i = 0; i < MIDIGetNumberOfSources(); ++i) out.push_back(nameOf(MIDIGetSource(i)));
    return out;
  }
  std::vector<std::string> destinations() {
    std::vector<std::string> out;
    for (ItemCount i = 0; i < MIDIGetNumberOfDestinations(); ++i) {
      out.push_back(nameOf(MIDIGetDestination(i)));
    }
    return out;
  }

  kelo::midi::FakeMIDIBackend fake;
  Seen seen;
  MIDIClientRef client = 0;
};

TEST_F(MIDIServices, DevicesHoldAnEntityWithTheirSourcesAndDestinations) {
  fake.addEndpoint(endpoint("pad-in", "pad", true));
  fake.addEndpoint(endpoint("pad-out", "pad", false));
  fake.addEndpoint(endpoint("keys", "keys", true));
  open();
  EXPECT_STREQ(kelo::midi::openBackendName(), "fake");
  EXPECT_THAT(sources(), ElementsAre("pad-in", "keys"));
  EXPECT_THAT(destinations(), ElementsAre("pad-out"));
  ASSERT_EQ(MIDIGetNumberOfDevices(), 2u);
  const MIDIDeviceRef pad = MIDIGetDevice(0);
  EXPECT_EQ(nameOf(pad), "pad device");
  ASSERT_EQ(MIDIDeviceGetNumberOfEntities(pad), 1u);
  const MIDIEntityRef entity = MIDIDeviceGetEntity(pad, 0);
  EXPECT_EQ(MIDIEntityGetNumberOfSources(entity), 1u);
  EXPECT_EQ(MIDIEntityGetNumberOfDestinations(entity), 1u);
  EXPECT_EQ(MIDIEntityGetSource(entity, 0), MIDIGetSource(0));
  EXPECT_EQ(MIDIEntityGetSource(entity, 1), 0u);
  MIDIEntityRef back = 0;
  MIDIDeviceRef device = 0;
  EXPECT_EQ(MIDIEndpointGetEntity(MIDIGetSource(0), &back), noErr);
  EXPECT_EQ(back, entity);
  EXPECT_EQ(MIDIEntityGetDevice(entity, &device), noErr);
  EXPECT_EQ(device, pad);
  // What was there before the client is no news.
  MIDIDispatchPendingNotifications();
  EXPECT_THAT(seen.lines, IsEmpty());
}

TEST_F(MIDIServices, ChangesReachClientsOnlyWhenDispatchedAndInOrder) {
  open();
  MIDIEndpointRef own = 0;
  ASSERT_EQ(MIDISourceCreate(client, CFSTR("mine"), &own), noErr);
  fake.addEndpoint(endpoint("keys", "keys", true));
  fake.renameEndpoint("keys", "keys 2");
  EXPECT_THAT(seen.lines, IsEmpty());
  MIDIDispatchPendingNotifications();
  EXPECT_THAT(seen.lines, ElementsAre("added mine type 2 parent type -1", "added keys type 2 parent type 1",
                                      "property name type 2", "setup"));
  seen.lines.clear();
  fake.setDeviceOffline("keys", true);
  MIDIDispatchPendingNotifications();
  EXPECT_THAT(seen.lines, ElementsAre("property offline type 0", "setup"));
  EXPECT_THAT(sources(), ElementsAre("mine")) << "offline endpoints are not listed";
  SInt32 offline = 0;
  MIDIObjectGetIntegerProperty(MIDIEntityGetSource(MIDIDeviceGetEntity(MIDIGetDevice(0), 0), 0),
                               kMIDIPropertyOffline, &offline);
  EXPECT_EQ(offline, 1);
  fake.setDeviceOffline("keys", false);
  seen.lines.clear();
  fake.removeEndpoint("keys");
  MIDIDispatchPendingNotifications();
  EXPECT_THAT(seen.lines, ElementsAre("property offline type 0", "removed keys 2 type 2 parent type 1",
                                      "setup"));
  EXPECT_EQ(MIDIGetNumberOfDevices(), 0u);
}

TEST_F(MIDIServices, RemovedObjectsAnswerNotFound) {
  fake.addEndpoint(endpoint("keys", "keys", true));
  open();
  const MIDIEndpointRef keys = MIDIGetSource(0);
  fake.removeEndpoint("keys");
  MIDIDispatchPendingNotifications();
  SInt32 id = 0;
  CFStringRef name = nullptr;
  EXPECT_EQ(MIDIObjectGetIntegerProperty(keys, kMIDIPropertyUniqueID, &id), kMIDIObjectNotFound);
  EXPECT_EQ(MIDIObjectGetStringProperty(keys, kMIDIPropertyName, &name), kMIDIObjectNotFound);
  EXPECT_EQ(MIDIGetSource(0), 0u);
}

TEST_F(MIDIServices, UniqueIDsAreStablePerEndpointAndOnlyOwnEndpointsTakeNewOnes) {
  fake.addEndpoint(endpoint("keys", "keys", true));
  fake.addEndpoint(endpoint("given", "given", true, 4242));
  open();
  SInt32 first = 0, given = 0;
  ASSERT_EQ(MIDIObjectGetIntegerProperty(MIDIGetSource(0), kMIDIPropertyUniqueID, &first), noErr);
  MIDIObjectGetIntegerProperty(MIDIGetSource(1), kMIDIPropertyUniqueID, &given);
  EXPECT_EQ(given, 4242);
  EXPECT_NE(first, 0);
  fake.removeEndpoint("keys");
  fake.addEndpoint(endpoint("keys", "keys", true));
  MIDIDispatchPendingNotifications();
  SInt32 again = 0;
  MIDIObjectGetIntegerProperty(MIDIGetSource(1), kMIDIPropertyUniqueID, &again);
  EXPECT_EQ(again, first) << "the same endpoint back keeps its id";

  MIDIEndpointRef own = 0;
  ASSERT_EQ(MIDIDestinationCreate(client, CFSTR("mine"), [](const MIDIPacketList*, void*, void*) {},
                                  nullptr, &own),
            noErr);
  EXPECT_EQ(MIDIObjectSetIntegerProperty(own, kMIDIPropertyUniqueID, 4242), kMIDIIDNotUnique);
  EXPECT_EQ(MIDIObjectSetIntegerProperty(own, kMIDIPropertyUniqueID, 4243), noErr);
  MIDIObjectRef found = 0;
  MIDIObjectType type = kMIDIObjectType_Other;
  EXPECT_EQ(MIDIObjectFindByUniqueID(4243, &found, &type), noErr);
  EXPECT_EQ(found, own);
  EXPECT_EQ(type, kMIDIObjectType_Destination);
  EXPECT_EQ(MIDIObjectSetIntegerProperty(MIDIGetSource(0), kMIDIPropertyUniqueID, 1),
            kMIDINotPermitted);
  EXPECT_THAT(destinations(), ElementsAre("mine"));
  EXPECT_EQ(MIDIEndpointDispose(own), noErr);
  EXPECT_THAT(fake.virtualEndpoints(), IsEmpty());
}

struct Delivery {
  std::vector<std::string> lines;
  static void proc(const MIDIPacketList* list, void* refCon, void* connRefCon) {
    auto* delivery = static_cast<Delivery*>(refCon);
    const MIDIPacket* packet = &list->packet[0];
    for (UInt32 i = 0; i < list->numPackets; ++i, packet = MIDIPacketNext(packet)) {
      delivery->lines.push_back(std::string(static_cast<const char*>(connRefCon)) + " " +
                                std::to_string(packet->timeStamp) + " " +
                                std::to_string(packet->length));
    }
  }
};

TEST_F(MIDIServices, InputPortsReceiveFromConnectedSourcesUntilDisconnected) {
  fake.addEndpoint(endpoint("keys", "keys", true));
  fake.addEndpoint(endpoint("pad", "pad", true));
  fake.addEndpoint(endpoint("synth", "synth", false));
  open();
  Delivery delivery;
  MIDIPortRef port = 0;
  ASSERT_EQ(MIDIInputPortCreate(client, CFSTR("in"), &Delivery::proc, &delivery, &port), noErr);
  static char keysTag[] = "keys", padTag[] = "pad";
  EXPECT_EQ(MIDIPortConnectSource(port, MIDIGetSource(0), keysTag), noErr);
  EXPECT_EQ(MIDIPortConnectSource(port, MIDIGetSource(1), padTag), noErr);
  EXPECT_EQ(MIDIPortConnectSource(port, MIDIGetDestination(0), nullptr), kMIDIWrongEndpointType);
  alignas(4) Byte storage[64];
  auto* list = reinterpret_cast<MIDIPacketList*>(storage);
  const Byte note[] = {0x90, 0x3C, 0x64};
  MIDIPacketListAdd(list, sizeof(storage), MIDIPacketListInit(list), 77, 3, note);
  EXPECT_TRUE(fake.send("keys", list));
  EXPECT_TRUE(fake.send("pad", list));
  EXPECT_THAT(delivery.lines, ElementsAre("keys 77 3", "pad 77 3"));
  EXPECT_EQ(MIDIPortDisconnectSource(port, MIDIGetSource(0)), noErr);
  EXPECT_FALSE(fake.send("keys", list));
  EXPECT_EQ(MIDIPortDisconnectSource(port, MIDIGetSource(0)), kMIDINoConnection);
  EXPECT_EQ(MIDIPortDispose(port), noErr);
  EXPECT_EQ(fake.connectionCount(), 0);
  EXPECT_EQ(MIDIPortDispose(port), kMIDIInvalidPort);
}

TEST_F(MIDIServices, DisposingTheLastClientClosesTheSystem) {
  open();
  MIDIEndpointRef own = 0;
  ASSERT_EQ(MIDISourceCreate(client, CFSTR("mine"), &own), noErr);
  EXPECT_EQ(MIDIClientDispose(client), noErr);
  client = 0;
  EXPECT_EQ(kelo::midi::openBackendName(), nullptr);
  EXPECT_THAT(fake.virtualEndpoints(), IsEmpty());
  EXPECT_EQ(MIDIGetNumberOfSources(), 0u);
}

TEST_F(MIDIServices, AnUnreachableSystemRefusesTheClient) {
  fake.setReachable(false);
  MIDIClientRef refused = 0;
  EXPECT_EQ(MIDIClientCreate(CFSTR("test"), nullptr, nullptr, &refused), kMIDIServerStartErr);
  EXPECT_EQ(MIDIGetNumberOfSources(), 0u);
}

TEST(MIDIServicesSystem, WithoutJackAndSequencerCreatingAClientFailsCleanly) {
  // The real back ends, on purpose: the test is their failure. A machine with a sequencer
  // device would open it.
  struct stat info {};
  if (stat("/dev/snd/seq", &info) == 0) GTEST_SKIP() << "this machine has a sequencer";
  kelo::test::ScopedEnvironment environment;
  // A server name nobody runs, and no starting one on our behalf.
  environment.set("JACK_DEFAULT_SERVER", kelo::test::unusedJackServerName());
  environment.set("JACK_NO_START_SERVER", "1");
  MIDIClientRef refused = 0;
  EXPECT_EQ(MIDIClientCreate(nullptr, nullptr, nullptr, &refused), kMIDIServerStartErr);
  EXPECT_EQ(kelo::midi::openBackendName(), nullptr);
}

TEST(MIDIPacketList, AddsJoinsAndRefusesWhatDoesNotFit) {
  alignas(4) Byte storage[40];
  auto* list = reinterpret_cast<MIDIPacketList*>(storage);
  MIDIPacket* packet = MIDIPacketListInit(list);
  const Byte a[] = {0x90, 0x3C, 0x64};
  const Byte b[] = {0x80, 0x3C, 0x00};
  const Byte sysex[] = {0xF0, 0x01, 0xF7};
  packet = MIDIPacketListAdd(list, sizeof(storage), packet, 5, 3, a);
  ASSERT_NE(packet, nullptr);
  packet = MIDIPacketListAdd(list, sizeof(storage), packet, 5, 3, b);  // same time: joined
  EXPECT_EQ(list->numPackets, 1u);
  EXPECT_EQ(packet->length, 6);
  MIDIPacket* second = MIDIPacketListAdd(list, sizeof(storage), packet, 5, 3, sysex);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(list->numPackets, 2u);  // an exclusive starts its own packet
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(second) % 4, 0u);
  EXPECT_EQ(second, MIDIPacketNext(&list->packet[0]));
  const Byte big[20] = {0xB0};
  EXPECT_EQ(MIDIPacketListAdd(list, sizeof(storage), second, 9, sizeof(big), big), nullptr);
  EXPECT_EQ(list->numPackets, 2u);
}

TEST(MIDIPacketList, JoinedPacketsStayWithinTheirNominalBytesAndLongMessagesStandAlone) {
  // 1000 note-ons of one time, added one by one as the JACK back end adds them: joined into
  // packets of whole messages and at most 256 bytes, the bytes in the order they came.
  std::vector<std::uint32_t> storage(1024);  // 4096 bytes
  auto* list = reinterpret_cast<MIDIPacketList*>(storage.data());
  MIDIPacket* packet = MIDIPacketListInit(list);
  std::vector<Byte> sent;
  for (int i = 0; i < 1000; ++i) {
    const Byte note[3] = {0x90, static_cast<Byte>(i % 128), 0x40};
    packet = MIDIPacketListAdd(list, storage.size() * 4, packet, 5, 3, note);
    ASSERT_NE(packet, nullptr) << i;
    sent.insert(sent.end(), note, note + 3);
  }
  EXPECT_EQ(list->numPackets, 12u);  // 85 notes (255 bytes) to a packet
  std::vector<Byte> read;
  const MIDIPacket* p = &list->packet[0];
  for (UInt32 i = 0; i < list->numPackets; ++i, p = MIDIPacketNext(p)) {
    const UInt16 length = p->length;
    EXPECT_LE(length, kMIDIPacketNominalBytes) << i;
    EXPECT_EQ(length % 3, 0) << i;
    const MIDITimeStamp stamp = p->timeStamp;  // packed: copied before it is compared
    EXPECT_EQ(stamp, 5u);
    read.insert(read.end(), MIDIPacketData(p), MIDIPacketData(p) + p->length);
  }
  EXPECT_EQ(read, sent);

  // One exclusive of 1000 bytes is one packet, longer than `data`, read whole.
  std::vector<Byte> exclusive(1000, 0x11);
  exclusive.front() = 0xF0;
  exclusive.back() = 0xF7;
  MIDIPacket* only = MIDIPacketListAdd(list, storage.size() * 4, MIDIPacketListInit(list), 9,
                                       exclusive.size(), exclusive.data());
  ASSERT_NE(only, nullptr);
  EXPECT_EQ(list->numPackets, 1u);
  EXPECT_EQ(UInt16{only->length}, 1000);
  EXPECT_EQ(std::vector<Byte>(MIDIPacketData(only), MIDIPacketData(only) + only->length), exclusive);
  const Byte note[3] = {0x90, 0x3C, 0x40};
  MIDIPacket* after = MIDIPacketListAdd(list, storage.size() * 4, only, 9, 3, note);
  ASSERT_NE(after, nullptr);
  EXPECT_EQ(after, MIDIPacketNext(only));
  EXPECT_EQ(reinterpret_cast<const Byte*>(after) - MIDIPacketData(only), 1000 + 2);  // aligned
}

}  // namespace
