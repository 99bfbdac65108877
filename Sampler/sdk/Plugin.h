// The base classes every engine plug-in derives from. The runtime (PluginEntry) creates an
// object through its bundle's table, hands the engine the embedded `PluginStruct`, and forwards
// the engine's dispatcher and process calls to the virtual operations below.
//
// Threads: the engine serialises the calls on one instance, except that a plug-in's own
// documentation may allow setDSPInfo or setCustomDataLink during audio. `process` runs on the
// engine's render thread and must neither allocate nor lock. Exceptions thrown by any operation
// are caught by the runtime, never by the engine.
#pragma once

#include <atomic>
#include <cstdint>

#include "Sampler/sdk/PluginRecords.h"

namespace vantor::KELOPluginSDK {

class Plugin {
 public:
  /// Fills the embedded `PluginStruct` with the SDK version, the two entry functions and `this`.
  explicit Plugin(Host* host);
  virtual ~Plugin() = default;
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  /// Non-zero on success. Called before getDefaults.
  virtual std::int32_t initEx(const char* initText, const char* extraText) = 0;
  virtual void idle() {}

  PluginStruct* getPluginStruct() { return &pluginStruct; }

  /// The engine's SDK version through HOSTOP_GET_SDK_VERSION; kSDKVersion without a host,
  /// 0 when the engine wrote nothing.
  std::int32_t getHostSDKVersion();

 protected:
  Host* host;
  PluginStruct pluginStruct;
};

class EffectPlugin : public Plugin {
 public:
  explicit EffectPlugin(Host* host);

  virtual void start() {}
  virtual void stop() {}
  /// Copies every field and publishes the block limit the runtime checks process calls
  /// against. May come again at any time; plug-ins rebuild rate-dependent state.
  virtual void setDSPInfo(const DSPInfo* info);
  /// True when every bit of `bits` is in `capabilityMask`.
  virtual bool capableOf(std::uint32_t bits);
  virtual bool getParameterDetails(ParameterDetails* details);
  /// Writes 1 (accepted, after storing the counts), -1 (refused) or 0 (no opinion) to `answer`.
  virtual void setIOConfig(ChannelInfo* channels, std::int32_t* answer);
  /// Writes 1 to `answer`, latencyA at offset 8 and latencyB at offset 4 of the record.
  virtual void getLatency(LatencyInfo* latency, std::int32_t* answer);
  /// Fills `events` with the controller events that set every parameter to its default.
  virtual void getDefaults(HDMIDIEvents* events) = 0;
  /// Audio in place, channel i in and out; `frames` never above dspInfo.maxBlockSize.
  virtual void process(float** audio, std::int32_t frames, const HDMIDIEvents* midiIn,
                       HDMIDIEvents* midiOut, const SyncInfo* sync) = 0;
  /// Has a body, empty, that a plug-in may call.
  virtual void setCustomDataLink(const CustomDataLink* link) = 0;

  /// Control thread only (a plug-in allowing setDSPInfo during audio may write it then).
  const DSPInfo& getDSPInfo() const { return dspInfo; }
  /// maxBlockSize of the last settings; any thread.
  std::int32_t getBlockLimit() const { return blockLimit.load(std::memory_order_relaxed); }
  std::uint32_t getNumAudioIns() const { return numAudioIns; }
  std::uint32_t getNumAudioOuts() const { return numAudioOuts; }
  std::uint32_t getNumMIDIIns() const { return numMIDIIns; }
  std::uint32_t getNumMIDIOuts() const { return numMIDIOuts; }

  /// Set by the runtime when setDSPInfo threw: process then only clears its output until a
  /// later setDSPInfo succeeds.
  bool hasFailed() const { return failed.load(std::memory_order_relaxed); }
  void setFailed(bool value) { failed.store(value, std::memory_order_relaxed); }

 protected:
  DSPInfo dspInfo;
  std::uint32_t capabilityMask = 0;
  std::uint32_t numAudioIns = 0;
  std::uint32_t numAudioOuts = 0;
  std::uint32_t numMIDIIns = 0;
  std::uint32_t numMIDIOuts = 0;
  std::int32_t latencyA = 0;
  std::int32_t latencyB = 0;

 private:
  // Read by the runtime before each process call, also while the control thread changes them.
  std::atomic<bool> failed{false};
  std::atomic<std::int32_t> blockLimit{256};
};

/// Reached by opcode 21; no plug-in of the system is one.
class InstrumentPlugin : public EffectPlugin {
 public:
  using EffectPlugin::EffectPlugin;
  virtual void instrumentOp(void* ptr) = 0;
};

/// Orders events by bufTick (unsigned); use with a stable sort so equal ticks keep their order.
inline bool midiSort(const HDMIDIEvent& a, const HDMIDIEvent& b) { return a.bufTick < b.bufTick; }

}  // namespace vantor::KELOPluginSDK
