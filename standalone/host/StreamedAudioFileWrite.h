// The recording file of the standalone: an AudioFile whose samples reach the disk through the
// disk streamer. A live recording copies each block into a 2-second buffer and hands full
// buffers to the disk thread; an offline render writes directly on its own thread.
//
// Threads: one render thread at a time calls `writeSamples` (the audio callback while live,
// the offline render thread while offline); the streamer owns the file once its close has been
// asked for and deletes it.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "standalone/host/AudioFile.h"

namespace vantor {

class IORequest;
class Streamer;

class StreamedAudioFileWrite : public AudioFile {
 public:
  /// Opens the file (AudioFile's arguments; throws AudioFileException) and takes its first
  /// buffer. Appending continues after the frames already in the file.
  StreamedAudioFileWrite(Streamer& streamer, const std::string& path, int format, int extensible,
                         int sampleRate, int bits, int channels, int bufferTime, bool append);
  /// Closes the library handle and frees the buffer being filled.
  ~StreamedAudioFileWrite() override;

  /// `count` interleaved samples. With `direct` they are written at once on the calling thread
  /// (anything still buffered or queued for this file is written first, so the file keeps the
  /// order it was given). Otherwise they are copied into the current buffer; a buffer that has
  /// no room left for the block is handed to the disk thread first and the next is taken
  /// from the pool, and a block larger than a whole buffer fills as many as it needs. Nothing
  /// is taken once the file is closing. Answers the samples taken (or written, when direct).
  /// Real-time safe except at a buffer hand-over, which takes the streamer's incoming-queue
  /// mutex and the write pool's mutex once per buffer.
  std::int64_t writeSamples(const float* samples, std::int64_t count, bool direct);

  void applyIORequest(IORequest* request) override;
  void doClose() override {}
  /// Queues the partly filled buffer, if it holds anything, and keeps no current buffer.
  void flush() override;

  /// Samples already copied into the current buffer.
  std::int64_t getUsed() const { return used; }

 private:
  /// Queues the current buffer and takes the next one.
  void handOver();

  Streamer& m_streamer;
  IORequest* currentRequest = nullptr;  // owned
  std::int64_t used = 0;
  std::atomic<bool> m_queuedSinceDirect{false};  // buffers may wait on the disk thread
};

}  // namespace vantor
