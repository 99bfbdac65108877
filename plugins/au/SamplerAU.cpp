#include "plugins/au/SamplerAU.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "VNL/source/ConsoleLogger.h"
#include "VNL/source/FileUtils.h"
#include "VNL/source/LogLine.h"
#include "VNL/source/PlatformWrappers.h"
#include "VNL/source/ParameterInfo.h"
#include "VNL/source/ProductConf.h"
#include "VNL/source/StringUtils.h"
#include "VNL/source/System.h"
#include "plugins/au/KeloUnitProperties.h"
#include "standalone/engine_interface/BarStart.h"
#include "standalone/engine_interface/EngineEvents.h"
#include "standalone/engine_interface/EngineListener.h"
#include "standalone/engine_interface/EngineSampleRate.h"
#include "standalone/engine_interface/EngineVersion.h"

namespace {

using kelo::au::kEntryPointProperty;
using kelo::au::kHostNameProperty;
using kelo::au::kInstanceGoingProperty;
using kelo::au::kInstanceProperty;
using kelo::au::kSetupPathProperty;
constexpr UInt32 kSetupPathSize = 1024;

// Identifiers above 0xFFFF are the engine's, and so are ours below it (64000 to 64004) when
// set; 64003 is the engine's when read as well.
bool forwardedToEngine(AudioUnitPropertyID id) {
  return (id >= kEntryPointProperty && id <= kHostNameProperty) || id > 0xFFFF;
}
constexpr std::size_t kMaxHostNameBytes = 254;
// The engine's vendor properties carry 8 bytes.
constexpr UInt32 kVendorPropertySize = 8;

bool unitParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element) {
  return scope == kAudioUnitScope_Global && element == 0 && id < conf.numParams;
}
constexpr const char* kViewFactoryName = "SorvelinKeloDeckKELOCocoaViewFactory";

// The host's unit by the engine's value type 0 to 3; other types set none.
constexpr AudioUnitParameterUnit kParameterUnits[] = {kAudioUnitParameterUnit_Generic, kAudioUnitParameterUnit_Indexed,
                                                      kAudioUnitParameterUnit_Boolean, kAudioUnitParameterUnit_Indexed};

// Touched only by construction and destruction, on the host's main thread.
int g_instanceCount = 0;
ConsoleLogger* g_logger = nullptr;
// One reference for the process, so the engine's code stays loaded after every instance went.
CFBundleRef g_engineBundle = nullptr;

std::string vendorName() { return conf.vendorName; }
std::string productName() { return conf.productName; }

// The host's name for the log: after the last "/", cut at the last ".".
std::string shortHostName(const std::string& host) {
  std::string name = host.substr(host.rfind('/') + 1);
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

// Bytes of one engine output event by its status byte.
UInt16 eventLength(std::uint8_t status) {
  if (status < 0x80) return 3;
  if (status < 0xC0) return 3;
  if (status < 0xE0) return 2;
  if (status < 0xF0) return 3;
  return 1;
}

}  // namespace

SamplerAU::SamplerAU(AudioComponentInstance instance) : MusicDeviceBase(instance, 0, 1, 0) {
  m_channels[0] = {static_cast<SInt16>(conf.numInputs), static_cast<SInt16>(conf.numOutputs)};
  m_channelCount = 1;
  if (conf.multiCapable == 1) {
    m_channels[1] = {static_cast<SInt16>(conf.multiNumInputs), static_cast<SInt16>(conf.multiNumOutputs)};
    m_channels[2] = {static_cast<SInt16>(conf.multiNumInputs), static_cast<SInt16>(-static_cast<int>(conf.multiNumOutputs))};
    m_channelCount = 3;
  }
  m_sync.prepare(256, 44100.0, nullptr, nullptr, true);
  m_createInfo.hostConstant = kKeloHostConstantAudioUnit;
}

