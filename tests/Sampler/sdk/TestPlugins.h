// Plug-ins of the test bundles: each shows one side of the runtime or of an engine driving it.
// Both test bundles compile all of them; their tables pick different rows, and Marker writes
// the value its bundle was built with (KELO_TEST_MARK), so a test can tell whose code ran.
#pragma once

#include <cstdint>

#include "Sampler/sdk/Plugin.h"

namespace kelo::test {

using namespace vantor::KELOPluginSDK;

// Identifiers of the test bundles' rows.
inline constexpr const char* kPassThroughId = "com.Kelo.Test.PassThrough";
inline constexpr const char* kProbeId = "com.Kelo.Test.Probe";
inline constexpr const char* kFileFeedId = "com.Kelo.Test.FileFeed";
inline constexpr const char* kFaultyId = "com.Kelo.Test.Faulty";
inline constexpr const char* kThrowsOnCreateId = "com.Kelo.Test.ThrowsOnCreate";
inline constexpr const char* kInstrumentId = "com.Kelo.Test.Instrument";
inline constexpr const char* kMarkerId = "com.Kelo.Test.Marker";
inline constexpr const char* kEchoId = "com.Kelo.Test.Echo";
inline constexpr const char* kSwallowId = "com.Kelo.Test.Swallow";

/// Status of the events Probe writes to midiOut for every call it received since the last
/// block (data1 = the opcode that reached it, data2 = a detail), before echoing midiIn.
inline constexpr std::int32_t kTraceStatus = 0x7F00;
/// Status of Probe's last event of every block: data1 = frames.
inline constexpr std::int32_t kBlockStatus = 0x7F01;
/// Probe's defaults: controller 7 at the init text's value (0.5 without one) and engine-internal
/// controller 300 at 0.25.
inline constexpr float kProbeDefault300 = 0.25f;

/// Audio in place, unchanged: any channel count with ins == outs, up to 32.
class PassThrough : public EffectPlugin {
 public:
  explicit PassThrough(Host* host);
  std::int32_t initEx(const char*, const char*) override { return 1; }
  void setIOConfig(ChannelInfo* channels, std::int32_t* answer) override;
  void getDefaults(HDMIDIEvents* events) override { events->numEvents = 0; }
  void process(float**, std::int32_t, const HDMIDIEvents*, HDMIDIEvents*,
               const SyncInfo*) override {}
  void setCustomDataLink(const CustomDataLink* link) override {
    EffectPlugin::setCustomDataLink(link);
  }
};

/// A MIDI plug-in that reports, through midiOut, every call it received and in which order;
/// on a custom data link it loads the named file through the host at its current rate and
/// reports the channels and frames it got.
class Probe : public EffectPlugin {
 public:
  explicit Probe(Host* host);
  ~Probe() override;
  std::int32_t initEx(const char* initText, const char* extraText) override;
  void start() override { note(PLUGOP_START, 0); }
  void stop() override { note(PLUGOP_STOP, 0); }
  void setDSPInfo(const DSPInfo* info) override;
  void setIOConfig(ChannelInfo* channels, std::int32_t* answer) override;
  void getDefaults(HDMIDIEvents* events) override;
  void process(float** audio, std::int32_t frames, const HDMIDIEvents* midiIn,
               HDMIDIEvents* midiOut, const SyncInfo* sync) override;
  void setCustomDataLink(const CustomDataLink* link) override;

 private:
  void note(std::int32_t opcode, float detail);

  HDMIDIEvent m_trace[64];
  int m_traceCount = 0;
  float m_default7 = 0.5f;
};

/// Plays the audio file a custom data link names (loaded through the host at the plug-in's
/// rate) over its output, channel i from file channel i modulo the file's channels.
class FileFeed : public EffectPlugin {
 public:
  explicit FileFeed(Host* host);
  ~FileFeed() override;
  std::int32_t initEx(const char*, const char*) override { return 1; }
  void setIOConfig(ChannelInfo* channels, std::int32_t* answer) override;
  void getDefaults(HDMIDIEvents* events) override { events->numEvents = 0; }
  void process(float** audio, std::int32_t frames, const HDMIDIEvents*, HDMIDIEvents*,
               const SyncInfo*) override;
  void setCustomDataLink(const CustomDataLink* link) override;

