// The reference engine's record for tests: every call it receives, and every host obligation
// it finds broken. Fixed, process-wide storage written with one atomic increment per record,
// so the render thread records without allocating or locking.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/KeloEngineTestControl.h"

namespace kelo::engine {

void traceCall(const KeloTraceEntry& entry);
void noteFinding(KeloFindingKind kind, std::int32_t opcode, std::int64_t detail);

/// Copies up to `capacity` records; answers how many were recorded.
std::int64_t readTrace(KeloTraceEntry* out, std::int64_t capacity);
std::int64_t readFindings(KeloFinding* out, std::int64_t capacity);
void clearTrace();

}  // namespace kelo::engine
