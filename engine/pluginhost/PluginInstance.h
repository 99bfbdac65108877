// One engine plug-in instance driven the way the plug-ins rely on: created with the engine's
// host record, its init texts given (opcode 19, or 0), its I/O configuration set before the
// DSP settings that size its buffers, its defaults fetched and replayed as the first block's
// events, a custom data link (magic 61715, pending set, file name) handed over when one is
// named, then started; stopped (opcode 9) and deleted when the object goes.
//
// Threads: create, the destructor and the control functions run on the main thread;
// process runs on the render thread, allocates nothing and only try-locks. Control calls and
// process never overlap: while a control call runs, process clears its block instead.
// The bundle and the AudioFileHost must outlive the instance.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "Sampler/sdk/PluginRecords.h"
#include "engine/pluginhost/PluginBundle.h"

namespace kelo::pluginhost {

class AudioFileHost;

/// Audio channels an instance is offered at most.
inline constexpr std::int32_t kMaxPluginChannels = 32;

struct InstanceSettings {
  std::string initText;
  std::string extraText;
  bool initThroughRecord = true;  // opcode 19, whose answer is checked; else opcode 0
  double sampleRate = 48000.0;
  std::int32_t maxBlockSize = 256;
  /// Channels offered to a plug-in with an audio channel layout (inputs = outputs).
  std::int32_t audioChannels = 2;
  /// Offered instead when the plug-in refuses audioChannels; 0 for no second offer.
  std::int32_t fallbackAudioChannels = 0;
  /// Sent as a custom data link before start; empty for none.
  std::string customDataFile;
};

/// An event with its raw bytes filled the way the plug-ins expect (legacy[1] = data1).
vantor::KELOPluginSDK::HDMIDIEvent midiEvent(std::int32_t status, std::int32_t data1,
                                             float data2, std::uint32_t tick);

class PluginInstance {
 public:
  /// Null with `error` set when the bundle has no such plug-in, it cannot be created, it
  /// refuses its init texts or the offered channels (both offers, with a fallback), or the
  /// settings are out of range.
  static std::unique_ptr<PluginInstance> create(PluginBundle& bundle,
                                                const std::string& identifier,
                                                AudioFileHost& host,
                                                const InstanceSettings& settings,
                                                std::string& error);
  ~PluginInstance();
  PluginInstance(const PluginInstance&) = delete;
  PluginInstance& operator=(const PluginInstance&) = delete;

  const PluginDescription& description() const { return m_description; }
  /// Audio arrays process expects: the larger of the input and output counts.
  std::int32_t numAudioChannels() const { return m_audioChannels; }
  std::int32_t numMIDIIns() const { return m_midiIns; }
  std::int32_t numMIDIOuts() const { return m_midiOuts; }
  bool isMIDIPlugin() const { return m_midiOuts > 0; }
  const vantor::KELOPluginSDK::DSPInfo& dspInfo() const { return m_dspInfo; }
  const vantor::KELOPluginSDK::HDMIDIEvents& defaults() const { return *m_defaults; }

  /// New DSP settings (opcode 12); false, changing nothing, for values out of range.
  bool setDSPSettings(double sampleRate, std::int32_t maxBlockSize);
  /// Hands the plug-in a custom data link naming `file` (opcode 20).
  void setCustomData(const std::string& file);
  void idle();

  /// Renders `frames` in place on numAudioChannels() arrays, in calls of at most
  /// maxBlockSize frames; events (ticks within the block, in order) go to the call holding
  /// their tick, the first block after start also carries the defaults. `midiOut` (may be
  /// null) receives the events the plug-in writes, MIDI and audio plug-ins alike, with ticks
  /// within the block.
  void process(float* const* audio, std::int32_t frames,
               const vantor::KELOPluginSDK::HDMIDIEvents* midiIn,
               vantor::KELOPluginSDK::HDMIDIEvents* midiOut,
               const vantor::KELOPluginSDK::SyncInfo* sync);

 private:
  PluginInstance() = default;
  void dispatch(vantor::KELOPluginSDK::PluginOpcodes1 opcode, void* ptr, std::int32_t* val);
  void clear(float* const* audio, std::int32_t frames,
             vantor::KELOPluginSDK::HDMIDIEvents* midiOut);

  PluginBundle* m_bundle = nullptr;
  PluginDescription m_description;
  vantor::KELOPluginSDK::PluginStruct* m_handle = nullptr;
  vantor::KELOPluginSDK::DSPInfo m_dspInfo{};
  std::int32_t m_audioChannels = 0, m_midiIns = 0, m_midiOuts = 0;
  bool m_started = false;

  mutable std::mutex m_callLock;  // held by every control call; process only try-locks
  // Render state, reserved at creation.
  bool m_defaultsPending = false;
  std::unique_ptr<vantor::KELOPluginSDK::HDMIDIEvents> m_defaults;
  std::unique_ptr<vantor::KELOPluginSDK::HDMIDIEvents> m_blockIn;
  std::unique_ptr<vantor::KELOPluginSDK::HDMIDIEvents> m_blockOut;
  float* m_blockAudio[kMaxPluginChannels] = {};
  std::unique_ptr<vantor::KELOPluginSDK::CustomDataPayload> m_payload;
  vantor::KELOPluginSDK::CustomDataLink m_link{};
};

}  // namespace kelo::pluginhost
