// Host time: the clock MIDI time stamps are read on. One host tick is one nanosecond of the
// monotonic clock (CLOCK_MONOTONIC), so converting to and from nanoseconds changes nothing.
// Any thread; real-time safe (no lock, no allocation).
#pragma once

#include <cstdint>

std::uint64_t AudioGetCurrentHostTime();
std::uint64_t AudioConvertHostTimeToNanos(std::uint64_t hostTime);
std::uint64_t AudioConvertNanosToHostTime(std::uint64_t nanos);

namespace kelo::midi {

using HostClock = std::uint64_t (*)();

/// Replaces the clock AudioGetCurrentHostTime reads (null restores the monotonic clock) and
/// returns the previous one. For tests: set it before the threads that read it start.
HostClock setHostClock(HostClock clock);

/// The monotonic clock in nanoseconds, whatever clock is installed.
std::uint64_t monotonicNanos();

}  // namespace kelo::midi
