#include "platform/audiounit/AUBase.h"

#include <algorithm>
#include <cstring>

#include "platform/cf/CFArray.h"
#include "platform/cf/CFDictionary.h"
#include "platform/cf/CFNumber.h"
#include "platform/cf/CFString.h"
#include "platform/cf/CFURL.h"

CAStreamBasicDescription CAStreamBasicDescription::canonical(Float64 sampleRate, UInt32 channels) {
  AudioStreamBasicDescription format{};
  format.mSampleRate = sampleRate;
  format.mFormatID = kAudioFormatLinearPCM;
  format.mFormatFlags = kAudioFormatFlagsNativeFloatPacked | kAudioFormatFlagIsNonInterleaved;
  format.mBytesPerPacket = sizeof(Float32);
  format.mFramesPerPacket = 1;
  format.mBytesPerFrame = sizeof(Float32);
  format.mChannelsPerFrame = channels;
  format.mBitsPerChannel = 32;
  return format;
}

bool CAStreamBasicDescription::IsCanonical() const {
  return *this == canonical(mSampleRate, mChannelsPerFrame) && mChannelsPerFrame > 0 && mSampleRate > 0.0;
}

bool CAStreamBasicDescription::operator==(const CAStreamBasicDescription& other) const {
  return mSampleRate == other.mSampleRate && mFormatID == other.mFormatID &&
         mFormatFlags == other.mFormatFlags && mBytesPerPacket == other.mBytesPerPacket &&
         mFramesPerPacket == other.mFramesPerPacket && mBytesPerFrame == other.mBytesPerFrame &&
         mChannelsPerFrame == other.mChannelsPerFrame && mBitsPerChannel == other.mBitsPerChannel;
}

// ---- elements and scopes ----

AUElement::AUElement() : m_format(CAStreamBasicDescription::canonical(44100.0, 2)) {
  AllocateBuffer(0);
}

AudioUnitParameterValue AUElement::GetParameter(AudioUnitParameterID id) const {
  const auto found = m_parameters.find(id);
  return found == m_parameters.end() ? 0.0f : found->second.load(std::memory_order_relaxed);
}

void AUElement::UseIndexedParameters(UInt32 count) {
  for (AudioUnitParameterID id = 0; id < count; ++id) m_parameters.try_emplace(id, 0.0f);
}

bool AUElement::SetParameter(AudioUnitParameterID id, AudioUnitParameterValue value) {
  const auto found = m_parameters.find(id);
  if (found == m_parameters.end()) return false;
  found->second.store(value, std::memory_order_relaxed);
  return true;
}

std::vector<AudioUnitParameterID> AUElement::GetParameterList() const {
  std::vector<AudioUnitParameterID> ids;
  for (const auto& entry : m_parameters) ids.push_back(entry.first);
  return ids;
}

void AUElement::AllocateBuffer(UInt32 maxFrames) {
  const UInt32 channels = std::max<UInt32>(1, m_format.NumberChannels());
  m_capacity = maxFrames;
  m_storage.assign(static_cast<std::size_t>(channels) * maxFrames, 0.0f);
  m_listBytes.assign(offsetof(AudioBufferList, mBuffers) + channels * sizeof(AudioBuffer), 0);
  m_list = reinterpret_cast<AudioBufferList*>(m_listBytes.data());
  m_list->mNumberBuffers = channels;
  PrepareBuffer(0);
}

AudioBufferList& AUElement::PrepareBuffer(UInt32 frames) {
  frames = std::min(frames, m_capacity);
  for (UInt32 channel = 0; channel < m_list->mNumberBuffers; ++channel) {
    AudioBuffer& buffer = AudioBufferListAt(*m_list, channel);
    buffer.mNumberChannels = 1;
    buffer.mDataByteSize = frames * sizeof(Float32);
    buffer.mData = m_capacity == 0 ? nullptr : &m_storage[static_cast<std::size_t>(channel) * m_capacity];
  }
  return *m_list;
}

AudioBufferList& AUElement::SetBufferList(const AudioBufferList& host) {
  const UInt32 count = std::min(host.mNumberBuffers, m_list->mNumberBuffers);
  for (UInt32 channel = 0; channel < count; ++channel) {
    const AudioBuffer& offered = AudioBufferListAt(host, channel);
    if (offered.mData != nullptr) AudioBufferListAt(*m_list, channel) = offered;
  }
  return *m_list;
}

