// The component interface of a music device: `AUMusicDeviceFactory<Unit>::Factory` is what a
// bundle exports under its factory name. Each call of the factory answers a new table; Open
// constructs the unit and runs its PostConstructor, Close runs its PreDestructor and deletes
// it, Lookup finds a method by selector. No exception leaves a method: it answers an error
// instead.
// Threads: Open and Close on the host's main thread; the methods Lookup hands out follow
// AUBase.h.
#pragma once

#include <exception>
#include <new>

#include "platform/audiounit/MusicDeviceBase.h"

inline constexpr OSStatus kAudioUnitErr_FailedInitialization = -10875;

namespace kelo::au {

template <class Unit>
class AUMusicDeviceFactory {
 public:
  static AudioComponentPlugInInterface* Factory(const AudioComponentDescription* description) {
    Instance* instance = new (std::nothrow) Instance{};
    if (instance == nullptr) return nullptr;
    instance->table = {&Open, &Close, &Lookup, nullptr};
    if (description != nullptr) instance->description = *description;
    return &instance->table;
  }

 private:
  struct Instance {
    AudioComponentPlugInInterface table;  // first: `self` is its address
    Unit* unit;
    AudioComponentDescription description;
  };

  static Unit* unitOf(void* self) { return static_cast<Instance*>(self)->unit; }

  // Runs `call` on the unit, answering `failure` for a closed instance or an exception.
  template <typename Call>
  static OSStatus guarded(void* self, Call&& call, OSStatus failure = kAudio_ParamError) {
    if (self == nullptr || unitOf(self) == nullptr) return failure;
    try {
      return call(*unitOf(self));
    } catch (...) {
      return failure;
    }
  }

  static OSStatus Open(void* self, AudioComponentInstance handle) {
    if (self == nullptr) return kAudio_ParamError;
    Instance* instance = static_cast<Instance*>(self);
    if (instance->unit != nullptr) return kAudio_ParamError;
    try {
      instance->unit = new Unit(handle);
      instance->unit->SetComponentDescription(instance->description);
      instance->unit->PostConstructor();
      return noErr;
    } catch (...) {
      delete instance->unit;
      instance->unit = nullptr;
      return kAudioUnitErr_FailedInitialization;
    }
  }

  static OSStatus Close(void* self) {
    if (self == nullptr) return kAudio_ParamError;
    Instance* instance = static_cast<Instance*>(self);
    try {
      if (instance->unit != nullptr) instance->unit->PreDestructor();
      delete instance->unit;
    } catch (...) {
    }
    delete instance;
    return noErr;
  }

