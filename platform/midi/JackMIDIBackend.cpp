// The MIDI services over JACK MIDI. Other clients' MIDI ports are the endpoints (a client is a
// device with one entity; its output ports are sources, its input ports destinations); our
// virtual endpoints and each connection to a source are MIDI ports of our own client.
//
// Threads: JACK's notification thread reports registrations and renames to the sink (queued);
// JACK's process thread reads our ports (PortTable, one pass per cycle) and calls the
// receivers.
#include <jack/jack.h>
#include <jack/midiport.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>

#include "VNL/source/LogLine.h"
#include "platform/midi/MIDIBackend.h"
#include "platform/midi/PortTable.h"

namespace kelo::midi {
namespace {

constexpr std::size_t kListBytes = 4096;

// Keys are full port names; an output port is cleared each cycle.
using Ports = PortTable<jack_port_t*, nullptr>;

class JackBackend final : public Backend {
 public:
  ~JackBackend() override { close(); }
  const char* name() const override { return "jack"; }

  bool open(const std::string& clientName, BackendSink& sink) override {
    jack_status_t status{};
    m_client = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
    if (m_client == nullptr) {
      PLOGI("JACK MIDI: no server (status 0x%x)",
              static_cast<unsigned>(status));
      return false;
    }
    m_sink = &sink;
    jack_set_process_callback(m_client, &JackBackend::process, this);
    jack_set_port_registration_callback(m_client, &JackBackend::registration, this);
    jack_set_port_rename_callback(m_client, &JackBackend::renamed, this);
    jack_on_shutdown(m_client, &JackBackend::shutdown, this);
    if (jack_activate(m_client) != 0) {
      PLOGE("JACK MIDI: cannot activate client");
      jack_client_close(m_client);
      m_client = nullptr;
      m_sink = nullptr;
      return false;
    }
    // Registrations reported while we list are dropped as duplicates by the services.
    const char** names = jack_get_ports(m_client, nullptr, JACK_DEFAULT_MIDI_TYPE, 0);
    for (const char** name = names; name != nullptr && *name != nullptr; ++name) {
      announce(jack_port_by_name(m_client, *name));
    }
    if (names != nullptr) jack_free(names);
    return true;
  }

  void close() override {
    if (m_client == nullptr) return;
    jack_deactivate(m_client);  // no callback runs after this
    jack_client_close(m_client);
    m_client = nullptr;
    m_sink = nullptr;
    m_ports.clear();
  }

  bool createVirtual(const std::string& name, bool isDestination, const Receiver& receiver,
                     std::string& keyOut) override {
    const int slot = addPort(name, isDestination, isDestination ? receiver : Receiver{});
    if (slot < 0) return false;
    keyOut = m_ports.slot(slot).key;
    return true;
  }

  void disposeVirtual(const std::string& key) override { removePort(m_ports.find(key)); }

  int connect(const std::string& sourceKey, const Receiver& receiver) override {
    const int slot = addPort("in_" + std::to_string(++m_connectionCount), true, receiver);
    if (slot < 0) return 0;
    if (jack_connect(m_client, sourceKey.c_str(), m_ports.slot(slot).key.c_str()) != 0) {
      PLOGE("JACK MIDI: cannot connect %s", sourceKey.c_str());
      removePort(slot);
      return 0;
    }
    return Ports::connectionOf(slot);
  }

  void disconnect(int connection) override { removePort(Ports::slotOf(connection)); }

 private:
  int addPort(const std::string& shortName, bool input, const Receiver& receiver) {
    if (m_client == nullptr) return -1;
    const int free = m_ports.freeSlot();
    if (free < 0) return -1;
    jack_port_t* port = jack_port_register(m_client, shortName.c_str(), JACK_DEFAULT_MIDI_TYPE,
                                           input ? JackPortIsInput : JackPortIsOutput, 0);
    if (port == nullptr) return -1;
    m_ports.publish(free, port, input, receiver, jack_port_name(port));
    return free;
  }

  void removePort(int index) {
    jack_port_t* port = m_ports.remove(index);
    if (port != nullptr && m_client != nullptr) jack_port_unregister(m_client, port);
  }

  /// Reports one other client's MIDI port. [main or JACK notification thread]
  void announce(jack_port_t* port) {
    if (port == nullptr || jack_port_is_mine(m_client, port)) return;
    const char* type = jack_port_type(port);
    if (type == nullptr || std::string(type) != JACK_DEFAULT_MIDI_TYPE) return;
    EndpointDescription d;
    d.key = jack_port_name(port);
    d.deviceKey = d.key.substr(0, d.key.find(':'));
    d.deviceName = d.deviceKey;
    d.name = d.key;
    d.isSource = (jack_port_flags(port) & JackPortIsOutput) != 0;
    {
      std::lock_guard<std::mutex> lock(m_namesMutex);
      m_names[port] = d.key;
    }
    m_sink->endpointAppeared(d);
  }

