// The VST 2 extensions of an effect: opcodes 25 to 79, the extended host calls and the
// speaker-arrangement helpers. `SamplerVST` derives from it.
//
// Threads: as `AudioEffect`. processEvents, getTimeInfo, sendVstEventsToHost and
// getCurrentProcessLevel are used on the render thread: they neither allocate nor lock.
#pragma once

#include <cstdint>

#include "plugins/vst/AudioEffect.h"

class AudioEffectX : public AudioEffect {
 public:
  AudioEffectX(audioMasterCallback audioMaster, std::int32_t numPrograms,
               std::int32_t numParams)
      : AudioEffect(audioMaster, numPrograms, numParams) {}

  /// Opcodes 25 to 79; the others go to AudioEffect::dispatcher.
  std::intptr_t dispatcher(std::int32_t opcode, std::int32_t index, std::intptr_t value,
                           void* ptr, float opt) override;
  /// Asks the host for MIDI when the effect is a synth or can receive MIDI events.
  void resume() override;

  // ---- Operations the dispatcher calls (defaults: nothing done, false or 0) ----
  virtual std::int32_t processEvents(VstEvents* events) { return 0; }
  virtual bool canParameterBeAutomated(std::int32_t index) { return true; }
  virtual bool string2parameter(std::int32_t index, char* text) { return false; }
  virtual std::int32_t getNumCategories() { return 1; }
  virtual bool getProgramNameIndexed(std::int32_t category, std::int32_t index, char* text) {
    return false;
  }
  virtual bool copyProgram(std::int32_t destination) { return false; }
  virtual bool getInputProperties(std::int32_t index, VstPinProperties* properties) {
    return false;
  }
  virtual bool getOutputProperties(std::int32_t index, VstPinProperties* properties) {
    return false;
  }
  virtual VstPlugCategory getPlugCategory() {
    return (cEffect.flags & effFlagsIsSynth) ? kPlugCategSynth : kPlugCategUnknown;
  }
  virtual std::int32_t reportCurrentPosition() { return 0; }
  virtual float* reportDestinationBuffer() { return nullptr; }
  virtual bool offlineNotify(void* audioFiles, std::int32_t numAudioFiles, bool start) {
    return false;
  }
  virtual bool offlinePrepare(void* offlineTasks, std::int32_t count) { return false; }
  virtual bool offlineRun(void* offlineTasks, std::int32_t count) { return false; }
  virtual bool processVariableIo(void* variableIo) { return false; }
  virtual bool setSpeakerArrangement(VstSpeakerArrangement* pluginInput,
                                     VstSpeakerArrangement* pluginOutput) {
    return false;
  }
  /// Stores both (the dispatcher answers 1).
  virtual void setBlockSizeAndSampleRate(std::int32_t size, float rate) {
    blockSize = size;
    sampleRate = rate;
  }
  virtual bool setBypass(bool onOff) { return false; }
  virtual bool getEffectName(char* name) { return false; }
  virtual bool getErrorText(char* text) { return false; }
  virtual bool getVendorString(char* text) { return false; }
  virtual bool getProductString(char* text) { return false; }
  virtual std::int32_t getVendorVersion() { return 0; }
  virtual std::intptr_t vendorSpecific(std::int32_t index, std::intptr_t value, void* ptr,
                                       float opt) {
    return 0;
  }
  /// 1 yes, -1 no, 0 don't know.
  virtual std::int32_t canDo(char* text) { return 0; }
  virtual std::int32_t getGetTailSize() { return 0; }
  virtual std::int32_t fxIdle() { return 0; }
  virtual void* getIcon() { return nullptr; }
  virtual bool setViewPosition(std::int32_t x, std::int32_t y) { return false; }
  virtual bool getParameterProperties(std::int32_t index, void* properties) { return false; }
  virtual bool keysRequired() { return false; }
  virtual std::int32_t getVstVersion() { return kVstVersion; }
  virtual std::int32_t getMidiProgramName(std::int32_t channel, void* midiProgramName) {
    return 0;
  }
  virtual std::int32_t getCurrentMidiProgram(std::int32_t channel, void* currentProgram) {
    return 0;
  }
  virtual std::int32_t getMidiProgramCategory(std::int32_t channel, void* category) {
    return 0;
  }
  virtual bool hasMidiProgramsChanged(std::int32_t channel) { return false; }
  virtual bool getMidiKeyName(std::int32_t channel, void* keyName) { return false; }
  virtual bool beginSetProgram() { return false; }
  virtual bool endSetProgram() { return false; }
  /// Writes null into both (when given) and answers false.
  virtual bool getSpeakerArrangement(VstSpeakerArrangement** pluginInput,
                                     VstSpeakerArrangement** pluginOutput);
  virtual std::int32_t getNextShellPlugin(char* name) { return 0; }
  virtual std::int32_t startProcess() { return 0; }
  virtual std::int32_t stopProcess() { return 0; }
  virtual bool setPanLaw(std::int32_t type, float value) { return false; }
  virtual std::int32_t beginLoadBank(void* patchChunkInfo) { return 0; }
  virtual std::int32_t beginLoadProgram(void* patchChunkInfo) { return 0; }
  virtual bool setProcessPrecision(std::int32_t precision) { return false; }
  virtual std::int32_t getNumMidiInputChannels() { return 0; }
  virtual std::int32_t getNumMidiOutputChannels() { return 0; }
  virtual std::int32_t setTotalSampleToProcess(std::int32_t value) { return value; }

