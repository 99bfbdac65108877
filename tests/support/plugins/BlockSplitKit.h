// The block-split kit for the tests of engine plug-ins that process audio: runs one plug-in of
// a bundle through the engine side (pluginhost::PluginInstance) over one input cut into
// process calls of chosen lengths, and checks that the cut does not change the output.
//
// It holds only while the plug-in's parameters stay constant. Plug-ins apply events per block,
// and some then glide, fade or rebuild over later blocks, so: the events of a run arrive at
// frame 0 of its first call (after the defaults PluginInstance replays there) and must start
// no glide, fade or background rebuild; no call has 0 frames. Each run makes a new instance.
//
// Typical use:
//   PluginUnderTest plugin{bundlePath, "com.Sorvelin.TriBand", settings, {events...}};
//   EXPECT_TRUE(sameOutputInAnyBlocks(plugin, input));         // bit for bit
//   EXPECT_TRUE(sameOutputInAnyBlocks(plugin, input, 1e-6));   // within 1e-6 x the peak
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Sampler/sdk/PluginRecords.h"
#include "engine/pluginhost/AudioFileHost.h"
#include "engine/pluginhost/PluginBundle.h"
#include "engine/pluginhost/PluginInstance.h"
#include "tests/support/ConvolutionKit.h"

namespace kelo::test {

struct PluginUnderTest {
  std::string bundle;                     // a .bundle folder or its shared object
  std::string identifier;                 // the plug-in in it
  pluginhost::InstanceSettings settings;  // rate, maxBlockSize, channels offered, init texts
  std::vector<vantor::KELOPluginSDK::HDMIDIEvent> events;  // given at frame 0 of the first call
};

/// A plug-in made ready the way the engine makes it: its bundle, the engine's host record and
/// the created and started instance, destroyed in that reverse order. `instance` is null, with
/// the test failed, when the bundle or the plug-in cannot be had.
struct LoadedPlugin {
  std::unique_ptr<pluginhost::PluginBundle> bundle;
  std::unique_ptr<pluginhost::AudioFileHost> host;
  std::unique_ptr<pluginhost::PluginInstance> instance;
};
LoadedPlugin loadPlugin(const PluginUnderTest& plugin);

/// One vector per channel, all of one length.
using AudioChannels = std::vector<std::vector<float>>;

/// A new instance over `input` in process calls of `lengths`, which must add up to the input's
/// length; the input needs as many channels as the instance processes. On an error the test
/// fails and the answer is empty.
AudioChannels runInBlocks(const PluginUnderTest& plugin, const AudioChannels& input,
                          const std::vector<std::size_t>& lengths);

/// The cuts compared: calls of 1, 3 and 6 frames, 31, 32 and 33 cycled, maxBlockSize, and
/// seeded random lengths from 1 to maxBlockSize (CallPattern::lengths gets maxBlockSize as
/// its `largest`).
const std::vector<CallPattern>& blockSplitPatterns();

/// Runs every pattern and compares each channel with the run in calls of maxBlockSize: equal
/// bit for bit when `tolerance` is 0, else within `tolerance` times the signal's peak
/// (closeToSignal). Names the pattern and channel that differ.
::testing::AssertionResult sameOutputInAnyBlocks(const PluginUnderTest& plugin,
                                                 const AudioChannels& input,
                                                 double tolerance = 0.0);

}  // namespace kelo::test
