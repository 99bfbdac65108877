// The dispatcher and the process entry of a bundle, driven as the engine drives them.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "tests/Sampler/sdk/LoadedBundle.h"
#include "tests/Sampler/sdk/TestPlugins.h"

namespace kelo::test {
namespace {

// A block of two channels prefilled with `value`, and MIDI lists with a marker event count.
struct Block {
  explicit Block(int frames, float value = 0.25f)
      : left(frames, value), right(frames, value), channels{left.data(), right.data()} {
    midiIn->numEvents = 0;
    midiOut->numEvents = 99;
  }
  std::vector<float> left, right;
  float* channels[2];
  std::unique_ptr<HDMIDIEvents> midiIn = std::make_unique<HDMIDIEvents>();
  std::unique_ptr<HDMIDIEvents> midiOut = std::make_unique<HDMIDIEvents>();
  bool all(float value) const {
    for (float sample : left) if (sample != value) return false;
    for (float sample : right) if (sample != value) return false;
    return true;
  }
};

class Dispatcher : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(bundle.ok()); }
  void TearDown() override {
    for (PluginStruct* handle : handles) bundle.destroy(handle);
  }

  PluginStruct* make(const char* identifier) {
    PluginStruct* handle = bundle.create(identifier, &host);
    if (handle != nullptr) handles.push_back(handle);
    return handle;
  }
  void call(PluginStruct* handle, std::int32_t opcode, void* ptr, std::int32_t* val) {
    bundle.dispatcher(handle, static_cast<PluginOpcodes1>(opcode), ptr, val);
  }
  std::int32_t answer(PluginStruct* handle, std::int32_t opcode) {
    std::int32_t value = -77;
    call(handle, opcode, nullptr, &value);
    return value;
  }
  void setRate(PluginStruct* handle, std::int32_t rate, std::int32_t maxBlock) {
    DSPInfo info{double(rate), rate, 1.0 / rate, maxBlock, double(maxBlock) / rate,
                 1.0 / maxBlock, {}};
    call(handle, PLUGOP_SET_DSPINFO, &info, nullptr);
  }
  void init(PluginStruct* handle, const char* text, const char* extra = nullptr) {
    call(handle, PLUGOP_INITEX, const_cast<char*>(text),
         reinterpret_cast<std::int32_t*>(const_cast<char*>(extra)));
  }
  void process(PluginStruct* handle, Block& block, std::int32_t frames) {
    bundle.processor(handle, block.channels, frames, block.midiIn.get(), block.midiOut.get(),
                     nullptr);
  }
  // A Faulty plug-in made with `initText`, set to 48000 Hz and 64 frames, run for one block.
  void processFaulty(const char* initText, Block& block) {
    PluginStruct* handle = make(kFaultyId);
    init(handle, initText);
    setRate(handle, 48000, 64);
    process(handle, block, 64);
  }

  LoadedBundle bundle{KELO_TEST_PLUGINS_SO};
  Host host{[](Host*, std::int32_t, std::int32_t, void*) { return 0; }};
  std::vector<PluginStruct*> handles;
};

TEST_F(Dispatcher, CountGettersReadTheFields) {
  PluginStruct* passThrough = make(kPassThroughId);
  PluginStruct* probe = make(kProbeId);
  EXPECT_EQ(answer(passThrough, PLUGOP_GET_NUM_AUDIO_INS), 2);
  EXPECT_EQ(answer(passThrough, PLUGOP_GET_NUM_AUDIO_OUTS), 2);
  EXPECT_EQ(answer(passThrough, PLUGOP_GET_NUM_MIDI_INS), 0);
  EXPECT_EQ(answer(passThrough, PLUGOP_GET_NUM_MIDI_OUTS), 0);
  EXPECT_EQ(answer(probe, PLUGOP_GET_NUM_AUDIO_INS), 0);
  EXPECT_EQ(answer(probe, PLUGOP_GET_NUM_MIDI_INS), 1);
  EXPECT_EQ(answer(probe, PLUGOP_GET_NUM_MIDI_OUTS), 1);
}

