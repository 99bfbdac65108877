#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/audiounit/AUComponent.h"
#include "platform/cf/CFNumber.h"
#include "platform/cf/CFPropertyList.h"
#include "platform/cf/CFString.h"
#include "tests/support/audiounit/AUTestHost.h"

namespace {

using kelo::test::AUTestHost;

struct Seen {
  int initializes = 0;
  int renders = 0;
  int cleanups = 0;
  std::vector<std::vector<int>> midi;
  bool throwOnInitialize = false;
  HostCallbackInfo callbacks{};
};
Seen g_seen;

// A unit writing bus b, channel c as 10 * b + c + 1.
class ToyUnit : public MusicDeviceBase {
 public:
  explicit ToyUnit(AudioComponentInstance instance) : MusicDeviceBase(instance, 0, 1) {}
  void PostConstructor() override {
    MusicDeviceBase::PostConstructor();
    Globals().GetElement(0)->UseIndexedParameters(8);
  }
  OSStatus Initialize() override {
    if (g_seen.throwOnInitialize) throw std::runtime_error("refused");
    ++g_seen.initializes;
    return noErr;
  }
  void Cleanup() override { ++g_seen.cleanups; }
  bool CanScheduleParameters() const override { return false; }
  bool StreamFormatWritable(AudioUnitScope, AudioUnitElement) override { return true; }
  bool BusCountWritable(AudioUnitScope) override { return true; }
  OSStatus Render(AudioUnitRenderActionFlags&, const AudioTimeStamp&, UInt32 frames) override {
    ++g_seen.renders;
    Float64 beat = -1.0, tempo = -1.0;
    if (CallHostBeatAndTempo(&beat, &tempo) == noErr) lastTempo = tempo;
    for (UInt32 bus = 0; bus < Outputs().GetNumberOfElements(); ++bus) {
      AudioBufferList& list = bus == 0 ? Output(0)->GetBufferList() : Output(bus)->PrepareBuffer(frames);
      for (UInt32 channel = 0; channel < list.mNumberBuffers; ++channel)
        for (UInt32 frame = 0; frame < frames; ++frame)
          static_cast<float*>(AudioBufferListAt(list, channel).mData)[frame] =
              static_cast<float>(10 * bus + channel + 1);
    }
    return noErr;
  }
  // A change the unit makes itself, for the host's parameter listeners.
  OSStatus Reset(AudioUnitScope, AudioUnitElement) override {
    ParameterChanged(7, kAudioUnitScope_Global, 0, 0.75f);
    return noErr;
  }
  OSStatus HandleMidiEvent(UInt8 status, UInt8 channel, UInt8 data1, UInt8 data2, UInt32 frame) override {
    g_seen.midi.push_back({status, channel, data1, data2, static_cast<int>(frame)});
    return noErr;
  }
  static inline Float64 lastTempo = 0.0;
};

AudioComponentPlugInInterface* toyFactory(const AudioComponentDescription* description) {
  return kelo::au::AUMusicDeviceFactory<ToyUnit>::Factory(description);
}

class AUBaseTest : public ::testing::Test {
 protected:
  void SetUp() override { g_seen = Seen{}; }
};

TEST_F(AUBaseTest, RendersEveryBusIntoTheHostsBuffersAndRefusesOversizedSlices) {
  AUTestHost host(&toyFactory);
  ASSERT_EQ(host.openResult(), noErr);
  EXPECT_EQ(host.render(64), kAudioUnitErr_Uninitialized);
  ASSERT_EQ(host.setBusCount(2), noErr);
  ASSERT_EQ(host.setOutputFormat(1, 3, 48000.0), noErr);
  ASSERT_EQ(host.setMaxFrames(256), noErr);
  ASSERT_EQ(host.initialize(), noErr);
  EXPECT_EQ(host.setMaxFrames(512), kAudioUnitErr_Initialized);
  EXPECT_EQ(host.setOutputFormat(1, 2, 48000.0), kAudioUnitErr_Initialized);

  ASSERT_EQ(host.render(256), noErr);
  EXPECT_EQ(g_seen.renders, 1) << "bus 1 hands over what the slice rendered";
  ASSERT_EQ(host.outputBuses(), 2u);
  for (UInt32 bus = 0; bus < 2; ++bus)
    for (UInt32 channel = 0; channel < (bus == 0 ? 2u : 3u); ++channel)
      for (float sample : host.output(bus, channel)) ASSERT_EQ(sample, 10.0f * bus + channel + 1) << bus << channel;

  EXPECT_EQ(host.render(257), kAudioUnitErr_TooManyFramesToProcess);
  EXPECT_EQ(g_seen.renders, 1);
  host.uninitialize();
  EXPECT_EQ(g_seen.cleanups, 1);
  EXPECT_EQ(host.render(64), kAudioUnitErr_Uninitialized);
}

TEST_F(AUBaseTest, MidiReachesHandleMidiEventWithStatusAndChannelApart) {
  AUTestHost host(&toyFactory);
  host.midi(0x93, 60, 100, 7);
  host.midi(0xB0, 64, 127);
  host.midi(0xF8, 0, 0);
  EXPECT_EQ(g_seen.midi, (std::vector<std::vector<int>>{{0x90, 3, 60, 100, 7}, {0xB0, 0, 64, 127, 0}, {0xF0, 8, 0, 0, 0}}));
}

OSStatus beatAndTempo(void* user, Float64* beat, Float64* tempo) {
  *tempo = *static_cast<double*>(user);
  if (beat != nullptr) *beat = 0.0;
  return noErr;
}

TEST_F(AUBaseTest, PropertiesAreKeptAndAnnouncedAndHostCallbacksReachTheUnit) {
  AUTestHost host(&toyFactory);
  ASSERT_EQ(host.listen(kAudioUnitProperty_StreamFormat), noErr);
  ASSERT_EQ(host.listen(kAudioUnitProperty_MaximumFramesPerSlice), noErr);
  ASSERT_EQ(host.setOutputFormat(0, 2, 96000.0), noErr);
  ASSERT_EQ(host.setMaxFrames(128), noErr);
  ASSERT_EQ(host.notifications().size(), 1u) << "a format the host set is the unit's to announce";
  EXPECT_EQ(host.notifications()[0].id, kAudioUnitProperty_MaximumFramesPerSlice);

  Float64 rate = 0.0;
  UInt32 size = sizeof rate;
  ASSERT_EQ(host.getProperty(kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0, &rate, size), noErr);
  EXPECT_EQ(rate, 96000.0);
  UInt32 frames = 0;
  size = sizeof frames;
  ASSERT_EQ(host.getProperty(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, &frames, size), noErr);
  EXPECT_EQ(frames, 128u);
  EXPECT_EQ(host.setOutputFormat(0, 0, 48000.0), kAudioUnitErr_FormatNotSupported);
  EXPECT_EQ(host.setOutputFormat(1, 2, 48000.0), kAudioUnitErr_InvalidElement);
  EXPECT_EQ(host.setBusCount(0), kAudioUnitErr_InvalidPropertyValue);

  double tempo = 93.0;
  ASSERT_EQ(host.setHostCallbacks({&tempo, &beatAndTempo, nullptr, nullptr, nullptr}), noErr);
  ASSERT_EQ(host.initialize(), noErr);
  ASSERT_EQ(host.render(64), noErr);
  EXPECT_EQ(ToyUnit::lastTempo, 93.0);

  Float32 value = -1.0f;
  ASSERT_EQ(host.setParameter(5, kAudioUnitScope_Global, 0, 0.25f), noErr);
  ASSERT_EQ(host.getParameter(5, kAudioUnitScope_Global, 0, value), noErr);
  EXPECT_EQ(value, 0.25f);
  EXPECT_EQ(host.getParameter(5, kAudioUnitScope_Global, 1, value), kAudioUnitErr_InvalidElement);
  // Undeclared parameters are refused, and the list stays the one the unit declared.
  EXPECT_EQ(host.setParameter(8, kAudioUnitScope_Global, 0, 0.5f), kAudioUnitErr_InvalidParameter);
  EXPECT_EQ(host.getParameter(8, kAudioUnitScope_Global, 0, value), kAudioUnitErr_InvalidParameter);
  UInt32 listSize = 0;
  bool writable = true;
  ASSERT_EQ(host.getPropertyInfo(kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, listSize, writable),
            noErr);
  EXPECT_EQ(listSize, 8 * sizeof(AudioUnitParameterID));
}

TEST_F(AUBaseTest, StateCrossesAsPropertyListBytesNamingTheComponent) {
  AUTestHost host(&toyFactory);
  std::string xml;
  ASSERT_EQ(host.getState(xml), noErr);
  CFPropertyListRef state = kelo::cf::propertyListFromXML(xml.data(), xml.size());
  ASSERT_NE(state, nullptr) << xml;
  ASSERT_EQ(CFGetTypeID(state), CFDictionaryGetTypeID());
  SInt32 type = 0;
  const void* value = CFDictionaryGetValue(static_cast<CFDictionaryRef>(state), CFSTR("type"));
  ASSERT_NE(value, nullptr);
  CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt32Type, &type);
  EXPECT_EQ(static_cast<UInt32>(type), 0x61756d75u);
  CFRelease(state);

