// The Expression plug-in: controllers 2 and 11 become 1 and 79 becomes 129 on the first
// channel; every other byte and the order stay as they came.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "Sampler/sdk/PluginEntry.h"
#include "effects/small/articulation/Expression.h"
#include "tests/support/EventScript.h"

namespace kelo::test {
namespace {

using vantor::KELOPluginSDK::HDMIDIEvent;
using vantor::KELOPluginSDK::HDMIDIEvents;

TEST(Expression, RemapsFirstChannelControllersOnly) {
  sorvelin::Expression expression(nullptr);
  const MIDIBlockProcess process = blockProcessOf(expression);
  struct Case {
    EventRows in, out;
  };
  const Case cases[] = {
      {{}, {}},
      {{{12, 176, 2, 0.7f}}, {{12, 176, 1, 0.7f}}},
      {{{0, 176, 11, 0.3f}}, {{0, 176, 1, 0.3f}}},
      {{{0, 176, 79, 0.2f}}, {{0, 176, 129, 0.2f}}},
      {{{0, 177, 11, 0.3f}}, {{0, 177, 11, 0.3f}}},
      {{{0, 176, 1, 0.4f}, {1, 176, 129, 0.4f}}, {{0, 176, 1, 0.4f}, {1, 176, 129, 0.4f}}},
      {{{5, 176, 2, 0.1f}, {3, 176, 11, 0.9f}}, {{5, 176, 1, 0.1f}, {3, 176, 1, 0.9f}}},
      {{{0, 144, 79, 0.8f}, {0, 128, 2, 0.0f}}, {{0, 144, 79, 0.8f}, {0, 128, 2, 0.0f}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(runEventScript(process, {c.in}), std::vector<EventRows>{c.out})
        << testing::PrintToString(c.in);
  }
}

TEST(Expression, KeepsTheRawBytesOfAChangedEvent) {
  sorvelin::Expression expression(nullptr);
  auto in = std::make_unique<HDMIDIEvents>();
  auto out = std::make_unique<HDMIDIEvents>();
  in->numEvents = 1;
  in->events[0] = scriptEvent({12, 176, 2, 0.7f});
  std::memset(in->events[0].reserved, 0x5A, sizeof in->events[0].reserved);
  expression.process(nullptr, 256, in.get(), out.get(), nullptr);
  ASSERT_EQ(out->numEvents, 1);
  HDMIDIEvent expected = in->events[0];
  expected.data1 = 1;  // legacy[1] still says 2
  EXPECT_EQ(std::memcmp(&out->events[0], &expected, sizeof expected), 0);
}

TEST(Expression, ACountOutsideTheListIsReadAsTheNearestBound) {
  sorvelin::Expression expression(nullptr);
  auto in = std::make_unique<HDMIDIEvents>();
  auto out = std::make_unique<HDMIDIEvents>();
  for (HDMIDIEvent& event : in->events) event = scriptEvent({0, 176, 11, 0.5f});
  for (std::int64_t count : {std::int64_t{-5}, std::int64_t{5000}, INT64_MAX, INT64_MIN}) {
    in->numEvents = count;
    expression.process(nullptr, 256, in.get(), out.get(), nullptr);
    EXPECT_EQ(out->numEvents, count < 0 ? 0 : 2048) << count;
    if (count > 0) {
      EXPECT_EQ(out->events[2047].data1, 1);
    }
  }
}

TEST(Expression, HasNoParametersAndTakesAnyInitText) {
  sorvelin::Expression expression(nullptr);
  auto list = std::make_unique<HDMIDIEvents>();
  list->numEvents = 2;
  list->events[0] = scriptEvent({0, 176, 7, 0.5f});
  expression.getDefaults(list.get());
  EXPECT_EQ(list->numEvents, 0);
  EXPECT_EQ(list->events[0].data1, 7);  // left in place
  EXPECT_EQ(expression.initEx("anything|low:3", nullptr), 1);
  EXPECT_EQ(expression.initEx(nullptr, nullptr), 1);
  EXPECT_EQ(expression.getNumMIDIIns(), 1u);
  EXPECT_EQ(expression.getNumMIDIOuts(), 1u);
  EXPECT_EQ(expression.getNumAudioIns() + expression.getNumAudioOuts(), 0u);
}

}  // namespace
}  // namespace kelo::test

// The SDK runtime linked into this program asks for its bundle's table.
namespace vantor::KELOPluginSDK {
const BundleTable& bundleTable() {
  static constexpr PluginRow rows[] = {{.identifier = "com.Kelo.Test.Expression",
                                        .create = &makePlugin<sorvelin::Expression>,
                                        .shortName = "Test.Expression",
                                        .displayName = "Kelo\tTest.Expression"}};
  static constexpr BundleTable table{rows, InfoStrings::TextAndNul};
  return table;
}
}  // namespace vantor::KELOPluginSDK
