// A scripted PortAudio for the device tests: host APIs and devices from a table, the rates each
// device accepts, chosen calls failing or throwing, and streams that call back at once, from a
// thread of their own, or never. Installed with vantor::setPortAudio for its lifetime.
#pragma once

#include <portaudio.h>

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "standalone/host/PortAudioApi.h"

namespace kelo::test {

class FakePortAudio final : public vantor::PortAudioApi {
 public:
  enum class Callbacks {
    Immediate,  // the first callback runs inside startStream; later ones through `pump`
    Threaded,   // a thread of the stream calls back until the stream closes
    Never,      // the stream starts and stays silent
  };

  struct Device {
    std::string name;
    int hostApi = 0;  // index into the host-API table
    int ins = 0;
    int outs = 2;
    std::set<double> rates{44100, 48000};
    double defaultSampleRate = 48000;
  };

  FakePortAudio();
  ~FakePortAudio() override;

  /// Host API `type` named `name`; answers its index.
  int addHostApi(PaHostApiTypeId type, const std::string& name);
  /// Answers the device's global index.
  int addDevice(const Device& device);

  // Scripted answers.
  PaError initializeAnswer = paNoError;
  bool initializeThrows = false;
  bool deviceCountThrows = false;
  int deviceCountOverride = 0;  // used when negative
  std::set<int> missingDevices;  // deviceInfo answers null
  std::set<int> throwingDevices;  // deviceInfo throws
  PaError formatAnswer = paNoError;  // when not paNoError, every format check answers it
  PaError openAnswer = paNoError;
  bool openThrows = false;
  PaError startAnswer = paNoError;
  PaError closeAnswer = paNoError;
  Callbacks callbacks = Callbacks::Immediate;
  unsigned long framesPerCallback = 0;  // 0: the frames asked at opening
  double outputLatencySeconds = 0.01;
  double cpuLoad = 0.25;

  /// What the program asked, in order: "initialize", "open 3 ch:2 rate:44100 frames:512",
  /// "start", "close", "terminate".
  std::vector<std::string> calls() const;
  int openStreams() const;
  /// The stream parameters of the last opening.
  PaStreamParameters lastOutput() const { return m_lastOutput; }
  PaStreamFlags lastFlags() const { return m_lastFlags; }

  /// Runs the open stream's callback once with `frames` frames on the calling thread; answers
  /// the channels it wrote (channel-major). Empty without an open stream.
  std::vector<std::vector<float>> pump(unsigned long frames);
  /// The open stream ends by itself, as PortAudio's JACK host API ends it when the server goes:
  /// no more callbacks, inactive but never stopped, and closing it would wait for ever (the
  /// fake records the close and answers at once).
  void endStream();
  /// Callbacks made so far by the stream's own thread.
  int threadedCallbacks() const { return m_threadedCallbacks.load(); }

  // vantor::PortAudioApi
  const char* versionText() override { return "PortAudio fake"; }
  PaError initialize() override;
  PaError terminate() override;
  const char* errorText(PaError code) override { return Pa_GetErrorText(code); }
  PaDeviceIndex deviceCount() override;
  const PaDeviceInfo* deviceInfo(PaDeviceIndex index) override;
  PaHostApiIndex hostApiCount() override { return PaHostApiIndex(m_hostApis.size()); }
  const PaHostApiInfo* hostApiInfo(PaHostApiIndex index) override;
  PaHostApiIndex hostApiTypeIdToHostApiIndex(PaHostApiTypeId type) override;
  PaDeviceIndex hostApiDeviceIndexToDeviceIndex(PaHostApiIndex hostApi, int index) override;
  PaError isFormatSupported(const PaStreamParameters* input, const PaStreamParameters* output,
                            double sampleRate) override;
  PaError openStream(PaStream** stream, const PaStreamParameters* input,
                     const PaStreamParameters* output, double sampleRate,
                     unsigned long framesPerBuffer, PaStreamFlags flags,
                     PaStreamCallback* callback, void* userData) override;
  PaError startStream(PaStream* stream) override;
  PaError closeStream(PaStream* stream) override;
  PaError isStreamActive(PaStream* stream) override;
  const PaStreamInfo* streamInfo(PaStream* stream) override;
  double streamCpuLoad(PaStream*) override { return cpuLoad; }
  void rememberJackConnections(const std::string&) override {}
  void restoreJackPorts() override {}

 private:
  struct Stream;
  std::vector<std::vector<float>> callOnce(Stream& stream, unsigned long frames);
  void record(const std::string& call);

  std::vector<PaHostApiInfo> m_hostApis;
  std::vector<std::string> m_hostApiNames;
  std::vector<Device> m_devices;
  std::vector<PaDeviceInfo> m_deviceInfos;
  mutable std::mutex m_mutex;
  std::vector<std::string> m_calls;
  Stream* m_stream = nullptr;
  int m_openStreams = 0;
  PaStreamParameters m_lastOutput{};
  PaStreamFlags m_lastFlags = 0;
  PaStreamInfo m_streamInfo{};
  std::atomic<int> m_threadedCallbacks{0};
};

}  // namespace kelo::test
