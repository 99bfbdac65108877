// Two bundles carrying the same runtime and the same class names, loaded into one process,
// each keep to their own code, even when the first one's symbols are made global.
#include <gtest/gtest.h>

#include <vector>

#include "tests/Sampler/sdk/LoadedBundle.h"
#include "tests/Sampler/sdk/TestPlugins.h"

namespace kelo::test {
namespace {

float markOf(LoadedBundle& bundle) {
  Host host{[](Host*, std::int32_t, std::int32_t, void*) { return 0; }};
  PluginStruct* handle = bundle.create(kMarkerId, &host);
  if (handle == nullptr) return -1.0f;
  std::vector<float> samples(16, 0.0f);
  float* channels[1] = {samples.data()};
  EXPECT_EQ(reinterpret_cast<void*>(handle->dispatcher), bundle.symbol("plugin_dispatch1"));
  EXPECT_EQ(reinterpret_cast<void*>(handle->processor), bundle.symbol("plugin_process"));
  handle->processor(handle, channels, 16, nullptr, nullptr, nullptr);
  bundle.destroy(handle);
  return samples[15];
}

struct Order {
  const char* first;
  const char* second;
  float firstMark, secondMark;
  int firstCount, secondCount;
};

TEST(BundleIsolation, EachBundleBindsItsOwnSymbols) {
  for (Order order : {Order{KELO_TEST_PLUGINS_SO, KELO_TEST_MIDI_SO, 1.0f, 2.0f, 7, 3},
                      Order{KELO_TEST_MIDI_SO, KELO_TEST_PLUGINS_SO, 2.0f, 1.0f, 3, 7}}) {
    LoadedBundle first(order.first, RTLD_NOW | RTLD_GLOBAL);
    LoadedBundle second(order.second, RTLD_NOW | RTLD_LOCAL);
    ASSERT_TRUE(first.ok() && second.ok());
    EXPECT_NE(first.symbol("plugin_dispatch1"), second.symbol("plugin_dispatch1"));
    EXPECT_EQ(first.count(), order.firstCount);
    EXPECT_EQ(second.count(), order.secondCount);
    EXPECT_EQ(markOf(first), order.firstMark);
    EXPECT_EQ(markOf(second), order.secondMark);
  }
}

}  // namespace
}  // namespace kelo::test