  static OSStatus Initialize(void* self) {
    return guarded(self, [](Unit& unit) { return unit.DoInitialize(); });
  }
  static OSStatus Uninitialize(void* self) {
    return guarded(self, [](Unit& unit) {
      unit.DoCleanup();
      return noErr;
    });
  }
  static OSStatus GetPropertyInfo(void* self, AudioUnitPropertyID id, AudioUnitScope scope,
                                  AudioUnitElement element, UInt32* outDataSize, Boolean* outWritable) {
    return guarded(self, [&](Unit& unit) {
      UInt32 size = 0;
      bool writable = false;
      const OSStatus result = unit.DispatchGetPropertyInfo(id, scope, element, size, writable);
      if (result == noErr && outDataSize != nullptr) *outDataSize = size;
      if (result == noErr && outWritable != nullptr) *outWritable = writable;
      return result;
    });
  }
  static OSStatus GetProperty(void* self, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                              void* outData, UInt32* ioDataSize) {
    if (ioDataSize == nullptr) return kAudio_ParamError;
    return guarded(self, [&](Unit& unit) { return unit.DispatchGetProperty(id, scope, element, outData, *ioDataSize); });
  }
  static OSStatus SetProperty(void* self, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                              const void* inData, UInt32 inDataSize) {
    return guarded(self, [&](Unit& unit) { return unit.DispatchSetProperty(id, scope, element, inData, inDataSize); });
  }
  static OSStatus GetParameter(void* self, AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                               AudioUnitParameterValue* outValue) {
    if (outValue == nullptr) return kAudio_ParamError;
    return guarded(self, [&](Unit& unit) { return unit.GetParameter(id, scope, element, *outValue); });
  }
  static OSStatus SetParameter(void* self, AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                               AudioUnitParameterValue value, UInt32 bufferOffsetInFrames) {
    return guarded(self, [&](Unit& unit) { return unit.SetParameter(id, scope, element, value, bufferOffsetInFrames); });
  }
  static OSStatus Reset(void* self, AudioUnitScope scope, AudioUnitElement element) {
    return guarded(self, [&](Unit& unit) { return unit.DoReset(scope, element); });
  }
  static OSStatus AddPropertyListener(void* self, AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc,
                                      void* userData) {
    return guarded(self, [&](Unit& unit) { return unit.AddPropertyListener(id, proc, userData); });
  }
  static OSStatus RemovePropertyListenerWithUserData(void* self, AudioUnitPropertyID id,
                                                     AudioUnitPropertyListenerProc proc, void* userData) {
    return guarded(self, [&](Unit& unit) { return unit.RemovePropertyListenerWithUserData(id, proc, userData); });
  }
  static OSStatus Render(void* self, AudioUnitRenderActionFlags* ioActionFlags, const AudioTimeStamp* timeStamp,
                         UInt32 bus, UInt32 frames, AudioBufferList* ioData) {
    if (ioActionFlags == nullptr || timeStamp == nullptr || ioData == nullptr) return kAudio_ParamError;
    return guarded(self, [&](Unit& unit) { return unit.DoRender(*ioActionFlags, *timeStamp, bus, frames, *ioData); });
  }
  static OSStatus MIDIEvent(void* self, UInt32 status, UInt32 data1, UInt32 data2, UInt32 offsetSampleFrame) {
    return guarded(self, [&](Unit& unit) { return unit.MIDIEvent(status, data1, data2, offsetSampleFrame); });
  }
  static OSStatus SysEx(void* self, const UInt8* data, UInt32 length) {
    return guarded(self, [&](Unit& unit) { return unit.SysEx(data, length); });
  }
  static OSStatus PrepareInstrument(void* self, MusicDeviceInstrumentID instrument) {
    return guarded(self, [&](Unit& unit) { return unit.PrepareInstrument(instrument); });
  }
  static OSStatus ReleaseInstrument(void* self, MusicDeviceInstrumentID instrument) {
    return guarded(self, [&](Unit& unit) { return unit.ReleaseInstrument(instrument); });
  }
  static OSStatus StartNote(void* self, MusicDeviceInstrumentID instrument, MusicDeviceGroupID group,
                            NoteInstanceID* outNote, UInt32 offsetSampleFrame, const MusicDeviceNoteParams* params) {
    if (params == nullptr) return kAudio_ParamError;
    return guarded(self, [&](Unit& unit) {
      return unit.StartNote(instrument, group, outNote, offsetSampleFrame, *params);
    });
  }
  static OSStatus StopNote(void* self, MusicDeviceGroupID group, NoteInstanceID note, UInt32 offsetSampleFrame) {
    return guarded(self, [&](Unit& unit) { return unit.StopNote(group, note, offsetSampleFrame); });
  }

  template <typename Method>
  static AudioComponentMethod method(Method m) {
    return reinterpret_cast<AudioComponentMethod>(m);
  }

  static AudioComponentMethod Lookup(SInt16 selector) {
    switch (selector) {
      case kAudioUnitInitializeSelect: return method(&Initialize);
      case kAudioUnitUninitializeSelect: return method(&Uninitialize);
      case kAudioUnitGetPropertyInfoSelect: return method(&GetPropertyInfo);
      case kAudioUnitGetPropertySelect: return method(&GetProperty);
      case kAudioUnitSetPropertySelect: return method(&SetProperty);
      case kAudioUnitGetParameterSelect: return method(&GetParameter);
      case kAudioUnitSetParameterSelect: return method(&SetParameter);
      case kAudioUnitResetSelect: return method(&Reset);
      case kAudioUnitAddPropertyListenerSelect: return method(&AddPropertyListener);
      case kAudioUnitRemovePropertyListenerWithUserDataSelect: return method(&RemovePropertyListenerWithUserData);
      case kAudioUnitRenderSelect: return method(&Render);
      case kMusicDeviceMIDIEventSelect: return method(&MIDIEvent);
      case kMusicDeviceSysExSelect: return method(&SysEx);
      case kMusicDevicePrepareInstrumentSelect: return method(&PrepareInstrument);
      case kMusicDeviceReleaseInstrumentSelect: return method(&ReleaseInstrument);
      case kMusicDeviceStartNoteSelect: return method(&StartNote);
      case kMusicDeviceStopNoteSelect: return method(&StopNote);
      default: return nullptr;
    }
  }
};

}  // namespace kelo::au
