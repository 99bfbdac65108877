// sorvelin::Monophonic, "com.Sorvelin.Phrasekit.Monophonic": with mono mode on (controller 102
// at 0.5 or more) a polyphonic keyboard plays one voice with last-note priority; with it off
// notes pass (as channel-1 notes) while the held keys are tracked. Only keys inside the init
// text's range are touched. Every controller 102, 120 and 123 first releases the held keys.
// Threads: as every articulation plug-in (ArticulationPlugin.h).
#pragma once

#include "effects/small/articulation/ArticulationPlugin.h"

namespace sorvelin {

class Monophonic : public ArticulationPlugin {
 public:
  explicit Monophonic(sdk::Host* host);

  /// Controller 102 = 1.0 while mono mode is on, else 0.0 (so off after construction).
  void getDefaults(sdk::HDMIDIEvents* list) override;
  /// Sort, articulate, drain; no allocation or lock. `audio`, `frames` and `sync` unused.
  void process(float** audio, std::int32_t frames, const sdk::HDMIDIEvents* midiIn,
               sdk::HDMIDIEvents* midiOut, const sdk::SyncInfo* sync) override;

  bool isMonoOn() const { return monoOn; }

 private:
  void processMonophonic();

  bool monoOn = false;
};

}  // namespace sorvelin
