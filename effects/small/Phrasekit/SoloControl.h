// sorvelin::SoloControl, "com.Sorvelin.Phrasekit.SoloControl": in front of a sampled solo
// instrument. With solo mode on (controller 102 above 0.0) one voice plays with last-note
// priority, and every transition is preceded by engine-internal controllers telling the
// instrument how to join the notes: legato phrase start and end (264, 221), portamento by
// interval and velocity (5), bend direction and amount for wide intervals (202, 211), and
// random values so that repeated notes differ (166, 167, 168, 227 with 26). With solo mode off
// notes pass as channel-1 notes, each with the random controllers. Its input gets Expression's
// remap (2 and 11 to 1, 79 to 129) first. Marker entries (status 256) gate controller entries
// (status 512), which leave as controller 128.
// Threads: as every articulation plug-in (ArticulationPlugin.h).
#pragma once

#include <cstdint>
#include <random>

#include "effects/small/articulation/ArticulationPlugin.h"

namespace sorvelin {

/// Where SoloControl draws its random values: n of its uniform integers give r =
/// (n mod 1001) / 1000. Called on the render thread: must neither allocate nor lock.
class RandomSource {
 public:
  virtual ~RandomSource() = default;
  virtual std::uint32_t next() = 0;
};

// The transition controllers' formulas, on single-precision values.
/// amount × (r − 0.5) + 0.5, not clamped.
float randBipolar(float r, float amount);
/// The mirror image about 0.5.
inline float invertBipolar(float x) { return 0.5f - (x - 0.5f); }
/// (r − center) × amount + center, limited to 0.0..1.0.
float randCentered(float r, float center, float amount);
/// 1.0 − velocity: harder notes glide less; the interval is not used.
inline float portaMath(std::int64_t interval, float velocity) { return 1.0f - velocity; }
/// `x` mirrored when it points against the move: up with x above 0.5, down with x below.
float directed(float x, std::int32_t to, std::int32_t from);

class SoloControl : public ArticulationPlugin {
 public:
  explicit SoloControl(sdk::Host* host);

  void start() override {}
  /// Queues a note-off (0.5, tick 0) for every held key, the most recent first, for the head
  /// of the next block's output; nothing else changes.
  void stop() override;
  /// Controller 102 = 0.0 while solo mode is off (so after construction), else 1.0.
  void getDefaults(sdk::HDMIDIEvents* list) override;
  /// Sort (with the remap), articulate, drain with the marker rule; no allocation or lock.
  /// `audio`, `frames` and `sync` unused.
  void process(float** audio, std::int32_t frames, const sdk::HDMIDIEvents* midiIn,
               sdk::HDMIDIEvents* midiOut, const sdk::SyncInfo* sync) override;

  /// Draws from `source` from now on (null: the object's own generator). `source` must
  /// outlive its use; set it while no process call runs.
  void setRandomSource(RandomSource* source);

  bool isSoloOff() const { return soloOff; }

 private:
  class OwnSource : public RandomSource {
   public:
    std::uint32_t next() override { return static_cast<std::uint32_t>(engine()); }

   private:
    std::minstd_rand engine;  // fixed seed: renders repeat
  };

  void processPorta();
  float drawUnit();

  void calculateVar2(const sdk::HDMIDIEvent& trigger);
  void calculateVar1(const sdk::HDMIDIEvent& trigger, std::int32_t to, std::int32_t from);
  void resetBend(const sdk::HDMIDIEvent& trigger);
  void legatoON(const sdk::HDMIDIEvent& trigger);
  void legatoOFF(const sdk::HDMIDIEvent& trigger);
  void noteOn(const sdk::HDMIDIEvent& trigger, std::int32_t to, std::int32_t from, float velocity);
  void polyNoteOn(const sdk::HDMIDIEvent& trigger, std::int32_t key, float velocity);

  void beforeNoteOn(const sdk::HDMIDIEvent& trigger, std::int32_t key, float velocity) override;
  void beforeReturn(const sdk::HDMIDIEvent& trigger, std::int32_t to, std::int32_t from) override;
  void beforeLastRelease(const sdk::HDMIDIEvent& trigger, std::int32_t key) override;
  void beforeHeldNoteOn(const sdk::HDMIDIEvent& trigger, std::int32_t key, float velocity) override;

  // Marker state of the drain: no gated entry passes before a first marker.
  bool markerSet = false;
  std::int32_t currentMarker = 0;
  std::int32_t lastNote = 0;
  float randomDepth = 0.0f;
  float spreadDepth = 0.0f;
  float spreadCenter = 0.5f;
  float savedCC26 = 0.0f;
  float savedCC21 = 0.0f;
  float portaTime = 1.0f;
  float portaSwitch = 1.0f;
  bool soloOff = true;

  OwnSource ownSource;
  RandomSource* random = &ownSource;
};

}  // namespace sorvelin
