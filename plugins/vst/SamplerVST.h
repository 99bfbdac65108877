// KeloRack's plug-in object: one per instance a host makes through `VSTPluginMain`. It binds
// the external engine (found through the preference store), creates one engine instance on
// first need, and forwards what a host does to an instrument: format, start and stop, MIDI,
// output buffers, transport, state and editor.
//
// Threads: construction, destruction, resume, suspend, the format calls and the chunk calls
// come on the host's main thread (hosts and scanners also construct from other threads, several
// at once); processReplacing, process and processEvents on the render thread; the engine's
// call-backs on any thread. No lock is taken outside construction and destruction.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "VNL/source/MIDIEvent.h"
#include "VNL/source/ParameterInfo.h"
#include "VNL/source/ProductConf.h"
#include "VNL/source/SyncInfo.h"
#include "platform/cf/CFBundle.h"
#include "plugins/vst/AudioEffectX.h"
#include "standalone/engine_interface/EngineListener.h"
#include "standalone/engine_interface/EngineSession.h"
#include "standalone/engine_interface/KeloEngineInterface.h"

/// The editor's way to make the plug-in initialise itself before the host ever resumed it.
class SuperInitHacker {
 public:
  virtual void init() = 0;

 protected:
  ~SuperInitHacker() = default;
};

class SamplerVST : public AudioEffectX, public SuperInitHacker, private vantor::EngineListener {
 public:
  explicit SamplerVST(audioMasterCallback audioMaster);
  ~SamplerVST() override;

  /// True once any instance of the process failed to bind the engine (data folder, engine
  /// bundle or entry point): the entry point then refuses every instance.
  static bool bindingFailed();

  // Format and lifecycle.
  void suspend() override;
  void resume() override;
  void setSampleRate(float rate) override;
  void setBlockSize(std::int32_t size) override;
  /// The deprecated call: stores the size, and the rate only when the engine takes it.
  void setBlockSizeAndSampleRate(std::int32_t size, float rate) override;
  double updateSampleRate() override;

  // Processing. Without an engine the outputs are written silent.
  void processReplacing(float** inputs, float** outputs, std::int32_t sampleFrames) override;
  void process(float** inputs, float** outputs, std::int32_t sampleFrames) override;
  std::int32_t processEvents(VstEvents* events) override;

  // Parameters: indexes 0 to conf.numParams - 1; setParameter and getParameter also come on
  // the render thread (no lock; engine errors are logged).
  void setParameter(std::int32_t index, float value) override;
  float getParameter(std::int32_t index) override;
  /// The engine's label cut to 24 characters, else "p%03d".
  void getParameterName(std::int32_t index, char* text) override;
  /// Empty without engine or description.
  void getParameterDisplay(std::int32_t index, char* text) override;
  bool canParameterBeAutomated(std::int32_t index) override;

  // Programs: valid numbers are 0 to conf.numPrograms inclusive; names live only here.
  void setProgram(std::int32_t program) override;
  void setProgramName(char* name) override;
  void getProgramName(char* name) override;
  bool getProgramNameIndexed(std::int32_t category, std::int32_t index, char* text) override;

  // State.
  /// The engine's chunk (its memory) and size; one the engine refuses is 0 bytes at null, and a
  /// null `data` answers 0 without asking the engine.
  std::int32_t getChunk(void** data, bool isPreset) override;
  std::int32_t setChunk(void* data, std::int32_t byteSize, bool isPreset) override;

  // Names and capabilities.
  bool getEffectName(char* name) override;
  bool getVendorString(char* text) override;
  bool getProductString(char* text) override;
  std::int32_t getVendorVersion() override { return 2056; }
  std::int32_t canDo(char* text) override;
  bool keysRequired() override { return false; }
  /// Only index 'Kelo' reaches the engine; 1 when it answers 0.
  std::intptr_t vendorSpecific(std::int32_t index, std::intptr_t value, void* ptr,
                               float opt) override;

  // Outputs and speaker arrangements.
  bool getOutputProperties(std::int32_t index, VstPinProperties* properties) override;
  /// Counts up to the product's and the record's channel counts are taken; they reach the
  /// engine with its next format.
  bool setSpeakerArrangement(VstSpeakerArrangement* pluginInput,
                             VstSpeakerArrangement* pluginOutput) override;
  /// The multi-output build only.
  bool getSpeakerArrangement(VstSpeakerArrangement** pluginInput,
                             VstSpeakerArrangement** pluginOutput) override;

  /// SuperInitHacker: initialises now unless already done.
  void init() override;

  /// Tells the host every parameter again after the engine changed its slot.
  void announceSlot(std::int32_t slot);
  /// The parameter's normalised value; `valid` false (raw or 0) when the engine does not
  /// describe it or there is no engine.
  float parameterValue(std::int32_t index, bool& valid);

  /// Fills the engine's transport record from the host's: each field under its validity flag,
  /// the bar start checked against the position (computed, with one warning until
  /// `barStartWarned` is cleared, when the host's is missing or wrong). Real-time safe; lines
  /// carry `logObject`.
  static void fillSyncInfo(const VstTimeInfo& time, vantor::SyncInfo& sync, bool& barStartWarned,
                           const void* logObject);

  /// Stores the latency in the record with an atomic store (the engine reports from any
  /// thread).
  void setInitialDelay(std::int32_t delay) override;

