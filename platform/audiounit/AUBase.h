// Our stand-in for the Audio Unit base classes a unit derives from: scopes of elements with
// stream formats and parameter stores, output buffers, the base properties, property
// listeners, the host's transport callbacks, and the host-facing Do*/Dispatch* steps that the
// component interface (AUComponent.h) calls.
//
// Threads: a host calls everything on its main thread except DoRender (its render thread) and
// the MIDI calls of MusicDeviceBase (its MIDI delivery, possibly the render thread). DoRender
// neither allocates nor locks: buffers are allocated by DoInitialize.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/audiounit/AudioUnitTypes.h"
#include "platform/cf/CFPropertyList.h"

inline constexpr OSStatus kAudioUnitErr_Initialized = -10849;
inline constexpr OSStatus kAudio_UnimplementedError = -4;
/// The largest slice a unit renders until the host says otherwise.
inline constexpr UInt32 kAUDefaultMaxFramesPerSlice = 1156;

/// A stream format with the helpers units use; canonical = 32-bit float, non-interleaved.
struct CAStreamBasicDescription : AudioStreamBasicDescription {
  CAStreamBasicDescription() : AudioStreamBasicDescription{} {}
  CAStreamBasicDescription(const AudioStreamBasicDescription& format) : AudioStreamBasicDescription(format) {}
  static CAStreamBasicDescription canonical(Float64 sampleRate, UInt32 channels);
  UInt32 NumberChannels() const { return mChannelsPerFrame; }
  bool IsCanonical() const;
  bool operator==(const CAStreamBasicDescription& other) const;
};

class AUBase;

/// One element (bus) of a scope: its stream format and its parameter values. Output elements
/// also own one buffer per channel for slices the host gives no memory for.
class AUElement {
 public:
  AUElement();
  const CAStreamBasicDescription& GetStreamFormat() const { return m_format; }
  void SetStreamFormat(const CAStreamBasicDescription& format) { m_format = format; }
  /// Declares parameters 0 to count - 1 at 0.0: the element's parameter list. Main thread,
  /// once, before any other thread reaches the element (the store never changes size again).
  void UseIndexedParameters(UInt32 count);
  bool HasParameter(AudioUnitParameterID id) const { return m_parameters.contains(id); }
  /// 0.0 for an undeclared parameter. Any thread.
  AudioUnitParameterValue GetParameter(AudioUnitParameterID id) const;
  /// False (nothing stored) for an undeclared parameter. Any thread; never allocates.
  bool SetParameter(AudioUnitParameterID id, AudioUnitParameterValue value);
  /// The declared identifiers, in order.
  std::vector<AudioUnitParameterID> GetParameterList() const;

  /// Main thread, before rendering: room for `maxFrames` per channel.
  void AllocateBuffer(UInt32 maxFrames);
  /// The element's own buffers, sized for `frames`. No allocation.
  AudioBufferList& PrepareBuffer(UInt32 frames);
  /// Points the element's list at the host's buffers that have memory. No allocation.
  AudioBufferList& SetBufferList(const AudioBufferList& host);
  AudioBufferList& GetBufferList() { return *m_list; }

 private:
  CAStreamBasicDescription m_format;
  std::map<AudioUnitParameterID, std::atomic<AudioUnitParameterValue>> m_parameters;
  std::vector<float> m_storage;
  UInt32 m_capacity = 0;  // frames per channel in m_storage
  std::vector<unsigned char> m_listBytes;
  AudioBufferList* m_list = nullptr;
};

class AUScope {
 public:
  UInt32 GetNumberOfElements() const { return static_cast<UInt32>(m_elements.size()); }
  void SetNumberOfElements(UInt32 count);
  /// Null outside the scope.
  AUElement* GetElement(AudioUnitElement index) const;

 private:
  std::vector<std::unique_ptr<AUElement>> m_elements;
};

class AUBase {
 public:
  AUBase(AudioComponentInstance instance, UInt32 numInputElements, UInt32 numOutputElements,
         UInt32 numGroupElements = 0);
  virtual ~AUBase();
  AUBase(const AUBase&) = delete;
  AUBase& operator=(const AUBase&) = delete;

