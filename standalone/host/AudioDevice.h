// The graph module of the output device: one PortAudio device, opened as a callback stream of
// 32-bit float non-interleaved channels at the context's rate and block size. Its callback
// renders the graph block by block into the device; the preferences ask it which rates and
// block sizes the device offers, its latency and which stereo pair of a multi-channel device
// carries the sound.
//
// A stereo pair p is routed by opening 2 x p + 2 channels and writing the graph's left and
// right into channels 2 x p and 2 x p + 1, the others zero.
//
// Threads: everything but the callback runs on the main thread (the command interface and the
// device manager's play and stop requests, serialised under "psr"). The callback runs on
// PortAudio's thread; it shares with the main thread only the first-callback flag and the
// "AudioDevice" semaphore, and neither allocates nor blocks once the first callback of an
// opening has posted that semaphore.
//
// Lifetime: made by the audio device factory, `init` and `acquire`d by the command interface,
// owned by the graph. The destructor stops a playing stream and releases the device's record.
#pragma once

#include <portaudio.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "standalone/host/DeviceIOType.h"
#include "standalone/host/Module.h"

namespace vantor {

class DeviceManager;
class GraphManager;
class Instance;
class Semaphore;

/// Renders one block of the stereo mix into two channels; the graph in the program.
class StereoRender {
 public:
  virtual ~StereoRender() = default;
  /// [audio callback] `outputs[0]` and `outputs[1]` hold `frames` zeroed samples.
  virtual void runGraphStereo(float** outputs, unsigned frames) = 0;
};

class AudioDevice : public Module {
 public:
  static constexpr std::uint64_t kStartTimeoutMilliseconds = 5000;
  static constexpr PaSampleFormat kSampleFormat = paFloat32 | paNonInterleaved;

  /// `deviceId` is the PortAudio index; the name, output index and channel counts come from the
  /// device manager's record for it. `name`, `numInputs` and `ioType` do not shape the device:
  /// it is output only.
  AudioDevice(const std::string& name, std::int32_t deviceId, std::int32_t numInputs,
              std::int32_t numOutputs, DeviceIOType ioType);
  ~AudioDevice() override;

  /// Allocates one block per output channel and the start semaphore.
  void initialize() override;
  /// A new format takes effect at the next opening. Not while playing: the callback renders
  /// into the buffers this remakes.
  void setDSPInfo(const DSPInfo* dspInfo) override;

  /// Tells the device manager the context holds the device; starts at once when the context
  /// is already playing.
  void acquire();
  /// Opens and starts the stream and waits for its first callback. True when it runs.
  bool onPlay();
  /// Closes the stream. False when it was not playing. A stream that ended by itself is left
  /// open instead (see `streamEnded`).
  bool onStop();
  /// The playing stream ended without being asked: its audio server or device went away.
  /// PortAudio's JACK host API then waits ten minutes for a cycle that never comes before it
  /// closes the stream, so such a stream is abandoned, never closed.
  bool streamEnded() const;

  std::int32_t getDeviceId() const { return m_deviceId; }
  bool isPlaying() const { return m_playing; }
  /// (device latency + safety offset + block size) / rate, in milliseconds. Only while a stream
  /// is open.
  bool getOutputLatency(double& milliseconds);
  /// Refused while playing, for a negative pair and for a pair beyond the outputs. Takes effect
  /// at the next opening.
  bool setOutputStereoPair(std::int32_t pair);
  std::int32_t getOutputStereoPair() const { return m_outputStereoPair; }
  /// Appends the supported rates the device offers; false when the device cannot tell.
  bool listAvailableSampleRates(std::vector<std::int32_t>& rates);
  /// Appends the powers of two from 32 to 32768 within the device's block range. Always true.
  bool listAvailableBufferSizes(std::vector<std::int32_t>& sizes);

  /// Channels the stream opens: 2 x pair + 2 on a device of three or more outputs, else its
  /// output count.
  std::uint32_t streamChannels() const;
  std::uint32_t numOutputs() const { return m_outputCount; }
  std::uint32_t usedOutputs() const { return m_usedOutputs; }
  const std::string& name() const { return m_name; }
  const PaStreamParameters& outputParameters() const { return m_outputParameters; }

  /// The render the callback drives instead of the graph (null, the start value: the graph's
  /// `runGraphStereo`). Not owned.
  void setRender(StereoRender* render) { m_render = render; }
  /// How long `onPlay` waits for the first callback; tests shorten it.
  void setStartTimeout(std::uint64_t milliseconds) { m_startTimeout = milliseconds; }

  /// Given to PortAudio with the device as user data. [audio callback]
  static int paCallback(const void* input, void* output, unsigned long frames,
                        const PaStreamCallbackTimeInfo* timeInfo,
                        PaStreamCallbackFlags statusFlags, void* userData);

 private:
  int paCallbackInternal(const void* input, void* output, unsigned long frames);
  void renderBlock(float* const* outputs, unsigned long offset, unsigned frames);
  void setIOParams();
  void allocateBuffers();
  void freeBuffers();
  void closeStream();
  void audioError(const char* function, PaError code);

  const Instance* m_instance = nullptr;
  bool m_playing = false;
  std::int32_t m_deviceId;
  PaStream* m_stream = nullptr;
  PaStreamParameters m_outputParameters{};
  std::int32_t m_outputIndex = -1;
  std::int32_t m_outputStereoPair = 0;
  std::uint32_t m_outputCount;  // the device's output channels
  std::uint32_t m_usedOutputs;
  std::vector<std::unique_ptr<float[]>> m_bufferStorage;
  std::vector<float*> m_outputBuffers;
  std::uint32_t m_bufferFrames = 0;
  std::atomic<bool> m_firstCallbackPending{false};
  std::string m_name;
  std::unique_ptr<Semaphore> m_started;
  DeviceManager* m_manager;
  StereoRender* m_render = nullptr;
  GraphManager* m_graph = nullptr;  // looked up on the main thread before a stream opens
  std::uint64_t m_startTimeout = kStartTimeoutMilliseconds;
  bool m_jack = false;  // a client of a JACK server
};

}  // namespace vantor