void AUScope::SetNumberOfElements(UInt32 count) {
  while (m_elements.size() > count) m_elements.pop_back();
  while (m_elements.size() < count) m_elements.push_back(std::make_unique<AUElement>());
}

AUElement* AUScope::GetElement(AudioUnitElement index) const {
  return index < m_elements.size() ? m_elements[index].get() : nullptr;
}

// ---- the unit ----

AUBase::AUBase(AudioComponentInstance instance, UInt32 numInputElements, UInt32 numOutputElements,
               UInt32 numGroupElements)
    : m_instance(instance), m_initialCounts{1, numInputElements, numOutputElements, numGroupElements} {}

AUBase::~AUBase() = default;

void AUBase::CreateElements() {
  if (m_elementsCreated) return;
  for (AudioUnitScope scope = 0; scope < 4; ++scope) m_scopes[scope].SetNumberOfElements(m_initialCounts[scope]);
  m_elementsCreated = true;
}

AUScope* AUBase::GetScope(AudioUnitScope scope) { return scope < 4 ? &m_scopes[scope] : nullptr; }

AUElement* AUBase::GetElement(AudioUnitScope scope, AudioUnitElement element) {
  AUScope* found = GetScope(scope);
  return found == nullptr ? nullptr : found->GetElement(element);
}

OSStatus AUBase::DoInitialize() {
  if (m_initialized) return noErr;
  const OSStatus result = Initialize();
  if (result != noErr) return result;
  for (UInt32 bus = 0; bus < Outputs().GetNumberOfElements(); ++bus) Output(bus)->AllocateBuffer(m_maxFramesPerSlice);
  m_initialized = true;
  m_rendered = false;
  return noErr;
}

void AUBase::DoCleanup() {
  if (!m_initialized) return;
  Cleanup();
  m_initialized = false;
}

OSStatus AUBase::DoReset(AudioUnitScope scope, AudioUnitElement element) {
  m_rendered = false;
  return Reset(scope, element);
}

OSStatus AUBase::DoRender(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& timeStamp,
                          UInt32 bus, UInt32 frames, AudioBufferList& ioData) {
  if (!m_initialized) return kAudioUnitErr_Uninitialized;
  AUElement* output = Output(bus);
  if (output == nullptr) return kAudioUnitErr_InvalidElement;
  if (frames > m_maxFramesPerSlice) return kAudioUnitErr_TooManyFramesToProcess;
  if (ioData.mNumberBuffers != output->GetStreamFormat().NumberChannels()) return kAudio_ParamError;
  for (UInt32 channel = 0; channel < ioData.mNumberBuffers; ++channel) {
    const AudioBuffer& buffer = AudioBufferListAt(ioData, channel);
    if (buffer.mData != nullptr && buffer.mDataByteSize < frames * sizeof(Float32))
      return kAudio_ParamError;
  }

  // Bus 0, or a slice not rendered yet, renders every bus; the others hand over what it wrote.
  const bool hostMemory = AudioBufferListAt(ioData, 0).mData != nullptr;
  if (bus == 0 || !m_rendered || timeStamp.mSampleTime != m_lastRenderTime) {
    Output(0)->PrepareBuffer(frames);
    if (bus == 0 && hostMemory) Output(0)->SetBufferList(ioData);
    const OSStatus result = Render(ioActionFlags, timeStamp, frames);
    if (result != noErr) return result;
    m_lastRenderTime = timeStamp.mSampleTime;
    m_rendered = true;
  }
  AudioBufferList& rendered = output->GetBufferList();
  for (UInt32 channel = 0; channel < ioData.mNumberBuffers; ++channel) {
    AudioBuffer& target = AudioBufferListAt(ioData, channel);
    const AudioBuffer& source = AudioBufferListAt(rendered, channel);
    if (target.mData == nullptr) {
      target.mData = source.mData;
    } else if (target.mData != source.mData) {
      std::memcpy(target.mData, source.mData, frames * sizeof(Float32));
    }
    target.mDataByteSize = frames * sizeof(Float32);
  }
  return noErr;
}

OSStatus AUBase::GetPropertyInfo(AudioUnitPropertyID, AudioUnitScope, AudioUnitElement, UInt32&, bool&) {
  return kAudioUnitErr_InvalidProperty;
}

