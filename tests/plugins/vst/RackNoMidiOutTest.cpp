// A product block without MIDI output: the engine's output events never reach the host.
#include "plugins/vst/SamplerVST.h"
#include "tests/plugins/vst/RackFixture.h"

namespace kelo::test {
namespace {

class RackNoMidiOutTest : public RackTest {};

TEST_F(RackNoMidiOutTest, EngineOutputEventsStayWithThePlugin) {
  AEffect* effect = make();
  dispatch(effect, effMainsChanged, 0, 1);
  EventList list({note(60, 0)});
  float left[64], right[64];
  float* outputs[] = {left, right};
  for (int block = 0; block < 2; ++block) {
    dispatch(effect, effProcessEvents, 0, 0, list.get());
    effect->processReplacing(effect, nullptr, outputs, 64);
  }
  EXPECT_EQ(countOpcode(KELO_OP_PROCESS_EX), 2u);
  EXPECT_EQ(m_host.count(audioMasterProcessEvents), 0u);
  dispatch(effect, effClose);
}

}  // namespace
}  // namespace kelo::test
