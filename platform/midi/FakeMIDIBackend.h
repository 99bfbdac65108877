// The in-process MIDI system of the tests: endpoints appear, vanish, go offline and change
// names when a test says so, and sources send what a test gives them. Installed for the next
// MIDIClientCreate by constructing it; the services use it until the last client goes.
//
// Changes are queued like a real system's and reach the clients at the next
// MIDIDispatchPendingNotifications. `send` and `sendToDestination` deliver on the calling
// thread (the stand-in for the system's MIDI thread). [main] unless said otherwise.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/midi/MIDIBackend.h"

namespace kelo::midi {

class FakeMIDIBackend final : public Backend {
 public:
  FakeMIDIBackend();
  ~FakeMIDIBackend() override;

  /// What the next open answers; true at first.
  void setReachable(bool reachable) { m_reachable = reachable; }
  /// Refuses the next virtual endpoints (as a system out of resources would).
  void setRefuseVirtual(bool refuse) { m_refuseVirtual = refuse; }

  /// Plugs an endpoint in; before the client opens the system it is simply there.
  void addEndpoint(const EndpointDescription& endpoint);
  void removeEndpoint(const std::string& key);
  void renameEndpoint(const std::string& key, const std::string& newName);
  void renameEntity(const std::string& deviceKey, const std::string& newName);
  void renameDevice(const std::string& deviceKey, const std::string& newName);
  void setDeviceOffline(const std::string& deviceKey, bool offline);

  /// Delivers `list` to every connection of source `key`; false when none. [any thread]
  bool send(const std::string& key, const MIDIPacketList* list);
  /// Plays one of this program's virtual destinations, as another program would. [any thread]
  bool sendToDestination(const std::string& name, const MIDIPacketList* list);
  /// Names of this program's live virtual endpoints. [any thread]
  std::vector<std::string> virtualEndpoints() const;
  /// Number of live connections. [any thread]
  int connectionCount() const;

  const char* name() const override { return "fake"; }
  bool open(const std::string& clientName, BackendSink& sink) override;
  void close() override;
  bool createVirtual(const std::string& name, bool isDestination, const Receiver& receiver,
                     std::string& keyOut) override;
  void disposeVirtual(const std::string& key) override;
  int connect(const std::string& sourceKey, const Receiver& receiver) override;
  void disconnect(int connection) override;

 private:
  struct Connection {
    std::string source;
    Receiver receiver;
  };
  // Held while a receiver runs, so that disconnecting waits for it.
  mutable std::mutex m_mutex;
  BackendSink* m_sink = nullptr;
  bool m_reachable = true;
  bool m_refuseVirtual = false;
  std::vector<EndpointDescription> m_present;
  std::map<int, Connection> m_connections;
  std::map<std::string, Receiver> m_virtuals;  // destinations with a receiver, sources without
  int m_nextConnection = 1;
};

}  // namespace kelo::midi
