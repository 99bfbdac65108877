#include "plugins/vst/AudioEffectX.h"

#include <cstdlib>
#include <cstring>

#include "plugins/vst/AEffEditor.h"

namespace {

std::intptr_t yes(bool answer) { return answer ? 1 : 0; }

}  // namespace

std::intptr_t AudioEffectX::dispatcher(std::int32_t opcode, std::int32_t index,
                                       std::intptr_t value, void* ptr, float opt) {
  switch (opcode) {
    case effProcessEvents:
      return processEvents(static_cast<VstEvents*>(ptr));
    case effCanBeAutomated:
      return yes(canParameterBeAutomated(index));
    case effString2Parameter:
      return yes(string2parameter(index, static_cast<char*>(ptr)));
    case effGetNumProgramCategories:
      return getNumCategories();
    case effGetProgramNameIndexed:
      return yes(getProgramNameIndexed(static_cast<std::int32_t>(value), index,
                                       static_cast<char*>(ptr)));
    case effCopyProgram:
      return yes(copyProgram(index));
    case effConnectInput:
    case effConnectOutput:
      return 1;
    case effGetInputProperties:
      return yes(getInputProperties(index, static_cast<VstPinProperties*>(ptr)));
    case effGetOutputProperties:
      return yes(getOutputProperties(index, static_cast<VstPinProperties*>(ptr)));
    case effGetPlugCategory:
      return getPlugCategory();
    case effGetCurrentPosition:
      return reportCurrentPosition();
    case effGetDestinationBuffer:
      return reinterpret_cast<std::intptr_t>(reportDestinationBuffer());
    case effOfflineNotify:
      return yes(offlineNotify(ptr, static_cast<std::int32_t>(value), index != 0));
    case effOfflinePrepare:
      return yes(offlinePrepare(ptr, static_cast<std::int32_t>(value)));
    case effOfflineRun:
      return yes(offlineRun(ptr, static_cast<std::int32_t>(value)));
    case effProcessVarIo:
      return yes(processVariableIo(ptr));
    case effSetSpeakerArrangement:
      return yes(setSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement*>(value),
                                       static_cast<VstSpeakerArrangement*>(ptr)));
    case effSetBlockSizeAndSampleRate:
      setBlockSizeAndSampleRate(static_cast<std::int32_t>(value), opt);
      return 1;
    case effSetBypass:
      return yes(setBypass(value != 0));
    case effGetEffectName:
      return yes(getEffectName(static_cast<char*>(ptr)));
    case effGetErrorText:
      return yes(getErrorText(static_cast<char*>(ptr)));
    case effGetVendorString:
      return yes(getVendorString(static_cast<char*>(ptr)));
    case effGetProductString:
      return yes(getProductString(static_cast<char*>(ptr)));
    case effGetVendorVersion:
      return getVendorVersion();
    case effVendorSpecific:
      return vendorSpecific(index, value, ptr, opt);
    case effCanDo:
      return canDo(static_cast<char*>(ptr));
    case effGetTailSize:
      return getGetTailSize();
    case effIdle:
      return fxIdle();
    case effGetIcon:
      return reinterpret_cast<std::intptr_t>(getIcon());
    case effSetViewPosition:
      return yes(setViewPosition(index, static_cast<std::int32_t>(value)));
    case effGetParameterProperties:
      return yes(getParameterProperties(index, ptr));
    case effKeysRequired:
      return keysRequired() ? 0 : 1;
    case effGetVstVersion:
      return getVstVersion();
    case effEditKeyDown:
    case effEditKeyUp: {
      if (!editor) return 0;
      VstKeyCode key{index, static_cast<unsigned char>(value), static_cast<unsigned char>(opt)};
      return yes(opcode == effEditKeyDown ? editor->onKeyDown(key) : editor->onKeyUp(key));
    }
    case effSetEditKnobMode:
      return editor ? yes(editor->setKnobMode(static_cast<std::int32_t>(value))) : 0;
    case effGetMidiProgramName:
      return getMidiProgramName(index, ptr);
    case effGetCurrentMidiProgram:
      return getCurrentMidiProgram(index, ptr);
    case effGetMidiProgramCategory:
      return getMidiProgramCategory(index, ptr);
    case effHasMidiProgramsChanged:
      return yes(hasMidiProgramsChanged(index));
    case effGetMidiKeyName:
      return yes(getMidiKeyName(index, ptr));
    case effBeginSetProgram:
      return yes(beginSetProgram());
    case effEndSetProgram:
      return yes(endSetProgram());
    case effGetSpeakerArrangement:
      return yes(getSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement**>(value),
                                       static_cast<VstSpeakerArrangement**>(ptr)));
    case effShellGetNextPlugin:
      return getNextShellPlugin(static_cast<char*>(ptr));
    case effStartProcess:
      return startProcess();
    case effStopProcess:
      return stopProcess();
    case effSetTotalSampleToProcess:
      return setTotalSampleToProcess(static_cast<std::int32_t>(value));
    case effSetPanLaw:
      return yes(setPanLaw(static_cast<std::int32_t>(value), opt));
    case effBeginLoadBank:
      return beginLoadBank(ptr);
    case effBeginLoadProgram:
      return beginLoadProgram(ptr);
    case effSetProcessPrecision:
      return yes(setProcessPrecision(static_cast<std::int32_t>(value)));
    case effGetNumMidiInputChannels:
      return getNumMidiInputChannels();
    case effGetNumMidiOutputChannels:
      return getNumMidiOutputChannels();
    default:
      return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
  }
}

