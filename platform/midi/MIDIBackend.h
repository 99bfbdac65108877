// What a back end of the MIDI services (platform/midi/CoreMIDI.h) provides, and the sink it
// reports to. Internal to platform/midi and its tests.
//
// A back end names every endpoint by a key of its own (the JACK port's full name, the
// sequencer's "client:port"), stable while the endpoint lives; endpoints with the same device
// key form one device with one entity.
#pragma once

#include <memory>
#include <string>

#include "platform/midi/CoreMIDI.h"

namespace kelo::midi {

struct EndpointDescription {
  std::string key;
  std::string deviceKey;
  std::string deviceName;
  std::string name;
  std::string manufacturer;
  std::string model;
  bool isSource = false;     ///< MIDI comes from it (else: a destination, MIDI goes to it)
  bool hasUniqueID = false;  ///< else the services give it a stable id made from its key
  SInt32 uniqueID = 0;
};

/// Where a back end reports what it sees. Every call but `deliver` is [thread-safe] and only
/// queues: the main thread applies the queue in MIDIDispatchPendingNotifications.
class BackendSink {
 public:
  virtual ~BackendSink() = default;
  virtual void endpointAppeared(const EndpointDescription& endpoint) = 0;
  virtual void endpointVanished(const std::string& key) = 0;
  /// `newKey` may equal `key`.
  virtual void endpointRenamed(const std::string& key, const std::string& newKey,
                               const std::string& newName) = 0;
  virtual void entityRenamed(const std::string& deviceKey, const std::string& newName) = 0;
  virtual void deviceRenamed(const std::string& deviceKey, const std::string& newName) = 0;
  virtual void deviceOffline(const std::string& deviceKey, bool offline) = 0;
  /// The MIDI system went away: every endpoint it reported is gone.
  virtual void backendLost() = 0;
};

/// Who receives what a source (or a virtual destination) sends.
struct Receiver {
  MIDIReadProc proc = nullptr;
  void* refCon = nullptr;
  void* connRefCon = nullptr;
};

/// One connection to a MIDI system. Every operation is [main] unless said otherwise.
class Backend {
 public:
  virtual ~Backend() = default;
  virtual const char* name() const = 0;
  /// Connects under `clientName`, reports the endpoints already there to `sink` (which stays
  /// valid until `close`), and starts following changes. False when the system is unreachable.
  virtual bool open(const std::string& clientName, BackendSink& sink) = 0;
  /// Disconnects; no call reaches the sink or a receiver once it returns.
  virtual void close() = 0;
  /// Creates one of this program's own endpoints; false when the system refuses. Not reported
  /// to the sink. A destination's `receiver` gets what others send to it.
  virtual bool createVirtual(const std::string& name, bool isDestination, const Receiver& receiver,
                             std::string& keyOut) = 0;
  /// Returns when the endpoint's receiver is not running and will not run again.
  virtual void disposeVirtual(const std::string& key) = 0;
  /// Delivers what source `sourceKey` sends to `receiver` from now on; a connection number
  /// above 0, or 0 when it cannot.
  virtual int connect(const std::string& sourceKey, const Receiver& receiver) = 0;
  /// Returns when the connection's receiver is not running and will not run again.
  virtual void disconnect(int connection) = 0;
};

std::unique_ptr<Backend> makeJackBackend();
std::unique_ptr<Backend> makeAlsaBackend();

/// Makes the next MIDIClientCreate (that opens a back end) use `backend` (not owned; null to
/// go back to JACK then ALSA). For tests. [main]
void useBackendForTesting(Backend* backend);

/// The name of the open back end ("jack", "alsa", "fake"), or null. [main]
const char* openBackendName();

}  // namespace kelo::midi
