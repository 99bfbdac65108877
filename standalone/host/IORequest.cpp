#include "standalone/host/IORequest.h"

#include <cstdlib>
#include <deque>
#include <new>

#include "VNL/source/LogLine.h"
#include "VNL/source/Threads.h"
#include "standalone/host/AudioFile.h"

namespace vantor {

namespace {

struct Pools {
  std::deque<IORequest*> m_writeRequests;
  std::deque<IORequest*> m_closeRequests;
  MutexOLD m_writeMutex{"IOReq.write", false};
  MutexOLD m_closeMutex{"IOReq.close", false};
};

// Never destroyed: a disk thread still finishing at process exit must not find them gone.
Pools& pools() {
  static Pools* const instance = new Pools;
  return *instance;
}

[[maybe_unused]] const Pools& builtBeforeMain = pools();

IORequest* takeOldest(std::deque<IORequest*>& pool) {
  if (pool.empty()) return nullptr;
  IORequest* request = pool.front();
  pool.pop_front();
  return request;
}

void deleteAll(std::deque<IORequest*>& pool, MutexOLD& mutex) {
  mutex.lock();
  for (IORequest* request : pool) delete request;
  pool.clear();
  mutex.unlock();
}

}  // namespace

IORequest::~IORequest() { std::free(data); }

bool IORequest::reserve(std::int64_t bytes) {
  if (bytes <= capacity) return true;
  // The old samples are never needed again: a fresh block spares realloc's copy.
  std::free(data);
  data = static_cast<unsigned char*>(std::malloc(static_cast<std::size_t>(bytes)));
  capacity = data ? bytes : 0;
  return data != nullptr;
}

void IORequest::reset(IOOperation operation, std::int64_t, std::int64_t size, AudioFile* file) {
  ioOperation = operation;
  dataSize = size;
  audioFile = file;
}

IORequest* IORequest::getWriteRequest(AudioFile* file, std::int64_t samples) {
  if (file == nullptr || file->isClosing() || samples < 0) return nullptr;
  Pools& p = pools();
  if (!p.m_writeMutex.lock()) PLOGE("IORequest::getWriteRequest PxMutexLocker FAILED!");
  IORequest* request = takeOldest(p.m_writeRequests);
  p.m_writeMutex.unlock();

  if (request == nullptr) request = new (std::nothrow) IORequest;
  if (request == nullptr || !request->reserve(samples * file->getIOSampleSize())) {
    PLOGE("IORequest::getWriteRequest: no memory for %lld samples",
          static_cast<long long>(samples));
    delete request;
    return nullptr;
  }
  request->reset(IOOperation::Write, 0, samples, file);
  return request;
}

IORequest* IORequest::createCloseRequest(AudioFile* file) {
  if (file == nullptr) return nullptr;
  file->setClosing();
  Pools& p = pools();
  if (!p.m_closeMutex.lock()) PLOGE("IORequest::createCloseRequest MutexLocker FAILED!");
  IORequest* request = takeOldest(p.m_closeRequests);
  p.m_closeMutex.unlock();

  if (request == nullptr) request = new IORequest;
  request->reset(IOOperation::Close, 0, 0, file);
  return request;
}

void IORequest::fillPools(AudioFile* file, std::size_t writeRequests) {
  if (file == nullptr) return;
  const std::int64_t bytes = file->getBufferSamples() * file->getIOSampleSize();
  Pools& p = pools();

  p.m_writeMutex.lock();
  std::deque<IORequest*> kept;
  for (IORequest* request : p.m_writeRequests) {
    if (request->capacity >= bytes || (kept.size() < writeRequests && request->reserve(bytes))) {
      kept.push_back(request);
    } else {
      delete request;
    }
  }
  while (kept.size() < writeRequests) {
    auto* request = new (std::nothrow) IORequest;
    if (request == nullptr || !request->reserve(bytes)) {
      delete request;
      PLOGE("IORequest::fillPools: no memory for spare buffers");
      break;
    }
    kept.push_back(request);
  }
  p.m_writeRequests.swap(kept);
  p.m_writeMutex.unlock();

  p.m_closeMutex.lock();
  if (p.m_closeRequests.empty()) p.m_closeRequests.push_back(new IORequest);
  p.m_closeMutex.unlock();
}

void IORequest::close() {
  Pools& p = pools();
  deleteAll(p.m_writeRequests, p.m_writeMutex);
  deleteAll(p.m_closeRequests, p.m_closeMutex);
}

std::size_t IORequest::pooled(IOOperation operation) {
  Pools& p = pools();
  MutexOLD& mutex = operation == IOOperation::Write ? p.m_writeMutex : p.m_closeMutex;
  mutex.lock();
  const std::size_t count = (operation == IOOperation::Write ? p.m_writeRequests
                                                             : p.m_closeRequests).size();
  mutex.unlock();
  return count;
}

bool IORequest::release() {
  Pools& p = pools();
  const bool write = ioOperation == IOOperation::Write;
  MutexOLD& mutex = write ? p.m_writeMutex : p.m_closeMutex;
  std::deque<IORequest*>& pool = write ? p.m_writeRequests : p.m_closeRequests;
  if (!mutex.lock()) {
    PLOGE("%s", write ? "IORequest::release m_writeMutex.Lock FAILED!"
                      : "IORequest::release m_closeMutex.Lock FAILED!");
  }
  const bool kept = pool.size() < kPoolLimit;
  if (kept) {
    audioFile = nullptr;  // a spare refers to no file
    dataSize = 0;
    pool.push_back(this);
  }
  mutex.unlock();
  return kept;
}

}  // namespace vantor
