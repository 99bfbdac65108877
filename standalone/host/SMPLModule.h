// The graph module that hosts the external sampler engine in the standalone: it binds the
// engine bundle, creates one engine instance and passes it the graph's format, start and
// stop, each block's events and output buffers, and the state chunk. Asked to show its user
// interface, it opens the engine's editor in the main window that the front end builds, with
// the media bar under it, ticks the editor from a main-loop timer and loads the start-up
// state chunk.
//
// Threads: `processMIDIStereo` runs on the render thread (the audio callback, or the offline
// thread) inside the graph's try-locked render; it neither allocates nor locks. Everything
// else runs on the main thread. The module takes no lock of its own: the engine accepts main-
// thread calls while a process call runs.
//
// Lifetime: constructed, `init` (which ends the process, exit status 0, when the engine cannot
// be bound or no instance can be created), `start`, handed to the graph, which deletes it.
// The destructor removes the idle timer, then closes the editor (when there is one), destroys
// the instance and releases the bundle reference binding took.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/cf/CFBundle.h"
#include "standalone/engine_interface/EngineSession.h"
#include "standalone/host/InstrumentFrontEnd.h"
#include "standalone/host/Module.h"

namespace vantor {

/// Where the start-up state chunk comes from (`chooseStartupChunk`).
struct StartupChunkChoice {
  enum class Source {
    Skip,               // the first argument names a file of another kind: load nothing
    Argument,           // the ".kelo" file named by the first argument
    UserDefault,        // "default.kelo" in the user's product folder
    DataFolderDefault,  // "default.kelo" in the data folder (may not exist)
  };
  Source source = Source::Skip;
  std::string path;            // empty with Skip
  bool noUserDefault = false;  // the user default was looked for and not found
};

/// The start-up chunk rules. `arguments` (null when they could not be had) holds the program
/// path first: an existing file as the next argument decides alone, a ".kelo" extension
/// (exactly, case-sensitive) loading it and any other extension loading nothing; otherwise
/// the user default, else the data-folder default. `exists` tells whether a path names
/// something on disk.
StartupChunkChoice chooseStartupChunk(const std::vector<std::string>* arguments,
                                      const std::string& userDefault,
                                      const std::string& dataFolderDefault,
                                      bool (*exists)(const std::string&));

/// The folder creation is retried from when the data folder does not hold the engine's
/// files: on Linux the parent of the folder holding the program (its installation prefix).
std::string folderHoldingApplication();

class SMPLModule : public Module {
 public:
  /// The command interface's shape (`engineOpcode`): command, p1, p2, i1, i2, i3, f.
  using CommandFunction = std::int32_t (*)(std::int32_t command, void* p1, void* p2,
                                           std::int32_t i1, std::int32_t i2, std::int32_t i3,
                                           float f);
  static constexpr std::int32_t kCommandMIDIPositionGet = 306;
  static constexpr std::int32_t kCommandAppArgumentsGet = 561;
  /// Idle ticks between two polls of the MIDI-file position.
  static constexpr std::int8_t kIdlePollTicks = 20;
  static constexpr double kIdleIntervalSeconds = 0.016;
  static constexpr int kDataFolderSize = 2048;

  /// `frontEnd` (null: the null front end) and `commands` (null: every command fails) are
  /// not owned and outlive the module.
  explicit SMPLModule(InstrumentFrontEnd* frontEnd = nullptr, CommandFunction commands = nullptr);
  ~SMPLModule() override;

  /// Binds the engine and creates the instance; a second call only sends the format.
  bool init(const Context* context, const DSPInfo* dspInfo) override;
  void setDSPInfo(const DSPInfo* dspInfo) override;
  /// Going offline stops the recorder panel's recording; coming back reloads the player panel.
  void setOffline(bool offline);
  /// KELO_OP_START with the format's offline flag.
  void start() override;
  void stop() override;

  /// Builds the main window around the editor, the media bar and the idle timer, then loads
  /// the start-up chunk. `parent` is not used. Answers false (0).
  bool showUI(void* parent) override;
  bool closeUI(bool) override { return false; }
  bool isUIShown() override { return false; }

  /// The engine's chunk; the bytes stay the engine's. False when it gives none.
  bool saveChunk(unsigned char** data, int& size) override;
  bool saveChunkEnd() override { return false; }
  /// False when the engine does not take the state.
  bool loadChunk(unsigned char* data, int size) override;

  /// Render thread: the first 1024 of the (already ordered) events, then one KELO_OP_PROCESS
  /// into the two `outputs`, even without events. `inputs` and `add` are not used.
  void processMIDIStereo(const std::vector<MIDIEvent>& events, float** inputs, float** outputs,
                         unsigned frames, bool add) override;

  /// The idle timer's work: the editor's idle tick and, every 21st tick while not offline,
  /// the MIDI-file position shown in the player panel.
  void idle();
  /// Loads the start-up chunk (`chooseStartupChunk`); true when a chunk file was opened or
  /// the program's argument asked for nothing to be loaded.
  bool loadDefaultChunk();

  /// Replaces the folder creation is retried from (normally `folderHoldingApplication()`).
  void setApplicationFolder(const std::string& folder) { m_applicationFolder = folder; }

  void* instanceHandle() const { return m_engine.instance(); }
  void* editorHandle() const { return m_editor.handle(); }
  const char* dataFolder() const { return m_dataFolder; }
  const std::string& baseDir() const { return m_baseDir; }
  bool isOffline() const { return m_offline; }
  const std::string& productDomain() const { return m_productDomain; }

 private:
  void createInstance();
  void sendFormat();
  static void idleTimerFired(void* module);

  EngineSession m_engine;
  EngineEditorSession m_editor;
  EngineCreateInfo m_createInfo{};
  MIDIEventBlock m_eventBlock{};
  std::string m_enginePath;
  std::string m_baseDir;
  char m_dataFolder[kDataFolderSize] = {};
  bool m_offline = false;
  std::int32_t m_usesMediaBar = 1;
  std::string m_productDomain;
  CFBundleRef m_bundle = nullptr;
  bool m_windowShown = false;
  std::int8_t m_idleCount = 0;

  InstrumentFrontEnd* m_frontEnd;
  CommandFunction m_commands;
  InstrumentFrontEnd::TimerId m_idleTimer = InstrumentFrontEnd::kNoTimer;
  std::string m_applicationFolder;
};

}  // namespace vantor
