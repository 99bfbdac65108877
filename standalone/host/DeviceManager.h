// The standalone's registry of audio and MIDI devices. At start it initialises PortAudio and
// keeps one record per PortAudio device (its position is the device's index and identifier
// everywhere in the standalone) and one per endpoint of the CoreMIDI layer; the device factories
// and the command interface read them. Per processing context it keeps the output device, the
// playing state and the offline render thread, and turns play and stop requests into calls on
// the acquired audio devices or the offline thread under the context's mutex "psr". It follows
// MIDI hot-plug: a device that vanishes while in use leaves the graph and comes back when an
// endpoint of the same unique name and direction returns.
//
// On Linux PortAudio's ALSA and JACK host APIs are the platform's own devices (host-API code 3).
// Audio devices are listed once, at `init`: a JACK server started later is not offered.
//
// Threads: main thread, except `preGraph`, `postGraph` and `setCpuUsage`, which the render
// threads call around each block without locking or allocating (the context table changes only
// at start-up and shut-down). "psr" is held for all of a play or stop request, the audio
// device's wait for its first callback included; no render path takes it.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "VNL/source/Threads.h"
#include "standalone/host/DeviceIOType.h"
#include "standalone/host/MIDIDeviceManagerInterface.h"
#include "standalone/host/RenderBlockHooks.h"
#include "standalone/host/Singleton.h"

namespace vantor {

class AudioDevice;
class Context;
class Instance;
class MIDIDevice;
class OfflineThread;

/// One PortAudio device.
struct DMAudioDeviceInfo {
  AudioDevice* device = nullptr;  ///< made by the audio device factory; meaningful while !free
  DeviceIOType ioType = kDeviceInput;
  std::string name;  ///< PortAudio's name; "(BAD)" appended for a device without channels
  std::string hostApiName;
  std::int32_t hostApiCode = 0;  ///< 1 DirectSound, 0 MME, 2 ASIO, 3 the platform's, 4 WASAPI
  double defaultLowInputLatency = 0;  ///< seconds, as PortAudio gives them
  double defaultLowOutputLatency = 0;
  double defaultHighInputLatency = 0;
  double defaultHighOutputLatency = 0;
  double defaultSampleRate = 0;
  std::string portAudioName;
  std::int32_t inputIndex = -1;  ///< PortAudio index to open for input, -1 for none
  std::int32_t outputIndex = -1;
  std::int32_t maxInputChannels = 0;
  std::int32_t maxOutputChannels = 0;
  bool free = false;        ///< no context holds the device
  bool valid = false;       ///< the device can be used at all
  bool selectable = false;  ///< the device may be offered as the output
  bool gone = false;  ///< went away while the program ran (its JACK server ended): not offered
};

/// One endpoint of the CoreMIDI layer.
struct DMMIDIDeviceInfo {
  MIDIDevice* device = nullptr;  ///< cleared when the module releases the record
  DeviceIOType ioType = kDeviceInput;
  std::string displayName;  ///< uniqueName + "(in)" or "(out)"
  std::string uniqueName;   ///< the endpoint's name, unique among records of its direction
  std::int32_t isInput = 0;
  std::int32_t isOutput = 0;
  std::int32_t id = -1;
  bool free = false;
  bool online = false;
  std::string kind;  ///< "virtual" for the program's own endpoints, else empty
};

/// What the device manager keeps per processing context.
struct DMContextualData {
  explicit DMContextualData(Instance* context) : instance(context) {}

  Instance* instance;                       ///< not owned
  OfflineThread* offlineThread = nullptr;   ///< ends itself after `die`
  bool masterSet = false;
  std::atomic<std::uint64_t> renderedFrames{0};  ///< written by the render thread
  bool playing = false;
  MutexOLD psr{"psr", false};
  std::atomic<float> cpuUsage{0.0f};  ///< written by the audio callback
  std::int32_t masterDevice = 0;
};

class DeviceManager : public MIDIDeviceManagerInterface, public RenderBlockHooks {
 public:
  /// The command interface's shape (`engineOpcode`): command, p1, p2, i1, i2, i3, f.
  using CommandFunction = std::int32_t (*)(std::int32_t command, void* p1, void* p2,
                                           std::int32_t i1, std::int32_t i2, std::int32_t i3,
                                           float f);
  /// Makes an idle offline render thread that reports its blocks to `hooks`.
  using OfflineThreadMaker = OfflineThread* (*)(RenderBlockHooks* hooks);
  static constexpr std::int32_t kCommandMIDIDeviceEnable = 512;
  /// Host-API code of the platform's own devices (ALSA and JACK on Linux).
  static constexpr std::int32_t kHostApiCodePlatform = 3;

