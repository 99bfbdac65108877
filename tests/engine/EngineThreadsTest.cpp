// Parameter and state calls on the main thread while a process call runs on another: the
// engine takes no lock, so this runs under ThreadSanitizer too (label "threads").
#include <atomic>
#include <thread>
#include <vector>

#include "tests/engine/EngineFixture.h"

namespace kelo::test {
namespace {

using EngineThreads = EngineFixture;

TEST_F(EngineThreads, ParameterAndStateCallsRunBesideProcessing) {
  void* instance = createStarted();
  ASSERT_NE(instance, nullptr);
  prepareOutputs(2, 256);
  std::atomic<bool> done{false};
  std::thread render([&] {
    for (int block = 0; block < 400; ++block) {
      setEvents({midiEvent(0x90, static_cast<std::uint8_t>(40 + block % 40), 100, 0),
                 midiEvent(0x80, static_cast<std::uint8_t>(40 + (block + 20) % 40), 0, 128)});
      EXPECT_EQ(process(instance, 256), 0);
    }
    done = true;
  });
  int round = 0;
  while (!done) {
    call(instance, KELO_OP_PARAMETER_SET, nullptr, nullptr, nullptr, round % 15,
         static_cast<float>(round % 3) * 0.3f);
    const std::vector<std::uint8_t> saved = chunk(instance);
    EXPECT_EQ(call(instance, KELO_OP_CHUNK_SET, const_cast<std::uint8_t*>(saved.data()), nullptr,
                   nullptr, static_cast<int>(saved.size())),
              0);
    ++round;
  }
  render.join();
  destroy(instance);
  for (const auto& f : findings()) EXPECT_NE(f.kind, KELO_FINDING_CONCURRENT_PROCESS);
}

}  // namespace
}  // namespace kelo::test
