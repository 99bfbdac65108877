#include "standalone/host/CoreMIDILayer.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "VNL/source/LogLine.h"
#include "standalone/host/MIDIDeviceManagerInterface.h"
#include "standalone/host/MIDIDriver.h"

namespace {

// A unique id that the services keep refusing moves the prefix up at most this often; the
// endpoint then keeps the id the services gave it.
constexpr int kUniqueIDAttempts = 64;

struct LayerState {
  MIDIClientRef client = 0;
  std::string clientName;  // empty in this program
  std::map<std::int32_t, MIDIDeviceInfo*> deviceInfos;
  std::map<std::int32_t, MIDIEndpointRef> endpointRefs;
  std::map<std::int32_t, MIDIEndpointRef> virtualEndpointRefs;
  std::map<std::uint32_t, MIDIDriver*> virtualDevices;
  std::int32_t endpointsCounter = 0;
  std::int32_t virtualIns = 0;
  std::int32_t virtualOuts = 0;
  std::vector<std::string> innames;
  std::vector<std::string> outnames;
  std::int32_t virtualIDPrefix = 0;
  bool fpass = false;
  std::set<MIDIDriver*> inputDrivers;
};

LayerState& layer() {
  static LayerState state;
  return state;
}

vantor::MIDIDeviceManagerInterface* g_manager = nullptr;

bool uniqueIDOf(MIDIObjectRef object, SInt32& id) {
  return object != 0 && MIDIObjectGetIntegerProperty(object, kMIDIPropertyUniqueID, &id) == noErr;
}

/// The property as ASCII text of at most 63 bytes, else empty.
std::string asciiProperty(MIDIObjectRef object, CFStringRef property) {
  CFStringRef value = nullptr;
  if (MIDIObjectGetStringProperty(object, property, &value) != noErr || value == nullptr) return {};
  char buffer[64];
  const bool ok = CFStringGetCString(value, buffer, sizeof(buffer), kCFStringEncodingASCII);
  CFRelease(value);
  return ok ? std::string(buffer) : std::string();
}

MIDIDeviceInfo* newRecord(std::int32_t id, bool in, const std::string& name, bool working) {
  auto* info = new MIDIDeviceInfo();
  info->name = name;
  info->ins = in ? 1 : 0;
  info->outs = in ? 0 : 1;
  info->id = id;
  info->working = working;
  layer().deviceInfos[id] = info;
  return info;
}

CFStringRef endpointName(const std::string& name) {
  // Names travel as UTF-8, the encoding of text on Linux.
  return CFStringCreateWithCString(nullptr, name.c_str(), CFStringGetSystemEncoding());
}

/// Sets the unique id of a new virtual endpoint, moving the prefix up by 32 on each collision.
void assignUniqueID(MIDIEndpointRef endpoint, std::int32_t offset) {
  LayerState& s = layer();
  for (int attempt = 1;; ++attempt) {
    const SInt32 id = static_cast<SInt32>(static_cast<std::uint32_t>(s.virtualIDPrefix) +
                                          static_cast<std::uint32_t>(offset));
    const OSStatus status = MIDIObjectSetIntegerProperty(endpoint, kMIDIPropertyUniqueID, id);
    if (status != kMIDIIDNotUnique) return;
    if (attempt == kUniqueIDAttempts) {
      PLOGE("no free unique id for a virtual MIDI endpoint after %d tries", attempt);
      return;
    }
    s.virtualIDPrefix = static_cast<std::int32_t>(static_cast<std::uint32_t>(s.virtualIDPrefix) + 32u);
  }
}

void addVirtual(bool destination, std::int32_t index, std::int32_t id) {
  LayerState& s = layer();
  ++s.endpointsCounter;
  const std::vector<std::string>& names = destination ? s.innames : s.outnames;
  const std::string name = index < static_cast<std::int32_t>(names.size())
                               ? names[index]
                               : s.clientName + " " + std::to_string(index + 1);
  MIDIDeviceInfo* info = newRecord(id, destination, name, true);
  info->type = "virtual";
  auto* driver = new MIDIDriver(destination, id);
  MIDIEndpointRef endpoint = 0;
  CFStringRef cfName = endpointName(name);
  OSStatus status;
  if (destination) {
    status = MIDIDestinationCreate(s.client, cfName, &MIDIDriver::midiInputCallback, driver, &endpoint);
    if (status != noErr) PLOGE("Error creating virtual destination!");
  } else {
    status = MIDISourceCreate(s.client, cfName, &endpoint);
    if (status != noErr) PLOGE("Error creating virtual source!");
  }
  if (cfName != nullptr) CFRelease(cfName);
  // Without an endpoint the record and driver stay (the device simply stays silent), and there
  // is no id to set.
  if (status == noErr && endpoint != 0) {
    assignUniqueID(endpoint, destination ? index : s.virtualIns + index);
  }
  driver->setVirtualEndpoint(endpoint);
  s.virtualEndpointRefs[id] = endpoint;
  s.virtualDevices[static_cast<std::uint32_t>(id)] = driver;
}

// One record per destination (or source) of the system, numbered from `firstId` on.
void addEndpointRecords(ItemCount count, std::int32_t firstId, bool sources) {
  LayerState& s = layer();
  for (ItemCount i = 0; i < count; ++i) {
    const auto id = static_cast<std::int32_t>(firstId + static_cast<std::int32_t>(i));
    ++s.endpointsCounter;
    const MIDIEndpointRef endpoint = sources ? MIDIGetSource(i) : MIDIGetDestination(i);
    s.endpointRefs[id] = endpoint;
    std::string display;
    if (endpoint != 0) {
      extractMIDIObjectName(endpoint, display);
    } else {
      PLOGE("Detected non-working MIDI %s", sources ? "Source" : "Destination");
      display = "Non working";
    }
    newRecord(id, sources, display, endpoint != 0);
  }
}

void fillTables() {
  LayerState& s = layer();
  PLOGI("using MIDI Client name : %s", s.clientName.c_str());
  CFStringRef name = kelo::cf::makeString(s.clientName);
  const OSStatus status = MIDIClientCreate(name, &NotifyProc, nullptr, &s.client);
  if (name != nullptr) CFRelease(name);
  if (status != noErr) {
    PLOGE("unable to create MIDIClient!!!");
    s.client = 0;
    return;
  }
  const ItemCount destinations = MIDIGetNumberOfDestinations();
  addEndpointRecords(destinations, 0, false);
  const ItemCount sources = MIDIGetNumberOfSources();
  addEndpointRecords(sources, static_cast<std::int32_t>(destinations), true);
  // Identifiers of the first filling are positions; the counter only ever grows, so devices
  // added later never take an identifier the tables hold, also after a new filling.
  const auto first = static_cast<std::int32_t>(destinations + sources);
  for (std::int32_t i = 0; i < s.virtualIns; ++i) addVirtual(true, i, first + i);
  for (std::int32_t i = 0; i < s.virtualOuts; ++i) addVirtual(false, i, first + s.virtualIns + i);
}

void fillOnce() {
  LayerState& s = layer();
  if (s.fpass) return;
  fillTables();
  s.fpass = true;
}

/// One of the program's own virtual endpoints, by its unique id or its reference.
bool isOwnVirtual(MIDIEndpointRef endpoint, bool source, SInt32 uniqueID) {
  LayerState& s = layer();
  const std::int64_t offset = static_cast<std::int64_t>(uniqueID) - s.virtualIDPrefix -
                              (source ? s.virtualIns : 0);
  if (offset >= 0 && offset < (source ? s.virtualOuts : s.virtualIns)) return true;
  for (const auto& [id, ref] : s.virtualEndpointRefs) {
    if (ref == endpoint && ref != 0) return true;
  }
  return false;
}

void endpointAdded(MIDIEndpointRef endpoint, bool source) {
  LayerState& s = layer();
  const char* kind = source ? "src" : "dst";
  SInt32 uniqueID = 0;
  const bool hasID = uniqueIDOf(endpoint, uniqueID);
  if (hasID && isOwnVirtual(endpoint, source, uniqueID)) return;
  if (!hasID && isOwnVirtual(endpoint, source, INT32_MIN)) return;
  std::string name;
  extractMIDIObjectName(endpoint, name);
  // An endpoint whose id cannot be read has nothing to be a duplicate of: it is added.
  if (hasID) {
    for (const auto& [id, ref] : s.endpointRefs) {
      SInt32 other = 0;
      if (uniqueIDOf(ref, other) && other == uniqueID) {
        PLOGI("%s (%s) already there!?!", name.c_str(), kind);
        return;
      }
    }
  }
  const std::int32_t id = s.endpointsCounter;
  newRecord(id, source, name, true);
  s.endpointRefs[id] = endpoint;
  if (g_manager != nullptr) g_manager->addMIDIDevice(id);
  ++s.endpointsCounter;
  PLOGI("%s (%s) added", name.c_str(), kind);
}

void endpointRemoved(MIDIEndpointRef endpoint, bool source) {
  LayerState& s = layer();
  std::string name;
  extractMIDIObjectName(endpoint, name);
  SInt32 uniqueID = 0;
  const bool hasID = uniqueIDOf(endpoint, uniqueID);
  auto match = s.endpointRefs.end();
  for (auto it = s.endpointRefs.begin(); it != s.endpointRefs.end(); ++it) {
    if (hasID) {
      SInt32 other = 0;
      if (uniqueIDOf(it->second, other) && other == uniqueID) {
        match = it;
        break;
      }
    } else if (!name.empty() && it->second != 0) {
      std::string otherName;
      extractMIDIObjectName(it->second, otherName);
      if (otherName == name) {
        match = it;
        break;
      }
    }
  }
  if (match == s.endpointRefs.end()) return;
  const std::int32_t id = match->first;
  if (g_manager != nullptr) g_manager->removeMIDIDevice(id);
  auto info = s.deviceInfos.find(id);
  if (info != s.deviceInfos.end()) {
    delete info->second;
    s.deviceInfos.erase(info);
  }
  s.endpointRefs.erase(id);
  PLOGI("%s (%s) removed", name.c_str(), source ? "src" : "dst");
}

void addedOrRemoved(bool added, MIDIEndpointRef endpoint, MIDIObjectType type) {
  if (endpoint == 0) return;
  if (type != kMIDIObjectType_Source && type != kMIDIObjectType_Destination) return;
  const bool source = type == kMIDIObjectType_Source;
  if (added) {
    endpointAdded(endpoint, source);
  } else {
    endpointRemoved(endpoint, source);
  }
}

void deviceOfflineChanged(MIDIDeviceRef device) {
  SInt32 offline = 0;
  if (MIDIObjectGetIntegerProperty(device, kMIDIPropertyOffline, &offline) != noErr) return;
  const bool added = offline == 0;
  const ItemCount entities = MIDIDeviceGetNumberOfEntities(device);
  for (ItemCount e = 0; e < entities; ++e) {
    const MIDIEntityRef entity = MIDIDeviceGetEntity(device, e);
    const ItemCount sources = MIDIEntityGetNumberOfSources(entity);
    for (ItemCount i = 0; i < sources; ++i) {
      addedOrRemoved(added, MIDIEntityGetSource(entity, i), kMIDIObjectType_Source);
    }
    const ItemCount destinations = MIDIEntityGetNumberOfDestinations(entity);
    for (ItemCount i = 0; i < destinations; ++i) {
      addedOrRemoved(added, MIDIEntityGetDestination(entity, i), kMIDIObjectType_Destination);
    }
  }
}

void renameEntityEndpoints(MIDIEntityRef entity) {
  const ItemCount sources = MIDIEntityGetNumberOfSources(entity);
  for (ItemCount i = 0; i < sources; ++i) vantor::MIDIEndpointRenamed(MIDIEntityGetSource(entity, i));
  const ItemCount destinations = MIDIEntityGetNumberOfDestinations(entity);
  for (ItemCount i = 0; i < destinations; ++i) {
    vantor::MIDIEndpointRenamed(MIDIEntityGetDestination(entity, i));
  }
}

void propertyChanged(const MIDIObjectPropertyChangeNotification& change) {
  const std::string property(kelo::cf::utf8(change.propertyName));
  if (property == kelo::cf::utf8(kMIDIPropertyOffline)) {
    if (change.objectType == kMIDIObjectType_Device) deviceOfflineChanged(change.object);
  } else if (property == kelo::cf::utf8(kMIDIPropertyDisplayName)) {
    PLOGI("kMIDIPropertyDisplayName changed : TODO!");
  } else if (property == kelo::cf::utf8(kMIDIPropertyName)) {
    switch (change.objectType) {
      case kMIDIObjectType_Source:
      case kMIDIObjectType_Destination:
        PLOGI("kMIDIPropertyName changed on Destination or Source");
        vantor::MIDIEndpointRenamed(change.object);
        break;
      case kMIDIObjectType_Entity:
        PLOGI("kMIDIPropertyName changed on Entity");
        renameEntityEndpoints(change.object);
        break;
      case kMIDIObjectType_Device: {
        PLOGI("kMIDIPropertyName changed on Device");
        const ItemCount entities = MIDIDeviceGetNumberOfEntities(change.object);
        for (ItemCount e = 0; e < entities; ++e) {
          renameEntityEndpoints(MIDIDeviceGetEntity(change.object, e));
        }
        break;
      }
      default:
        break;
    }
  }
}

}  // namespace