void SamplerAU::PostConstructor() {
  MusicDeviceBase::PostConstructor();
  m_productFolder = setUserPathVendorProduct(vendorName(), productName());
  m_hostName = PGetCurrentApplicationPath(nullptr);
  copyUTF8Bounded(m_hostApplication, kMaxHostNameBytes + 1, m_hostName.c_str());

  if (g_instanceCount++ == 0 && !m_hostName.empty()) {
    g_logger = new ConsoleLogger();
    g_logger->init(m_productFolder + "/" + productName() + "AU" + "_" + shortHostName(m_hostName) + ".log");
  }
  vantor::registerKeloPlugin(vendorName(), productName(), "AU");

  // A data folder that does not fit its field counts as a missing one.
  if (!vantor::readEngineDataFolder(vendorName(), productName(), m_binding.dataFolder, kDataFolderSize)) return;
  if (vantor::loadEngine(vendorName(), productName(), vantor::CONFIG_LEVEL_USER, m_binding) !=
      vantor::EngineBindingFailure::None)
    return;
  if (g_engineBundle == nullptr) g_engineBundle = static_cast<CFBundleRef>(const_cast<void*>(CFRetain(m_binding.bundle)));
  std::memcpy(m_dataFolder, m_binding.dataFolder.c_str(), m_binding.dataFolder.size() + 1);

  const vantor::EngineVersion version = vantor::fetchEngineVersion(m_binding.entry);
  m_engine.bind(m_binding.entry, version.number);
  vantor::logLine(vantor::LogLevel::Info, this, "fetched KeloVersion:%s", version.text);
  m_compatibility1025 = version.compatibility1025;
  if (m_compatibility1025) vantor::logLine(vantor::LogLevel::Info, this, "Turned on Kelo 1.025 compatibility slots");

  // Every parameter at 0.0; the store keeps this size, so setting never allocates.
  Globals().GetElement(0)->UseIndexedParameters(conf.numParams);
}

SamplerAU::~SamplerAU() {
  // The editor view lets go of the instance when it hears of this, so the instance still lives.
  PropertyChanged(kInstanceGoingProperty, kAudioUnitScope_Global, 0);
  if (hasInstance()) {
    m_engine.clearHostCallback(&vantor::engineHostCallback, listener());
    m_engine.destroy();
  }
  m_engine.bind(nullptr, kKeloDefaultEngineVersion);
  vantor::defaultFree(m_scratch);
  if (--g_instanceCount == 0) {
    delete g_logger;
    g_logger = nullptr;
  }
  vantor::releaseEngineBinding(m_binding);
}

void SamplerAU::remakeScratch() {
  vantor::defaultFree(m_scratch);
  m_scratch = static_cast<float*>(vantor::defaultAlloc(std::size_t{m_maxFrames} * sizeof(float)));
}

OSStatus SamplerAU::Initialize() {
  vantor::System::setMaxFileHandles();
  const UInt32 buses = Outputs().GetNumberOfElements();
  vantor::logLine(vantor::LogLevel::Info, this, "Initialize - numBuses : %u", buses);
  std::int32_t outputs = 0;
  for (UInt32 bus = 0; bus < buses; ++bus) outputs += static_cast<std::int32_t>(Output(bus)->GetStreamFormat().NumberChannels());
  vantor::logLine(vantor::LogLevel::Info, this, "Initialize - numOutputs : %d", outputs);

  bool accepted = false;
  for (UInt32 entry = 0; entry < m_channelCount; ++entry)
    accepted = accepted || (m_channels[entry].inChannels == 0 && m_channels[entry].outChannels == outputs);
  if (!accepted && conf.multiCapable == 1)
    accepted = outputs <= std::abs(static_cast<int>(m_channels[m_channelCount - 1].outChannels));
  if (!accepted) return kAudioUnitErr_FormatNotSupported;

  m_outputCount = outputs;
  m_sampleRate = Output(0)->GetStreamFormat().mSampleRate;
  m_maxFrames = GetMaxFramesPerSlice();
  remakeScratch();

  m_sync = vantor::SyncInfo{};
  m_sync.tempo = 120.0;
  m_sync.timeSigNumerator = 4;
  m_sync.timeSigDenominator = 4;
  m_sync.sampleRate = std::round(m_sampleRate);

  m_extraBuffer = outputs % 2 == 1;
  const auto rate = static_cast<std::int32_t>(m_sampleRate);
  const auto maxFrames = static_cast<std::int32_t>(m_maxFrames);
  if (hasInstance()) {
    if (m_extraBuffer) vantor::logLine(vantor::LogLevel::Info, this, "using extra buffer a");
    m_engine.setFormat(rate, maxFrames);
  } else if (m_engine.hasEngine()) {
    m_createInfo.numInputs = 0;
    m_createInfo.numOutputs = outputs + (m_extraBuffer ? 1 : 0);
    if (m_extraBuffer) vantor::logLine(vantor::LogLevel::Info, this, "using extra buffer");
    m_createInfo.dataPath = m_dataFolder;
    m_createInfo.hostConstant = kKeloHostConstantAudioUnit;
    m_engine.create(m_createInfo);
    if (m_engine.instance() != nullptr) {
      m_engineOutputs = static_cast<std::int32_t>(m_createInfo.numOutputs);
      m_engine.setFormat(rate, maxFrames);
    }
  }
  if (hasInstance()) {
    m_engine.setHostCallback(&vantor::engineHostCallback, listener(), kKeloHostCapabilitiesAudioUnit);
    m_engine.start(m_offline.load());
  }
  m_ring.discardAll();
  if (hasInstance()) {
    for (UInt32 index = 0; index < conf.numParams; ++index) {
      const AudioUnitParameterValue value = Globals().GetElement(0)->GetParameter(index);
      if (!(value == 0.0f)) m_engine.setParameter(static_cast<std::int32_t>(index), value);
    }
  }
  m_renderedSinceInitialize.store(false);
  return noErr;
}

