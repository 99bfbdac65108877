// The polar patterns of the spatializer's microphones: amplitude response over the angle
// between the microphone's axis and the direction a sound arrives from. Every pattern derives
// from one measured cardioid. One constant instance of each is shared by all plug-in objects;
// any thread.
#pragma once

#include <cstddef>

namespace acme {

class MicrophonePattern {
 public:
  virtual ~MicrophonePattern() = default;
  /// `angle` in radians, any value (reduced to -pi..pi).
  virtual double GetAmplitudeResponse(double angle) const = 0;
};

class OmniPattern : public MicrophonePattern {
 public:
  double GetAmplitudeResponse(double angle) const override;
};

class Figure8Pattern : public MicrophonePattern {
 public:
  double GetAmplitudeResponse(double angle) const override;
};

class CardioidPattern : public MicrophonePattern {
 public:
  double GetAmplitudeResponse(double angle) const override;
};

class SubCardioidPattern : public MicrophonePattern {
 public:
  double GetAmplitudeResponse(double angle) const override;
};

class HyperCardioidPattern : public MicrophonePattern {
 public:
  double GetAmplitudeResponse(double angle) const override;
};

class SuperCardioidPattern : public MicrophonePattern {
 public:
  double GetAmplitudeResponse(double angle) const override;
};

inline constexpr std::size_t kMicrophonePatterns = 6;

/// The shared pattern of index 0 (omni), 1 (figure-of-eight), 2 (cardioid), 3 (sub-cardioid),
/// 4 (hyper-cardioid) or 5 (super-cardioid); null above 5.
const MicrophonePattern* microphonePattern(std::size_t index);

}  // namespace acme
