// The timbre shift stage: its zones, the folding of shifted keys, note-offs following their
// note-ons, the controllers that come with a shift, and a full output list.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "Sampler/sdk/KeyTone/TimbreShift.h"
#include "tests/support/EventScript.h"

namespace kelo::test {
namespace {

using vantor::KELOPluginSDK::HDMIDIEvent;
using vantor::KELOPluginSDK::HDMIDIEvents;

// One block through `shift`.
EventRows run(TimbreShift& shift, const EventRows& rows) {
  const auto out = runEventScript(
      [&shift](const HDMIDIEvents& in, HDMIDIEvents& sent) { shift.process(&in, &sent); }, {rows},
      EventBytes::RowsOnly);
  return out[0];
}

// A transpose controller at `tick` that sets `semitones`, with what follows it.
EventRows transposeRows(std::uint32_t tick, float value, int semitones) {
  return {{tick, 176, 489, value},
          {tick, 176, 123, 0.0f},
          {tick, 176, 64, 0.0f},
          {tick, 176, 490, static_cast<float>(-semitones)}};
}

TEST(TimbreShift, TheControllerValuePicksTheZone) {
  struct Case {
    float value;
    int shift;
  };
  const Case cases[] = {{0.5f, 0},   {0.45f, 0},   {0.56f, 0},    {0.561f, -1}, {0.0f, 6},
                        {1.0f, -12}, {100.0f, -12}, {0.65f, -3},  {0.33f, 2},   {0.073f, 6},
                        {0.074f, 5}, {-1.0f, 6}};
  for (const Case& c : cases) {
    TimbreShift shift;
    EXPECT_EQ(run(shift, {{5, 176, 489, c.value}}), transposeRows(5, c.value, c.shift)) << c.value;
    EXPECT_EQ(shift.shift(), c.shift) << c.value;
  }
  // No zone: the shift stays and nothing silences the instrument.
  for (float value : {100.1f, NAN}) {
    TimbreShift shift;
    run(shift, {{0, 176, 489, 0.65f}});
    const EventRows out = run(shift, {{5, 176, 489, value}});
    ASSERT_EQ(out.size(), 1u) << value;
    EXPECT_EQ(out[0].data1, 489);
    EXPECT_EQ(shift.shift(), -3) << value;
  }
}

TEST(TimbreShift, ShiftedKeysFoldIntoTheKeyboardByOctaves) {
  struct Case {
    float value;  // the transpose controller
    std::int32_t key, sent;
  };
  const Case cases[] = {
      {1.0f, 5, 5},    {0.0f, 125, 119}, {0.65f, 60, 57}, {0.0f, 127, 121},
      {1.0f, 0, 0},    {1.0f, 11, 11},   {1.0f, 12, 0},   {0.33f, 126, 116},
      {0.5f, 60, 60},
      // Outside the keyboard a key passes as it came.
      {0.0f, -1, -1},  {0.0f, 128, 128},
  };
  for (const Case& c : cases) {
    TimbreShift shift;
    run(shift, {{0, 176, 489, c.value}});
    EXPECT_EQ(run(shift, {{1, 145, c.key, 0.5f}, {2, 129, c.key, 0.0f}}),
              (EventRows{{1, 145, c.sent, 0.5f}, {2, 129, c.sent, 0.0f}}))
        << c.value << " " << c.key;
  }
}

TEST(TimbreShift, ANoteOffFollowsItsNoteOnAcrossAChangeOfShift) {
  TimbreShift shift;
  EXPECT_EQ(run(shift, {{0, 176, 489, 0.33f}, {1, 144, 60, 0.5f}, {2, 176, 489, 0.5f},
                        {3, 128, 60, 0.2f}, {4, 144, 64, 0.5f}, {5, 144, 64, 0.0f}}),
            concat({transposeRows(0, 0.33f, 2),
                    {{1, 144, 62, 0.5f}},
                    transposeRows(2, 0.5f, 0),
                    {{3, 128, 62, 0.2f}, {4, 144, 64, 0.5f}, {5, 144, 64, 0.0f}}}));
}

// Each follower is a copy of the one before: status, reserved and tick of the controller, the
// raw bytes changed as each one says.
TEST(TimbreShift, TheFollowersCopyTheControllersRawBytes) {
  auto in = std::make_unique<HDMIDIEvents>();
  auto out = std::make_unique<HDMIDIEvents>();
  in->numEvents = 1;
  in->events[0] = scriptEvent({17, 177, 489, 0.65f});
  in->events[0].legacy[3] = 9;
  in->events[0].reserved[4] = 7;
  TimbreShift shift;
  shift.process(in.get(), out.get());
  ASSERT_EQ(out->numEvents, 4);
  const std::uint8_t raw[4][4] = {
      {177, 489 & 0xFF, 83, 9}, {177, 123, 0, 9}, {177, 64, 0, 9}, {177, 64, 0, 0}};
  for (int i = 0; i < 4; ++i) {
    const HDMIDIEvent& event = out->events[i];
    EXPECT_EQ(event.status, 177);
    EXPECT_EQ(event.bufTick, 17u);
    EXPECT_EQ(event.reserved[4], 7);
    for (int b = 0; b < 4; ++b) EXPECT_EQ(event.legacy[b], raw[i][b]) << i << " " << b;
  }
  EXPECT_EQ(out->events[3].data2, 3.0f);
}

// Three free slots cannot take a shift with its three followers: the controller is dropped
// with them and the shift stays; a later event that fits still goes out.
TEST(TimbreShift, AShiftNeedsFourFreeSlots) {
  EventRows in(2045, EventRow{0, 224, 0, 0.5f});
  in.push_back({1, 176, 489, 0.65f});
  in.push_back({2, 144, 60, 0.5f});
  TimbreShift shift;
  const EventRows out = run(shift, in);
  ASSERT_EQ(out.size(), 2046u);
  EXPECT_EQ(out.back(), (EventRow{2, 144, 60, 0.5f}));
  EXPECT_EQ(shift.shift(), 0);
}

TEST(TimbreShift, TheDefaultValueIsTheMiddleOfTheZoneWithoutShift) {
  TimbreShift shift;
  EXPECT_EQ(shift.GetTransposeCCNum(), 489);
  EXPECT_EQ(shift.GetTransposeCCDefaultValue(), 0.5f);
}

}  // namespace
}  // namespace kelo::test