void AudioEffectX::resume() {
  char receive[] = "receiveVstMidiEvent";
  if ((cEffect.flags & effFlagsIsSynth) || canDo(receive) == 1) wantEvents(1);
}

bool AudioEffectX::getSpeakerArrangement(VstSpeakerArrangement** pluginInput,
                                         VstSpeakerArrangement** pluginOutput) {
  if (pluginInput) *pluginInput = nullptr;
  if (pluginOutput) *pluginOutput = nullptr;
  return false;
}

// ---- Host calls ----

void AudioEffectX::wantEvents(std::int32_t filter) { callHost(audioMasterWantMidi, 0, filter); }

VstTimeInfo* AudioEffectX::getTimeInfo(std::int32_t filter) {
  return reinterpret_cast<VstTimeInfo*>(callHost(audioMasterGetTime, 0, filter));
}

bool AudioEffectX::sendVstEventsToHost(VstEvents* events) {
  return callHost(audioMasterProcessEvents, 0, 0, events) == 1;
}

bool AudioEffectX::ioChanged() { return callHost(audioMasterIOChanged) != 0; }

bool AudioEffectX::sizeWindow(std::int32_t width, std::int32_t height) {
  return callHost(audioMasterSizeWindow, width, height) != 0;
}

double AudioEffectX::updateSampleRate() {
  const std::intptr_t rate = callHost(audioMasterGetSampleRate);
  if (rate > 0) sampleRate = static_cast<float>(rate);
  return sampleRate;
}

std::int32_t AudioEffectX::updateBlockSize() {
  const std::intptr_t size = callHost(audioMasterGetBlockSize);
  if (size > 0) blockSize = static_cast<std::int32_t>(size);
  return blockSize;
}

std::int32_t AudioEffectX::getInputLatency() {
  return static_cast<std::int32_t>(callHost(audioMasterGetInputLatency));
}

std::int32_t AudioEffectX::getOutputLatency() {
  return static_cast<std::int32_t>(callHost(audioMasterGetOutputLatency));
}

std::int32_t AudioEffectX::getCurrentProcessLevel() {
  return static_cast<std::int32_t>(callHost(audioMasterGetCurrentProcessLevel));
}

std::int32_t AudioEffectX::getAutomationState() {
  return static_cast<std::int32_t>(callHost(audioMasterGetAutomationState));
}

bool AudioEffectX::getHostVendorString(char* text) {
  return callHost(audioMasterGetVendorString, 0, 0, text) != 0;
}

bool AudioEffectX::getHostProductString(char* text) {
  return callHost(audioMasterGetProductString, 0, 0, text) != 0;
}

std::int32_t AudioEffectX::getHostVendorVersion() {
  return static_cast<std::int32_t>(callHost(audioMasterGetVendorVersion));
}

std::intptr_t AudioEffectX::hostVendorSpecific(std::int32_t index, std::intptr_t value, void* ptr,
                                               float opt) {
  return callHost(audioMasterVendorSpecific, index, value, ptr, opt);
}

bool AudioEffectX::canHostDo(char* text) { return callHost(audioMasterCanDo, 0, 0, text) != 0; }

std::int32_t AudioEffectX::getHostLanguage() {
  return static_cast<std::int32_t>(callHost(audioMasterGetLanguage));
}

void* AudioEffectX::getDirectory() {
  return reinterpret_cast<void*>(callHost(audioMasterGetDirectory));
}

bool AudioEffectX::updateDisplay() { return callHost(audioMasterUpdateDisplay) != 0; }

bool AudioEffectX::beginEdit(std::int32_t index) {
  return callHost(audioMasterBeginEdit, index) != 0;
}

bool AudioEffectX::endEdit(std::int32_t index) { return callHost(audioMasterEndEdit, index) != 0; }

bool AudioEffectX::openFileSelector(void* fileSelect) {
  return callHost(audioMasterOpenFileSelector, 0, 0, fileSelect) != 0;
}

bool AudioEffectX::closeFileSelector(void* fileSelect) {
  return callHost(audioMasterCloseFileSelector, 0, 0, fileSelect) != 0;
}

std::int32_t AudioEffectX::tempoAt(std::int32_t position) {
  return static_cast<std::int32_t>(callHost(audioMasterTempoAt, 0, position));
}