  /// After construction, before any other call.
  virtual void PostConstructor() { CreateElements(); }
  /// Before destruction: an initialised unit is cleaned up first.
  virtual void PreDestructor() { DoCleanup(); }
  virtual OSStatus Initialize() { return noErr; }
  virtual void Cleanup() {}
  virtual OSStatus Reset(AudioUnitScope scope, AudioUnitElement element) { return noErr; }
  /// A unit's own properties; the base answers kAudioUnitErr_InvalidProperty.
  virtual OSStatus GetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                   UInt32& outDataSize, bool& outWritable);
  virtual OSStatus GetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                               void* outData);
  virtual OSStatus SetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                               const void* inData, UInt32 inDataSize);
  /// The element's store.
  virtual OSStatus GetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                AudioUnitParameterValue& outValue);
  virtual OSStatus SetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                AudioUnitParameterValue value, UInt32 bufferOffsetInFrames);
  /// A parameter's description; CF objects in it are the unit's (the base releases the name
  /// string under kAudioUnitParameterFlag_CFNameRelease). The base: kAudioUnitErr_InvalidParameter.
  virtual OSStatus GetParameterInfo(AudioUnitScope scope, AudioUnitParameterID id, AudioUnitParameterInfo& outInfo) {
    return kAudioUnitErr_InvalidParameter;
  }
  /// A new array of strings the caller releases, when `outStrings` is given. The base:
  /// kAudioUnitErr_InvalidProperty.
  virtual OSStatus GetParameterValueStrings(AudioUnitScope scope, AudioUnitParameterID id, CFArrayRef* outStrings) {
    return kAudioUnitErr_InvalidProperty;
  }
  virtual bool CanScheduleParameters() const = 0;
  /// Renders every output element for `frames` (at most the maximum frames per slice).
  virtual OSStatus Render(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& timeStamp,
                          UInt32 frames) = 0;
  virtual bool BusCountWritable(AudioUnitScope scope) { return false; }
  virtual Float64 GetLatency() { return 0.0; }
  virtual bool StreamFormatWritable(AudioUnitScope scope, AudioUnitElement element) = 0;
  /// The unit's channel table; 0 entries: any count.
  virtual UInt32 SupportedNumChannels(const AUChannelInfo** outInfo) { return 0; }
  /// Sets the element's format; a unit announces what the change means to it.
  virtual OSStatus ChangeStreamFormat(AudioUnitScope scope, AudioUnitElement element,
                                      const CAStreamBasicDescription& previous,
                                      const CAStreamBasicDescription& next);
  /// The unit's state, a new property list the caller releases. The base: a dictionary of
  /// "version" 0, "type", "subtype", "manufacturer" (the component's description) and "name".
  virtual OSStatus SaveState(CFPropertyListRef* outData);
  /// The base accepts a dictionary of version 0 naming this component, and nothing else
  /// (kAudioUnitErr_InvalidPropertyValue).
  virtual OSStatus RestoreState(CFPropertyListRef plist);
  /// Count of tags; writes them when `outTags` is given.
  virtual UInt32 GetChannelLayoutTags(AudioUnitScope scope, AudioUnitElement element,
                                      AudioChannelLayoutTag* outTags) { return 0; }
  /// Byte size of the layout (0: none); writes it when `outLayout` is given.
  virtual UInt32 GetAudioChannelLayout(AudioUnitScope scope, AudioUnitElement element,
                                       AudioChannelLayout* outLayout, bool& outWritable) {
    outWritable = false;
    return 0;
  }

  // Host-facing steps (component interface).
  OSStatus DoInitialize();
  void DoCleanup();
  OSStatus DoReset(AudioUnitScope scope, AudioUnitElement element);
  /// Refuses a slice over the maximum frames (kAudioUnitErr_TooManyFramesToProcess) before
  /// Render. Buffers in `ioData` with null data get the element's own.
  OSStatus DoRender(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& timeStamp,
                    UInt32 bus, UInt32 frames, AudioBufferList& ioData);
  OSStatus DispatchGetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                   UInt32& outDataSize, bool& outWritable);
  /// `ioDataSize` in: the room at outData; out: the bytes written.
  OSStatus DispatchGetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                               void* outData, UInt32& ioDataSize);
  OSStatus DispatchSetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                               const void* inData, UInt32 inDataSize);
  OSStatus AddPropertyListener(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc, void* userData);
  OSStatus RemovePropertyListenerWithUserData(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc,
                                              void* userData);

  // For units.
  /// Before PostConstructor: the description the host created the component with.
  void SetComponentDescription(const AudioComponentDescription& description) { m_description = description; }
  const AudioComponentDescription& GetComponentDescription() const { return m_description; }
  /// Tells the host's parameter listeners of a change the unit made. Any thread; no allocation.
  void ParameterChanged(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                        AudioUnitParameterValue value);
  /// Any event (gestures, property changes) to the host's parameter listeners; the event's
  /// unit is filled in. Any thread; no allocation.
  void NotifyEvent(AudioUnitEvent event, AudioUnitParameterValue value = 0.0f);
  void CreateElements();
  bool IsInitialized() const { return m_initialized; }
  UInt32 GetMaxFramesPerSlice() const { return m_maxFramesPerSlice; }
  AUScope& Globals() { return m_scopes[kAudioUnitScope_Global]; }
  AUScope& Inputs() { return m_scopes[kAudioUnitScope_Input]; }
  AUScope& Outputs() { return m_scopes[kAudioUnitScope_Output]; }
  /// Null outside the scopes.
  AUScope* GetScope(AudioUnitScope scope);
  AUElement* GetElement(AudioUnitScope scope, AudioUnitElement element);
  AUElement* Output(AudioUnitElement element) { return Outputs().GetElement(element); }
  /// Calls the property's listeners on this thread. Any thread.
  void PropertyChanged(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element);
  AudioComponentInstance GetComponentInstance() const { return m_instance; }
  // The host's transport, each noErr only when the host gave the callback and it delivered.
  // Outputs may be null. Any thread.
  OSStatus CallHostBeatAndTempo(Float64* currentBeat, Float64* currentTempo);
  OSStatus CallHostMusicalTimeLocation(UInt32* deltaSampleOffsetToNextBeat, Float32* numerator,
                                       UInt32* denominator, Float64* currentMeasureDownBeat);
  OSStatus CallHostTransportState(Boolean* isPlaying, Boolean* transportStateChanged,
                                  Float64* currentSampleInTimeLine, Boolean* isCycling,
                                  Float64* cycleStartBeat, Float64* cycleEndBeat);

 private:
  struct Listener {
    AudioUnitPropertyID id;
    AudioUnitPropertyListenerProc proc;
    void* userData;
  };

  static constexpr int kMaxParameterListeners = 8;
  OSStatus SetParameterListener(const void* inData, UInt32 inDataSize, AudioUnitScope scope);
  static bool CrossesAsBytes(AudioUnitPropertyID id);
  /// The bytes a property holding CF objects crosses as.
  OSStatus CrossingBytes(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, std::string& out);
  /// noErr when the unit serves the property with a record of `expected` bytes.
  OSStatus UnitRecordSize(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, UInt32 expected);
  OSStatus SetHostIdentifier(const void* inData, UInt32 inDataSize);

  AudioComponentInstance m_instance;
  AudioComponentDescription m_description{};
  // Registered on the main thread, read from any: each slot's record is written before its
  // `used` flag is published; a removed slot is only marked unused, never reused.
  struct ParameterListenerSlot {
    AUParameterListenerRecord record{};
    std::atomic<bool> used{false};
  };
  ParameterListenerSlot m_parameterListeners[kMaxParameterListeners];
  std::atomic<int> m_parameterListenerCount{0};
  UInt32 m_initialCounts[4];
  AUScope m_scopes[4];
  bool m_elementsCreated = false;
  bool m_initialized = false;
  UInt32 m_maxFramesPerSlice = kAUDefaultMaxFramesPerSlice;
  HostCallbackInfo m_hostCallbacks{};
  Float64 m_lastRenderTime = -1.0;
  bool m_rendered = false;
  std::mutex m_listenersLock;  // listeners are added on the main thread, called from any
  std::vector<Listener> m_listeners;
};
