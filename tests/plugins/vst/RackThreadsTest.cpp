// The engine calls the plug-in back from its own threads while the host renders blocks: no
// data race (run under ThreadSanitizer too).
#include <atomic>
#include <thread>
#include <vector>

#include "plugins/vst/SamplerVST.h"
#include "tests/plugins/vst/RackFixture.h"

namespace kelo::test {
namespace {

class RackThreadsTest : public RackTest {};

TEST_F(RackThreadsTest, CallbacksFromAnEngineThreadWhileBlocksRender) {
  m_host.setProductString("REAPER");  // with the parameter cache
  auto* plugin = new SamplerVST(RecordingAudioMaster::callback);
  AEffect* effect = plugin->getAeffect();
  dispatch(effect, effMainsChanged, 0, 1);
  void* instance = plugin->engineInstance();
  ASSERT_NE(instance, nullptr);

  std::atomic<bool> done{false};
  std::thread engineThread([&] {
    const std::int32_t ops[] = {KELO_HOST_EDIT_BEGIN, KELO_HOST_PARAMETER_CHANGED,
                                KELO_HOST_EDIT_END, KELO_HOST_LATENCY_CHANGED,
                                KELO_HOST_SLOT_CHANGED};
    for (int k = 0; k < 400; ++k) {
      KeloTestHostCall call{ops[k % 5], k % 7, k % 3, 0, 0.25f, nullptr, nullptr, -1};
      if (call.op == KELO_HOST_PARAMETER_CHANGED) call.i1 = 0;
      engineControl()(KELO_TEST_CALL_HOST, instance, &call, 0, 0);
    }
    done = true;
  });

  EventList list({note(60, 0)});
  std::vector<float> left(128), right(128);
  float* outputs[] = {left.data(), right.data()};
  int blocks = 0;
  while (!done || blocks < 50) {
    dispatch(effect, effProcessEvents, 0, 0, list.get());
    effect->processReplacing(effect, nullptr, outputs, 128);
    ++blocks;
  }
  engineThread.join();
  for (int i = 0; i < 3; ++i) effect->getParameter(effect, i);
  dispatch(effect, effClose);
  EXPECT_TRUE(engineFindings().empty());
  EXPECT_GT(m_host.count(audioMasterAutomate), 0u);
}

TEST_F(RackThreadsTest, HostsMakeInstancesFromSeveralThreadsAtOnce) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 5;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([] {
      for (int round = 0; round < kRounds; ++round) {
        auto* plugin = new SamplerVST(RecordingAudioMaster::callback);
        AEffect* effect = plugin->getAeffect();
        dispatch(effect, effMainsChanged, 0, 1);
        dispatch(effect, effClose);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(countOpcode(KELO_OP_INSTANCE_CREATE), static_cast<std::size_t>(kThreads * kRounds));
  EXPECT_EQ(countOpcode(KELO_OP_INSTANCE_DESTROY), static_cast<std::size_t>(kThreads * kRounds));
  EXPECT_TRUE(engineFindings().empty());
  EXPECT_FALSE(SamplerVST::bindingFailed());
  // The last instance to go closed the shared log.
  const std::string log = readFile(pluginLogPath());
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), '@');
}

}  // namespace
}  // namespace kelo::test
