// acme::MIDIProc, "com.Sorvelin.Piano.MIDI.Preprocessor": prepares a piano's MIDI for the
// engine. Stage by stage: the timbre shift (TimbreShift); the sustain pedal (64) made on/off or
// remapped between two thresholds (half-pedalling), with a copy on a crossing controller when
// the pedal reaches fully down or up; thinning of dense pedal movement to one event per window;
// sustain zones, the pedal copied onto one controller per zone, a press reaching each zone
// after its delay; and five engine-internal run-time controllers (298 zones on, 299 half
// pedal, 296 and 297 the thresholds, 295 the crossing controller, all set by the init text).
//
// Threads: init, setDSPInfo, start and the destructor on the engine's control thread (init
// allocates the zone arrays); process on the render thread, allocating nothing and writing
// only inside its lists, `midiOut` serving as working space.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "Sampler/sdk/KeyTone/TimbreShift.h"
#include "Sampler/sdk/Plugin.h"

namespace acme {

namespace sdk = vantor::KELOPluginSDK;

class MIDIProc : public sdk::EffectPlugin {
 public:
  explicit MIDIProc(sdk::Host* host);

  /// `init`, answered as 1 or 0.
  std::int32_t initEx(const char* initText, const char* extraText) override;
  /// Fields separated by "|": zones' controller (298), zones on (1), half-pedal controller
  /// (299), half pedal on (0), low-threshold controller (296), low threshold × 127 (32),
  /// high-threshold controller (297), high threshold × 127 (64), crossing controller (295),
  /// zone count (0), then a controller and a delay in seconds per zone. A field that is missing
  /// or no number keeps its default; controller numbers saturate (negative gives 0, which
  /// disables that run-time controller); the zones are at most 127 and only the complete pairs
  /// given. Null reads as empty. Rebuilds the default list; false only without memory for the
  /// zones (then there are none).
  virtual bool init(const char* initText, const char* extraText);
  /// Thinning window by rate (128 up to 48 kHz, 256 up to 96 kHz, 512 above) and the zone
  /// delays in frames.
  void setDSPInfo(const sdk::DSPInfo* info) override;
  /// Clears the pending zone events, the zone values and the last pedal value.
  void start() override;
  void stop() override {}
  /// One controller per zone at 0.0, then zones on, half pedal on, the two thresholds and the
  /// transpose controller at its middle value.
  void getDefaults(sdk::HDMIDIEvents* list) override;
  /// No allocation or lock; a negative frame count does nothing. `audio` and `sync` unused.
  void process(float** audio, std::int32_t frames, const sdk::HDMIDIEvents* midiIn,
               sdk::HDMIDIEvents* midiOut, const sdk::SyncInfo* sync) override;
  void setCustomDataLink(const sdk::CustomDataLink* link) override {}
  virtual void setChunk(unsigned char* data, unsigned size) {}
  int getChunk(void** data) { return 0; }

  // Settings, for tests and diagnostics.
  std::uint64_t thinWindowFrames() const { return thinWindow; }
  std::uint64_t zoneCount() const { return _numSusZones; }
  std::uint32_t zoneController(std::size_t zone) const { return zoneCC[zone]; }
  std::uint64_t zoneDelay(std::size_t zone) const { return zoneDelayFrames[zone]; }
  std::uint64_t pendingZoneEvents() const { return _numValidSusdupPending; }
  bool zonesOn() const { return susdupOn; }
  bool halfPedal() const { return halfPedalOn; }
  float lowThreshold() const { return loThreshold; }
  float highThreshold() const { return hiThreshold; }
  std::int32_t crossingController() const { return crossingCC; }
  std::uint64_t runtimeControllerNumber(int which) const;  // 0 zones, 1 half pedal, 2 low, 3 high
  /// Events dropped because a list was full, since construction.
  std::uint64_t droppedEvents() const { return dropped; }

 private:
  bool zonesActive() const { return susdupOn || halfPedalOn; }
  void append(sdk::HDMIDIEvents& list, const sdk::HDMIDIEvent& event);
  /// A copy of `event` on zone `zone`'s controller.
  sdk::HDMIDIEvent zoneCopy(const sdk::HDMIDIEvent& event, std::size_t zone) const;
  std::int64_t zoneOfController(std::int32_t number) const;

  void RemapSustainValues(sdk::HDMIDIEvents& out);
  void zeroFramePass(const sdk::HDMIDIEvents& in, sdk::HDMIDIEvents& out);
  void ThinSusEventsReverseOrder(sdk::HDMIDIEvents& list, std::int32_t frames);
  void sustainZones(const sdk::HDMIDIEvents& in, sdk::HDMIDIEvents& out, std::int32_t frames);
  void sendFirstPendingSusdup(sdk::HDMIDIEvents& out, std::uint32_t before);
  void SendSusdupEvent(sdk::HDMIDIEvents& out, const sdk::HDMIDIEvent& event);
  void insertPendingSusdup(const sdk::HDMIDIEvent& event, std::size_t zone);
  void clearPending() { _numValidSusdupPending = 0; }
  void ThinSusdupEventsReverseOrder(sdk::HDMIDIEvents& list, std::int32_t frames);
  void output(const sdk::HDMIDIEvents& in, sdk::HDMIDIEvents& out);
  void runtimeController(const sdk::HDMIDIEvent& event, sdk::HDMIDIEvents& out);
  void zonesOff(const sdk::HDMIDIEvent& trigger, sdk::HDMIDIEvents& out);

  std::uint64_t thinWindow = 0;
  sdk::HDMIDIEvents workList{};
  sdk::HDMIDIEvents defaultEvents{};
  std::uint64_t loCC = 296;
  std::uint64_t hiCC = 297;
  float loThreshold = 0.25f;
  float hiThreshold = 0.5f;
  std::uint64_t _numSusZones = 0;
  std::uint64_t _numValidSusdupPending = 0;
  std::vector<float> zoneValue;
  std::vector<std::uint32_t> zoneCC;
  std::vector<sdk::HDMIDIEvent> _pendingSusdup;
  std::vector<std::uint32_t> pendingZone;  // the zone of each pending entry
  std::vector<float> zoneDelaySeconds;
  std::vector<std::uint64_t> zoneDelayFrames;
  std::uint64_t susdupCC = 298;
  std::uint64_t halfPedalCC = 299;
  bool susdupOn = true;
  bool halfPedalOn = false;
  std::int32_t crossingCC = 295;
  float lastSustain = 0.0f;
  TimbreShift timbreShift;
  std::array<bool, sdk::MAX_MIDIEVENTS_PER_CALL_SDK> keep{};
  std::uint64_t dropped = 0;
};

}  // namespace acme
