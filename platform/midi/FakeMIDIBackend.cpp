#include "platform/midi/FakeMIDIBackend.h"

#include <algorithm>

namespace kelo::midi {

FakeMIDIBackend::FakeMIDIBackend() { useBackendForTesting(this); }

FakeMIDIBackend::~FakeMIDIBackend() { useBackendForTesting(nullptr); }

void FakeMIDIBackend::addEndpoint(const EndpointDescription& endpoint) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_present.push_back(endpoint);
  if (m_sink != nullptr) m_sink->endpointAppeared(endpoint);
}

void FakeMIDIBackend::removeEndpoint(const std::string& key) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_present.erase(std::remove_if(m_present.begin(), m_present.end(),
                                 [&](const EndpointDescription& e) { return e.key == key; }),
                  m_present.end());
  if (m_sink != nullptr) m_sink->endpointVanished(key);
}

void FakeMIDIBackend::renameEndpoint(const std::string& key, const std::string& newName) {
  std::lock_guard<std::mutex> lock(m_mutex);
  for (auto& e : m_present) {
    if (e.key == key) e.name = newName;
  }
  if (m_sink != nullptr) m_sink->endpointRenamed(key, key, newName);
}

void FakeMIDIBackend::renameEntity(const std::string& deviceKey, const std::string& newName) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_sink != nullptr) m_sink->entityRenamed(deviceKey, newName);
}

void FakeMIDIBackend::renameDevice(const std::string& deviceKey, const std::string& newName) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_sink != nullptr) m_sink->deviceRenamed(deviceKey, newName);
}

void FakeMIDIBackend::setDeviceOffline(const std::string& deviceKey, bool offline) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_sink != nullptr) m_sink->deviceOffline(deviceKey, offline);
}

bool FakeMIDIBackend::send(const std::string& key, const MIDIPacketList* list) {
  std::lock_guard<std::mutex> lock(m_mutex);
  bool delivered = false;
  for (auto& [number, connection] : m_connections) {
    if (connection.source != key) continue;
    connection.receiver.proc(list, connection.receiver.refCon, connection.receiver.connRefCon);
    delivered = true;
  }
  return delivered;
}

bool FakeMIDIBackend::sendToDestination(const std::string& name, const MIDIPacketList* list) {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto it = m_virtuals.find(name);
  if (it == m_virtuals.end() || it->second.proc == nullptr) return false;
  it->second.proc(list, it->second.refCon, it->second.connRefCon);
  return true;
}

std::vector<std::string> FakeMIDIBackend::virtualEndpoints() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::vector<std::string> names;
  for (const auto& [name, receiver] : m_virtuals) names.push_back(name);
  return names;
}

int FakeMIDIBackend::connectionCount() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return static_cast<int>(m_connections.size());
}

bool FakeMIDIBackend::open(const std::string&, BackendSink& sink) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_reachable) return false;
  m_sink = &sink;
  for (const auto& endpoint : m_present) sink.endpointAppeared(endpoint);
  return true;
}

void FakeMIDIBackend::close() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_sink = nullptr;
  m_connections.clear();
  m_virtuals.clear();
}

bool FakeMIDIBackend::createVirtual(const std::string& name, bool isDestination,
                                    const Receiver& receiver, std::string& keyOut) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_refuseVirtual || m_virtuals.count(name) != 0) return false;
  m_virtuals[name] = isDestination ? receiver : Receiver{};
  keyOut = name;
  return true;
}

void FakeMIDIBackend::disposeVirtual(const std::string& key) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_virtuals.erase(key);
}

int FakeMIDIBackend::connect(const std::string& sourceKey, const Receiver& receiver) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const bool present = std::any_of(m_present.begin(), m_present.end(), [&](const auto& e) {
    return e.key == sourceKey && e.isSource;
  });
  if (!present && m_virtuals.count(sourceKey) == 0) return 0;
  const int number = m_nextConnection++;
  m_connections[number] = Connection{sourceKey, receiver};
  return number;
}

void FakeMIDIBackend::disconnect(int connection) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_connections.erase(connection);
}

}  // namespace kelo::midi