  /// Empty tables; no PortAudio call.
  DeviceManager();
  /// `close`, then the MIDI records and the contexts go.
  ~DeviceManager() override;
  DeviceManager(const DeviceManager&) = delete;
  DeviceManager& operator=(const DeviceManager&) = delete;

  /// Initialises PortAudio (the JACK client named after the product), lists the audio and MIDI
  /// devices and becomes the manager the MIDI code tells.
  void init();
  /// Terminates PortAudio, deletes the device of every record still in use and valid, and the
  /// audio records. After a stream was abandoned PortAudio is not terminated: terminating
  /// closes that stream, which is the wait the abandoning avoided.
  void close();
  /// An audio device left its ended stream open (`AudioDevice::streamEnded`).
  void streamAbandoned() { m_streamAbandoned = true; }
  /// [main, from the command interface's idle] When the context's playing device's stream
  /// ended by itself: logs it, tells the user once (an alert), and stops offering the device,
  /// with every device of its JACK server when it is a JACK client. True when that happened
  /// now.
  bool watchAudioDevices(const Context* context);
  int enumAudioDevices();
  void enumMIDIDevices();

  void addContext(Instance* context);
  void removeContext(Instance* context);

  int getNumAudioDevices() const { return m_audioDeviceCount; }
  /// The record of PortAudio index `index`; null outside the table.
  DMAudioDeviceInfo* getAudioDeviceInfo(int index) const;
  void setAudioDevice(int index, AudioDevice* device);
  /// Makes the device the context's output; false when the context has one already or the
  /// device has no output.
  bool setAudioDeviceMaster(const Context* context, int index);
  void acquireAudioDevice(const Context* context, int index);
  void releaseAudioDevice(const Context* context, int index);

  bool isPlaying(const Context* context, bool lock);
  /// Starts (the context, then its devices or offline thread) or stops (the reverse). True when
  /// the state changed.
  bool playStopReq(const Context* context, bool play);
  /// Creates (true) or ends (false) the context's offline render thread.
  void setOffline(const Context* context, bool offline);

  /// [render] Nothing; the render calls it before each block.
  void preGraph(const Context* context) override;
  /// [render] Adds the context's block size to its rendered frames.
  void postGraph(const Context* context) override;
  /// [audio callback]
  void setCpuUsage(const Context* context, float usage);
  float getCpuUsage(const Context* context) const;
  std::uint64_t getRenderedFrames(const Context* context) const;
  /// The context's offline render thread, null without one.
  OfflineThread* getOfflineThread(const Context* context) const;

  /// Appends every MIDI record in ascending id order.
  void listMIDIDevices(std::vector<DMMIDIDeviceInfo*>& out) const;
  DMMIDIDeviceInfo* getMIDIDeviceInfo(int id) const;
  void setMIDIDevice(int id, MIDIDevice* device);
  void acquireMIDIDevice(const Context* context, int id) override;
  void releaseMIDIDevice(const Context* context, int id) override;
  void addMIDIDevice(int id) override;
  void removeMIDIDevice(int id) override;
  void renameMIDIDevice(int id, const std::string& name) override;

  /// Devices that vanished while in use, waiting for their return: direction (1 input,
  /// 0 output) and unique name, oldest first.
  const std::vector<std::pair<int, std::string>>& pendingReEnable() const { return m_reEnable; }

  /// The command interface the hot-plug re-enabling goes through (not owned; null: none, the
  /// start value, and the re-enabling is only logged).
  void setCommandFunction(CommandFunction commands) { m_commands = commands; }
  /// Replaces how offline threads are made (null, the start value: over the graph singleton).
  void setOfflineThreadMaker(OfflineThreadMaker maker) { m_offlineThreadMaker = maker; }

 private:
  DMContextualData* contextData(const Context* context) const;
  bool privPlay(DMContextualData& data);
  bool privStop(DMContextualData& data);
  void fillMIDIRecord(DMMIDIDeviceInfo& record, int id);
  /// Makes and fills the record of the CoreMIDI layer's device `id` and files it under the
  /// device's id, replacing an older one (a device the layer cannot describe stays offline).
  DMMIDIDeviceInfo* makeMIDIRecord(int id);
  void enableMIDIDevice(int id, int enable);
  void endOfflineThread(DMContextualData& data);

  std::map<const Context*, DMContextualData*> m_contexts;
  std::vector<DMAudioDeviceInfo*> m_audioDevices;
  int m_audioDeviceCount = 0;
  std::map<int, DMMIDIDeviceInfo*> m_midiDevices;
  std::map<std::string, int> m_inputNames;
  std::map<std::string, int> m_outputNames;
  std::vector<std::pair<int, std::string>> m_reEnable;
  CommandFunction m_commands = nullptr;
  OfflineThreadMaker m_offlineThreadMaker = nullptr;
  bool m_portAudioUp = false;
  bool m_streamAbandoned = false;
};

}  // namespace vantor
