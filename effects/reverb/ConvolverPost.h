// The frame shared by RoomFold's two convolution reverbs: it asks the engine for the impulse
// response (HOSTOP_LOAD_AUDIO_FILE at the rate the reverb wants), owns the wet buffers and the
// three mix parameters, sanitises the input and mixes dry and wet around the subclass's
// convolution. The subclasses build, swap and run the convolvers.
//
// Parameters (controller events, status 176 compared whole; values that are not finite are
// ignored; the last event of a block wins): 0 dryLevel, 1 wetLevel, 2 level. The output is
// input x dryLevel + wet x (level x wetLevel).
//
// Threads: process runs on the engine's audio thread; setDSPInfo, setCustomDataLink, stop and
// the destructor on its control thread, also while audio runs. The mutex "KeloEffectConvMut"
// guards the settings copy, the active convolvers, the wet buffers and lastGood: the control
// thread locks it around swaps and rebuilds, process only try-locks it and passes input x
// dryLevel when it is busy, and for a block longer than the buffers it holds (the engine's
// blocks may lag a change of maxBlockSize). process allocates nothing and never waits.
//
// Silence: once the (sanitised) input has been exactly zero for longer than the reverb's tail
// (TailFrames), the convolvers are cleared once and then rest, costing nothing, until the first
// non-zero sample; the output is what running them would give, but for rounding.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Sampler/sdk/Plugin.h"
#include "Sampler/sdk/PluginThreads.h"

namespace acme {

class ConvolverPost : public vantor::KELOPluginSDK::EffectPlugin {
 public:
  /// Audio channels the reverbs hold at most (8 stereo pairs).
  static constexpr int kMaxChannels = 16;
  static constexpr std::int32_t kController = 176;

  explicit ConvolverPost(vantor::KELOPluginSDK::Host* host);
  ~ConvolverPost() override;

  void start() override {}
  /// Clears the reverb tail and the sanitiser's memory.
  void stop() override;
  /// Rebuilds the wet buffers and asks for the response anew at the rate now wanted; with a
  /// delivered response the convolvers are rebuilt and made active within the call. Throws
  /// std::bad_alloc when a wet buffer cannot be had (the runtime then marks the plug-in failed).
  void setDSPInfo(const vantor::KELOPluginSDK::DSPInfo* info) override;
  /// Magic 61715: asks for the named response and switches to it once its convolvers are
  /// built (outside the lock; the swap under it), then clears `pending`. Other magics and a
  /// missing payload are ignored.
  void setCustomDataLink(const vantor::KELOPluginSDK::CustomDataLink* link) override;
  void process(float** audio, std::int32_t frames,
               const vantor::KELOPluginSDK::HDMIDIEvents* midiIn,
               vantor::KELOPluginSDK::HDMIDIEvents* midiOut,
               const vantor::KELOPluginSDK::SyncInfo* sync) override;

  float getDryLevel() const { return dryLevel.load(std::memory_order_relaxed); }
  float getWetLevel() const { return wetLevel.load(std::memory_order_relaxed); }
  float getLevel() const { return level.load(std::memory_order_relaxed); }
  const std::string& getIRName() const { return irName; }

  // What a reverb gives the frame.
  /// The rate in Hz at which the engine is to deliver the response.
  virtual std::uint64_t getDesiredIRSampleRate() = 0;
  /// Takes new settings into the subclass (under the lock).
  virtual void dspInfoChanged(const vantor::KELOPluginSDK::DSPInfo& info) = 0;
  /// Builds pending convolvers from a delivered response; false when they cannot be built.
  virtual bool initConvEngineFromHaf(const vantor::KELOPluginSDK::HostAudioFile* file) = 0;
  /// Makes the pending convolvers active and ends the previous ones (under the lock).
  virtual void assignConvEngine() = 0;
  /// Applies one block's parameter events (audio thread).
  virtual void ProcessMIDI(const vantor::KELOPluginSDK::HDMIDIEvents* events) = 0;
  /// Writes one block's wet signal; false when no active convolver can run (audio thread,
  /// under the lock).
  virtual bool Convolve(const float* const* in, std::int32_t frames, float** out) = 0;
  /// Clears the active convolvers' history (under the lock).
  virtual void Reset() = 0;
  /// Engine-rate frames after the last non-zero input frame until the wet signal is exactly
  /// zero; the largest value never rests (audio thread, under the lock).
  virtual std::uint64_t TailFrames() const { return UINT64_MAX; }
  /// The convolvers start to rest: their history is no longer needed (audio thread, under the
  /// lock).
  virtual void EnterRest() { Reset(); }
  /// A silent block of `frames` while resting: whatever must go on without convolving (audio
  /// thread, under the lock).
  virtual void Rest(std::int32_t frames) {}

  /// Whether the last block left the convolvers resting (for tests and benchmarks).
  bool isResting() const { return resting; }

 protected:
  /// Asks the engine for the response named by irName (nothing when it is empty); the previous
  /// request is released first.
  void updateHaf();
  /// Releases (when loaded) and deletes the current request.
  void releaseHaf();
  /// Applies controllers 0 to 2; false for any other event. Values that are not finite are
  /// ignored.
  bool applyMixController(const vantor::KELOPluginSDK::HDMIDIEvent& event);
  /// Reads an init text "name|dry|wet|...": the name whenever there is a field, each level
  /// when its field is wholly a finite number. Answers the fields (none for a null or empty
  /// text).
  std::vector<std::string> readInitText(const char* initText);
  /// The value of a field that is wholly a finite number.
  static bool finiteField(const std::string& field, float& value);
  /// One controller event of the default list, every other byte 0.
  static vantor::KELOPluginSDK::HDMIDIEvent defaultEvent(std::int32_t controller, float value);

  // The request owns the copy of the name it points at, so a release never reads a freed
  // name whatever irName does meanwhile.
  vantor::KELOPluginSDK::HostAudioFile* haf = nullptr;
  std::string hafName;
  vantor::KELOPluginSDK::Mutex mutex{"KeloEffectConvMut"};
  float* wet[kMaxChannels] = {};
  // The longest block the wet buffers and the subclass's convolvers take (0 without them).
  std::int32_t heldFrames = 0;
  float lastGood[kMaxChannels] = {};
  std::atomic<float> level{0.5f};
  std::atomic<float> wetLevel{0.1f};
  std::atomic<float> dryLevel{0.0f};
  std::string irName;

 private:
  void freeWetBuffers();
  void clearLastGood();
  /// New convolvers or cleared ones: no input history (under the lock).
  void forgetInput();
  /// Counts the block's trailing silence; answers whether the whole block is silent.
  /// `silent[i]` says channel i is known to be all zero.
  bool countSilence(std::uint32_t channels, std::int32_t frames, float* const* audio,
                    const bool* silent);

  // Frames since the last non-zero input frame (saturating), and whether the convolvers rest.
  std::uint64_t silentFrames = UINT64_MAX;
  bool resting = false;
};

/// Locks a Mutex (waiting) for one scope; control thread only.
class ScopedLock {
 public:
  explicit ScopedLock(vantor::KELOPluginSDK::Mutex& mutex) : m_mutex(mutex) { m_mutex.lock(); }
  ~ScopedLock() { m_mutex.unlock(); }
  ScopedLock(const ScopedLock&) = delete;
  ScopedLock& operator=(const ScopedLock&) = delete;

 private:
  vantor::KELOPluginSDK::Mutex& m_mutex;
};

}  // namespace acme
