// Bowkit's plug-ins process without allocating or locking, also with the note stack's pool and
// the output queue full: run under the real-time guard, which aborts on either.
#include <gtest/gtest.h>

#include <memory>

#include "effects/small/Bowkit/Legato.h"
#include "effects/small/Bowkit/Shakes.h"
#include "tests/support/EventScript.h"
#include "tests/support/realtime/RealtimeGuard.h"

namespace kelo::test {
namespace {

using vantor::KELOPluginSDK::HDMIDIEvents;
using vantor::KELOPluginSDK::MAX_MIDIEVENTS_PER_CALL_SDK;

std::unique_ptr<HDMIDIEvents> oneEvent(const EventRow& row) {
  auto list = std::make_unique<HDMIDIEvents>();
  list->numEvents = 1;
  list->events[0] = scriptEvent(row);
  return list;
}

TEST(BowkitRender, ProcessNeitherAllocatesNorLocks) {
  ASSERT_TRUE(kRealtimeGuarded);
  sorvelin::Legato legato(nullptr);
  sorvelin::Shakes shakes(nullptr);
  legato.initEx("low:-5000|high:5000", nullptr);
  shakes.initEx("shift3:|low:-5000|high:5000", nullptr);
  const auto legatoOn = oneEvent({0, 176, 102, 1.0f});
  const auto shakesOn = oneEvent({0, 176, 102, 0.5f});
  const auto allOff = oneEvent({0, 176, 123, 0.0f});
  auto manyKeys = std::make_unique<HDMIDIEvents>();
  auto out = std::make_unique<HDMIDIEvents>();
  // Every note-on a new key: the pool fills, each one queues more than one entry, more than
  // one list carries away, until the queue is full.
  manyKeys->numEvents = MAX_MIDIEVENTS_PER_CALL_SDK;
  for (int i = 0; i < MAX_MIDIEVENTS_PER_CALL_SDK; ++i)
    manyKeys->events[i] = scriptEvent({static_cast<std::uint32_t>(i % 64), 144, i - 1024, 0.5f});
  {
    RealtimeRegion region;
    legato.process(nullptr, 64, legatoOn.get(), out.get(), nullptr);
    shakes.process(nullptr, 64, shakesOn.get(), out.get(), nullptr);
    for (int block = 0; block < 12; ++block) {
      legato.process(nullptr, 64, manyKeys.get(), out.get(), nullptr);
      shakes.process(nullptr, 64, manyKeys.get(), out.get(), nullptr);
    }
    legato.process(nullptr, 64, allOff.get(), out.get(), nullptr);
    shakes.process(nullptr, 64, allOff.get(), out.get(), nullptr);
  }
  EXPECT_GT(legato.held().refusedPushes(), 0u);
  EXPECT_GT(legato.lostEvents(), legato.held().refusedPushes());
  EXPECT_GT(shakes.held().refusedPushes(), 0u);
  EXPECT_GT(shakes.lostEvents(), shakes.held().refusedPushes());
  EXPECT_EQ(out->numEvents, MAX_MIDIEVENTS_PER_CALL_SDK);
}

}  // namespace
}  // namespace kelo::test