  ASSERT_EQ(host.listen(kAudioUnitProperty_ClassInfo), noErr);
  EXPECT_EQ(host.setState(xml), noErr);
  EXPECT_EQ(host.notifications().size(), 1u);
  std::string other = xml;
  other.replace(other.find("<integer>1635085685</integer>"), 29, "<integer>1</integer>");
  EXPECT_EQ(host.setState(other), kAudioUnitErr_InvalidPropertyValue);
  EXPECT_EQ(host.setState("not a property list"), kAudioUnitErr_InvalidPropertyValue);
  UInt32 size = 4;
  char small[4];
  EXPECT_EQ(host.getProperty(kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, small, size), kAudio_ParamError);
}

TEST_F(AUBaseTest, ParameterListenersHearTheChangesTheUnitMakes) {
  AUTestHost host(&toyFactory);
  ASSERT_EQ(host.listenToParameters(), noErr);
  ASSERT_EQ(host.setParameter(7, kAudioUnitScope_Global, 0, 0.25f), noErr);
  EXPECT_TRUE(host.parameterChanges().empty()) << "the host's own changes are not echoed";
  ASSERT_EQ(host.reset(), noErr);
  ASSERT_EQ(host.parameterChanges().size(), 1u);
  EXPECT_EQ(host.parameterChanges()[0].id, 7u);
  EXPECT_EQ(host.parameterChanges()[0].value, 0.75f);
}

TEST_F(AUBaseTest, TheComponentInterfaceAnswersErrorsInsteadOfThrowing) {
  g_seen.throwOnInitialize = true;
  AUTestHost host(&toyFactory);
  EXPECT_EQ(host.initialize(), kAudio_ParamError);
  EXPECT_EQ(host.method<AudioComponentMethod>(0x7FFF), nullptr);
  EXPECT_NE(host.method<AudioComponentMethod>(kMusicDeviceStartNoteSelect), nullptr);
}

}  // namespace
