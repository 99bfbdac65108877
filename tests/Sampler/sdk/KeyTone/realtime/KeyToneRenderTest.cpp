// The pre-processor processes without allocating or locking, also with its lists full, zones
// pending and at frame count 0: run under the real-time guard, which aborts on either.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/Sampler/sdk/KeyTone/MIDIProcScripts.h"
#include "tests/support/realtime/RealtimeGuard.h"

namespace kelo::test {
namespace {

using vantor::KELOPluginSDK::HDMIDIEvents;
using vantor::KELOPluginSDK::MAX_MIDIEVENTS_PER_CALL_SDK;

TEST(KeyToneRender, ProcessNeitherAllocatesNorLocks) {
  ASSERT_TRUE(kRealtimeGuarded);
  std::string text = "298|1|299|1|296|20|297|90|295|4";
  for (int zone = 0; zone < 4; ++zone) {
    text.append("|").append(std::to_string(300 + zone)).append("|0.01");
  }
  auto proc = preparedMIDIProc(text.c_str(), 48000);
  auto in = std::make_unique<HDMIDIEvents>();
  auto out = std::make_unique<HDMIDIEvents>();
  in->numEvents = MAX_MIDIEVENTS_PER_CALL_SDK;
  for (int i = 0; i < MAX_MIDIEVENTS_PER_CALL_SDK; ++i) {
    const EventRow row = i % 500 == 0 ? EventRow{0, 176, 489, 0.3f}
                                      : EventRow{0, 176, 64, (i % 3) * 0.5f};
    in->events[i] = scriptEvent(row);
    in->events[i].bufTick = static_cast<std::uint32_t>(i / 8);
  }
  {
    RealtimeRegion region;
    for (std::int32_t frames : {256, 256, 0, 100, 512})
      proc->process(nullptr, frames, in.get(), out.get(), nullptr);
  }
  EXPECT_GT(proc->droppedEvents(), 0u);
}

}  // namespace
}  // namespace kelo::test