namespace vantor {

void setMIDIDeviceManager(MIDIDeviceManagerInterface* manager) { g_manager = manager; }
MIDIDeviceManagerInterface* midiDeviceManager() { return g_manager; }

void MIDIEndpointRenamed(MIDIEndpointRef endpoint) {
  LayerState& s = layer();
  SInt32 uniqueID = 0;
  if (!uniqueIDOf(endpoint, uniqueID)) return;
  std::int32_t found = -1;
  for (const auto* table : {&s.endpointRefs, &s.virtualEndpointRefs}) {
    for (const auto& [id, ref] : *table) {
      SInt32 other = 0;
      if (found < 0 && uniqueIDOf(ref, other) && other == uniqueID) found = id;
    }
  }
  if (found < 0) return;
  std::string name;
  extractMIDIObjectName(endpoint, name);
  if (!name.empty() && g_manager != nullptr) g_manager->renameMIDIDevice(found, name);
}

}  // namespace vantor

void MIDI_CreateVirtualDevices(std::uint32_t firstUniqueID, const std::vector<std::string>& inputNames,
                               const std::vector<std::string>& outputNames) {
  LayerState& s = layer();
  s.virtualIns = static_cast<std::int32_t>(inputNames.size());
  s.virtualOuts = static_cast<std::int32_t>(outputNames.size());
  s.innames = inputNames;
  s.outnames = outputNames;
  s.virtualIDPrefix = static_cast<std::int32_t>(firstUniqueID);
}

