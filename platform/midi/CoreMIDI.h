// The MIDI services the standalone's MIDI code calls, shaped like the platform's MIDI API:
// clients with a notification procedure, the device / entity / endpoint hierarchy, sources and
// destinations by index, properties (name, manufacturer, model, unique id, offline), virtual
// destinations and sources, input ports with a read procedure, output ports, packet lists.
//
// Back ends (platform/midi/MIDIBackend.h): JACK MIDI, the ALSA sequencer, and an in-process
// fake for tests. The first client opens one (a fake installed by a test, else JACK, else ALSA);
// creating it fails with kMIDIServerStartErr when none is reachable. A JACK server is never
// started on our behalf.
//
// Threads:
// - [main] Every call below except the packet-list helpers runs on one thread, the main
//   thread. The object tables belong to it.
// - Changes the back end sees (endpoints appearing, going, renamed) are queued by its own
//   threads and applied on the main thread by MIDIDispatchPendingNotifications, which then calls
//   the clients' notification procedures. Nothing is delivered from a hidden thread.
// - Read procedures (input ports, virtual destinations) run on a back-end thread (JACK's process
//   thread, the sequencer's input thread, the fake's caller). Once the call that disconnects a
//   source or disposes of a port or endpoint has returned, its read procedure is not running and
//   will not be called again.
// Object references are never reused: a stale one answers kMIDIObjectNotFound.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/cf/CFString.h"
#include "platform/midi/HostTime.h"

using OSStatus = SInt32;
using Byte = std::uint8_t;
using ItemCount = unsigned long;
using ByteCount = unsigned long;

inline constexpr OSStatus noErr = 0;
inline constexpr OSStatus kMIDIInvalidClient = -10830;
inline constexpr OSStatus kMIDIInvalidPort = -10831;
inline constexpr OSStatus kMIDIWrongEndpointType = -10832;
inline constexpr OSStatus kMIDINoConnection = -10833;
inline constexpr OSStatus kMIDIUnknownEndpoint = -10834;
inline constexpr OSStatus kMIDIUnknownProperty = -10835;
inline constexpr OSStatus kMIDIWrongPropertyType = -10836;
inline constexpr OSStatus kMIDIServerStartErr = -10839;
inline constexpr OSStatus kMIDIObjectNotFound = -10842;
inline constexpr OSStatus kMIDIIDNotUnique = -10843;
inline constexpr OSStatus kMIDINotPermitted = -10844;
inline constexpr OSStatus kMIDIParamErr = -50;  // a null or out-of-range argument

using MIDIObjectRef = UInt32;
using MIDIClientRef = MIDIObjectRef;
using MIDIPortRef = MIDIObjectRef;
using MIDIDeviceRef = MIDIObjectRef;
using MIDIEntityRef = MIDIObjectRef;
using MIDIEndpointRef = MIDIObjectRef;
using MIDITimeStamp = UInt64;  // host time (platform/midi/HostTime.h); 0 means "now"
using MIDIUniqueID = SInt32;

enum MIDIObjectType : SInt32 {
  kMIDIObjectType_Other = -1,
  kMIDIObjectType_Device = 0,
  kMIDIObjectType_Entity = 1,
  kMIDIObjectType_Source = 2,
  kMIDIObjectType_Destination = 3,
};

using MIDINotificationMessageID = SInt32;
enum : MIDINotificationMessageID {
  kMIDIMsgSetupChanged = 1,
  kMIDIMsgObjectAdded = 2,
  kMIDIMsgObjectRemoved = 3,
  kMIDIMsgPropertyChanged = 4,
};

struct MIDINotification {
  MIDINotificationMessageID messageID;
  UInt32 messageSize;
};

struct MIDIObjectAddRemoveNotification {
  MIDINotificationMessageID messageID;
  UInt32 messageSize;
  MIDIObjectRef parent;
  MIDIObjectType parentType;
  MIDIObjectRef child;
  MIDIObjectType childType;
};

struct MIDIObjectPropertyChangeNotification {
  MIDINotificationMessageID messageID;
  UInt32 messageSize;
  MIDIObjectRef object;
  MIDIObjectType objectType;
  CFStringRef propertyName;
};

// Packets follow each other in a list, each starting at the next 4-byte boundary after the
// previous one's data. `length` may exceed the nominal 256 data bytes of `data` inside a larger
// list (one long message, such as an exclusive), so the bytes are reached through
// `MIDIPacketData`, never by indexing `data` beyond its bound (undefined behaviour).
#pragma pack(push, 4)
struct MIDIPacket {
  MIDITimeStamp timeStamp;
  UInt16 length;
  Byte data[256];
};
struct MIDIPacketList {
  UInt32 numPackets;
  MIDIPacket packet[1];
};
#pragma pack(pop)
static_assert(offsetof(MIDIPacket, length) == 8);
static_assert(offsetof(MIDIPacket, data) == 10);
static_assert(offsetof(MIDIPacketList, packet) == 4);

/// The data bytes a packet declares in its nominal `data` array; a joined packet stays within it.
inline constexpr ByteCount kMIDIPacketNominalBytes = sizeof(MIDIPacket::data);

/// The first of the packet's `length` data bytes: an address in the list's storage, from which
/// all of them can be read (or written) however long the packet is. Any thread.
inline Byte* MIDIPacketData(MIDIPacket* packet) {
  return reinterpret_cast<Byte*>(packet) + offsetof(MIDIPacket, data);
}
inline const Byte* MIDIPacketData(const MIDIPacket* packet) {
  return reinterpret_cast<const Byte*>(packet) + offsetof(MIDIPacket, data);
}