OSStatus AUBase::GetProperty(AudioUnitPropertyID, AudioUnitScope, AudioUnitElement, void*) {
  return kAudioUnitErr_InvalidProperty;
}

OSStatus AUBase::SetProperty(AudioUnitPropertyID id, AudioUnitScope, AudioUnitElement, const void*, UInt32) {
  // The host's identity is the unit's to keep, if it wants it.
  return id == kAudioUnitProperty_AUHostIdentifier ? noErr : kAudioUnitErr_InvalidProperty;
}

OSStatus AUBase::GetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                              AudioUnitParameterValue& outValue) {
  AUElement* found = GetElement(scope, element);
  if (found == nullptr) return kAudioUnitErr_InvalidElement;
  if (!found->HasParameter(id)) return kAudioUnitErr_InvalidParameter;
  outValue = found->GetParameter(id);
  return noErr;
}

OSStatus AUBase::SetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                              AudioUnitParameterValue value, UInt32) {
  AUElement* found = GetElement(scope, element);
  if (found == nullptr) return kAudioUnitErr_InvalidElement;
  return found->SetParameter(id, value) ? noErr : kAudioUnitErr_InvalidParameter;
}

OSStatus AUBase::ChangeStreamFormat(AudioUnitScope scope, AudioUnitElement element,
                                    const CAStreamBasicDescription&, const CAStreamBasicDescription& next) {
  AUElement* found = GetElement(scope, element);
  if (found == nullptr) return kAudioUnitErr_InvalidElement;
  found->SetStreamFormat(next);
  return noErr;
}

namespace {

bool isBusScope(AudioUnitScope scope) {
  return scope == kAudioUnitScope_Input || scope == kAudioUnitScope_Output;
}

// The component's identity in a saved state, in the order the keys are written.
struct StateNumber {
  const char* key;
  UInt32 AudioComponentDescription::*field;
};
constexpr StateNumber kStateIdentity[] = {
    {"type", &AudioComponentDescription::componentType},
    {"subtype", &AudioComponentDescription::componentSubType},
    {"manufacturer", &AudioComponentDescription::componentManufacturer},
};

void setNumber(CFMutableDictionaryRef dictionary, const char* key, SInt32 value) {
  CFStringRef name = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
  CFNumberRef number = CFNumberCreate(nullptr, kCFNumberSInt32Type, &value);
  CFDictionarySetValue(dictionary, name, number);
  CFRelease(number);
  CFRelease(name);
}

// False when the key is missing or not a number.
bool getNumber(CFDictionaryRef dictionary, const char* key, SInt32& value) {
  CFStringRef name = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
  const void* found = CFDictionaryGetValue(dictionary, name);
  CFRelease(name);
  return found != nullptr && CFGetTypeID(found) == CFNumberGetTypeID() &&
         CFNumberGetValue(static_cast<CFNumberRef>(found), kCFNumberSInt32Type, &value);
}

}  // namespace

OSStatus AUBase::SaveState(CFPropertyListRef* outData) {
  CFMutableDictionaryRef state =
      CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  setNumber(state, "version", 0);
  for (const StateNumber& number : kStateIdentity) setNumber(state, number.key, static_cast<SInt32>(m_description.*number.field));
  CFDictionarySetValue(state, CFSTR("name"), CFSTR("Untitled"));
  *outData = state;
  return noErr;
}

OSStatus AUBase::RestoreState(CFPropertyListRef plist) {
  if (plist == nullptr || CFGetTypeID(plist) != CFDictionaryGetTypeID()) return kAudioUnitErr_InvalidPropertyValue;
  const auto state = static_cast<CFDictionaryRef>(plist);
  SInt32 value = -1;
  if (!getNumber(state, "version", value) || value != 0) return kAudioUnitErr_InvalidPropertyValue;
  for (const StateNumber& number : kStateIdentity)
    if (!getNumber(state, number.key, value) || static_cast<UInt32>(value) != m_description.*number.field)
      return kAudioUnitErr_InvalidPropertyValue;
  return noErr;
}

