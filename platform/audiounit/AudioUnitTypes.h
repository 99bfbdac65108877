// The Audio Unit records, constants and C interface a music device and its host share, written
// from their public descriptions (record layouts, selector, property and error numbers) for our
// own stand-in: no Audio Unit host exists on Linux. The layouts are those of 64-bit hosts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/midi/CoreMIDI.h"

using Float32 = float;
using Float64 = double;
using AudioUnitPropertyID = UInt32;
using AudioUnitScope = UInt32;
using AudioUnitElement = UInt32;
using AudioUnitParameterID = UInt32;
using AudioUnitParameterValue = Float32;
using AudioUnitRenderActionFlags = UInt32;
using AudioChannelLayoutTag = UInt32;
using AudioChannelLabel = UInt32;
using MusicDeviceInstrumentID = UInt32;
using MusicDeviceGroupID = UInt32;
using NoteInstanceID = UInt32;
/// The host's handle of one component instance; the stand-in gives each instance its own.
using AudioComponentInstance = void*;

// Results.
inline constexpr OSStatus kAudioUnitErr_InvalidProperty = -10879;
inline constexpr OSStatus kAudioUnitErr_InvalidParameter = -10878;
inline constexpr OSStatus kAudioUnitErr_InvalidElement = -10877;
inline constexpr OSStatus kAudioUnitErr_TooManyFramesToProcess = -10874;
inline constexpr OSStatus kAudioUnitErr_FormatNotSupported = -10868;
inline constexpr OSStatus kAudioUnitErr_Uninitialized = -10867;
inline constexpr OSStatus kAudioUnitErr_InvalidScope = -10866;
inline constexpr OSStatus kAudioUnitErr_PropertyNotWritable = -10865;
inline constexpr OSStatus kAudioUnitErr_InvalidPropertyValue = -10851;
inline constexpr OSStatus kAudio_ParamError = -50;
inline constexpr OSStatus badComponentSelector = -2147450878;  // 0x80008002

// Scopes.
inline constexpr AudioUnitScope kAudioUnitScope_Global = 0;
inline constexpr AudioUnitScope kAudioUnitScope_Input = 1;
inline constexpr AudioUnitScope kAudioUnitScope_Output = 2;
inline constexpr AudioUnitScope kAudioUnitScope_Group = 3;

// Properties. Host and unit each carry their own copy of the CF stand-in, so no CF object
// crosses between them: a property whose value holds CF objects crosses as the bytes of an
// XML property list (its size from GetPropertyInfo at the time of asking), as said beside it.
/// The unit's saved state: the dictionary.
inline constexpr AudioUnitPropertyID kAudioUnitProperty_ClassInfo = 0;
inline constexpr AudioUnitPropertyID kAudioUnitProperty_SampleRate = 2;
/// The parameter identifiers of a scope (UInt32 each).
inline constexpr AudioUnitPropertyID kAudioUnitProperty_ParameterList = 3;
/// Element: the parameter. An AudioUnitParameterInfo with null CF fields, followed, when its
/// flags hold kAudioUnitParameterFlag_HasCFNameString, by the name string (a string value).
inline constexpr AudioUnitPropertyID kAudioUnitProperty_ParameterInfo = 4;
inline constexpr AudioUnitPropertyID kAudioUnitProperty_StreamFormat = 8;
inline constexpr AudioUnitPropertyID kAudioUnitProperty_ElementCount = 11;
inline constexpr AudioUnitPropertyID kAudioUnitProperty_Latency = 12;
inline constexpr AudioUnitPropertyID kAudioUnitProperty_SupportedNumChannels = 13;
inline constexpr AudioUnitPropertyID kAudioUnitProperty_MaximumFramesPerSlice = 14;
/// Element: the parameter. An array of strings.
inline constexpr AudioUnitPropertyID kAudioUnitProperty_ParameterValueStrings = 16;
inline constexpr AudioUnitPropertyID kAudioUnitProperty_AudioChannelLayout = 19;
inline constexpr AudioUnitPropertyID kAudioUnitProperty_HostCallbacks = 27;
/// The editor view's factory (AudioUnitCocoaViewInfo): an array of strings, the bundle
/// folder's path first, then the factory names.
inline constexpr AudioUnitPropertyID kAudioUnitProperty_CocoaUI = 31;
inline constexpr AudioUnitPropertyID kAudioUnitProperty_SupportedChannelLayoutTags = 32;
/// UInt32, non-zero: render offline.
inline constexpr AudioUnitPropertyID kAudioUnitProperty_OfflineRender = 37;
/// Set by the host (AUHostVersionIdentifier): a dictionary of "name" (string) and "version"
/// (integer).
inline constexpr AudioUnitPropertyID kAudioUnitProperty_AUHostIdentifier = 46;
/// The names of the unit's MIDI outputs: an array of strings.
inline constexpr AudioUnitPropertyID kAudioUnitProperty_MIDIOutputCallbackInfo = 47;
inline constexpr AudioUnitPropertyID kAudioUnitProperty_MIDIOutputCallback = 48;
/// Ours (no such service exists to share on Linux): a host registers an
/// AUParameterListenerRecord (set) to hear the parameter and property events the unit itself
/// sends, and removes it by setting the same record with kAudioUnitScope_Output as scope.
inline constexpr AudioUnitPropertyID kKeloAudioUnitProperty_ParameterListener = 0x4B65504C;  // 'KePL'

