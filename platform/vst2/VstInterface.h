// The VST 2.4 binary interface between a host and a plug-in, as Linux hosts load it: a shared
// object exporting `VSTPluginMain`, which answers an `AEffect` record the host then drives
// through the record's function pointers. Written from the published record layouts and opcode
// numbers; every size and offset is pinned for x86_64 (8-byte pointers, little-endian).
//
// Threads, as hosts use the interface:
// - `VSTPluginMain` and the `dispatcher` entry: the host's main (user-interface) thread, except
//   the opcodes a host sends from its render thread: effProcessEvents, effStartProcess,
//   effStopProcess and effSetProcessPrecision. Hosts also create instances from scanner or
//   worker threads, several at once.
// - `processReplacing`, `processDoubleReplacing`, `process`: the render thread; they must
//   neither allocate nor block.
// - `setParameter`, `getParameter`: any thread, the render thread included.
// - The host's `audioMasterCallback`: called by the plug-in on whichever thread it runs on;
//   audioMasterGetTime, audioMasterProcessEvents and audioMasterGetCurrentProcessLevel come
//   from the render thread.
// No exception may leave any of these functions.
#pragma once

#include <cstddef>
#include <cstdint>

struct AEffect;

extern "C" {

/// The host's callback, given to `VSTPluginMain`. `effect` is null only before the plug-in has
/// made its record (the version probe of the entry point).
typedef std::intptr_t (*audioMasterCallback)(AEffect* effect, std::int32_t opcode,
                                             std::int32_t index, std::intptr_t value, void* ptr,
                                             float opt);

/// The entries of the record (see the thread notes above).
typedef std::intptr_t (*AEffectDispatcherProc)(AEffect* effect, std::int32_t opcode,
                                               std::int32_t index, std::intptr_t value,
                                               void* ptr, float opt);
typedef void (*AEffectProcessProc)(AEffect* effect, float** inputs, float** outputs,
                                   std::int32_t sampleFrames);
typedef void (*AEffectProcessDoubleProc)(AEffect* effect, double** inputs, double** outputs,
                                         std::int32_t sampleFrames);
typedef void (*AEffectSetParameterProc)(AEffect* effect, std::int32_t index, float parameter);
typedef float (*AEffectGetParameterProc)(AEffect* effect, std::int32_t index);

/// The exported entry point's type: answers the new instance's record, or null.
typedef AEffect* (*VstPluginMainProc)(audioMasterCallback audioMaster);

}  // extern "C"

/// A four-character code as the interface stores it: the first character in the high byte.
constexpr std::int32_t vstFourCC(char a, char b, char c, char d) {
  return static_cast<std::int32_t>((static_cast<std::uint32_t>(static_cast<unsigned char>(a)) << 24) |
                                   (static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 16) |
                                   (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 8) |
                                   static_cast<std::uint32_t>(static_cast<unsigned char>(d)));
}

inline constexpr std::int32_t kEffectMagic = vstFourCC('V', 's', 't', 'P');
inline constexpr std::int32_t kVstVersion = 2400;

struct AEffect {
  std::int32_t magic;  // kEffectMagic
  AEffectDispatcherProc dispatcher;
  AEffectProcessProc process;  // deprecated: accumulates into the outputs
  AEffectSetParameterProc setParameter;
  AEffectGetParameterProc getParameter;
  std::int32_t numPrograms;
  std::int32_t numParams;
  std::int32_t numInputs;
  std::int32_t numOutputs;
  std::int32_t flags;  // VstAEffectFlags
  std::intptr_t resvd1;
  std::intptr_t resvd2;
  std::int32_t initialDelay;  // latency in samples
  std::int32_t realQualities;  // deprecated
  std::int32_t offQualities;  // deprecated
  float ioRatio;  // deprecated
  void* object;  // the plug-in's own object
  void* user;  // the host's
  std::int32_t uniqueID;
  std::int32_t version;
  AEffectProcessProc processReplacing;
  AEffectProcessDoubleProc processDoubleReplacing;
  char future[56];
};

