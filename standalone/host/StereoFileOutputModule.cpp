#include "standalone/host/StereoFileOutputModule.h"

#include <algorithm>
#include <cmath>

#include "VNL/source/FileUtils.h"
#include "VNL/source/LogLine.h"
#include "standalone/host/AudioFile.h"
#include "standalone/host/DSPInfo.h"
#include "standalone/host/MutexHold.h"
#include "standalone/host/StreamedAudioFileWrite.h"
#include "standalone/host/Streamer.h"

namespace vantor {

namespace {

constexpr int kChannels = 2;

float clampSample(float sample) { return std::min(1.0f, std::max(-1.0f, sample)); }

// Squares in single precision, summed in double precision; NaN for no frames.
double rms(const float* samples, unsigned frames) {
  double sum = 0.0;
  for (unsigned i = 0; i < frames; ++i) sum += static_cast<double>(samples[i] * samples[i]);
  return std::sqrt(sum / static_cast<double>(frames));
}

}  // namespace

StereoFileOutputModule::StereoFileOutputModule() { m_numInputs = kChannels; }

StereoFileOutputModule::~StereoFileOutputModule() {
  StreamedAudioFileWrite* file = m_file.exchange(nullptr);
  if (file != nullptr && m_streamer != nullptr) m_streamer->closeFile(file, true);
  defaultFree(m_interleaved);
}

void StereoFileOutputModule::allocateBuffer() {
  defaultFree(m_interleaved);
  m_bufferFrames = 0;
  const std::uint32_t frames = m_dspInfo != nullptr ? m_dspInfo->blockSize : 0;
  m_interleaved = static_cast<float*>(defaultAlloc(sizeof(float) * kChannels * frames));
  if (m_interleaved != nullptr) m_bufferFrames = frames;
}

void StereoFileOutputModule::initialize() {
  MutexHold hold(m_mutex);
  allocateBuffer();
  updateSilentBlockLimit();
}

void StereoFileOutputModule::updateSilentBlockLimit() {
  if (m_dspInfo == nullptr) return;
  // At least one block: a block longer than a second must still end the recording.
  const std::uint32_t blockSize = std::max<std::uint32_t>(1, m_dspInfo->blockSize);
  m_silentBlockLimit =
      std::max<std::int32_t>(1, static_cast<std::int32_t>(m_dspInfo->sampleRateInt / blockSize));
}

void StereoFileOutputModule::setDSPInfo(const DSPInfo* dspInfo) {
  MutexHold hold(m_mutex);
  Module::setDSPInfo(dspInfo);
  if (m_interleaved != nullptr) allocateBuffer();
  updateSilentBlockLimit();
}

bool StereoFileOutputModule::setRecordingFile(const std::string& path, int format, int extensible,
                                              int bits, std::string* reason) {
  if (isRecording() || hasFile() || m_dspInfo == nullptr) return false;
  Streamer* streamer = Streamer::instance();
  if (streamer == nullptr) return false;
  StreamedAudioFileWrite* file = nullptr;
  try {
    file = streamer->openWrite(path, format, extensible,
                               static_cast<int>(m_dspInfo->sampleRateInt), bits, kChannels, false);
  } catch (const AudioFileException& e) {
    if (reason != nullptr) *reason = e.reason();
    return false;
  }
  if (file == nullptr) return false;
  MutexHold hold(m_mutex);
  m_streamer = streamer;
  m_file.store(file, std::memory_order_release);
  m_rmsEngaged.store(false, std::memory_order_release);
  return true;
}

bool StereoFileOutputModule::startRecording() {
  MutexHold hold(m_mutex);
  if (isRecording() || !hasFile()) return false;
  m_silentBlocks.store(0, std::memory_order_relaxed);
  m_rmsEngaged.store(false, std::memory_order_release);
  m_recording.store(true, std::memory_order_release);
  return true;
}

bool StereoFileOutputModule::stopRecording() {
  MutexHold hold(m_mutex);
  if (!isRecording() || !hasFile()) return false;
  stopHeld();
  return true;
}

void StereoFileOutputModule::stopHeld() {
  m_recording.store(false, std::memory_order_release);
  StreamedAudioFileWrite* file = m_file.exchange(nullptr, std::memory_order_acq_rel);
  const bool offline = m_dspInfo != nullptr && m_dspInfo->offline;
  if (file != nullptr) m_streamer->closeFile(file, offline);
  m_rmsEngaged.store(false, std::memory_order_release);
  m_silentBlocks.store(0, std::memory_order_relaxed);
}

void StereoFileOutputModule::engageRMSCalculation(bool engaged) {
  m_rmsEngaged.store(engaged, std::memory_order_release);
  m_silentBlocks.store(0, std::memory_order_relaxed);
}

void StereoFileOutputModule::processStereo(float** inputs, float** outputs, unsigned frames,
                                           bool add) {
  if (!isRecording() || !m_mutex.tryLock()) return;
  StreamedAudioFileWrite* file = m_file.load(std::memory_order_acquire);
  if (!isRecording() || file == nullptr || m_dspInfo == nullptr || m_interleaved == nullptr) {
    m_mutex.unlock();
    return;
  }
  const bool offline = m_dspInfo->offline;
  if (offline && isRMSEngaged()) {
    // NaN (no frames) is not "at or below": it counts as loud.
    const bool silent = rms(inputs[0], frames) <= m_rmsThreshold &&
                        rms(inputs[1], frames) <= m_rmsThreshold;
    const std::int32_t count =
        silent ? m_silentBlocks.load(std::memory_order_relaxed) + 1 : 0;
    m_silentBlocks.store(count, std::memory_order_relaxed);
    if (count >= m_silentBlockLimit) {
      stopHeld();
      m_mutex.unlock();
      return;
    }
  }
  for (unsigned done = 0; done < frames;) {
    const unsigned count = std::min<unsigned>(frames - done, m_bufferFrames);
    float* out = m_interleaved;
    for (unsigned i = done; i < done + count; ++i) {
      *out++ = clampSample(inputs[0][i]);
      *out++ = clampSample(inputs[1][i]);
    }
    file->writeSamples(m_interleaved, static_cast<std::int64_t>(kChannels) * count, offline);
    done += count;
  }
  m_mutex.unlock();
}

}  // namespace vantor
