#include "tests/support/plugins/BlockSplitKit.h"

#include <bit>
#include <cstdint>
#include <memory>
#include <numeric>

namespace kelo::test {

using namespace vantor::KELOPluginSDK;

LoadedPlugin loadPlugin(const PluginUnderTest& plugin) {
  LoadedPlugin loaded;
  std::string error;
  loaded.bundle = pluginhost::PluginBundle::open(plugin.bundle, error);
  if (loaded.bundle == nullptr) {
    ADD_FAILURE() << error;
    return loaded;
  }
  loaded.host = std::make_unique<pluginhost::AudioFileHost>();
  loaded.instance = pluginhost::PluginInstance::create(*loaded.bundle, plugin.identifier,
                                                       *loaded.host, plugin.settings, error);
  if (loaded.instance == nullptr) ADD_FAILURE() << error;
  return loaded;
}

AudioChannels runInBlocks(const PluginUnderTest& plugin, const AudioChannels& input,
                          const std::vector<std::size_t>& lengths) {
  const LoadedPlugin loaded = loadPlugin(plugin);
  pluginhost::PluginInstance* instance = loaded.instance.get();
  if (instance == nullptr) return {};
  const std::size_t frames = input.empty() ? 0 : input.front().size();
  if (static_cast<std::size_t>(instance->numAudioChannels()) != input.size()) {
    ADD_FAILURE() << plugin.identifier << " processes " << instance->numAudioChannels()
                  << " channels, the input has " << input.size();
    return {};
  }
  if (std::accumulate(lengths.begin(), lengths.end(), std::size_t{0}) != frames) {
    ADD_FAILURE() << "call lengths do not add up to the input's " << frames << " frames";
    return {};
  }
  auto events = std::make_unique<HDMIDIEvents>();
  auto none = std::make_unique<HDMIDIEvents>();
  auto out = std::make_unique<HDMIDIEvents>();
  events->numEvents = 0;
  none->numEvents = 0;
  for (const HDMIDIEvent& event : plugin.events) {
    if (events->numEvents == MAX_MIDIEVENTS_PER_CALL_SDK) break;
    events->events[events->numEvents] = event;
    events->events[events->numEvents++].bufTick = 0;
  }
  AudioChannels output = input;
  std::vector<float*> pointers(output.size());
  std::size_t done = 0;
  for (const std::size_t length : lengths) {
    if (length == 0) {
      ADD_FAILURE() << "a call of 0 frames";
      return {};
    }
    for (std::size_t channel = 0; channel < output.size(); ++channel)
      pointers[channel] = output[channel].data() + done;
    instance->process(pointers.data(), static_cast<std::int32_t>(length),
                      done == 0 ? events.get() : none.get(), out.get(), nullptr);
    done += length;
  }
  return output;
}

const std::vector<CallPattern>& blockSplitPatterns() {
  static const std::vector<CallPattern> patterns = {
      {"1", [](std::size_t t, std::size_t) { return cycled(t, {1}); }},
      {"3", [](std::size_t t, std::size_t) { return cycled(t, {3}); }},
      {"6", [](std::size_t t, std::size_t) { return cycled(t, {6}); }},
      {"31-32-33",
       [](std::size_t t, std::size_t) {
         return cycled(t, {31, 32, 33});
       }},
      {"maxBlockSize", [](std::size_t t, std::size_t largest) { return cycled(t, {largest}); }},
      {"random", [](std::size_t t,
                    std::size_t largest) { return cycled(t, seededLengths(1913, largest, 256)); }},
  };
  return patterns;
}

::testing::AssertionResult sameOutputInAnyBlocks(const PluginUnderTest& plugin,
                                                 const AudioChannels& input, double tolerance) {
  const std::size_t frames = input.empty() ? 0 : input.front().size();
  const auto largest = static_cast<std::size_t>(plugin.settings.maxBlockSize);
  const AudioChannels reference = runInBlocks(plugin, input, cycled(frames, {largest}));
  if (reference.size() != input.size()) return ::testing::AssertionFailure() << "no reference run";
  for (const CallPattern& pattern : blockSplitPatterns()) {
    const AudioChannels output = runInBlocks(plugin, input, pattern.lengths(frames, largest));
    if (output.size() != input.size())
      return ::testing::AssertionFailure() << "pattern " << pattern.name << " did not run";
    for (std::size_t channel = 0; channel < output.size(); ++channel) {
      if (tolerance == 0.0) {
        for (std::size_t i = 0; i < frames; ++i)
          if (std::bit_cast<std::uint32_t>(output[channel][i]) !=
              std::bit_cast<std::uint32_t>(reference[channel][i]))
            return ::testing::AssertionFailure()
                   << "pattern " << pattern.name << ", channel " << channel << ", frame " << i
                   << ": " << output[channel][i] << ", in blocks of " << largest << ": "
                   << reference[channel][i];
      } else {
        const std::vector<double> expected(reference[channel].begin(), reference[channel].end());
        auto close = closeToSignal(output[channel], expected, tolerance);
        if (!close)
          return ::testing::AssertionFailure() << "pattern " << pattern.name << ", channel "
                                               << channel << ": " << close.message();
      }
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace kelo::test
