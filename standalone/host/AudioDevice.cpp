#include "standalone/host/AudioDevice.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "VNL/source/LogLine.h"
#include "VNL/source/Threads.h"
#include "standalone/host/AudioDeviceProperties.h"
#include "standalone/host/DSPInfo.h"
#include "standalone/host/DeviceManager.h"
#include "standalone/host/GraphManager.h"
#include "standalone/host/Instance.h"
#include "standalone/host/PortAudioApi.h"
#include "standalone/host/Singleton.h"

namespace vantor {

AudioDevice::AudioDevice(const std::string& name, std::int32_t deviceId, std::int32_t numInputs,
                         std::int32_t numOutputs, DeviceIOType)
    : m_deviceId(deviceId),
      m_outputCount(numOutputs > 0 ? std::uint32_t(numOutputs) : 0),
      m_usedOutputs(m_outputCount),
      m_name(name),
      m_manager(Singleton<DeviceManager>::instance()) {
  m_numOutputs = std::int32_t(m_outputCount);
  if (const DMAudioDeviceInfo* record = m_manager->getAudioDeviceInfo(deviceId)) {
    m_outputIndex = record->outputIndex;
    m_name = record->name;
  }
  const PaDeviceInfo* info = m_outputIndex >= 0 ? portAudio().deviceInfo(m_outputIndex) : nullptr;
  if (info != nullptr) {
    const PaHostApiInfo* hostApi = portAudio().hostApiInfo(info->hostApi);
    m_jack = hostApi != nullptr && hostApi->type == paJACK;
  }
  PLOGI("%s id:%d ins:%d outs:%d allocated!", m_name.c_str(), deviceId, numInputs, numOutputs);
  PLOGI("%s ctor out", m_name.c_str());
}

AudioDevice::~AudioDevice() {
  if (m_playing) onStop();
  freeBuffers();
  m_manager->releaseAudioDevice(m_context, m_deviceId);
}

void AudioDevice::initialize() {
  m_instance = dynamic_cast<const Instance*>(m_context);
  PLOGI("%s::initialize in", m_name.c_str());
  allocateBuffers();
  if (!m_started) m_started = std::make_unique<Semaphore>("AudioDevice", 0, 1);
  PLOGI("%s::initialize out", m_name.c_str());
}

void AudioDevice::setDSPInfo(const DSPInfo* dspInfo) {
  Module::setDSPInfo(dspInfo);
  if (!m_outputBuffers.empty()) allocateBuffers();
  setIOParams();
}

void AudioDevice::allocateBuffers() {
  freeBuffers();
  if (m_dspInfo == nullptr) return;
  m_bufferFrames = m_dspInfo->blockSize;
  for (std::uint32_t channel = 0; channel < m_outputCount; ++channel) {
    m_bufferStorage.emplace_back(new float[m_bufferFrames]());
    m_outputBuffers.push_back(m_bufferStorage.back().get());
  }
}

void AudioDevice::freeBuffers() {
  m_outputBuffers.clear();
  m_bufferStorage.clear();
  m_bufferFrames = 0;
}

std::uint32_t AudioDevice::streamChannels() const {
  if (m_outputCount <= 2) return m_outputCount;
  return 2 * std::uint32_t(m_outputStereoPair) + 2;
}

void AudioDevice::setIOParams() {
  if (m_outputCount == 0 || m_dspInfo == nullptr) return;
  m_outputParameters = PaStreamParameters{};
  m_outputParameters.device = m_outputIndex;
  m_outputParameters.channelCount = int(streamChannels());
  m_outputParameters.sampleFormat = kSampleFormat;
  m_outputParameters.suggestedLatency = m_dspInfo->blockDuration;
  m_outputParameters.hostApiSpecificStreamInfo = nullptr;
  // PortAudio has no channel map on Linux: the pair's channels are written, the ones before
  // them get silence.
  m_usedOutputs = m_outputCount >= 3 ? 2 : m_outputCount;
}

void AudioDevice::acquire() {
  m_manager->acquireAudioDevice(m_context, m_deviceId);
  PLOGI("%s is now acquired", m_name.c_str());
  if (m_manager->isPlaying(m_context, false)) {
    onPlay();
  } else {
    m_playing = false;
  }
}

bool AudioDevice::streamEnded() const {
  return m_playing && m_stream != nullptr && portAudio().isStreamActive(m_stream) == 0;
}

void AudioDevice::closeStream() {
  if (m_stream == nullptr) return;
  if (streamEnded()) {
    PLOGE("%s: its stream ended by itself; left open rather than waited on", m_name.c_str());
    m_manager->streamAbandoned();
    m_stream = nullptr;
    return;
  }
  if (m_jack && m_playing) portAudio().rememberJackConnections(m_name);
  const PaError code = portAudio().closeStream(m_stream);
  m_stream = nullptr;
  if (code != paNoError) audioError("Pa_CloseStream", code);
}

bool AudioDevice::onPlay() {
  PLOGI("%s, has received Play command...", m_name.c_str());
  if (m_dspInfo == nullptr || m_started == nullptr || m_outputBuffers.empty()) {
    PLOGE("%s::onPlay() not initialised", m_name.c_str());
    return false;
  }
  if (m_stream != nullptr) return m_playing;  // a second stream would orphan the first
  setIOParams();
  m_graph = Singleton<GraphManager>::isCreated() ? Singleton<GraphManager>::instance() : nullptr;
  PortAudioApi& pa = portAudio();
  PaError code = pa.isFormatSupported(nullptr, &m_outputParameters, m_dspInfo->sampleRate);
  if (code != paFormatIsSupported) {
    audioError("Pa_IsFormatSupported", code);
    return false;
  }

  // A first callback that came after an earlier opening had given up must not count for this
  // one.
  while (m_started->tryWait()) {
  }
  m_firstCallbackPending.store(true, std::memory_order_release);
  try {
    code = pa.openStream(&m_stream, nullptr, &m_outputParameters, m_dspInfo->sampleRate,
                         m_dspInfo->blockSize, paDitherOff, &AudioDevice::paCallback, this);
  } catch (...) {
    PLOGE("Unknown Exception calling Pa_OpenStream");
    m_stream = nullptr;
    return false;
  }
  if (code != paNoError) {
    m_stream = nullptr;
    audioError("Pa_OpenStream", code);
    return false;
  }
  code = pa.startStream(m_stream);
  if (code != paNoError) {
    pa.closeStream(m_stream);
    m_stream = nullptr;
    audioError("Pa_StartStream", code);
    return false;
  }

  PLOGI("%s::onPlay() Pa_StartStream then waiting on stream start", m_name.c_str());
  if (m_started->waitTimeout(m_startTimeout)) {
    PLOGI("%s::onPlay() stream started!", m_name.c_str());
    m_playing = true;
    if (m_jack) pa.restoreJackPorts();
  } else {
    PLOGE("playReq TIMEOUT!!");
    closeStream();
    if (!m_playing) {
      PLOGE("%s, has refused to start Playing", m_name.c_str());
      return false;
    }
  }
  PLOGI("%s, has started Playing", m_name.c_str());
  return m_playing;
}

bool AudioDevice::onStop() {
  if (!m_playing) {
    PLOGE("%s::onStop() Logic error", m_name.c_str());
    return false;
  }
  if (m_stream != nullptr) {
    closeStream();
    PLOGI("%s has Stopped!", m_name.c_str());
  } else {
    PLOGE("%s::onStop() no _stream??", m_name.c_str());
  }
  m_playing = false;
  return true;
}

void AudioDevice::audioError(const char* function, PaError code) {
  PLOGI("%s", kLogSeparator);
  PLOGE("%s", m_name.c_str());
  PLOGE("%s: Error number: %d message: %s", function, code, portAudio().errorText(code));
  PLOGI("%s", kLogSeparator);
}

bool AudioDevice::getOutputLatency(double& milliseconds) {
  if (m_stream == nullptr || m_dspInfo == nullptr) return false;
  const PaStreamInfo* info = portAudio().streamInfo(m_stream);
  if (info == nullptr) return false;
  AudioDeviceProperties& properties = audioDeviceProperties();
  const std::uint32_t id = indexToAudioDeviceID(m_outputIndex);
  std::uint32_t latency = 0;
  std::uint32_t safetyOffset = 0;
  if (!properties.latencyFrames(id, *info, latency)) latency = 0;
  if (!properties.safetyOffsetFrames(id, safetyOffset)) safetyOffset = 0;
  milliseconds = (double(latency) + double(safetyOffset) + double(m_dspInfo->blockSize)) /
                 m_dspInfo->sampleRate * 1000.0;
  return true;
}

bool AudioDevice::setOutputStereoPair(std::int32_t pair) {
  if (m_playing || pair < 0) return false;
  if (2 * std::int64_t(pair) + 2 > std::int64_t(m_outputCount)) return false;
  m_outputStereoPair = pair;
  return true;
}

bool AudioDevice::listAvailableSampleRates(std::vector<std::int32_t>& rates) {
  std::vector<std::int32_t> supported;
  DSPInfo::listSupportedSampleRates(supported);
  std::vector<SampleRateRange> ranges;
  if (!audioDeviceProperties().availableNominalSampleRates(indexToAudioDeviceID(m_outputIndex),
                                                           ranges) ||
      ranges.empty()) {
    return false;
  }
  auto add = [&rates](std::int32_t rate) {
    if (std::find(rates.begin(), rates.end(), rate) == rates.end()) rates.push_back(rate);
  };
  auto isSupported = [&supported](double rate) {
    return std::find(supported.begin(), supported.end(), rate) != supported.end();
  };
  for (const SampleRateRange& range : ranges) {
    if (isSupported(range.first)) add(std::int32_t(range.first));
    if (range.first != range.second) {
      for (std::int32_t rate : supported) {
        if (rate > range.first && rate < range.second) add(rate);
      }
    }
    if (isSupported(range.second)) add(std::int32_t(range.second));
  }
  return true;
}

bool AudioDevice::listAvailableBufferSizes(std::vector<std::int32_t>& sizes) {
  std::uint32_t minimum = 0;
  std::uint32_t maximum = 0;
  if (!audioDeviceProperties().bufferFrameSizeRange(indexToAudioDeviceID(m_outputIndex), minimum,
                                                    maximum)) {
    minimum = maximum = 0;
  }
  for (std::uint32_t size = 32; size <= 32768; size *= 2) {
    if (size >= minimum && size <= maximum) sizes.push_back(std::int32_t(size));
  }
  return true;
}

int AudioDevice::paCallback(const void* input, void* output, unsigned long frames,
                            const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags,
                            void* userData) {
  return static_cast<AudioDevice*>(userData)->paCallbackInternal(input, output, frames);
}

void AudioDevice::renderBlock(float* const* outputs, unsigned long offset, unsigned frames) {
  m_manager->preGraph(m_context);
  for (float* buffer : m_outputBuffers) std::memset(buffer, 0, frames * sizeof(float));
  if (m_render != nullptr) {
    m_render->runGraphStereo(m_outputBuffers.data(), frames);
  } else if (m_graph != nullptr) {
    m_graph->runGraphStereo(m_outputBuffers.data(), frames);
  }
  const std::uint32_t channels = streamChannels();
  const std::uint32_t first = m_outputCount >= 3 ? 2 * std::uint32_t(m_outputStereoPair) : 0;
  for (std::uint32_t channel = 0; channel < channels; ++channel) {
    float* out = outputs[channel] + offset;
    if (channel >= first && channel - first < m_usedOutputs) {
      std::memcpy(out, m_outputBuffers[channel - first], frames * sizeof(float));
    } else {
      std::memset(out, 0, frames * sizeof(float));
    }
  }
  m_manager->postGraph(m_context);
}

int AudioDevice::paCallbackInternal(const void*, void* output, unsigned long frames) {
  auto* const* outputs = static_cast<float* const*>(output);
  try {
    if (m_firstCallbackPending.load(std::memory_order_acquire)) {
      PLOGI("%s in its first callback", m_name.c_str());
      std::srand(unsigned(std::time(nullptr)));
      m_firstCallbackPending.store(false, std::memory_order_release);
      m_started->post();
    }
    // PortAudio may hand more frames than the block the buffers hold: render in pieces.
    const unsigned long block = m_bufferFrames;
    unsigned long done = 0;
    while (block > 0 && done < frames) {
      const unsigned piece = unsigned(std::min(block, frames - done));
      renderBlock(outputs, done, piece);
      done += piece;
    }
    for (std::uint32_t channel = 0; done < frames && channel < streamChannels(); ++channel) {
      std::memset(outputs[channel] + done, 0, (frames - done) * sizeof(float));
    }
    m_manager->setCpuUsage(m_context, float(portAudio().streamCpuLoad(m_stream)));
  } catch (...) {
    PLOGE("%s: exception in the audio callback", m_name.c_str());
    for (std::uint32_t channel = 0; channel < streamChannels(); ++channel) {
      std::memset(outputs[channel], 0, frames * sizeof(float));
    }
  }
  return paContinue;
}

}  // namespace vantor
