// KeloDeck's application object: start-up (the back end, the saved audio and MIDI devices, the
// menus, audio and the instrument, the first-run message), shut-down (the devices saved back,
// the back end torn down) and the ".kelo" state files. `main` creates it and runs the toolkit's
// `initialize`, `runLoop`, `terminate`; every command goes through `engineCommand`.
//
// Threads: main thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "standalone/app/toolkit/Application.h"
#include "standalone/host/EngineOpcode.h"

namespace vantor::samplerapp {

class SamplerCocoaApplication;

/// The standalone's preference domain: "com." vendor "." product "SA".
std::string standalonePreferenceDomain();
/// The preference key of the `index`th saved MIDI device: "mididevice0<i>" up to 9, then
/// "mididevice<i>".
std::string midiDeviceKey(std::size_t index);

class SamplerApplication : public VNT::Application {
 public:
  SamplerApplication();
  ~SamplerApplication() override;

  /// The start-up steps in order; true.
  bool initialize() override;
  /// Saves the devices, stops audio and shuts the back end down; true.
  bool terminate() override;
  /// `innerLoadChunk(path)`.
  void loadFile(const std::string& path) override;

  /// Starts audio, adds the instrument and shows its editor, once; true.
  bool initEngine();

  bool findAudioDeviceByNameAndAPI(const std::string& name, std::int32_t api,
                                   std::int32_t& id) const;
  bool findMIDIDeviceByName(const std::string& name, std::int32_t& id) const;
  bool findAudioDeviceById(std::string& name, std::int32_t id) const;
  bool findMIDIDeviceById(std::string& name, std::int32_t id) const;

  /// Asks for a file and writes the engine's chunk to it.
  void onSaveChunk();
  /// Asks for a file and loads it.
  void onLoadChunk();
  /// Writes the engine's chunk to the user default file without asking.
  void saveDefaultChunk();
  /// Loads one chunk file into the engine (starting the engine first when needed); 0.
  int innerLoadChunk(const std::string& path);

  const std::string& prefsDomain() const { return m_prefsDomain; }
  bool engineStarted() const { return m_engineStarted; }
  SamplerCocoaApplication* cocoaApplication() const { return m_cocoaApplication.get(); }

 private:
  void restoreAudioDevice();
  void restoreMIDIDevices();
  bool listMIDIDevices();
  void saveMIDIDevices();
  void attachMenuBar();
  /// 335, the bytes written to `path` (temporary file and rename), 336.
  void saveChunkTo(const std::string& path);

  std::vector<PEAudioDeviceRecord> m_audioDevices;
  std::vector<PEMIDIDeviceRecord> m_midiDevices;
  std::string m_prefsDomain;
  std::unique_ptr<SamplerCocoaApplication> m_cocoaApplication;
  bool m_engineStarted = false;
  std::uint64_t m_midiTimer = 0;
};

/// The open-documents handler: brings the program to the front, then loads each path as a
/// chunk file, in order. `application` null: nothing. 0.
int KeloSAAppleEventHandleODoc(const std::vector<std::string>& paths,
                               SamplerApplication* application);

/// Writes `bytes` to `path` through a temporary file beside it, flushed to disk and renamed
/// over it: a failure leaves the old file as it was and no temporary behind. `created` tells
/// whether the temporary could be made (false: nothing was written). A replaced file keeps its
/// mode, a new one gets 0666 less the umask; a symbolic link stays, the file it leads to is
/// replaced. On failure `errno` says why.
bool writeFileAtomically(const std::string& path, const unsigned char* bytes, std::size_t size,
                         bool& created);

}  // namespace vantor::samplerapp
