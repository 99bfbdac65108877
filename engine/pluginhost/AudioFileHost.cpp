#include "engine/pluginhost/AudioFileHost.h"

#include <samplerate.h>
#include <sndfile.h>

#include <cmath>
#include <cstring>
#include <exception>

#include "VNL/source/LogLine.h"

namespace kelo::pluginhost {

using namespace vantor::KELOPluginSDK;

namespace {

// A file header claiming more than this many samples in all is refused, not allocated.
constexpr std::int64_t kMaxSamples = std::int64_t{1} << 28;

}  // namespace

bool readAudioFile(const std::string& path, std::vector<std::vector<float>>& channels,
                   double& sampleRate, std::string& error) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) {
    error = "cannot read \"" + path + "\": " + sf_strerror(nullptr);
    return false;
  }
  bool ok = false;
  if (info.channels < 1 || info.frames < 1) {
    error = "\"" + path + "\" holds no audio";
  } else if (info.frames > kMaxSamples / info.channels) {
    error = "\"" + path + "\" is too long";
  } else {
    std::vector<float> interleaved(static_cast<std::size_t>(info.frames * info.channels));
    const sf_count_t read = sf_readf_float(file, interleaved.data(), info.frames);
    if (read < 1) {
      error = "cannot read the samples of \"" + path + "\": " + sf_strerror(file);
    } else {
      channels.assign(static_cast<std::size_t>(info.channels),
                      std::vector<float>(static_cast<std::size_t>(read)));
      for (sf_count_t frame = 0; frame < read; ++frame)
        for (int channel = 0; channel < info.channels; ++channel)
          channels[channel][frame] = interleaved[frame * info.channels + channel];
      sampleRate = info.samplerate;
      ok = true;
    }
  }
  sf_close(file);
  return ok;
}

bool convertRate(const std::vector<float>& in, double fromRate, double toRate,
                 std::vector<float>& out, std::string& error) {
  const double ratio = toRate / fromRate;
  if (!(ratio >= 1.0 / 256.0 && ratio <= 256.0)) {
    error = "cannot convert from " + std::to_string(fromRate) + " Hz to " +
            std::to_string(toRate) + " Hz";
    return false;
  }
  out.assign(static_cast<std::size_t>(std::ceil(static_cast<double>(in.size()) * ratio)) + 16,
             0.0f);
  SRC_DATA data{};
  data.data_in = in.data();
  data.input_frames = static_cast<long>(in.size());
  data.data_out = out.data();
  data.output_frames = static_cast<long>(out.size());
  data.src_ratio = ratio;
  const int result = src_simple(&data, SRC_SINC_MEDIUM_QUALITY, 1);
  if (result != 0) {
    error = std::string("rate conversion failed: ") + src_strerror(result);
    return false;
  }
  out.resize(static_cast<std::size_t>(data.output_frames_gen));
  return true;
}

AudioFileHost::AudioFileHost() : m_link{Host{&AudioFileHost::callback}, this} {}

AudioFileHost::~AudioFileHost() {
  if (!m_held.empty())
    PLOGW("engine plug-in host: %zu audio files were never released", m_held.size());
}

std::vector<HostCall> AudioFileHost::calls() const {
  std::lock_guard lock(m_mutex);
  return m_calls;
}

std::size_t AudioFileHost::filesHeld() const {
  std::lock_guard lock(m_mutex);
  return m_held.size();
}

std::int32_t AudioFileHost::callback(Host* self, std::int32_t opcode, std::int32_t, void* data) {
  return reinterpret_cast<Link*>(self)->owner->serve(opcode, data);
}

