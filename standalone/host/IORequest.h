// One piece of work for the disk thread: write a buffer of samples to a file, or close the
// file. Requests and their buffers are recycled through two process-wide pools (at most 21
// spare requests each), so a long recording reuses the same few buffers.
//
// Threads: the render thread takes write requests (`getWriteRequest`) once per full buffer;
// the main thread fills the pools when a recording opens (`fillPools`) so that the render
// finds a request of the right size there and does not allocate; the disk thread puts
// handled requests back (`release`). Each pool has its own mutex ("IOReq.write",
// "IOReq.close"), held only around the pool's own queue.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantor {

class AudioFile;

enum class IOOperation : int { Write = 0, Close = 1 };

class IORequest {
 public:
  /// Spare requests a pool keeps; a handled request beyond that is deleted.
  static constexpr std::size_t kPoolLimit = 21;

  IORequest() = default;
  /// Frees the buffer.
  virtual ~IORequest();
  IORequest(const IORequest&) = delete;
  IORequest& operator=(const IORequest&) = delete;

  virtual IOOperation getIOOperation() const { return ioOperation; }
  /// The file the request is for; not owned.
  virtual AudioFile* getAudioFile() const { return audioFile; }

  /// A write request for `samples` samples of `file`: the oldest spare one, or a new one, its
  /// buffer grown (never shrunk) to fit. Null when the file is closing or memory runs out.
  /// Allocates only when the pool is empty or its request is too small.
  static IORequest* getWriteRequest(AudioFile* file, std::int64_t samples);
  /// Marks `file` closing and answers a request to close it (spare or new).
  static IORequest* createCloseRequest(AudioFile* file);
  /// Main thread, when a recording opens: the write pool afterwards holds at least
  /// `writeRequests` requests whose buffers fit `file`'s buffer (unfitting spares beyond that
  /// are deleted), and the close pool at least one request.
  static void fillPools(AudioFile* file, std::size_t writeRequests);
  /// Deletes every spare request of both pools.
  static void close();
  /// Spare requests the pool of `operation` holds now.
  static std::size_t pooled(IOOperation operation);

  /// Puts a handled request back into its pool: false, with the pool unchanged, when the pool
  /// already holds kPoolLimit requests; the caller then deletes the request.
  bool release();

  /// Sets the fields; `position` is kept for the interface's sake and not used.
  void reset(IOOperation operation, std::int64_t position, std::int64_t size, AudioFile* file);
  /// The buffer: `getDataSize()` samples of the file's sample size.
  unsigned char* getData() const { return data; }
  std::int64_t getDataSize() const { return dataSize; }
  void setDataSize(std::int64_t samples) { dataSize = samples; }
  /// Bytes the buffer holds.
  std::int64_t getCapacity() const { return capacity; }

 private:
  /// Grows the buffer to `bytes`; false when memory runs out (the buffer is then empty).
  bool reserve(std::int64_t bytes);

  unsigned char* data = nullptr;  // C allocator
  std::int64_t capacity = 0;
  std::int64_t dataSize = 0;
  AudioFile* audioFile = nullptr;
  IOOperation ioOperation = IOOperation::Write;
};

}  // namespace vantor
