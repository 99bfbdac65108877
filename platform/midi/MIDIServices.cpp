// The object tables of the MIDI services and the calls over them. Everything here runs on the
// main thread except the sink's queueing (any thread) and the packet-list helpers.
#include <errno.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "VNL/source/LogLine.h"
#include "platform/midi/CoreMIDI.h"
#include "platform/midi/MIDIBackend.h"

const CFStringRef kMIDIPropertyName = CFSTR("name");
const CFStringRef kMIDIPropertyManufacturer = CFSTR("manufacturer");
const CFStringRef kMIDIPropertyModel = CFSTR("model");
const CFStringRef kMIDIPropertyDisplayName = CFSTR("displayName");
const CFStringRef kMIDIPropertyUniqueID = CFSTR("uniqueID");
const CFStringRef kMIDIPropertyOffline = CFSTR("offline");

namespace kelo::midi {
namespace {

struct Object {
  MIDIObjectType type = kMIDIObjectType_Other;
  MIDIObjectRef parent = 0;  // an endpoint's entity, an entity's device
  std::vector<MIDIObjectRef> entities;
  std::vector<MIDIObjectRef> sources;
  std::vector<MIDIObjectRef> destinations;
  std::string key;  // endpoints: the back end's key; devices and entities: the device key
  std::string name, manufacturer, model;
  SInt32 uniqueID = 0;
  bool offline = false;
  bool isVirtual = false;
  MIDIClientRef owner = 0;  // virtual endpoints
};

struct Client {
  MIDINotifyProc proc = nullptr;
  void* refCon = nullptr;
};

struct Port {
  MIDIClientRef client = 0;
  bool input = false;
  Receiver receiver;
  std::map<MIDIEndpointRef, int> connections;  // source -> back-end connection
};

struct Pending {
  enum Kind { Appeared, Vanished, EndpointRenamed, EntityRenamed, DeviceRenamed, Offline, Lost,
              OwnAdded, OwnRemoved };
  explicit Pending(Kind k) : kind(k) {}
  Kind kind;
  EndpointDescription endpoint;
  std::string key, newKey, name;
  bool offline = false;
  MIDIObjectRef ref = 0;
  MIDIObjectType type = kMIDIObjectType_Other;
};

bool isEndpoint(MIDIObjectType type) {
  return type == kMIDIObjectType_Source || type == kMIDIObjectType_Destination;
}

std::string programName() {
  const char* name = ::program_invocation_short_name;  // <errno.h>, GNU
  return (name != nullptr && *name != '\0') ? std::string(name) : std::string("kelo");
}

class Services final : public BackendSink {
 public:
  // --- sink: any thread, only queues ---
  void endpointAppeared(const EndpointDescription& endpoint) override {
    Pending p(Pending::Appeared);
    p.endpoint = endpoint;
    post(std::move(p));
  }
  void endpointVanished(const std::string& key) override {
    Pending p(Pending::Vanished);
    p.key = key;
    post(std::move(p));
  }
  void endpointRenamed(const std::string& key, const std::string& newKey,
                       const std::string& newName) override {
    Pending p(Pending::EndpointRenamed);
    p.key = key;
    p.newKey = newKey;
    p.name = newName;
    post(std::move(p));
  }
  void entityRenamed(const std::string& deviceKey, const std::string& newName) override {
    Pending p(Pending::EntityRenamed);
    p.key = deviceKey;
    p.name = newName;
    post(std::move(p));
  }
  void deviceRenamed(const std::string& deviceKey, const std::string& newName) override {
    Pending p(Pending::DeviceRenamed);
    p.key = deviceKey;
    p.name = newName;
    post(std::move(p));
  }
  void deviceOffline(const std::string& deviceKey, bool offline) override {
    Pending p(Pending::Offline);
    p.key = deviceKey;
    p.offline = offline;
    post(std::move(p));
  }
  void backendLost() override { post(Pending(Pending::Lost)); }