bool AUBase::CrossesAsBytes(AudioUnitPropertyID id) {
  switch (id) {
    case kAudioUnitProperty_ClassInfo:
    case kAudioUnitProperty_ParameterInfo:
    case kAudioUnitProperty_ParameterValueStrings:
    case kAudioUnitProperty_CocoaUI:
    case kAudioUnitProperty_MIDIOutputCallbackInfo:
      return true;
    default:
      return false;
  }
}

namespace {

// The XML of `value`, which is released; false for no value or one that is not a list.
bool appendXML(CFTypeRef value, std::string& out) {
  if (value == nullptr) return false;
  std::string xml;
  const bool written = kelo::cf::propertyListToXML(value, xml);
  CFRelease(value);
  out += xml;
  return written;
}

CFStringRef urlPath(CFURLRef url) {
  char path[4096];
  if (!CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8*>(path), sizeof path)) return nullptr;
  return CFStringCreateWithCString(nullptr, path, kCFStringEncodingUTF8);
}

}  // namespace

OSStatus AUBase::UnitRecordSize(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                UInt32 expected) {
  UInt32 size = 0;
  bool writable = false;
  const OSStatus result = GetPropertyInfo(id, scope, element, size, writable);
  if (result != noErr) return result;
  return size == expected ? noErr : kAudioUnitErr_InvalidPropertyValue;
}

OSStatus AUBase::CrossingBytes(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                               std::string& out) {
  out.clear();
  switch (id) {
    case kAudioUnitProperty_ClassInfo: {
      if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
      CFPropertyListRef state = nullptr;
      const OSStatus result = SaveState(&state);
      if (result != noErr) return result;
      return appendXML(state, out) ? noErr : kAudioUnitErr_InvalidPropertyValue;
    }
    case kAudioUnitProperty_ParameterInfo: {
      AudioUnitParameterInfo info{};
      const OSStatus result = GetParameterInfo(scope, element, info);
      if (result != noErr) return result;
      const bool named = (info.flags & kAudioUnitParameterFlag_HasCFNameString) != 0 && info.cfNameString != nullptr;
      CFTypeRef name = named ? info.cfNameString : nullptr;
      if (named && (info.flags & kAudioUnitParameterFlag_CFNameRelease) == 0) CFRetain(name);
      info.cfNameString = nullptr;
      info.unitName = nullptr;
      out.assign(reinterpret_cast<const char*>(&info), sizeof info);
      if (named && !appendXML(name, out)) return kAudioUnitErr_InvalidPropertyValue;
      return noErr;
    }
    case kAudioUnitProperty_ParameterValueStrings: {
      CFArrayRef strings = nullptr;
      const OSStatus result = GetParameterValueStrings(scope, element, &strings);
      if (result != noErr) return result;
      return appendXML(strings, out) ? noErr : kAudioUnitErr_InvalidPropertyValue;
    }
    case kAudioUnitProperty_CocoaUI: {
      AudioUnitCocoaViewInfo info{};
      OSStatus result = UnitRecordSize(id, scope, element, sizeof info);
      if (result == noErr) result = GetProperty(id, scope, element, &info);
      if (result != noErr) return result;
      CFMutableArrayRef crossing = CFArrayCreateMutable(nullptr, 2, &kCFTypeArrayCallBacks);
      CFStringRef path = urlPath(static_cast<CFURLRef>(info.mCocoaAUViewBundleLocation));
      CFArrayAppendValue(crossing, path);
      CFArrayAppendValue(crossing, info.mCocoaAUViewClass[0]);
      const bool whole = path != nullptr && info.mCocoaAUViewClass[0] != nullptr;
      if (path != nullptr) CFRelease(path);
      if (info.mCocoaAUViewBundleLocation != nullptr) CFRelease(info.mCocoaAUViewBundleLocation);
      if (info.mCocoaAUViewClass[0] != nullptr) CFRelease(info.mCocoaAUViewClass[0]);
      if (!whole) {
        CFRelease(crossing);
        return kAudioUnitErr_InvalidPropertyValue;
      }
      return appendXML(crossing, out) ? noErr : kAudioUnitErr_InvalidPropertyValue;
    }
    case kAudioUnitProperty_MIDIOutputCallbackInfo: {
      CFArrayRef names = nullptr;
      OSStatus result = UnitRecordSize(id, scope, element, sizeof names);
      if (result == noErr) result = GetProperty(id, scope, element, &names);
      if (result != noErr) return result;
      return appendXML(names, out) ? noErr : kAudioUnitErr_InvalidPropertyValue;
    }
    default:
      return kAudioUnitErr_InvalidProperty;
  }
}