static_assert(sizeof(void*) == 8, "the record layouts below are the 64-bit ones");
static_assert(sizeof(AEffect) == 192);
static_assert(offsetof(AEffect, magic) == 0);
static_assert(offsetof(AEffect, dispatcher) == 8);
static_assert(offsetof(AEffect, process) == 16);
static_assert(offsetof(AEffect, setParameter) == 24);
static_assert(offsetof(AEffect, getParameter) == 32);
static_assert(offsetof(AEffect, numPrograms) == 40);
static_assert(offsetof(AEffect, numParams) == 44);
static_assert(offsetof(AEffect, numInputs) == 48);
static_assert(offsetof(AEffect, numOutputs) == 52);
static_assert(offsetof(AEffect, flags) == 56);
static_assert(offsetof(AEffect, resvd1) == 64);
static_assert(offsetof(AEffect, resvd2) == 72);
static_assert(offsetof(AEffect, initialDelay) == 80);
static_assert(offsetof(AEffect, realQualities) == 84);
static_assert(offsetof(AEffect, offQualities) == 88);
static_assert(offsetof(AEffect, ioRatio) == 92);
static_assert(offsetof(AEffect, object) == 96);
static_assert(offsetof(AEffect, user) == 104);
static_assert(offsetof(AEffect, uniqueID) == 112);
static_assert(offsetof(AEffect, version) == 116);
static_assert(offsetof(AEffect, processReplacing) == 120);
static_assert(offsetof(AEffect, processDoubleReplacing) == 128);
static_assert(offsetof(AEffect, future) == 136);

/// Bits of AEffect::flags.
enum VstAEffectFlags : std::int32_t {
  effFlagsHasEditor = 1 << 0,
  effFlagsHasClip = 1 << 1,  // deprecated
  effFlagsHasVu = 1 << 2,  // deprecated
  effFlagsCanMono = 1 << 3,  // deprecated
  effFlagsCanReplacing = 1 << 4,
  effFlagsProgramChunks = 1 << 5,
  effFlagsIsSynth = 1 << 8,
  effFlagsNoSoundInStop = 1 << 9,
  effFlagsExtIsAsync = 1 << 10,  // deprecated
  effFlagsExtHasBuffer = 1 << 11,  // deprecated
  effFlagsCanDoubleReplacing = 1 << 12,
};

