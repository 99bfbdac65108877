#include "tests/support/audiounit/AUTestHost.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/audiounit/AUBase.h"
#include "platform/cf/CFDictionary.h"
#include "platform/cf/CFNumber.h"
#include "platform/cf/CFPropertyList.h"
#include "platform/cf/CFString.h"
#include "platform/cf/CFURL.h"

namespace kelo::test {

void* bundleFunction(const std::string& path, const char* name) {
  CFURLRef url = CFURLCreateFromFileSystemRepresentation(
      nullptr, reinterpret_cast<const UInt8*>(path.data()), static_cast<CFIndex>(path.size()), true);
  if (url == nullptr) return nullptr;
  CFBundleRef bundle = CFBundleCreate(nullptr, url);
  CFRelease(url);
  if (bundle == nullptr) return nullptr;
  CFStringRef text = CFStringCreateWithCString(nullptr, name, kCFStringEncodingUTF8);
  void* function = CFBundleGetFunctionPointerForName(bundle, text);
  CFRelease(text);
  if (function == nullptr) {
    CFRelease(bundle);
    return nullptr;
  }
  // The code stays loaded for the process; never destroyed, so the references stay reachable.
  static auto* const loaded = new std::vector<CFBundleRef>;
  loaded->push_back(bundle);
  return function;
}

AUTestHost::AUTestHost(AudioComponentFactoryFunction factory) {
  if (factory == nullptr) return;
  const AudioComponentDescription description{0x61756d75 /* 'aumu' */, 0, 0, 0, 0};
  m_table = factory(&description);
  if (m_table != nullptr) m_openResult = m_table->Open(m_table, this);
}

AUTestHost::~AUTestHost() {
  if (m_table != nullptr) m_table->Close(m_table);
}

OSStatus AUTestHost::setOutputFormat(AudioUnitElement bus, UInt32 channels, Float64 sampleRate) {
  const AudioStreamBasicDescription format = CAStreamBasicDescription::canonical(sampleRate, channels);
  return setProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, bus, &format, sizeof format);
}

OSStatus AUTestHost::setBusCount(UInt32 buses) {
  return setProperty(kAudioUnitProperty_ElementCount, kAudioUnitScope_Output, 0, &buses, sizeof buses);
}

OSStatus AUTestHost::setMaxFrames(UInt32 frames) {
  return setProperty(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, &frames, sizeof frames);
}

OSStatus AUTestHost::setHostCallbacks(const HostCallbackInfo& callbacks) {
  return setProperty(kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0, &callbacks, sizeof callbacks);
}

OSStatus AUTestHost::setMIDIOutput(AUMIDIOutputCallback callback, void* userData) {
  const AUMIDIOutputCallbackStruct record{callback, userData};
  return setProperty(kAudioUnitProperty_MIDIOutputCallback, kAudioUnitScope_Global, 0, &record, sizeof record);
}

OSStatus AUTestHost::initialize() {
  return method<AudioUnitInitializeProc>(kAudioUnitInitializeSelect)(m_table);
}

OSStatus AUTestHost::uninitialize() {
  return method<AudioUnitUninitializeProc>(kAudioUnitUninitializeSelect)(m_table);
}

OSStatus AUTestHost::reset() {
  return method<AudioUnitResetProc>(kAudioUnitResetSelect)(m_table, kAudioUnitScope_Global, 0);
}

OSStatus AUTestHost::midi(UInt32 status, UInt32 data1, UInt32 data2, UInt32 offset) {
  return method<MusicDeviceMIDIEventProc>(kMusicDeviceMIDIEventSelect)(m_table, status, data1, data2, offset);
}

void AUTestHost::prepareBuffers(UInt32 frames) {
  UInt32 buses = 0;
  UInt32 size = sizeof buses;
  if (getProperty(kAudioUnitProperty_ElementCount, kAudioUnitScope_Output, 0, &buses, size) != noErr) buses = 0;
  m_outputs.assign(buses, {});
  UInt32 most = 1;
  for (UInt32 bus = 0; bus < buses; ++bus) {
    AudioStreamBasicDescription format{};
    size = sizeof format;
    getProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, bus, &format, size);
    m_outputs[bus].assign(format.mChannelsPerFrame, std::vector<float>(frames));
    most = std::max(most, format.mChannelsPerFrame);
  }
  m_listBytes.assign(offsetof(AudioBufferList, mBuffers) + most * sizeof(AudioBuffer), 0);
}

