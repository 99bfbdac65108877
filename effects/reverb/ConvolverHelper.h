// The room reverb's background worker: one object per delivered response. It owns the response
// (ImpulseResponse) and the convolver set the audio thread runs; when the audio thread reports
// new pre-delay, size or decay, the worker (woken through a semaphore the audio thread posts,
// which never blocks) reshapes the response, builds a new set, and the audio thread swaps it
// in at its next successful try-lock and wakes the worker to end the retired set. The audio
// thread never waits and never builds.
//
// Lifecycle: built (the convolvers made, the thread started) on the control thread; after
// that the object belongs to its thread: end it with die, never delete it. die returns once
// the worker has left its loop and the object with everything it owned is gone.
// Threads: process and reset on the audio thread (one at a time); die on the control thread.
#pragma once

#include <semaphore.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <stdexcept>

#include "Sampler/sdk/PluginThreads.h"
#include "effects/reverb/ImpulseResponse.h"

namespace acme {

/// A worker object that could not build its convolvers or start its thread.
class ConvolverHelper_init_error : public std::runtime_error {
 public:
  ConvolverHelper_init_error() : std::runtime_error("ConvolverHelper_init_error") {}
};

class ConvolverHelper : public vantor::KELOPluginSDK::ThreadDetached {
 public:
  static constexpr int kMaxConvolvers = 16;

  /// Copies the response, shapes it with the three parameters, builds one stereo convolver per
  /// channel pair (an odd last channel on both sides) for blocks of up to `blockFrames`, and
  /// starts the worker. Throws std::bad_alloc or ConvolverHelper_init_error (no channels, a
  /// convolver error, a thread that cannot start), leaving nothing behind.
  ConvolverHelper(std::uint64_t blockFrames, const float* const* channels,
                  std::uint64_t numChannels, std::uint64_t numFrames,
                  std::int64_t preDelaySamples, float size, float decay, double sampleRate);

  /// Audio thread: takes a finished set or hands changed parameters over when the worker's
  /// mutex is free (try-lock), then convolves in[2c], in[2c+1] into out[2c], out[2c+1] for
  /// each convolver c of the first ceil(numChannels / 2); an odd last channel writes only
  /// out[2c]. Never allocates or waits.
  void process(float** out, const float* const* in, std::uint64_t numChannels,
               std::uint64_t frames, std::int64_t preDelaySamples, float size, float decay);
  /// Audio thread (or the control thread while the audio thread is kept out): clears the
  /// active set's history.
  void reset();
  /// Control thread: asks the worker to finish, wakes it and polls every 10 ms until the object
  /// is gone; the caller must not touch it afterwards.
  void die();

  /// Convolvers per set.
  std::uint64_t convolverCount() const { return count; }
  /// The longest response any set of this object was built with, in its frames (any thread):
  /// how long the active set can ring after its input falls silent.
  std::uint64_t longestResponseFrames() const {
    return longestFrames.load(std::memory_order_acquire);
  }

 protected:
  ~ConvolverHelper() override;
  int entry() override;
  void onExit() override {}

 private:
  // Builds `set` from the response's working channels; false, with the set ended and cleared,
  // when a convolver fails (its code in `code`).
  bool buildSet(void** set, int& code);
  static void endSet(void** set);
  void releaseAll();

  std::unique_ptr<ImpulseResponse> response;
  std::uint64_t blockFrames;
  std::atomic<int>* dieFlag = nullptr;
  std::atomic<bool> dieRequested{false};
  bool rebuildRequested = false;
  bool freeOld = false;
  std::atomic<bool> newReady{false};
  std::int64_t curPreDelay;
  float curSize;
  float curDecay;
  vantor::KELOPluginSDK::Mutex mutex{"ConvolverHelper Wakeup Mutex"};
  // Posted for each hand-over, swap and die request; the worker sleeps on it between them.
  sem_t wake;
  bool wakeReady = false;
  float* scratch = nullptr;
  std::uint64_t count = 0;
  void* newSet[kMaxConvolvers] = {};
  void* oldSet[kMaxConvolvers] = {};
  void* activeSet[kMaxConvolvers] = {};
  std::atomic<std::uint64_t> longestFrames{0};
};

}  // namespace acme