void SamplerAU::Cleanup() {
  vantor::defaultFree(m_scratch);
  m_scratch = nullptr;
  if (IsInitialized() && hasInstance()) m_engine.stop();
}

OSStatus SamplerAU::Reset(AudioUnitScope, AudioUnitElement) {
  m_renderedSinceInitialize.store(false);
  m_ring.discardAll();
  if (hasInstance()) {
    m_engine.stop();
    m_engine.start(m_offline.load());
  }
  for (UInt8 channel = 0; channel < 16; ++channel)
    for (UInt8 controller = 64; controller <= 67; ++controller) HandleMidiEvent(0xB0, channel, controller, 0, 0);
  return noErr;
}

OSStatus SamplerAU::ChangeStreamFormat(AudioUnitScope scope, AudioUnitElement element,
                                       const CAStreamBasicDescription& previous, const CAStreamBasicDescription& next) {
  // Refused before the base keeps it: the unit goes on at its old rate.
  if (!vantor::engineTakesSampleRate(next.mSampleRate)) return kAudioUnitErr_FormatNotSupported;
  const OSStatus result = MusicDeviceBase::ChangeStreamFormat(scope, element, previous, next);
  if (previous.mSampleRate == next.mSampleRate || next.mSampleRate == m_sampleRate) return result;
  PropertyChanged(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, element);
  m_sampleRate = Output(0)->GetStreamFormat().mSampleRate;
  m_maxFrames = GetMaxFramesPerSlice();
  remakeScratch();
  if (hasInstance()) {
    m_engine.stop();
    m_engine.setFormat(static_cast<std::int32_t>(m_sampleRate), static_cast<std::int32_t>(m_maxFrames));
    m_engine.start(m_offline.load());
  }
  return result;
}

OSStatus SamplerAU::HandleMidiEvent(UInt8 status, UInt8 channel, UInt8 data1, UInt8 data2, UInt32 startFrame) {
  vantor::MIDIEvent event{};
  event.bytes[0] = m_compatibility1025 ? status : static_cast<std::uint8_t>(status | channel);
  event.bytes[1] = data1;
  event.bytes[2] = data2;
  // Held in range here so that a huge offset stays late; the render bounds it to its slice.
  event.frameOffset = static_cast<std::int32_t>(std::min<UInt32>(startFrame, INT32_MAX));
  event.detune = 0.0f;
  if (!m_ring.push(event)) vantor::logLine(vantor::LogLevel::Error, this, "MIDI QUEUE ERROR");
  return noErr;
}

