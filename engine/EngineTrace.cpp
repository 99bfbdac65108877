#include "engine/EngineTrace.h"

#include <algorithm>
#include <atomic>

#include "VNL/source/LogLine.h"

namespace kelo::engine {
namespace {

constexpr std::int64_t kTraceCapacity = 65536;
constexpr std::int64_t kFindingCapacity = 1024;

KeloTraceEntry g_trace[kTraceCapacity];
std::atomic<std::int64_t> g_traceCount{0};
KeloFinding g_findings[kFindingCapacity];
std::atomic<std::int64_t> g_findingCount{0};

}  // namespace

void traceCall(const KeloTraceEntry& entry) {
  const std::int64_t index = g_traceCount.fetch_add(1, std::memory_order_acq_rel);
  if (index < kTraceCapacity) g_trace[index] = entry;
}

void noteFinding(KeloFindingKind kind, std::int32_t opcode, std::int64_t detail) {
  PLOGW("KeloEngine: host obligation broken: kind %d opcode %d detail %lld", static_cast<int>(kind),
        static_cast<int>(opcode), static_cast<long long>(detail));
  const std::int64_t index = g_findingCount.fetch_add(1, std::memory_order_acq_rel);
  if (index < kFindingCapacity) g_findings[index] = KeloFinding{kind, opcode, detail};
}

std::int64_t readTrace(KeloTraceEntry* out, std::int64_t capacity) {
  const std::int64_t count = g_traceCount.load(std::memory_order_acquire);
  if (out != nullptr) std::copy_n(g_trace, std::min({count, capacity, kTraceCapacity}), out);
  return count;
}

std::int64_t readFindings(KeloFinding* out, std::int64_t capacity) {
  const std::int64_t count = g_findingCount.load(std::memory_order_acquire);
  if (out != nullptr) {
    std::copy_n(g_findings, std::min({count, capacity, kFindingCapacity}), out);
  }
  return count;
}

void clearTrace() {
  g_traceCount.store(0, std::memory_order_release);
  g_findingCount.store(0, std::memory_order_release);
}

}  // namespace kelo::engine
