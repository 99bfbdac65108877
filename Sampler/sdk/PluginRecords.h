// The records that cross between the sampler engine and an engine plug-in bundle, and the
// signatures of the bundle's entry points. Both sides compile this header: the runtime inside
// every bundle, and the engine that loads them. Layouts are a byte format (x86-64, little
// endian); every size and offset is pinned by a static_assert below.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantor::KELOPluginSDK {

/// The interface version a bundle puts into its `PluginStruct` and `HostAudioFile` records.
inline constexpr std::int32_t kSDKVersion = 1906;

inline constexpr int MAX_MIDIEVENTS_PER_CALL_SDK = 2048;

/// Channels a `HostAudioFile` can carry.
inline constexpr int kMaxHostAudioFileChannels = 32;

/// The magic a `CustomDataPayload` carries for the plug-ins that accept custom data.
inline constexpr std::int32_t kCustomDataMagic = 61715;

/// The engine-owned record `fillKeloPluginInfo` writes one plug-in's description into.
/// The plug-in writes only the fields of its table row; other bytes keep what the engine put.
struct KeloPluginInfo {
  char identifier[256];
  std::int32_t audioInsSpec;   // -1 any count, -2 even counts only (ins == outs), 0 none
  std::int32_t audioOutsSpec;  // always equal to audioInsSpec
  std::uint8_t unused264[184];
  std::int32_t infoFlagA;
  std::uint8_t unused452[8];
  std::int32_t version;
  std::int32_t infoFlagB;
  std::uint8_t unused468[4];
  std::int32_t customDataMagic;
  std::uint8_t unused476[28];
  std::int32_t customDataCount;
  std::uint8_t unused508[4];
  char shortName[512];
  char displayName[512];  // group, TAB, short name
  std::int32_t endMarker;
};

/// Host callback opcodes a plug-in sends.
enum HostOpcodes : std::int32_t {
  HOSTOP_LOAD_AUDIO_FILE = 1,
  HOSTOP_RELEASE_AUDIO_FILE = 2,
  HOSTOP_GET_SDK_VERSION = 5,
};

/// The engine's record handed to `newInstance`. The engine may place it at the start of a
/// larger object of its own; plug-ins use only `callback` and always pass 0 as `argument`.
struct Host {
  std::int32_t (*callback)(Host* self, std::int32_t opcode, std::int32_t argument, void* data);
};

/// An audio file the plug-in asks the engine to load (owned by the plug-in; the sample arrays
/// are the engine's and stay valid until HOSTOP_RELEASE_AUDIO_FILE).
struct HostAudioFile {
  std::int32_t version;
  std::int32_t loadStatus;  // non-zero once the engine has loaded the file
  const char* fileName;
  double sampleRate;  // the rate the plug-in wants the audio in
  std::int64_t numChannels;
  float* channels[kMaxHostAudioFileChannels];
  std::int64_t numFrames;
  std::uint8_t clearedByPlugin[4];
  std::uint8_t engineArea[28];
  std::int64_t reserved328;
  std::int64_t reserved336;
  std::int64_t reserved344;
};

/// The engine's processing settings.
struct DSPInfo {
  double sampleRate;
  std::int32_t sampleRateInt;
  double samplePeriod;  // 1 / sampleRate
  std::int32_t maxBlockSize;
  double blockDuration;     // maxBlockSize / sampleRate
  double inverseBlockSize;  // 1 / maxBlockSize
  std::uint8_t dspFlags[5];
};

struct HDMIDIEvent {
  std::int32_t status;  // status byte with its channel bits
  std::int32_t data1;   // key or controller; above 127 an engine-internal controller
  float data2;          // 0..1 for velocities and ordinary controllers
  std::uint8_t legacy[4];
  std::uint8_t reserved[12];
  std::uint32_t bufTick;  // frame offset within the block
};

struct HDMIDIEvents {
  std::int64_t numEvents;
  HDMIDIEvent events[MAX_MIDIEVENTS_PER_CALL_SDK];
};