/// Host to plug-in, through AEffect::dispatcher. 0 to 24 are the original set, 25 to 79 the
/// extended one.
enum AEffectOpcodes : std::int32_t {
  effOpen = 0,
  effClose = 1,  // the record's object is gone afterwards
  effSetProgram = 2,  // value: program
  effGetProgram = 3,
  effSetProgramName = 4,  // ptr: text
  effGetProgramName = 5,  // ptr: text of kVstMaxProgNameLen
  effGetParamLabel = 6,  // index, ptr: text of kVstMaxParamStrLen
  effGetParamDisplay = 7,
  effGetParamName = 8,
  effGetVu = 9,  // deprecated
  effSetSampleRate = 10,  // opt: rate
  effSetBlockSize = 11,  // value: frames
  effMainsChanged = 12,  // value 0: suspend, else resume
  effEditGetRect = 13,  // ptr: ERect**
  effEditOpen = 14,  // ptr: parent window (on Linux an X11 window id)
  effEditClose = 15,
  effEditDraw = 16,  // deprecated; ptr: ERect*
  effEditMouse = 17,  // deprecated; index x, value y
  effEditKey = 18,  // deprecated; value: key
  effEditIdle = 19,
  effEditTop = 20,  // deprecated
  effEditSleep = 21,  // deprecated
  effIdentify = 22,  // deprecated
  effGetChunk = 23,  // ptr: void**, index non-zero: one program; answers the size
  effSetChunk = 24,  // ptr: data, value: size, index non-zero: one program
  effProcessEvents = 25,  // ptr: VstEvents*
  effCanBeAutomated = 26,  // index
  effString2Parameter = 27,  // index, ptr: text
  effGetNumProgramCategories = 28,  // deprecated
  effGetProgramNameIndexed = 29,  // index: program, value: category, ptr: text
  effCopyProgram = 30,  // deprecated
  effConnectInput = 31,  // deprecated
  effConnectOutput = 32,  // deprecated
  effGetInputProperties = 33,  // index, ptr: VstPinProperties*
  effGetOutputProperties = 34,
  effGetPlugCategory = 35,
  effGetCurrentPosition = 36,  // deprecated
  effGetDestinationBuffer = 37,  // deprecated
  effOfflineNotify = 38,
  effOfflinePrepare = 39,
  effOfflineRun = 40,
  effProcessVarIo = 41,
  effSetSpeakerArrangement = 42,  // value: input VstSpeakerArrangement*, ptr: output
  effSetBlockSizeAndSampleRate = 43,  // deprecated; value: frames, opt: rate
  effSetBypass = 44,
  effGetEffectName = 45,  // ptr: text of kVstMaxEffectNameLen
  effGetErrorText = 46,  // deprecated
  effGetVendorString = 47,  // ptr: text of kVstMaxVendorStrLen
  effGetProductString = 48,  // ptr: text of kVstMaxProductStrLen
  effGetVendorVersion = 49,
  effVendorSpecific = 50,
  effCanDo = 51,  // ptr: text; 1 yes, -1 no, 0 don't know
  effGetTailSize = 52,
  effIdle = 53,  // deprecated
  effGetIcon = 54,  // deprecated
  effSetViewPosition = 55,  // deprecated
  effGetParameterProperties = 56,
  effKeysRequired = 57,  // deprecated
  effGetVstVersion = 58,
  effEditKeyDown = 59,  // index: character, value: virtual key, opt: modifiers
  effEditKeyUp = 60,
  effSetEditKnobMode = 61,  // value: mode
  effGetMidiProgramName = 62,
  effGetCurrentMidiProgram = 63,
  effGetMidiProgramCategory = 64,
  effHasMidiProgramsChanged = 65,
  effGetMidiKeyName = 66,
  effBeginSetProgram = 67,
  effEndSetProgram = 68,
  effGetSpeakerArrangement = 69,  // value: VstSpeakerArrangement** input, ptr: ** output
  effShellGetNextPlugin = 70,
  effStartProcess = 71,
  effStopProcess = 72,
  effSetTotalSampleToProcess = 73,
  effSetPanLaw = 74,
  effBeginLoadBank = 75,
  effBeginLoadProgram = 76,
  effSetProcessPrecision = 77,
  effGetNumMidiInputChannels = 78,
  effGetNumMidiOutputChannels = 79,
};

