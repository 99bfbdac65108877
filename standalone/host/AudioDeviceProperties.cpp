#include "standalone/host/AudioDeviceProperties.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

#include "standalone/host/DSPInfo.h"
#include "standalone/host/PortAudioApi.h"

namespace vantor {
namespace {

bool isPlatformHostApi(PaHostApiTypeId type) { return type == paALSA || type == paJACK; }

// An id is the host API type in the high half and the device's index within that host API,
// plus one, in the low half: never 0 for a real device.
constexpr std::uint32_t kLocalIndexMask = 0xFFFF;

PortAudioDeviceProperties g_portAudioProperties;
AudioDeviceProperties* g_installed = nullptr;

}  // namespace

std::uint32_t indexToAudioDeviceID(std::int32_t index) {
  PortAudioApi& pa = portAudio();
  const PaDeviceInfo* device = pa.deviceInfo(index);
  if (device == nullptr) return 0;
  const PaHostApiInfo* hostApi = pa.hostApiInfo(device->hostApi);
  if (hostApi == nullptr || !isPlatformHostApi(hostApi->type)) return 0;
  for (int local = 0; local < hostApi->deviceCount && local < int(kLocalIndexMask); ++local) {
    if (pa.hostApiDeviceIndexToDeviceIndex(device->hostApi, local) == index) {
      return (std::uint32_t(hostApi->type) << 16) | std::uint32_t(local + 1);
    }
  }
  return 0;
}

PaDeviceIndex audioDeviceIDToIndex(std::uint32_t deviceID) {
  const auto type = PaHostApiTypeId(deviceID >> 16);
  const int local = int(deviceID & kLocalIndexMask) - 1;
  if (local < 0 || !isPlatformHostApi(type)) return paNoDevice;
  PortAudioApi& pa = portAudio();
  const PaHostApiIndex hostApi = pa.hostApiTypeIdToHostApiIndex(type);
  if (hostApi < 0) return paNoDevice;
  const PaDeviceIndex index = pa.hostApiDeviceIndexToDeviceIndex(hostApi, local);
  return index < 0 ? paNoDevice : index;
}

bool PortAudioDeviceProperties::availableNominalSampleRates(std::uint32_t deviceID,
                                                            std::vector<SampleRateRange>& ranges) {
  const PaDeviceIndex index = audioDeviceIDToIndex(deviceID);
  if (index == paNoDevice) return false;
  PaStreamParameters output{};
  output.device = index;
  output.channelCount = 2;
  output.sampleFormat = paFloat32 | paNonInterleaved;
  output.suggestedLatency = 0;
  std::vector<std::int32_t> supported;
  DSPInfo::listSupportedSampleRates(supported);
  bool any = false;
  for (std::int32_t rate : supported) {
    if (portAudio().isFormatSupported(nullptr, &output, rate) == paFormatIsSupported) {
      ranges.emplace_back(rate, rate);
      any = true;
    }
  }
  return any;
}

std::string alsaHardwareAddress(const std::string& portAudioName) {
  const std::size_t open = portAudioName.rfind("(hw:");
  if (open == std::string::npos) return {};
  const std::size_t close = portAudioName.find(')', open);
  if (close == std::string::npos) return {};
  const std::string address = portAudioName.substr(open + 1, close - open - 1);
  unsigned card = 0;
  unsigned device = 0;
  char end = 0;
  if (std::sscanf(address.c_str(), "hw:%u,%u%c", &card, &device, &end) != 2) return {};
  return address;
}

namespace {

// The period sizes the hardware takes. Opening fails when another program (or our own stream)
// holds the device: the caller falls back.
bool alsaPeriodSizeRange(const std::string& address, std::uint32_t& minimum,
                         std::uint32_t& maximum) {
  snd_pcm_t* pcm = nullptr;
  if (snd_pcm_open(&pcm, address.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) {
    return false;
  }
  snd_pcm_hw_params_t* params = nullptr;
  snd_pcm_hw_params_malloc(&params);
  snd_pcm_uframes_t lo = 0;
  snd_pcm_uframes_t hi = 0;
  int direction = 0;
  const bool known = params != nullptr && snd_pcm_hw_params_any(pcm, params) >= 0 &&
                     snd_pcm_hw_params_get_period_size_min(params, &lo, &direction) >= 0 &&
                     snd_pcm_hw_params_get_period_size_max(params, &hi, &direction) >= 0;
  if (params != nullptr) snd_pcm_hw_params_free(params);
  snd_pcm_close(pcm);
  if (!known || lo == 0 || hi < lo) return false;
  minimum = std::uint32_t(std::min<snd_pcm_uframes_t>(lo, UINT32_MAX));
  maximum = std::uint32_t(std::min<snd_pcm_uframes_t>(hi, UINT32_MAX));
  return true;
}

}  // namespace

bool PortAudioDeviceProperties::bufferFrameSizeRange(std::uint32_t deviceID,
                                                     std::uint32_t& minimum,
                                                     std::uint32_t& maximum) {
  const PaDeviceIndex index = audioDeviceIDToIndex(deviceID);
  if (index == paNoDevice) return false;
  const PaDeviceInfo* info = portAudio().deviceInfo(index);
  if ((deviceID >> 16) == std::uint32_t(paALSA) && info != nullptr && info->name != nullptr) {
    const std::string address = alsaHardwareAddress(info->name);
    if (!address.empty() && alsaPeriodSizeRange(address, minimum, maximum)) return true;
  }
  minimum = kMinimumBlock;
  maximum = kMaximumBlock;
  return true;
}

bool PortAudioDeviceProperties::latencyFrames(std::uint32_t deviceID, const PaStreamInfo& stream,
                                              std::uint32_t& frames) {
  if (audioDeviceIDToIndex(deviceID) == paNoDevice) return false;
  const double value = stream.outputLatency * stream.sampleRate;
  if (!(value >= 0) || value > 4294967295.0) return false;
  frames = std::uint32_t(std::lround(value));
  return true;
}

bool PortAudioDeviceProperties::safetyOffsetFrames(std::uint32_t deviceID,
                                                   std::uint32_t& frames) {
  if (audioDeviceIDToIndex(deviceID) == paNoDevice) return false;
  frames = 0;
  return true;
}

AudioDeviceProperties& audioDeviceProperties() {
  return g_installed != nullptr ? *g_installed : g_portAudioProperties;
}

void setAudioDeviceProperties(AudioDeviceProperties* source) { g_installed = source; }

}  // namespace vantor
