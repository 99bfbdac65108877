// The standalone's module graph and its render. One stereo bus: each instrument slot renders
// its events into the instrument bus, its gain adds it to the mix bus, the master gain copies
// the mix to the device's outputs, the file output records them and two level keepers measure
// them. The graph owns everything in it: the audio device, the MIDI devices, the instruments
// and their gains, the master gain, the file output, the MIDI file player and the level
// keepers. Process-wide as `Singleton<GraphManager>`.
//
// Threads. `runGraphStereo` runs on the render thread (the audio callback, or the offline
// thread, never both at once). It only try-locks the graph mutex "Graph" (busy: the block is
// skipped and nothing is consumed), and never allocates: the buses are made at `init` and on a
// format change, and the event lists and the sort's scratch are reserved, under the mutex, for
// the most events one block can bring (every input device's per-block limit, the player's
// largest block) whenever a device, an instrument or a MIDI file arrives or the format
// changes. Everything else runs on the main thread; membership and storage changes take the
// mutex with a blocking lock, so nothing is deleted or resized while a block renders. The
// recording forwards rely on the file output's own mutex, the MIDI file forwards on the
// player's.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "VNL/source/MIDIEvent.h"
#include "VNL/source/Threads.h"
#include "standalone/host/Singleton.h"

struct PESyncInfo;

namespace vantor {

class AudioStatKeeper;
class Context;
class DSPInfo;
class MIDIDevice;
class MIDIFilePlayer;
class Module;
class StereoFileOutputModule;
class StereoGainModule;

class GraphManager : public Singleton<GraphManager> {
 public:
  GraphManager();
  /// Deletes everything the graph owns; takes no lock (the render has stopped).
  virtual ~GraphManager();
  GraphManager(const GraphManager&) = delete;
  GraphManager& operator=(const GraphManager&) = delete;

  /// Makes the buses, the master gain (gain 1), the file output, the MIDI file player and the
  /// left and right level keepers. `context` and `dspInfo` are not owned.
  void init(const Context* context, const DSPInfo* dspInfo);
  /// Hands the format to every module (device, player, MIDI devices, instruments, slot gains,
  /// master gain, file output), then, under the mutex, remakes the buses for its block size.
  /// Between blocks; the modules are told without the mutex, so they may call the graph.
  void setDSPInfo(const DSPInfo* dspInfo);

  /// Takes the audio device (a module; owned from now on) and deletes the previous one.
  void setAudioDevice(Module* device);
  Module* getAudioDevice() const { return m_audioDevice; }

  /// Stores `device` (owned from now on) under `id`: input devices (type 0) in the input map,
  /// others in the other map. An earlier device under the id is replaced, not deleted.
  void addMIDIDevice(int id, MIDIDevice* device);
  /// Deletes the device under `id`; nothing for an unknown id.
  void removeMIDIDevice(int id);
  MIDIDevice* getMIDIDevice(int id) const;
  /// Appends the ids in order: kind 0 input devices, 1 the others, 2 both (inputs first).
  void getUsedMIDIDevice(std::vector<int>& ids, int kind) const;

  /// Every instrument in slot order, then the input devices, then the others.
  void start();
  void stop();

  /// Takes `instrument` (already `init`ed and started) into `slot`, with a new slot gain that
  /// fades in over its first block. False, with an error line, when the slot is taken: the
  /// module stays the caller's.
  bool addInstrument(int slot, Module* instrument);
  /// Deletes the slot's instrument and gain. False, with an error line, for an empty slot.
  bool removeInstrument(int slot);
  Module* getInstrument(int slot) const;

  bool showInstrumentUI(int slot, void* parent);
  bool closeInstrumentUI(int slot);
  bool saveInstrumentChunk(int slot, unsigned char** data, int& size);
  bool saveInstrumentChunkEnd(int slot);
  bool loadInstrumentChunk(int slot, unsigned char* data, int size);

  /// `reason` (when given) gets why the file could not be opened.
  bool setRecordingFile(const std::string& path, unsigned format, unsigned extensible,
                        unsigned bits, std::string* reason = nullptr);
  bool startRecording();
  bool stopRecording();
  bool isRecording();

  /// Loads a MIDI file into the player (which stops playing) and reserves the render's room
  /// for the player's largest block before it can play again.
  bool setMIDIFile(const std::string& path);
  bool startMIDIFile();
  bool stopMIDIFile();
  bool seekMIDIFile(float position);
  double getMIDIFilePos();

  /// Renders one block of `frames` (at most the block size) into `outputs` (two channels).
  /// Render thread; see the header's note.
  void runGraphStereo(float** outputs, unsigned frames);

  StereoGainModule* getMasterGain() const { return m_masterGain; }
  StereoFileOutputModule* getFileOutput() const { return m_fileOutput; }
  MIDIFilePlayer* getMIDIFilePlayer() const { return m_player; }
  StereoGainModule* getSlotGain(int slot) const;
  AudioStatKeeper* getLeftStatistics() const { return m_leftStatistics; }
  AudioStatKeeper* getRightStatistics() const { return m_rightStatistics; }
  /// The graph mutex: tests hold it to show that the render steps aside.
  MutexOLD& mutex() { return m_mutex; }
  /// Events one block can collect without allocating.
  std::size_t eventCapacity() const { return m_eventCapacity; }

 private:
  void makeBuses();
  void freeBuses();
  /// Reserves every event list and the scratch for the most events one block can bring.
  /// The graph mutex is held.
  void reserveEventStorage();
  /// Appends the pending events of every input device to `events`.
  void collectDeviceEvents(std::vector<MIDIEvent>& events);

  Module* m_audioDevice = nullptr;
  std::map<int, MIDIDevice*> m_inputMIDIDevices;
  std::map<int, MIDIDevice*> m_otherMIDIDevices;
  float** m_instrumentBus = nullptr;
  float** m_mixBus = nullptr;
  std::uint32_t m_busFrames = 0;
  std::map<int, Module*> m_instruments;
  std::map<int, std::vector<MIDIEvent>> m_eventLists;
  std::map<int, StereoGainModule*> m_slotGains;
  StereoGainModule* m_masterGain = nullptr;
  StereoFileOutputModule* m_fileOutput = nullptr;
  MIDIFilePlayer* m_player = nullptr;
  PESyncInfo* m_syncInfo = nullptr;  // the transport record: none in the standalone
  const Context* m_context = nullptr;
  const DSPInfo* m_dspInfo = nullptr;
  MutexOLD m_mutex{"Graph", false};
  AudioStatKeeper* m_leftStatistics = nullptr;
  AudioStatKeeper* m_rightStatistics = nullptr;

  std::vector<MIDIEvent> m_sortScratch;   // sized, not only reserved: the sort writes into it
  std::vector<MIDIEvent> m_drainedEvents;  // device events with no instrument to take them
  std::size_t m_eventCapacity = 0;
  std::size_t m_playerCapacity = 0;  // the player's largest block for any file loaded so far
};

}  // namespace vantor
