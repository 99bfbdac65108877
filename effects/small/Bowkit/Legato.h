// sorvelin::Legato, "com.Sorvelin.Bowkit.Legato": with legato mode on (controller 102 above 0.0
// and at most 1.0) one melodic line plays with last-note priority, and each phrase tells the
// instrument it is legato: controller 21 = 0.0 at its first note, sustain (64) on at its first
// overlap, and at its end 64 off with the player's last controller 21 restored. With it off
// notes pass (as channel-1 notes) while the held keys are tracked. Only keys inside the init
// text's range are touched. Every controller 102, 120 and 123 ends the phrase.
// Threads: as every articulation plug-in (ArticulationPlugin.h).
#pragma once

#include "effects/small/articulation/ArticulationPlugin.h"

namespace sorvelin {

class Legato : public ArticulationPlugin {
 public:
  explicit Legato(sdk::Host* host);

  /// Controller 102 = 0.0: the engine starts the plug-in with legato mode off.
  void getDefaults(sdk::HDMIDIEvents* list) override;
  /// Sort, articulate, drain; no allocation or lock. `audio`, `frames` and `sync` unused.
  void process(float** audio, std::int32_t frames, const sdk::HDMIDIEvents* midiIn,
               sdk::HDMIDIEvents* midiOut, const sdk::SyncInfo* sync) override;

  bool isLegatoOn() const { return legatoOn; }

 private:
  void processLegato();
  /// Note-offs for the held keys, then the phrase's end, whatever the mode.
  void allNotesOff(const sdk::HDMIDIEvent& templateEvent);
  void legatoOFF(const sdk::HDMIDIEvent& trigger);

  void beforeNoteOn(const sdk::HDMIDIEvent& trigger, std::int32_t key, float velocity) override;
  void afterFirstNoteOn(const sdk::HDMIDIEvent& trigger, std::int32_t key, float velocity) override;
  void beforeLastRelease(const sdk::HDMIDIEvent& trigger, std::int32_t key) override;

  bool legatoOn = false;
  bool sustainSent = false;
  float savedCC21 = 0.0f;
};

}  // namespace sorvelin
