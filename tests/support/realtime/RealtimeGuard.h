// The real-time guard of the render tests: while a thread is inside a marked region, a call
// on that thread to malloc, calloc, realloc, free, aligned_alloc, posix_memalign (and so
// operator new and delete) or to a blocking pthread_mutex_lock aborts the test with the name
// of the call. pthread_mutex_trylock stays allowed: renders try-lock by design.
//
// The interposer lives in the library kelo_rt_guard, built only without sanitizers (they
// interpose the same functions); tests that link it carry the label "realtime". Without it
// (KELO_RT_GUARD not defined) the regions below compile to nothing, so one test source can
// run in the sanitizer build and, again, under the guard.
#pragma once

namespace kelo::test {

#if defined(KELO_RT_GUARD)

/// Marks the calling thread real-time for the object's lifetime; regions nest.
class RealtimeRegion {
 public:
  RealtimeRegion();
  ~RealtimeRegion();
  RealtimeRegion(const RealtimeRegion&) = delete;
  RealtimeRegion& operator=(const RealtimeRegion&) = delete;
};

/// Allows the guarded calls on the calling thread for the object's lifetime, for one call
/// that the design needs on a render path. `name` says which (it appears in the guard's
/// report of what was exempted); every use carries a comment saying why.
class RealtimeExemption {
 public:
  explicit RealtimeExemption(const char* name);
  ~RealtimeExemption();
  RealtimeExemption(const RealtimeExemption&) = delete;
  RealtimeExemption& operator=(const RealtimeExemption&) = delete;

 private:
  const char* m_previous;
};

/// True while the calling thread is inside a region and not exempted.
bool realtimeGuardActive();

/// True when this program runs under the guard.
constexpr bool kRealtimeGuarded = true;

#else

class RealtimeRegion {
 public:
  RealtimeRegion() {}
};

class RealtimeExemption {
 public:
  explicit RealtimeExemption(const char*) {}
};

inline bool realtimeGuardActive() { return false; }
constexpr bool kRealtimeGuarded = false;

#endif

}  // namespace kelo::test
