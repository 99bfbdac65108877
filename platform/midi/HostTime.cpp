#include "platform/midi/HostTime.h"

#include <time.h>

#include <atomic>

namespace kelo::midi {
namespace {
std::atomic<HostClock> g_clock{nullptr};
}  // namespace

std::uint64_t monotonicNanos() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000000000u +
         static_cast<std::uint64_t>(now.tv_nsec);
}

HostClock setHostClock(HostClock clock) { return g_clock.exchange(clock); }

}  // namespace kelo::midi

std::uint64_t AudioGetCurrentHostTime() {
  const kelo::midi::HostClock clock = kelo::midi::g_clock.load(std::memory_order_relaxed);
  return clock != nullptr ? clock() : kelo::midi::monotonicNanos();
}

std::uint64_t AudioConvertHostTimeToNanos(std::uint64_t hostTime) { return hostTime; }
std::uint64_t AudioConvertNanosToHostTime(std::uint64_t nanos) { return nanos; }