/// Plug-in to host, through audioMasterCallback. Deprecated ones are marked.
enum AudioMasterOpcodes : std::int32_t {
  audioMasterAutomate = 0,  // index: parameter, opt: value
  audioMasterVersion = 1,
  audioMasterCurrentId = 2,
  audioMasterIdle = 3,
  audioMasterPinConnected = 4,  // deprecated; index: pin, value 0 input / 1 output; 0 = connected
  audioMasterWantMidi = 6,  // deprecated; value: filter
  audioMasterGetTime = 7,  // value: VstTimeInfoFlags wanted; answers VstTimeInfo*
  audioMasterProcessEvents = 8,  // ptr: VstEvents*
  audioMasterSetTime = 9,  // deprecated
  audioMasterTempoAt = 10,  // deprecated; value: sample position; answers tempo x 10000
  audioMasterGetNumAutomatableParameters = 11,  // deprecated
  audioMasterGetParameterQuantization = 12,  // deprecated
  audioMasterIOChanged = 13,
  audioMasterNeedIdle = 14,  // deprecated
  audioMasterSizeWindow = 15,  // index: width, value: height
  audioMasterGetSampleRate = 16,
  audioMasterGetBlockSize = 17,
  audioMasterGetInputLatency = 18,
  audioMasterGetOutputLatency = 19,
  audioMasterGetPreviousPlug = 20,  // deprecated
  audioMasterGetNextPlug = 21,  // deprecated
  audioMasterWillReplaceOrAccumulate = 22,  // deprecated
  audioMasterGetCurrentProcessLevel = 23,  // VstProcessLevels
  audioMasterGetAutomationState = 24,
  audioMasterOfflineStart = 25,
  audioMasterOfflineRead = 26,
  audioMasterOfflineWrite = 27,
  audioMasterOfflineGetCurrentPass = 28,
  audioMasterOfflineGetCurrentMetaPass = 29,
  audioMasterSetOutputSampleRate = 30,  // deprecated
  audioMasterGetOutputSpeakerArrangement = 31,  // deprecated
  audioMasterGetVendorString = 32,  // ptr: text of kVstMaxVendorStrLen
  audioMasterGetProductString = 33,  // ptr: text of kVstMaxProductStrLen
  audioMasterGetVendorVersion = 34,
  audioMasterVendorSpecific = 35,
  audioMasterSetIcon = 36,  // deprecated
  audioMasterCanDo = 37,  // ptr: text; 1 yes, -1 no, 0 don't know
  audioMasterGetLanguage = 38,
  audioMasterOpenWindow = 39,  // deprecated
  audioMasterCloseWindow = 40,  // deprecated
  audioMasterGetDirectory = 41,
  audioMasterUpdateDisplay = 42,
  audioMasterBeginEdit = 43,  // index: parameter
  audioMasterEndEdit = 44,  // index: parameter
  audioMasterOpenFileSelector = 45,
  audioMasterCloseFileSelector = 46,
  audioMasterEditFile = 47,  // deprecated
  audioMasterGetChunkFile = 48,  // deprecated
  audioMasterGetInputSpeakerArrangement = 49,  // deprecated
};

/// Text sizes, terminating zero included.
enum VstStringConstants : std::int32_t {
  kVstMaxProgNameLen = 24,
  kVstMaxParamStrLen = 8,
  kVstMaxVendorStrLen = 64,
  kVstMaxProductStrLen = 64,
  kVstMaxEffectNameLen = 32,
  kVstMaxNameLen = 64,
  kVstMaxLabelLen = 64,
  kVstMaxShortLabelLen = 8,
  kVstMaxCategLabelLen = 24,
  kVstMaxFileNameLen = 100,
};

enum VstPlugCategory : std::int32_t {
  kPlugCategUnknown = 0,
  kPlugCategEffect = 1,
  kPlugCategSynth = 2,
};

/// Answers of audioMasterGetCurrentProcessLevel.
enum VstProcessLevels : std::int32_t {
  kVstProcessLevelUnknown = 0,
  kVstProcessLevelUser = 1,
  kVstProcessLevelRealtime = 2,
  kVstProcessLevelPrefetch = 3,
  kVstProcessLevelOffline = 4,
};

/// Precision of effSetProcessPrecision.
enum VstProcessPrecision : std::int32_t {
  kVstProcessPrecision32 = 0,
  kVstProcessPrecision64 = 1,
};

/// Editor rectangle of effEditGetRect.
struct ERect {
  std::int16_t top;
  std::int16_t left;
  std::int16_t bottom;
  std::int16_t right;
};
static_assert(sizeof(ERect) == 8);

/// Key of effEditKeyDown / effEditKeyUp.
struct VstKeyCode {
  std::int32_t character;
  unsigned char virt;
  unsigned char modifier;
};
static_assert(sizeof(VstKeyCode) == 8);

// ---- Events --------------------------------------------------------------------------------

enum VstEventTypes : std::int32_t {
  kVstMidiType = 1,
  kVstSysExType = 6,
};

/// The common head of every event; `byteSize` counts the bytes after the first eight.
struct VstEvent {
  std::int32_t type;
  std::int32_t byteSize;
  std::int32_t deltaFrames;  // offset within the block
  std::int32_t flags;
  char data[16];
};
static_assert(sizeof(VstEvent) == 32);

