// An audio file open for writing through libsndfile (bound by `Sndfile`): WAV, extensible WAV
// or AIFF of 16-bit, 24-bit or 32-bit float samples. The samples handed to it are always
// 32-bit floats in -1..1; the library converts them. The header is rewritten after every
// write, so the file on disk is complete at any moment.
//
// The file-output module opens one through the disk streamer (`Streamer::openWrite`), whose
// subclass `StreamedAudioFileWrite` decides on which thread the samples are written.
#pragma once

#include <sndfile.h>

#include <atomic>
#include <cstdint>
#include <exception>
#include <string>

#include "VNL/source/Threads.h"

namespace vantor {

class IORequest;
class Sndfile;

/// Why a file could not be opened; `what()` is the message shown to the user.
class AudioFileException : public std::exception {
 public:
  explicit AudioFileException(std::string message, std::string reason = {})
      : m_message(std::move(message)), m_reason(std::move(reason)) {}
  ~AudioFileException() override = default;
  const char* what() const noexcept override { return m_message.c_str(); }
  /// Why the file was refused, as the audio file library says it; empty when unknown.
  const std::string& reason() const noexcept { return m_reason; }

 private:
  std::string m_message;
  std::string m_reason;
};

/// The open file. Not copyable; lives from its constructor to its deletion by the streamer.
class AudioFile {
 public:
  /// Opens `path`: `format` 0 WAV (`extensible` 1: WAVE_FORMAT_EXTENSIBLE), 1 AIFF, anything
  /// else WAV with an error line; `bits` 32 float, 24 integer, anything else 16 integer;
  /// `append` opens an existing file for reading and writing. `bufferTime` (seconds) sizes the
  /// streamed writer's buffers. Throws AudioFileException("Can not open file for writing : "
  /// + path) when the library is not bound or refuses the file.
  AudioFile(const std::string& path, int format, int extensible, int sampleRate, int bits,
            int channels, int bufferTime, bool append);
  virtual ~AudioFile();
  AudioFile(const AudioFile&) = delete;
  AudioFile& operator=(const AudioFile&) = delete;

  /// Writes the samples of a write request (disk thread, or the closing thread).
  virtual void applyIORequest(IORequest* request) = 0;
  /// Last work before the file is deleted, under its mutex.
  virtual void doClose() = 0;
  /// Hands what is buffered but not yet queued to the streamer.
  virtual void flush() = 0;

  /// Bytes of one sample handed to the library: 4 (32-bit float).
  std::int64_t getIOSampleSize() const { return sampleSize; }
  /// Samples (not frames) in one buffer: buffer time x sample rate x channels.
  std::int64_t getBufferSamples() const { return bufferSamples; }
  const std::string& getPath() const { return path; }
  const SF_INFO& getInfo() const { return info; }
  MutexOLD& getMutex() { return mutex; }

  /// Set once the close has been asked for; the file gets no further buffer. Any thread.
  bool isClosing() const { return closing.load(std::memory_order_acquire); }
  void setClosing() { closing.store(true, std::memory_order_release); }

 protected:
  /// Closes the library handle once; the subclass's destructor calls it.
  void closeHandle();

  Sndfile* library = nullptr;  // the process's binding, kept for the threads that write
  SNDFILE* handle = nullptr;
  SF_INFO info{};
  MutexOLD mutex;
  std::int64_t sampleSize = sizeof(float);
  std::string path;
  std::int64_t bufferSamples = 0;
  std::atomic<bool> closing{false};
};

}  // namespace vantor