// Stream formats: 32-bit float, one buffer per channel.
inline constexpr UInt32 kAudioFormatLinearPCM = 0x6C70636D;  // 'lpcm'
inline constexpr UInt32 kAudioFormatFlagIsFloat = 1u << 0;
inline constexpr UInt32 kAudioFormatFlagIsPacked = 1u << 3;
inline constexpr UInt32 kAudioFormatFlagIsNonInterleaved = 1u << 5;
inline constexpr UInt32 kAudioFormatFlagsNativeFloatPacked = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked;

// Channel layouts: the tag's upper 16 bits name the layout, the lower 16 its channel count.
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_UseChannelDescriptions = 0;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_Mono = (100u << 16) | 1;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_Stereo = (101u << 16) | 2;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DiscreteInOrder = 147u << 16;
inline constexpr AudioChannelLabel kAudioChannelLabel_Mono = 42;

// Component selectors.
enum : SInt16 {
  kAudioUnitInitializeSelect = 0x0001,
  kAudioUnitUninitializeSelect = 0x0002,
  kAudioUnitGetPropertyInfoSelect = 0x0003,
  kAudioUnitGetPropertySelect = 0x0004,
  kAudioUnitSetPropertySelect = 0x0005,
  kAudioUnitGetParameterSelect = 0x0006,
  kAudioUnitSetParameterSelect = 0x0007,
  kAudioUnitResetSelect = 0x0009,
  kAudioUnitAddPropertyListenerSelect = 0x000A,
  kAudioUnitRemovePropertyListenerSelect = 0x000B,
  kAudioUnitRenderSelect = 0x000E,
  kAudioUnitRemovePropertyListenerWithUserDataSelect = 0x0012,
  kMusicDeviceMIDIEventSelect = 0x0101,
  kMusicDeviceSysExSelect = 0x0102,
  kMusicDevicePrepareInstrumentSelect = 0x0103,
  kMusicDeviceReleaseInstrumentSelect = 0x0104,
  kMusicDeviceStartNoteSelect = 0x0105,
  kMusicDeviceStopNoteSelect = 0x0106,
};

struct AudioStreamBasicDescription {
  Float64 mSampleRate;
  UInt32 mFormatID;
  UInt32 mFormatFlags;
  UInt32 mBytesPerPacket;
  UInt32 mFramesPerPacket;
  UInt32 mBytesPerFrame;
  UInt32 mChannelsPerFrame;
  UInt32 mBitsPerChannel;
  UInt32 mReserved;
};

struct AudioBuffer {
  UInt32 mNumberChannels;
  UInt32 mDataByteSize;
  void* mData;
};

/// Followed in memory by mNumberBuffers - 1 more buffers, reached through AudioBufferListAt,
/// never by indexing `mBuffers` beyond its bound (undefined behaviour).
struct AudioBufferList {
  UInt32 mNumberBuffers;
  AudioBuffer mBuffers[1];
};

/// Buffer `index` of a list laid out with mNumberBuffers buffers. Any thread.
inline AudioBuffer& AudioBufferListAt(AudioBufferList& list, UInt32 index) {
  return reinterpret_cast<AudioBuffer*>(reinterpret_cast<unsigned char*>(&list) +
                                        offsetof(AudioBufferList, mBuffers))[index];
}
inline const AudioBuffer& AudioBufferListAt(const AudioBufferList& list, UInt32 index) {
  return reinterpret_cast<const AudioBuffer*>(reinterpret_cast<const unsigned char*>(&list) +
                                              offsetof(AudioBufferList, mBuffers))[index];
}