void SamplerAU::readTransport() {
  Float64 beat = 0.0;
  Float64 tempo = 120.0;
  if (CallHostBeatAndTempo(&beat, &tempo) == noErr) {
    m_sync.ppqPosition = beat;
    m_sync.tempo = tempo;
  }
  const double ppq = m_sync.ppqPosition;
  UInt32 toNextBeat = 0;
  Float32 numerator = 4.0f;
  UInt32 denominator = 4;
  Float64 downbeat = 0.0;
  const bool musicalTime = CallHostMusicalTimeLocation(&toNextBeat, &numerator, &denominator, &downbeat) == noErr;
  if (musicalTime) {
    // A signature with a zero part would give no bar length: the previous one stays.
    const long rounded = std::lround(numerator);
    if (rounded > 0 && denominator > 0 && denominator <= 0x7FFFFFFF && rounded <= 0x7FFFFFFF) {
      m_sync.timeSigNumerator = static_cast<std::int32_t>(rounded);
      m_sync.timeSigDenominator = static_cast<std::int32_t>(denominator);
    }
  }
  const vantor::BarStart bar = vantor::barStartAt(ppq, musicalTime ? &downbeat : nullptr, m_sync.timeSigNumerator,
                                                  m_sync.timeSigDenominator);
  m_sync.barStartPosition = bar.position;
  if (musicalTime && !bar.hostHolds && !m_barStartWarningLogged) {
    m_barStartWarningLogged = true;
    vantor::logLine(vantor::LogLevel::Error, this, "%s",
                    ppq < 0.0 ? "negative barStartPos is set but is NOT RIGHT! Compensating, but NO time signatures "
                                "changes can occur"
                              : "barStartPos is set but is NOT RIGHT! Compensating, but NO time signatures changes "
                                "can occur");
    vantor::logLine(vantor::LogLevel::Error, this, "in more details, sync.ppqPos:%f and sync.barStartPos:%f", ppq,
                    downbeat);
  }
  Boolean playing = 1, changed = 0, cycling = 0;
  Float64 samplePosition = 0.0, cycleStart = 0.0, cycleEnd = 0.0;
  if (CallHostTransportState(&playing, &changed, &samplePosition, &cycling, &cycleStart, &cycleEnd) == noErr) {
    m_sync.samplePosition = samplePosition;
    m_sync.playing = playing != 0;
    m_sync.looping = cycling != 0;
    m_sync.transportChanged = changed != 0;
    m_sync.loopStartPosition = cycleStart;
    m_sync.loopEndPosition = cycleEnd;
  }
}

OSStatus SamplerAU::Render(AudioUnitRenderActionFlags&, const AudioTimeStamp& timeStamp, UInt32 frames) {
  m_renderedSinceInitialize.store(true);
  const bool engineRenders = hasInstance();
  // Channels beyond what the engine was created with are the host's, zeroed; pointers the
  // engine has beyond the host's channels write into the scratch buffer.
  const std::size_t engineChannels = engineRenders ? static_cast<std::size_t>(m_engineOutputs) : 0;
  std::size_t channel = 0;
  for (UInt32 bus = 0; bus < Outputs().GetNumberOfElements(); ++bus) {
    AudioBufferList& list = bus == 0 ? Output(0)->GetBufferList() : Output(bus)->PrepareBuffer(frames);
    for (UInt32 buffer = 0; buffer < list.mNumberBuffers; ++buffer, ++channel) {
      AudioBuffer& data = AudioBufferListAt(list, buffer);
      if (channel < engineChannels) {
        m_outputs[channel] = static_cast<float*>(data.mData);
      } else {
        std::memset(data.mData, 0, engineRenders ? frames * sizeof(float) : data.mDataByteSize);
      }
    }
  }
  for (; channel < engineChannels; ++channel) m_outputs[channel] = m_scratch;

  readTransport();
  m_sync.prepare(static_cast<std::int16_t>(std::min<UInt32>(frames, 32767)), m_sampleRate, nullptr, nullptr, true);

  // What the ring held when asked: events arriving meanwhile wait for the next slice, so a
  // slice never takes more than the ring holds.
  std::size_t count = 0;
  for (const std::size_t held = m_ring.size(); count < held && m_ring.pop(m_staging[count]);) ++count;
  vantor::fillMIDIEventBlock(m_midiIn, m_staging.data(), count, m_sortScratch.data(), m_sortScratch.size(),
                             static_cast<std::int32_t>(std::min<UInt32>(frames, INT32_MAX)));
  if (!engineRenders) return noErr;

  m_engine.process(m_midiIn, &m_midiOut, nullptr, m_outputs.data(), &m_sync, static_cast<std::int32_t>(frames));
  if (m_engine.processesEx()) sendMIDIOutput(timeStamp);
  return noErr;
}

void SamplerAU::sendMIDIOutput(const AudioTimeStamp& timeStamp) {
  const std::size_t count = std::min<std::uint64_t>(m_midiOut.numEvents, kMIDIEventBlockCapacity);
  if (m_midiOutput.midiOutputCallback != nullptr) {
    auto* list = reinterpret_cast<MIDIPacketList*>(m_packetList);
    for (std::size_t i = 0; i < count; ++i) {
      const vantor::MIDIEvent& event = m_midiOut.events[i];
      MIDIPacketListAdd(list, sizeof m_packetList, MIDIPacketListInit(list),
                        static_cast<MIDITimeStamp>(event.frameOffset), eventLength(event.bytes[0]), event.bytes);
      m_midiOutput.midiOutputCallback(m_midiOutput.userData, &timeStamp, 0, list);
    }
  }
  m_midiOut.numEvents = 0;
}

bool SamplerAU::BusCountWritable(AudioUnitScope) { return conf.multiCapable == 1; }

