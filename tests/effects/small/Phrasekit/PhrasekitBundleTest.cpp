// Phrasekit.bundle as the engine and kelo-plugin-run see it: its records, and the Monophonic
// scripts run through the program.
#include <gtest/gtest.h>

#include "tests/Sampler/sdk/PluginInfoCheck.h"
#include "tests/effects/small/Phrasekit/MonophonicScripts.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"

namespace kelo::test {
namespace {

constexpr const char* kMonophonicId = "com.Sorvelin.Phrasekit.Monophonic";

TEST(PhrasekitBundle, ListsItsPluginsIn255ByteFields) {
  LoadedBundle bundle(KELO_PHRASEKIT_SO);
  expectInfoRows(bundle,
                 {{kMonophonicId, "Phrasekit.Monophonic", "Sorvelin\tPhrasekit.Monophonic", {}},
                  {"com.Sorvelin.Phrasekit.Expression", "Phrasekit.Expression",
                   "Sorvelin\tPhrasekit.Expression", {}}},
                 true);
}

// The runner, like the engine, replays the plug-in's defaults first: controller 102 = 0.0 at
// tick 0 of the first block, which the scripts' starting state already assumes.
TEST(PhrasekitBundle, KeloPluginRunReproducesTheMonophonicScripts) {
  constexpr std::uint32_t kBlock = 256;
  for (const MonophonicScript& script : monophonicScripts()) {
    SCOPED_TRACE(script.name);
    TempDir dir;
    ASSERT_TRUE(writeFile(dir.file("in.txt"), scriptText(script.in, kBlock)));
    std::vector<std::string> arguments = {
        KELO_PLUGIN_RUN, "--bundle", KELO_PHRASEKIT_BUNDLE, "--plugin", kMonophonicId,
        "--frames", std::to_string(script.in.size() * kBlock), "--block", std::to_string(kBlock),
        "--events", dir.file("in.txt"), "--events-out", dir.file("out.txt")};
    if (script.initText != nullptr) {
      arguments.push_back("--init");
      arguments.push_back(script.initText);
    }
    ASSERT_EQ(runProgram(arguments), 0);
    std::vector<EventRows> expected = script.out;
    expected[0].insert(expected[0].begin(), EventRow{0, 176, 102, 0.0f});
    EXPECT_EQ(parseScript(readFile(dir.file("out.txt")), kBlock, script.in.size()), expected);
  }
}

}  // namespace
}  // namespace kelo::test
