// The piano MIDI pre-processor driven directly: its scripts, its init text and default list,
// the half-pedal values' raw bytes, the window by rate, and the limits it keeps.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "tests/Sampler/sdk/KeyTone/MIDIProcScripts.h"

namespace kelo::test {
namespace {

using vantor::KELOPluginSDK::HDMIDIEvent;
using vantor::KELOPluginSDK::HDMIDIEvents;

TEST(MIDIProc, FollowsItsScripts) {
  for (const MIDIProcScript& script : midiProcScripts())
    EXPECT_EQ(runMIDIProcScript(script), script.out) << script.name;
}

// The default list as bytes: every event status 176 at tick 0, all other bytes 0.
void expectDefaults(acme::MIDIProc& proc, const std::vector<std::pair<int, float>>& events) {
  auto list = std::make_unique<HDMIDIEvents>();
  auto expected = std::make_unique<HDMIDIEvents>();
  std::memset(static_cast<void*>(list.get()), 0x5A, sizeof *list);
  std::memset(static_cast<void*>(expected.get()), 0, sizeof *expected);
  for (const auto& [number, value] : events) {
    HDMIDIEvent& event = expected->events[expected->numEvents++];
    event.status = 176;
    event.data1 = number;
    event.data2 = value;
  }
  proc.getDefaults(list.get());
  EXPECT_EQ(std::memcmp(list.get(), expected.get(), sizeof *list), 0);
}

TEST(MIDIProc, TheEmptyInitTextGivesTheDefaults) {
  for (const char* text : {"", static_cast<const char*>(nullptr), "x|y"}) {
    SCOPED_TRACE(text ? text : "(null)");
    auto proc = preparedMIDIProc(text, 44100);
    EXPECT_EQ(proc->getNumMIDIIns(), 1u);
    EXPECT_EQ(proc->getNumMIDIOuts(), 1u);
    EXPECT_EQ(proc->getNumAudioIns() + proc->getNumAudioOuts(), 0u);
    EXPECT_EQ(proc->runtimeControllerNumber(0), 298u);
    EXPECT_TRUE(proc->zonesOn());
    EXPECT_EQ(proc->runtimeControllerNumber(1), 299u);
    EXPECT_FALSE(proc->halfPedal());
    EXPECT_EQ(proc->runtimeControllerNumber(2), 296u);
    EXPECT_EQ(proc->lowThreshold(), 0.25f);
    EXPECT_EQ(proc->runtimeControllerNumber(3), 297u);
    EXPECT_EQ(proc->highThreshold(), 0.5f);
    EXPECT_EQ(proc->crossingController(), 295);
    EXPECT_EQ(proc->zoneCount(), 0u);
    expectDefaults(*proc, {{298, 1.0f}, {299, 0.0f}, {296, 0.25f}, {297, 0.5f}, {489, 0.5f}});
  }
}

TEST(MIDIProc, TheInitTextDeclaresZonesByCompletePairs) {
  auto proc = preparedMIDIProc("298|1|299|0|296|32|297|64|295|1|300|0.05", 44100);
  EXPECT_EQ(proc->lowThreshold(), static_cast<float>(32.0 / 127.0));
  EXPECT_EQ(proc->highThreshold(), static_cast<float>(64.0 / 127.0));
  ASSERT_EQ(proc->zoneCount(), 1u);
  EXPECT_EQ(proc->zoneController(0), 300u);
  EXPECT_EQ(proc->zoneDelay(0), 2205u);
  expectDefaults(*proc, {{300, 0.0f},
                         {298, 1.0f},
                         {299, 0.0f},
                         {296, static_cast<float>(32.0 / 127.0)},
                         {297, static_cast<float>(64.0 / 127.0)},
                         {489, 0.5f}});

  struct Case {
    const char* text;
    std::uint64_t zones;
  };
  const Case cases[] = {
      {"298|1|299|0|296|32|297|64|295|1|300", 0},  // the zone's delay is missing
      {"298|1|299|0|296|32|297|64|295|3|300|0|301|0", 2},
      {"298|1|299|0|296|32|297|64|295|2|300|x|301|0", 0},
      {"298|1|299|0|296|32|297|64|295|-4|300|0", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(preparedMIDIProc(c.text, 44100)->zoneCount(), c.zones);
  std::string many = "298|1|299|0|296|32|297|64|295|500";
  for (int zone = 0; zone < 200; ++zone) {
    many.append("|").append(std::to_string(300 + zone)).append("|0");
  }
  EXPECT_EQ(preparedMIDIProc(many.c_str(), 44100)->zoneCount(), 127u);
}

// Controller numbers saturate: negative gives 0, which disables that run-time controller.
TEST(MIDIProc, ControllerNumbersSaturate) {
  auto proc = preparedMIDIProc("-5|1|1e30|0|-1|32|0|64|-7", 44100);
  EXPECT_EQ(proc->runtimeControllerNumber(0), 0u);
  EXPECT_EQ(proc->runtimeControllerNumber(1), std::numeric_limits<std::uint64_t>::max());
  EXPECT_EQ(proc->runtimeControllerNumber(2), 0u);
  EXPECT_EQ(proc->runtimeControllerNumber(3), 0u);
  EXPECT_EQ(proc->crossingController(), -7);
  // Controller 0 (bank select) switches nothing.
  runEventScript(blockProcessOf(*proc), {{{0, 176, 0, 0.0f}}}, EventBytes::RowsOnly);
  EXPECT_TRUE(proc->zonesOn());
  EXPECT_EQ(proc->lowThreshold(), static_cast<float>(32.0 / 127.0));
}

TEST(MIDIProc, HalfPedalValuesCarryTheirRawByte) {
  struct Case {
    float raw, value;
    std::uint8_t byte;
  };
  const Case cases[] = {{0.375f, 0.5f, 64}, {0.2f, 0.0f, 0}, {0.6f, 1.0f, 127}};
  for (const Case& c : cases) {
    auto proc = preparedMIDIProc("298|1|299|1", 44100);
    auto in = std::make_unique<HDMIDIEvents>();
    auto out = std::make_unique<HDMIDIEvents>();
    in->numEvents = 1;
    in->events[0] = scriptEvent({3, 177, 64, c.raw});
    in->events[0].legacy[1] = 99;  // data1 decides
    proc->process(nullptr, 256, in.get(), out.get(), nullptr);
    ASSERT_EQ(out->numEvents, 1) << c.raw;
    EXPECT_EQ(out->events[0].status, 177);
    EXPECT_EQ(out->events[0].data2, c.value) << c.raw;
    EXPECT_EQ(out->events[0].legacy[1], 64);
    EXPECT_EQ(out->events[0].legacy[2], c.byte) << c.raw;
  }
}

TEST(MIDIProc, TheThinningWindowFollowsTheRate) {
  const std::pair<double, std::uint64_t> cases[] = {
      {44100, 128}, {48000, 128}, {88200, 256}, {96000, 256}, {192000, 512}};
  for (const auto& [rate, window] : cases)
    EXPECT_EQ(preparedMIDIProc("", rate)->thinWindowFrames(), window) << rate;
}

TEST(MIDIProc, ANaNThresholdIsIgnored) {
  auto proc = preparedMIDIProc("", 44100);
  runEventScript(blockProcessOf(*proc), {{{0, 176, 296, NAN}, {1, 176, 297, NAN}}},
                 EventBytes::RowsOnly);
  EXPECT_EQ(proc->lowThreshold(), 0.25f);
  EXPECT_EQ(proc->highThreshold(), 0.5f);
}

TEST(MIDIProc, ANegativeFrameCountDoesNothing) {
  auto proc = preparedMIDIProc(kOneZone, 1000);
  auto in = std::make_unique<HDMIDIEvents>();
  auto out = std::make_unique<HDMIDIEvents>();
  in->numEvents = 1;
  in->events[0] = scriptEvent({0, 176, 64, 1.0f});
  out->numEvents = 7;
  proc->process(nullptr, -64, in.get(), out.get(), nullptr);
  EXPECT_EQ(out->numEvents, 7);
  EXPECT_EQ(proc->pendingZoneEvents(), 0u);
  proc->process(nullptr, 64, in.get(), out.get(), nullptr);
  EXPECT_EQ(proc->pendingZoneEvents(), 1u);
  proc->start();
  EXPECT_EQ(proc->pendingZoneEvents(), 0u);
}

}  // namespace
}  // namespace kelo::test
