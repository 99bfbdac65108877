#include "tests/standalone/devices/FakePortAudio.h"

#include <chrono>
#include <stdexcept>

namespace kelo::test {

struct FakePortAudio::Stream {
  int channels = 0;
  double rate = 0;
  unsigned long frames = 0;
  PaStreamCallback* callback = nullptr;
  void* user = nullptr;
  std::atomic<bool> running{false};
  std::thread thread;
  bool ended = false;  // ended by the host API, not by the program
};

FakePortAudio::FakePortAudio() { vantor::setPortAudio(this); }

FakePortAudio::~FakePortAudio() {
  if (m_stream != nullptr) closeStream(m_stream);
  vantor::setPortAudio(nullptr);
}

int FakePortAudio::addHostApi(PaHostApiTypeId type, const std::string& name) {
  m_hostApiNames.push_back(name);
  PaHostApiInfo info{};
  info.structVersion = 1;
  info.type = type;
  m_hostApis.push_back(info);
  for (std::size_t i = 0; i < m_hostApis.size(); ++i) m_hostApis[i].name = m_hostApiNames[i].c_str();
  return int(m_hostApis.size()) - 1;
}

int FakePortAudio::addDevice(const Device& device) {
  m_devices.push_back(device);
  m_deviceInfos.clear();
  for (Device& d : m_devices) {
    PaDeviceInfo info{};
    info.structVersion = 2;
    info.name = d.name.c_str();
    info.hostApi = d.hostApi;
    info.maxInputChannels = d.ins;
    info.maxOutputChannels = d.outs;
    info.defaultLowInputLatency = 0.005;
    info.defaultLowOutputLatency = 0.006;
    info.defaultHighInputLatency = 0.05;
    info.defaultHighOutputLatency = 0.06;
    info.defaultSampleRate = d.defaultSampleRate;
    m_deviceInfos.push_back(info);
  }
  PaHostApiInfo& api = m_hostApis.at(std::size_t(device.hostApi));
  ++api.deviceCount;
  return int(m_devices.size()) - 1;
}

void FakePortAudio::record(const std::string& call) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_calls.push_back(call);
}

std::vector<std::string> FakePortAudio::calls() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_calls;
}

int FakePortAudio::openStreams() const { return m_openStreams; }

PaError FakePortAudio::initialize() {
  record("initialize");
  if (initializeThrows) throw std::runtime_error("initialize");
  return initializeAnswer;
}

PaError FakePortAudio::terminate() {
  record("terminate");
  return paNoError;
}

PaDeviceIndex FakePortAudio::deviceCount() {
  if (deviceCountThrows) throw std::runtime_error("count");
  if (deviceCountOverride < 0) return deviceCountOverride;
  return PaDeviceIndex(m_devices.size());
}

const PaDeviceInfo* FakePortAudio::deviceInfo(PaDeviceIndex index) {
  if (throwingDevices.count(index) != 0) throw std::runtime_error("device");
  if (missingDevices.count(index) != 0) return nullptr;
  if (index < 0 || index >= PaDeviceIndex(m_deviceInfos.size())) return nullptr;
  return &m_deviceInfos[std::size_t(index)];
}

const PaHostApiInfo* FakePortAudio::hostApiInfo(PaHostApiIndex index) {
  if (index < 0 || index >= PaHostApiIndex(m_hostApis.size())) return nullptr;
  return &m_hostApis[std::size_t(index)];
}

PaHostApiIndex FakePortAudio::hostApiTypeIdToHostApiIndex(PaHostApiTypeId type) {
  for (std::size_t i = 0; i < m_hostApis.size(); ++i) {
    if (m_hostApis[i].type == type) return PaHostApiIndex(i);
  }
  return paHostApiNotFound;
}

PaDeviceIndex FakePortAudio::hostApiDeviceIndexToDeviceIndex(PaHostApiIndex hostApi, int index) {
  int local = 0;
  for (std::size_t i = 0; i < m_devices.size(); ++i) {
    if (m_devices[i].hostApi != hostApi) continue;
    if (local++ == index) return PaDeviceIndex(i);
  }
  return paInvalidDevice;
}

