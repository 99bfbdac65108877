// What the audio device asks about the hardware behind a PortAudio device: the sample rates it
// offers, the range of block sizes it takes, its output latency and safety offset. The Mac
// build asked Core Audio; on Linux `PortAudioDeviceProperties` answers from PortAudio itself.
//
// Devices are named by a platform audio device id (`indexToAudioDeviceID`), not by PortAudio's
// global index, so that the answer stays with the device of its host API.
//
// Main thread only.
#pragma once

#include <portaudio.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vantor {

/// Inclusive range of nominal sample rates, in hertz.
using SampleRateRange = std::pair<double, double>;

class AudioDeviceProperties {
 public:
  virtual ~AudioDeviceProperties() = default;
  /// Appends the rate ranges the device offers, in its own order; false when it cannot tell.
  virtual bool availableNominalSampleRates(std::uint32_t deviceID,
                                           std::vector<SampleRateRange>& ranges) = 0;
  /// The smallest and largest block the device takes, in frames; false when it cannot tell.
  virtual bool bufferFrameSizeRange(std::uint32_t deviceID, std::uint32_t& minimum,
                                    std::uint32_t& maximum) = 0;
  /// Output latency of the device running `stream`, in frames; false when it cannot tell.
  virtual bool latencyFrames(std::uint32_t deviceID, const PaStreamInfo& stream,
                             std::uint32_t& frames) = 0;
  /// Frames the device keeps ahead of the stream; false when it cannot tell.
  virtual bool safetyOffsetFrames(std::uint32_t deviceID, std::uint32_t& frames) = 0;
};

/// The platform audio device id of PortAudio device `index`: its host API's type and its index
/// within that host API, found through PortAudio's public host-API index functions. Only the
/// platform's own host APIs (ALSA and JACK) have ids; 0 for every other device or index.
std::uint32_t indexToAudioDeviceID(std::int32_t index);
/// The global PortAudio index of a platform audio device id; paNoDevice when there is none.
PaDeviceIndex audioDeviceIDToIndex(std::uint32_t deviceID);

/// The ALSA hardware address ("hw:0,3") in a PortAudio ALSA device name such as
/// "HDA Intel PCH: HDMI 0 (hw:0,3)"; empty when the name holds none (plug-in devices such as
/// "default" or "pulse").
std::string alsaHardwareAddress(const std::string& portAudioName);

/// The Linux answers, from PortAudio (`portAudio()`):
/// - rates: each of the seven supported rates for which PortAudio accepts a stereo 32-bit float
///   output stream on the device, as a range of one rate;
/// - block sizes: an ALSA hardware device that can be opened tells its period-size range;
///   for every other device (plug-ins, JACK, a device in use) 32 to 8192, since PortAudio
///   adapts any block size;
/// - latency: the stream's reported output latency at its sample rate, rounded;
/// - safety offset: 0 (PortAudio's reported latency already holds the device's buffering).
class PortAudioDeviceProperties : public AudioDeviceProperties {
 public:
  static constexpr std::uint32_t kMinimumBlock = 32;
  static constexpr std::uint32_t kMaximumBlock = 8192;

  bool availableNominalSampleRates(std::uint32_t deviceID,
                                   std::vector<SampleRateRange>& ranges) override;
  bool bufferFrameSizeRange(std::uint32_t deviceID, std::uint32_t& minimum,
                            std::uint32_t& maximum) override;
  bool latencyFrames(std::uint32_t deviceID, const PaStreamInfo& stream,
                     std::uint32_t& frames) override;
  bool safetyOffsetFrames(std::uint32_t deviceID, std::uint32_t& frames) override;
};

/// The source in use: PortAudioDeviceProperties unless a test installed another.
AudioDeviceProperties& audioDeviceProperties();
/// Installs `source` (not owned); null goes back to PortAudioDeviceProperties.
void setAudioDeviceProperties(AudioDeviceProperties* source);

}  // namespace vantor
