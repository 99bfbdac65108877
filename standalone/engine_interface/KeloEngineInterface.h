// The boundary between the three engine hosts (KeloDeck, KeloUnit, KeloRack) and the external
// sampler engine: the one entry point, its opcodes, the host callback and the records that
// cross. Every layout here is shared with the engine byte for byte (little-endian, x86_64), so
// each record's size and offsets are pinned.
//
// Threads, for every engine: KELO_OP_PROCESS and KELO_OP_PROCESS_EX come on the host's render
// thread (the standalone's offline thread while it renders offline) and must neither allocate
// nor block; every other opcode comes on the host's main thread, possibly while a process call
// for the same instance runs on the render thread. The hosts take no lock around engine calls.
// No exception crosses the entry point or the host callback.
#pragma once

#include <cstddef>
#include <cstdint>

#include "VNL/source/MIDIEvent.h"
#include "VNL/source/SyncInfo.h"

extern "C" {

/// `keloOpcode`: the engine's only export. `handle` is the instance, the editor for opcodes
/// 24 to 29, null for 8, 9 and 23. Unused arguments are zero. Answers 0 for success.
typedef std::int32_t (*KeloOpcodeFunction)(void* handle, std::int32_t opcode, void* p1, void* p2,
                                           void* p3, std::int32_t i1, float f, std::int32_t i2,
                                           std::int32_t i3);

/// The host callback a plug-in registers with KELO_OP_HOST_CALLBACK_SET; `user` is the pointer
/// registered with it. May be called on any thread; takes no lock.
typedef std::int32_t (*KeloHostCallback)(std::int32_t op, void* p1, void* p2, std::int32_t i1,
                                         std::int32_t i2, std::int32_t i3, float f, void* user);

}  // extern "C"

/// Host to engine.
enum KELO_OPCODE : std::int32_t {
  KELO_OP_VERSION_GET = 8,           // p1 char buffer (32 bytes): decimal version text
  KELO_OP_INSTANCE_CREATE = 9,       // p1 EngineCreateInfo, p2 void** instance; [p3 chunk, i1 size]
  KELO_OP_INSTANCE_DESTROY = 10,
  KELO_OP_DSP_SET = 11,              // i1 sample rate, i2 largest block, i3 0
  KELO_OP_STOP = 12,
  KELO_OP_START = 13,                // i1 offline flag; [p1 EngineStartInfo]
  KELO_OP_PROCESS = 15,              // p1 MIDIEventBlock, p2 float** outputs, p3 SyncInfo|null, i1 frames
  KELO_OP_PARAMETER_GET = 16,        // p1 float*, i1 index
  KELO_OP_PARAMETER_SET = 17,        // i1 index, f value
  KELO_OP_CHUNK_GET = 18,            // p1 unsigned char**, p2 int32* length; the memory stays the engine's
  KELO_OP_CHUNK_SET = 19,            // p1 bytes, i1 length; non-zero: state not taken
  KELO_OP_EDITOR_ATTACH = 21,        // p1 editor
  KELO_OP_EDITOR_DETACH = 22,        // p1 editor
  KELO_OP_EDITOR_CREATE = 23,        // p1 setup-file path, p2 void** editor, p3 instance, i2 1 from A
  KELO_OP_EDITOR_DESTROY = 24,
  KELO_OP_EDITOR_OPEN = 25,          // p1 parent view (on Linux an X11 window id); A: i1 1, f scale, i3
  KELO_OP_EDITOR_IDLE = 26,
  KELO_OP_EDITOR_SIZE_GET = 27,      // p1 int32* height, p2 int32* width
  KELO_OP_EDITOR_VIEW_GET = 28,      // p1 void** view
  KELO_OP_EDITOR_DRAW = 29,          // i1 top, i2 left, i3 bottom, f right; all 0: everything
  KELO_OP_VENDOR_SPECIFIC = 30,      // p1 data, i1 selector, f value
  KELO_OP_PROCESS_EX = 31,           // p1 EngineProcessInfo (engines of version 1056 and later)
  KELO_OP_HOST_CALLBACK_SET = 32,    // p1 KeloHostCallback, p2 user, i1 capability bits
  KELO_OP_DSP_SET_EX = 33,           // p1 EngineDSPInfo
  KELO_OP_HOST_CALLBACK_CLEAR = 34,  // p1, p2 as registered
  KELO_OP_PARAMETER_INFO_GET = 37,   // p1 const ParameterInfo**, i1 index; null: no description
};

/// Engine to host, through the registered callback.
enum KELO_HOST_OPCODE : std::int32_t {
  KELO_HOST_MESSAGE = 0x1000,            // p1 title, p2 content, i1 kind 0 info, 1 warning, 2 error
  KELO_HOST_PROGRESS_OPEN = 0x1001,      // p1 title, i1 element count
  KELO_HOST_PROGRESS_STEP = 0x1002,
  KELO_HOST_PROGRESS_CLOSE = 0x1003,
  KELO_HOST_SLOT_CHANGED = 0x2002,       // i1 slot
  KELO_HOST_PARAMETER_CHANGED = 0x2003,  // p1 ParameterInfo or null, i1 0, i2 index, f value
  KELO_HOST_LATENCY_CHANGED = 0x2004,    // i1 frames
  KELO_HOST_EDIT_BEGIN = 0x2007,         // i2 index
  KELO_HOST_EDIT_END = 0x2008,           // i2 index
};