  // --- main thread ---
  Backend* testBackend = nullptr;
  Backend* backend = nullptr;
  std::unique_ptr<Backend> ownedBackend;
  std::map<MIDIObjectRef, Object> objects;
  std::map<MIDIObjectRef, Client> clients;
  std::map<MIDIObjectRef, Port> ports;
  std::map<std::string, SInt32> stableIDs;  // kept for the process's life
  MIDIObjectRef nextRef = 0x1000;
  bool dispatching = false;

  MIDIObjectRef newRef() { return nextRef++; }

  Object* find(MIDIObjectRef ref) {
    auto it = objects.find(ref);
    return it == objects.end() ? nullptr : &it->second;
  }

  bool idInUse(SInt32 id, MIDIObjectRef except) const {
    for (const auto& [ref, object] : objects) {
      if (ref != except && object.uniqueID == id) return true;
    }
    return false;
  }

  /// The id this key had before when it is free, else one made from the key (FNV-1a), moved
  /// on past ids in use.
  SInt32 stableID(const std::string& key) {
    auto it = stableIDs.find(key);
    if (it != stableIDs.end() && !idInUse(it->second, 0)) return it->second;
    UInt32 hash = 2166136261u;
    for (unsigned char c : key) hash = (hash ^ c) * 16777619u;
    SInt32 id = static_cast<SInt32>(hash);
    while (id == 0 || idInUse(id, 0)) id = static_cast<SInt32>(static_cast<UInt32>(id) + 1u);
    stableIDs[key] = id;
    return id;
  }

  bool open(const std::string& clientName) {
    std::vector<Backend*> candidates;
    std::vector<std::unique_ptr<Backend>> made;
    if (testBackend != nullptr) {
      candidates.push_back(testBackend);
    } else {
      made.push_back(makeJackBackend());
      made.push_back(makeAlsaBackend());
      for (auto& candidate : made) candidates.push_back(candidate.get());
    }
    for (std::size_t i = 0; i < candidates.size(); ++i) {
      if (!candidates[i]->open(clientName, *this)) continue;
      backend = candidates[i];
      if (testBackend == nullptr) ownedBackend = std::move(made[i]);
      PLOGI("MIDI services: using %s", backend->name());
      applyPending(false);  // what was there before us is no news
      return true;
    }
    PLOGW("MIDI services: no MIDI system reachable (JACK, ALSA)");
    return false;
  }

  void closeBackend() {
    if (backend != nullptr) backend->close();
    backend = nullptr;
    ownedBackend.reset();
    objects.clear();
    ports.clear();
    std::lock_guard<std::mutex> lock(m_pendingMutex);
    m_pending.clear();
  }

  void post(Pending&& pending) {
    std::lock_guard<std::mutex> lock(m_pendingMutex);
    m_pending.push_back(std::move(pending));
  }

  void postOwn(Pending::Kind kind, MIDIObjectRef ref, MIDIObjectType type) {
    Pending p(kind);
    p.ref = ref;
    p.type = type;
    post(std::move(p));
  }

  void applyPending(bool notify) {
    if (dispatching) return;
    dispatching = true;
    for (;;) {
      std::vector<Pending> batch;
      {
        std::lock_guard<std::mutex> lock(m_pendingMutex);
        batch.swap(m_pending);
      }
      if (batch.empty()) break;
      bool changed = false;
      for (Pending& p : batch) changed |= apply(p, notify);
      if (changed && notify) {
        MIDINotification setup{kMIDIMsgSetupChanged, sizeof(MIDINotification)};
        tell(&setup);
      }
    }
    dispatching = false;
  }

  void tell(const MIDINotification* message) {
    std::vector<Client> snapshot;
    for (const auto& [ref, client] : clients) snapshot.push_back(client);
    for (const Client& client : snapshot) {
      if (client.proc != nullptr) client.proc(message, client.refCon);
    }
  }

  void tellAddRemove(MIDINotificationMessageID id, MIDIObjectRef parent, MIDIObjectType parentType,
                     MIDIObjectRef child, MIDIObjectType childType) {
    MIDIObjectAddRemoveNotification n{id, sizeof(n), parent, parentType, child, childType};
    tell(reinterpret_cast<const MIDINotification*>(&n));
  }

  void tellProperty(MIDIObjectRef object, MIDIObjectType type, CFStringRef property) {
    MIDIObjectPropertyChangeNotification n{kMIDIMsgPropertyChanged, sizeof(n), object, type,
                                          property};
    tell(reinterpret_cast<const MIDINotification*>(&n));
  }