  // For tests and the editor.
  KeloOpcodeFunction engineEntry() const { return m_engine.entry(); }
  void* engineInstance() const { return m_engine.instance(); }
  std::int32_t engineVersion() const { return m_engine.version(); }
  std::int32_t outputCount() const { return m_numOutputs; }
  const char* setupPath() const { return m_setupPath; }

 protected:
  /// The lazy initialisation; `chunk` (may be null) is the state the instance starts from.
  virtual bool init(void* chunk, std::int32_t chunkSize);
  /// Created becomes Bound; other states stay.
  void markBound();
  virtual void reserved() {}
  virtual void prepareSlice(std::int32_t frames);
  virtual void finishSlice();

 private:
  bool multiOutputBuild() const;
  bool hasEngine() const { return m_engine.hasInstance(); }
  vantor::EngineListener* listener() { return this; }

  // The engine's call-backs (any thread, from inside a process call too): lines to the log,
  // parameter changes and gestures to the host, the latency to the record.
  std::int32_t message(std::int32_t kind, const char* title, const char* content) override;
  std::int32_t progressOpen(const char* title, std::int32_t elements) override;
  std::int32_t progressStep() override;
  std::int32_t progressClose() override;
  std::int32_t slotChanged(std::int32_t slot) override;
  std::int32_t parameterChanged(const ParameterInfo* info, std::int32_t kind, std::int32_t index,
                                float value) override;
  std::int32_t latencyChanged(std::int32_t frames) override;
  std::int32_t editBegin(std::int32_t index) override;
  std::int32_t editEnd(std::int32_t index) override;
  std::int32_t unknown(std::int32_t op) override;
  bool hostParameter(std::int32_t index) const {
    return index >= 0 && index < static_cast<std::int32_t>(conf.numParams);
  }
  /// The engine's description of a parameter, or null. Needs an engine.
  const ParameterInfo* description(std::int32_t index);
  /// The map entry (at most 24 characters) or "empty slot%d".
  void programName(std::int32_t program, char* text) const;
  /// An engine result, a non-zero one logged ("engine error:").
  std::int32_t logged(std::int32_t result);
  EngineDSPInfo dspInfo() const;
  void sendFormat();
  /// KELO_OP_START with a fresh start record; reports a changed latency.
  void startEngine();
  /// Tells the host a latency unless it was the last one told.
  void reportLatency(std::int32_t latency);
  void applyHostAdjustments(const char* vendor, const char* product);

  // Engine binding.
  CFBundleRef m_bundle = nullptr;
  vantor::EngineSession m_engine;

  // Paths.
  std::string m_dataFolder;
  std::string m_enginePath;
  std::string m_userFolder;
  std::string m_hostName;
  char m_setupPath[512] = {};
  EngineCreateInfo m_createInfo{};
  std::int32_t m_numInputs = 0;
  std::int32_t m_numOutputs = 0;
  // The output count the engine was last told; host buffers beyond it are zeroed each block.
  std::atomic<std::int32_t> m_engineOutputs{0};
  std::map<std::int32_t, std::string> m_programNames;

  // Transport.
  vantor::SyncInfo m_sync;
  bool m_transportLogged = false;
  bool m_barStartWarned = false;
  std::string m_transportError;
  bool m_timeInfo = false;

  // MIDI.
  std::vector<vantor::MIDIEvent> m_events;  // arrival order; capacity reserved up front
  std::vector<vantor::MIDIEvent> m_scratch;  // the block's sort
  std::unique_ptr<MIDIEventBlock> m_blockIn;
  std::unique_ptr<MIDIEventBlock> m_blockOut;
  std::vector<vantor::MIDIEvent> m_outQueue;
  VstEvents* m_vstEvents = nullptr;  // room for 1024 event pointers
  VstMidiEvent* m_midiStore = nullptr;  // 256 records

  // The plug-in's life: made (Created), initialised with its engine instance if any (Bound),
  // resumed (Running) or suspended, and whether it last ran offline. The main thread changes
  // it; the one step on the render thread is processReplacing's restart when the host's process
  // level turns offline or back. The render thread and the engine's call-backs read it.
  enum class Life : std::uint8_t { Created, Bound, Running, Suspended };
  struct alignas(4) State {
    Life life = Life::Created;
    bool offline = false;
    // A rate or block size the host set while suspended stands at the next resume.
    bool rateSetWhileSuspended = false;
    bool sizeSetWhileSuspended = false;
  };
  State state() const { return m_state.load(std::memory_order_relaxed); }
  void setState(const State& state) { m_state.store(state, std::memory_order_relaxed); }
  std::atomic<State> m_state{State{}};
  static_assert(std::atomic<State>::is_always_lock_free, "the render thread reads the state");

  // Host adjustments.
  bool m_noRateQuery = false;
  bool m_ignoreArrangement = false;
  bool m_gesture = true;

  std::atomic<std::int32_t> m_lastLatency{0};
  std::unique_ptr<std::atomic<float>[]> m_parameterCache;  // REAPER only
  std::atomic<std::int32_t> m_pendingEdit{-1};  // the parameter whose edit gesture is open
  VstSpeakerArrangement* m_inputArrangement = nullptr;
  VstSpeakerArrangement* m_outputArrangement = nullptr;
};
