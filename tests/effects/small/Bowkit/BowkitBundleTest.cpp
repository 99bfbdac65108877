// Bowkit.bundle as the engine and kelo-plugin-run see it: its records, its own copy of the
// articulation code beside Phrasekit's in one process, and the Shakes scripts run through the
// program across block boundaries.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <memory>

#include "tests/Sampler/sdk/PluginInfoCheck.h"
#include "tests/effects/small/Bowkit/ShakesScripts.h"

namespace kelo::test {
namespace {

using vantor::KELOPluginSDK::HDMIDIEvents;
using vantor::KELOPluginSDK::Host;
using vantor::KELOPluginSDK::PluginStruct;

TEST(BowkitBundle, ListsItsPluginsIn255ByteFields) {
  LoadedBundle bundle(KELO_BOWKIT_SO);
  expectInfoRows(
      bundle,
      {{"com.Sorvelin.Bowkit.Legato", "Bowkit.Legato", "Sorvelin\tBowkit.Legato", {}},
       {"com.Sorvelin.Bowkit.Expression", "Bowkit.Expression", "Sorvelin\tBowkit.Expression", {}},
       {"com.Sorvelin.Bowkit.Shakes", "Bowkit.Shakes", "Sorvelin\tBowkit.Shakes", {}}},
      true);
}

// The shared object that holds `address`, by its load address.
const void* imageOf(const void* address) {
  Dl_info info{};
  return dladdr(address, &info) != 0 ? info.dli_fbase : nullptr;
}

// An Expression instance of `bundle`: its entry points and its class's virtual table come from
// that bundle's image, and it remaps a breath controller.
void expectOwnExpression(LoadedBundle& bundle, const char* identifier) {
  SCOPED_TRACE(identifier);
  const void* image = imageOf(bundle.symbol("getNumKeloPlugins"));
  ASSERT_NE(image, nullptr);
  Host host{[](Host*, std::int32_t, std::int32_t, void*) { return 0; }};
  PluginStruct* handle = bundle.create(identifier, &host);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(imageOf(reinterpret_cast<void*>(handle->dispatcher)), image);
  EXPECT_EQ(imageOf(reinterpret_cast<void*>(handle->processor)), image);
  EXPECT_EQ(imageOf(*static_cast<void**>(handle->object)), image);
  auto in = std::make_unique<HDMIDIEvents>();
  auto out = std::make_unique<HDMIDIEvents>();
  in->numEvents = 1;
  in->events[0] = scriptEvent({3, 176, 2, 0.7f});
  out->numEvents = 0;
  handle->processor(handle, nullptr, 0, in.get(), out.get(), nullptr);
  EXPECT_EQ(out->numEvents, 1);
  EXPECT_EQ(scriptRow(out->events[0]), (EventRow{3, 176, 1, 0.7f}));
  bundle.destroy(handle);
}

// Both bundles compile the same articulation classes; whichever is loaded first and made
// global, each keeps to its own copy.
TEST(BowkitBundle, KeepsToItsOwnCopyBesidePhrasekit) {
  for (bool phrasekitFirst : {true, false}) {
    SCOPED_TRACE(phrasekitFirst ? "Phrasekit first" : "Bowkit first");
    LoadedBundle first(phrasekitFirst ? KELO_PHRASEKIT_SO : KELO_BOWKIT_SO,
                       RTLD_NOW | RTLD_GLOBAL);
    LoadedBundle second(phrasekitFirst ? KELO_BOWKIT_SO : KELO_PHRASEKIT_SO,
                        RTLD_NOW | RTLD_LOCAL);
    ASSERT_TRUE(first.ok() && second.ok());
    LoadedBundle& phrasekit = phrasekitFirst ? first : second;
    LoadedBundle& bowkit = phrasekitFirst ? second : first;
    EXPECT_NE(imageOf(phrasekit.symbol("plugin_process")), imageOf(bowkit.symbol("plugin_process")));
    expectOwnExpression(phrasekit, "com.Sorvelin.Phrasekit.Expression");
    expectOwnExpression(bowkit, "com.Sorvelin.Bowkit.Expression");
  }
}

// kelo-plugin-run in 64-frame blocks gives each script's output, after the defaults it replays
// at tick 0 of the first block (shakes off: controller 102 = 0.0 ends a phrase).
TEST(BowkitBundle, KeloPluginRunReproducesTheShakesScripts) {
  for (const EventScript& script : shakesScripts()) {
    SCOPED_TRACE(script.name);
    std::vector<EventRows> expected = script.out;
    expected[0] = concat({{{0, 176, 102, 0.0f}}, shakesPhraseEnd(0), expected[0]});
    EXPECT_EQ(runPluginScript(KELO_PLUGIN_RUN, KELO_BOWKIT_BUNDLE, "com.Sorvelin.Bowkit.Shakes",
                              script.initText, script.in, kShakesBlock),
              expected);
  }
}

}  // namespace
}  // namespace kelo::test