struct ChannelInfo {
  std::int32_t numInputs;
  std::int32_t numOutputs;
};

struct LatencyInfo {
  std::int32_t header;  // the engine's, never written by a plug-in
  std::int32_t latencyB;
  std::int32_t latencyA;
};

struct CustomDataPayload;

struct __attribute__((packed)) CustomDataLink {
  std::int32_t header;
  CustomDataPayload* payload;  // unaligned
};

/// The engine's custom data; a plug-in that accepts it clears `pending` once handled.
/// The engine side of this project keeps file names of up to 4095 bytes.
struct CustomDataPayload {
  std::int32_t magic;
  std::uint8_t unused4[13];
  std::uint8_t pending;
  std::uint8_t unused18[526];
  char fileName[4096];
};

/// Argument of opcode 19.
struct InitExRecord {
  std::uint8_t unused0[8];
  std::int64_t result;  // the initEx answer, zero-extended
  const char* initText;
  const char* extraText;
};

/// Passed through to `process` and opcode 15 unread: their layouts belong to the engine.
struct SyncInfo;
struct ParameterDetails;

enum PluginOpcodes1 : std::int32_t {
  PLUGOP_INITEX = 0,
  PLUGOP_IDLE = 1,
  PLUGOP_SET_DSPINFO = 2,
  PLUGOP_GET_NUM_AUDIO_INS = 3,
  PLUGOP_GET_NUM_AUDIO_OUTS = 4,
  PLUGOP_GET_NUM_MIDI_INS = 5,
  PLUGOP_GET_NUM_MIDI_OUTS = 6,
  PLUGOP_CAPABLE_OF = 7,
  PLUGOP_START = 8,
  PLUGOP_STOP = 9,
  PLUGOP_GET_DEFAULTS = 10,
  PLUGOP_STOP2 = 11,
  PLUGOP_SET_DSPINFO2 = 12,
  PLUGOP_RESERVED13 = 13,
  PLUGOP_RESERVED14 = 14,
  PLUGOP_GET_PARAMETER_DETAILS = 15,
  PLUGOP_RESERVED16 = 16,
  PLUGOP_SET_IO_CONFIG = 17,
  PLUGOP_GET_LATENCY = 18,
  PLUGOP_INITEX_RECORD = 19,
  PLUGOP_SET_CUSTOM_DATA_LINK = 20,
  PLUGOP_INSTRUMENT_OP = 21,
};

struct PluginStruct;

using DispatcherFunction = void (*)(PluginStruct* handle, PluginOpcodes1 opcode, void* ptr,
                                    std::int32_t* val);
using ProcessFunction = void (*)(PluginStruct* handle, float** audio, std::int32_t frames,
                                 HDMIDIEvents* midiIn, HDMIDIEvents* midiOut,
                                 const SyncInfo* sync);

/// The engine's handle of one plug-in instance; lives inside the plug-in object.
struct PluginStruct {
  std::int32_t version;
  DispatcherFunction dispatcher;
  ProcessFunction processor;
  void* reserved;
  void* object;
};

// The four entry points, bound by name.
using GetNumKeloPluginsFunction = std::int32_t (*)();
using FillKeloPluginInfoFunction = std::int32_t (*)(std::int64_t index, KeloPluginInfo* info);
using NewInstanceFunction = PluginStruct* (*)(const char* identifier, Host* host);
using DeleteInstanceFunction = void (*)(PluginStruct* handle);

static_assert(sizeof(KeloPluginInfo) == 1540);
static_assert(offsetof(KeloPluginInfo, identifier) == 0);
static_assert(offsetof(KeloPluginInfo, audioInsSpec) == 256);
static_assert(offsetof(KeloPluginInfo, audioOutsSpec) == 260);
static_assert(offsetof(KeloPluginInfo, infoFlagA) == 448);
static_assert(offsetof(KeloPluginInfo, version) == 460);
static_assert(offsetof(KeloPluginInfo, infoFlagB) == 464);
static_assert(offsetof(KeloPluginInfo, customDataMagic) == 472);
static_assert(offsetof(KeloPluginInfo, customDataCount) == 504);
static_assert(offsetof(KeloPluginInfo, shortName) == 512);
static_assert(offsetof(KeloPluginInfo, displayName) == 1024);
static_assert(offsetof(KeloPluginInfo, endMarker) == 1536);

