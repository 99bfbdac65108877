#include <gtest/gtest.h>

#include "tests/plugins/au/SamplerAUFixture.h"

namespace {

using SingleOutputTest = kelo::test::SamplerAUFixture;

// A build without the multi-output configurations offers 0/2 only and no layouts.
TEST_F(SingleOutputTest, OnlyStereoIsAccepted) {
  installEngine();
  auto host = openHost();
  EXPECT_EQ(host->setBusCount(2), kAudioUnitErr_PropertyNotWritable);
  AUChannelInfo table[3] = {};
  UInt32 size = sizeof table;
  ASSERT_EQ(host->getProperty(kAudioUnitProperty_SupportedNumChannels, kAudioUnitScope_Global, 0, table, size), noErr);
  ASSERT_EQ(size, sizeof(AUChannelInfo));
  EXPECT_EQ(table[0].inChannels, 0);
  EXPECT_EQ(table[0].outChannels, 2);
  bool writable = false;
  EXPECT_EQ(host->getPropertyInfo(kAudioUnitProperty_SupportedChannelLayoutTags, kAudioUnitScope_Output, 0, size, writable),
            kAudioUnitErr_InvalidProperty);
  EXPECT_EQ(host->getPropertyInfo(kAudioUnitProperty_AudioChannelLayout, kAudioUnitScope_Output, 0, size, writable),
            kAudioUnitErr_InvalidProperty);

  ASSERT_EQ(host->setOutputFormat(0, 3, 48000.0), noErr);
  EXPECT_EQ(host->initialize(), kAudioUnitErr_FormatNotSupported);
  EXPECT_EQ(host->render(64), kAudioUnitErr_Uninitialized);
  ASSERT_EQ(host->setOutputFormat(0, 2, 48000.0), noErr);
  ASSERT_EQ(host->initialize(), noErr);
  EXPECT_EQ(opcodes(), (std::vector<std::int32_t>{KELO_OP_VERSION_GET, KELO_OP_INSTANCE_CREATE, KELO_OP_DSP_SET,
                                                  KELO_OP_HOST_CALLBACK_SET, KELO_OP_START}))
      << "no parameters to replay";
}

TEST_F(SingleOutputTest, ABuildWithoutMidiOutputHasNoMidiOutputNames) {
  auto host = openHost();
  UInt32 size = 0;
  bool writable = false;
  EXPECT_EQ(host->getPropertyInfo(kAudioUnitProperty_MIDIOutputCallbackInfo, kAudioUnitScope_Global, 0, size, writable),
            kAudioUnitErr_InvalidProperty);
  std::vector<std::string> names;
  EXPECT_EQ(host->stringList(kAudioUnitProperty_MIDIOutputCallbackInfo, kAudioUnitScope_Global, 0, names),
            kAudioUnitErr_InvalidProperty);
  char bytes[64];
  size = sizeof bytes;
  EXPECT_EQ(host->getProperty(kAudioUnitProperty_MIDIOutputCallbackInfo, kAudioUnitScope_Global, 0, bytes, size),
            kAudioUnitErr_InvalidProperty);
}

}  // namespace

namespace {

// Found by fuzzing: reading the empty parameter list copied from a null pointer.
TEST_F(SingleOutputTest, AUnitWithoutParametersReadsAnEmptyParameterList) {
  installEngine();
  auto host = openHost();
  UInt32 size = 99;
  bool writable = true;
  ASSERT_EQ(host->getPropertyInfo(kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, size, writable), noErr);
  EXPECT_EQ(size, 0u);
  AudioUnitParameterID ids[4] = {7, 7, 7, 7};
  size = sizeof ids;
  ASSERT_EQ(host->getProperty(kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, ids, size), noErr);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(ids[0], 7u);
}

}  // namespace