OSStatus AUBase::SetHostIdentifier(const void* inData, UInt32 inDataSize) {
  CFPropertyListRef value = kelo::cf::propertyListFromXML(inData, inDataSize);
  if (value == nullptr || CFGetTypeID(value) != CFDictionaryGetTypeID()) {
    if (value != nullptr) CFRelease(value);
    return kAudioUnitErr_InvalidPropertyValue;
  }
  const auto dictionary = static_cast<CFDictionaryRef>(value);
  AUHostVersionIdentifier identifier{};
  const void* name = CFDictionaryGetValue(dictionary, CFSTR("name"));
  if (name != nullptr && CFGetTypeID(name) == CFStringGetTypeID()) identifier.hostName = name;
  SInt32 version = 0;
  if (getNumber(dictionary, "version", version)) identifier.hostVersion = static_cast<UInt32>(version);
  const OSStatus result =
      SetProperty(kAudioUnitProperty_AUHostIdentifier, kAudioUnitScope_Global, 0, &identifier, sizeof identifier);
  CFRelease(value);
  return result;
}

OSStatus AUBase::SetParameterListener(const void* inData, UInt32 inDataSize, AudioUnitScope scope) {
  if (inDataSize != sizeof(AUParameterListenerRecord)) return kAudio_ParamError;
  AUParameterListenerRecord record{};
  std::memcpy(&record, inData, sizeof record);
  if (record.proc == nullptr) return kAudio_ParamError;
  const int count = m_parameterListenerCount.load(std::memory_order_relaxed);
  if (scope == kAudioUnitScope_Output) {
    for (int slot = 0; slot < count; ++slot) {
      ParameterListenerSlot& listener = m_parameterListeners[slot];
      if (listener.record.proc == record.proc && listener.record.userData == record.userData)
        listener.used.store(false, std::memory_order_release);
    }
    return noErr;
  }
  if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
  if (count == kMaxParameterListeners) return kAudioUnitErr_InvalidPropertyValue;
  m_parameterListeners[count].record = record;
  m_parameterListeners[count].used.store(true, std::memory_order_release);
  m_parameterListenerCount.store(count + 1, std::memory_order_release);
  return noErr;
}

void AUBase::ParameterChanged(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                              AudioUnitParameterValue value) {
  AudioUnitEvent event{};
  event.mEventType = kAudioUnitEvent_ParameterValueChange;
  event.mArgument.mParameter = {m_instance, id, scope, element};
  NotifyEvent(event, value);
}

void AUBase::NotifyEvent(AudioUnitEvent event, AudioUnitParameterValue value) {
  if (event.mEventType == kAudioUnitEvent_PropertyChange) {
    event.mArgument.mProperty.mAudioUnit = m_instance;
  } else {
    event.mArgument.mParameter.mAudioUnit = m_instance;
  }
  const int count = m_parameterListenerCount.load(std::memory_order_acquire);
  for (int slot = 0; slot < count; ++slot) {
    const ParameterListenerSlot& listener = m_parameterListeners[slot];
    if (listener.used.load(std::memory_order_acquire)) listener.record.proc(listener.record.userData, &event, value);
  }
}

