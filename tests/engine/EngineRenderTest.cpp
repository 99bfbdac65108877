// What the reference engine renders, through the real bundle. Every process call runs inside
// a real-time region: in the program linked with the real-time guard, an allocation or a
// blocking lock on the engine's render path aborts the test.
#include <cmath>
#include <vector>

#include "tests/engine/EngineFixture.h"
#include "tests/support/realtime/RealtimeGuard.h"

namespace kelo::test {
namespace {

using EngineRender = EngineFixture;

constexpr int kSine = 0;

double energy(const std::vector<float>& channel, int from, int to) {
  double sum = 0;
  for (int i = from; i < to; ++i) sum += static_cast<double>(channel[static_cast<size_t>(i)]) * channel[static_cast<size_t>(i)];
  return sum;
}

TEST_F(EngineRender, NoteOnAtFrame100IsSilentBeforeAndSoundsFromIt) {
  void* instance = createStarted();
  ASSERT_NE(instance, nullptr);
  ASSERT_EQ(call(instance, KELO_OP_PARAMETER_SET, nullptr, nullptr, nullptr, 1, kSine), 0);
  prepareOutputs(2, 256);
  setEvents({midiEvent(0x90, 69, 100, 100)});
  ASSERT_EQ(process(instance, 256), 0);
  for (int channel = 0; channel < 2; ++channel) {
    for (int i = 0; i < 100; ++i) ASSERT_EQ(m_outputs[channel][static_cast<size_t>(i)], 0.0f) << i;
    EXPECT_EQ(m_outputs[channel][100], 0.0f);  // a sine starts at phase 0
    for (int i = 101; i < 256; ++i) ASSERT_NE(m_outputs[channel][static_cast<size_t>(i)], 0.0f) << i;
  }
  // 440 Hz at 48 kHz: a sine in frames 100 onwards, rising with the attack.
  const int peakFrame = 100 + 48000 / 440 / 4;
  EXPECT_GT(m_outputs[0][static_cast<size_t>(peakFrame)], 0.0f);
  EXPECT_LT(m_outputs[0][static_cast<size_t>(peakFrame + 48000 / 440 / 2)], 0.0f);
  EXPECT_EQ(control(KELO_TEST_ACTIVE_VOICES, instance), 1);
  destroy(instance);
  EXPECT_TRUE(findings().empty());
}

TEST_F(EngineRender, NoteOffEndsTheToneWithItsRelease) {
  void* instance = createStarted();
  ASSERT_NE(instance, nullptr);
  const float release = 0.004f;  // 192 frames
  ASSERT_EQ(call(instance, KELO_OP_PARAMETER_SET, nullptr, nullptr, nullptr, 3, release), 0);
  prepareOutputs(2, 512);
  setEvents({midiEvent(0x91, 60, 127, 0), midiEvent(0x81, 60, 0, 200)});
  ASSERT_EQ(process(instance, 512), 0);
  const auto& left = m_outputs[0];
  EXPECT_GT(energy(left, 150, 200), 0.0);
  // Fading: the release tail is quieter than the tone, and over within the release time.
  EXPECT_GT(energy(left, 200, 250), energy(left, 350, 392));
  EXPECT_GT(energy(left, 350, 390), 0.0);
  EXPECT_EQ(energy(left, 200 + 193, 512), 0.0);
  EXPECT_EQ(control(KELO_TEST_ACTIVE_VOICES, instance), 0);
  destroy(instance);
}

TEST_F(EngineRender, SustainPedalHoldsAndControllersSilencePerChannel) {
  void* instance = createStarted();
  ASSERT_NE(instance, nullptr);
  prepareOutputs(2, 64);
  setEvents({midiEvent(0xB2, 64, 127, 0), midiEvent(0x92, 60, 100, 0), midiEvent(0x82, 60, 0, 1),
             midiEvent(0x93, 64, 100, 2)});
  ASSERT_EQ(process(instance, 64), 0);
  EXPECT_EQ(control(KELO_TEST_ACTIVE_VOICES, instance), 2);  // the pedal holds channel 3's note
  setEvents({midiEvent(0xB3, 123, 0, 0)});                    // all notes off, channel 4 only
  ASSERT_EQ(process(instance, 64), 0);
  setEvents({midiEvent(0xB3, 120, 0, 0)});                    // all sound off, channel 4
  ASSERT_EQ(process(instance, 64), 0);
  EXPECT_EQ(control(KELO_TEST_ACTIVE_VOICES, instance), 1);
  setEvents({midiEvent(0xB2, 120, 0, 10)});
  ASSERT_EQ(process(instance, 64), 0);
  EXPECT_EQ(control(KELO_TEST_ACTIVE_VOICES, instance), 0);
  EXPECT_NE(m_outputs[0][9], 0.0f);
  for (int i = 10; i < 64; ++i) EXPECT_EQ(m_outputs[0][static_cast<size_t>(i)], 0.0f);
  destroy(instance);
}

TEST_F(EngineRender, WritesEveryOutputAndSpreadsChannelsOverPairs) {
  void* instance = createStarted(32);
  ASSERT_NE(instance, nullptr);
  ASSERT_EQ(call(instance, KELO_OP_PARAMETER_SET, nullptr, nullptr, nullptr, 10, 1.0f), 0);
  prepareOutputs(32, 128);
  setEvents({midiEvent(0x93, 72, 100, 0)});
  ASSERT_EQ(process(instance, 128), 0);
  for (int channel = 0; channel < 32; ++channel) {
    const double e = energy(m_outputs[static_cast<size_t>(channel)], 0, 128);
    if (channel == 6 || channel == 7) {
      EXPECT_GT(e, 0.0) << channel;
    } else {
      EXPECT_EQ(e, 0.0) << channel;  // written: the 999 markers are gone
    }
  }
  destroy(instance);
}

TEST_F(EngineRender, DetuneAndFrequencyFollowTheEvent) {
  // A quarter period of 440 Hz lands on the peak; a note detuned by +1200 cents is an octave up
  // and crosses zero there instead.
  void* instance = createStarted();
  ASSERT_NE(instance, nullptr);
  ASSERT_EQ(call(instance, KELO_OP_PARAMETER_SET, nullptr, nullptr, nullptr, 2, 0.0005f), 0);
  prepareOutputs(2, 512);
  setEvents({midiEvent(0x90, 69, 127, 0, 1200.0f)});
  ASSERT_EQ(process(instance, 512), 0);
  int crossings = 0;
  for (int i = 1; i < 480; ++i) {
    if ((m_outputs[0][static_cast<size_t>(i - 1)] < 0) != (m_outputs[0][static_cast<size_t>(i)] < 0)) ++crossings;
  }
  // 880 Hz over 480 frames (10 ms): 8.8 periods, about 17 sign changes.
  EXPECT_GE(crossings, 16);
  EXPECT_LE(crossings, 18);
  destroy(instance);
}

TEST_F(EngineRender, ProcessExMixesInputsAndSendsMIDIOut) {
  void* instance = createStarted(2, nullptr, 2);
  ASSERT_NE(instance, nullptr);
  std::vector<float> in0(64, 0.5f), in1(64, -0.25f);
  float* inputs[2] = {in0.data(), in1.data()};
  prepareOutputs(2, 64);
  setEvents({midiEvent(0x90, 60, 1, 3), midiEvent(0xF8, 0, 0, 4), midiEvent(0x80, 60, 0, 5)});
  m_midiOut.numEvents = 0;
  ASSERT_EQ(processEx(instance, 64, inputs), 0);
  EXPECT_EQ(m_outputs[0][0], 0.5f);
  EXPECT_EQ(m_outputs[1][0], -0.25f);
  ASSERT_EQ(m_midiOut.numEvents, 2u);
  EXPECT_EQ(m_midiOut.events[0].bytes[0], 0x90);
  EXPECT_EQ(m_midiOut.events[0].frameOffset, 3);
  EXPECT_EQ(m_midiOut.events[1].bytes[0], 0x80);
  destroy(instance);
}

TEST_F(EngineRender, RestoredStateGivesIdenticalChunksAndAudio) {
  void* instance = createStarted();
  ASSERT_NE(instance, nullptr);
  ASSERT_EQ(call(instance, KELO_OP_PARAMETER_SET, nullptr, nullptr, nullptr, 1, 2.0f), 0);
  ASSERT_EQ(call(instance, KELO_OP_PARAMETER_SET, nullptr, nullptr, nullptr, 5, 0.2f), 0);
  const std::vector<std::uint8_t> saved = chunk(instance);
  ASSERT_FALSE(saved.empty());

  auto render = [&](void* target) {
    prepareOutputs(2, 300);
    setEvents({midiEvent(0x90, 57, 90, 10), midiEvent(0x90, 64, 70, 20)});
    EXPECT_EQ(process(target, 300), 0);
    setEvents({midiEvent(0xB0, 120, 0, 0)});
    std::vector<std::vector<float>> audio = m_outputs;
    prepareOutputs(2, 300);
    EXPECT_EQ(process(target, 300), 0);  // silence the voices for the next render
    return audio;
  };
  const auto before = render(instance);

  ASSERT_EQ(call(instance, KELO_OP_PARAMETER_SET, nullptr, nullptr, nullptr, 1, 3.0f), 0);
  ASSERT_EQ(call(instance, KELO_OP_PARAMETER_SET, nullptr, nullptr, nullptr, 0, 0.9f), 0);
  EXPECT_NE(chunk(instance), saved);
  EXPECT_NE(render(instance), before);

  ASSERT_EQ(call(instance, KELO_OP_CHUNK_SET, const_cast<std::uint8_t*>(saved.data()), nullptr,
                 nullptr, static_cast<int>(saved.size())),
            0);
  EXPECT_EQ(chunk(instance), saved);
  EXPECT_EQ(render(instance), before);

  // Creation from the chunk (the VST plug-in's form) equals creation then chunk set.
  void* fromChunk = createStarted(2, &saved);
  ASSERT_NE(fromChunk, nullptr);
  EXPECT_EQ(chunk(fromChunk), saved);
  EXPECT_EQ(render(fromChunk), before);
  destroy(fromChunk);
  destroy(instance);
}

TEST_F(EngineRender, TheGuardWatchesInsideTheBundle) {
  if (!kRealtimeGuarded) GTEST_SKIP() << "runs under the real-time guard only";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // Creation allocates inside the engine: proof that the guard sees the bundle's calls, so the
  // silence of the process calls above means something.
  auto createInRegion = [this] {
    EngineCreateInfo info{0, 2, kKeloHostConstantStandalone, m_dataPath.c_str()};
    void* instance = nullptr;
    RealtimeRegion region;
    call(nullptr, KELO_OP_INSTANCE_CREATE, &info, &instance);
  };
  EXPECT_DEATH(createInRegion(),
      "real-time guard: (malloc|calloc|realloc|free|aligned_alloc|posix_memalign|memalign) "
      "called");
}

}  // namespace
}  // namespace kelo::test
