#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "VNL/source/ProductConf.h"
#include "tests/plugins/au/SamplerAUFixture.h"
#include "tests/support/realtime/RealtimeGuard.h"

namespace {

using kelo::test::anyNonZero;
using kelo::test::RealtimeRegion;
using SamplerAURenderTest = kelo::test::SamplerAUFixture;

std::atomic<int> g_received{0};

void countMIDIOutput(void*, const AudioTimeStamp*, UInt32, const MIDIPacketList* list) {
  g_received.fetch_add(static_cast<int>(list->numPackets));
}

OSStatus beatAndTempo(void*, Float64* beat, Float64* tempo) {
  *beat = 3.5;
  *tempo = 90.0;
  return noErr;
}

// Queued MIDI, engine MIDI output, the host's transport and an extra output buffer: the whole
// render path, on the marked thread.
TEST_F(SamplerAURenderTest, RenderNeitherAllocatesNorLocks) {
  installEngine();
  auto host = openHost(1, 3);
  g_received = 0;
  ASSERT_EQ(host->setMIDIOutput(&countMIDIOutput, nullptr), noErr);
  ASSERT_EQ(host->setHostCallbacks({nullptr, &beatAndTempo, nullptr, nullptr, nullptr}), noErr);
  ASSERT_EQ(host->initialize(), noErr);
  host->prepareBuffers(512);
  for (int slice = 0; slice < 8; ++slice) {
    for (int note = 0; note < 100; ++note) ASSERT_EQ(host->midi(0x90, 40 + note % 40, 90, (note * 5) % 512), noErr);
    RealtimeRegion region;
    ASSERT_EQ(host->render(512), noErr);
  }
  EXPECT_EQ(g_received.load(), 800);
  EXPECT_TRUE(anyNonZero(host->output(0, 0)));
  EXPECT_TRUE(findings().empty());
}

// The host's MIDI delivery on its own thread against the render thread: every event is either
// delivered to the engine (and comes back as its MIDI output) or refused as a full ring.
TEST_F(SamplerAURenderTest, AMidiThreadFeedsTheRingWhileRenderRuns) {
  installEngine();
  auto host = openHost();
  g_received = 0;
  ASSERT_EQ(host->setMIDIOutput(&countMIDIOutput, nullptr), noErr);
  ASSERT_EQ(host->initialize(), noErr);
  host->prepareBuffers(256);
  constexpr int kEvents = 20000;
  std::atomic<bool> done{false};
  std::thread producer([&] {
    for (int i = 0; i < kEvents; ++i) {
      host->midi(i % 2 == 0 ? 0x90 : 0x80, 60 + i % 12, 80, static_cast<UInt32>(i % 256));
      if (i % 64 == 0) std::this_thread::yield();
    }
    done = true;
  });
  int slices = 0;
  while (!done.load() && slices < 3000) {
    ASSERT_EQ(host->render(256), noErr);
    ++slices;
  }
  producer.join();
  ASSERT_EQ(host->render(256), noErr);  // what came after the last slice
  host.reset();
  EXPECT_EQ(g_received.load() + logCount("MIDI QUEUE ERROR"), kEvents);
  EXPECT_TRUE(findings().empty());
}

// The engine calls back from a thread of its own while the host renders and reads
// parameters: messages, parameter changes and slot changes reach the log and the listeners.
TEST_F(SamplerAURenderTest, EngineCallbacksFromAnotherThreadDuringRender) {
  installEngine();
  auto host = openHost();
  ASSERT_EQ(host->initialize(), noErr);
  void* instance = nullptr;
  UInt32 size = sizeof instance;
  ASSERT_EQ(host->getProperty(64002, kAudioUnitScope_Global, 0, &instance, size), noErr);
  ASSERT_EQ(host->listenToParameters(), noErr);
  ASSERT_EQ(host->listen(kAudioUnitProperty_ParameterList), noErr);
  host->prepareBuffers(256);
  constexpr int kRounds = 50;
  std::atomic<bool> done{false};
  std::thread engineThread([&] {
    for (int round = 0; round < kRounds; ++round) {
      KeloTestHostCall message{KELO_HOST_MESSAGE, 0, 0, 0, 0.0f, const_cast<char*>("Title"), const_cast<char*>("Text"), -1};
      KeloTestHostCall changed{KELO_HOST_PARAMETER_CHANGED, 0, round % 16, 0, 0.0f, nullptr, nullptr, -1};
      KeloTestHostCall slot{KELO_HOST_SLOT_CHANGED, round, 0, 0, 0.0f, nullptr, nullptr, -1};
      for (KeloTestHostCall* call : {&message, &changed, &slot}) control(KELO_TEST_CALL_HOST, instance, call);
    }
    done = true;
  });
  Float32 value = 0.0f;
  while (!done.load()) {
    ASSERT_EQ(host->render(256), noErr);
    ASSERT_EQ(host->getParameter(3, kAudioUnitScope_Global, 0, value), noErr);
  }
  engineThread.join();
  // Each round: three gesture events, sixteen described values and the list change.
  EXPECT_EQ(host->parameterChanges().size(), static_cast<std::size_t>(kRounds * (3 + 16 + 1)));
  EXPECT_EQ(host->notifications().size(), static_cast<std::size_t>(kRounds));
  EXPECT_EQ(logCount("KELO INFO: Title:Title Content:Text"), kRounds);
  EXPECT_TRUE(findings().empty());
}

// A host setting parameters the unit never declared, from the render thread, while another
// thread reads a declared one: each is refused without allocating, and the list keeps its size.
TEST_F(SamplerAURenderTest, UndeclaredParametersAreRefusedOnTheRenderThread) {
  installEngine();
  auto host = openHost();
  ASSERT_EQ(host->initialize(), noErr);
  host->prepareBuffers(256);
  UInt32 listSize = 0;
  bool writable = true;
  ASSERT_EQ(host->getPropertyInfo(kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, listSize, writable),
            noErr);
  ASSERT_EQ(listSize, conf.numParams * sizeof(AudioUnitParameterID));
  std::atomic<bool> done{false};
  std::thread reader([&] {
    Float32 value = 0.0f;
    while (!done.load()) EXPECT_EQ(host->getParameter(1, kAudioUnitScope_Global, 0, value), noErr);
  });
  const AudioUnitParameterID undeclared[] = {conf.numParams, conf.numParams + 7, 0x7FFFFFFF, 0xFFFFFFFF};
  for (int slice = 0; slice < 50; ++slice) {
    RealtimeRegion region;
    for (AudioUnitParameterID id : undeclared)
      EXPECT_EQ(host->setParameter(id, kAudioUnitScope_Global, 0, 0.5f),
                kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(host->setParameter(0, kAudioUnitScope_Output, 0, 0.5f), kAudioUnitErr_InvalidParameter);
    ASSERT_EQ(host->render(256), noErr);
  }
  done = true;
  reader.join();
  Float32 value = 0.0f;
  EXPECT_EQ(host->getParameter(conf.numParams, kAudioUnitScope_Global, 0, value), kAudioUnitErr_InvalidParameter);
  ASSERT_EQ(host->getPropertyInfo(kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, listSize, writable),
            noErr);
  EXPECT_EQ(listSize, conf.numParams * sizeof(AudioUnitParameterID));
  EXPECT_TRUE(findings().empty());
}

}  // namespace