/// The packet after `packet`. Any thread.
inline MIDIPacket* MIDIPacketNext(const MIDIPacket* packet) {
  const auto address = reinterpret_cast<std::uintptr_t>(MIDIPacketData(packet) + packet->length);
  return reinterpret_cast<MIDIPacket*>((address + 3) & ~static_cast<std::uintptr_t>(3));
}

/// Starts an empty list in caller storage (4-byte aligned); returns the first packet slot.
MIDIPacket* MIDIPacketListInit(MIDIPacketList* list);
/// Appends `length` bytes at `time` to the list of `listSize` bytes (the bytes join `current`
/// when it has the same time, holds no system-exclusive data and stays within its nominal 256
/// bytes; else they start a packet of their own, which may be longer); returns the packet
/// written, or null when the list is full. Any thread; no allocation.
MIDIPacket* MIDIPacketListAdd(MIDIPacketList* list, ByteCount listSize, MIDIPacket* current,
                              MIDITimeStamp time, ByteCount length, const Byte* data);

using MIDINotifyProc = void (*)(const MIDINotification* message, void* refCon);
/// `readProcRefCon` is the port's or virtual destination's; `srcConnRefCon` the one given to
/// MIDIPortConnectSource (null for a virtual destination).
using MIDIReadProc = void (*)(const MIDIPacketList* list, void* readProcRefCon,
                              void* srcConnRefCon);

// Properties. Strings: name, manufacturer, model, display name. Integers: unique id, offline.
extern const CFStringRef kMIDIPropertyName;
extern const CFStringRef kMIDIPropertyManufacturer;
extern const CFStringRef kMIDIPropertyModel;
extern const CFStringRef kMIDIPropertyDisplayName;
extern const CFStringRef kMIDIPropertyUniqueID;
extern const CFStringRef kMIDIPropertyOffline;

/// `name` may be null or empty (the back end then names its connection after the program).
OSStatus MIDIClientCreate(CFStringRef name, MIDINotifyProc notifyProc, void* notifyRefCon,
                          MIDIClientRef* outClient);
/// Disposes of the client's ports and virtual endpoints too; the last client closes the back end.
OSStatus MIDIClientDispose(MIDIClientRef client);

/// Applies what the back end has seen since the last call and tells every client, in order.
/// Call it from the main loop (and in tests where the main loop would run). [main]
void MIDIDispatchPendingNotifications();

/// Sources and destinations of online devices, then the virtual ones, in creation order.
ItemCount MIDIGetNumberOfSources();
MIDIEndpointRef MIDIGetSource(ItemCount index);  // 0 past the end
ItemCount MIDIGetNumberOfDestinations();
MIDIEndpointRef MIDIGetDestination(ItemCount index);

ItemCount MIDIGetNumberOfDevices();
MIDIDeviceRef MIDIGetDevice(ItemCount index);
ItemCount MIDIDeviceGetNumberOfEntities(MIDIDeviceRef device);
MIDIEntityRef MIDIDeviceGetEntity(MIDIDeviceRef device, ItemCount index);
ItemCount MIDIEntityGetNumberOfSources(MIDIEntityRef entity);
MIDIEndpointRef MIDIEntityGetSource(MIDIEntityRef entity, ItemCount index);
ItemCount MIDIEntityGetNumberOfDestinations(MIDIEntityRef entity);
MIDIEndpointRef MIDIEntityGetDestination(MIDIEntityRef entity, ItemCount index);
OSStatus MIDIEntityGetDevice(MIDIEntityRef entity, MIDIDeviceRef* outDevice);
/// kMIDIObjectNotFound for a virtual endpoint, which belongs to no entity.
OSStatus MIDIEndpointGetEntity(MIDIEndpointRef endpoint, MIDIEntityRef* outEntity);

/// A copy the caller releases (CFRelease).
OSStatus MIDIObjectGetStringProperty(MIDIObjectRef object, CFStringRef property,
                                     CFStringRef* outValue);
OSStatus MIDIObjectGetIntegerProperty(MIDIObjectRef object, CFStringRef property,
                                      SInt32* outValue);
/// Setting kMIDIPropertyUniqueID answers kMIDIIDNotUnique when another object holds the value.
OSStatus MIDIObjectSetIntegerProperty(MIDIObjectRef object, CFStringRef property, SInt32 value);
OSStatus MIDIObjectFindByUniqueID(MIDIUniqueID id, MIDIObjectRef* outObject,
                                  MIDIObjectType* outType);

/// A destination other programs can send to; `readProc` receives what they send.
OSStatus MIDIDestinationCreate(MIDIClientRef client, CFStringRef name, MIDIReadProc readProc,
                               void* refCon, MIDIEndpointRef* outDestination);
/// A source other programs can receive from.
OSStatus MIDISourceCreate(MIDIClientRef client, CFStringRef name, MIDIEndpointRef* outSource);
/// Disposes of a virtual endpoint of this program.
OSStatus MIDIEndpointDispose(MIDIEndpointRef endpoint);

OSStatus MIDIInputPortCreate(MIDIClientRef client, CFStringRef name, MIDIReadProc readProc,
                             void* refCon, MIDIPortRef* outPort);
OSStatus MIDIOutputPortCreate(MIDIClientRef client, CFStringRef name, MIDIPortRef* outPort);
/// Disconnects every source of an input port first.
OSStatus MIDIPortDispose(MIDIPortRef port);
/// Connecting a source twice only replaces its `connRefCon`.
OSStatus MIDIPortConnectSource(MIDIPortRef port, MIDIEndpointRef source, void* connRefCon);
OSStatus MIDIPortDisconnectSource(MIDIPortRef port, MIDIEndpointRef source);