/// A list of event pointers: `events` is as long as `numEvents` says (two are declared).
struct VstEvents {
  std::int32_t numEvents;
  std::intptr_t reserved;
  VstEvent* events[2];
};
static_assert(offsetof(VstEvents, numEvents) == 0);
static_assert(offsetof(VstEvents, reserved) == 8);
static_assert(offsetof(VstEvents, events) == 16);
static_assert(sizeof(VstEvents) == 32);

/// Pointer `index` of a list laid out with numEvents pointers, reached through the list's
/// storage, never by indexing `events` beyond its bound (undefined behaviour). Any thread.
inline VstEvent*& VstEventsAt(VstEvents& list, std::size_t index) {
  return reinterpret_cast<VstEvent**>(reinterpret_cast<unsigned char*>(&list) +
                                      offsetof(VstEvents, events))[index];
}
inline VstEvent* VstEventsAt(const VstEvents& list, std::size_t index) {
  return reinterpret_cast<VstEvent* const*>(reinterpret_cast<const unsigned char*>(&list) +
                                            offsetof(VstEvents, events))[index];
}

enum VstMidiEventFlags : std::int32_t {
  kVstMidiEventIsRealtime = 1,
};

struct VstMidiEvent {
  std::int32_t type;  // kVstMidiType
  std::int32_t byteSize;  // 24
  std::int32_t deltaFrames;
  std::int32_t flags;  // VstMidiEventFlags
  std::int32_t noteLength;
  std::int32_t noteOffset;
  char midiData[4];  // three bytes and 0
  char detune;  // cents, -64 to 63
  char noteOffVelocity;
  char reserved1;
  char reserved2;
};
static_assert(sizeof(VstMidiEvent) == 32);
static_assert(offsetof(VstMidiEvent, deltaFrames) == 8);
static_assert(offsetof(VstMidiEvent, flags) == 12);
static_assert(offsetof(VstMidiEvent, noteLength) == 16);
static_assert(offsetof(VstMidiEvent, noteOffset) == 20);
static_assert(offsetof(VstMidiEvent, midiData) == 24);
static_assert(offsetof(VstMidiEvent, detune) == 28);
static_assert(offsetof(VstMidiEvent, noteOffVelocity) == 29);

struct VstMidiSysexEvent {
  std::int32_t type;  // kVstSysExType
  std::int32_t byteSize;
  std::int32_t deltaFrames;
  std::int32_t flags;
  std::int32_t dumpBytes;
  std::intptr_t resvd1;
  char* sysexDump;
  std::intptr_t resvd2;
};
static_assert(offsetof(VstMidiSysexEvent, dumpBytes) == 16);
static_assert(offsetof(VstMidiSysexEvent, sysexDump) == 32);
static_assert(sizeof(VstMidiSysexEvent) == 48);

// ---- Transport -----------------------------------------------------------------------------

enum VstTimeInfoFlags : std::int32_t {
  kVstTransportChanged = 1,
  kVstTransportPlaying = 1 << 1,
  kVstTransportCycleActive = 1 << 2,
  kVstTransportRecording = 1 << 3,
  kVstAutomationWriting = 1 << 6,
  kVstAutomationReading = 1 << 7,
  kVstNanosValid = 1 << 8,
  kVstPpqPosValid = 1 << 9,
  kVstTempoValid = 1 << 10,
  kVstBarsValid = 1 << 11,
  kVstCyclePosValid = 1 << 12,
  kVstTimeSigValid = 1 << 13,
  kVstSmpteValid = 1 << 14,
  kVstClockValid = 1 << 15,
};