  MIDIObjectRef findEndpoint(const std::string& key) {
    for (auto& [ref, object] : objects) {
      if (isEndpoint(object.type) && !object.isVirtual && object.key == key) return ref;
    }
    return 0;
  }

  MIDIObjectRef findDevice(const std::string& deviceKey) {
    for (auto& [ref, object] : objects) {
      if (object.type == kMIDIObjectType_Device && object.key == deviceKey) return ref;
    }
    return 0;
  }

  bool apply(Pending& p, bool notify) {
    switch (p.kind) {
      case Pending::Appeared: {
        const EndpointDescription& d = p.endpoint;
        if (findEndpoint(d.key) != 0) return false;
        MIDIObjectRef device = findDevice(d.deviceKey);
        if (device == 0) {
          device = newRef();
          Object& dev = objects[device];
          dev.type = kMIDIObjectType_Device;
          dev.key = d.deviceKey;
          dev.name = d.deviceName;
          dev.manufacturer = d.manufacturer;
          dev.model = d.model;
          dev.uniqueID = stableID("device:" + d.deviceKey);
          const MIDIObjectRef entity = newRef();
          Object& ent = objects[entity];
          ent.type = kMIDIObjectType_Entity;
          ent.parent = device;
          ent.key = d.deviceKey;
          ent.name = d.deviceName;
          ent.uniqueID = stableID("entity:" + d.deviceKey);
          objects[device].entities.push_back(entity);
        }
        const MIDIObjectRef entity = objects[device].entities.front();
        const MIDIObjectRef ref = newRef();
        Object& endpoint = objects[ref];
        endpoint.type = d.isSource ? kMIDIObjectType_Source : kMIDIObjectType_Destination;
        endpoint.parent = entity;
        endpoint.key = d.key;
        endpoint.name = d.name;
        endpoint.manufacturer = d.manufacturer;
        endpoint.model = d.model;
        endpoint.uniqueID = d.hasUniqueID ? d.uniqueID : stableID(d.key);
        (d.isSource ? objects[entity].sources : objects[entity].destinations).push_back(ref);
        if (notify && !objects[device].offline) {
          tellAddRemove(kMIDIMsgObjectAdded, entity, kMIDIObjectType_Entity, ref, endpoint.type);
        }
        return true;
      }
      case Pending::Vanished: {
        const MIDIObjectRef ref = findEndpoint(p.key);
        if (ref == 0) return false;
        removeEndpoint(ref, notify);
        return true;
      }
      case Pending::Lost: {
        std::vector<MIDIObjectRef> doomed;
        for (auto& [ref, object] : objects) {
          if (isEndpoint(object.type) && !object.isVirtual) doomed.push_back(ref);
        }
        for (MIDIObjectRef ref : doomed) removeEndpoint(ref, notify);
        return !doomed.empty();
      }
      case Pending::EndpointRenamed: {
        const MIDIObjectRef ref = findEndpoint(p.key);
        if (ref == 0) return false;
        Object& endpoint = objects[ref];
        endpoint.key = p.newKey;
        endpoint.name = p.name;
        if (notify) tellProperty(ref, endpoint.type, kMIDIPropertyName);
        return true;
      }
      case Pending::EntityRenamed:
      case Pending::DeviceRenamed: {
        const MIDIObjectRef device = findDevice(p.key);
        if (device == 0) return false;
        const MIDIObjectRef ref =
            p.kind == Pending::DeviceRenamed ? device : objects[device].entities.front();
        objects[ref].name = p.name;
        if (notify) tellProperty(ref, objects[ref].type, kMIDIPropertyName);
        return true;
      }
      case Pending::Offline: {
        const MIDIObjectRef device = findDevice(p.key);
        if (device == 0 || objects[device].offline == p.offline) return false;
        objects[device].offline = p.offline;
        if (notify) tellProperty(device, kMIDIObjectType_Device, kMIDIPropertyOffline);
        return true;
      }
      case Pending::OwnAdded:
      case Pending::OwnRemoved:
        if (notify) {
          tellAddRemove(p.kind == Pending::OwnAdded ? kMIDIMsgObjectAdded : kMIDIMsgObjectRemoved,
                        0, kMIDIObjectType_Other, p.ref, p.type);
        }
        return true;
    }
    return false;
  }