OSStatus AUTestHost::render(UInt32 frames) {
  if (m_outputs.empty() || m_outputs[0].empty() || m_outputs[0][0].size() < frames) prepareBuffers(frames);
  auto render = method<AudioUnitRenderProc>(kAudioUnitRenderSelect);
  AudioTimeStamp stamp{};
  stamp.mSampleTime = m_sampleTime;
  stamp.mFlags = kAudioTimeStampSampleTimeValid;
  OSStatus result = noErr;
  for (UInt32 bus = 0; bus < m_outputs.size() && result == noErr; ++bus) {
    auto* list = reinterpret_cast<AudioBufferList*>(m_listBytes.data());
    list->mNumberBuffers = static_cast<UInt32>(m_outputs[bus].size());
    for (UInt32 channel = 0; channel < list->mNumberBuffers; ++channel) {
      std::vector<float>& buffer = m_outputs[bus][channel];
      std::fill(buffer.begin(), buffer.end(), std::numeric_limits<float>::quiet_NaN());
      AudioBufferListAt(*list, channel) = {1, static_cast<UInt32>(frames * sizeof(float)),
                                           buffer.data()};
    }
    AudioUnitRenderActionFlags flags = 0;
    result = render(m_table, &flags, &stamp, bus, frames, list);
  }
  if (result == noErr) m_sampleTime += frames;
  return result;
}

OSStatus AUTestHost::getPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                     UInt32& size, bool& writable) {
  Boolean canWrite = 0;
  const OSStatus result =
      method<AudioUnitGetPropertyInfoProc>(kAudioUnitGetPropertyInfoSelect)(m_table, id, scope, element, &size, &canWrite);
  writable = canWrite != 0;
  return result;
}

OSStatus AUTestHost::getProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                 void* data, UInt32& size) {
  return method<AudioUnitGetPropertyProc>(kAudioUnitGetPropertySelect)(m_table, id, scope, element, data, &size);
}

OSStatus AUTestHost::setProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                 const void* data, UInt32 size) {
  return method<AudioUnitSetPropertyProc>(kAudioUnitSetPropertySelect)(m_table, id, scope, element, data, size);
}

OSStatus AUTestHost::getParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                  Float32& value) {
  return method<AudioUnitGetParameterProc>(kAudioUnitGetParameterSelect)(m_table, id, scope, element, &value);
}

OSStatus AUTestHost::setParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                  Float32 value) {
  return method<AudioUnitSetParameterProc>(kAudioUnitSetParameterSelect)(m_table, id, scope, element, value, 0);
}

OSStatus AUTestHost::getBytes(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                              std::string& bytes) {
  UInt32 size = 0;
  bool writable = false;
  OSStatus result = getPropertyInfo(id, scope, element, size, writable);
  if (result != noErr) return result;
  bytes.assign(size, '\0');
  result = getProperty(id, scope, element, bytes.data(), size);
  bytes.resize(result == noErr ? size : 0);
  return result;
}

namespace {

std::string textOf(CFTypeRef value) {
  return value != nullptr && CFGetTypeID(value) == CFStringGetTypeID()
             ? std::string(kelo::cf::utf8(static_cast<CFStringRef>(value)))
             : std::string();
}

}  // namespace

OSStatus AUTestHost::parameterInfo(AudioUnitParameterID id, AudioUnitParameterInfo& info, std::string& name) {
  std::string bytes;
  const OSStatus result = getBytes(kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, id, bytes);
  if (result != noErr) return result;
  if (bytes.size() < sizeof info) return kAudio_ParamError;
  std::memcpy(&info, bytes.data(), sizeof info);
  name.clear();
  if (bytes.size() > sizeof info) {
    CFPropertyListRef value = kelo::cf::propertyListFromXML(bytes.data() + sizeof info, bytes.size() - sizeof info);
    if (value == nullptr) return kAudio_ParamError;
    name = textOf(value);
    CFRelease(value);
  }
  return noErr;
}

