// Phrasekit.bundle as the engine and kelo-plugin-run see it: its records, and the plug-ins'
// scripts run through the program.
#include <gtest/gtest.h>

#include "tests/Sampler/sdk/PluginInfoCheck.h"
#include "tests/effects/small/Phrasekit/MonophonicScripts.h"
#include "tests/effects/small/Phrasekit/SoloControlScripts.h"

namespace kelo::test {
namespace {

constexpr const char* kMonophonicId = "com.Sorvelin.Phrasekit.Monophonic";
constexpr const char* kSoloControlId = "com.Sorvelin.Phrasekit.SoloControl";

TEST(PhrasekitBundle, ListsItsPluginsIn255ByteFields) {
  LoadedBundle bundle(KELO_PHRASEKIT_SO);
  expectInfoRows(bundle,
                 {{kMonophonicId, "Phrasekit.Monophonic", "Sorvelin\tPhrasekit.Monophonic", {}},
                  {"com.Sorvelin.Phrasekit.Expression",
                   "Phrasekit.Expression",
                   "Sorvelin\tPhrasekit.Expression",
                   {}},
                  {kSoloControlId, "Phrasekit.SoloControl", "Sorvelin\tPhrasekit.SoloControl", {}}},
                 true);
}

// kelo-plugin-run over one script gives the script's output, after what the plug-in makes of
// its own defaults: the runner, like the engine, replays them at tick 0 of the first block.
void expectPluginRunFollows(const char* identifier, const char* initText,
                            const std::vector<EventRows>& in, const std::vector<EventRows>& out,
                            const EventRows& fromDefaults) {
  std::vector<EventRows> expected = out;
  expected[0].insert(expected[0].begin(), fromDefaults.begin(), fromDefaults.end());
  EXPECT_EQ(runPluginScript(KELO_PLUGIN_RUN, KELO_PHRASEKIT_BUNDLE, identifier, initText, in, 256),
            expected);
}

TEST(PhrasekitBundle, KeloPluginRunReproducesTheMonophonicScripts) {
  for (const EventScript& script : monophonicScripts()) {
    SCOPED_TRACE(script.name);
    expectPluginRunFollows(kMonophonicId, script.initText, script.in, script.out,
                           {{0, 176, 102, 0.0f}});
  }
}

TEST(PhrasekitBundle, KeloPluginRunReproducesASoloControlScript) {
  const EventScript& script = soloControlScripts().front();
  expectPluginRunFollows(kSoloControlId, script.initText, script.in, script.out,
                         concat({{{0, 176, 102, 0.0f}}, switchRows(0, 0.0f)}));
}

}  // namespace
}  // namespace kelo::test