  /// Tells the clients while the endpoint still answers its properties, then forgets it and
  /// any entity and device left empty.
  void removeEndpoint(MIDIObjectRef ref, bool notify) {
    const MIDIObjectRef entity = objects[ref].parent;
    const MIDIObjectType type = objects[ref].type;
    const MIDIObjectRef device = objects[entity].parent;
    if (notify && !objects[device].offline) {
      tellAddRemove(kMIDIMsgObjectRemoved, entity, kMIDIObjectType_Entity, ref, type);
    }
    Object& ent = objects[entity];
    auto& list = type == kMIDIObjectType_Source ? ent.sources : ent.destinations;
    list.erase(std::remove(list.begin(), list.end(), ref), list.end());
    objects.erase(ref);
    if (ent.sources.empty() && ent.destinations.empty()) {
      objects.erase(entity);
      objects.erase(device);
    }
  }

  bool listed(const Object& object, MIDIObjectType type, bool wantVirtual) {
    if (object.type != type || object.isVirtual != wantVirtual) return false;
    if (wantVirtual) return true;
    const Object* entity = find(object.parent);
    const Object* device = entity != nullptr ? find(entity->parent) : nullptr;
    return device != nullptr && !device->offline;
  }

  std::vector<MIDIEndpointRef> endpoints(MIDIObjectType type) {
    std::vector<MIDIEndpointRef> out;
    for (bool wantVirtual : {false, true}) {
      for (auto& [ref, object] : objects) {
        if (listed(object, type, wantVirtual)) out.push_back(ref);
      }
    }
    return out;
  }

  void disconnectAll(Port& port) {
    for (auto& [source, connection] : port.connections) backend->disconnect(connection);
    port.connections.clear();
  }

  void disposeVirtual(MIDIObjectRef ref) {
    Object& endpoint = objects[ref];
    backend->disposeVirtual(endpoint.key);
    postOwn(Pending::OwnRemoved, ref, endpoint.type);
    objects.erase(ref);
  }

 private:
  std::mutex m_pendingMutex;
  std::vector<Pending> m_pending;
};

Services& services() {
  static Services* instance = new Services();  // lives as long as the process
  return *instance;
}

std::string text(CFStringRef string) { return std::string(kelo::cf::utf8(string)); }

bool same(CFStringRef a, CFStringRef b) { return a == b || (a && b && text(a) == text(b)); }

OSStatus createVirtual(MIDIClientRef client, CFStringRef name, bool isDestination,
                       MIDIReadProc readProc, void* refCon, MIDIEndpointRef* out) {
  Services& s = services();
  if (out == nullptr || name == nullptr) return kMIDIParamErr;
  if (s.clients.count(client) == 0 || s.backend == nullptr) return kMIDIInvalidClient;
  const std::string endpointName = text(name);
  std::string key;
  if (!s.backend->createVirtual(endpointName, isDestination, Receiver{readProc, refCon, nullptr},
                                key)) {
    return kMIDINotPermitted;
  }
  const MIDIObjectRef ref = s.newRef();
  Object& endpoint = s.objects[ref];
  endpoint.type = isDestination ? kMIDIObjectType_Destination : kMIDIObjectType_Source;
  endpoint.key = key;
  endpoint.name = endpointName;
  endpoint.isVirtual = true;
  endpoint.owner = client;
  endpoint.uniqueID = s.stableID("virtual:" + key);
  s.postOwn(Pending::OwnAdded, ref, endpoint.type);
  *out = ref;
  return noErr;
}

}  // namespace

void useBackendForTesting(Backend* backend) { services().testBackend = backend; }

const char* openBackendName() {
  Backend* backend = services().backend;
  return backend != nullptr ? backend->name() : nullptr;
}

}  // namespace kelo::midi

using kelo::midi::Object;
using kelo::midi::services;