struct SMPTETime {
  SInt16 mSubframes;
  SInt16 mSubframeDivisor;
  UInt32 mCounter;
  UInt32 mType;
  UInt32 mFlags;
  SInt16 mHours;
  SInt16 mMinutes;
  SInt16 mSeconds;
  SInt16 mFrames;
};

struct AudioTimeStamp {
  Float64 mSampleTime;
  UInt64 mHostTime;
  Float64 mRateScalar;
  UInt64 mWordClockTime;
  SMPTETime mSMPTETime;
  UInt32 mFlags;
  UInt32 mReserved;
};
inline constexpr UInt32 kAudioTimeStampSampleTimeValid = 1u << 0;

/// The two leading arguments (pitch, velocity); further controls are not read.
struct MusicDeviceNoteParams {
  UInt32 argCount;
  Float32 mPitch;
  Float32 mVelocity;
};

struct AUChannelInfo {
  SInt16 inChannels;
  SInt16 outChannels;
};

struct AudioChannelDescription {
  AudioChannelLabel mChannelLabel;
  UInt32 mChannelFlags;
  Float32 mCoordinates[3];
};

/// Followed in memory by mNumberChannelDescriptions - 1 more descriptions, reached through
/// AudioChannelLayoutAt, never by indexing `mChannelDescriptions` beyond its bound.
struct AudioChannelLayout {
  AudioChannelLayoutTag mChannelLayoutTag;
  UInt32 mChannelBitmap;
  UInt32 mNumberChannelDescriptions;
  AudioChannelDescription mChannelDescriptions[1];
};
inline constexpr UInt32 kAudioChannelLayoutHeaderSize = offsetof(AudioChannelLayout, mChannelDescriptions);

/// Description `index` of a layout holding mNumberChannelDescriptions of them. Any thread.
inline AudioChannelDescription& AudioChannelLayoutAt(AudioChannelLayout& layout, UInt32 index) {
  return reinterpret_cast<AudioChannelDescription*>(reinterpret_cast<unsigned char*>(&layout) +
                                                    kAudioChannelLayoutHeaderSize)[index];
}
inline const AudioChannelDescription& AudioChannelLayoutAt(const AudioChannelLayout& layout,
                                                           UInt32 index) {
  return reinterpret_cast<const AudioChannelDescription*>(
      reinterpret_cast<const unsigned char*>(&layout) + kAudioChannelLayoutHeaderSize)[index];
}

// Host callbacks (property 27): each may be null; each answers noErr when it delivered.
extern "C" {
typedef OSStatus (*HostCallback_GetBeatAndTempo)(void* hostUserData, Float64* currentBeat,
                                                 Float64* currentTempo);
typedef OSStatus (*HostCallback_GetMusicalTimeLocation)(void* hostUserData,
                                                        UInt32* deltaSampleOffsetToNextBeat,
                                                        Float32* timeSigNumerator,
                                                        UInt32* timeSigDenominator,
                                                        Float64* currentMeasureDownBeat);
typedef OSStatus (*HostCallback_GetTransportState)(void* hostUserData, Boolean* isPlaying,
                                                   Boolean* transportStateChanged,
                                                   Float64* currentSampleInTimeLine,
                                                   Boolean* isCycling, Float64* cycleStartBeat,
                                                   Float64* cycleEndBeat);
typedef OSStatus (*HostCallback_GetTransportState2)(void* hostUserData, Boolean* isPlaying,
                                                    Boolean* isRecording,
                                                    Boolean* transportStateChanged,
                                                    Float64* currentSampleInTimeLine,
                                                    Boolean* isCycling, Float64* cycleStartBeat,
                                                    Float64* cycleEndBeat);
/// Engine MIDI output to the host (property 48).
typedef void (*AUMIDIOutputCallback)(void* userData, const AudioTimeStamp* timeStamp,
                                     UInt32 midiOutNum, const MIDIPacketList* packets);
typedef void (*AudioUnitPropertyListenerProc)(void* userData, AudioComponentInstance unit,
                                              AudioUnitPropertyID id, AudioUnitScope scope,
                                              AudioUnitElement element);
}

struct AudioUnitParameter {
  AudioComponentInstance mAudioUnit;
  AudioUnitParameterID mParameterID;
  AudioUnitScope mScope;
  AudioUnitElement mElement;
};

struct AudioUnitProperty {
  AudioComponentInstance mAudioUnit;
  AudioUnitPropertyID mPropertyID;
  AudioUnitScope mScope;
  AudioUnitElement mElement;
};

