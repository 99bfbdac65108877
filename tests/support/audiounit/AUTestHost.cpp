#include "tests/support/audiounit/AUTestHost.h"

#include <algorithm>
#include <limits>

#include "platform/audiounit/AUBase.h"
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

OSStatus AUTestHost::getState(std::string& xml) {
  UInt32 size = 0;
  bool writable = false;
  OSStatus result = getPropertyInfo(kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, size, writable);
  if (result != noErr) return result;
  xml.assign(size, '\0');
  result = getProperty(kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, xml.data(), size);
  xml.resize(result == noErr ? size : 0);
  return result;
}

OSStatus AUTestHost::setState(const std::string& xml) {
  return setProperty(kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, xml.data(), static_cast<UInt32>(xml.size()));
}

OSStatus AUTestHost::listenToParameters() {
  const AUParameterListenerRecord record{&onParameterChanged, this};
  return setProperty(kKeloAudioUnitProperty_ParameterListener, kAudioUnitScope_Global, 0, &record, sizeof record);
}

void AUTestHost::onParameterChanged(void* user, const AudioUnitParameter* parameter, AudioUnitParameterValue value) {
  static_cast<AUTestHost*>(user)->m_parameterChanges.push_back(
      {parameter->mParameterID, parameter->mScope, parameter->mElement, value});
}

OSStatus AUTestHost::listen(AudioUnitPropertyID id) { return addListener(id, &onPropertyChanged, this); }

OSStatus AUTestHost::addListener(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc, void* userData) {
  return method<AudioUnitAddPropertyListenerProc>(kAudioUnitAddPropertyListenerSelect)(m_table, id, proc, userData);
}

void AUTestHost::onPropertyChanged(void* user, AudioComponentInstance, AudioUnitPropertyID id,
                                   AudioUnitScope scope, AudioUnitElement element) {
  static_cast<AUTestHost*>(user)->m_notifications.push_back({id, scope, element});
}

}  // namespace kelo::test
