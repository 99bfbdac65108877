// The effect dispatcher and the record's entries: every opcode reaches the operation of the
// same meaning with its arguments in their roles, and nothing escapes to the host.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "plugins/vst/AEffEditor.h"
#include "plugins/vst/AudioEffectX.h"

namespace {

// Pointers the table passes, shown by name in the trace.
char g_text[64];
VstSpeakerArrangement g_in;
VstSpeakerArrangement g_out;
VstSpeakerArrangement* g_inPtr;
VstSpeakerArrangement* g_outPtr;

std::string name(const void* p) {
  if (!p) return "null";
  if (p == g_text) return "ptr";
  if (p == &g_in) return "in";
  if (p == &g_out) return "out";
  if (p == &g_inPtr) return "inp";
  if (p == &g_outPtr) return "outp";
  return "?";
}

std::string fmt(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string fmt(const char* format, ...) {
  char buffer[160];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

using Trace = std::vector<std::string>;

class RecordingEditor : public AEffEditor {
 public:
  RecordingEditor(AudioEffect* effect, Trace& trace) : AEffEditor(effect), t(trace) {}
  bool getRect(ERect** rect) override { return note("editor.getRect(" + name(rect) + ")"); }
  bool open(void* ptr) override { return note("editor.open(" + name(ptr) + ")"); }
  void close() override { note("editor.close"); }
  void idle() override { note("editor.idle"); }
  void draw(ERect* rect) override { note("editor.draw(" + name(rect) + ")"); }
  std::int32_t mouse(std::int32_t x, std::int32_t y) override {
    note(fmt("editor.mouse(%d,%d)", x, y));
    return 5;
  }
  std::int32_t key(std::int32_t keyCode) override {
    note(fmt("editor.key(%d)", keyCode));
    return 6;
  }
  void top() override { note("editor.top"); }
  void sleep() override { note("editor.sleep"); }
  bool onKeyDown(VstKeyCode& k) override {
    return note(fmt("editor.onKeyDown(%d,%d,%d)", k.character, k.virt, k.modifier));
  }
  bool onKeyUp(VstKeyCode& k) override {
    return note(fmt("editor.onKeyUp(%d,%d,%d)", k.character, k.virt, k.modifier));
  }
  bool setKnobMode(std::int32_t mode) override { return note(fmt("editor.setKnobMode(%d)", mode)); }

 private:
  bool note(std::string line) {
    t.push_back(std::move(line));
    return true;
  }
  Trace& t;
};

/// Records every operation the dispatcher reaches, with distinct answers.
class RecordingEffect : public AudioEffectX {
 public:
  explicit RecordingEffect(bool* destroyed = nullptr)
      : AudioEffectX(nullptr, 3, 5), m_destroyed(destroyed) {}
  ~RecordingEffect() override {
    if (m_destroyed) *m_destroyed = true;
  }
  Trace trace;
  bool keysWanted = false;

  void open() override { note("open"); }
  void close() override { note("close"); }
  void suspend() override { note("suspend"); }
  void resume() override { note("resume"); }
  void setSampleRate(float rate) override { note(fmt("setSampleRate(%g)", rate)); }
  void setBlockSize(std::int32_t size) override { note(fmt("setBlockSize(%d)", size)); }
  void processReplacing(float**, float**, std::int32_t) override {}
  std::int32_t getProgram() override { return note("getProgram"), 7; }
  void setProgram(std::int32_t program) override { note(fmt("setProgram(%d)", program)); }
  void setProgramName(char* text) override { note("setProgramName(" + name(text) + ")"); }
  void getProgramName(char* text) override { note("getProgramName(" + name(text) + ")"); }
  void getParameterLabel(std::int32_t i, char* text) override {
    note(fmt("getParameterLabel(%d,", i) + name(text) + ")");
  }
  void getParameterDisplay(std::int32_t i, char* text) override {
    note(fmt("getParameterDisplay(%d,", i) + name(text) + ")");
  }
  void getParameterName(std::int32_t i, char* text) override {
    note(fmt("getParameterName(%d,", i) + name(text) + ")");
  }
  float getVu() override { return note("getVu"), 0.5f; }
  std::int32_t getChunk(void** data, bool preset) override {
    return note("getChunk(" + name(data) + fmt(",%d)", preset)), 99;
  }
  std::int32_t setChunk(void* data, std::int32_t size, bool preset) override {
    return note("setChunk(" + name(data) + fmt(",%d,%d)", size, preset)), 98;
  }
  std::int32_t processEvents(VstEvents* events) override {
    return note("processEvents(" + name(events) + ")"), 1;
  }
  bool canParameterBeAutomated(std::int32_t i) override {
    return note(fmt("canParameterBeAutomated(%d)", i)), false;
  }
  bool string2parameter(std::int32_t i, char* text) override {
    return note(fmt("string2parameter(%d,", i) + name(text) + ")"), true;
  }
  std::int32_t getNumCategories() override { return note("getNumCategories"), 3; }
  bool getProgramNameIndexed(std::int32_t category, std::int32_t i, char* text) override {
    return note(fmt("getProgramNameIndexed(%d,%d,", category, i) + name(text) + ")"), true;
  }
  bool copyProgram(std::int32_t destination) override {
    return note(fmt("copyProgram(%d)", destination)), true;
  }
  bool getInputProperties(std::int32_t i, VstPinProperties* p) override {
    return note(fmt("getInputProperties(%d,", i) + name(p) + ")"), true;
  }
  bool getOutputProperties(std::int32_t i, VstPinProperties* p) override {
    return note(fmt("getOutputProperties(%d,", i) + name(p) + ")"), true;
  }
  bool offlineNotify(void* files, std::int32_t count, bool start) override {
    return note("offlineNotify(" + name(files) + fmt(",%d,%d)", count, start)), true;
  }
  bool offlinePrepare(void* tasks, std::int32_t count) override {
    return note("offlinePrepare(" + name(tasks) + fmt(",%d)", count)), true;
  }
  bool offlineRun(void* tasks, std::int32_t count) override {
    return note("offlineRun(" + name(tasks) + fmt(",%d)", count)), true;
  }
  bool processVariableIo(void* io) override {
    return note("processVariableIo(" + name(io) + ")"), true;
  }
  bool setSpeakerArrangement(VstSpeakerArrangement* in, VstSpeakerArrangement* out) override {
    return note("setSpeakerArrangement(" + name(in) + "," + name(out) + ")"), true;
  }
  void setBlockSizeAndSampleRate(std::int32_t size, float rate) override {
    note(fmt("setBlockSizeAndSampleRate(%d,%g)", size, rate));
  }
  bool setBypass(bool on) override { return note(fmt("setBypass(%d)", on)), true; }
  bool getEffectName(char* text) override {
    return note("getEffectName(" + name(text) + ")"), true;
  }
  bool getErrorText(char* text) override { return note("getErrorText(" + name(text) + ")"), true; }
  bool getVendorString(char* text) override {
    return note("getVendorString(" + name(text) + ")"), true;
  }
  bool getProductString(char* text) override {
    return note("getProductString(" + name(text) + ")"), true;
  }
  std::int32_t getVendorVersion() override { return note("getVendorVersion"), 1234; }
  std::intptr_t vendorSpecific(std::int32_t i, std::intptr_t v, void* p, float opt) override {
    return note(fmt("vendorSpecific(%d,%ld,", i, static_cast<long>(v)) + name(p) +
                fmt(",%g)", opt)),
           77;
  }
  std::int32_t canDo(char* text) override { return note("canDo(" + name(text) + ")"), -1; }
  std::int32_t getGetTailSize() override { return note("getGetTailSize"), 44; }
  std::int32_t fxIdle() override { return note("fxIdle"), 1; }
  bool setViewPosition(std::int32_t x, std::int32_t y) override {
    return note(fmt("setViewPosition(%d,%d)", x, y)), true;
  }
  bool getParameterProperties(std::int32_t i, void* p) override {
    return note(fmt("getParameterProperties(%d,", i) + name(p) + ")"), true;
  }
  bool keysRequired() override { return note("keysRequired"), keysWanted; }
  std::int32_t getMidiProgramName(std::int32_t channel, void* p) override {
    return note(fmt("getMidiProgramName(%d,", channel) + name(p) + ")"), 5;
  }
  std::int32_t getCurrentMidiProgram(std::int32_t channel, void* p) override {
    return note(fmt("getCurrentMidiProgram(%d,", channel) + name(p) + ")"), 6;
  }
  std::int32_t getMidiProgramCategory(std::int32_t channel, void* p) override {
    return note(fmt("getMidiProgramCategory(%d,", channel) + name(p) + ")"), 7;
  }
  bool hasMidiProgramsChanged(std::int32_t channel) override {
    return note(fmt("hasMidiProgramsChanged(%d)", channel)), true;
  }
  bool getMidiKeyName(std::int32_t channel, void* p) override {
    return note(fmt("getMidiKeyName(%d,", channel) + name(p) + ")"), true;
  }
  bool beginSetProgram() override { return note("beginSetProgram"), true; }
  bool endSetProgram() override { return note("endSetProgram"), true; }
  bool getSpeakerArrangement(VstSpeakerArrangement** in, VstSpeakerArrangement** out) override {
    return note("getSpeakerArrangement(" + name(in) + "," + name(out) + ")"), true;
  }
  std::int32_t getNextShellPlugin(char* text) override {
    return note("getNextShellPlugin(" + name(text) + ")"), 8;
  }
  std::int32_t startProcess() override { return note("startProcess"), 9; }
  std::int32_t stopProcess() override { return note("stopProcess"), 10; }
  std::int32_t setTotalSampleToProcess(std::int32_t v) override {
    return note(fmt("setTotalSampleToProcess(%d)", v)), v;
  }
  bool setPanLaw(std::int32_t type, float v) override {
    return note(fmt("setPanLaw(%d,%g)", type, v)), true;
  }
  std::int32_t beginLoadBank(void* p) override { return note("beginLoadBank(" + name(p) + ")"), 11; }
  std::int32_t beginLoadProgram(void* p) override {
    return note("beginLoadProgram(" + name(p) + ")"), 12;
  }
  bool setProcessPrecision(std::int32_t precision) override {
    return note(fmt("setProcessPrecision(%d)", precision)), true;
  }
  std::int32_t getNumMidiInputChannels() override { return note("getNumMidiInputChannels"), 16; }
  std::int32_t getNumMidiOutputChannels() override { return note("getNumMidiOutputChannels"), 1; }

 private:
  void note(std::string line) { trace.push_back(std::move(line)); }
  bool* m_destroyed;
};

struct DispatchCase {
  std::int32_t opcode;
  std::int32_t index;
  std::intptr_t value;
  void* ptr;
  float opt;
  const char* reaches;  // "" for nothing
  std::intptr_t answer;
};

std::intptr_t address(const void* p) { return reinterpret_cast<std::intptr_t>(p); }

TEST(EffectDispatcher, EveryOpcodeReachesItsOperation) {
  void* const p = g_text;
  const DispatchCase cases[] = {
      {effOpen, 0, 0, nullptr, 0, "open", 0},
      {effClose, 0, 0, nullptr, 0, "close", 0},
      {effSetProgram, 0, 2, nullptr, 0, "setProgram(2)", 0},
      {effSetProgram, 0, 3, nullptr, 0, "", 0},  // equal to the program count
      {effSetProgram, 0, -1, nullptr, 0, "", 0},
      {effGetProgram, 0, 0, nullptr, 0, "getProgram", 7},
      {effSetProgramName, 0, 0, p, 0, "setProgramName(ptr)", 0},
      {effGetProgramName, 0, 0, p, 0, "getProgramName(ptr)", 0},
      {effGetParamLabel, 4, 0, p, 0, "getParameterLabel(4,ptr)", 0},
      {effGetParamDisplay, 4, 0, p, 0, "getParameterDisplay(4,ptr)", 0},
      {effGetParamName, 4, 0, p, 0, "getParameterName(4,ptr)", 0},
      {effGetVu, 0, 0, nullptr, 0, "getVu", 16383},
      {effSetSampleRate, 0, 0, nullptr, 48000.0f, "setSampleRate(48000)", 0},
      {effSetBlockSize, 0, 256, nullptr, 0, "setBlockSize(256)", 0},
      {effMainsChanged, 0, 0, nullptr, 0, "suspend", 0},
      {effMainsChanged, 0, 1, nullptr, 0, "resume", 0},
      {effEditGetRect, 0, 0, &g_inPtr, 0, "editor.getRect(inp)", 1},
      {effEditOpen, 0, 0, p, 0, "editor.open(ptr)", 1},
      {effEditClose, 0, 0, nullptr, 0, "editor.close", 0},
      {effEditDraw, 0, 0, nullptr, 0, "editor.draw(null)", 0},
      {effEditMouse, 3, 4, nullptr, 0, "editor.mouse(3,4)", 5},
      {effEditKey, 0, 65, nullptr, 0, "editor.key(65)", 6},
      {effEditIdle, 0, 0, nullptr, 0, "editor.idle", 0},
      {effEditTop, 0, 0, nullptr, 0, "editor.top", 0},
      {effEditSleep, 0, 0, nullptr, 0, "editor.sleep", 0},
      {effIdentify, 0, 0, nullptr, 0, "", vstFourCC('N', 'v', 'E', 'f')},
      {effGetChunk, 1, 0, &g_inPtr, 0, "getChunk(inp,1)", 99},
      {effGetChunk, 0, 0, &g_inPtr, 0, "getChunk(inp,0)", 99},
      {effSetChunk, 2, 12, p, 0, "setChunk(ptr,12,1)", 98},
      {effProcessEvents, 0, 0, nullptr, 0, "processEvents(null)", 1},
      {effCanBeAutomated, 4, 0, nullptr, 0, "canParameterBeAutomated(4)", 0},
      {effString2Parameter, 4, 0, p, 0, "string2parameter(4,ptr)", 1},
      {effGetNumProgramCategories, 0, 0, nullptr, 0, "getNumCategories", 3},
      {effGetProgramNameIndexed, 4, 2, p, 0, "getProgramNameIndexed(2,4,ptr)", 1},
      {effCopyProgram, 1, 0, nullptr, 0, "copyProgram(1)", 1},
      {effConnectInput, 1, 1, nullptr, 0, "", 1},
      {effConnectOutput, 1, 0, nullptr, 0, "", 1},
      {effGetInputProperties, 1, 0, &g_in, 0, "getInputProperties(1,in)", 1},
      {effGetOutputProperties, 1, 0, &g_out, 0, "getOutputProperties(1,out)", 1},
      {effGetCurrentPosition, 0, 0, nullptr, 0, "", 0},
      {effGetDestinationBuffer, 0, 0, nullptr, 0, "", 0},
      {effOfflineNotify, 1, 2, p, 0, "offlineNotify(ptr,2,1)", 1},
      {effOfflinePrepare, 0, 2, p, 0, "offlinePrepare(ptr,2)", 1},
      {effOfflineRun, 0, 2, p, 0, "offlineRun(ptr,2)", 1},
      {effProcessVarIo, 0, 0, p, 0, "processVariableIo(ptr)", 1},
      {effSetSpeakerArrangement, 0, address(&g_in), &g_out, 0, "setSpeakerArrangement(in,out)", 1},
      {effSetBlockSizeAndSampleRate, 0, 512, nullptr, 96000.0f,
       "setBlockSizeAndSampleRate(512,96000)", 1},
      {effSetBypass, 0, 1, nullptr, 0, "setBypass(1)", 1},
      {effGetEffectName, 0, 0, p, 0, "getEffectName(ptr)", 1},
      {effGetErrorText, 0, 0, p, 0, "getErrorText(ptr)", 1},
      {effGetVendorString, 0, 0, p, 0, "getVendorString(ptr)", 1},
      {effGetProductString, 0, 0, p, 0, "getProductString(ptr)", 1},
      {effGetVendorVersion, 0, 0, nullptr, 0, "getVendorVersion", 1234},
      {effVendorSpecific, 1, 2, p, 0.5f, "vendorSpecific(1,2,ptr,0.5)", 77},
      {effCanDo, 0, 0, p, 0, "canDo(ptr)", -1},
      {effGetTailSize, 0, 0, nullptr, 0, "getGetTailSize", 44},
      {effIdle, 0, 0, nullptr, 0, "fxIdle", 1},
      {effGetIcon, 0, 0, nullptr, 0, "", 0},
      {effSetViewPosition, 10, 20, nullptr, 0, "setViewPosition(10,20)", 1},
      {effGetParameterProperties, 4, 0, p, 0, "getParameterProperties(4,ptr)", 1},
      {effKeysRequired, 0, 0, nullptr, 0, "keysRequired", 1},
      {effGetVstVersion, 0, 0, nullptr, 0, "", 2400},
      {effEditKeyDown, 97, 3, nullptr, 2.0f, "editor.onKeyDown(97,3,2)", 1},
      {effEditKeyUp, 97, 3, nullptr, 2.0f, "editor.onKeyUp(97,3,2)", 1},
      {effSetEditKnobMode, 0, 2, nullptr, 0, "editor.setKnobMode(2)", 1},
      {effGetMidiProgramName, 1, 0, p, 0, "getMidiProgramName(1,ptr)", 5},
      {effGetCurrentMidiProgram, 1, 0, p, 0, "getCurrentMidiProgram(1,ptr)", 6},
      {effGetMidiProgramCategory, 1, 0, p, 0, "getMidiProgramCategory(1,ptr)", 7},
      {effHasMidiProgramsChanged, 1, 0, nullptr, 0, "hasMidiProgramsChanged(1)", 1},
      {effGetMidiKeyName, 1, 0, p, 0, "getMidiKeyName(1,ptr)", 1},
      {effBeginSetProgram, 0, 0, nullptr, 0, "beginSetProgram", 1},
      {effEndSetProgram, 0, 0, nullptr, 0, "endSetProgram", 1},
      {effGetSpeakerArrangement, 0, address(&g_inPtr), &g_outPtr, 0,
       "getSpeakerArrangement(inp,outp)", 1},
      {effShellGetNextPlugin, 0, 0, p, 0, "getNextShellPlugin(ptr)", 8},
      {effStartProcess, 0, 0, nullptr, 0, "startProcess", 9},
      {effStopProcess, 0, 0, nullptr, 0, "stopProcess", 10},
      {effSetTotalSampleToProcess, 0, 4410, nullptr, 0, "setTotalSampleToProcess(4410)", 4410},
      {effSetPanLaw, 0, 1, nullptr, 0.5f, "setPanLaw(1,0.5)", 1},
      {effBeginLoadBank, 0, 0, p, 0, "beginLoadBank(ptr)", 11},
      {effBeginLoadProgram, 0, 0, p, 0, "beginLoadProgram(ptr)", 12},
      {effSetProcessPrecision, 0, 1, nullptr, 0, "setProcessPrecision(1)", 1},
      {effGetNumMidiInputChannels, 0, 0, nullptr, 0, "getNumMidiInputChannels", 16},
      {effGetNumMidiOutputChannels, 0, 0, nullptr, 0, "getNumMidiOutputChannels", 1},
      {80, 0, 0, p, 0, "", 0},
      {1000, 0, 0, p, 0, "", 0},
      {-1, 0, 0, p, 0, "", 0},
  };
  for (const DispatchCase& c : cases) {
    RecordingEffect effect;
    effect.setEditor(new RecordingEditor(&effect, effect.trace));
    const std::intptr_t answer = effect.dispatcher(c.opcode, c.index, c.value, c.ptr, c.opt);
    const Trace expected = *c.reaches ? Trace{c.reaches} : Trace{};
    EXPECT_EQ(effect.trace, expected) << "opcode " << c.opcode;
    EXPECT_EQ(answer, c.answer) << "opcode " << c.opcode;
  }
}

TEST(EffectDispatcher, EditorOpcodesAnswerZeroWithoutAnEditor) {
  RecordingEffect effect;
  for (std::int32_t opcode : {13, 14, 15, 16, 17, 18, 19, 20, 21, 59, 60, 61})
    EXPECT_EQ(effect.dispatcher(opcode, 1, 1, g_text, 1.0f), 0) << "opcode " << opcode;
  EXPECT_TRUE(effect.trace.empty());
}

TEST(EffectDispatcher, StateDependentAnswers) {
  RecordingEffect effect;
  effect.keysWanted = true;
  EXPECT_EQ(effect.dispatcher(effKeysRequired, 0, 0, nullptr, 0), 0);
  EXPECT_EQ(effect.dispatcher(effGetPlugCategory, 0, 0, nullptr, 0), kPlugCategUnknown);
  effect.isSynth();
  EXPECT_EQ(effect.dispatcher(effGetPlugCategory, 0, 0, nullptr, 0), kPlugCategSynth);
  effect.isSynth(false);
  EXPECT_EQ(effect.dispatcher(effGetPlugCategory, 0, 0, nullptr, 0), kPlugCategUnknown);
}

/// A minimal effect on the base defaults.
class PlainEffect : public AudioEffectX {
 public:
  using AudioEffectX::AudioEffectX;
  void processReplacing(float**, float**, std::int32_t) override {}
};

TEST(EffectDispatcher, BaseDefaultsStoreFormatAndProgram) {
  PlainEffect effect(nullptr, 4, 0);
  EXPECT_EQ(effect.dispatcher(effSetBlockSizeAndSampleRate, 0, 512, nullptr, 96000.0f), 1);
  EXPECT_EQ(effect.getBlockSize(), 512);
  EXPECT_EQ(effect.getSampleRate(), 96000.0f);
  effect.dispatcher(effSetSampleRate, 0, 0, nullptr, 22050.0f);
  effect.dispatcher(effSetBlockSize, 0, 64, nullptr, 0);
  EXPECT_EQ(effect.getSampleRate(), 22050.0f);
  EXPECT_EQ(effect.getBlockSize(), 64);
  effect.dispatcher(effSetProgram, 0, 3, nullptr, 0);
  EXPECT_EQ(effect.dispatcher(effGetProgram, 0, 0, nullptr, 0), 3);
  EXPECT_EQ(effect.dispatcher(effCanBeAutomated, 0, 0, nullptr, 0), 1);
  EXPECT_EQ(effect.dispatcher(effGetNumProgramCategories, 0, 0, nullptr, 0), 1);
  g_inPtr = &g_in;
  g_outPtr = &g_out;
  EXPECT_EQ(effect.dispatcher(effGetSpeakerArrangement, 0, address(&g_inPtr), &g_outPtr, 0), 0);
  EXPECT_EQ(g_inPtr, nullptr);
  EXPECT_EQ(g_outPtr, nullptr);
}

// ---- The record's entries ----

TEST(EffectEntries, CloseThroughTheRecordDeletesTheObject) {
  bool destroyed = false;
  auto* effect = new RecordingEffect(&destroyed);
  AEffect* record = effect->getAeffect();
  EXPECT_EQ(record->dispatcher(record, effOpen, 0, 0, nullptr, 0), 0);
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(record->dispatcher(record, effClose, 0, 0, nullptr, 0), 1);
  EXPECT_TRUE(destroyed);  // AddressSanitizer reports any later touch of it
}

/// Throws from every operation the entries reach.
class ThrowingEffect : public AudioEffectX {
 public:
  explicit ThrowingEffect(bool* destroyed) : AudioEffectX(nullptr, 1, 1), m_destroyed(destroyed) {}
  ~ThrowingEffect() override { *m_destroyed = true; }
  void close() override { throw std::runtime_error("close"); }
  std::int32_t getProgram() override { throw std::runtime_error("program"); }
  void processReplacing(float**, float**, std::int32_t) override { throw 1; }
  void processDoubleReplacing(double**, double**, std::int32_t) override { throw 1; }
  void process(float**, float**, std::int32_t) override { throw 1; }
  void setParameter(std::int32_t, float) override { throw std::bad_alloc(); }
  float getParameter(std::int32_t) override { throw std::bad_alloc(); }

 private:
  bool* m_destroyed;
};

TEST(EffectEntries, NoExceptionReachesTheHost) {
  bool destroyed = false;
  auto* effect = new ThrowingEffect(&destroyed);
  AEffect* record = effect->getAeffect();
  EXPECT_EQ(record->dispatcher(record, effGetProgram, 0, 0, nullptr, 0), 0);
  record->setParameter(record, 0, 0.5f);
  EXPECT_EQ(record->getParameter(record, 0), 0.0f);

  float left[8], right[8];
  double dleft[8], dright[8];
  float* outputs[] = {left, right};
  double* doubleOutputs[] = {dleft, dright};
  using ProcessFloat = void (*)(AEffect*, float**, float**, std::int32_t);
  for (ProcessFloat entry : {record->processReplacing, record->process}) {
    std::fill(std::begin(left), std::end(left), 0.75f);
    std::fill(std::begin(right), std::end(right), 0.75f);
    entry(record, nullptr, outputs, 8);
    for (int i = 0; i < 8; ++i) ASSERT_EQ(left[i] + right[i], 0.0f);
  }
  std::fill(std::begin(dleft), std::end(dleft), 0.75);
  std::fill(std::begin(dright), std::end(dright), 0.75);
  record->processDoubleReplacing(record, nullptr, doubleOutputs, 8);
  for (int i = 0; i < 8; ++i) ASSERT_EQ(dleft[i] + dright[i], 0.0);

  // A failed close still ends the object: the host forgets the record either way.
  EXPECT_EQ(record->dispatcher(record, effClose, 0, 0, nullptr, 0), 0);
  EXPECT_TRUE(destroyed);
}

TEST(EffectEntries, ARecordWithoutObjectAnswersNothing) {
  AEffect record{};
  PlainEffect effect(nullptr, 0, 0);
  const AEffect& filled = *effect.getAeffect();
  record.numOutputs = 2;
  EXPECT_EQ(filled.dispatcher(&record, effGetVstVersion, 0, 0, nullptr, 0), 0);
  EXPECT_EQ(filled.dispatcher(nullptr, effGetVstVersion, 0, 0, nullptr, 0), 0);
  EXPECT_EQ(filled.getParameter(&record, 0), 0.0f);
}

}  // namespace
