// The MIDI services over the ALSA sequencer, which is where desktop MIDI hardware appears.
// Other clients' ports are the endpoints (a client is a device with one entity; readable ports
// are sources, writable ones destinations); our virtual endpoints and each connection to a source
// are ports of our own client.
//
// Threads: one input thread of ours reads the sequencer: announcements go to the sink (queued),
// MIDI events to the receiver of the port they arrive on (PortTable, one pass per batch of
// events).
#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "VNL/source/LogLine.h"
#include "platform/midi/AlsaSequencerEvents.h"
#include "platform/midi/MIDIBackend.h"
#include "platform/midi/PortTable.h"

namespace kelo::midi {

std::size_t sequencerEventToMIDI(const snd_seq_event_t& event, std::uint8_t* out,
                                 std::size_t capacity) {
  auto put = [&](std::initializer_list<int> bytes) -> std::size_t {
    if (bytes.size() > capacity) return 0;
    std::size_t n = 0;
    for (int b : bytes) out[n++] = static_cast<std::uint8_t>(b);
    return n;
  };
  const auto& note = event.data.note;
  const auto& control = event.data.control;
  const int noteChannel = note.channel & 0x0F;
  const int controlChannel = control.channel & 0x0F;
  switch (event.type) {
    case SND_SEQ_EVENT_NOTEON:
      return put({0x90 | noteChannel, note.note & 0x7F, note.velocity & 0x7F});
    case SND_SEQ_EVENT_NOTEOFF:
      return put({0x80 | noteChannel, note.note & 0x7F, note.velocity & 0x7F});
    case SND_SEQ_EVENT_KEYPRESS:
      return put({0xA0 | noteChannel, note.note & 0x7F, note.velocity & 0x7F});
    case SND_SEQ_EVENT_CONTROLLER:
      return put({0xB0 | controlChannel, static_cast<int>(control.param & 0x7F),
                  control.value & 0x7F});
    case SND_SEQ_EVENT_CONTROL14: {
      const int value = control.value & 0x3FFF;
      const int param = static_cast<int>(control.param & 0x7F);
      if (param >= 32) return put({0xB0 | controlChannel, param, value & 0x7F});
      return put({0xB0 | controlChannel, param, value >> 7, 0xB0 | controlChannel, param + 32,
                  value & 0x7F});
    }
    case SND_SEQ_EVENT_PGMCHANGE:
      return put({0xC0 | controlChannel, control.value & 0x7F});
    case SND_SEQ_EVENT_CHANPRESS:
      return put({0xD0 | controlChannel, control.value & 0x7F});
    case SND_SEQ_EVENT_PITCHBEND: {
      const int value = (control.value + 8192) & 0x3FFF;
      return put({0xE0 | controlChannel, value & 0x7F, value >> 7});
    }
    case SND_SEQ_EVENT_QFRAME:
      return put({0xF1, control.value & 0x7F});
    case SND_SEQ_EVENT_SONGPOS:
      return put({0xF2, control.value & 0x7F, (control.value >> 7) & 0x7F});
    case SND_SEQ_EVENT_SONGSEL:
      return put({0xF3, control.value & 0x7F});
    case SND_SEQ_EVENT_TUNE_REQUEST: return put({0xF6});
    case SND_SEQ_EVENT_CLOCK: return put({0xF8});
    case SND_SEQ_EVENT_TICK: return put({0xF9});
    case SND_SEQ_EVENT_START: return put({0xFA});
    case SND_SEQ_EVENT_CONTINUE: return put({0xFB});
    case SND_SEQ_EVENT_STOP: return put({0xFC});
    case SND_SEQ_EVENT_SENSING: return put({0xFE});
    case SND_SEQ_EVENT_RESET: return put({0xFF});
    case SND_SEQ_EVENT_SYSEX: {
      const std::size_t length = event.data.ext.len;
      if (length == 0 || length > capacity || event.data.ext.ptr == nullptr) return 0;
      std::memcpy(out, event.data.ext.ptr, length);
      return length;
    }
    default:
      return 0;
  }
}

namespace {

// Keys are "client:port"; every port of ours is read when an event arrives on it.
using Ports = PortTable<int, -1>;

std::string keyOf(int client, int port) {
  return std::to_string(client) + ":" + std::to_string(port);
}

class AlsaBackend final : public Backend {
 public:
  ~AlsaBackend() override { close(); }
  const char* name() const override { return "alsa"; }