UInt32 SamplerAU::SupportedNumChannels(const AUChannelInfo** outInfo) {
  if (outInfo != nullptr) *outInfo = m_channels;
  return m_channelCount;
}

UInt32 SamplerAU::GetChannelLayoutTags(AudioUnitScope scope, AudioUnitElement, AudioChannelLayoutTag* outTags) {
  if (scope != kAudioUnitScope_Output || conf.multiCapable != 1) return 0;
  if (outTags != nullptr) {
    outTags[0] = kAudioChannelLayoutTag_Stereo;
    outTags[1] = kAudioChannelLayoutTag_Mono;
    outTags[2] = kAudioChannelLayoutTag_DiscreteInOrder | conf.multiNumOutputs;
  }
  return 3;
}

UInt32 SamplerAU::GetAudioChannelLayout(AudioUnitScope scope, AudioUnitElement element, AudioChannelLayout* outLayout,
                                        bool& outWritable) {
  outWritable = false;
  AUElement* found = GetElement(scope, element);
  if (scope != kAudioUnitScope_Output || conf.multiCapable != 1 || found == nullptr) return 0;
  const UInt32 channels = found->GetStreamFormat().NumberChannels();
  const UInt32 size = kAudioChannelLayoutHeaderSize + channels * sizeof(AudioChannelDescription);
  if (outLayout != nullptr) {
    std::memset(outLayout, 0, size);
    if (channels == 2) {
      outLayout->mChannelLayoutTag = kAudioChannelLayoutTag_Stereo;
    } else if (channels == 1) {
      outLayout->mChannelLayoutTag = kAudioChannelLayoutTag_Mono;
    } else {
      outLayout->mChannelLayoutTag = kAudioChannelLayoutTag_UseChannelDescriptions;
      outLayout->mNumberChannelDescriptions = channels;
      for (UInt32 channel = 0; channel < channels; ++channel)
        AudioChannelLayoutAt(*outLayout, channel).mChannelLabel = kAudioChannelLabel_Mono;
    }
  }
  return size;
}

OSStatus SamplerAU::GetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                    UInt32& outDataSize, bool& outWritable) {
  if (scope != kAudioUnitScope_Global) return MusicDeviceBase::GetPropertyInfo(id, scope, element, outDataSize, outWritable);
  outWritable = false;
  switch (id) {
    case kAudioUnitProperty_CocoaUI:
      outDataSize = sizeof(AudioUnitCocoaViewInfo);
      return noErr;
    case kAudioUnitProperty_MIDIOutputCallbackInfo:
      if (conf.sendsMIDI == 0) return kAudioUnitErr_InvalidProperty;
      outDataSize = sizeof(CFArrayRef);
      return noErr;
    case kAudioUnitProperty_MIDIOutputCallback:
      outDataSize = sizeof(AUMIDIOutputCallbackStruct);
      outWritable = true;
      return noErr;
    case kEntryPointProperty:
    case kInstanceProperty:
      outDataSize = sizeof(void*);
      return noErr;
    case kSetupPathProperty:
      outDataSize = kSetupPathSize;
      return noErr;
    case kHostNameProperty:
      outDataSize = sizeof m_hostApplication;
      return noErr;
    default:
      if (forwardedToEngine(id)) {
        outDataSize = kVendorPropertySize;
        outWritable = true;
        return noErr;
      }
      return MusicDeviceBase::GetPropertyInfo(id, scope, element, outDataSize, outWritable);
  }
}

OSStatus SamplerAU::GetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, void* outData) {
  if (scope != kAudioUnitScope_Global) return MusicDeviceBase::GetProperty(id, scope, element, outData);
  switch (id) {
    case kAudioUnitProperty_CocoaUI:
      return viewInfo(outData);
    case kAudioUnitProperty_MIDIOutputCallbackInfo: {
      if (conf.sendsMIDI == 0) return kAudioUnitErr_InvalidProperty;
      CFMutableArrayRef names = CFArrayCreateMutable(nullptr, 1, &kCFTypeArrayCallBacks);
      CFArrayAppendValue(names, CFSTR("MIDI Out"));
      *static_cast<CFArrayRef*>(outData) = names;
      return noErr;
    }
    case kAudioUnitProperty_MIDIOutputCallback:
      std::memcpy(outData, &m_midiOutput, sizeof m_midiOutput);
      return noErr;
    case kEntryPointProperty: {
      const KeloOpcodeFunction entry = m_engine.entry();
      std::memcpy(outData, &entry, sizeof entry);
      return noErr;
    }
    case kInstanceProperty: {
      void* const instance = m_engine.instance();
      std::memcpy(outData, &instance, sizeof instance);
      return noErr;
    }
    case kSetupPathProperty:
      // The data folder has under 512 bytes, so the setup path always fits.
      std::snprintf(static_cast<char*>(outData), kSetupPathSize, "%s/KeloSetup.xml", m_dataFolder);
      return noErr;
    case kHostNameProperty:
      std::memcpy(outData, m_hostApplication, sizeof m_hostApplication);
      return noErr;
    default:
      if (forwardedToEngine(id)) return vendorProperty(id, outData);
      return MusicDeviceBase::GetProperty(id, scope, element, outData);
  }
}

