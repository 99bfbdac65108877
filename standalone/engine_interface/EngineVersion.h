// The engine version rule the plug-ins follow: the version decides the process call, and the
// exact text "1025" switches the Audio Unit's compatibility mode on.
#pragma once

#include <cstdint>

#include "standalone/engine_interface/KeloEngineInterface.h"

namespace vantor {

struct EngineVersion {
  std::int32_t number = kKeloDefaultEngineVersion;
  /// The engine answered exactly "1025".
  bool compatibility1025 = false;
  /// The text as the engine wrote it, always terminated.
  char text[32] = {};

  /// KELO_OP_PROCESS_EX for 1056 and later, KELO_OP_PROCESS below.
  bool usesProcessEx() const { return number >= kKeloProcessExVersion; }
};

/// The decimal number at the start of `text` (after blanks, with an optional sign, as "%d"
/// reads it); 1025 when there is none or it does not fit 32 bits.
EngineVersion parseEngineVersion(const char* text);

/// Asks the engine (KELO_OP_VERSION_GET, null handle, a zeroed 32-byte buffer) and parses the
/// answer. Main thread.
EngineVersion fetchEngineVersion(KeloOpcodeFunction entry);

}  // namespace vantor
