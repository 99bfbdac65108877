#include "effects/reverb/RoomConvolverPost.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "Sampler/sdk/calvatero/newconv/Common.h"

namespace acme {

using namespace vantor::KELOPluginSDK;
using calvatero::common::FreeAligned;
using calvatero::common::MallocAligned;
using calvatero::resample::FIRResampler20khz;

namespace {

constexpr float kEqualPower = 0.70710677f;

// Whole groups of four floats, at least one group; null when the heap is short.
float* allocateFrames(std::uint64_t frames) {
  const std::uint64_t rounded = frames == 0 ? 4 : (frames + 3) / 4 * 4;
  return static_cast<float*>(MallocAligned(rounded * sizeof(float), 64, 0));
}

}  // namespace

RoomConvolverPost::RoomConvolverPost(Host* host)
    : ConvolverPost(host), defaults(std::make_unique<HDMIDIEvents>()) {
  buildDefaults();
}

RoomConvolverPost::~RoomConvolverPost() {
  DeleteConvHelper(pendingHelper);
  DeleteConvHelper(activeHelper);
  delete resampler;
  freeBuffers();
}

void RoomConvolverPost::DeleteConvHelper(ConvolverHelper* helper) {
  if (helper != nullptr) helper->die();
}

void RoomConvolverPost::freeBuffers() {
  for (float** buffer : {&reducedLeft, &reducedRight, &tempLeft, &tempRight, &upLeft, &upRight}) {
    FreeAligned(*buffer);
    *buffer = nullptr;
  }
}

std::int32_t RoomConvolverPost::initEx(const char* initText, const char*) {
  const std::vector<std::string> fields = readInitText(initText);
  std::atomic<float>* room[] = {&preDelay, &size, &decay};
  float value = 0;
  for (std::size_t f = 3; f < fields.size() && f < 6; ++f)
    if (finiteField(fields[f], value)) room[f - 3]->store(value, std::memory_order_relaxed);
  buildDefaults();
  return 1;
}

void RoomConvolverPost::buildDefaults() {
  *defaults = HDMIDIEvents{};
  defaults->numEvents = 6;
  const float values[] = {getDryLevel(), getWetLevel(), getLevel(),
                          getPreDelay(), getSize(),     getDecay()};
  for (int e = 0; e < 6; ++e) defaults->events[e] = defaultEvent(e, values[e]);
}

void RoomConvolverPost::getDefaults(HDMIDIEvents* list) {
  if (list != nullptr) *list = *defaults;
}

void RoomConvolverPost::setIOConfig(ChannelInfo* info, std::int32_t* answer) {
  if (answer == nullptr) return;
  if (info == nullptr || info->numInputs != 2 || info->numOutputs != 2) {
    *answer = -1;
    return;
  }
  numAudioIns = numAudioOuts = 2;
  *answer = 1;
}

void RoomConvolverPost::ProcessMIDI(const HDMIDIEvents* events) {
  std::atomic<float>* room[] = {&preDelay, &size, &decay};
  for (std::int64_t e = 0; e < events->numEvents && e < MAX_MIDIEVENTS_PER_CALL_SDK; ++e) {
    const HDMIDIEvent& event = events->events[e];
    if (applyMixController(event)) continue;
    if (event.status == kController && event.data1 >= 3 && event.data1 <= 5 &&
        std::isfinite(event.data2))
      room[event.data1 - 3]->store(event.data2, std::memory_order_relaxed);
  }
}

std::int64_t RoomConvolverPost::GetPreDelaySamples() const {
  const float samples = getPreDelay() * 0.5f * static_cast<float>(baseRate);
  std::int64_t whole = 0;
  if (samples >= 0x1p62f)
    whole = std::int64_t{1} << 62;
  else if (samples <= -0x1p62f)
    whole = -(std::int64_t{1} << 62);
  else
    whole = static_cast<std::int64_t>(samples);
  const std::uint64_t filterDelay = (upFilterTaps / 2 + downFilterTaps / 2) / factor;
  return whole - static_cast<std::int64_t>(filterDelay);
}

bool RoomConvolverPost::initResampler() {
  if (factor < 2) return true;
  try {
    FIRResampler20khz* fresh = calvatero::resample::makeFIRResampler20khz(
        engineRate, maxBlockSize, minimumPhase, filterDownsampling);
    delete resampler;
    resampler = fresh;
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void RoomConvolverPost::dspInfoChanged(const DSPInfo& info) {
  engineRate = static_cast<std::uint64_t>(info.sampleRateInt > 0 ? info.sampleRateInt : 0);
  maxBlockSize = static_cast<std::uint64_t>(info.maxBlockSize > 0 ? info.maxBlockSize : 1);
  delete resampler;
  resampler = nullptr;
  factor = 1;
  upFilterTaps = downFilterTaps = 0;
  if (resamplingEnabled) {
    std::size_t resampling = 0, f = 1, down = 0, up = 0;
    FIRResampler20khz::GetResamplerInfo(&resampling, &f, &down, &up, engineRate, minimumPhase,
                                        filterDownsampling);
    if (resampling != 0) {
      factor = f;
      downFilterTaps = down;
      upFilterTaps = up;
      if (!initResampler()) {
        factor = 1;
        upFilterTaps = downFilterTaps = 0;
      }
    }
  }
  baseRate = engineRate / factor;
  downPhase = heldFrames = 0;
  freeBuffers();
  const std::uint64_t reduced = workerBlockFrames();
  reducedLeft = allocateFrames(reduced);
  reducedRight = allocateFrames(reduced);
  tempLeft = allocateFrames(maxBlockSize);
  tempRight = allocateFrames(maxBlockSize);
  upLeft = allocateFrames(maxBlockSize);
  upRight = allocateFrames(maxBlockSize);
  if (!reducedLeft || !reducedRight || !tempLeft || !tempRight || !upLeft || !upRight) {
    freeBuffers();
    throw std::bad_alloc();
  }
}

bool RoomConvolverPost::initConvEngineFromHaf(const HostAudioFile* file) {
  DeleteConvHelper(pendingHelper);
  pendingHelper = nullptr;
  pendingChannels = 0;
  if (file == nullptr || file->numChannels < 1 || file->numFrames < 0) return false;
  // Four channels carry each input to each output; one serves both sides; any other count
  // is used as its first two.
  const std::uint64_t used = file->numChannels == 4 ? 4 : file->numChannels == 1 ? 1 : 2;
  for (std::uint64_t c = 0; c < used; ++c)
    if (file->channels[c] == nullptr) return false;
  try {
    pendingHelper = new ConvolverHelper(workerBlockFrames(), file->channels, used,
                                        static_cast<std::uint64_t>(file->numFrames),
                                        GetPreDelaySamples(), getSize(), getDecay(),
                                        file->sampleRate);
  } catch (const std::exception&) {
    pendingHelper = nullptr;
    return false;
  }
  pendingChannels = used;
  return true;
}

void RoomConvolverPost::assignConvEngine() {
  activeChannels = pendingChannels;
  if (resampler != nullptr) resampler->Reset();
  downPhase = heldFrames = 0;
  ConvolverHelper* retired = activeHelper;
  activeHelper = pendingHelper;
  pendingHelper = nullptr;
  pendingChannels = 0;
  DeleteConvHelper(retired);
}

bool RoomConvolverPost::Convolve(const float* const* in, std::int32_t frameCount, float** out) {
  if (activeHelper == nullptr) return false;
  const auto frames = static_cast<std::uint64_t>(frameCount);
  const std::int64_t d = GetPreDelaySamples();
  const float s = getSize(), k = getDecay();
  const bool fourChannels = activeChannels == 4;
  if (resampler == nullptr) {
    if (fourChannels) {
      float* outs[4] = {out[0], out[1], tempLeft, tempRight};
      const float* ins[4] = {in[0], in[0], in[1], in[1]};
      activeHelper->process(outs, ins, 4, frames, d, s, k);
      for (std::uint64_t j = 0; j < frames; ++j) {
        out[0][j] = (out[0][j] + tempLeft[j]) * kEqualPower;
        out[1][j] = (out[1][j] + tempRight[j]) * kEqualPower;
      }
    } else {
      float* outs[2] = {out[0], out[1]};
      const float* ins[2] = {in[0], in[1]};
      activeHelper->process(outs, ins, 2, frames, d, s, k);
    }
    return true;
  }

  std::size_t m = 0;
  downPhase = resampler->DownsampleFrom(reducedLeft, reducedRight, &m, in[0], in[1], frames,
                                        downPhase);
  if (fourChannels) {
    float* outs[4] = {out[0], out[1], tempLeft, tempRight};
    const float* ins[4] = {reducedLeft, reducedLeft, reducedRight, reducedRight};
    activeHelper->process(outs, ins, 4, m, d, s, k);
    for (std::size_t j = 0; j < m; ++j) {
      tempLeft[j] = (tempLeft[j] + out[0][j]) * kEqualPower;
      tempRight[j] = (tempRight[j] + out[1][j]) * kEqualPower;
    }
  } else {
    float* outs[2] = {tempLeft, tempRight};
    const float* ins[2] = {reducedLeft, reducedRight};
    activeHelper->process(outs, ins, 2, m, d, s, k);
  }
  std::size_t produced = 0;
  resampler->Upsample(upLeft, upRight, &produced, tempLeft, tempRight, m);
  // The up-sampled stream runs 0 to factor - 1 frames ahead of the blocks: frames held from
  // the last block come first, those beyond this block are held for the next.
  const std::uint64_t available = heldFrames + produced;
  auto left = [&](std::uint64_t i) { return i < heldFrames ? heldLeft[i] : upLeft[i - heldFrames]; };
  auto right = [&](std::uint64_t i) { return i < heldFrames ? heldRight[i] : upRight[i - heldFrames]; };
  float nextLeft[4], nextRight[4];
  std::uint64_t next = 0;
  for (std::uint64_t i = frames; i < available && next < 4; ++i, ++next) {
    nextLeft[next] = left(i);
    nextRight[next] = right(i);
  }
  for (std::uint64_t j = 0; j < frames; ++j) {
    out[0][j] = j < available ? left(j) : 0.0f;
    out[1][j] = j < available ? right(j) : 0.0f;
  }
  for (std::uint64_t i = 0; i < next; ++i) {
    heldLeft[i] = nextLeft[i];
    heldRight[i] = nextRight[i];
  }
  heldFrames = next;
  return true;
}

void RoomConvolverPost::Reset() {
  if (activeHelper != nullptr) activeHelper->reset();
  if (resampler != nullptr) resampler->Reset();
  downPhase = heldFrames = 0;
}

std::uint64_t RoomConvolverPost::TailFrames() const {
  if (activeHelper == nullptr) return 0;
  // The filters ring for their taps at the engine's rate; a frame of the grid either side.
  return activeHelper->longestResponseFrames() * factor + upFilterTaps + downFilterTaps +
         2 * factor;
}

void RoomConvolverPost::EnterRest() {
  if (activeHelper != nullptr) activeHelper->reset();
  if (resampler != nullptr) resampler->Reset();
  std::fill(std::begin(heldLeft), std::end(heldLeft), 0.0f);
  std::fill(std::begin(heldRight), std::end(heldRight), 0.0f);
}

void RoomConvolverPost::Rest(std::int32_t frames) {
  if (activeHelper == nullptr) return;
  float* outs[4] = {tempLeft, tempRight, tempLeft, tempRight};
  const float* ins[4] = {tempLeft, tempRight, tempLeft, tempRight};
  activeHelper->process(outs, ins, activeChannels == 4 ? 4 : 2, 0, GetPreDelaySamples(),
                        getSize(), getDecay());
  // A block of F frames at phase p ends at phase (p - F) mod factor, and the up-sampled
  // frames held beyond a block always equal the phase.
  const auto skipped = static_cast<std::uint64_t>(frames) % factor;
  downPhase = (downPhase + factor - skipped) % factor;
  heldFrames = downPhase;
}

}  // namespace acme