OSStatus SamplerAU::SetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                const void* inData, UInt32 inDataSize) {
  if (scope != kAudioUnitScope_Global) return MusicDeviceBase::SetProperty(id, scope, element, inData, inDataSize);
  switch (id) {
    case kAudioUnitProperty_MIDIOutputCallback:
      if (inDataSize != sizeof(AUMIDIOutputCallbackStruct)) return kAudio_ParamError;
      std::memcpy(&m_midiOutput, inData, sizeof m_midiOutput);
      return noErr;
    case kAudioUnitProperty_AUHostIdentifier: {
      if (inDataSize != sizeof(AUHostVersionIdentifier)) return kAudio_ParamError;
      AUHostVersionIdentifier identifier{};
      std::memcpy(&identifier, inData, sizeof identifier);
      if (identifier.hostName != nullptr) {
        const std::string_view name = kelo::cf::utf8(static_cast<CFStringRef>(identifier.hostName));
        const std::string text(name);
        copyUTF8Bounded(m_hostApplication, kMaxHostNameBytes + 1, text.c_str());
      }
      return MusicDeviceBase::SetProperty(id, scope, element, inData, inDataSize);
    }
    case kAudioUnitProperty_OfflineRender: {
      if (inDataSize != sizeof(UInt32)) return kAudio_ParamError;
      UInt32 offline = 0;
      std::memcpy(&offline, inData, sizeof offline);
      m_offline.store(offline != 0);
      if (hasInstance()) {
        m_engine.stop();
        m_engine.start(m_offline.load());
      }
      return noErr;
    }
    default:
      if (forwardedToEngine(id)) {
        if (inDataSize != kVendorPropertySize) return kAudio_ParamError;
        return vendorProperty(id, const_cast<void*>(inData));
      }
      return MusicDeviceBase::SetProperty(id, scope, element, inData, inDataSize);
  }
}

OSStatus SamplerAU::viewInfo(void* outData) {
  Dl_info image{};
  if (dladdr(reinterpret_cast<void*>(&forwardedToEngine), &image) == 0 || image.dli_fname == nullptr)
    return kAudioUnitErr_InvalidProperty;
  // The shared object, then the two folders holding it inside the bundle.
  CFURLRef url = CFURLCreateFromFileSystemRepresentation(
      nullptr, reinterpret_cast<const UInt8*>(image.dli_fname), static_cast<CFIndex>(std::strlen(image.dli_fname)), false);
  for (int level = 0; level < 3 && url != nullptr; ++level) {
    CFURLRef parent = CFURLCreateCopyDeletingLastPathComponent(nullptr, url);
    CFRelease(url);
    url = parent;
  }
  CFStringRef name = CFStringCreateWithCString(nullptr, kViewFactoryName, kCFStringEncodingUTF8);
  if (url == nullptr || name == nullptr) {
    if (url != nullptr) CFRelease(url);
    if (name != nullptr) CFRelease(name);
    return kAudioUnitErr_InvalidProperty;
  }
  AudioUnitCocoaViewInfo info{url, {name}};
  std::memcpy(outData, &info, sizeof info);
  return noErr;
}

OSStatus SamplerAU::vendorProperty(AudioUnitPropertyID id, void* data) {
  if (!hasInstance()) return kAudioUnitErr_Uninitialized;
  const std::int32_t result = m_engine.vendorSpecific(data, static_cast<std::int32_t>(id));
  if (result == 0) return noErr;
  vantor::logLine(vantor::LogLevel::Error, this, "set vendor specific engine error:%d", result);
  return kAudioUnitErr_InvalidPropertyValue;
}

void SamplerAU::logEngineError(std::int32_t result) {
  if (result != 0) vantor::logLine(vantor::LogLevel::Error, this, "engine error:%d", result);
}