TEST_F(Dispatcher, DefaultAnswersOfTheBaseClass) {
  PluginStruct* handle = make(kPassThroughId);
  struct Case {
    std::int32_t asked;
    std::int32_t capable;
  };
  for (Case c : {Case{0, 1}, Case{1, 0}, Case{-1, 0}}) {
    std::int32_t result = -5, asked = c.asked;
    call(handle, PLUGOP_CAPABLE_OF, &result, &asked);
    EXPECT_EQ(result, c.capable) << "bits " << c.asked;
  }

  std::int32_t details = 7;
  std::uint8_t detailsRecord[64];
  std::memset(detailsRecord, 0xAA, sizeof detailsRecord);
  call(handle, PLUGOP_GET_PARAMETER_DETAILS, &details,
       reinterpret_cast<std::int32_t*>(detailsRecord));
  EXPECT_EQ(details, 0);
  EXPECT_EQ(detailsRecord[0], 0xAA);

  LatencyInfo latency{0x5555, 0x5555, 0x5555};
  std::int32_t latencyAnswer = 7;
  call(handle, PLUGOP_GET_LATENCY, &latency, &latencyAnswer);
  EXPECT_EQ(latencyAnswer, 1);
  EXPECT_EQ(latency.header, 0x5555);
  EXPECT_EQ(latency.latencyB, 0);
  EXPECT_EQ(latency.latencyA, 0);
}

TEST_F(Dispatcher, IOConfigurationIsAnsweredThroughVal) {
  PluginStruct* handle = make(kPassThroughId);
  struct Case {
    ChannelInfo channels;
    std::int32_t answer, ins;
  };
  for (Case c : {Case{{1, 1}, 1, 1}, Case{{6, 6}, 1, 6}, Case{{3, 2}, -1, 6}, Case{{33, 33}, -1, 6}}) {
    std::int32_t result = -9;
    call(handle, PLUGOP_SET_IO_CONFIG, &c.channels, &result);
    EXPECT_EQ(result, c.answer);
    EXPECT_EQ(answer(handle, PLUGOP_GET_NUM_AUDIO_INS), c.ins);
  }
  std::int32_t untouched = -9;
  ChannelInfo channels{2, 2};
  call(make(kProbeId), PLUGOP_SET_IO_CONFIG, &channels, &untouched);
  EXPECT_EQ(untouched, -1);  // Probe takes no audio
}

TEST_F(Dispatcher, InitRecordKeepsTheAnswerZeroExtended) {
  struct Case {
    const char* initText;
    const char* extraText;
    std::int64_t result;
  };
  for (Case c : {Case{"", "1", 1}, Case{"", "-5", 0xFFFFFFFBLL}, Case{"", "0", 0},
                 Case{"init", "1", 0}}) {
    PluginStruct* handle = make(kFaultyId);
    InitExRecord record{};
    record.result = 0x123456789LL;
    record.initText = c.initText;
    record.extraText = c.extraText;
    call(handle, PLUGOP_INITEX_RECORD, &record, nullptr);
    EXPECT_EQ(record.result, c.result) << c.initText << " / " << c.extraText;
  }
}

TEST_F(Dispatcher, UnknownAndReservedOpcodesChangeNothing) {
  PluginStruct* handle = make(kPassThroughId);
  for (std::int32_t opcode : {13, 14, 16, 22, 23, 255, 1000, INT32_MAX, -1, -19, INT32_MIN}) {
    std::uint8_t buffer[65544];
    std::memset(buffer, 0xAA, sizeof buffer);
    std::int32_t val = 0x5A5A5A5A;
    call(handle, opcode, buffer, &val);
    EXPECT_EQ(val, 0x5A5A5A5A) << opcode;
    for (std::uint8_t byte : buffer) ASSERT_EQ(byte, 0xAA) << opcode;
  }
  EXPECT_EQ(answer(handle, PLUGOP_GET_NUM_AUDIO_INS), 2);
}

TEST_F(Dispatcher, InstrumentOperationReachesOnlyInstruments) {
  std::int32_t value = 5;
  call(make(kPassThroughId), PLUGOP_INSTRUMENT_OP, &value, nullptr);
  EXPECT_EQ(value, 5);
  call(make(kInstrumentId), PLUGOP_INSTRUMENT_OP, &value, nullptr);
  EXPECT_EQ(value, 21);
}

