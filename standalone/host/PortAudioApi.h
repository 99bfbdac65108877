// The PortAudio calls the back end makes, behind one interface so that the audio device and the
// device manager can be driven by a scripted PortAudio in tests. The program uses the system's
// PortAudio 19.6 with its ALSA and JACK host APIs.
//
// Threads: everything runs on the main thread except `streamCpuLoad`, which the audio callback
// calls and which must neither allocate nor block.
#pragma once

#include <portaudio.h>

#include <string>

namespace vantor {

class PortAudioApi {
 public:
  virtual ~PortAudioApi() = default;

  virtual const char* versionText() = 0;
  virtual PaError initialize() = 0;
  virtual PaError terminate() = 0;
  virtual const char* errorText(PaError code) = 0;

  virtual PaDeviceIndex deviceCount() = 0;
  /// Null for an index PortAudio does not know. The record stays PortAudio's.
  virtual const PaDeviceInfo* deviceInfo(PaDeviceIndex index) = 0;
  virtual PaHostApiIndex hostApiCount() = 0;
  virtual const PaHostApiInfo* hostApiInfo(PaHostApiIndex index) = 0;
  /// A negative PaError when the type is not available.
  virtual PaHostApiIndex hostApiTypeIdToHostApiIndex(PaHostApiTypeId type) = 0;
  virtual PaDeviceIndex hostApiDeviceIndexToDeviceIndex(PaHostApiIndex hostApi,
                                                        int hostApiDeviceIndex) = 0;

  virtual PaError isFormatSupported(const PaStreamParameters* input,
                                    const PaStreamParameters* output, double sampleRate) = 0;
  virtual PaError openStream(PaStream** stream, const PaStreamParameters* input,
                             const PaStreamParameters* output, double sampleRate,
                             unsigned long framesPerBuffer, PaStreamFlags flags,
                             PaStreamCallback* callback, void* userData) = 0;
  virtual PaError startStream(PaStream* stream) = 0;
  virtual PaError closeStream(PaStream* stream) = 0;
  /// 1 while the stream runs, 0 once it stopped or ended by itself, a negative PaError.
  virtual PaError isStreamActive(PaStream* stream) = 0;
  /// Null when PortAudio has nothing to say about the stream.
  virtual const PaStreamInfo* streamInfo(PaStream* stream) = 0;
  /// [audio callback] Real-time safe.
  virtual double streamCpuLoad(PaStream* stream) = 0;

  /// PortAudio's JACK host API numbers a new stream's ports on from the last one's (out_0/1,
  /// then out_2/3) and a closed stream's ports take their connections with them. Before a
  /// stream on the JACK device `deviceName` closes, this notes what its ports are connected
  /// to, the device's own ports left out (PortAudio connects those itself)...
  virtual void rememberJackConnections(const std::string& deviceName) = 0;
  /// ...and once the next stream started, its ports are named out_0, out_1... again and
  /// connected again to what was noted. Both do nothing without a JACK stream.
  virtual void restoreJackPorts() = 0;
};

/// The PortAudio in use: the system library unless a test installed another.
PortAudioApi& portAudio();
/// Installs `api` (not owned; it outlives its use); null goes back to the system library.
void setPortAudio(PortAudioApi* api);

/// The name the JACK host API gives the program's client; set before `initialize`. The device
/// manager names it after the product.
void setJackClientName(const std::string& name);

}  // namespace vantor