/// A host's answer to a callback opcode it does not know.
inline constexpr std::int32_t kKeloHostUnknownOpcode = 2;

/// Capability words of KELO_OP_HOST_CALLBACK_SET.
inline constexpr std::int32_t kKeloHostCapabilitiesAudioUnit = 0x30;
inline constexpr std::int32_t kKeloHostCapabilitiesVST = 0x70;

/// `hostConstant` of EngineCreateInfo: one per host, the same in every call of that host
/// (four-character codes, first character in the most significant byte).
inline constexpr std::int64_t kKeloHostConstantStandalone = 0x4B446563;  // 'KDec'
inline constexpr std::int64_t kKeloHostConstantAudioUnit = 0x4B556E74;   // 'KUnt'
inline constexpr std::int64_t kKeloHostConstantVST = 0x4B52636B;         // 'KRck'

/// Largest number of events in one MIDIEventBlock.
inline constexpr std::size_t kMIDIEventBlockCapacity = 1024;

/// The version hosts assume until the engine tells its own, and the first version that
/// processes through KELO_OP_PROCESS_EX.
inline constexpr std::int32_t kKeloDefaultEngineVersion = 1025;
inline constexpr std::int32_t kKeloProcessExVersion = 1056;

/// With KELO_OP_INSTANCE_CREATE. 32 bytes.
struct EngineCreateInfo {
  std::int64_t numInputs;
  std::int64_t numOutputs;
  std::int64_t hostConstant;
  const char* dataPath;  // the data folder, or (VST) the setup file's path; NUL-terminated
};

/// With KELO_OP_START from the VST plug-in. 16 bytes. The engine writes its latency in
/// frames at offset 4 (read as two int64 fields, 2001 and 0, the bytes are the same).
struct EngineStartInfo {
  std::int32_t startCode = 2001;
  std::int32_t latency = 0;
  std::int64_t reserved = 0;
};
inline constexpr std::int32_t kEngineStartCode = 2001;

/// With KELO_OP_DSP_SET_EX. 48 bytes.
struct EngineDSPInfo {
  std::int32_t version = 1;
  std::int32_t padding0 = 0;
  std::int64_t numInputs = 0;
  std::int64_t numOutputs = 0;
  std::int32_t flags = 1;
  std::int32_t padding1 = 0;
  std::uint64_t sampleRate = 0;  // hertz, truncated
  std::int64_t blockSize = 0;    // largest frames per process call
};

/// The events of one block, ascending by frame offset, equal offsets in arrival order. Only
/// the first `numEvents` (never more than 1024) are meaningful. 32776 bytes.
struct MIDIEventBlock {
  std::uint64_t numEvents;
  vantor::MIDIEvent events[kMIDIEventBlockCapacity];
};

/// With KELO_OP_PROCESS_EX. 56 bytes.
struct EngineProcessInfo {
  std::int32_t version;       // 1
  std::int32_t padding0;
  MIDIEventBlock* midiIn;
  MIDIEventBlock* midiOut;    // the engine fills it; the host sets numEvents back to 0
  float** inputs;             // null when the host has no audio inputs
  float** outputs;
  vantor::SyncInfo* syncInfo;
  std::int32_t numFrames;
  std::int32_t padding1;
};

static_assert(sizeof(void*) == 8, "the engine records are laid out for 64-bit hosts");
static_assert(sizeof(EngineCreateInfo) == 32);
static_assert(offsetof(EngineCreateInfo, numInputs) == 0);
static_assert(offsetof(EngineCreateInfo, numOutputs) == 8);
static_assert(offsetof(EngineCreateInfo, hostConstant) == 16);
static_assert(offsetof(EngineCreateInfo, dataPath) == 24);
static_assert(sizeof(EngineStartInfo) == 16);
static_assert(offsetof(EngineStartInfo, startCode) == 0);
static_assert(offsetof(EngineStartInfo, latency) == 4);
static_assert(offsetof(EngineStartInfo, reserved) == 8);
static_assert(sizeof(EngineDSPInfo) == 48);
static_assert(offsetof(EngineDSPInfo, version) == 0);
static_assert(offsetof(EngineDSPInfo, numInputs) == 8);
static_assert(offsetof(EngineDSPInfo, numOutputs) == 16);
static_assert(offsetof(EngineDSPInfo, flags) == 24);
static_assert(offsetof(EngineDSPInfo, sampleRate) == 32);
static_assert(offsetof(EngineDSPInfo, blockSize) == 40);
static_assert(sizeof(MIDIEventBlock) == 32776);
static_assert(offsetof(MIDIEventBlock, numEvents) == 0);
static_assert(offsetof(MIDIEventBlock, events) == 8);
static_assert(sizeof(EngineProcessInfo) == 56);
static_assert(offsetof(EngineProcessInfo, version) == 0);
static_assert(offsetof(EngineProcessInfo, midiIn) == 8);
static_assert(offsetof(EngineProcessInfo, midiOut) == 16);
static_assert(offsetof(EngineProcessInfo, inputs) == 24);
static_assert(offsetof(EngineProcessInfo, outputs) == 32);
static_assert(offsetof(EngineProcessInfo, syncInfo) == 40);
static_assert(offsetof(EngineProcessInfo, numFrames) == 48);
