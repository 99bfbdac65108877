// Phrasekit's plug-ins process without allocating or locking, also with the note stack's pool
// and the output queue full: run under the real-time guard, which aborts on either.
#include <gtest/gtest.h>

#include <memory>

#include "effects/small/Phrasekit/Monophonic.h"
#include "effects/small/Phrasekit/SoloControl.h"
#include "effects/small/articulation/Expression.h"
#include "tests/support/EventScript.h"
#include "tests/support/realtime/RealtimeGuard.h"

namespace kelo::test {
namespace {

using vantor::KELOPluginSDK::HDMIDIEvents;
using vantor::KELOPluginSDK::MAX_MIDIEVENTS_PER_CALL_SDK;

TEST(PhrasekitRender, ProcessNeitherAllocatesNorLocks) {
  ASSERT_TRUE(kRealtimeGuarded);
  sorvelin::Monophonic mono(nullptr);
  sorvelin::SoloControl solo(nullptr);
  sorvelin::Expression expression(nullptr);
  mono.initEx("low:-5000|high:5000", nullptr);
  solo.initEx("low:-5000|high:5000", nullptr);
  auto monoOn = std::make_unique<HDMIDIEvents>();
  auto manyKeys = std::make_unique<HDMIDIEvents>();
  auto out = std::make_unique<HDMIDIEvents>();
  monoOn->numEvents = 1;
  monoOn->events[0] = scriptEvent({0, 176, 102, 1.0f});
  // Every note-on a new key: the pool fills, and each one queues two entries, more than one
  // list carries away, until the queue is full.
  manyKeys->numEvents = MAX_MIDIEVENTS_PER_CALL_SDK;
  for (int i = 0; i < MAX_MIDIEVENTS_PER_CALL_SDK; ++i)
    manyKeys->events[i] = scriptEvent({static_cast<std::uint32_t>(i % 256), 144, i - 1024, 0.5f});
  {
    RealtimeRegion region;
    mono.process(nullptr, 256, monoOn.get(), out.get(), nullptr);
    solo.process(nullptr, 256, monoOn.get(), out.get(), nullptr);
    for (int block = 0; block < 6; ++block) {
      mono.process(nullptr, 256, manyKeys.get(), out.get(), nullptr);
      solo.process(nullptr, 256, manyKeys.get(), out.get(), nullptr);
      expression.process(nullptr, 256, manyKeys.get(), out.get(), nullptr);
    }
    solo.stop();
    solo.process(nullptr, 256, monoOn.get(), out.get(), nullptr);
    mono.process(nullptr, 256, monoOn.get(), out.get(), nullptr);
  }
  EXPECT_GT(solo.held().refusedPushes(), 0u);
  EXPECT_GT(solo.lostEvents(), solo.held().refusedPushes());
  EXPECT_GT(mono.held().refusedPushes(), 0u);
  EXPECT_GT(mono.lostEvents(), mono.held().refusedPushes());
  EXPECT_EQ(out->numEvents, MAX_MIDIEVENTS_PER_CALL_SDK);
}

}  // namespace
}  // namespace kelo::test
