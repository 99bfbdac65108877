#include "effects/reverb/BasicConvolverPost.h"

#include <string>
#include <vector>

#include "Sampler/sdk/calvatero/convolution/ConvolutionInterface.h"

namespace acme {

using namespace vantor::KELOPluginSDK;

BasicConvolverPost::BasicConvolverPost(Host* host)
    : ConvolverPost(host), defaults(std::make_unique<HDMIDIEvents>()) {
  buildDefaults();
}

BasicConvolverPost::~BasicConvolverPost() {
  for (int p = 0; p < kMaxPairs; ++p) {
    zkcvEndConvolver(activeConvolvers[p]);
    zkcvEndConvolver(pendingConvolvers[p]);
  }
}

std::int32_t BasicConvolverPost::initEx(const char* initText, const char*) {
  readInitText(initText);
  buildDefaults();
  return 1;
}

void BasicConvolverPost::buildDefaults() {
  *defaults = HDMIDIEvents{};
  defaults->numEvents = 3;
  defaults->events[0] = defaultEvent(0, getDryLevel());
  defaults->events[1] = defaultEvent(1, getWetLevel());
  defaults->events[2] = defaultEvent(2, getLevel());
}

void BasicConvolverPost::getDefaults(HDMIDIEvents* list) {
  if (list != nullptr) *list = *defaults;
}

void BasicConvolverPost::setIOConfig(ChannelInfo* info, std::int32_t* answer) {
  if (answer == nullptr) return;
  if (info == nullptr || info->numInputs != info->numOutputs || info->numInputs % 2 != 0 ||
      info->numInputs < 0 || info->numInputs > kMaxChannels) {
    *answer = -1;
    return;
  }
  numAudioIns = numAudioOuts = static_cast<std::uint32_t>(info->numInputs);
  *answer = 1;
}

void BasicConvolverPost::dspInfoChanged(const DSPInfo& info) {
  irSampleRate = static_cast<std::uint64_t>(info.sampleRateInt > 0 ? info.sampleRateInt : 0);
  maxBlock = static_cast<std::uint64_t>(info.maxBlockSize > 0 ? info.maxBlockSize : 0);
}

bool BasicConvolverPost::initConvEngineFromHaf(const HostAudioFile* file) {
  for (void*& handle : pendingConvolvers) {
    zkcvEndConvolver(handle);
    handle = nullptr;
  }
  pendingFrames = 0;
  if (file == nullptr || file->numChannels < 1 || file->numFrames < 0) return false;
  pendingFrames = static_cast<std::uint64_t>(file->numFrames);
  const float* left = file->channels[0];
  const float* right =
      file->numChannels >= 2 && file->channels[1] != nullptr ? file->channels[1] : left;
  const std::uint32_t pairs = numAudioIns / 2;
  for (std::uint32_t p = 0; p < pairs && p < kMaxPairs; ++p) {
    if (zkcvInitConvolverStereo(left, right, static_cast<std::size_t>(file->numFrames), maxBlock,
                                &pendingConvolvers[p]) != ZKCV_OK)
      return false;
  }
  return true;
}

void BasicConvolverPost::assignConvEngine() {
  for (int p = 0; p < kMaxPairs; ++p) {
    zkcvEndConvolver(activeConvolvers[p]);
    activeConvolvers[p] = pendingConvolvers[p];
    pendingConvolvers[p] = nullptr;
  }
  activeFrames = pendingFrames;
  pendingFrames = 0;
}

void BasicConvolverPost::ProcessMIDI(const HDMIDIEvents* events) {
  for (std::int64_t e = 0; e < events->numEvents && e < MAX_MIDIEVENTS_PER_CALL_SDK; ++e)
    applyMixController(events->events[e]);
}

bool BasicConvolverPost::Convolve(const float* const* in, std::int32_t frames, float** out) {
  if (numAudioIns < 2) return true;
  const std::uint32_t pairs = numAudioIns / 2;
  for (std::uint32_t p = 0; p < pairs && p < kMaxPairs; ++p) {
    if (activeConvolvers[p] == nullptr) return false;
    zkcvCalculateCurrentOutputStereo(out[2 * p], out[2 * p + 1], in[2 * p], in[2 * p + 1],
                                     static_cast<std::size_t>(frames), activeConvolvers[p]);
  }
  return true;
}

void BasicConvolverPost::Reset() {
  const std::uint32_t pairs = numAudioIns / 2;
  for (std::uint32_t p = 0; p < pairs && p < kMaxPairs; ++p) zkcvResetConvolver(activeConvolvers[p]);
}

int BasicConvolverPost::activePairs() const {
  int count = 0;
  for (void* handle : activeConvolvers) count += handle != nullptr;
  return count;
}

}  // namespace acme