void MIDI_GetDeviceIDs(std::vector<int>& ids) {
  fillOnce();
  for (const auto& [id, info] : layer().deviceInfos) ids.push_back(id);
}

MIDIDeviceInfo* MIDI_GetDeviceInfo(int id) {
  fillOnce();
  auto& infos = layer().deviceInfos;
  auto it = infos.find(id);
  return it == infos.end() ? nullptr : it->second;
}

MIDIDriver* MIDI_GetMIDIDriverForVirtualDriver(int id) {
  auto& drivers = layer().virtualDevices;
  auto it = drivers.find(static_cast<std::uint32_t>(id));
  if (it == drivers.end()) {
    PLOGE("couldn't find virtual device!?!?!!!");
    return nullptr;
  }
  return it->second;
}

bool MIDI_Terminate() {
  LayerState& s = layer();
  s.virtualEndpointRefs.clear();
  s.endpointRefs.clear();
  // The client goes first: disposing of it disposes of the virtual destinations and returns
  // only once their read callbacks cannot run, so the drivers can go after it.
  if (s.client != 0) MIDIClientDispose(s.client);
  s.client = 0;
  for (auto& [id, driver] : s.virtualDevices) delete driver;
  s.virtualDevices.clear();
  for (auto& [id, info] : s.deviceInfos) delete info;
  s.deviceInfos.clear();
  s.fpass = false;
  return true;
}

