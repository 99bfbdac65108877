// A stand-in engine for tests that look at what the plug-in hands over: it answers version
// 1056 (or the text keloAnswerVersion gives), creates one instance and keeps the output count
// it was created with, the output pointers, a copy of the transport record of the last
// process call and its first input event (keloRecorded*); its chunk is 4 bytes, handed out
// with the answer keloAnswerChunk gives.
#include <cstring>

#include "standalone/engine_interface/KeloEngineInterface.h"

namespace {
vantor::SyncInfo g_lastSync;
int g_instance;
std::int64_t g_createdOutputs = 0;
float* g_outputs[32] = {};
char g_version[32] = "1056";
std::int32_t g_chunkAnswer = 0;
unsigned char g_chunk[4] = {'S', 'Y', 'N', 'C'};
vantor::MIDIEvent g_firstEvent{};

void recordEvents(const MIDIEventBlock* block) {
  if (block != nullptr && block->numEvents > 0) g_firstEvent = block->events[0];
}
}  // namespace

extern "C" KELO_EXPORT std::int32_t keloOpcode(void*, std::int32_t opcode, void* p1, void* p2, void* p3,
                                               std::int32_t, float, std::int32_t, std::int32_t) {
  switch (opcode) {
    case KELO_OP_VERSION_GET:
      std::strcpy(static_cast<char*>(p1), g_version);
      return 0;
    case KELO_OP_INSTANCE_CREATE:
      g_createdOutputs = static_cast<const EngineCreateInfo*>(p1)->numOutputs;
      *static_cast<void**>(p2) = &g_instance;
      return 0;
    case KELO_OP_PROCESS:
      recordEvents(static_cast<const MIDIEventBlock*>(p1));
      g_lastSync = *static_cast<const vantor::SyncInfo*>(p3);
      return 0;
    case KELO_OP_PROCESS_EX: {
      const auto* info = static_cast<const EngineProcessInfo*>(p1);
      recordEvents(info->midiIn);
      g_lastSync = *info->syncInfo;
      for (std::int64_t channel = 0; channel < g_createdOutputs; ++channel) {
        g_outputs[channel] = info->outputs[channel];
        std::memset(info->outputs[channel], 0, sizeof(float) * static_cast<std::size_t>(info->numFrames));
      }
      return 0;
    }
    case KELO_OP_CHUNK_GET:
      // Filled even when refused: a host must go by the answer.
      *static_cast<unsigned char**>(p1) = g_chunk;
      *static_cast<std::int32_t*>(p2) = sizeof g_chunk;
      return g_chunkAnswer;
    default:
      return 0;
  }
}

extern "C" KELO_EXPORT const vantor::SyncInfo* keloRecordedSync() { return &g_lastSync; }

/// The output count of the last creation; `pointers` receives the last process call's outputs.
extern "C" KELO_EXPORT std::int64_t keloRecordedOutputs(float** pointers) {
  std::memcpy(pointers, g_outputs, sizeof g_outputs);
  return g_createdOutputs;
}

/// The version text later instances are told (at most 31 characters).
extern "C" KELO_EXPORT void keloAnswerVersion(const char* text) {
  std::strncpy(g_version, text, sizeof g_version - 1);
}

/// What KELO_OP_CHUNK_GET answers from now on (it hands out a 4-byte chunk either way).
extern "C" KELO_EXPORT void keloAnswerChunk(std::int32_t answer) { g_chunkAnswer = answer; }

/// The first input event of the last process call that had any.
extern "C" KELO_EXPORT const vantor::MIDIEvent* keloRecordedEvent() { return &g_firstEvent; }