  bool open(const std::string& clientName, BackendSink& sink) override {
    if (snd_seq_open(&m_seq, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK) < 0) {
      m_seq = nullptr;
      PLOGI("ALSA MIDI: no sequencer");
      return false;
    }
    m_sink = &sink;
    m_self = snd_seq_client_id(m_seq);
    snd_seq_set_client_name(m_seq, clientName.c_str());
    m_announcePort = snd_seq_create_simple_port(
        m_seq, "announcements", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT,
        SND_SEQ_PORT_TYPE_APPLICATION);
    m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_announcePort < 0 || m_wake < 0 ||
        snd_seq_connect_from(m_seq, m_announcePort, SND_SEQ_CLIENT_SYSTEM,
                             SND_SEQ_PORT_SYSTEM_ANNOUNCE) < 0) {
      PLOGE("ALSA MIDI: cannot follow the sequencer's announcements");
      close();
      return false;
    }
    snd_seq_client_info_t* client;
    snd_seq_port_info_t* port;
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_alloca(&port);
    snd_seq_client_info_set_client(client, -1);
    while (snd_seq_query_next_client(m_seq, client) >= 0) {
      const int id = snd_seq_client_info_get_client(client);
      snd_seq_port_info_set_client(port, id);
      snd_seq_port_info_set_port(port, -1);
      while (snd_seq_query_next_port(m_seq, port) >= 0) announce(port);
    }
    m_thread = std::thread([this] { readLoop(); });
    return true;
  }

  void close() override {
    if (m_thread.joinable()) {
      const std::uint64_t one = 1;
      (void)!write(m_wake, &one, sizeof(one));
      m_thread.join();
    }
    if (m_wake >= 0) ::close(m_wake);
    m_wake = -1;
    if (m_seq != nullptr) snd_seq_close(m_seq);
    m_seq = nullptr;
    m_sink = nullptr;
    m_ports.clear();
  }

  bool createVirtual(const std::string& name, bool isDestination, const Receiver& receiver,
                     std::string& keyOut) override {
    const unsigned caps = isDestination ? SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE
                                        : SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
    const int slot = addPort(name, caps, isDestination ? receiver : Receiver{});
    if (slot < 0) return false;
    keyOut = m_ports.slot(slot).key;
    return true;
  }

  void disposeVirtual(const std::string& key) override { removePort(m_ports.find(key)); }

  int connect(const std::string& sourceKey, const Receiver& receiver) override {
    snd_seq_addr_t source{};
    if (snd_seq_parse_address(m_seq, &source, sourceKey.c_str()) < 0) return 0;
    const int slot = addPort("in_" + std::to_string(++m_connectionCount),
                             SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT, receiver);
    if (slot < 0) return 0;
    if (snd_seq_connect_from(m_seq, m_ports.slot(slot).port.load(), source.client,
                             source.port) < 0) {
      removePort(slot);
      return 0;
    }
    return Ports::connectionOf(slot);
  }

  void disconnect(int connection) override { removePort(Ports::slotOf(connection)); }