// Null handles change nothing they are given; null arguments reach a plug-in only for the
// operations that take none (init with its null texts, start, the two stops), so its format
// and configuration stay as they were: its next block reports exactly those calls.
TEST_F(Dispatcher, NullHandlesAndArgumentsAreIgnored) {
  bundle.dispatcher(nullptr, PLUGOP_START, nullptr, nullptr);
  PluginStruct empty{};
  const PluginStruct zero{};
  bundle.dispatcher(&empty, PLUGOP_START, nullptr, nullptr);
  EXPECT_EQ(std::memcmp(&empty, &zero, sizeof empty), 0);
  Block untouched(16);
  bundle.processor(nullptr, untouched.channels, 16, untouched.midiIn.get(),
                   untouched.midiOut.get(), nullptr);
  bundle.processor(&empty, untouched.channels, 16, untouched.midiIn.get(),
                   untouched.midiOut.get(), nullptr);
  EXPECT_TRUE(untouched.all(0.25f));
  EXPECT_EQ(untouched.midiOut->numEvents, 99);

  PluginStruct* probe = make(kProbeId);
  setRate(probe, 48000, 64);
  Block first(64);
  process(probe, first, 64);  // empties the trace
  for (std::int32_t opcode = 0; opcode <= 21; ++opcode) call(probe, opcode, nullptr, nullptr);
  Block block(64);
  process(probe, block, 64);
  std::vector<std::int32_t> reached;
  bool blockRan = false;
  for (std::int64_t i = 0; i < block.midiOut->numEvents; ++i) {
    const HDMIDIEvent& event = block.midiOut->events[i];
    if (event.status == kTraceStatus) reached.push_back(event.data1);
    if (event.status == kBlockStatus) blockRan = event.data1 == 64;
  }
  EXPECT_EQ(reached, (std::vector<std::int32_t>{PLUGOP_INITEX, PLUGOP_START, PLUGOP_STOP,
                                                PLUGOP_STOP}));
  EXPECT_TRUE(blockRan);  // the format of 64 frames still holds
  EXPECT_EQ(answer(probe, PLUGOP_GET_NUM_MIDI_OUTS), 1);
}

TEST_F(Dispatcher, NoExceptionLeavesTheDispatcher) {
  PluginStruct* handle = make(kFaultyId);
  init(handle, "defaults,start");
  HDMIDIEvents* events = new HDMIDIEvents;
  call(handle, PLUGOP_GET_DEFAULTS, events, nullptr);
  call(handle, PLUGOP_START, nullptr, nullptr);
  delete events;
  init(make(kFaultyId), "init");
}

TEST_F(Dispatcher, AFailedProcessClearsItsAudioAndMIDIOutput) {
  Block block(64);
  processFaulty("process", block);
  EXPECT_TRUE(block.all(0.0f));
  EXPECT_EQ(block.midiOut->numEvents, 0);
}

TEST_F(Dispatcher, AFailedAudioPluginLeavesMidiOutAlone) {
  Block block(64);
  processFaulty("process,nomidi", block);
  EXPECT_TRUE(block.all(0.0f));
  EXPECT_EQ(block.midiOut->numEvents, 99);
}

TEST_F(Dispatcher, APluginWhoseDSPSettingsFailedOnlyClearsUntilTheyWork) {
  PluginStruct* handle = make(kFaultyId);
  init(handle, "dsp");
  setRate(handle, 48000, 64);
  Block healthy(64);
  process(handle, healthy, 64);
  EXPECT_TRUE(healthy.all(1.0f));
  EXPECT_EQ(healthy.midiOut->numEvents, 1);

  setRate(handle, 22050, 64);  // refused by the plug-in
  Block failed(64);
  process(handle, failed, 64);
  EXPECT_TRUE(failed.all(0.0f));
  EXPECT_EQ(failed.midiOut->numEvents, 0);

  setRate(handle, 44100, 64);
  Block again(64);
  process(handle, again, 64);
  EXPECT_TRUE(again.all(1.0f));
}

TEST_F(Dispatcher, BlocksLargerThanTheSettingsAreClearedNotProcessed) {
  PluginStruct* handle = make(kFaultyId);
  init(handle, "");
  setRate(handle, 48000, 32);
  Block block(64);
  process(handle, block, 64);
  EXPECT_TRUE(block.all(0.0f));
  Block negative(8);
  process(handle, negative, -1);
  EXPECT_TRUE(negative.all(0.25f));
}

}  // namespace
}  // namespace kelo::test