  // ---- Calls to the host (each answers 0 or false without a host callback unless said) ----
  virtual void wantEvents(std::int32_t filter = 1);
  /// The host's transport record (the host's memory), or null.
  virtual VstTimeInfo* getTimeInfo(std::int32_t filter);
  /// True when the host answers 1.
  virtual bool sendVstEventsToHost(VstEvents* events);
  virtual bool ioChanged();
  virtual bool sizeWindow(std::int32_t width, std::int32_t height);
  /// Takes a positive host answer as the rate; answers the rate.
  virtual double updateSampleRate();
  /// Takes a positive host answer as the block size; answers the block size.
  virtual std::int32_t updateBlockSize();
  virtual std::int32_t getInputLatency();
  virtual std::int32_t getOutputLatency();
  virtual std::int32_t getCurrentProcessLevel();
  virtual std::int32_t getAutomationState();
  /// `text` must hold kVstMaxVendorStrLen (kVstMaxProductStrLen) characters.
  virtual bool getHostVendorString(char* text);
  virtual bool getHostProductString(char* text);
  virtual std::int32_t getHostVendorVersion();
  virtual std::intptr_t hostVendorSpecific(std::int32_t index, std::intptr_t value, void* ptr,
                                           float opt);
  /// True on any non-zero answer, -1 ("no") included.
  virtual bool canHostDo(char* text);
  virtual std::int32_t getHostLanguage();
  virtual void* getDirectory();
  virtual bool updateDisplay();
  virtual bool beginEdit(std::int32_t index);
  virtual bool endEdit(std::int32_t index);
  virtual bool openFileSelector(void* fileSelect);
  virtual bool closeFileSelector(void* fileSelect);
  // Deprecated host calls.
  virtual std::int32_t tempoAt(std::int32_t position);
  virtual std::int32_t getNumAutomatableParameters();
  virtual std::int32_t getParameterQuantization();
  virtual bool needIdle();
  virtual AEffect* getPreviousPlug(std::int32_t input);
  virtual AEffect* getNextPlug(std::int32_t output);
  virtual std::int32_t willProcessReplacing();
  virtual bool offlineStart(void* audioFiles, std::int32_t numAudioFiles,
                            std::int32_t numNewAudioFiles);
  virtual bool offlineRead(void* offline, std::int32_t option, bool readSource = true);
  virtual bool offlineWrite(void* offline, std::int32_t option);
  virtual std::int32_t offlineGetCurrentPass();
  virtual std::int32_t offlineGetCurrentMetaPass();
  virtual void setOutputSamplerate(float rate);
  virtual VstSpeakerArrangement* getInputSpeakerArrangement();
  virtual VstSpeakerArrangement* getOutputSpeakerArrangement();
  virtual void* openWindow(void* window);
  virtual bool closeWindow(void* window);

  // ---- Flags and speaker arrangements ----
  /// More speakers than any host lays out: a count beyond it is refused, not trusted.
  static constexpr std::int32_t kMaxArrangementSpeakers = 1024;
  virtual void isSynth(bool state = true) { setFlag(effFlagsIsSynth, state); }
  virtual void noTail(bool state = true) { setFlag(effFlagsNoSoundInStop, state); }
  /// Frees *arrangement and makes a zeroed record with room for `channels` speakers; a count
  /// below 0 or above kMaxArrangementSpeakers is refused and *arrangement kept.
  virtual bool allocateArrangement(VstSpeakerArrangement** arrangement, std::int32_t channels);
  virtual bool deallocateArrangement(VstSpeakerArrangement** arrangement);
  /// Re-allocates *to for the channel count of `from` and copies its type and speakers; `from`
  /// must hold as many as it counts. A count allocateArrangement refuses keeps *to.
  virtual bool matchArrangement(VstSpeakerArrangement** to, VstSpeakerArrangement* from);
  /// Copies name (at most 63 characters), angles, radius, reserved and type.
  virtual bool copySpeaker(VstSpeakerProperties* to, VstSpeakerProperties* from);
};