OSStatus AUBase::DispatchGetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                         UInt32& outDataSize, bool& outWritable) {
  outWritable = false;
  if (CrossesAsBytes(id)) {
    std::string bytes;
    const OSStatus result = CrossingBytes(id, scope, element, bytes);
    if (result != noErr) return result;
    outDataSize = static_cast<UInt32>(bytes.size());
    outWritable = id == kAudioUnitProperty_ClassInfo;
    return noErr;
  }
  switch (id) {
    case kAudioUnitProperty_ParameterList: {
      AUElement* found = GetElement(scope, 0);
      if (found == nullptr) return kAudioUnitErr_InvalidScope;
      outDataSize = static_cast<UInt32>(found->GetParameterList().size() * sizeof(AudioUnitParameterID));
      return noErr;
    }
    case kAudioUnitProperty_AUHostIdentifier:
      if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
      outWritable = true;
      return noErr;
    case kKeloAudioUnitProperty_ParameterListener:
      outDataSize = sizeof(AUParameterListenerRecord);
      outWritable = true;
      return noErr;
    case kAudioUnitProperty_StreamFormat:
      if (GetElement(scope, element) == nullptr || !isBusScope(scope)) return kAudioUnitErr_InvalidElement;
      outDataSize = sizeof(AudioStreamBasicDescription);
      outWritable = StreamFormatWritable(scope, element);
      return noErr;
    case kAudioUnitProperty_SampleRate:
      if (GetElement(scope, element) == nullptr || !isBusScope(scope)) return kAudioUnitErr_InvalidElement;
      outDataSize = sizeof(Float64);
      outWritable = StreamFormatWritable(scope, element);
      return noErr;
    case kAudioUnitProperty_ElementCount:
      if (GetScope(scope) == nullptr) return kAudioUnitErr_InvalidScope;
      outDataSize = sizeof(UInt32);
      outWritable = isBusScope(scope) && BusCountWritable(scope);
      return noErr;
    case kAudioUnitProperty_Latency:
      if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
      outDataSize = sizeof(Float64);
      return noErr;
    case kAudioUnitProperty_SupportedNumChannels: {
      if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
      const AUChannelInfo* table = nullptr;
      const UInt32 count = SupportedNumChannels(&table);
      if (count == 0) return kAudioUnitErr_InvalidProperty;
      outDataSize = count * sizeof(AUChannelInfo);
      return noErr;
    }
    case kAudioUnitProperty_MaximumFramesPerSlice:
      if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
      outDataSize = sizeof(UInt32);
      outWritable = true;
      return noErr;
    case kAudioUnitProperty_HostCallbacks:
      if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
      outDataSize = sizeof(HostCallbackInfo);
      outWritable = true;
      return noErr;
    case kAudioUnitProperty_SupportedChannelLayoutTags: {
      const UInt32 count = GetChannelLayoutTags(scope, element, nullptr);
      if (count == 0) return kAudioUnitErr_InvalidProperty;
      outDataSize = count * sizeof(AudioChannelLayoutTag);
      return noErr;
    }
    case kAudioUnitProperty_AudioChannelLayout: {
      const UInt32 size = GetAudioChannelLayout(scope, element, nullptr, outWritable);
      if (size == 0) return kAudioUnitErr_InvalidProperty;
      outDataSize = size;
      return noErr;
    }
    default:
      return GetPropertyInfo(id, scope, element, outDataSize, outWritable);
  }
}

OSStatus AUBase::DispatchGetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                     void* outData, UInt32& ioDataSize) {
  if (CrossesAsBytes(id)) {
    // Made once: the value may have changed since the host asked for its size.
    std::string bytes;
    const OSStatus result = CrossingBytes(id, scope, element, bytes);
    if (result != noErr) return result;
    if (outData == nullptr || ioDataSize < bytes.size()) return kAudio_ParamError;
    std::memcpy(outData, bytes.data(), bytes.size());
    ioDataSize = static_cast<UInt32>(bytes.size());
    return noErr;
  }
  // Set only.
  if (id == kKeloAudioUnitProperty_ParameterListener || id == kAudioUnitProperty_AUHostIdentifier)
    return kAudioUnitErr_InvalidProperty;
  UInt32 size = 0;
  bool writable = false;
  OSStatus result = DispatchGetPropertyInfo(id, scope, element, size, writable);
  if (result != noErr) return result;
  if (outData == nullptr || ioDataSize < size) return kAudio_ParamError;
  switch (id) {
    case kAudioUnitProperty_ParameterList: {
      const std::vector<AudioUnitParameterID> ids = GetElement(scope, 0)->GetParameterList();
      if (!ids.empty())
        std::memcpy(outData, ids.data(), std::min<std::size_t>(size, ids.size() * sizeof(AudioUnitParameterID)));
      break;
    }
    case kAudioUnitProperty_StreamFormat: {
      const AudioStreamBasicDescription format = GetElement(scope, element)->GetStreamFormat();
      std::memcpy(outData, &format, sizeof format);
      break;
    }
    case kAudioUnitProperty_SampleRate: {
      const Float64 rate = GetElement(scope, element)->GetStreamFormat().mSampleRate;
      std::memcpy(outData, &rate, sizeof rate);
      break;
    }
    case kAudioUnitProperty_ElementCount: {
      const UInt32 count = GetScope(scope)->GetNumberOfElements();
      std::memcpy(outData, &count, sizeof count);
      break;
    }
    case kAudioUnitProperty_Latency: {
      const Float64 latency = GetLatency();
      std::memcpy(outData, &latency, sizeof latency);
      break;
    }
    case kAudioUnitProperty_SupportedNumChannels: {
      const AUChannelInfo* table = nullptr;
      const UInt32 count = SupportedNumChannels(&table);
      std::memcpy(outData, table, count * sizeof(AUChannelInfo));
      break;
    }
    case kAudioUnitProperty_MaximumFramesPerSlice:
      std::memcpy(outData, &m_maxFramesPerSlice, sizeof m_maxFramesPerSlice);
      break;
    case kAudioUnitProperty_HostCallbacks:
      std::memcpy(outData, &m_hostCallbacks, sizeof m_hostCallbacks);
      break;
    case kAudioUnitProperty_SupportedChannelLayoutTags:
      GetChannelLayoutTags(scope, element, static_cast<AudioChannelLayoutTag*>(outData));
      break;
    case kAudioUnitProperty_AudioChannelLayout:
      GetAudioChannelLayout(scope, element, static_cast<AudioChannelLayout*>(outData), writable);
      break;
    default:
      result = GetProperty(id, scope, element, outData);
      break;
  }
  if (result == noErr) ioDataSize = size;
  return result;
}

