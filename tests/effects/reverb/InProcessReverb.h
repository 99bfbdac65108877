// A reverb object driven in the test's process the way the engine drives it, with the engine
// side's AudioFileHost delivering the responses the test writes into its folder.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Sampler/sdk/PluginRecords.h"
#include "engine/pluginhost/AudioFileHost.h"
#include "tests/effects/reverb/ReverbKit.h"
#include "tests/support/TempDir.h"

namespace kelo::test {

template <class Reverb>
struct InProcessReverb {
  TempDir dir;
  pluginhost::AudioFileHost files;
  std::unique_ptr<Reverb> reverb = std::make_unique<Reverb>(files.host());
  std::unique_ptr<vantor::KELOPluginSDK::HDMIDIEvents> in =
      std::make_unique<vantor::KELOPluginSDK::HDMIDIEvents>();
  std::unique_ptr<vantor::KELOPluginSDK::CustomDataPayload> payload;

  /// A new object; the host and the folder stay.
  void renew() {
    reverb.reset();
    reverb = std::make_unique<Reverb>(files.host());
  }

  void configure(double rate, std::int32_t block) {
    const auto info = std::make_unique<vantor::KELOPluginSDK::DSPInfo>(dspSettings(rate, block));
    reverb->setDSPInfo(info.get());
  }

  /// One process call in place over all channels of `audio` (frames: their length unless
  /// given), with `events` at its start.
  void run(std::vector<std::vector<float>>& audio,
           const std::vector<vantor::KELOPluginSDK::HDMIDIEvent>& events = {},
           std::int32_t frames = -1) {
    std::vector<float*> pointers;
    for (auto& channel : audio) pointers.push_back(channel.data());
    in->numEvents = static_cast<std::int64_t>(events.size());
    for (std::size_t e = 0; e < events.size(); ++e) in->events[e] = events[e];
    reverb->process(pointers.data(),
                    frames < 0 ? static_cast<std::int32_t>(audio[0].size()) : frames, in.get(),
                    nullptr, nullptr);
  }

  /// A custom data link with `magic`, pending set, naming `file`.
  void link(std::int32_t magic, const std::string& file) {
    payload = std::make_unique<vantor::KELOPluginSDK::CustomDataPayload>();
    std::memset(payload.get(), 0, sizeof *payload);
    payload->magic = magic;
    payload->pending = 1;
    std::strncpy(payload->fileName, file.c_str(), sizeof payload->fileName - 1);
    vantor::KELOPluginSDK::CustomDataLink record{};
    record.payload = payload.get();
    reverb->setCustomDataLink(&record);
  }
};

}  // namespace kelo::test
