// KeyTone.bundle as the engine and kelo-plugin-run see it: its one record, and a script run
// through the program.
#include <gtest/gtest.h>

#include "tests/Sampler/sdk/KeyTone/MIDIProcScripts.h"
#include "tests/Sampler/sdk/PluginInfoCheck.h"

namespace kelo::test {
namespace {

constexpr const char* kIdentifier = "com.Sorvelin.Piano.MIDI.Preprocessor";

TEST(KeyToneBundle, ListsThePreprocessorWithItsVersionAndFlag) {
  LoadedBundle bundle(KELO_KEYTONE_SO);
  expectInfoRows(bundle,
                 {{kIdentifier,
                   "Piano.MIDI.Preprocessor",
                   "Sorvelin\tPiano.MIDI.Preprocessor",
                   {{460, 1144}, {464, 1}}}},
                 false);
}

// The runner replays the defaults at tick 0 of the first block: they pass, the transpose
// controller with its followers (shift 0). The pedal script follows in the next block.
TEST(KeyToneBundle, KeloPluginRunReproducesThePedalScript) {
  const MIDIProcScript& script = midiProcScripts().front();
  const EventRows fromDefaults = {{0, 176, 298, 1.0f}, {0, 176, 299, 0.0f}, {0, 176, 296, 0.25f},
                                  {0, 176, 297, 0.5f}, {0, 176, 489, 0.5f}, {0, 176, 123, 0.0f},
                                  {0, 176, 64, 0.0f},  {0, 176, 490, 0.0f}};
  EXPECT_EQ(runPluginScript(KELO_PLUGIN_RUN, KELO_KEYTONE_BUNDLE, kIdentifier, script.initText,
                            {{}, script.in[0]}, static_cast<std::uint32_t>(script.frames)),
            (std::vector<EventRows>{fromDefaults, script.out[0]}));
}

// A pedal press at tick 10 reaches a zone only after the zone's delay: however long the
// delay, its copy never leaves in the press's own block (a huge one once wrapped round to the
// frame before the press).
TEST(KeyToneBundle, AZoneCopyNeverPrecedesItsPress) {
  for (const char* delay : {"1", "100", "1e10", "1e30"}) {
    const std::string init = std::string("298|1|299|0|296|32|297|64|295|1|20|") + delay;
    const std::vector<EventRows> sent = runPluginScript(
        KELO_PLUGIN_RUN, KELO_KEYTONE_BUNDLE, kIdentifier, init.c_str(),
        {{}, {{10, 176, 64, 1.0f}}, {}}, 256);
    ASSERT_EQ(sent.size(), 3u) << delay;
    for (std::size_t block = 1; block < sent.size(); ++block)
      for (const EventRow& row : sent[block])
        EXPECT_NE(row.data1, 20) << "delay " << delay << ", block " << block << ", tick " << row.tick;
  }
}

}  // namespace
}  // namespace kelo::test
