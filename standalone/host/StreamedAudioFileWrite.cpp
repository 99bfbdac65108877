#include "standalone/host/StreamedAudioFileWrite.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "standalone/host/IORequest.h"
#include "standalone/host/Sndfile.h"
#include "standalone/host/Streamer.h"

namespace vantor {

StreamedAudioFileWrite::StreamedAudioFileWrite(Streamer& streamer, const std::string& path,
                                               int format, int extensible, int sampleRate,
                                               int bits, int channels, int bufferTime,
                                               bool append)
    : AudioFile(path, format, extensible, sampleRate, bits, channels, bufferTime, append),
      m_streamer(streamer) {
  currentRequest = IORequest::getWriteRequest(this, bufferSamples);
  if (append) library->sf_seek(handle, 0, SEEK_END);
}

StreamedAudioFileWrite::~StreamedAudioFileWrite() {
  closeHandle();
  delete currentRequest;
}

std::int64_t StreamedAudioFileWrite::writeSamples(const float* samples, std::int64_t count,
                                                  bool direct) {
  if (samples == nullptr || count <= 0) return 0;
  if (direct) {
    if (used > 0 || m_queuedSinceDirect.load(std::memory_order_relaxed)) {
      // A live recording that goes on offline: what the disk thread still holds comes first.
      flush();
      m_streamer.writePending(this);
      m_queuedSinceDirect.store(false, std::memory_order_relaxed);
    }
    return library->sf_write_float(handle, samples, count);
  }

  if (bufferSamples <= 0) return 0;
  std::int64_t taken = 0;
  while (taken < count) {
    if (currentRequest == nullptr) {
      currentRequest = IORequest::getWriteRequest(this, bufferSamples);
      used = 0;
      if (currentRequest == nullptr) break;  // closing: nothing more goes in
    }
    const std::int64_t left = count - taken;
    if (used > 0 && used + left > bufferSamples) {
      handOver();
      continue;
    }
    const std::int64_t n = std::min(left, bufferSamples - used);
    std::memcpy(currentRequest->getData() + used * sampleSize, samples + taken,
                static_cast<std::size_t>(n * sampleSize));
    used += n;
    taken += n;
  }
  return taken;
}

void StreamedAudioFileWrite::handOver() {
  currentRequest->setDataSize(used);
  m_streamer.addToRequestQueue(currentRequest);
  m_queuedSinceDirect.store(true, std::memory_order_relaxed);
  currentRequest = IORequest::getWriteRequest(this, bufferSamples);
  used = 0;
}

void StreamedAudioFileWrite::flush() {
  if (used == 0 || currentRequest == nullptr) return;
  currentRequest->setDataSize(used);
  m_streamer.addToRequestQueue(currentRequest);
  m_queuedSinceDirect.store(true, std::memory_order_relaxed);
  currentRequest = nullptr;
  used = 0;
}

void StreamedAudioFileWrite::applyIORequest(IORequest* request) {
  library->sf_write_float(handle, reinterpret_cast<const float*>(request->getData()),
                          request->getDataSize());
}

}  // namespace vantor