 private:
  int addPort(const std::string& name, unsigned caps, const Receiver& receiver) {
    if (m_seq == nullptr) return -1;
    const int free = m_ports.freeSlot();
    if (free < 0) return -1;
    const int port = snd_seq_create_simple_port(
        m_seq, name.c_str(), caps, SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (port < 0) return -1;
    const bool input = (caps & SND_SEQ_PORT_CAP_WRITE) != 0;
    m_ports.publish(free, port, input, receiver, keyOf(m_self, port));
    return free;
  }

  void removePort(int index) {
    const int port = m_ports.remove(index);
    if (port >= 0) snd_seq_delete_simple_port(m_seq, port);
  }

  /// Reports one other client's port. [main or input thread]
  void announce(const snd_seq_port_info_t* port) {
    const snd_seq_addr_t* address = snd_seq_port_info_get_addr(port);
    if (address->client == m_self || address->client == SND_SEQ_CLIENT_SYSTEM) return;
    const unsigned caps = snd_seq_port_info_get_capability(port);
    if ((caps & SND_SEQ_PORT_CAP_NO_EXPORT) != 0) return;
    snd_seq_client_info_t* client;
    snd_seq_client_info_alloca(&client);
    const char* clientName = "";
    if (snd_seq_get_any_client_info(m_seq, address->client, client) >= 0) {
      clientName = snd_seq_client_info_get_name(client);
    }
    EndpointDescription d;
    d.deviceKey = std::to_string(address->client);
    d.deviceName = clientName;
    d.name = snd_seq_port_info_get_name(port);
    for (const bool source : {true, false}) {
      const unsigned wanted = source ? SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ
                                     : SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
      if ((caps & wanted) != wanted) continue;
      d.isSource = source;
      d.key = keyOf(address->client, address->port) + (source ? "" : "/in");
      m_sink->endpointAppeared(d);
    }
  }

  void readLoop() {
    std::vector<pollfd> fds(1 + snd_seq_poll_descriptors_count(m_seq, POLLIN));
    fds[0] = pollfd{m_wake, POLLIN, 0};
    snd_seq_poll_descriptors(m_seq, fds.data() + 1, static_cast<unsigned>(fds.size() - 1), POLLIN);
    for (;;) {
      if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) return;
      if ((fds[0].revents & POLLIN) != 0) return;
      m_ports.enterPass();
      snd_seq_event_t* event = nullptr;
      while (snd_seq_event_input(m_seq, &event) >= 0 && event != nullptr) handle(*event);
      m_ports.leavePass();
    }
  }

  void handle(const snd_seq_event_t& event) {
    if (event.dest.port == m_announcePort) {
      const snd_seq_addr_t& address = event.data.addr;
      if (address.client == m_self) return;
      if (event.type == SND_SEQ_EVENT_PORT_EXIT) {
        m_sink->endpointVanished(keyOf(address.client, address.port));
        m_sink->endpointVanished(keyOf(address.client, address.port) + "/in");
      } else if (event.type == SND_SEQ_EVENT_PORT_START || event.type == SND_SEQ_EVENT_PORT_CHANGE) {
        snd_seq_port_info_t* port;
        snd_seq_port_info_alloca(&port);
        if (snd_seq_get_any_port_info(m_seq, address.client, address.port, port) < 0) return;
        if (event.type == SND_SEQ_EVENT_PORT_CHANGE) {
          const std::string key = keyOf(address.client, address.port);
          const char* name = snd_seq_port_info_get_name(port);
          m_sink->endpointRenamed(key, key, name);
          m_sink->endpointRenamed(key + "/in", key + "/in", name);
        } else {
          announce(port);
        }
      }
      return;
    }
    for (Ports::Slot& slot : m_ports.slots()) {
      if (slot.port.load() != event.dest.port || slot.receiver.proc == nullptr) continue;
      alignas(8) Byte storage[sizeof(MIDIPacketList) + 1024];
      auto* list = reinterpret_cast<MIDIPacketList*>(storage);
      Byte bytes[1024];
      const std::size_t length = sequencerEventToMIDI(event, bytes, sizeof(bytes));
      if (length == 0) return;
      MIDIPacketListAdd(list, sizeof(storage), MIDIPacketListInit(list), AudioGetCurrentHostTime(),
                        length, bytes);
      slot.receiver.proc(list, slot.receiver.refCon, slot.receiver.connRefCon);
      return;
    }
  }

  snd_seq_t* m_seq = nullptr;
  BackendSink* m_sink = nullptr;
  int m_self = -1;
  int m_announcePort = -1;
  int m_wake = -1;
  int m_connectionCount = 0;
  Ports m_ports;
  std::thread m_thread;
};

}  // namespace

std::unique_ptr<Backend> makeAlsaBackend() { return std::make_unique<AlsaBackend>(); }

}  // namespace kelo::midi