/// The host's transport, answered by audioMasterGetTime; the fields past samplePos and
/// sampleRate are meaningful only under their validity flag.
struct VstTimeInfo {
  double samplePos;
  double sampleRate;
  double nanoSeconds;
  double ppqPos;
  double tempo;
  double barStartPos;  // in quarter notes
  double cycleStartPos;
  double cycleEndPos;
  std::int32_t timeSigNumerator;
  std::int32_t timeSigDenominator;
  std::int32_t smpteOffset;
  std::int32_t smpteFrameRate;
  std::int32_t samplesToNextClock;
  std::int32_t flags;  // VstTimeInfoFlags
};
static_assert(sizeof(VstTimeInfo) == 88);
static_assert(offsetof(VstTimeInfo, sampleRate) == 8);
static_assert(offsetof(VstTimeInfo, nanoSeconds) == 16);
static_assert(offsetof(VstTimeInfo, ppqPos) == 24);
static_assert(offsetof(VstTimeInfo, tempo) == 32);
static_assert(offsetof(VstTimeInfo, barStartPos) == 40);
static_assert(offsetof(VstTimeInfo, cycleStartPos) == 48);
static_assert(offsetof(VstTimeInfo, cycleEndPos) == 56);
static_assert(offsetof(VstTimeInfo, timeSigNumerator) == 64);
static_assert(offsetof(VstTimeInfo, timeSigDenominator) == 68);
static_assert(offsetof(VstTimeInfo, smpteOffset) == 72);
static_assert(offsetof(VstTimeInfo, smpteFrameRate) == 76);
static_assert(offsetof(VstTimeInfo, samplesToNextClock) == 80);
static_assert(offsetof(VstTimeInfo, flags) == 84);

// ---- Pins and speakers ---------------------------------------------------------------------

enum VstPinPropertiesFlags : std::int32_t {
  kVstPinIsActive = 1,
  kVstPinIsStereo = 1 << 1,
  kVstPinUseSpeaker = 1 << 2,
};

struct VstPinProperties {
  char label[kVstMaxLabelLen];
  std::int32_t flags;  // VstPinPropertiesFlags
  std::int32_t arrangementType;
  char shortLabel[kVstMaxShortLabelLen];
  char future[48];
};
static_assert(sizeof(VstPinProperties) == 128);
static_assert(offsetof(VstPinProperties, flags) == 64);
static_assert(offsetof(VstPinProperties, arrangementType) == 68);
static_assert(offsetof(VstPinProperties, shortLabel) == 72);
static_assert(offsetof(VstPinProperties, future) == 80);

struct VstSpeakerProperties {
  float azimuth;
  float elevation;
  float radius;
  float reserved;
  char name[kVstMaxNameLen];
  std::int32_t type;
  char future[28];
};
static_assert(sizeof(VstSpeakerProperties) == 112);
static_assert(offsetof(VstSpeakerProperties, reserved) == 12);
static_assert(offsetof(VstSpeakerProperties, name) == 16);
static_assert(offsetof(VstSpeakerProperties, type) == 80);
static_assert(offsetof(VstSpeakerProperties, future) == 84);

/// Eight speakers are declared; a record for more channels is allocated longer.
struct VstSpeakerArrangement {
  std::int32_t type;
  std::int32_t numChannels;
  VstSpeakerProperties speakers[8];
};
static_assert(offsetof(VstSpeakerArrangement, numChannels) == 4);
static_assert(offsetof(VstSpeakerArrangement, speakers) == 8);
static_assert(sizeof(VstSpeakerArrangement) == 8 + 8 * 112);

/// Speaker `index` of a record laid out with numChannels speakers, reached through the record's
/// storage, never by indexing `speakers` beyond its bound (undefined behaviour). Any thread.
inline VstSpeakerProperties& VstSpeakerAt(VstSpeakerArrangement& arrangement, std::size_t index) {
  return reinterpret_cast<VstSpeakerProperties*>(reinterpret_cast<unsigned char*>(&arrangement) +
                                                 offsetof(VstSpeakerArrangement, speakers))[index];
}

/// Arrangement types used here.
enum VstSpeakerArrangementType : std::int32_t {
  kSpeakerArrUserDefined = -2,
  kSpeakerArrEmpty = -1,
  kSpeakerArrMono = 0,
  kSpeakerArrStereo = 1,
  kSpeakerArr51 = 15,
};