using AudioUnitEventType = UInt32;
inline constexpr AudioUnitEventType kAudioUnitEvent_ParameterValueChange = 0;
inline constexpr AudioUnitEventType kAudioUnitEvent_BeginParameterChangeGesture = 1;
inline constexpr AudioUnitEventType kAudioUnitEvent_EndParameterChangeGesture = 2;
inline constexpr AudioUnitEventType kAudioUnitEvent_PropertyChange = 3;

struct AudioUnitEvent {
  AudioUnitEventType mEventType;
  union {
    AudioUnitParameter mParameter;  // the three parameter events
    AudioUnitProperty mProperty;    // kAudioUnitEvent_PropertyChange
  } mArgument;
};

extern "C" {
/// Called on the thread that sent the event; it may be the render thread or an engine's
/// thread. `value`: the parameter's value for a value change, else 0.
typedef void (*AUParameterListenerProc)(void* userData, const AudioUnitEvent* event,
                                        AudioUnitParameterValue value);
}

struct AUParameterListenerRecord {
  AUParameterListenerProc proc;
  void* userData;
};

struct HostCallbackInfo {
  void* hostUserData;
  HostCallback_GetBeatAndTempo beatAndTempoProc;
  HostCallback_GetMusicalTimeLocation musicalTimeLocationProc;
  HostCallback_GetTransportState transportStateProc;
  HostCallback_GetTransportState2 transportStateProc2;
};

using AudioUnitParameterUnit = UInt32;
inline constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_Generic = 0;
inline constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_Indexed = 1;
inline constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_Boolean = 2;

using AudioUnitParameterOptions = UInt32;
inline constexpr AudioUnitParameterOptions kAudioUnitParameterFlag_CFNameRelease = 1u << 4;
inline constexpr AudioUnitParameterOptions kAudioUnitParameterFlag_IsHighResolution = 1u << 23;
inline constexpr AudioUnitParameterOptions kAudioUnitParameterFlag_HasCFNameString = 1u << 27;
inline constexpr AudioUnitParameterOptions kAudioUnitParameterFlag_IsReadable = 1u << 30;
inline constexpr AudioUnitParameterOptions kAudioUnitParameterFlag_IsWritable = 1u << 31;

struct AudioUnitParameterInfo {
  char name[52];
  const void* unitName;      // CFStringRef
  UInt32 clumpID;
  const void* cfNameString;  // CFStringRef; released by the receiver under CFNameRelease
  AudioUnitParameterUnit unit;
  AudioUnitParameterValue minValue;
  AudioUnitParameterValue maxValue;
  AudioUnitParameterValue defaultValue;
  AudioUnitParameterOptions flags;
};

/// What kAudioUnitProperty_CocoaUI holds on the unit's side (one factory name).
struct AudioUnitCocoaViewInfo {
  const void* mCocoaAUViewBundleLocation;  // CFURLRef
  const void* mCocoaAUViewClass[1];        // CFStringRef
};

/// What kAudioUnitProperty_AUHostIdentifier holds on the unit's side.
struct AUHostVersionIdentifier {
  const void* hostName;  // CFStringRef
  UInt32 hostVersion;
};

struct AUMIDIOutputCallbackStruct {
  AUMIDIOutputCallback midiOutputCallback;
  void* userData;
};

// The component's C interface: the factory answers one table per instance; a method found by
// its selector takes that table (`self`) first.
struct AudioComponentDescription {
  UInt32 componentType;
  UInt32 componentSubType;
  UInt32 componentManufacturer;
  UInt32 componentFlags;
  UInt32 componentFlagsMask;
};
extern "C" {
typedef OSStatus (*AudioComponentMethod)(void* self, ...);
}
struct AudioComponentPlugInInterface {
  OSStatus (*Open)(void* self, AudioComponentInstance instance);
  OSStatus (*Close)(void* self);
  AudioComponentMethod (*Lookup)(SInt16 selector);
  void* reserved;
};
extern "C" {
typedef AudioComponentPlugInInterface* (*AudioComponentFactoryFunction)(const AudioComponentDescription* description);
}

