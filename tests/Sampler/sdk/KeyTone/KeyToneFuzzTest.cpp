// Dense random blocks through the pre-processor (under the sanitizers in CI): every list stays
// within its 2048 events, what does not fit is dropped, and the zone queue holds at most one
// entry per zone.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>

#include "tests/Sampler/sdk/KeyTone/MIDIProcScripts.h"

namespace kelo::test {
namespace {

using vantor::KELOPluginSDK::HDMIDIEvents;
using vantor::KELOPluginSDK::MAX_MIDIEVENTS_PER_CALL_SDK;

TEST(KeyToneFuzz, FullListsDropWhatDoesNotFitAndWriteNothingOutside) {
  std::string text = "298|1|299|1|296|20|297|90|295|127";
  std::mt19937 random(20261212);
  for (int zone = 0; zone < 127; ++zone) {
    text.append("|").append(std::to_string(300 + zone));
    text.append("|").append(std::to_string((random() % 100) / 1000.0));
  }
  auto proc = preparedMIDIProc(text.c_str(), 48000);
  ASSERT_EQ(proc->zoneCount(), 127u);

  auto in = std::make_unique<HDMIDIEvents>();
  auto out = std::make_unique<HDMIDIEvents>();
  const float values[] = {0.0f, 1.0f, 0.1f, 0.3f, 0.7f, 0.5f, -1.0f, 2.0f, NAN};
  for (int block = 0; block < 60; ++block) {
    const auto frames = std::uniform_int_distribution<std::int32_t>(0, 300)(random);
    in->numEvents = MAX_MIDIEVENTS_PER_CALL_SDK;
    for (std::int64_t i = 0; i < in->numEvents; ++i) {
      const bool tail = i >= in->numEvents - 8;  // transpose controllers near the full end
      const EventRow row =
          tail ? EventRow{0, 176, 489, (random() % 101) / 100.0f}
               : EventRow{0, 176 | static_cast<std::int32_t>(random() % 2), i % 7 == 0 ? 296 + static_cast<std::int32_t>(random() % 4) : 64,
                          i % 2 == 0 ? 0.0f : values[random() % std::size(values)]};
      in->events[i] = scriptEvent(row);
      in->events[i].bufTick =
          frames > 0 ? static_cast<std::uint32_t>(i * frames / in->numEvents) : 0;
    }
    out->numEvents = -1;
    proc->process(nullptr, frames, in.get(), out.get(), nullptr);
    ASSERT_GE(out->numEvents, 0);
    ASSERT_LE(out->numEvents, MAX_MIDIEVENTS_PER_CALL_SDK);
    ASSERT_LE(proc->pendingZoneEvents(), proc->zoneCount());
  }
  EXPECT_GT(proc->droppedEvents(), 0u);
}

}  // namespace
}  // namespace kelo::test
