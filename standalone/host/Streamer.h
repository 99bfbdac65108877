// The disk streamer: one background thread that writes recorded audio so that the render never
// waits for the disk. The render thread hands full 2-second buffers to an incoming queue
// ("StreamerReqsA"); the disk thread takes that queue over into its own ("StreamerReqs"),
// writes the buffers in order through each file and closes files when their close request
// comes, then puts the requests back into their pools (IORequest).
//
// Threads and locks. The disk thread waits on "StreamerWake" until a request or the stop
// arrives, or 2000 ms pass, and looks at the incoming queue after every wake-up; it holds
// "StreamerReqs" while it works and takes "StreamerReqsA" and the pool mutexes inside it. Any
// other thread takes one of those locks at a time, except the closing thread (`doCloseFile`,
// `writePending`), which takes "StreamerReqsA" inside "StreamerReqs" like the disk thread.
// Lifetime: created with `new` (normally `Singleton<Streamer>::instance()`), it starts its
// thread at once; after `die` the thread deletes the object, so the owner forgets it.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <string>

#include "VNL/source/Threads.h"
#include "standalone/host/Singleton.h"

namespace vantor {

class AudioFile;
class IORequest;
class StreamedAudioFileWrite;

class Streamer : public Singleton<Streamer>, public ThreadDetached {
 public:
  /// Spare write buffers put in the pool when a recording opens: eight seconds of disk stall
  /// before the render would have to allocate one.
  static constexpr std::size_t kSpareWriteRequests = 4;
  /// The longest the disk thread sleeps without looking at its queue and the stop flag.
  static constexpr std::uint64_t kWakeIntervalMs = 2000;

  Streamer();
  ~Streamer() override;

  /// Main thread: opens a recording file (AudioFile's arguments) with 2-second buffers and
  /// fills the request pools for it. Throws AudioFileException when it cannot be opened.
  StreamedAudioFileWrite* openWrite(const std::string& path, int format, int extensible,
                                    int sampleRate, int bits, int channels, bool append);
  /// Seconds of audio in one buffer.
  static int getDefaultBufferTime() { return 2; }

  /// Queues a request and wakes the disk thread; the request belongs to the streamer from now
  /// on. Any thread; takes "StreamerReqsA" and the wake condition's mutex, one after the other.
  void addToRequestQueue(IORequest* request);

  /// Ends a recording: the file's partly filled buffer is queued first. Not immediate: a
  /// close request follows it and the disk thread closes and deletes the file after writing
  /// every buffer. Immediate (offline): `doCloseFile` on the calling thread. Either way the
  /// caller must not touch the file again.
  void closeFile(AudioFile* file, bool immediate);
  /// Closes and deletes `file` on the calling thread, after writing, in order, every request
  /// of that file still queued; no request refers to the file afterwards. Blocks while the
  /// disk thread is busy and for the file's own pending writes: not for a live render thread.
  void doCloseFile(AudioFile* file);
  /// Writes, on the calling thread and in order, every request of `file` still queued (none
  /// is left when it returns). Same blocking as `doCloseFile`.
  void writePending(AudioFile* file);

  /// Main thread, at shut-down: stops the thread and returns once it has handled every queued
  /// request and emptied the pools (`*done` becomes 1). The thread then deletes the object:
  /// the caller forgets it. Nothing may be queued after this call.
  void die(std::atomic<std::int32_t>* done);

  void* entry() override;
  void onExit() override;

 protected:
  /// Builds the streamer without starting its thread: requests wait in the incoming queue
  /// until `start`. For a subclass that must finish its own construction first.
  explicit Streamer(bool startThread);
  /// Starts the disk thread once; false when it cannot start.
  bool start();

 private:
  /// Waits until a request has arrived, the stop is asked for, or the interval has passed.
  void waitForWork();
  bool hasIncoming();
  /// Moves the incoming queue to the end of the disk thread's queue. "StreamerReqs" held.
  void takeIncoming();
  /// Writes or closes, then recycles the request. "StreamerReqs" held.
  void handle(IORequest* request);
  /// Handles, in order, the requests of `file` in `queue` and removes them from it.
  void handlePendingOf(AudioFile* file, std::deque<IORequest*>& queue);
  /// Both queues' requests of `file`, oldest first. "StreamerReqs" held.
  void writePendingHeld(AudioFile* file);
  /// Writes what is left of the file, closes and deletes it. "StreamerReqs" held.
  void closeHeld(AudioFile* file);
  /// Handles every request still queued; after the loop, on the disk thread.
  void finishAll();

  std::deque<IORequest*> m_requests;       // the disk thread's queue, oldest first
  std::deque<IORequest*> m_requestsToAdd;  // incoming, oldest first
  MutexOLD m_requestMutex;
  MutexOLD m_requestsToAddMutex;
  Condition m_wake;
  std::atomic<std::int32_t> m_die{0};
  std::atomic<std::int32_t>* m_dieDone = nullptr;
  std::atomic<bool> m_dieSignalled{false};  // `die` is done with the object
  bool m_running = false;  // the thread started
};

}  // namespace vantor
