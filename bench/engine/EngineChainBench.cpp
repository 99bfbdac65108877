// The reference engine with the demo data folder's chain (sustain and sympathetic resonance,
// room reverb), with the output counts of KeloRack's two builds: 2 and 32. Playing is a note
// every half second, held for 0.4 s, six notes to a press of the pedal, on the first output
// pair as the engine's default routing sends them; idle is ten seconds after three seconds
// of that, the tails ended. Each run reports the share of one core the render thread needs (CPU time over
// audio time, 48 kHz, blocks of 512).
//
// The engine and the data folder are the build's; KELO_BENCH_ENGINE and KELO_BENCH_DATA name
// others (another build's, to compare).
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/support/BenchHelpers.h"
#include "standalone/engine_interface/KeloEngineInterface.h"

namespace {

constexpr int kRate = 48000;
constexpr int kBlock = 512;
constexpr int kBlocksPerSecond = kRate / kBlock;
constexpr int kStep = kBlocksPerSecond / 2;  // blocks from one note to the next
constexpr int kCycle = 6 * kStep;            // six notes to a press of the pedal

std::string setting(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : fallback;
}

KeloOpcodeFunction engineEntry() {
  static KeloOpcodeFunction entry = [] {
    void* library = dlopen(setting("KELO_BENCH_ENGINE", KELO_ENGINE_SO).c_str(), RTLD_NOW);
    return library != nullptr
               ? reinterpret_cast<KeloOpcodeFunction>(dlsym(library, "keloOpcode"))
               : nullptr;
  }();
  return entry;
}

vantor::MIDIEvent midi(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
  vantor::MIDIEvent event{};
  event.bytes[0] = status;
  event.bytes[1] = data1;
  event.bytes[2] = data2;
  return event;
}

class Engine {
 public:
  explicit Engine(int outputs)
      : m_entry(engineEntry()),
        m_data(setting("KELO_BENCH_DATA", KELO_DEMO_DATA)),
        m_block(std::make_unique<MIDIEventBlock>()),
        m_audio(static_cast<std::size_t>(outputs), std::vector<float>(kBlock)) {
    for (auto& channel : m_audio) m_pointers.push_back(channel.data());
    if (m_entry == nullptr) return;
    EngineCreateInfo info{0, outputs, kKeloHostConstantStandalone, m_data.c_str()};
    if (call(nullptr, KELO_OP_INSTANCE_CREATE, &info, &m_instance) != 0) m_instance = nullptr;
    if (m_instance == nullptr) return;
    call(m_instance, KELO_OP_DSP_SET, nullptr, nullptr, kRate, kBlock);
    EngineStartInfo start;
    call(m_instance, KELO_OP_START, &start, nullptr, 0);
  }
  ~Engine() {
    if (m_instance == nullptr) return;
    call(m_instance, KELO_OP_STOP);
    call(m_instance, KELO_OP_INSTANCE_DESTROY);
  }
  bool ready() const { return m_instance != nullptr; }

  /// Block `index` of the pattern: silence, or a note every half second.
  void render(std::int64_t index, bool playing) {
    m_block->numEvents = 0;
    if (playing) {
      static const std::uint8_t kKeys[] = {48, 55, 60, 64, 67, 72};
      const std::int64_t step = index / kStep;
      const std::uint8_t key = kKeys[step % 6];
      if (index % kStep == 0) {
        if (step % 6 == 0) m_block->events[m_block->numEvents++] = midi(0xB0, 64, 127);
        m_block->events[m_block->numEvents++] = midi(0x90, key, 100);
      } else if (index % kStep == kStep * 4 / 5) {
        m_block->events[m_block->numEvents++] = midi(0x80, key, 0);
        if (step % 6 == 5) m_block->events[m_block->numEvents++] = midi(0xB0, 64, 0);
      }
    }
    call(m_instance, KELO_OP_PROCESS, m_block.get(), m_pointers.data(), kBlock);
  }

 private:
  std::int32_t call(void* handle, std::int32_t opcode, void* p1 = nullptr, void* p2 = nullptr,
                    std::int32_t i1 = 0, std::int32_t i2 = 0) {
    return m_entry(handle, opcode, p1, p2, nullptr, i1, 0.0f, i2, 0);
  }

  KeloOpcodeFunction m_entry;
  std::string m_data;
  void* m_instance = nullptr;
  std::unique_ptr<MIDIEventBlock> m_block;
  std::vector<std::vector<float>> m_audio;
  std::vector<float*> m_pointers;
};

// Arguments: outputs, playing (0 or 1).
void BM_EngineChain(benchmark::State& state) {
  const int outputs = static_cast<int>(state.range(0));
  const bool playing = state.range(1) != 0;
  Engine engine(outputs);
  if (!engine.ready()) {
    state.SkipWithError("the engine or its data folder cannot be had");
    return;
  }
  std::int64_t block = 0;
  // Idle follows a cycle of playing and the tails; playing starts settled into its pattern.
  while (block < kCycle) engine.render(block++, true);
  while (block < kCycle + 10 * kBlocksPerSecond) engine.render(block++, playing);
  std::int64_t blocks = 0;
  const double cpuBefore = kelo::bench::cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
  for (auto _ : state) {
    engine.render(block++, playing);
    ++blocks;
  }
  const double cpu = kelo::bench::cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - cpuBefore;
  const double audio = static_cast<double>(blocks) * kBlock / kRate;
  state.counters["core_percent"] = 100.0 * cpu / audio;
}

BENCHMARK(BM_EngineChain)
    ->ArgNames({"outputs", "playing"})
    ->Args({2, 0})
    ->Args({32, 0})
    ->Args({2, 1})
    ->Args({32, 1})
    ->MinTime(3.0)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