 private:
  void release();

  HostAudioFile m_file{};
  char m_fileName[4096] = {};
  std::int64_t m_position = 0;
};

/// Throws from the operations its init text names ("init", "dsp", "process", "defaults",
/// "start"); otherwise writes 1.0 to its two channels and one event to midiOut ("nomidi" in
/// the init text makes it an audio-only plug-in that leaves midiOut alone). initEx
/// answers the number in the extra text (1 without one).
class Faulty : public EffectPlugin {
 public:
  explicit Faulty(Host* host);
  std::int32_t initEx(const char* initText, const char* extraText) override;
  void start() override;
  void setDSPInfo(const DSPInfo* info) override;
  void getDefaults(HDMIDIEvents* events) override;
  void process(float** audio, std::int32_t frames, const HDMIDIEvents* midiIn,
               HDMIDIEvents* midiOut, const SyncInfo* sync) override;
  void setCustomDataLink(const CustomDataLink*) override {}

 private:
  bool m_throwDSP = false, m_throwProcess = false, m_throwDefaults = false,
       m_throwStart = false;
};

class ThrowsOnCreate : public EffectPlugin {
 public:
  explicit ThrowsOnCreate(Host* host);
  std::int32_t initEx(const char*, const char*) override { return 1; }
  void getDefaults(HDMIDIEvents*) override {}
  void process(float**, std::int32_t, const HDMIDIEvents*, HDMIDIEvents*,
               const SyncInfo*) override {}
  void setCustomDataLink(const CustomDataLink*) override {}
};

/// Opcode 21 writes 21 to the int32 at ptr.
class Instrument : public InstrumentPlugin {
 public:
  explicit Instrument(Host* host) : InstrumentPlugin(host) {}
  std::int32_t initEx(const char*, const char*) override { return 1; }
  void getDefaults(HDMIDIEvents*) override {}
  void process(float**, std::int32_t, const HDMIDIEvents*, HDMIDIEvents*,
               const SyncInfo*) override {}
  void setCustomDataLink(const CustomDataLink*) override {}
  void instrumentOp(void* ptr) override { *static_cast<std::int32_t*>(ptr) = 21; }
};

/// A plug-in that only has its channels and its process: init succeeds, no defaults, no use
/// for custom data.
class PlainEffect : public EffectPlugin {
 public:
  using EffectPlugin::EffectPlugin;
  std::int32_t initEx(const char*, const char*) override { return 1; }
  void getDefaults(HDMIDIEvents* events) override { events->numEvents = 0; }
  void setCustomDataLink(const CustomDataLink*) override {}
};

/// Writes its bundle's mark to every sample of its one channel.
class Marker : public PlainEffect {
 public:
  explicit Marker(Host* host);
  void process(float** audio, std::int32_t frames, const HDMIDIEvents*, HDMIDIEvents*,
               const SyncInfo*) override;
};

/// A MIDI plug-in copying midiIn to midiOut, sorted by tick (stable).
class Echo : public PlainEffect {
 public:
  explicit Echo(Host* host);
  void process(float** audio, std::int32_t frames, const HDMIDIEvents* midiIn,
               HDMIDIEvents* midiOut, const SyncInfo* sync) override;
};

/// A MIDI plug-in passing on every event but notes: an engine running it plays nothing.
class Swallow : public PlainEffect {
 public:
  explicit Swallow(Host* host);
  void process(float** audio, std::int32_t frames, const HDMIDIEvents* midiIn,
               HDMIDIEvents* midiOut, const SyncInfo* sync) override;
};

}  // namespace kelo::test