OSStatus SamplerAU::GetParameterInfo(AudioUnitScope scope, AudioUnitParameterID id, AudioUnitParameterInfo& outInfo) {
  if (scope != kAudioUnitScope_Global || id >= conf.numParams) return kAudioUnitErr_InvalidParameter;
  outInfo.flags = 0;
  const ParameterInfo* description = nullptr;
  if (hasInstance()) {
    m_parameterDescribedWithoutInstance.store(false);
    logEngineError(m_engine.describe(static_cast<std::int32_t>(id), description));
  } else {
    m_parameterDescribedWithoutInstance.store(true);
  }
  char placeholder[16];
  const char* name = placeholder;
  if (description != nullptr) {
    name = description->label;
    if (description->valueType >= 0 && description->valueType < 4) outInfo.unit = kParameterUnits[description->valueType];
    outInfo.minValue = description->minValue;
    outInfo.maxValue = description->maxValue;
    outInfo.defaultValue = description->defaultValue;
    outInfo.flags = kAudioUnitParameterFlag_IsReadable | kAudioUnitParameterFlag_IsWritable |
                    kAudioUnitParameterFlag_IsHighResolution;
  } else {
    std::snprintf(placeholder, sizeof placeholder, "p%03u", static_cast<unsigned>(id));
    outInfo.unit = kAudioUnitParameterUnit_Generic;
    outInfo.minValue = 0.0f;
    outInfo.maxValue = 1.0f;
    outInfo.defaultValue = 0.0f;
  }
  // The name string carries the whole label; the fixed field what fits of it.
  CFStringRef text = name != nullptr && name[0] != '\0'
                         ? CFStringCreateWithCString(nullptr, name, kCFStringEncodingUTF8)
                         : nullptr;
  if (text != nullptr) {
    outInfo.cfNameString = text;
    copyUTF8Bounded(outInfo.name, sizeof outInfo.name, name);
    outInfo.flags |= kAudioUnitParameterFlag_HasCFNameString | kAudioUnitParameterFlag_CFNameRelease;
  }
  return noErr;
}

OSStatus SamplerAU::GetParameterValueStrings(AudioUnitScope, AudioUnitParameterID id, CFArrayRef* outStrings) {
  if (id >= conf.numParams || !hasInstance()) return kAudioUnitErr_InvalidProperty;
  const ParameterInfo* description = nullptr;
  logEngineError(m_engine.describe(static_cast<std::int32_t>(id), description));
  if (description == nullptr || description->list == nullptr || description->list[0] == '\0')
    return kAudioUnitErr_InvalidProperty;
  if (outStrings == nullptr) return noErr;
  std::vector<std::string> pieces;
  PSimpleStringTokenizer(description->list, "|", pieces);
  CFMutableArrayRef strings = CFArrayCreateMutable(nullptr, static_cast<CFIndex>(pieces.size()), &kCFTypeArrayCallBacks);
  for (const std::string& piece : pieces) {
    CFStringRef text = CFStringCreateWithCString(nullptr, piece.c_str(), kCFStringEncodingUTF8);
    if (text == nullptr) continue;
    CFArrayAppendValue(strings, text);
    CFRelease(text);
  }
  *outStrings = strings;
  return noErr;
}

OSStatus SamplerAU::SetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                 AudioUnitParameterValue value, UInt32 bufferOffsetInFrames) {
  if (!unitParameter(id, scope, element)) return kAudioUnitErr_InvalidParameter;
  const OSStatus result = MusicDeviceBase::SetParameter(id, scope, element, value, bufferOffsetInFrames);
  if (result != noErr) return result;
  if (hasInstance())
    logEngineError(m_engine.setParameter(static_cast<std::int32_t>(id), value));
  return noErr;
}

OSStatus SamplerAU::GetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                 AudioUnitParameterValue& outValue) {
  if (!unitParameter(id, scope, element)) return kAudioUnitErr_InvalidParameter;
  const OSStatus result = MusicDeviceBase::GetParameter(id, scope, element, outValue);
  if (result != noErr) return result;
  // Described before the instance existed: until the first render the host's own values hold.
  const bool storedHolds = m_parameterDescribedWithoutInstance.load() && !m_renderedSinceInitialize.load();
  if (hasInstance() && !storedHolds)
    logEngineError(m_engine.parameter(static_cast<std::int32_t>(id), outValue));
  return noErr;
}

