// One instance of the reference engine: its parameters and voices, its processing format and
// run state, its state chunk, the host callback, and the checks of what hosts must do.
//
// Threads: process() runs on the host's render thread and neither allocates nor locks;
// everything else runs on the host's main thread (the thread that created the instance),
// parameters and chunks possibly while process() runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/EngineChain.h"
#include "engine/EngineParameters.h"
#include "engine/EngineSynth.h"
#include "standalone/engine_interface/KeloEngineInterface.h"

namespace kelo::engine {

inline constexpr int kMaxChannels = 32;

class EngineInstance {
 public:
  /// Null (and the reason logged) when the data folder holds no "KeloSetup.xml" or the
  /// channel counts are outside 0..32. `dataPath` may name the folder or the setup file.
  static std::unique_ptr<EngineInstance> create(const EngineCreateInfo& info);

  const std::string& dataFolder() const { return m_dataFolder; }
  bool onMainThread() const;

  void setFormat(double sampleRate, int maxFrames);
  /// Channel counts, rate and block size at once; false when the counts are out of range.
  bool setFormat(const EngineDSPInfo& info);
  /// Repeated starts without a stop are fine. Writes `latency` into the start record.
  void start(bool offline, EngineStartInfo* startInfo, std::int32_t latency);
  void stop();

  /// One block. `midiOut` and `inputs` only with KELO_OP_PROCESS_EX. Answers 0, or non-zero
  /// when the call could not be honoured (the outputs are then silent where they exist).
  std::int32_t process(std::int32_t opcode, const MIDIEventBlock* midiIn, float* const* outputs,
                       const vantor::SyncInfo* sync, int frames, float* const* inputs,
                       MIDIEventBlock* midiOut);

  /// Replaces the pass-through chain (the engine plug-ins of the data folder's setup go
  /// here). Main thread, while no process call runs (before the first start or while
  /// stopped); prepared at once when a format is known.
  void setChain(std::unique_ptr<EngineChain> chain);
  EngineChain& chain() { return *m_chain; }

  EngineParameters& parameters() { return m_parameters; }
  const EngineParameters& parameters() const { return m_parameters; }

  /// The chunk stays valid until the next chunk call or destruction.
  void chunk(const std::uint8_t*& bytes, std::int32_t& length);
  bool setChunk(const std::uint8_t* bytes, std::size_t length);

  void setHostCallback(KeloHostCallback callback, void* user, std::int32_t capabilities);
  /// False (nothing cleared) when `callback` and `user` are not the registered pair.
  bool clearHostCallback(KeloHostCallback callback, void* user);
  bool hasHostCallback() const;
  /// Calls the host back; false when no callback is registered.
  bool callHost(std::int32_t op, void* p1, void* p2, std::int32_t i1, std::int32_t i2,
                std::int32_t i3, float f, std::int32_t& answer);

  int activeVoices() const { return m_synth.activeVoices(); }
  int numOutputs() const { return m_numOutputs.load(); }
  void* attachedEditor() const { return m_editor; }
  void setAttachedEditor(void* editor) { m_editor = editor; }

 private:
  explicit EngineInstance(const EngineCreateInfo& info, std::string dataFolder);
  void checkEvents(std::int32_t opcode, const MIDIEventBlock& block, int frames) const;

  std::string m_dataFolder;
  unsigned long m_mainThread;
  EngineParameters m_parameters;
  EngineSynth m_synth;
  std::unique_ptr<EngineChain> m_chain;

  // Written by format calls, read by process(): atomics, as a host may (wrongly) overlap them.
  std::atomic<int> m_numInputs;
  std::atomic<int> m_numOutputs;
  std::atomic<double> m_sampleRate{44100.0};
  std::atomic<int> m_maxFrames{0};
  std::atomic<bool> m_formatSet{false};
  std::atomic<bool> m_started{false};
  std::atomic<bool> m_offline{false};
  std::atomic<int> m_processing{0};

  std::atomic<KeloHostCallback> m_callback{nullptr};
  std::atomic<void*> m_callbackUser{nullptr};
  std::int32_t m_capabilities = 0;

  std::vector<std::uint8_t> m_chunk;
  void* m_editor = nullptr;
};

}  // namespace kelo::engine