OSStatus MIDIClientCreate(CFStringRef name, MIDINotifyProc notifyProc, void* notifyRefCon,
                          MIDIClientRef* outClient) {
  auto& s = services();
  if (outClient == nullptr) return kMIDIParamErr;
  if (s.backend == nullptr) {
    std::string clientName = name != nullptr ? kelo::midi::text(name) : std::string();
    if (clientName.empty()) clientName = kelo::midi::programName();
    if (!s.open(clientName)) return kMIDIServerStartErr;
  }
  const MIDIClientRef ref = s.newRef();
  s.clients[ref] = kelo::midi::Client{notifyProc, notifyRefCon};
  *outClient = ref;
  return noErr;
}

OSStatus MIDIClientDispose(MIDIClientRef client) {
  auto& s = services();
  if (s.clients.count(client) == 0) return kMIDIInvalidClient;
  for (auto it = s.ports.begin(); it != s.ports.end();) {
    if (it->second.client == client) {
      s.disconnectAll(it->second);
      it = s.ports.erase(it);
    } else {
      ++it;
    }
  }
  std::vector<MIDIObjectRef> own;
  for (auto& [ref, object] : s.objects) {
    if (object.isVirtual && object.owner == client) own.push_back(ref);
  }
  for (MIDIObjectRef ref : own) s.disposeVirtual(ref);
  s.clients.erase(client);
  if (s.clients.empty()) s.closeBackend();
  return noErr;
}

void MIDIDispatchPendingNotifications() { services().applyPending(true); }

ItemCount MIDIGetNumberOfSources() { return services().endpoints(kMIDIObjectType_Source).size(); }

MIDIEndpointRef MIDIGetSource(ItemCount index) {
  const auto list = services().endpoints(kMIDIObjectType_Source);
  return index < list.size() ? list[index] : 0;
}

ItemCount MIDIGetNumberOfDestinations() {
  return services().endpoints(kMIDIObjectType_Destination).size();
}

MIDIEndpointRef MIDIGetDestination(ItemCount index) {
  const auto list = services().endpoints(kMIDIObjectType_Destination);
  return index < list.size() ? list[index] : 0;
}

namespace {

std::vector<MIDIObjectRef> devices() {
  std::vector<MIDIObjectRef> out;
  for (auto& [ref, object] : services().objects) {
    if (object.type == kMIDIObjectType_Device) out.push_back(ref);
  }
  return out;
}

const std::vector<MIDIObjectRef>* childList(MIDIObjectRef ref, MIDIObjectType parentType,
                                            MIDIObjectType childType) {
  const Object* object = services().find(ref);
  if (object == nullptr || object->type != parentType) return nullptr;
  if (childType == kMIDIObjectType_Entity) return &object->entities;
  return childType == kMIDIObjectType_Source ? &object->sources : &object->destinations;
}

ItemCount countOf(MIDIObjectRef ref, MIDIObjectType parentType, MIDIObjectType childType) {
  const auto* list = childList(ref, parentType, childType);
  return list != nullptr ? list->size() : 0;
}

MIDIObjectRef childAt(MIDIObjectRef ref, MIDIObjectType parentType, MIDIObjectType childType,
                      ItemCount index) {
  const auto* list = childList(ref, parentType, childType);
  return (list != nullptr && index < list->size()) ? (*list)[index] : 0;
}

}  // namespace

ItemCount MIDIGetNumberOfDevices() { return devices().size(); }

MIDIDeviceRef MIDIGetDevice(ItemCount index) {
  const auto list = devices();
  return index < list.size() ? list[index] : 0;
}

ItemCount MIDIDeviceGetNumberOfEntities(MIDIDeviceRef device) {
  return countOf(device, kMIDIObjectType_Device, kMIDIObjectType_Entity);
}
MIDIEntityRef MIDIDeviceGetEntity(MIDIDeviceRef device, ItemCount index) {
  return childAt(device, kMIDIObjectType_Device, kMIDIObjectType_Entity, index);
}
ItemCount MIDIEntityGetNumberOfSources(MIDIEntityRef entity) {
  return countOf(entity, kMIDIObjectType_Entity, kMIDIObjectType_Source);
}
MIDIEndpointRef MIDIEntityGetSource(MIDIEntityRef entity, ItemCount index) {
  return childAt(entity, kMIDIObjectType_Entity, kMIDIObjectType_Source, index);
}
ItemCount MIDIEntityGetNumberOfDestinations(MIDIEntityRef entity) {
  return countOf(entity, kMIDIObjectType_Entity, kMIDIObjectType_Destination);
}
MIDIEndpointRef MIDIEntityGetDestination(MIDIEntityRef entity, ItemCount index) {
  return childAt(entity, kMIDIObjectType_Entity, kMIDIObjectType_Destination, index);
}