OSStatus SamplerAU::SaveState(CFPropertyListRef* outData) {
  const OSStatus result = MusicDeviceBase::SaveState(outData);
  if (result != noErr || !hasInstance()) return result;
  void* bytes = nullptr;
  std::int32_t size = 0;
  if (m_engine.chunk(&bytes, size) != 0 || size <= 0 || bytes == nullptr) return noErr;
  CFDataRef chunk = CFDataCreate(nullptr, static_cast<const UInt8*>(bytes), size);
  CFDictionarySetValue(static_cast<CFMutableDictionaryRef>(const_cast<void*>(*outData)), CFSTR("KeloData"), chunk);
  CFRelease(chunk);
  return noErr;
}

OSStatus SamplerAU::RestoreState(CFPropertyListRef plist) {
  const OSStatus result = MusicDeviceBase::RestoreState(plist);
  if (result != noErr) return result;
  const void* chunk = CFDictionaryGetValue(static_cast<CFDictionaryRef>(plist), CFSTR("KeloData"));
  if (chunk == nullptr || CFGetTypeID(chunk) != CFDataGetTypeID() || !hasInstance()) return noErr;
  const auto data = static_cast<CFDataRef>(chunk);
  m_engine.setChunk(const_cast<UInt8*>(CFDataGetBytePtr(data)), static_cast<std::int32_t>(CFDataGetLength(data)));
  return noErr;
}

std::int32_t SamplerAU::message(std::int32_t kind, const char* title, const char* content) {
  static const char* const kKinds[] = {"KELO INFO: Title:", "KELO WARNING: Title:", "KELO ERROR: Title:"};
  if (kind >= 0 && kind < 3)
    vantor::logLine(vantor::LogLevel::Info, this, "%s%s Content:%s", kKinds[kind], vantor::engineText(title),
                    vantor::engineText(content));
  return 0;
}

std::int32_t SamplerAU::progressOpen(const char* title, std::int32_t elements) {
  vantor::logLine(vantor::LogLevel::Info, this, "KELO ProgressDialog: OPEN: Title:%s elements:%d",
                  vantor::engineText(title), elements);
  return 0;
}

std::int32_t SamplerAU::progressStep() { return 0; }

std::int32_t SamplerAU::progressClose() {
  vantor::logLine(vantor::LogLevel::Info, this, "KELO ProgressDialog: CLOSE!");
  return 0;
}

std::int32_t SamplerAU::slotChanged(std::int32_t slot) {
  vantor::logLine(vantor::LogLevel::Info, this, "KELO Slot:%d was changed, need to update display", slot);
  refreshParameters();
  return 0;
}

std::int32_t SamplerAU::parameterChanged(const ParameterInfo*, std::int32_t kind, std::int32_t index, float) {
  // An index the host does not know has no listeners to tell.
  if (kind == 0 && index >= 0 && static_cast<UInt32>(index) < conf.numParams) {
    const auto id = static_cast<AudioUnitParameterID>(index);
    announceParameter(kAudioUnitEvent_BeginParameterChangeGesture, id);
    announceParameter(kAudioUnitEvent_ParameterValueChange, id);
    announceParameter(kAudioUnitEvent_EndParameterChangeGesture, id);
  }
  return 0;
}

std::int32_t SamplerAU::latencyChanged(std::int32_t) { return 0; }

std::int32_t SamplerAU::unknown(std::int32_t op) {
  vantor::logLine(vantor::LogLevel::Info, this, "ZMO_HostOpcode unknown id:%d", op);
  return kKeloHostUnknownOpcode;
}

void SamplerAU::announceParameter(AudioUnitEventType type, AudioUnitParameterID id) {
  AudioUnitEvent event{};
  event.mEventType = type;
  event.mArgument.mParameter = {GetComponentInstance(), id, kAudioUnitScope_Global, 0};
  // A value change carries what the host would read back: the engine's value.
  AudioUnitParameterValue value = 0.0f;
  if (type == kAudioUnitEvent_ParameterValueChange) GetParameter(id, kAudioUnitScope_Global, 0, value);
  NotifyEvent(event, value);
}

void SamplerAU::refreshParameters() {
  for (UInt32 index = 0; index < conf.numParams; ++index) {
    const ParameterInfo* description = nullptr;
    if (hasInstance()) m_engine.describe(static_cast<std::int32_t>(index), description);
    if (description != nullptr) announceParameter(kAudioUnitEvent_ParameterValueChange, index);
  }
  AudioUnitEvent event{};
  event.mEventType = kAudioUnitEvent_PropertyChange;
  event.mArgument.mProperty = {GetComponentInstance(), kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0};
  NotifyEvent(event);
  PropertyChanged(kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0);
}
