#include "plugins/vst/AudioEffect.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "plugins/vst/AEffEditor.h"

namespace {

AudioEffect* objectOf(AEffect* effect) {
  return effect ? static_cast<AudioEffect*>(effect->object) : nullptr;
}

// The record's entries: no exception may reach the host.

std::intptr_t dispatchEntry(AEffect* effect, std::int32_t opcode, std::int32_t index,
                            std::intptr_t value, void* ptr, float opt) noexcept {
  AudioEffect* object = objectOf(effect);
  if (!object) return 0;
  std::intptr_t answer = 0;
  bool failed = false;
  try {
    answer = object->dispatcher(opcode, index, value, ptr, opt);
  } catch (...) {
    failed = true;
  }
  if (opcode != effClose) return failed ? 0 : answer;
  // The host forgets the record after effClose, whatever close did.
  delete object;
  return failed ? 0 : 1;
}

// One entry for the three process calls: a failed call leaves silent outputs.
template <typename Sample, void (AudioEffect::*Process)(Sample**, Sample**, std::int32_t)>
void processEntry(AEffect* effect, Sample** inputs, Sample** outputs,
                  std::int32_t sampleFrames) noexcept {
  AudioEffect* object = objectOf(effect);
  if (!object) return;
  try {
    (object->*Process)(inputs, outputs, sampleFrames);
  } catch (...) {
    AudioEffect::writeSilence(outputs, effect->numOutputs, sampleFrames);
  }
}

void setParameterEntry(AEffect* effect, std::int32_t index, float value) noexcept {
  AudioEffect* object = objectOf(effect);
  if (!object) return;
  try {
    object->setParameter(index, value);
  } catch (...) {
  }
}

float getParameterEntry(AEffect* effect, std::int32_t index) noexcept {
  AudioEffect* object = objectOf(effect);
  if (!object) return 0.0f;
  try {
    return object->getParameter(index);
  } catch (...) {
    return 0.0f;
  }
}

}  // namespace

AudioEffect::AudioEffect(audioMasterCallback audioMaster, std::int32_t numPrograms,
                         std::int32_t numParams)
    : audioMaster(audioMaster), numPrograms(numPrograms), numParams(numParams) {
  std::memset(&cEffect, 0, sizeof cEffect);
  cEffect.magic = kEffectMagic;
  cEffect.dispatcher = dispatchEntry;
  cEffect.process = processEntry<float, &AudioEffect::process>;
  cEffect.setParameter = setParameterEntry;
  cEffect.getParameter = getParameterEntry;
  cEffect.numPrograms = numPrograms;
  cEffect.numParams = numParams;
  cEffect.numInputs = 1;
  cEffect.numOutputs = 2;
  cEffect.flags = effFlagsCanReplacing;
  cEffect.initialDelay = 0;
  cEffect.ioRatio = 1.0f;
  cEffect.object = this;
  cEffect.uniqueID = vstFourCC('N', 'o', 'E', 'f');
  cEffect.version = 1;
  cEffect.processReplacing = processEntry<float, &AudioEffect::processReplacing>;
  cEffect.processDoubleReplacing = processEntry<double, &AudioEffect::processDoubleReplacing>;
}

AudioEffect::~AudioEffect() { delete editor; }

void AudioEffect::setEditor(AEffEditor* newEditor) {
  editor = newEditor;
  setFlag(effFlagsHasEditor, newEditor != nullptr);
}

std::intptr_t AudioEffect::callHost(std::int32_t opcode, std::int32_t index, std::intptr_t value,
                                    void* ptr, float opt) {
  return audioMaster ? audioMaster(&cEffect, opcode, index, value, ptr, opt) : 0;
}

