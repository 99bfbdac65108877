// The reference engine's chain of engine plug-ins, built from its data folder's
// "KeloSetup.xml" (KeloSetup.h): MIDI plug-ins run, in the file's order, on each block's
// events before the voices play them; audio plug-ins run, in order, on the rendered output
// and see the events the voices played.
//
// The bundles are loaded when the chain is made; instances are created by prepare() for the
// format it is given (again when the format changes). prepare() and the destructor run on the
// main thread while no process call runs; the two process functions run on the render thread,
// allocate nothing and only try-lock. An audio plug-in that refuses as many channels as the
// engine has outputs is offered the first pair, and runs there. An entry that cannot be
// loaded or created is left out with an "E:" line; the rest still run.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/EngineChain.h"
#include "engine/pluginhost/AudioFileHost.h"
#include "engine/pluginhost/KeloSetup.h"
#include "engine/pluginhost/PluginBundle.h"
#include "engine/pluginhost/PluginInstance.h"

namespace kelo::pluginhost {

class PluginChain : public kelo::engine::EngineChain {
 public:
  /// `plugins` as read from the setup file in `dataFolder` (relative paths start there).
  PluginChain(const std::string& dataFolder, std::vector<SetupPlugin> plugins);
  ~PluginChain() override;

  void prepare(double sampleRate, int maxFrames, int numInputs, int numOutputs) override;
  const vantor::MIDIEvent* processMIDI(const vantor::MIDIEvent* events, std::size_t count,
                                       std::size_t& outCount, int frames,
                                       const vantor::SyncInfo* sync) override;
  void processAudio(float* const* outputs, int numOutputs, int frames,
                    const vantor::SyncInfo* sync) override;

  /// Instances running now (after prepare), MIDI ones first, each in setup order.
  std::size_t midiStageSize() const { return m_midiStage.size(); }
  std::size_t audioStageSize() const { return m_audioStage.size(); }
  const AudioFileHost& host() const { return *m_host; }

 private:
  struct Entry {
    SetupPlugin setup;
    std::shared_ptr<PluginBundle> bundle;  // null when it did not load
  };

  std::vector<Entry> m_entries;
  std::unique_ptr<AudioFileHost> m_host;
  std::vector<std::unique_ptr<PluginInstance>> m_midiStage;
  std::vector<std::unique_ptr<PluginInstance>> m_audioStage;
  double m_sampleRate = 0;
  int m_maxFrames = -1, m_numOutputs = -1;

  // Render storage, reserved at construction.
  std::unique_ptr<vantor::KELOPluginSDK::HDMIDIEvents> m_events;
  std::unique_ptr<vantor::KELOPluginSDK::HDMIDIEvents> m_scratch;
  std::vector<vantor::MIDIEvent> m_played;
  std::vector<vantor::MIDIEvent> m_sortScratch;
  bool m_eventsValid = false;  // m_events holds this block's played events for the audio stage
};

/// The chain the data folder's "KeloSetup.xml" names; a pass-through chain (and an "E:" line)
/// when the file cannot be read, and a pass-through chain without a line when it names no
/// plug-in.
std::unique_ptr<kelo::engine::EngineChain> loadEngineChain(const std::string& dataFolder);

}  // namespace kelo::pluginhost
