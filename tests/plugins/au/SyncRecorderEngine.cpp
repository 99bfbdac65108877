// A stand-in engine for the transport tests: it answers version 1056, creates one instance and
// keeps a copy of the transport record of the last process call, which the test reads back
// through keloRecordedSync.
#include <cstring>

#include "standalone/engine_interface/KeloEngineInterface.h"

namespace {
vantor::SyncInfo g_lastSync;
int g_instance;
}  // namespace

extern "C" KELO_EXPORT std::int32_t keloOpcode(void*, std::int32_t opcode, void* p1, void* p2, void*, std::int32_t,
                                               float, std::int32_t, std::int32_t) {
  switch (opcode) {
    case KELO_OP_VERSION_GET:
      std::strcpy(static_cast<char*>(p1), "1056");
      return 0;
    case KELO_OP_INSTANCE_CREATE:
      *static_cast<void**>(p2) = &g_instance;
      return 0;
    case KELO_OP_PROCESS_EX: {
      const auto* info = static_cast<const EngineProcessInfo*>(p1);
      g_lastSync = *info->syncInfo;
      for (int channel = 0; channel < 2; ++channel)
        std::memset(info->outputs[channel], 0, sizeof(float) * static_cast<std::size_t>(info->numFrames));
      return 0;
    }
    default:
      return 0;
  }
}

extern "C" KELO_EXPORT const vantor::SyncInfo* keloRecordedSync() { return &g_lastSync; }