static_assert(sizeof(PluginStruct) == 40);
static_assert(offsetof(PluginStruct, version) == 0);
static_assert(offsetof(PluginStruct, dispatcher) == 8);
static_assert(offsetof(PluginStruct, processor) == 16);
static_assert(offsetof(PluginStruct, reserved) == 24);
static_assert(offsetof(PluginStruct, object) == 32);

static_assert(offsetof(Host, callback) == 0);

static_assert(sizeof(HostAudioFile) == 352);
static_assert(offsetof(HostAudioFile, version) == 0);
static_assert(offsetof(HostAudioFile, loadStatus) == 4);
static_assert(offsetof(HostAudioFile, fileName) == 8);
static_assert(offsetof(HostAudioFile, sampleRate) == 16);
static_assert(offsetof(HostAudioFile, numChannels) == 24);
static_assert(offsetof(HostAudioFile, channels) == 32);
static_assert(offsetof(HostAudioFile, numFrames) == 288);
static_assert(offsetof(HostAudioFile, clearedByPlugin) == 296);
static_assert(offsetof(HostAudioFile, engineArea) == 300);
static_assert(offsetof(HostAudioFile, reserved328) == 328);
static_assert(offsetof(HostAudioFile, reserved336) == 336);
static_assert(offsetof(HostAudioFile, reserved344) == 344);

static_assert(offsetof(DSPInfo, sampleRate) == 0);
static_assert(offsetof(DSPInfo, sampleRateInt) == 8);
static_assert(offsetof(DSPInfo, samplePeriod) == 16);
static_assert(offsetof(DSPInfo, maxBlockSize) == 24);
static_assert(offsetof(DSPInfo, blockDuration) == 32);
static_assert(offsetof(DSPInfo, inverseBlockSize) == 40);
static_assert(offsetof(DSPInfo, dspFlags) == 48);
static_assert(sizeof(DSPInfo) == 56);

static_assert(sizeof(HDMIDIEvent) == 32);
static_assert(offsetof(HDMIDIEvent, status) == 0);
static_assert(offsetof(HDMIDIEvent, data1) == 4);
static_assert(offsetof(HDMIDIEvent, data2) == 8);
static_assert(offsetof(HDMIDIEvent, legacy) == 12);
static_assert(offsetof(HDMIDIEvent, reserved) == 16);
static_assert(offsetof(HDMIDIEvent, bufTick) == 28);
static_assert(sizeof(HDMIDIEvents) == 65544);
static_assert(offsetof(HDMIDIEvents, events) == 8);

static_assert(sizeof(ChannelInfo) == 8);
static_assert(offsetof(ChannelInfo, numOutputs) == 4);
static_assert(sizeof(LatencyInfo) == 12);
static_assert(offsetof(LatencyInfo, latencyB) == 4);
static_assert(offsetof(LatencyInfo, latencyA) == 8);

static_assert(sizeof(CustomDataLink) == 12);
static_assert(offsetof(CustomDataLink, payload) == 4);
static_assert(offsetof(CustomDataPayload, magic) == 0);
static_assert(offsetof(CustomDataPayload, pending) == 17);
static_assert(offsetof(CustomDataPayload, fileName) == 544);

static_assert(sizeof(InitExRecord) == 32);
static_assert(offsetof(InitExRecord, result) == 8);
static_assert(offsetof(InitExRecord, initText) == 16);
static_assert(offsetof(InitExRecord, extraText) == 24);

static_assert(sizeof(PluginOpcodes1) == 4 && sizeof(HostOpcodes) == 4);

}  // namespace vantor::KELOPluginSDK
