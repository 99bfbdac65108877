// One engine instance and one engine editor as the three engine hosts (KeloDeck's SMPLModule,
// KeloRack, KeloUnit) drive them: every engine command has one named operation here, so the
// arguments of each command are written once. The hosts decide when to call what, and what
// to log; each operation answers the engine's result (0 for success) and logs nothing.
//
// Threads: as KeloEngineInterface.h says of the commands: `process` on the render thread
// (no allocation, no lock), the parameter operations on any thread, the rest on the main
// thread. A session takes no lock.
#pragma once

#include <cstdint>

#include "VNL/source/ParameterInfo.h"
#include "standalone/engine_interface/KeloEngineInterface.h"

namespace vantor {

/// The engine's answer when a session has no engine or no instance to call.
inline constexpr std::int32_t kEngineSessionUnbound = 1;

/// For a host that does nothing with the engine's results.
inline constexpr auto kIgnoreEngineResult = [](std::int32_t) {};

class EngineSession {
 public:
  /// The entry point (null: no engine) and the version deciding the process command.
  void bind(KeloOpcodeFunction entry, std::int32_t version) {
    m_entry = entry;
    m_version = version;
  }
  KeloOpcodeFunction entry() const { return m_entry; }
  void* instance() const { return m_instance; }
  std::int32_t version() const { return m_version; }
  bool hasEngine() const { return m_entry != nullptr; }
  bool hasInstance() const { return m_entry != nullptr && m_instance != nullptr; }
  /// KELO_OP_PROCESS_EX from version 1056, KELO_OP_PROCESS below.
  bool processesEx() const { return m_version >= kKeloProcessExVersion; }
  /// Drives an instance made elsewhere (the Audio Unit's view drives its unit's); such a
  /// session never creates or destroys one.
  void adopt(KeloOpcodeFunction entry, void* instance) {
    m_entry = entry;
    m_instance = instance;
  }

  /// KELO_OP_VERSION_GET into `text` (32 bytes, zeroed first by the caller).
  std::int32_t versionText(char* text) const;
  /// KELO_OP_INSTANCE_CREATE; with a `chunk` the instance starts from it. The instance made
  /// (or none) is the session's.
  std::int32_t create(EngineCreateInfo& info, void* chunk = nullptr, std::int32_t chunkSize = 0);
  /// KELO_OP_INSTANCE_DESTROY; the session forgets the instance.
  std::int32_t destroy();

  /// KELO_OP_DSP_SET: the rate in whole hertz and the largest block.
  std::int32_t setFormat(std::int32_t sampleRate, std::int32_t maxFrames);
  /// KELO_OP_DSP_SET_EX.
  std::int32_t setFormat(EngineDSPInfo& info);
  /// KELO_OP_START; `info` (may be null) receives the engine's latency.
  std::int32_t start(bool offline, EngineStartInfo* info = nullptr);
  /// KELO_OP_STOP.
  std::int32_t stop();

  /// The block through KELO_OP_PROCESS_EX (with `output` for the engine's events and
  /// `inputs`) or KELO_OP_PROCESS (`sync` may be null there) by the engine's version. Render
  /// thread.
  std::int32_t process(MIDIEventBlock& events, MIDIEventBlock* output, float** inputs, float** outputs,
                       SyncInfo* sync, std::int32_t frames);

  /// KELO_OP_CHUNK_GET: the engine's bytes (they stay the engine's) and their size.
  std::int32_t chunk(void** bytes, std::int32_t& size);
  /// KELO_OP_CHUNK_SET.
  std::int32_t setChunk(void* bytes, std::int32_t size);

  /// KELO_OP_PARAMETER_GET, KELO_OP_PARAMETER_SET, KELO_OP_PARAMETER_INFO_GET. Any thread.
  std::int32_t parameter(std::int32_t index, float& value);
  std::int32_t setParameter(std::int32_t index, float value);
  std::int32_t describe(std::int32_t index, const ParameterInfo*& info);