OSStatus MIDIEntityGetDevice(MIDIEntityRef entity, MIDIDeviceRef* outDevice) {
  const Object* object = services().find(entity);
  if (outDevice == nullptr) return kMIDIParamErr;
  if (object == nullptr || object->type != kMIDIObjectType_Entity) return kMIDIObjectNotFound;
  *outDevice = object->parent;
  return noErr;
}

OSStatus MIDIEndpointGetEntity(MIDIEndpointRef endpoint, MIDIEntityRef* outEntity) {
  const Object* object = services().find(endpoint);
  if (outEntity == nullptr) return kMIDIParamErr;
  if (object == nullptr || !kelo::midi::isEndpoint(object->type) || object->isVirtual) {
    return kMIDIObjectNotFound;
  }
  *outEntity = object->parent;
  return noErr;
}

OSStatus MIDIObjectGetStringProperty(MIDIObjectRef ref, CFStringRef property,
                                     CFStringRef* outValue) {
  using kelo::midi::same;
  const Object* object = services().find(ref);
  if (outValue == nullptr || property == nullptr) return kMIDIParamErr;
  if (object == nullptr) return kMIDIObjectNotFound;
  const std::string* value = nullptr;
  if (same(property, kMIDIPropertyName) || same(property, kMIDIPropertyDisplayName)) {
    value = &object->name;
  } else if (same(property, kMIDIPropertyManufacturer)) {
    value = &object->manufacturer;
  } else if (same(property, kMIDIPropertyModel)) {
    value = &object->model;
  } else if (same(property, kMIDIPropertyUniqueID) || same(property, kMIDIPropertyOffline)) {
    return kMIDIWrongPropertyType;
  }
  if (value == nullptr || value->empty()) return kMIDIUnknownProperty;
  *outValue = kelo::cf::makeString(*value);
  return *outValue != nullptr ? noErr : kMIDIUnknownProperty;
}

OSStatus MIDIObjectGetIntegerProperty(MIDIObjectRef ref, CFStringRef property, SInt32* outValue) {
  using kelo::midi::same;
  const Object* object = services().find(ref);
  if (outValue == nullptr || property == nullptr) return kMIDIParamErr;
  if (object == nullptr) return kMIDIObjectNotFound;
  if (same(property, kMIDIPropertyUniqueID)) {
    *outValue = object->uniqueID;
    return noErr;
  }
  if (same(property, kMIDIPropertyOffline)) {
    const Object* device = object;
    if (object->type == kMIDIObjectType_Entity) device = services().find(object->parent);
    if (kelo::midi::isEndpoint(object->type) && !object->isVirtual) {
      device = services().find(services().find(object->parent)->parent);
    }
    *outValue = (device != nullptr && device->offline) ? 1 : 0;
    return noErr;
  }
  return kMIDIUnknownProperty;
}

OSStatus MIDIObjectSetIntegerProperty(MIDIObjectRef ref, CFStringRef property, SInt32 value) {
  auto& s = services();
  Object* object = s.find(ref);
  if (property == nullptr) return kMIDIParamErr;
  if (object == nullptr) return kMIDIObjectNotFound;
  // Only this program's own endpoints are ours to change; devices belong to their drivers.
  if (!object->isVirtual) return kMIDINotPermitted;
  if (!kelo::midi::same(property, kMIDIPropertyUniqueID)) return kMIDIUnknownProperty;
  if (s.idInUse(value, ref)) return kMIDIIDNotUnique;
  object->uniqueID = value;
  return noErr;
}

