// Render cost of the equaliser and the spatializer, called as the engine calls them: stereo
// blocks in place, with steady settings and while a glide or a fade is running.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "effects/small/MicField/SpatializerPost.h"
#include "effects/small/TriBand/ThreeBandEQ.h"

namespace {

using namespace vantor::KELOPluginSDK;

constexpr double kRate = 48000;

struct Block {
  explicit Block(int frames) : left(frames), right(frames) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> dist(-0.5f, 0.5f);
    for (int i = 0; i < frames; ++i) left[i] = dist(rng), right[i] = dist(rng);
  }
  std::vector<float> left, right;
  float* audio[2] = {left.data(), right.data()};
};

DSPInfo dsp(int block) { return {kRate, 48000, 1 / kRate, block, block / kRate, 1.0 / block, {}}; }

std::unique_ptr<HDMIDIEvents> controllers(std::initializer_list<std::pair<int, float>> values) {
  auto events = std::make_unique<HDMIDIEvents>();
  events->numEvents = 0;
  for (const auto& [controller, value] : values) {
    HDMIDIEvent& event = events->events[events->numEvents++];
    event = HDMIDIEvent{};
    event.status = 176, event.data1 = controller, event.data2 = value;
  }
  return events;
}

// range(0): frames per block; range(1): 1 keeps a glide running (a new gain every block).
void Equaliser(benchmark::State& state) {
  const int frames = static_cast<int>(state.range(0));
  sorvelin::ThreeBandEQ eq(nullptr);
  const DSPInfo info = dsp(frames);
  eq.setDSPInfo(&info);
  eq.start();
  auto steady = controllers({{0, 0.8f}, {1, 0.3f}, {2, 0.6f}, {3, 0.0f}});
  eq.process(nullptr, 0, steady.get(), nullptr, nullptr);
  auto gliding = controllers({{1, 0.9f}});
  auto back = controllers({{1, 0.1f}});
  auto none = controllers({});
  Block block(frames);
  bool flip = false;
  for (auto _ : state) {
    const HDMIDIEvents* events = state.range(1) ? ((flip = !flip) ? gliding.get() : back.get()) : none.get();
    eq.process(block.audio, frames, events, nullptr, nullptr);
    benchmark::DoNotOptimize(block.left.data());
  }
  state.SetItemsProcessed(state.iterations() * frames);
}
BENCHMARK(Equaliser)->ArgsProduct({{64, 256, 1024}, {0, 1}});

// range(0): frames per block; range(1): 1 keeps a fade running (a new position every block).
void Spatializer(benchmark::State& state) {
  const int frames = static_cast<int>(state.range(0));
  acme::SpatializerPost stage(nullptr);
  stage.initEx("45|-45|2|30|6|5|20|0|2|15|0.3|0.5", "engine");
  const DSPInfo info = dsp(frames);
  stage.setDSPInfo(&info);
  auto left = controllers({{10, 0.2f}});
  auto right = controllers({{10, 0.8f}});
  auto none = controllers({});
  auto out = std::make_unique<HDMIDIEvents>();
  Block block(frames);
  bool flip = false;
  for (auto _ : state) {
    const HDMIDIEvents* events = state.range(1) ? ((flip = !flip) ? left.get() : right.get()) : none.get();
    stage.process(block.audio, frames, events, out.get(), nullptr);
    benchmark::DoNotOptimize(block.left.data());
  }
  state.SetItemsProcessed(state.iterations() * frames);
}
BENCHMARK(Spatializer)->ArgsProduct({{64, 256, 1024}, {0, 1}});

}  // namespace

BENCHMARK_MAIN();
