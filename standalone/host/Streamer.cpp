#include "standalone/host/Streamer.h"

#include <unistd.h>

#include "VNL/source/LogLine.h"
#include "standalone/host/IORequest.h"
#include "standalone/host/StreamedAudioFileWrite.h"

namespace vantor {

Streamer::Streamer() : Streamer(true) {}

Streamer::Streamer(bool startThread)
    : ThreadDetached(false),
      m_requestMutex("StreamerReqs", false),
      m_requestsToAddMutex("StreamerReqsA", false),
      m_wake("StreamerWake") {
  PLOGI("Streamer::Streamer()");
  setPriority(80);
  if (startThread) start();
}

bool Streamer::start() {
  if (m_running) return false;
  m_running = run();
  if (!m_running) PLOGE("Streamer: the disk thread did not start; files are written at shut-down");
  return m_running;
}

Streamer::~Streamer() { PLOGI("Streamer::~Streamer()"); }

StreamedAudioFileWrite* Streamer::openWrite(const std::string& path, int format, int extensible,
                                            int sampleRate, int bits, int channels,
                                            bool append) {
  auto* file = new StreamedAudioFileWrite(*this, path, format, extensible, sampleRate, bits,
                                          channels, getDefaultBufferTime(), append);
  IORequest::fillPools(file, kSpareWriteRequests);
  return file;
}

void Streamer::addToRequestQueue(IORequest* request) {
  if (request == nullptr) return;
  if (!m_requestsToAddMutex.lock()) {
    PLOGE("Streamer::addToRequestQueue m_requestsToAddMutex.Lock FAILED!");
  }
  m_requestsToAdd.push_back(request);
  m_requestsToAddMutex.unlock();
  // Signalled under the condition's mutex: the disk thread checks the queue under it before
  // it sleeps, so it either sees this request or is already waiting for this signal.
  m_wake.lock();
  m_wake.signal();
  m_wake.unlock();
}

void Streamer::closeFile(AudioFile* file, bool immediate) {
  if (file == nullptr) return;
  file->flush();
  if (immediate) {
    doCloseFile(file);
  } else {
    addToRequestQueue(IORequest::createCloseRequest(file));
  }
}

void Streamer::doCloseFile(AudioFile* file) {
  if (file == nullptr) return;
  if (!m_requestMutex.lock()) PLOGE("Streamer::doCloseFile m_requestMutex.Lock FAILED!");
  closeHeld(file);
  m_requestMutex.unlock();
}

void Streamer::writePending(AudioFile* file) {
  if (file == nullptr) return;
  if (!m_requestMutex.lock()) PLOGE("Streamer::writePending m_requestMutex.Lock FAILED!");
  writePendingHeld(file);
  m_requestMutex.unlock();
}

void Streamer::die(std::atomic<std::int32_t>* done) {
  PLOGI("Streamer::die() in");
  done->store(0, std::memory_order_relaxed);
  m_dieDone = done;
  if (!m_running) {
    // No thread ever ran: the caller's thread does its last work, and the deletion.
    finishAll();
    IORequest::close();
    PLOGI("Streamer::die() out");
    done->store(1, std::memory_order_release);
    delete this;
    return;
  }
  m_wake.lock();
  m_die.store(1, std::memory_order_release);
  m_wake.signal();
  m_wake.unlock();
  // The last touch of this object: the thread, which may have seen the stop before the signal,
  // deletes the object only after this.
  m_dieSignalled.store(true, std::memory_order_release);
  while (done->load(std::memory_order_acquire) == 0) ::usleep(10 * 1000);
  PLOGI("Streamer::die() out");
}

void* Streamer::entry() {
  PLOGI("Streamer::entry() in");
  for (;;) {
    waitForWork();
    if (m_die.load(std::memory_order_acquire) != 0) {
      PLOGI("Streamer::Entry() intercepted die signal");
      break;
    }
    if (!m_requestMutex.lock()) PLOGE("Streamer::Entry m_requestMutex.Lock FAILED!");
    takeIncoming();
    while (!m_requests.empty()) {
      IORequest* request = m_requests.front();
      m_requests.pop_front();
      handle(request);
      takeIncoming();
    }
    m_requestMutex.unlock();
  }
  finishAll();
  IORequest::close();
  PLOGI("Streamer::Entry() out");
  while (!m_dieSignalled.load(std::memory_order_acquire)) ::usleep(100);
  m_dieDone->store(1, std::memory_order_release);
  return nullptr;
}

void Streamer::onExit() {
  PLOGI("Streamer::onExit() in");
  PLOGI("Streamer::onExit() out");
}

void Streamer::waitForWork() {
  m_wake.lock();
  while (m_die.load(std::memory_order_acquire) == 0 && !hasIncoming()) {
    // A time-out ends the wait too: the caller looks at the queue either way.
    if (!m_wake.waitFor(kWakeIntervalMs)) break;
  }
  m_wake.unlock();
}

bool Streamer::hasIncoming() {
  m_requestsToAddMutex.lock();
  const bool any = !m_requestsToAdd.empty();
  m_requestsToAddMutex.unlock();
  return any;
}

void Streamer::takeIncoming() {
  m_requestsToAddMutex.lock();
  m_requests.insert(m_requests.end(), m_requestsToAdd.begin(), m_requestsToAdd.end());
  m_requestsToAdd.clear();
  m_requestsToAddMutex.unlock();
}

void Streamer::handle(IORequest* request) {
  AudioFile* file = request->getAudioFile();
  if (request->getIOOperation() == IOOperation::Close) {
    closeHeld(file);
  } else {
    file->applyIORequest(request);
  }
  if (!request->release()) delete request;
}

void Streamer::handlePendingOf(AudioFile* file, std::deque<IORequest*>& queue) {
  for (auto it = queue.begin(); it != queue.end();) {
    IORequest* request = *it;
    if (request->getAudioFile() != file) {
      ++it;
      continue;
    }
    it = queue.erase(it);
    // A close request met here was asked for before this close: it is this close.
    if (request->getIOOperation() == IOOperation::Write) file->applyIORequest(request);
    if (!request->release()) delete request;
  }
}

void Streamer::writePendingHeld(AudioFile* file) {
  // Everything in the disk thread's queue arrived before what is still incoming.
  handlePendingOf(file, m_requests);
  m_requestsToAddMutex.lock();
  handlePendingOf(file, m_requestsToAdd);
  m_requestsToAddMutex.unlock();
}

void Streamer::closeHeld(AudioFile* file) {
  PLOGI("Streamer::doCloseFile:%s", file->getPath().c_str());
  writePendingHeld(file);
  if (!file->getMutex().lock()) PLOGE("Streamer::doCloseFile af->getMutex().lock() FAILED!");
  file->doClose();
  file->getMutex().unlock();
  delete file;
}

void Streamer::finishAll() {
  if (!m_requestMutex.lock()) PLOGE("Streamer::Entry m_requestMutex.Lock FAILED!");
  takeIncoming();
  while (!m_requests.empty()) {
    PLOGI("Streamer::Entry die set, finishing all requests NOW");
    IORequest* request = m_requests.front();
    m_requests.pop_front();
    handle(request);
    takeIncoming();
  }
  m_requestMutex.unlock();
}

}  // namespace vantor
