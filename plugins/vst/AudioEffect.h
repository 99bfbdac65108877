// The original (VST 1) half of a VST 2.4 effect: the `AEffect` record a host receives, the
// static entries that record points to, the dispatcher of opcodes 0 to 24 and the host calls
// of that era. A plug-in derives from `AudioEffectX`.
//
// Threads: the dispatcher and the host-call helpers run on the thread the host called on (see
// platform/vst2/VstInterface.h); the process operations on the render thread.
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/vst2/VstInterface.h"

class AEffEditor;

/// One plug-in instance. Owns its editor. The record's entries catch every exception: a failed
/// dispatcher or parameter call answers 0, a failed process call leaves silent outputs.
class AudioEffect {
 public:
  AudioEffect(audioMasterCallback audioMaster, std::int32_t numPrograms, std::int32_t numParams);
  virtual ~AudioEffect();

  /// Opcodes 0 to 24; anything else answers 0.
  virtual std::intptr_t dispatcher(std::int32_t opcode, std::int32_t index, std::intptr_t value,
                                   void* ptr, float opt);
  virtual void open() {}
  virtual void close() {}
  virtual void suspend() {}
  virtual void resume() {}
  virtual void setSampleRate(float rate) { sampleRate = rate; }
  virtual void setBlockSize(std::int32_t size) { blockSize = size; }
  virtual void processReplacing(float** inputs, float** outputs, std::int32_t sampleFrames) = 0;
  virtual void processDoubleReplacing(double** inputs, double** outputs,
                                      std::int32_t sampleFrames) {}
  virtual void setParameter(std::int32_t index, float value) {}
  virtual float getParameter(std::int32_t index) { return 0.0f; }
  /// Sets the parameter, then tells the host (audioMasterAutomate).
  virtual void setParameterAutomated(std::int32_t index, float value);
  virtual std::int32_t getProgram() { return curProgram; }
  virtual void setProgram(std::int32_t program) { curProgram = program; }
  virtual void setProgramName(char* name) {}
  virtual void getProgramName(char* name) { terminate(name); }
  virtual void getParameterLabel(std::int32_t index, char* label) { terminate(label); }
  virtual void getParameterDisplay(std::int32_t index, char* text) { terminate(text); }
  virtual void getParameterName(std::int32_t index, char* text) { terminate(text); }
  /// Points *data at the state (the plug-in keeps the memory); answers its size.
  virtual std::int32_t getChunk(void** data, bool isPreset = false) { return 0; }
  virtual std::int32_t setChunk(void* data, std::int32_t byteSize, bool isPreset = false) {
    return 0;
  }
  virtual void setUniqueID(std::int32_t id) { cEffect.uniqueID = id; }
  virtual void setNumInputs(std::int32_t inputs) { cEffect.numInputs = inputs; }
  virtual void setNumOutputs(std::int32_t outputs) { cEffect.numOutputs = outputs; }
  virtual void canProcessReplacing(bool state = true) { setFlag(effFlagsCanReplacing, state); }
  virtual void canDoubleReplacing(bool state = true) {
    setFlag(effFlagsCanDoubleReplacing, state);
  }
  virtual void programsAreChunks(bool state = true) { setFlag(effFlagsProgramChunks, state); }
  /// Stores the latency in the record; the host reads it when it next looks.
  virtual void setInitialDelay(std::int32_t delay) { cEffect.initialDelay = delay; }
  virtual AEffEditor* getEditor() { return editor; }
  virtual AEffect* getAeffect() { return &cEffect; }
  virtual float getSampleRate() { return sampleRate; }
  virtual std::int32_t getBlockSize() { return blockSize; }
  /// The host's VST version; 1 when it answers 0 or there is no host.
  virtual std::int32_t getMasterVersion();
  virtual std::int32_t getCurrentUniqueId();
  virtual void masterIdle();
  /// True when the host answers 0 (connected), and without a host.
  virtual bool isInputConnected(std::int32_t input);
  virtual bool isOutputConnected(std::int32_t output);
  /// Text helpers: `maxLen` is the size of `text`, its terminating zero included.
  virtual void dB2string(float value, char* text, std::int32_t maxLen);
  virtual void Hz2string(float samples, char* text, std::int32_t maxLen);
  virtual void ms2string(float samples, char* text, std::int32_t maxLen);
  virtual void float2string(float value, char* text, std::int32_t maxLen);
  virtual void int2string(std::int32_t value, char* text, std::int32_t maxLen);
  /// Deprecated accumulating process.
  virtual void process(float** inputs, float** outputs, std::int32_t sampleFrames) {}
  virtual float getVu() { return 0.0f; }
  virtual void hasVu(bool state = true) { setFlag(effFlagsHasVu, state); }
  virtual void hasClip(bool state = true) { setFlag(effFlagsHasClip, state); }
  virtual void canMono(bool state = true) { setFlag(effFlagsCanMono, state); }
  virtual void setRealtimeQualities(std::int32_t qualities) { cEffect.realQualities = qualities; }
  virtual void setOfflineQualities(std::int32_t qualities) { cEffect.offQualities = qualities; }

  /// Zeroes `sampleFrames` samples of each of the first `channels` outputs (null ones skipped).
  template <typename Sample>
  static void writeSilence(Sample** outputs, std::int32_t channels, std::int32_t sampleFrames) {
    if (!outputs || sampleFrames <= 0) return;
    for (std::int32_t channel = 0; channel < channels; ++channel)
      if (outputs[channel]) std::memset(outputs[channel], 0, sizeof(Sample) * sampleFrames);
  }

  /// Installs the editor (the effect then owns it) and sets or clears effFlagsHasEditor. A
  /// replaced editor is not deleted.
  void setEditor(AEffEditor* newEditor);

 protected:
  /// One call to the host; 0 without a host callback.
  std::intptr_t callHost(std::int32_t opcode, std::int32_t index = 0, std::intptr_t value = 0,
                         void* ptr = nullptr, float opt = 0.0f);
  void setFlag(std::int32_t bit, bool state) {
    cEffect.flags = state ? (cEffect.flags | bit) : (cEffect.flags & ~bit);
  }
  static void terminate(char* text) {
    if (text) *text = 0;
  }

  audioMasterCallback audioMaster;
  AEffEditor* editor = nullptr;
  float sampleRate = 44100.0f;
  std::int32_t blockSize = 1024;
  std::int32_t numPrograms;
  std::int32_t numParams;
  std::int32_t curProgram = 0;
  AEffect cEffect;
};