  static void registration(jack_port_id_t id, int registered, void* self) {
    auto* me = static_cast<JackBackend*>(self);
    jack_port_t* port = jack_port_by_id(me->m_client, id);
    if (port == nullptr) return;
    if (registered != 0) {
      me->announce(port);
      return;
    }
    std::string key;
    {
      std::lock_guard<std::mutex> lock(me->m_namesMutex);
      auto it = me->m_names.find(port);
      if (it == me->m_names.end()) return;  // not a port we reported
      key = it->second;
      me->m_names.erase(it);
    }
    me->m_sink->endpointVanished(key);
  }

  static void renamed(jack_port_id_t id, const char* oldName, const char* newName, void* self) {
    auto* me = static_cast<JackBackend*>(self);
    jack_port_t* port = jack_port_by_id(me->m_client, id);
    {
      std::lock_guard<std::mutex> lock(me->m_namesMutex);
      auto it = me->m_names.find(port);
      if (it == me->m_names.end()) return;
      it->second = newName;
    }
    me->m_sink->endpointRenamed(oldName, newName, newName);
  }

  static void shutdown(void* self) {
    auto* me = static_cast<JackBackend*>(self);
    me->m_ports.abandonPasses();
    me->m_sink->backendLost();
  }

  static int process(jack_nframes_t frames, void* self) {
    auto* me = static_cast<JackBackend*>(self);
    me->m_ports.enterPass();
    // JACK's clock and ours may differ: place each event by its distance from JACK's now.
    const jack_time_t jackNow = jack_get_time();
    const std::uint64_t hostNow = AudioGetCurrentHostTime();
    const jack_nframes_t cycleStart = jack_last_frame_time(me->m_client);
    for (Ports::Slot& slot : me->m_ports.slots()) {
      jack_port_t* port = slot.port.load();  // seq_cst: pairs with PortTable::remove
      if (port == nullptr) continue;
      void* buffer = jack_port_get_buffer(port, frames);
      if (buffer == nullptr) continue;
      if (!slot.input) {
        jack_midi_clear_buffer(buffer);
        continue;
      }
      if (slot.receiver.proc == nullptr) continue;
      deliver(me->m_client, buffer, slot.receiver, jackNow, hostNow, cycleStart);
    }
    me->m_ports.leavePass();
    return 0;
  }

  static void deliver(jack_client_t* client, void* buffer, const Receiver& receiver,
                      jack_time_t jackNow, std::uint64_t hostNow, jack_nframes_t cycleStart) {
    alignas(8) Byte storage[kListBytes];
    auto* list = reinterpret_cast<MIDIPacketList*>(storage);
    MIDIPacket* packet = MIDIPacketListInit(list);
    const jack_nframes_t count = jack_midi_get_event_count(buffer);
    for (jack_nframes_t i = 0; i < count; ++i) {
      jack_midi_event_t event;
      if (jack_midi_event_get(&event, buffer, i) != 0 || event.size == 0) continue;
      const jack_time_t at = jack_frames_to_time(client, cycleStart + event.time);
      const std::int64_t behindMicros = static_cast<std::int64_t>(jackNow - at);
      MIDITimeStamp time = hostNow - static_cast<std::uint64_t>(behindMicros * 1000);
      if (time == 0) time = 1;  // 0 would mean "now"
      const ByteCount size = event.size < 0xFFFF ? event.size : 0xFFFF;
      MIDIPacket* next = MIDIPacketListAdd(list, sizeof(storage), packet, time, size, event.buffer);
      if (next == nullptr && list->numPackets > 0) {
        receiver.proc(list, receiver.refCon, receiver.connRefCon);
        packet = MIDIPacketListInit(list);
        next = MIDIPacketListAdd(list, sizeof(storage), packet, time, size, event.buffer);
      }
      if (next != nullptr) packet = next;  // else too long for one list: dropped
    }
    if (list->numPackets > 0) receiver.proc(list, receiver.refCon, receiver.connRefCon);
  }

  jack_client_t* m_client = nullptr;
  BackendSink* m_sink = nullptr;
  Ports m_ports;
  int m_connectionCount = 0;
  std::mutex m_namesMutex;
  std::map<jack_port_t*, std::string> m_names;
};

}  // namespace

std::unique_ptr<Backend> makeJackBackend() { return std::make_unique<JackBackend>(); }

}  // namespace kelo::midi
