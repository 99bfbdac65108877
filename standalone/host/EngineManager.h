// The object behind `engineOpcode` (EngineOpcode.h): it opens the program log when it is
// created, builds the back end on PE_ENGINE_INITIALIZE, runs each command against the back
// end's singletons (graph, device manager, factories, streamer, libsndfile binding) and tears
// everything down on PE_ENGINE_SHUTDOWN. Process-wide as `Singleton<EngineManager>`.
//
// Commands (p1, p2 pointers; i1, i2, i3 integers; f float). "playing: 1" means refused with 1,
// changing nothing, while the processing context plays. Null out-pointers answer 1.
//   260 version "v1.969" into p1 (char buffer)        261 build the back end; 0
//   262 tear it down; 0 (the manager then goes)       263 fire the idle listeners; 3
//   264 offline (i1 == 1) or real time; playing: 1
//   280 audio devices: p1 PEAudioDeviceRecord[i1] or null (count only), p2 int32 count out
//   281 audio device i1 (-1 none); playing: 1         282 audio device id (-1 none) into p1
//   283 nothing; 3                                    284/285 rates / block sizes, as 280, int32
//   286 rate i1, block size i2 (1..32768); playing: 1 287 rate into p1, block size into p2
//   288 stereo pair i1 (>= 0); no device or playing: 3
//   289 latency in ms into p1 (float), only while playing   290 stereo pair into p1
//   300/301 start/stop audio; 7 when refused          302 playing into p1 (bool)
//   303/304/305 MIDI file play / stop / seek to f     306 position 0..1 into p1 (double)
//   307 load the MIDI file p1; null p1: 3
//   330 add the engine instrument to slot 0; always 3 331 remove slot i1's instrument
//   332/333 show (parent p1) / close slot i1's UI     335 chunk of slot i1: p1 byte**, p2 int32
//   336 end of that chunk                             337 load chunk p1 of i3 bytes into slot i1
//   510 MIDI devices of kind i2: as 280 with PEMIDIDeviceRecord   511 graph's device i1 into p1
//   512 enable MIDI device i1 (i2 -1 disables); 9 when it cannot be opened
//   513 ids of the graph's MIDI devices of kind i1 appended to p1 (std::vector<int32_t>)
//   530 recording file p1, format i1, bits i2, extensible i3   531/532 start / stop recording
//   533 recording (1) or not (0) into p1 (int32)      530-532 without libsndfile: 11
//   560/561 program arguments from / into p1 (std::vector<std::string>)
// Every other value answers 3. Every command but 263, 306, 533 and the unknown values first
// logs an information line with its name.
//
// Main thread only; the manager takes no lock of its own.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

#include "standalone/host/EngineOpcode.h"
#include "standalone/host/Singleton.h"

class ConsoleLogger;

namespace vantor {

class Instance;
class InstrumentFrontEnd;

/// The program's version text.
inline constexpr const char* kProgramVersionText = "v1.969";

/// The front end the engine instrument module builds its window with (not owned; null, the
/// start value, means none: no window). Set before PE_ENGINE_INSTRUMENT_ADD.
void setEngineFrontEnd(InstrumentFrontEnd* frontEnd);

/// The host-API code of a device-list record for a device manager's host-API code.
std::int32_t frontEndHostApiCode(std::int32_t deviceManagerCode);
/// Fills one record of `PE_ENGINE_MIDIDEVICE_LIST`: the id and at most 255 bytes of `name`.
void fillMIDIDeviceRecord(PEMIDIDeviceRecord& record, std::int32_t id, const std::string& name);

class EngineManager {
 public:
  /// Opens the program log; see the header's note.
  EngineManager();
  /// Closes the log.
  virtual ~EngineManager();
  EngineManager(const EngineManager&) = delete;
  EngineManager& operator=(const EngineManager&) = delete;

  /// Runs one command (the table above). May throw; `engineOpcode` catches.
  std::int32_t command(PE_ENGINE_OPCODE command, void* p1, void* p2, int i1, int i2, int i3,
                       float f);

  const std::vector<std::string>& getArguments() const { return arguments; }
  /// The processing context; null until PE_ENGINE_INITIALIZE.
  Instance* getInstance() const { return instance; }

 private:
  std::int32_t initialize();
  std::int32_t shutdown();
  bool isPlaying() const;
  std::int32_t listAudioDevices(PEAudioDeviceRecord* records, int capacity, std::int32_t* count);
  std::int32_t listMIDIDevices(PEMIDIDeviceRecord* records, int capacity, int kind,
                               std::int32_t* count);
  std::int32_t listDeviceValues(bool rates, std::int32_t* values, int capacity,
                                std::int32_t* count);
  std::int32_t setAudioDevice(int id);
  std::int32_t applySettings(int sampleRate, int blockSize);
  std::int32_t addInstrument();
  std::int32_t enableMIDIDevice(int id, int enable);
  void endOfflineThread();

  std::string appSupportPath;
  std::vector<std::string> arguments;
  ConsoleLogger* logger = nullptr;
  Instance* instance = nullptr;
  pid_t m_streamerThread = 0;  // the disk thread's task id, 0 when unknown
};

}  // namespace vantor