// The methods' own signatures, as a host casts what Lookup answers.
extern "C" {
typedef OSStatus (*AudioUnitInitializeProc)(void* self);
typedef OSStatus (*AudioUnitUninitializeProc)(void* self);
typedef OSStatus (*AudioUnitGetPropertyInfoProc)(void* self, AudioUnitPropertyID, AudioUnitScope,
                                                 AudioUnitElement, UInt32* outDataSize, Boolean* outWritable);
typedef OSStatus (*AudioUnitGetPropertyProc)(void* self, AudioUnitPropertyID, AudioUnitScope,
                                             AudioUnitElement, void* outData, UInt32* ioDataSize);
typedef OSStatus (*AudioUnitSetPropertyProc)(void* self, AudioUnitPropertyID, AudioUnitScope,
                                             AudioUnitElement, const void* inData, UInt32 inDataSize);
typedef OSStatus (*AudioUnitGetParameterProc)(void* self, AudioUnitParameterID, AudioUnitScope,
                                              AudioUnitElement, AudioUnitParameterValue* outValue);
typedef OSStatus (*AudioUnitSetParameterProc)(void* self, AudioUnitParameterID, AudioUnitScope,
                                              AudioUnitElement, AudioUnitParameterValue value,
                                              UInt32 bufferOffsetInFrames);
typedef OSStatus (*AudioUnitResetProc)(void* self, AudioUnitScope, AudioUnitElement);
typedef OSStatus (*AudioUnitAddPropertyListenerProc)(void* self, AudioUnitPropertyID,
                                                     AudioUnitPropertyListenerProc, void* userData);
typedef OSStatus (*AudioUnitRemovePropertyListenerWithUserDataProc)(void* self, AudioUnitPropertyID,
                                                                    AudioUnitPropertyListenerProc,
                                                                    void* userData);
typedef OSStatus (*AudioUnitRenderProc)(void* self, AudioUnitRenderActionFlags* ioActionFlags,
                                        const AudioTimeStamp* timeStamp, UInt32 outputBusNumber,
                                        UInt32 numberFrames, AudioBufferList* ioData);
typedef OSStatus (*MusicDeviceMIDIEventProc)(void* self, UInt32 status, UInt32 data1, UInt32 data2,
                                             UInt32 offsetSampleFrame);
typedef OSStatus (*MusicDeviceSysExProc)(void* self, const UInt8* data, UInt32 length);
typedef OSStatus (*MusicDevicePrepareInstrumentProc)(void* self, MusicDeviceInstrumentID instrument);
typedef OSStatus (*MusicDeviceReleaseInstrumentProc)(void* self, MusicDeviceInstrumentID instrument);
typedef OSStatus (*MusicDeviceStartNoteProc)(void* self, MusicDeviceInstrumentID instrument,
                                             MusicDeviceGroupID group, NoteInstanceID* outNote,
                                             UInt32 offsetSampleFrame, const MusicDeviceNoteParams* params);
typedef OSStatus (*MusicDeviceStopNoteProc)(void* self, MusicDeviceGroupID group, NoteInstanceID note,
                                            UInt32 offsetSampleFrame);
}

static_assert(sizeof(AudioStreamBasicDescription) == 40);
static_assert(sizeof(AudioBuffer) == 16);
static_assert(offsetof(AudioBuffer, mData) == 8);
static_assert(sizeof(AudioBufferList) == 24);
static_assert(offsetof(AudioBufferList, mBuffers) == 8);
static_assert(sizeof(SMPTETime) == 24);
static_assert(sizeof(AudioTimeStamp) == 64);
static_assert(offsetof(AudioTimeStamp, mSMPTETime) == 32);
static_assert(offsetof(AudioTimeStamp, mFlags) == 56);
static_assert(sizeof(AUChannelInfo) == 4);
static_assert(sizeof(AudioChannelDescription) == 20);
static_assert(kAudioChannelLayoutHeaderSize == 12);
static_assert(sizeof(HostCallbackInfo) == 40);
static_assert(sizeof(AudioUnitParameter) == 24);
static_assert(sizeof(AUParameterListenerRecord) == 16);
static_assert(sizeof(AudioUnitEvent) == 32);
static_assert(offsetof(AudioUnitEvent, mArgument) == 8);
static_assert(sizeof(AudioUnitParameterInfo) == 104);
static_assert(offsetof(AudioUnitParameterInfo, unitName) == 56);
static_assert(offsetof(AudioUnitParameterInfo, clumpID) == 64);
static_assert(offsetof(AudioUnitParameterInfo, cfNameString) == 72);
static_assert(offsetof(AudioUnitParameterInfo, unit) == 80);
static_assert(offsetof(AudioUnitParameterInfo, flags) == 96);
static_assert(sizeof(AudioUnitCocoaViewInfo) == 16);
static_assert(sizeof(AUHostVersionIdentifier) == 16);
static_assert(sizeof(AUMIDIOutputCallbackStruct) == 16);
static_assert(sizeof(AudioComponentPlugInInterface) == 32);