OSStatus AUTestHost::stringList(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                std::vector<std::string>& strings) {
  strings.clear();
  std::string bytes;
  const OSStatus result = getBytes(id, scope, element, bytes);
  if (result != noErr) return result;
  CFPropertyListRef value = kelo::cf::propertyListFromXML(bytes.data(), bytes.size());
  if (value == nullptr || CFGetTypeID(value) != CFArrayGetTypeID()) {
    if (value != nullptr) CFRelease(value);
    return kAudio_ParamError;
  }
  const auto array = static_cast<CFArrayRef>(value);
  for (CFIndex i = 0; i < CFArrayGetCount(array); ++i) strings.push_back(textOf(CFArrayGetValueAtIndex(array, i)));
  CFRelease(value);
  return noErr;
}

OSStatus AUTestHost::setHostIdentifier(const std::string& name, UInt32 version) {
  CFMutableDictionaryRef identifier =
      CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  CFStringRef text = kelo::cf::makeString(name);
  const SInt32 number = static_cast<SInt32>(version);
  CFNumberRef versionNumber = CFNumberCreate(nullptr, kCFNumberSInt32Type, &number);
  CFDictionarySetValue(identifier, CFSTR("name"), text);
  CFDictionarySetValue(identifier, CFSTR("version"), versionNumber);
  std::string xml;
  kelo::cf::propertyListToXML(identifier, xml);
  CFRelease(versionNumber);
  CFRelease(text);
  CFRelease(identifier);
  return setProperty(kAudioUnitProperty_AUHostIdentifier, kAudioUnitScope_Global, 0, xml.data(),
                     static_cast<UInt32>(xml.size()));
}

OSStatus AUTestHost::setState(const std::string& xml) {
  return setProperty(kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, xml.data(), static_cast<UInt32>(xml.size()));
}

const AUCocoaViewFactory* AUTestHost::viewFactory() {
  std::vector<std::string> view;
  if (stringList(kAudioUnitProperty_CocoaUI, kAudioUnitScope_Global, 0, view) != noErr || view.size() < 2) return nullptr;
  const auto factory = reinterpret_cast<AUCocoaViewFactoryFunction>(bundleFunction(view[0], view[1].c_str()));
  return factory != nullptr ? factory() : nullptr;
}

OSStatus AUTestHost::listenToParameters() {
  const AUParameterListenerRecord record{&onParameterChanged, this};
  return setProperty(kKeloAudioUnitProperty_ParameterListener, kAudioUnitScope_Global, 0, &record, sizeof record);
}

void AUTestHost::onParameterChanged(void* user, const AudioUnitEvent* event, AudioUnitParameterValue value) {
  auto* host = static_cast<AUTestHost*>(user);
  const std::lock_guard<std::mutex> lock(host->m_lock);
  if (event->mEventType == kAudioUnitEvent_PropertyChange) {
    const AudioUnitProperty& property = event->mArgument.mProperty;
    host->m_parameterChanges.push_back(
        {event->mEventType, property.mPropertyID, property.mScope, property.mElement, value});
  } else {
    const AudioUnitParameter& parameter = event->mArgument.mParameter;
    host->m_parameterChanges.push_back(
        {event->mEventType, parameter.mParameterID, parameter.mScope, parameter.mElement, value});
  }
}

std::vector<AUTestHost::ParameterChange> AUTestHost::parameterChanges() const {
  const std::lock_guard<std::mutex> lock(m_lock);
  return m_parameterChanges;
}

void AUTestHost::clearParameterChanges() {
  const std::lock_guard<std::mutex> lock(m_lock);
  m_parameterChanges.clear();
}

std::vector<AUTestHost::Notification> AUTestHost::notifications() const {
  const std::lock_guard<std::mutex> lock(m_lock);
  return m_notifications;
}

OSStatus AUTestHost::listen(AudioUnitPropertyID id) { return addListener(id, &onPropertyChanged, this); }

OSStatus AUTestHost::addListener(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc, void* userData) {
  return method<AudioUnitAddPropertyListenerProc>(kAudioUnitAddPropertyListenerSelect)(m_table, id, proc, userData);
}

void AUTestHost::onPropertyChanged(void* user, AudioComponentInstance, AudioUnitPropertyID id,
                                   AudioUnitScope scope, AudioUnitElement element) {
  auto* host = static_cast<AUTestHost*>(user);
  const std::lock_guard<std::mutex> lock(host->m_lock);
  host->m_notifications.push_back({id, scope, element});
}

}  // namespace kelo::test