MIDIClientRef MIDI_GetClient() { return layer().client; }

MIDIEndpointRef MIDI_GetEndpointRef(int id) {
  auto& refs = layer().endpointRefs;
  auto it = refs.find(id);
  return it == refs.end() ? 0 : it->second;
}

void MIDI_DispatchNotifications() {
  MIDIDispatchPendingNotifications();
  for (MIDIDriver* driver : layer().inputDrivers) driver->reportDroppedMessages();
}

void MIDI_RegisterDriver(MIDIDriver* driver) { layer().inputDrivers.insert(driver); }
void MIDI_UnregisterDriver(MIDIDriver* driver) { layer().inputDrivers.erase(driver); }
bool MIDI_IsLiveDriver(const MIDIDriver* driver) {
  return layer().inputDrivers.count(const_cast<MIDIDriver*>(driver)) != 0;
}

void NotifyProc(const MIDINotification* message, void*) {
  if (message == nullptr) return;
  switch (message->messageID) {
    case kMIDIMsgObjectAdded:
    case kMIDIMsgObjectRemoved: {
      const auto* change = reinterpret_cast<const MIDIObjectAddRemoveNotification*>(message);
      addedOrRemoved(message->messageID == kMIDIMsgObjectAdded, change->child, change->childType);
      break;
    }
    case kMIDIMsgPropertyChanged:
      propertyChanged(*reinterpret_cast<const MIDIObjectPropertyChangeNotification*>(message));
      break;
    default:
      break;
  }
}

void extractMIDIObjectName(MIDIObjectRef object, std::string& name) {
  name = asciiProperty(object, kMIDIPropertyName);
  const std::string manufacturer = asciiProperty(object, kMIDIPropertyManufacturer);
  const std::string model = asciiProperty(object, kMIDIPropertyModel);
  if (!manufacturer.empty()) name += " " + manufacturer;
  if (!model.empty()) name += " " + model;
}
