#include "effects/reverb/ConvolverHelper.h"

#include <cerrno>
#include <new>

#include "Sampler/sdk/calvatero/convolution/ConvolutionInterface.h"
#include "Sampler/sdk/calvatero/newconv/Common.h"

namespace acme {

using calvatero::common::FreeAligned;
using calvatero::common::MallocAligned;
using vantor::KELOPluginSDK::sleep;

ConvolverHelper::ConvolverHelper(std::uint64_t frames, const float* const* channels,
                                 std::uint64_t numChannels, std::uint64_t numFrames,
                                 std::int64_t preDelaySamples, float size, float decay,
                                 double sampleRate)
    : ThreadDetached(false),
      response(std::make_unique<ImpulseResponse>(channels, numChannels, numFrames, sampleRate)),
      blockFrames(frames),
      curPreDelay(preDelaySamples),
      curSize(size),
      curDecay(decay) {
  count = (numChannels + 1) / 2;
  if (response->Modify(curPreDelay, curSize, curDecay) == 2) throw std::bad_alloc();
  scratch = static_cast<float*>(MallocAligned((blockFrames + 3) / 4 * 4 * sizeof(float), 64, 0));
  if (scratch == nullptr) throw std::bad_alloc();
  int code = ZKCV_OK;
  if (count == 0 || count > kMaxConvolvers || !buildSet(activeSet, code)) {
    releaseAll();
    if (code == ZKCV_OUT_OF_MEMORY) throw std::bad_alloc();
    throw ConvolverHelper_init_error();
  }
  wakeReady = sem_init(&wake, 0, 0) == 0;
  if (!wakeReady || !run()) {
    releaseAll();
    throw ConvolverHelper_init_error();
  }
}

ConvolverHelper::~ConvolverHelper() {
  releaseAll();
  // Last: die's caller may go on (and the bundle be unloaded) once this is set.
  if (dieFlag != nullptr) dieFlag->store(1, std::memory_order_release);
}

void ConvolverHelper::releaseAll() {
  FreeAligned(scratch);
  scratch = nullptr;
  endSet(activeSet);
  endSet(newSet);
  endSet(oldSet);
  response.reset();
  if (wakeReady) sem_destroy(&wake);
  wakeReady = false;
}

void ConvolverHelper::endSet(void** set) {
  for (int c = 0; c < kMaxConvolvers; ++c) {
    zkcvEndConvolver(set[c]);
    set[c] = nullptr;
  }
}

bool ConvolverHelper::buildSet(void** set, int& code) {
  const std::uint64_t channels = response->getNumChannels();
  for (std::uint64_t c = 0; c < count; ++c) {
    const float* left = response->getWorking(2 * c);
    const float* right = 2 * c + 1 < channels ? response->getWorking(2 * c + 1) : left;
    code = zkcvInitConvolverStereo(left, right, response->getCurFrames(), blockFrames, &set[c]);
    if (code != ZKCV_OK) {
      endSet(set);
      return false;
    }
  }
  const std::uint64_t frames = response->getCurFrames();
  if (frames > longestFrames.load(std::memory_order_relaxed))
    longestFrames.store(frames, std::memory_order_release);
  return true;
}

void ConvolverHelper::process(float** out, const float* const* in, std::uint64_t numChannels,
                              std::uint64_t frames, std::int64_t preDelaySamples, float size,
                              float decay) {
  const bool changed = preDelaySamples != curPreDelay || size != curSize || decay != curDecay;
  if ((newReady.load(std::memory_order_acquire) || changed) && mutex.tryLock()) {
    bool handedOver = false;
    if (newReady.load(std::memory_order_relaxed)) {
      for (std::uint64_t c = 0; c < count; ++c) {
        oldSet[c] = activeSet[c];
        activeSet[c] = newSet[c];
        newSet[c] = nullptr;
      }
      newReady.store(false, std::memory_order_relaxed);
      freeOld = true;
      handedOver = true;
    }
    if (changed) {
      curPreDelay = preDelaySamples;
      curSize = size;
      curDecay = decay;
      rebuildRequested = true;
      handedOver = true;
    }
    if (handedOver) sem_post(&wake);
    mutex.unlock();
  }
  const std::uint64_t used = (numChannels + 1) / 2 < count ? (numChannels + 1) / 2 : count;
  for (std::uint64_t c = 0; c < used; ++c) {
    if (2 * c + 1 == numChannels)
      zkcvCalculateCurrentOutputStereo(out[2 * c], scratch, in[2 * c], in[2 * c], frames,
                                       activeSet[c]);
    else
      zkcvCalculateCurrentOutputStereo(out[2 * c], out[2 * c + 1], in[2 * c], in[2 * c + 1],
                                       frames, activeSet[c]);
  }
}

void ConvolverHelper::reset() {
  for (std::uint64_t c = 0; c < count; ++c) zkcvResetConvolver(activeSet[c]);
}

void ConvolverHelper::die() {
  std::atomic<int> flag{0};
  mutex.lock();
  dieFlag = &flag;
  dieRequested.store(true, std::memory_order_relaxed);
  // Posted under the mutex: once it is released the worker may delete the object.
  sem_post(&wake);
  mutex.unlock();
  while (flag.load(std::memory_order_acquire) == 0) sleep(10);
}

int ConvolverHelper::entry() {
  mutex.lock();
  while (!dieRequested.load(std::memory_order_relaxed)) {
    mutex.unlock();
    while (sem_wait(&wake) != 0 && errno == EINTR) {
    }
    mutex.lock();
    if (freeOld) {
      endSet(oldSet);
      freeOld = false;
    }
    if (!rebuildRequested) continue;
    // A refused reshape (1 or 2) leaves the working channels as they were; rebuild from them.
    response->Modify(curPreDelay, curSize, curDecay);
    rebuildRequested = false;
    int code = ZKCV_OK;
    if (buildSet(newSet, code)) newReady.store(true, std::memory_order_release);
  }
  mutex.unlock();
  return 0;
}

}  // namespace acme
