// The base classes and helpers as a plug-in sees them, without a bundle in between.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "Sampler/sdk/DefaultAlloc.h"
#include "Sampler/sdk/PluginEntry.h"
#include "tests/Sampler/sdk/TestPlugins.h"

namespace kelo::test {
namespace {

struct RecordingHost {
  Host host{&RecordingHost::callback};
  std::int32_t answer = 0;
  std::vector<std::int32_t> opcodes;

  static std::int32_t callback(Host* self, std::int32_t opcode, std::int32_t argument,
                               void* data) {
    auto* me = reinterpret_cast<RecordingHost*>(self);
    me->opcodes.push_back(opcode);
    EXPECT_EQ(argument, 0);
    EXPECT_EQ(*static_cast<std::int32_t*>(data), 0);
    if (me->answer != 0) *static_cast<std::int32_t*>(data) = me->answer;
    return 0;
  }
};

TEST(BaseClass, HostSDKVersionAsksTheHostOnlyWhenThereIsOne) {
  EXPECT_EQ(PassThrough(nullptr).getHostSDKVersion(), 1906);
  RecordingHost host;
  EXPECT_EQ(PassThrough(&host.host).getHostSDKVersion(), 0);
  host.answer = 2001;
  EXPECT_EQ(PassThrough(&host.host).getHostSDKVersion(), 2001);
  EXPECT_EQ(host.opcodes, (std::vector<std::int32_t>{HOSTOP_GET_SDK_VERSION, HOSTOP_GET_SDK_VERSION}));
}

class Exposed : public PassThrough {
 public:
  using PassThrough::PassThrough;
  const DSPInfo& info() const { return dspInfo; }
};

TEST(BaseClass, DefaultSettingsAndTheirCopy) {
  Exposed plugin(nullptr);
  EXPECT_EQ(plugin.info().sampleRate, 44100.0);
  EXPECT_EQ(plugin.info().sampleRateInt, 44100);
  EXPECT_EQ(plugin.info().samplePeriod, 1.0 / 44100.0);
  EXPECT_EQ(plugin.info().maxBlockSize, 256);
  EXPECT_EQ(plugin.info().blockDuration, 256.0 / 44100.0);
  EXPECT_EQ(plugin.info().inverseBlockSize, 1.0 / 256.0);
  DSPInfo info{96000.0, 96000, 1.0 / 96000, 512, 512.0 / 96000, 1.0 / 512, {1, 2, 3, 4, 5}};
  plugin.setDSPInfo(&info);
  EXPECT_EQ(std::memcmp(&plugin.info(), &info, 53), 0);
  PluginStruct* handle = plugin.getPluginStruct();
  EXPECT_EQ(handle->object, static_cast<Plugin*>(&plugin));
  EXPECT_EQ(handle->dispatcher, &plugin_dispatch1);
}

TEST(BaseClass, MidiSortIsAnUnsignedTickOrderThatKeepsEqualTicks) {
  std::vector<HDMIDIEvent> events(5);
  const std::uint32_t ticks[] = {5, 0x80000000u, 1, 5, 0};
  for (int i = 0; i < 5; ++i) {
    events[i].bufTick = ticks[i];
    events[i].data1 = i;
  }
  std::stable_sort(events.begin(), events.end(), midiSort);
  std::vector<std::int32_t> order;
  for (const HDMIDIEvent& e : events) order.push_back(e.data1);
  EXPECT_EQ(order, (std::vector<std::int32_t>{4, 2, 0, 3, 1}));
}

TEST(BaseClass, AllocationFunctions) {
  auto* block = static_cast<unsigned char*>(vantor::defaultAlloc(100));
  ASSERT_NE(block, nullptr);
  EXPECT_TRUE(std::all_of(block, block + 100, [](unsigned char b) { return b == 0; }));
  block[99] = 7;
  block = static_cast<unsigned char*>(vantor::defaultRealloc(block, 200));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block[99], 7);
  void* shrunk = vantor::defaultRealloc(block, 0);
  ASSERT_NE(shrunk, nullptr);  // still a valid block, not freed behind the caller's back
  vantor::defaultFree(shrunk);
  vantor::defaultFree(nullptr);
  void* empty = vantor::defaultAlloc(0);
  EXPECT_NE(empty, nullptr);
  vantor::defaultFree(empty);
}

}  // namespace
}  // namespace kelo::test