std::int32_t AudioEffectX::getNumAutomatableParameters() {
  return static_cast<std::int32_t>(callHost(audioMasterGetNumAutomatableParameters));
}

std::int32_t AudioEffectX::getParameterQuantization() {
  return static_cast<std::int32_t>(callHost(audioMasterGetParameterQuantization));
}

bool AudioEffectX::needIdle() { return callHost(audioMasterNeedIdle) != 0; }

AEffect* AudioEffectX::getPreviousPlug(std::int32_t input) {
  return reinterpret_cast<AEffect*>(callHost(audioMasterGetPreviousPlug, input));
}

AEffect* AudioEffectX::getNextPlug(std::int32_t output) {
  return reinterpret_cast<AEffect*>(callHost(audioMasterGetNextPlug, output));
}

std::int32_t AudioEffectX::willProcessReplacing() {
  return static_cast<std::int32_t>(callHost(audioMasterWillReplaceOrAccumulate));
}

bool AudioEffectX::offlineStart(void* audioFiles, std::int32_t numAudioFiles,
                                std::int32_t numNewAudioFiles) {
  return callHost(audioMasterOfflineStart, numNewAudioFiles, numAudioFiles, audioFiles) != 0;
}

bool AudioEffectX::offlineRead(void* offline, std::int32_t option, bool readSource) {
  return callHost(audioMasterOfflineRead, readSource ? 1 : 0, option, offline) != 0;
}

bool AudioEffectX::offlineWrite(void* offline, std::int32_t option) {
  return callHost(audioMasterOfflineWrite, 0, option, offline) != 0;
}

std::int32_t AudioEffectX::offlineGetCurrentPass() {
  return static_cast<std::int32_t>(callHost(audioMasterOfflineGetCurrentPass));
}

std::int32_t AudioEffectX::offlineGetCurrentMetaPass() {
  return static_cast<std::int32_t>(callHost(audioMasterOfflineGetCurrentMetaPass));
}

void AudioEffectX::setOutputSamplerate(float rate) {
  callHost(audioMasterSetOutputSampleRate, 0, 0, nullptr, rate);
}

VstSpeakerArrangement* AudioEffectX::getInputSpeakerArrangement() {
  return reinterpret_cast<VstSpeakerArrangement*>(
      callHost(audioMasterGetInputSpeakerArrangement));
}

VstSpeakerArrangement* AudioEffectX::getOutputSpeakerArrangement() {
  return reinterpret_cast<VstSpeakerArrangement*>(
      callHost(audioMasterGetOutputSpeakerArrangement));
}

void* AudioEffectX::openWindow(void* window) {
  return reinterpret_cast<void*>(callHost(audioMasterOpenWindow, 0, 0, window));
}

bool AudioEffectX::closeWindow(void* window) {
  return callHost(audioMasterCloseWindow, 0, 0, window) != 0;
}

// ---- Speaker arrangements ----

bool AudioEffectX::allocateArrangement(VstSpeakerArrangement** arrangement,
                                       std::int32_t channels) {
  if (!arrangement || channels < 0 || channels > kMaxArrangementSpeakers) return false;
  deallocateArrangement(arrangement);
  // Never smaller than the declared record, so its eight speakers can always be read.
  std::size_t size = offsetof(VstSpeakerArrangement, speakers) +
                     sizeof(VstSpeakerProperties) * static_cast<std::size_t>(channels);
  if (size < sizeof(VstSpeakerArrangement)) size = sizeof(VstSpeakerArrangement);
  auto* made = static_cast<VstSpeakerArrangement*>(std::calloc(1, size));
  if (!made) return false;
  made->numChannels = channels;
  *arrangement = made;
  return true;
}

bool AudioEffectX::deallocateArrangement(VstSpeakerArrangement** arrangement) {
  if (!arrangement) return false;
  std::free(*arrangement);
  *arrangement = nullptr;
  return true;
}

bool AudioEffectX::matchArrangement(VstSpeakerArrangement** to, VstSpeakerArrangement* from) {
  if (!from || !allocateArrangement(to, from->numChannels)) return false;
  (*to)->type = from->type;
  // Records for more than eight channels are longer than declared.
  for (std::size_t i = 0; i < static_cast<std::size_t>(from->numChannels); ++i)
    copySpeaker(&VstSpeakerAt(**to, i), &VstSpeakerAt(*from, i));
  return true;
}

bool AudioEffectX::copySpeaker(VstSpeakerProperties* to, VstSpeakerProperties* from) {
  if (!to || !from) return false;
  std::strncpy(to->name, from->name, kVstMaxNameLen - 1);
  to->name[kVstMaxNameLen - 1] = 0;
  to->azimuth = from->azimuth;
  to->elevation = from->elevation;
  to->radius = from->radius;
  to->reserved = from->reserved;
  to->type = from->type;
  return true;
}