std::intptr_t AudioEffect::dispatcher(std::int32_t opcode, std::int32_t index,
                                      std::intptr_t value, void* ptr, float opt) {
  switch (opcode) {
    case effOpen:
      open();
      return 0;
    case effClose:
      close();
      return 0;
    case effSetProgram:
      // A program beyond the list (or a negative one) never reaches setProgram.
      if (value >= 0 && value < numPrograms) setProgram(static_cast<std::int32_t>(value));
      return 0;
    case effGetProgram:
      return getProgram();
    case effSetProgramName:
      setProgramName(static_cast<char*>(ptr));
      return 0;
    case effGetProgramName:
      getProgramName(static_cast<char*>(ptr));
      return 0;
    case effGetParamLabel:
      getParameterLabel(index, static_cast<char*>(ptr));
      return 0;
    case effGetParamDisplay:
      getParameterDisplay(index, static_cast<char*>(ptr));
      return 0;
    case effGetParamName:
      getParameterName(index, static_cast<char*>(ptr));
      return 0;
    case effGetVu:
      return static_cast<std::intptr_t>(getVu() * 32767.0f);
    case effSetSampleRate:
      setSampleRate(opt);
      return 0;
    case effSetBlockSize:
      setBlockSize(static_cast<std::int32_t>(value));
      return 0;
    case effMainsChanged:
      if (value == 0)
        suspend();
      else
        resume();
      return 0;
    case effIdentify:
      return vstFourCC('N', 'v', 'E', 'f');
    case effGetChunk:
      return getChunk(static_cast<void**>(ptr), index != 0);
    case effSetChunk:
      return setChunk(ptr, static_cast<std::int32_t>(value), index != 0);
    default:
      break;
  }
  if (opcode < effEditGetRect || opcode > effEditSleep || !editor) return 0;
  switch (opcode) {
    case effEditGetRect:
      return editor->getRect(static_cast<ERect**>(ptr)) ? 1 : 0;
    case effEditOpen:
      return editor->open(ptr) ? 1 : 0;
    case effEditClose:
      editor->close();
      return 0;
    case effEditDraw:
      editor->draw(static_cast<ERect*>(ptr));
      return 0;
    case effEditMouse:
      return editor->mouse(index, static_cast<std::int32_t>(value));
    case effEditKey:
      return editor->key(static_cast<std::int32_t>(value));
    case effEditIdle:
      editor->idle();
      return 0;
    case effEditTop:
      editor->top();
      return 0;
    case effEditSleep:
      editor->sleep();
      return 0;
  }
  return 0;
}

void AudioEffect::setParameterAutomated(std::int32_t index, float value) {
  setParameter(index, value);
  callHost(audioMasterAutomate, index, 0, nullptr, value);
}

std::int32_t AudioEffect::getMasterVersion() {
  const std::intptr_t version = callHost(audioMasterVersion);
  return version == 0 ? 1 : static_cast<std::int32_t>(version);
}

std::int32_t AudioEffect::getCurrentUniqueId() {
  return static_cast<std::int32_t>(callHost(audioMasterCurrentId));
}

void AudioEffect::masterIdle() { callHost(audioMasterIdle); }

bool AudioEffect::isInputConnected(std::int32_t input) {
  return callHost(audioMasterPinConnected, input, 0) == 0;
}

bool AudioEffect::isOutputConnected(std::int32_t output) {
  return callHost(audioMasterPinConnected, output, 1) == 0;
}

void AudioEffect::dB2string(float value, char* text, std::int32_t maxLen) {
  if (value <= 0.0f) {
    if (text && maxLen > 0) std::snprintf(text, static_cast<std::size_t>(maxLen), "%s", "-oo");
    return;
  }
  float2string(20.0f * std::log10(value), text, maxLen);
}

void AudioEffect::Hz2string(float samples, char* text, std::int32_t maxLen) {
  float2string(samples == 0.0f ? 0.0f : sampleRate / samples, text, maxLen);
}

void AudioEffect::ms2string(float samples, char* text, std::int32_t maxLen) {
  float2string(samples / sampleRate * 1000.0f, text, maxLen);
}

void AudioEffect::float2string(float value, char* text, std::int32_t maxLen) {
  if (text && maxLen > 0)
    std::snprintf(text, static_cast<std::size_t>(maxLen), "%.2f", static_cast<double>(value));
}

void AudioEffect::int2string(std::int32_t value, char* text, std::int32_t maxLen) {
  if (text && maxLen > 0) std::snprintf(text, static_cast<std::size_t>(maxLen), "%d", value);
}