OSStatus AUBase::DispatchSetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                     const void* inData, UInt32 inDataSize) {
  if (inData == nullptr) return kAudio_ParamError;
  switch (id) {
    case kAudioUnitProperty_ClassInfo: {
      if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
      CFPropertyListRef state = kelo::cf::propertyListFromXML(inData, inDataSize);
      if (state == nullptr) return kAudioUnitErr_InvalidPropertyValue;
      const OSStatus result = RestoreState(state);
      CFRelease(state);
      if (result == noErr) PropertyChanged(id, scope, 0);
      return result;
    }
    case kKeloAudioUnitProperty_ParameterListener:
      return SetParameterListener(inData, inDataSize, scope);
    case kAudioUnitProperty_AUHostIdentifier:
      if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
      return SetHostIdentifier(inData, inDataSize);
    case kAudioUnitProperty_StreamFormat:
    case kAudioUnitProperty_SampleRate: {
      AUElement* found = GetElement(scope, element);
      if (found == nullptr || !isBusScope(scope)) return kAudioUnitErr_InvalidElement;
      if (!StreamFormatWritable(scope, element)) return kAudioUnitErr_PropertyNotWritable;
      const CAStreamBasicDescription previous = found->GetStreamFormat();
      CAStreamBasicDescription next = previous;
      if (id == kAudioUnitProperty_SampleRate) {
        if (inDataSize != sizeof(Float64)) return kAudio_ParamError;
        std::memcpy(&next.mSampleRate, inData, sizeof(Float64));
      } else {
        if (inDataSize != sizeof(AudioStreamBasicDescription)) return kAudio_ParamError;
        std::memcpy(static_cast<AudioStreamBasicDescription*>(&next), inData, sizeof(AudioStreamBasicDescription));
      }
      if (!next.IsCanonical()) return kAudioUnitErr_FormatNotSupported;
      if (next == previous) return noErr;
      // The buffers were sized at initialisation: the channel count is fixed until Cleanup.
      if (m_initialized && next.NumberChannels() != previous.NumberChannels()) return kAudioUnitErr_Initialized;
      return ChangeStreamFormat(scope, element, previous, next);
    }
    case kAudioUnitProperty_ElementCount: {
      if (!isBusScope(scope)) return kAudioUnitErr_InvalidScope;
      if (!BusCountWritable(scope)) return kAudioUnitErr_PropertyNotWritable;
      UInt32 count = 0;
      if (inDataSize != sizeof count) return kAudio_ParamError;
      if (m_initialized) return kAudioUnitErr_Initialized;
      std::memcpy(&count, inData, sizeof count);
      if (scope == kAudioUnitScope_Output && count == 0) return kAudioUnitErr_InvalidPropertyValue;
      GetScope(scope)->SetNumberOfElements(count);
      PropertyChanged(id, scope, 0);
      return noErr;
    }
    case kAudioUnitProperty_MaximumFramesPerSlice: {
      if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
      UInt32 frames = 0;
      if (inDataSize != sizeof frames) return kAudio_ParamError;
      if (m_initialized) return kAudioUnitErr_Initialized;
      std::memcpy(&frames, inData, sizeof frames);
      if (frames == 0) return kAudioUnitErr_InvalidPropertyValue;
      m_maxFramesPerSlice = frames;
      PropertyChanged(id, scope, 0);
      return noErr;
    }
    case kAudioUnitProperty_HostCallbacks:
      if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
      // Older hosts give a shorter record: the callbacks it does not hold stay null. A size
      // that ends inside a field would leave a pointer cut short.
      if (inDataSize == 0 || inDataSize > sizeof m_hostCallbacks || inDataSize % sizeof(void*) != 0)
        return kAudio_ParamError;
      m_hostCallbacks = HostCallbackInfo{};
      std::memcpy(&m_hostCallbacks, inData, std::min<UInt32>(inDataSize, sizeof m_hostCallbacks));
      PropertyChanged(id, scope, 0);
      return noErr;
    case kAudioUnitProperty_Latency:
    case kAudioUnitProperty_SupportedNumChannels:
    case kAudioUnitProperty_SupportedChannelLayoutTags:
    case kAudioUnitProperty_ParameterList:
    case kAudioUnitProperty_ParameterInfo:
    case kAudioUnitProperty_ParameterValueStrings:
    case kAudioUnitProperty_CocoaUI:
    case kAudioUnitProperty_MIDIOutputCallbackInfo:
      return kAudioUnitErr_PropertyNotWritable;
    default:
      return SetProperty(id, scope, element, inData, inDataSize);
  }
}