PaError FakePortAudio::isFormatSupported(const PaStreamParameters*,
                                         const PaStreamParameters* output, double sampleRate) {
  if (formatAnswer != paNoError) return formatAnswer;
  if (output == nullptr || output->device < 0 ||
      output->device >= PaDeviceIndex(m_devices.size())) {
    return paInvalidDevice;
  }
  const Device& device = m_devices[std::size_t(output->device)];
  if (output->channelCount > device.outs) return paInvalidChannelCount;
  if (device.rates.count(sampleRate) == 0) return paInvalidSampleRate;
  return paFormatIsSupported;
}

PaError FakePortAudio::openStream(PaStream** stream, const PaStreamParameters*,
                                  const PaStreamParameters* output, double sampleRate,
                                  unsigned long framesPerBuffer, PaStreamFlags flags,
                                  PaStreamCallback* callback, void* userData) {
  record("open " + std::to_string(output != nullptr ? output->device : -1) +
         " ch:" + std::to_string(output != nullptr ? output->channelCount : 0) +
         " rate:" + std::to_string(int(sampleRate)) + " frames:" + std::to_string(framesPerBuffer));
  if (openThrows) throw std::runtime_error("open");
  if (openAnswer != paNoError) return openAnswer;
  auto* s = new Stream();
  s->channels = output->channelCount;
  s->rate = sampleRate;
  s->frames = framesPerBuffer;
  s->callback = callback;
  s->user = userData;
  m_lastOutput = *output;
  m_lastFlags = flags;
  m_streamInfo = PaStreamInfo{1, 0.0, outputLatencySeconds, sampleRate};
  m_stream = s;
  ++m_openStreams;
  *stream = s;
  return paNoError;
}

std::vector<std::vector<float>> FakePortAudio::callOnce(Stream& stream, unsigned long frames) {
  std::vector<std::vector<float>> channels(std::size_t(stream.channels),
                                           std::vector<float>(frames, -7.0f));
  std::vector<float*> pointers;
  for (auto& channel : channels) pointers.push_back(channel.data());
  PaStreamCallbackTimeInfo time{};
  stream.callback(nullptr, pointers.data(), frames, &time, 0, stream.user);
  return channels;
}

PaError FakePortAudio::startStream(PaStream* handle) {
  record("start");
  if (startAnswer != paNoError) return startAnswer;
  auto* stream = static_cast<Stream*>(handle);
  const unsigned long frames = framesPerCallback != 0 ? framesPerCallback : stream->frames;
  stream->running = true;
  if (callbacks == Callbacks::Immediate) {
    callOnce(*stream, frames);
  } else if (callbacks == Callbacks::Threaded) {
    stream->thread = std::thread([this, stream, frames] {
      while (stream->running.load()) {
        callOnce(*stream, frames);
        m_threadedCallbacks.fetch_add(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
  }
  return paNoError;
}

PaError FakePortAudio::closeStream(PaStream* handle) {
  record("close");
  auto* stream = static_cast<Stream*>(handle);
  stream->running = false;
  if (stream->thread.joinable()) stream->thread.join();
  if (m_stream == stream) m_stream = nullptr;
  delete stream;
  return closeAnswer;
}

PaError FakePortAudio::isStreamActive(PaStream* handle) {
  auto* stream = static_cast<Stream*>(handle);
  return stream->running.load() && !stream->ended ? 1 : 0;
}

void FakePortAudio::endStream() {
  if (m_stream == nullptr) return;
  m_stream->ended = true;
  m_stream->running = false;
  if (m_stream->thread.joinable()) m_stream->thread.join();
}

const PaStreamInfo* FakePortAudio::streamInfo(PaStream* stream) {
  return stream == m_stream ? &m_streamInfo : nullptr;
}

std::vector<std::vector<float>> FakePortAudio::pump(unsigned long frames) {
  if (m_stream == nullptr) return {};
  return callOnce(*m_stream, frames);
}

}  // namespace kelo::test