std::int32_t AudioFileHost::serve(std::int32_t opcode, void* data) {
  try {
    HostCall call;
    call.opcode = opcode;
    switch (opcode) {
      case HOSTOP_LOAD_AUDIO_FILE:
        call.result = data != nullptr ? load(*static_cast<HostAudioFile*>(data), call) : 1;
        break;
      case HOSTOP_RELEASE_AUDIO_FILE:
        call.result = data != nullptr ? release(*static_cast<HostAudioFile*>(data), call) : 1;
        break;
      case HOSTOP_GET_SDK_VERSION:
        if (data != nullptr) *static_cast<std::int32_t*>(data) = kEngineSDKVersion;
        call.result = data != nullptr ? 0 : 1;
        break;
      default:
        PLOGW("engine plug-in host: unknown callback opcode %d", opcode);
        call.result = 2;
        break;
    }
    std::lock_guard lock(m_mutex);
    m_calls.push_back(call);
    return call.result;
  } catch (const std::exception& e) {
    PLOGE("engine plug-in host: callback %d failed: %s", opcode, e.what());
    return 1;
  } catch (...) {
    PLOGE("engine plug-in host: callback %d failed", opcode);
    return 1;
  }
}

std::int32_t AudioFileHost::load(HostAudioFile& file, HostCall& call) {
  file.loadStatus = 0;
  call.sampleRate = file.sampleRate;
  if (file.fileName == nullptr) {
    PLOGE("engine plug-in host: audio file load without a file name");
    return 1;
  }
  call.fileName = file.fileName;
  if (!(std::isfinite(file.sampleRate) && file.sampleRate > 0)) {
    PLOGE("engine plug-in host: \"%s\" asked for at %g Hz", file.fileName, file.sampleRate);
    return 1;
  }
  std::vector<std::vector<float>> channels;
  double fileRate = 0;
  std::string error;
  if (!readAudioFile(file.fileName, channels, fileRate, error)) {
    PLOGE("engine plug-in host: %s", error.c_str());
    return 1;
  }
  if (channels.size() > static_cast<std::size_t>(kMaxHostAudioFileChannels)) {
    PLOGE("engine plug-in host: \"%s\" has %zu channels, at most %d can be delivered",
          file.fileName, channels.size(), kMaxHostAudioFileChannels);
    return 1;
  }
  if (fileRate != file.sampleRate) {
    for (std::vector<float>& channel : channels) {
      std::vector<float> converted;
      if (!convertRate(channel, fileRate, file.sampleRate, converted, error)) {
        PLOGE("engine plug-in host: \"%s\": %s", file.fileName, error.c_str());
        return 1;
      }
      channel.swap(converted);
    }
  }
  const std::size_t frames = channels[0].size();
  std::unique_ptr<float[]> samples(new float[channels.size() * frames]);
  for (std::size_t channel = 0; channel < channels.size(); ++channel)
    std::memcpy(samples.get() + channel * frames, channels[channel].data(),
                frames * sizeof(float));

  std::lock_guard lock(m_mutex);
  // A record loaded again without a release gives up its earlier samples.
  m_held.erase(&file);
  std::memset(file.channels, 0, sizeof file.channels);
  for (std::size_t channel = 0; channel < channels.size(); ++channel)
    file.channels[channel] = samples.get() + channel * frames;
  file.numChannels = static_cast<std::int64_t>(channels.size());
  file.numFrames = static_cast<std::int64_t>(frames);
  file.loadStatus = 1;
  m_held.emplace(&file, std::move(samples));
  call.channels = file.numChannels;
  call.frames = file.numFrames;
  return 0;
}

std::int32_t AudioFileHost::release(HostAudioFile& file, HostCall& call) {
  if (file.fileName != nullptr) call.fileName = file.fileName;
  std::lock_guard lock(m_mutex);
  auto held = m_held.find(&file);
  if (held == m_held.end()) {
    PLOGW("engine plug-in host: release of an audio file it does not hold");
    return 1;
  }
  m_held.erase(held);
  std::memset(file.channels, 0, sizeof file.channels);
  file.numChannels = 0;
  file.numFrames = 0;
  file.loadStatus = 0;
  return 0;
}

}  // namespace kelo::pluginhost
