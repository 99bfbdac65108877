// KeloUnit as a hostile host drives it through the component's methods, over the reference
// engine: properties of any identifier, scope, element and size (a value holding pointers
// is the host's own valid record, offered at any size), property reads into buffers of any
// size, parameters at any identifier, scope and value, formats with any channel count and rate,
// bus counts, slice lengths, MIDI, transports of any values, Initialize, Reset and renders.
// Nothing may crash or trip a sanitizer, and the engine may find no broken host obligation
// that the unit, not the host, answers for.
//
// Input: repeated [kind byte, arguments]; see `step` below.
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/PluginHostFuzz.h"
#include "platform/audiounit/AUComponent.h"
#include "plugins/au/SamplerAU.h"
#include "tests/support/audiounit/AUTestHost.h"

namespace {

// What the host's transport call-backs answer.
struct Transport {
  Float64 beat, tempo;
  Float32 numerator;
  UInt32 denominator;
  Float64 downbeat;
  Boolean playing, changed, cycling;
  Float64 sample, cycleStart, cycleEnd;
  std::uint8_t musicalTime;  // bit 0
};
Transport g_transport{};

OSStatus beatAndTempo(void*, Float64* beat, Float64* tempo) {
  *beat = g_transport.beat;
  *tempo = g_transport.tempo;
  return noErr;
}
OSStatus musicalTime(void*, UInt32*, Float32* numerator, UInt32* denominator, Float64* downbeat) {
  if ((g_transport.musicalTime & 1) == 0) return kAudio_UnimplementedError;
  *numerator = g_transport.numerator;
  *denominator = g_transport.denominator;
  *downbeat = g_transport.downbeat;
  return noErr;
}
OSStatus transportState(void*, Boolean* playing, Boolean* changed, Float64* sample, Boolean* cycling,
                        Float64* cycleStart, Float64* cycleEnd) {
  *playing = g_transport.playing;
  *changed = g_transport.changed;
  *sample = g_transport.sample;
  *cycling = g_transport.cycling;
  *cycleStart = g_transport.cycleStart;
  *cycleEnd = g_transport.cycleEnd;
  return noErr;
}
void midiOutput(void*, const AudioTimeStamp*, UInt32, const MIDIPacketList*) {}

AudioComponentPlugInInterface* factory(const AudioComponentDescription* description) {
  return kelo::au::AUMusicDeviceFactory<SamplerAU>::Factory(description);
}

KeloEngineTestControlFunction g_control = nullptr;
using kelo::fuzz::Input;

constexpr AudioUnitPropertyID kProperties[] = {
    kAudioUnitProperty_ClassInfo, kAudioUnitProperty_SampleRate, kAudioUnitProperty_ParameterList,
    kAudioUnitProperty_ParameterInfo, kAudioUnitProperty_StreamFormat, kAudioUnitProperty_ElementCount,
    kAudioUnitProperty_Latency, kAudioUnitProperty_SupportedNumChannels, kAudioUnitProperty_MaximumFramesPerSlice,
    kAudioUnitProperty_ParameterValueStrings, kAudioUnitProperty_AudioChannelLayout, kAudioUnitProperty_HostCallbacks,
    kAudioUnitProperty_CocoaUI, kAudioUnitProperty_SupportedChannelLayoutTags, kAudioUnitProperty_OfflineRender,
    kAudioUnitProperty_AUHostIdentifier, kAudioUnitProperty_MIDIOutputCallbackInfo,
    kAudioUnitProperty_MIDIOutputCallback, 64000, 64001, 64002, 64003, 64004, 70000};

AudioUnitPropertyID propertyId(Input& in) {
  const std::uint8_t pick = in.byte();
  if (pick < 0xF0) return kProperties[pick % std::size(kProperties)];
  const auto id = in.value<AudioUnitPropertyID>();
  // The host's parameter listener holds a function: offered only as the host's own record.
  return id == kKeloAudioUnitProperty_ParameterListener ? kAudioUnitProperty_Latency : id;
}

void setProperty(kelo::test::AUTestHost& host, Input& in) {
  const AudioUnitPropertyID id = propertyId(in);
  const AudioUnitScope scope = in.byte() % 5;
  const AudioUnitElement element = in.byte() % 4;
  const UInt32 size = in.value<std::uint16_t>() % 2048;
  std::vector<unsigned char> bytes(std::max<UInt32>(size, 64), 0);
  if (id == kAudioUnitProperty_HostCallbacks) {
    const HostCallbackInfo callbacks{nullptr, &beatAndTempo, &musicalTime, &transportState, nullptr};
    std::memcpy(bytes.data(), &callbacks, sizeof callbacks);
  } else if (id == kAudioUnitProperty_MIDIOutputCallback) {
    const AUMIDIOutputCallbackStruct callback{&midiOutput, nullptr};
    std::memcpy(bytes.data(), &callback, sizeof callback);
  } else {
    for (UInt32 i = 0; i < size; ++i) bytes[i] = in.byte();
  }
  host.setProperty(id, scope, element, bytes.data(), size);
}

void getProperty(kelo::test::AUTestHost& host, Input& in) {
  const AudioUnitPropertyID id = propertyId(in);
  const AudioUnitScope scope = in.byte() % 5;
  const AudioUnitElement element = in.byte() % 4;
  UInt32 size = in.value<std::uint16_t>() % 4096;
  std::vector<unsigned char> bytes(size);
  UInt32 infoSize = 0;
  bool writable = false;
  host.getPropertyInfo(id, scope, element, infoSize, writable);
  host.getProperty(id, scope, element, bytes.data(), size);
}

void step(kelo::test::AUTestHost& host, Input& in) {
  switch (in.byte() % 10) {
    case 0:
      setProperty(host, in);
      break;
    case 1:
      getProperty(host, in);
      break;
    case 2: {
      const auto id = in.value<AudioUnitParameterID>();
      const AudioUnitScope scope = in.byte() % 5;
      const AudioUnitElement element = in.byte() % 3;
      Float32 value = in.value<Float32>();
      host.setParameter(id, scope, element, value);
      host.getParameter(id, scope, element, value);
      break;
    }
    case 3:
      host.initialize();
      break;
    case 4:
      host.uninitialize();
      break;
    case 5:
      host.reset();
      break;
    case 6:
      host.render(in.value<std::uint16_t>() % 8193);
      break;
    case 7:
      host.midi(in.byte(), in.byte(), in.byte(), in.value<std::uint16_t>());
      break;
    case 8: {
      const AudioUnitElement bus = in.byte() % 4;
      const UInt32 channels = in.byte() % 40;
      host.setOutputFormat(bus, channels, in.value<Float64>());
      break;
    }
    default:
      g_transport = in.value<Transport>();
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_control = kelo::fuzz::installReferenceEngine();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  g_transport = Transport{};
  g_control(KELO_TEST_RESET, nullptr, nullptr, 0, 0);
  {
    kelo::test::AUTestHost host(&factory);
    FUZZ_CHECK(host.openResult() == noErr);
    for (int count = 0; count < 64 && !in.done(); ++count) step(host, in);
  }
  kelo::fuzz::checkNoPluginFault(g_control);
  return 0;
}