OSStatus MIDIObjectFindByUniqueID(MIDIUniqueID id, MIDIObjectRef* outObject,
                                  MIDIObjectType* outType) {
  for (auto& [ref, object] : services().objects) {
    if (object.uniqueID != id) continue;
    if (outObject != nullptr) *outObject = ref;
    if (outType != nullptr) *outType = object.type;
    return noErr;
  }
  if (outObject != nullptr) *outObject = 0;
  if (outType != nullptr) *outType = kMIDIObjectType_Other;
  return kMIDIObjectNotFound;
}

OSStatus MIDIDestinationCreate(MIDIClientRef client, CFStringRef name, MIDIReadProc readProc,
                               void* refCon, MIDIEndpointRef* outDestination) {
  if (readProc == nullptr) return kMIDIParamErr;
  return kelo::midi::createVirtual(client, name, true, readProc, refCon, outDestination);
}

OSStatus MIDISourceCreate(MIDIClientRef client, CFStringRef name, MIDIEndpointRef* outSource) {
  return kelo::midi::createVirtual(client, name, false, nullptr, nullptr, outSource);
}

OSStatus MIDIEndpointDispose(MIDIEndpointRef endpoint) {
  auto& s = services();
  const Object* object = s.find(endpoint);
  if (object == nullptr) return kMIDIObjectNotFound;
  if (!object->isVirtual) return kMIDINotPermitted;
  s.disposeVirtual(endpoint);
  return noErr;
}

OSStatus MIDIInputPortCreate(MIDIClientRef client, CFStringRef name, MIDIReadProc readProc,
                             void* refCon, MIDIPortRef* outPort) {
  auto& s = services();
  if (outPort == nullptr || readProc == nullptr) return kMIDIParamErr;
  if (s.clients.count(client) == 0) return kMIDIInvalidClient;
  const MIDIPortRef ref = s.newRef();
  kelo::midi::Port& port = s.ports[ref];
  port.client = client;
  port.input = true;
  port.receiver = kelo::midi::Receiver{readProc, refCon, nullptr};
  *outPort = ref;
  return noErr;
}

OSStatus MIDIOutputPortCreate(MIDIClientRef client, CFStringRef name, MIDIPortRef* outPort) {
  auto& s = services();
  if (outPort == nullptr) return kMIDIParamErr;
  if (s.clients.count(client) == 0) return kMIDIInvalidClient;
  const MIDIPortRef ref = s.newRef();
  s.ports[ref].client = client;
  *outPort = ref;
  return noErr;
}

OSStatus MIDIPortDispose(MIDIPortRef ref) {
  auto& s = services();
  auto it = s.ports.find(ref);
  if (it == s.ports.end()) return kMIDIInvalidPort;
  s.disconnectAll(it->second);
  s.ports.erase(it);
  return noErr;
}

OSStatus MIDIPortConnectSource(MIDIPortRef ref, MIDIEndpointRef source, void* connRefCon) {
  auto& s = services();
  auto it = s.ports.find(ref);
  if (it == s.ports.end() || !it->second.input) return kMIDIInvalidPort;
  const Object* object = s.find(source);
  if (object == nullptr) return kMIDIUnknownEndpoint;
  if (object->type != kMIDIObjectType_Source) return kMIDIWrongEndpointType;
  kelo::midi::Port& port = it->second;
  auto existing = port.connections.find(source);
  if (existing != port.connections.end()) {
    s.backend->disconnect(existing->second);
    port.connections.erase(existing);
  }
  kelo::midi::Receiver receiver = port.receiver;
  receiver.connRefCon = connRefCon;
  const int connection = s.backend->connect(object->key, receiver);
  if (connection <= 0) return kMIDINoConnection;
  port.connections[source] = connection;
  return noErr;
}

OSStatus MIDIPortDisconnectSource(MIDIPortRef ref, MIDIEndpointRef source) {
  auto& s = services();
  auto it = s.ports.find(ref);
  if (it == s.ports.end() || !it->second.input) return kMIDIInvalidPort;
  auto connection = it->second.connections.find(source);
  if (connection == it->second.connections.end()) return kMIDINoConnection;
  s.backend->disconnect(connection->second);
  it->second.connections.erase(connection);
  return noErr;
}
