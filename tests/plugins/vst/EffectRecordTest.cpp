// The AEffect record as the constructor fills it and as the setters change it, and the
// defaults a plug-in inherits (texts, speaker arrangements, resume).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

#include "plugins/vst/AEffEditor.h"
#include "plugins/vst/AudioEffectX.h"
#include "tests/support/RecordingAudioMaster.h"

namespace {

class PlainEffect : public AudioEffectX {
 public:
  using AudioEffectX::AudioEffectX;
  void processReplacing(float**, float**, std::int32_t) override {}
  std::int32_t canDo(char* text) override {
    return receives && std::strcmp(text, "receiveVstMidiEvent") == 0 ? 1 : 0;
  }
  bool receives = false;
};

bool allZero(const void* bytes, std::size_t size) {
  const auto* p = static_cast<const unsigned char*>(bytes);
  for (std::size_t i = 0; i < size; ++i)
    if (p[i]) return false;
  return true;
}

// The opcode numbers are the format's, fixed by every host and plug-in already built: a wrong
// number in the header (effProcessEvents or effGetChunk, say) would pass every other test.
TEST(EffectOpcodes, NumbersAreTheFormats) {
  struct Pinned {
    std::int32_t opcode, number;
  };
  const Pinned effect[] = {
      {effOpen, 0}, {effClose, 1}, {effSetProgram, 2}, {effGetProgram, 3}, {effSetProgramName, 4},
      {effGetProgramName, 5}, {effGetParamLabel, 6}, {effGetParamDisplay, 7}, {effGetParamName, 8},
      {effGetVu, 9}, {effSetSampleRate, 10}, {effSetBlockSize, 11}, {effMainsChanged, 12},
      {effEditGetRect, 13}, {effEditOpen, 14}, {effEditClose, 15}, {effEditDraw, 16},
      {effEditMouse, 17}, {effEditKey, 18}, {effEditIdle, 19}, {effEditTop, 20},
      {effEditSleep, 21}, {effIdentify, 22}, {effGetChunk, 23}, {effSetChunk, 24},
      {effProcessEvents, 25}, {effCanBeAutomated, 26}, {effString2Parameter, 27},
      {effGetNumProgramCategories, 28}, {effGetProgramNameIndexed, 29}, {effCopyProgram, 30},
      {effConnectInput, 31}, {effConnectOutput, 32}, {effGetInputProperties, 33},
      {effGetOutputProperties, 34}, {effGetPlugCategory, 35}, {effGetCurrentPosition, 36},
      {effGetDestinationBuffer, 37}, {effOfflineNotify, 38}, {effOfflinePrepare, 39},
      {effOfflineRun, 40}, {effProcessVarIo, 41}, {effSetSpeakerArrangement, 42},
      {effSetBlockSizeAndSampleRate, 43}, {effSetBypass, 44}, {effGetEffectName, 45},
      {effGetErrorText, 46}, {effGetVendorString, 47}, {effGetProductString, 48},
      {effGetVendorVersion, 49}, {effVendorSpecific, 50}, {effCanDo, 51}, {effGetTailSize, 52},
      {effIdle, 53}, {effGetIcon, 54}, {effSetViewPosition, 55}, {effGetParameterProperties, 56},
      {effKeysRequired, 57}, {effGetVstVersion, 58}, {effEditKeyDown, 59}, {effEditKeyUp, 60},
      {effSetEditKnobMode, 61}, {effGetMidiProgramName, 62}, {effGetCurrentMidiProgram, 63},
      {effGetMidiProgramCategory, 64}, {effHasMidiProgramsChanged, 65}, {effGetMidiKeyName, 66},
      {effBeginSetProgram, 67}, {effEndSetProgram, 68}, {effGetSpeakerArrangement, 69},
      {effShellGetNextPlugin, 70}, {effStartProcess, 71}, {effStopProcess, 72},
      {effSetTotalSampleToProcess, 73}, {effSetPanLaw, 74}, {effBeginLoadBank, 75},
      {effBeginLoadProgram, 76}, {effSetProcessPrecision, 77}, {effGetNumMidiInputChannels, 78},
      {effGetNumMidiOutputChannels, 79},
  };
  const Pinned host[] = {
      {audioMasterAutomate, 0}, {audioMasterVersion, 1}, {audioMasterCurrentId, 2},
      {audioMasterIdle, 3}, {audioMasterPinConnected, 4}, {audioMasterWantMidi, 6},
      {audioMasterGetTime, 7}, {audioMasterProcessEvents, 8}, {audioMasterSetTime, 9},
      {audioMasterTempoAt, 10}, {audioMasterGetNumAutomatableParameters, 11},
      {audioMasterGetParameterQuantization, 12}, {audioMasterIOChanged, 13},
      {audioMasterNeedIdle, 14}, {audioMasterSizeWindow, 15}, {audioMasterGetSampleRate, 16},
      {audioMasterGetBlockSize, 17}, {audioMasterGetInputLatency, 18},
      {audioMasterGetOutputLatency, 19}, {audioMasterGetPreviousPlug, 20},
      {audioMasterGetNextPlug, 21}, {audioMasterWillReplaceOrAccumulate, 22},
      {audioMasterGetCurrentProcessLevel, 23}, {audioMasterGetAutomationState, 24},
      {audioMasterOfflineStart, 25}, {audioMasterOfflineRead, 26}, {audioMasterOfflineWrite, 27},
      {audioMasterOfflineGetCurrentPass, 28}, {audioMasterOfflineGetCurrentMetaPass, 29},
      {audioMasterSetOutputSampleRate, 30}, {audioMasterGetOutputSpeakerArrangement, 31},
      {audioMasterGetVendorString, 32}, {audioMasterGetProductString, 33},
      {audioMasterGetVendorVersion, 34}, {audioMasterVendorSpecific, 35}, {audioMasterSetIcon, 36},
      {audioMasterCanDo, 37}, {audioMasterGetLanguage, 38}, {audioMasterOpenWindow, 39},
      {audioMasterCloseWindow, 40}, {audioMasterGetDirectory, 41}, {audioMasterUpdateDisplay, 42},
      {audioMasterBeginEdit, 43}, {audioMasterEndEdit, 44}, {audioMasterOpenFileSelector, 45},
      {audioMasterCloseFileSelector, 46}, {audioMasterEditFile, 47}, {audioMasterGetChunkFile, 48},
      {audioMasterGetInputSpeakerArrangement, 49},
  };
  for (const Pinned& pinned : effect) EXPECT_EQ(pinned.opcode, pinned.number);
  for (const Pinned& pinned : host) EXPECT_EQ(pinned.opcode, pinned.number);
}

TEST(EffectRecord, FilledByTheConstructor) {
  PlainEffect effect(kelo::test::RecordingAudioMaster::callback, 3, 5);
  const AEffect& e = *effect.getAeffect();
  EXPECT_EQ(e.magic, kEffectMagic);
  EXPECT_EQ(e.magic, 0x56737450);  // 'VstP'
  EXPECT_NE(e.dispatcher, nullptr);
  EXPECT_NE(e.process, nullptr);
  EXPECT_NE(e.setParameter, nullptr);
  EXPECT_NE(e.getParameter, nullptr);
  EXPECT_NE(e.processReplacing, nullptr);
  EXPECT_NE(e.processDoubleReplacing, nullptr);
  EXPECT_EQ(e.numPrograms, 3);
  EXPECT_EQ(e.numParams, 5);
  EXPECT_EQ(e.numInputs, 1);
  EXPECT_EQ(e.numOutputs, 2);
  EXPECT_EQ(e.flags, effFlagsCanReplacing);
  EXPECT_EQ(e.initialDelay, 0);
  EXPECT_EQ(e.ioRatio, 1.0f);
  EXPECT_EQ(e.object, &effect);
  EXPECT_EQ(e.uniqueID, vstFourCC('N', 'o', 'E', 'f'));
  EXPECT_EQ(e.version, 1);
  EXPECT_EQ(e.resvd1, 0);
  EXPECT_EQ(e.resvd2, 0);
  EXPECT_EQ(e.realQualities, 0);
  EXPECT_EQ(e.offQualities, 0);
  EXPECT_EQ(e.user, nullptr);
  EXPECT_TRUE(allZero(e.future, sizeof e.future));

  EXPECT_EQ(effect.getSampleRate(), 44100.0f);
  EXPECT_EQ(effect.getBlockSize(), 1024);
  EXPECT_EQ(effect.getProgram(), 0);
  EXPECT_EQ(effect.dispatcher(effIdentify, 0, 0, nullptr, 0), vstFourCC('N', 'v', 'E', 'f'));
  EXPECT_EQ(effect.dispatcher(effGetVstVersion, 0, 0, nullptr, 0), 2400);
}

struct SetterCase {
  const char* name;
  std::function<void(PlainEffect&)> set;
  std::function<void(AEffect&)> expect;  // applied to a copy of the record before the call
};

TEST(EffectRecord, EachSetterChangesOnlyItsField) {
  const SetterCase cases[] = {
      {"setUniqueID", [](PlainEffect& f) { f.setUniqueID(vstFourCC('Q', 'U', 'V', 'E')); },
       [](AEffect& e) { e.uniqueID = 0x51555645; }},
      {"setNumInputs", [](PlainEffect& f) { f.setNumInputs(0); }, [](AEffect& e) { e.numInputs = 0; }},
      {"setNumOutputs", [](PlainEffect& f) { f.setNumOutputs(32); },
       [](AEffect& e) { e.numOutputs = 32; }},
      {"setInitialDelay", [](PlainEffect& f) { f.setInitialDelay(256); },
       [](AEffect& e) { e.initialDelay = 256; }},
      {"canProcessReplacing off", [](PlainEffect& f) { f.canProcessReplacing(false); },
       [](AEffect& e) { e.flags = 0; }},
      {"canDoubleReplacing", [](PlainEffect& f) { f.canDoubleReplacing(); },
       [](AEffect& e) { e.flags |= 4096; }},
      {"programsAreChunks", [](PlainEffect& f) { f.programsAreChunks(); },
       [](AEffect& e) { e.flags |= 32; }},
      {"isSynth", [](PlainEffect& f) { f.isSynth(); }, [](AEffect& e) { e.flags |= 256; }},
      {"noTail", [](PlainEffect& f) { f.noTail(); }, [](AEffect& e) { e.flags |= 512; }},
      {"hasClip", [](PlainEffect& f) { f.hasClip(); }, [](AEffect& e) { e.flags |= 2; }},
      {"hasVu", [](PlainEffect& f) { f.hasVu(); }, [](AEffect& e) { e.flags |= 4; }},
      {"canMono", [](PlainEffect& f) { f.canMono(); }, [](AEffect& e) { e.flags |= 8; }},
      {"isSynth on and off", [](PlainEffect& f) { f.isSynth(); f.isSynth(false); },
       [](AEffect&) {}},
      {"setRealtimeQualities", [](PlainEffect& f) { f.setRealtimeQualities(3); },
       [](AEffect& e) { e.realQualities = 3; }},
      {"setOfflineQualities", [](PlainEffect& f) { f.setOfflineQualities(4); },
       [](AEffect& e) { e.offQualities = 4; }},
      {"setEditor", [](PlainEffect& f) { f.setEditor(new AEffEditor(&f)); },
       [](AEffect& e) { e.flags |= 1; }},
      {"setEditor then null",
       [](PlainEffect& f) {
         f.setEditor(new AEffEditor(&f));
         delete f.getEditor();
         f.setEditor(nullptr);
       },
       [](AEffect&) {}},
  };
  for (const SetterCase& c : cases) {
    PlainEffect effect(nullptr, 1, 1);
    AEffect expected = *effect.getAeffect();
    c.expect(expected);
    c.set(effect);
    EXPECT_EQ(std::memcmp(&expected, effect.getAeffect(), sizeof(AEffect)), 0) << c.name;
  }
}

TEST(EffectDefaults, DecibelText) {
  const struct {
    float value;
    const char* text;
  } cases[] = {{0.0f, "-oo"}, {-1.0f, "-oo"}, {1.0f, "0.00"}, {10.0f, "20.00"}, {0.5f, "-6.02"}};
  PlainEffect effect(nullptr, 0, 0);
  for (const auto& c : cases) {
    char text[16] = "x";
    effect.dB2string(c.value, text, sizeof text);
    EXPECT_STREQ(text, c.text) << c.value;
  }
  char small[4];
  effect.dB2string(1000.0f, small, sizeof small);  // bounded by the buffer
  EXPECT_STREQ(small, "60.");
}

TEST(EffectDefaults, ResumeAsksForMidiOnlyForASynthOrAMidiReceiver) {
  kelo::test::RecordingAudioMaster host;
  const struct {
    bool synth;
    bool receives;
    std::size_t wantMidi;
  } cases[] = {{false, false, 0}, {true, false, 1}, {false, true, 1}};
  for (const auto& c : cases) {
    host.clear();
    PlainEffect effect(host.callback, 0, 0);
    effect.isSynth(c.synth);
    effect.receives = c.receives;
    effect.dispatcher(effMainsChanged, 0, 1, nullptr, 0);
    const auto calls = host.calls(audioMasterWantMidi);
    ASSERT_EQ(calls.size(), c.wantMidi);
    for (const auto& call : calls) EXPECT_EQ(call.value, 1);
  }
}

VstSpeakerProperties* speakerAt(VstSpeakerArrangement* arrangement, int i) {
  return &VstSpeakerAt(*arrangement, static_cast<std::size_t>(i));
}

TEST(EffectDefaults, SpeakerArrangements) {
  PlainEffect effect(nullptr, 0, 0);
  VstSpeakerArrangement* source = nullptr;
  ASSERT_TRUE(effect.allocateArrangement(&source, 8));
  // Re-allocating frees the old record (the leak checker sees any that is lost).
  ASSERT_TRUE(effect.allocateArrangement(&source, 32));
  EXPECT_EQ(source->numChannels, 32);
  EXPECT_EQ(source->type, 0);
  EXPECT_TRUE(allZero(speakerAt(source, 31), sizeof(VstSpeakerProperties)));
  source->type = 1;
  for (int i = 0; i < 32; ++i) {
    VstSpeakerProperties* s = speakerAt(source, i);
    s->azimuth = static_cast<float>(i);
    s->type = i + 100;
    std::memset(s->name, 'n', sizeof s->name);  // unterminated: copies stop at 63
  }

  VstSpeakerArrangement* target = nullptr;
  ASSERT_TRUE(effect.allocateArrangement(&target, 2));
  ASSERT_TRUE(effect.matchArrangement(&target, source));
  EXPECT_EQ(target->type, 1);
  EXPECT_EQ(target->numChannels, 32);
  for (int i = 0; i < 32; ++i) {
    VstSpeakerProperties* s = speakerAt(target, i);
    EXPECT_EQ(s->azimuth, static_cast<float>(i));
    EXPECT_EQ(s->type, i + 100);
    EXPECT_EQ(std::string(s->name), std::string(63, 'n'));
  }
  EXPECT_FALSE(effect.matchArrangement(&target, nullptr));
  EXPECT_TRUE(effect.deallocateArrangement(&source));
  EXPECT_TRUE(effect.deallocateArrangement(&target));
  EXPECT_EQ(source, nullptr);
  EXPECT_FALSE(effect.allocateArrangement(&source, -1));
}

// A host's count is all that says how long its record is: one no host can mean is refused
// before anything is allocated or read, and the arrangement kept so far stays.
TEST(EffectDefaults, ArrangementCountsNoHostCanMeanAreRefused) {
  PlainEffect effect(nullptr, 0, 0);
  struct Case {
    std::int32_t channels;
    bool taken;
  };
  constexpr std::int32_t kMost = AudioEffectX::kMaxArrangementSpeakers;
  const Case cases[] = {{-1, false}, {INT32_MIN, false}, {kMost + 1, false},
                        {INT32_MAX, false}, {kMost, true}, {0, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.channels);
    // Room for eight speakers only: a count beyond what is taken would be read past the end.
    VstSpeakerArrangement hostile{};
    hostile.type = 7;
    hostile.numChannels = c.channels;
    VstSpeakerArrangement* kept = nullptr;
    ASSERT_TRUE(effect.allocateArrangement(&kept, 2));
    kept->type = 1;
    if (c.taken) {
      VstSpeakerArrangement* roomy = nullptr;
      ASSERT_TRUE(effect.allocateArrangement(&roomy, c.channels));
      roomy->type = 7;
      EXPECT_TRUE(effect.matchArrangement(&kept, roomy));
      EXPECT_EQ(kept->numChannels, c.channels);
      effect.deallocateArrangement(&roomy);
    } else {
      EXPECT_FALSE(effect.matchArrangement(&kept, &hostile));
      ASSERT_NE(kept, nullptr);
      EXPECT_EQ(kept->type, 1);
      EXPECT_EQ(kept->numChannels, 2);
      VstSpeakerArrangement* made = nullptr;
      EXPECT_FALSE(effect.allocateArrangement(&made, c.channels));
      EXPECT_EQ(made, nullptr);
    }
    effect.deallocateArrangement(&kept);
  }
}

TEST(EffectDefaults, CopySpeakerCopiesTheNamedFieldsOnly) {
  PlainEffect effect(nullptr, 0, 0);
  VstSpeakerProperties from{};
  from.azimuth = 1.0f;
  from.elevation = 2.0f;
  from.radius = 3.0f;
  from.reserved = 4.0f;
  from.type = 5;
  std::memcpy(from.name, "Left", 5);
  std::memset(from.future, 'f', sizeof from.future);
  VstSpeakerProperties to{};
  ASSERT_TRUE(effect.copySpeaker(&to, &from));
  EXPECT_EQ(to.azimuth, 1.0f);
  EXPECT_EQ(to.elevation, 2.0f);
  EXPECT_EQ(to.radius, 3.0f);
  EXPECT_EQ(to.reserved, 4.0f);
  EXPECT_EQ(to.type, 5);
  EXPECT_STREQ(to.name, "Left");
  EXPECT_TRUE(allZero(to.future, sizeof to.future));
}

}  // namespace
