// The room reverb's impulse response in two forms: the channels as the engine delivered them,
// and working channels reshaped by pre-delay, size (a Catmull-Rom stretch by 0.7071 to 1.4142)
// and decay (a fade from 35 ms on, by up to 200 dB at the end). Every reshape starts again from
// the delivered channels, so changes never accumulate. Allocates: background worker only; one
// thread at a time.
#pragma once

#include <cstdint>
#include <vector>

namespace acme {

class ImpulseResponse {
 public:
  /// Copies each channel twice (delivered and working). Throws std::bad_alloc, after freeing
  /// what it had made, when memory runs out.
  ImpulseResponse(const float* const* channels, std::uint64_t numChannels,
                  std::uint64_t numFrames, double sampleRate);
  virtual ~ImpulseResponse();
  ImpulseResponse(const ImpulseResponse&) = delete;
  ImpulseResponse& operator=(const ImpulseResponse&) = delete;

  /// Rebuilds the working channels: 0 done; 1 when the length would be below one frame or the
  /// stretch factor is negative (size below about -1.2); 2 when memory runs out or the length
  /// cannot be held. On 1 and 2 nothing changes and nothing stays allocated.
  std::int32_t Modify(std::int64_t preDelaySamples, float size, float decay);

  std::uint64_t getNumChannels() const { return numChannels; }
  std::uint64_t getOrigFrames() const { return origFrames; }
  std::uint64_t getCurFrames() const { return curFrames; }
  double getSampleRate() const { return sampleRate; }
  const float* getWorking(std::uint64_t channel) const { return working[channel]; }
  const float* getDelivered(std::uint64_t channel) const { return delivered[channel]; }
  /// The working channel arrays, one per channel.
  const float* const* getWorkingChannels() const { return working.data(); }

  /// The stretch factor of a size, in single precision.
  static float stretchFactor(float size);

 private:
  void freeAll();

  std::uint64_t numChannels = 0;
  std::uint64_t origFrames = 0;
  double sampleRate = 0;
  std::uint64_t curFrames = 0;
  std::vector<float*> delivered;
  std::vector<float*> working;
};

}  // namespace acme