OSStatus AUBase::AddPropertyListener(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc, void* userData) {
  if (proc == nullptr) return kAudio_ParamError;
  const std::lock_guard<std::mutex> lock(m_listenersLock);
  m_listeners.push_back({id, proc, userData});
  return noErr;
}

OSStatus AUBase::RemovePropertyListenerWithUserData(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc,
                                                    void* userData) {
  const std::lock_guard<std::mutex> lock(m_listenersLock);
  std::erase_if(m_listeners, [&](const Listener& listener) {
    return listener.id == id && listener.proc == proc && listener.userData == userData;
  });
  return noErr;
}

void AUBase::PropertyChanged(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element) {
  // Listeners run outside the lock, on a copy: one may remove itself.
  std::vector<Listener> listeners;
  {
    const std::lock_guard<std::mutex> lock(m_listenersLock);
    listeners = m_listeners;
  }
  for (const Listener& listener : listeners)
    if (listener.id == id) listener.proc(listener.userData, m_instance, id, scope, element);
}

OSStatus AUBase::CallHostBeatAndTempo(Float64* currentBeat, Float64* currentTempo) {
  if (m_hostCallbacks.beatAndTempoProc == nullptr) return kAudio_UnimplementedError;
  return m_hostCallbacks.beatAndTempoProc(m_hostCallbacks.hostUserData, currentBeat, currentTempo);
}

OSStatus AUBase::CallHostMusicalTimeLocation(UInt32* deltaSampleOffsetToNextBeat, Float32* numerator,
                                             UInt32* denominator, Float64* currentMeasureDownBeat) {
  if (m_hostCallbacks.musicalTimeLocationProc == nullptr) return kAudio_UnimplementedError;
  return m_hostCallbacks.musicalTimeLocationProc(m_hostCallbacks.hostUserData, deltaSampleOffsetToNextBeat,
                                                 numerator, denominator, currentMeasureDownBeat);
}

OSStatus AUBase::CallHostTransportState(Boolean* isPlaying, Boolean* transportStateChanged,
                                        Float64* currentSampleInTimeLine, Boolean* isCycling,
                                        Float64* cycleStartBeat, Float64* cycleEndBeat) {
  if (m_hostCallbacks.transportStateProc == nullptr) return kAudio_UnimplementedError;
  return m_hostCallbacks.transportStateProc(m_hostCallbacks.hostUserData, isPlaying, transportStateChanged,
                                            currentSampleInTimeLine, isCycling, cycleStartBeat, cycleEndBeat);
}
