// KeloUnit's plug-in object: an Audio Unit music device wrapping one instance of the external
// sampler engine. It binds the engine when constructed, creates the instance at its first
// Initialize, queues the host's MIDI in a lock-free ring, renders the engine into the host's
// buses with the host's transport, and hands the engine's MIDI output to the host. Without an
// engine it initialises, accepts MIDI and renders silence.
//
// Threads: the host's main thread constructs, binds, initialises, cleans up, resets, changes
// formats and destroys; its render thread runs Render; its MIDI delivery (possibly the render
// thread) runs HandleMidiEvent. Render and HandleMidiEvent neither allocate nor lock.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "platform/audiounit/MusicDeviceBase.h"
#include "standalone/engine_interface/EngineBinding.h"
#include "standalone/engine_interface/EngineListener.h"
#include "standalone/engine_interface/EngineSession.h"
#include "standalone/engine_interface/KeloEngineInterface.h"
#include "VNL/source/MIDIEvent.h"
#include "VNL/source/SpscRing.h"
#include "VNL/source/SyncInfo.h"

class SamplerAU : public MusicDeviceBase, private vantor::EngineListener {
 public:
  static constexpr std::size_t kRingSlots = 1024;  // a full ring holds 1023 events
  static constexpr std::size_t kMaxOutputs = 32;
  static constexpr std::size_t kDataFolderSize = 512;

  explicit SamplerAU(AudioComponentInstance instance);
  ~SamplerAU() override;

  void PostConstructor() override;
  OSStatus Initialize() override;
  void Cleanup() override;
  OSStatus Reset(AudioUnitScope scope, AudioUnitElement element) override;
  OSStatus GetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                           UInt32& outDataSize, bool& outWritable) override;
  OSStatus GetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                       void* outData) override;
  OSStatus SetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                       const void* inData, UInt32 inDataSize) override;
  /// The base's value, then the engine's (unless described without an instance and not
  /// rendered since). Any thread.
  OSStatus GetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                        AudioUnitParameterValue& outValue) override;
  /// The base stores it, then the engine takes it. An id outside the unit's parameters is
  /// refused (kAudioUnitErr_InvalidParameter). Any thread; never allocates.
  OSStatus SetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                        AudioUnitParameterValue value, UInt32 bufferOffsetInFrames) override;
  OSStatus GetParameterInfo(AudioUnitScope scope, AudioUnitParameterID id, AudioUnitParameterInfo& outInfo) override;
  OSStatus GetParameterValueStrings(AudioUnitScope scope, AudioUnitParameterID id, CFArrayRef* outStrings) override;
  /// The base's dictionary with the engine's chunk as "KeloData".
  OSStatus SaveState(CFPropertyListRef* outData) override;
  /// Hands "KeloData" (a data value) to the engine.
  OSStatus RestoreState(CFPropertyListRef plist) override;
  bool CanScheduleParameters() const override { return false; }
  OSStatus Render(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& timeStamp,
                  UInt32 frames) override;
  bool BusCountWritable(AudioUnitScope scope) override;
  Float64 GetLatency() override { return 0.0; }
  bool StreamFormatWritable(AudioUnitScope, AudioUnitElement) override { return true; }
  UInt32 SupportedNumChannels(const AUChannelInfo** outInfo) override;
  /// A rate the engine does not take (not finite, or outside its range) is refused with
  /// kAudioUnitErr_FormatNotSupported and changes nothing.
  OSStatus ChangeStreamFormat(AudioUnitScope scope, AudioUnitElement element,
                              const CAStreamBasicDescription& previous,
                              const CAStreamBasicDescription& next) override;
  OSStatus PrepareInstrument(MusicDeviceInstrumentID) override { return noErr; }
  OSStatus ReleaseInstrument(MusicDeviceInstrumentID) override { return noErr; }
  OSStatus StartNote(MusicDeviceInstrumentID, MusicDeviceGroupID, NoteInstanceID*, UInt32,
                     const MusicDeviceNoteParams&) override { return noErr; }
  OSStatus StopNote(MusicDeviceGroupID, NoteInstanceID, UInt32) override { return noErr; }
  UInt32 GetChannelLayoutTags(AudioUnitScope scope, AudioUnitElement element,
                              AudioChannelLayoutTag* outTags) override;
  UInt32 GetAudioChannelLayout(AudioUnitScope scope, AudioUnitElement element,
                               AudioChannelLayout* outLayout, bool& outWritable) override;
  /// Queues one event for the next slice; a full ring drops it with "MIDI QUEUE ERROR".
  OSStatus HandleMidiEvent(UInt8 status, UInt8 channel, UInt8 data1, UInt8 data2, UInt32 startFrame) override;

 private:
  vantor::EngineListener* listener() { return this; }
  // The engine's call-backs (any thread): the log and listener notifications, engine queries;
  // edit gestures are not taken (unknown).
  std::int32_t message(std::int32_t kind, const char* title, const char* content) override;
  std::int32_t progressOpen(const char* title, std::int32_t elements) override;
  std::int32_t progressStep() override;
  std::int32_t progressClose() override;
  std::int32_t slotChanged(std::int32_t slot) override;
  std::int32_t parameterChanged(const ParameterInfo* info, std::int32_t kind, std::int32_t index, float value) override;
  std::int32_t latencyChanged(std::int32_t frames) override;
  std::int32_t unknown(std::int32_t op) override;

  /// Property 31's value: the bundle holding this code and the view factory's name.
  OSStatus viewInfo(void* outData);
  /// Property identifiers above 0xFFFF, to the engine with its data.
  OSStatus vendorProperty(AudioUnitPropertyID id, void* data);
  void logEngineError(std::int32_t result);
  void announceParameter(AudioUnitEventType type, AudioUnitParameterID id);
  void refreshParameters();
  bool hasInstance() const { return m_engine.hasInstance(); }
  void remakeScratch();
  void readTransport();
  void sendMIDIOutput(const AudioTimeStamp& timeStamp);

  AUChannelInfo m_channels[3];
  UInt32 m_channelCount = 0;

  std::int32_t m_outputCount = 0;
  double m_sampleRate = 0.0;
  UInt32 m_maxFrames = 0;
  float* m_scratch = nullptr;
  bool m_extraBuffer = false;
  std::int32_t m_engineOutputs = 0;  // the count the instance was created with

  vantor::EngineBinding m_binding;
  vantor::EngineSession m_engine;
  bool m_compatibility1025 = false;
  std::atomic<bool> m_offline{false};
  char m_dataFolder[kDataFolderSize] = {};
  std::string m_productFolder;
  std::string m_hostName;
  EngineCreateInfo m_createInfo{};

  vantor::SpscRing<vantor::MIDIEvent> m_ring{kRingSlots};  // HandleMidiEvent to Render
  std::array<vantor::MIDIEvent, kRingSlots - 1> m_staging{};
  std::array<vantor::MIDIEvent, kRingSlots - 1> m_sortScratch{};
  MIDIEventBlock m_midiIn{};
  MIDIEventBlock m_midiOut{};

  std::array<float*, kMaxOutputs> m_outputs{};
  vantor::SyncInfo m_sync;
  AUMIDIOutputCallbackStruct m_midiOutput{};
  alignas(4) unsigned char m_packetList[1024] = {};
  char m_hostApplication[256] = {};

  std::atomic<bool> m_parameterDescribedWithoutInstance{false};
  std::atomic<bool> m_renderedSinceInitialize{false};
  bool m_barStartWarningLogged = false;
};