  /// KELO_OP_VENDOR_SPECIFIC.
  std::int32_t vendorSpecific(void* data, std::int32_t selector, float value = 0.0f);
  /// KELO_OP_HOST_CALLBACK_SET and KELO_OP_HOST_CALLBACK_CLEAR.
  std::int32_t setHostCallback(KeloHostCallback callback, void* user, std::int32_t capabilities);
  std::int32_t clearHostCallback(KeloHostCallback callback, void* user);
  /// KELO_OP_EDITOR_ATTACH and KELO_OP_EDITOR_DETACH of an editor of this instance.
  std::int32_t attachEditor(void* editor);
  std::int32_t detachEditor(void* editor);

 private:
  std::int32_t call(void* handle, std::int32_t opcode, void* p1 = nullptr, void* p2 = nullptr, void* p3 = nullptr,
                    std::int32_t i1 = 0, float f = 0.0f, std::int32_t i2 = 0, std::int32_t i3 = 0);

  KeloOpcodeFunction m_entry = nullptr;
  void* m_instance = nullptr;
  std::int32_t m_version = kKeloDefaultEngineVersion;
};

/// The engine's editor of one instance. Main thread.
class EngineEditorSession {
 public:
  KeloOpcodeFunction entry() const { return m_entry; }
  void* handle() const { return m_editor; }
  bool exists() const { return m_entry != nullptr && m_editor != nullptr; }

  /// KELO_OP_EDITOR_CREATE for `instance` from the setup file at `setupPath`; `fromAudioUnit`
  /// tells the engine the Audio Unit's view asks. The editor made (or none) is the session's.
  std::int32_t create(KeloOpcodeFunction entry, const char* setupPath, void* instance, bool fromAudioUnit = false);
  /// Takes an editor made elsewhere (the Audio Unit's view factory makes the view's).
  void adopt(KeloOpcodeFunction entry, void* editor) {
    m_entry = entry;
    m_editor = editor;
  }
  /// KELO_OP_EDITOR_OPEN in `parent` (on Linux an X11 window id).
  std::int32_t open(void* parent);
  /// The Audio Unit's form: with the window's backing `scale` and the view's `flags`.
  std::int32_t open(void* parent, float scale, std::int32_t flags);
  /// KELO_OP_EDITOR_SIZE_GET.
  std::int32_t size(std::int32_t& height, std::int32_t& width);
  /// KELO_OP_EDITOR_VIEW_GET.
  std::int32_t view(void*& view);
  /// KELO_OP_EDITOR_IDLE.
  std::int32_t idle();
  /// KELO_OP_EDITOR_DRAW of a rectangle; all 0 draws everything.
  std::int32_t draw(std::int32_t top = 0, std::int32_t left = 0, std::int32_t bottom = 0, float right = 0.0f);
  /// KELO_OP_EDITOR_DESTROY; the session forgets the editor (and keeps the entry point).
  std::int32_t destroy();
  /// Lets go of the editor and the entry point without a call (the engine is going).
  void forget() { *this = EngineEditorSession{}; }

  // The sequences the hosts share; each engine result goes to `report` as it comes.
  /// Opens the editor in `parent`, then attaches it to `instance`, whatever the opening answered.
  template <typename Report>
  void show(EngineSession& instance, void* parent, Report&& report) {
    report(open(parent));
    report(instance.attachEditor(m_editor));
  }
  /// The same in the Audio Unit's form of opening.
  template <typename Report>
  void show(EngineSession& instance, void* parent, float scale, std::int32_t flags, Report&& report) {
    report(open(parent, scale, flags));
    report(instance.attachEditor(m_editor));
  }
  /// Detaches the editor from `instance` when it is `attached`, then destroys it.
  template <typename Report>
  void close(EngineSession& instance, bool attached, Report&& report) {
    if (attached) report(instance.detachEditor(m_editor));
    report(destroy());
  }

 private:
  std::int32_t call(std::int32_t opcode, void* p1 = nullptr, void* p2 = nullptr, std::int32_t i1 = 0, float f = 0.0f,
                    std::int32_t i2 = 0, std::int32_t i3 = 0);

  KeloOpcodeFunction m_entry = nullptr;
  void* m_editor = nullptr;
};

}  // namespace vantor
