#include "Sampler/sdk/PluginThreads.h"

#include <sched.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

namespace vantor::KELOPluginSDK {

namespace {

void printError(const char* message) {
  std::printf("E:%lu:%s\n", static_cast<unsigned long>(pthread_self()), message);
  std::fflush(stdout);
}

void* startRoutine(void* object) { return ThreadDetached::Entry(static_cast<ThreadDetached*>(object)); }

class AttributesGuard {
 public:
  explicit AttributesGuard(pthread_attr_t& attributes) : m_attributes(attributes) {}
  ~AttributesGuard() { pthread_attr_destroy(&m_attributes); }
  AttributesGuard(const AttributesGuard&) = delete;
  AttributesGuard& operator=(const AttributesGuard&) = delete;

 private:
  pthread_attr_t& m_attributes;
};

}  // namespace

Mutex::Mutex(const std::string& name) : m_name(name) {
  m_ok = pthread_mutex_init(&m_mutex, nullptr) == 0;
}

Mutex::~Mutex() {
  if (m_ok) pthread_mutex_destroy(&m_mutex);
}

bool Mutex::isOk() { return m_ok; }
bool Mutex::lock() { return m_ok && pthread_mutex_lock(&m_mutex) == 0; }
bool Mutex::tryLock() { return m_ok && pthread_mutex_trylock(&m_mutex) == 0; }
bool Mutex::unlock() { return m_ok && pthread_mutex_unlock(&m_mutex) == 0; }

void sleep(std::uint64_t milliseconds) {
  timespec remaining{static_cast<time_t>(milliseconds / 1000),
                     static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

pthread_t ThreadGetCurrentId() { return pthread_self(); }

ThreadDetached::ThreadDetached(bool realTime) : m_realTime(realTime) {}

ThreadDetached::~ThreadDetached() = default;

bool ThreadDetached::run() {
  if (m_id != pthread_t{}) return false;
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) {
    printError("pthread_attr_init failed");
    return false;
  }
  AttributesGuard guard(attributes);
  int policy = 0;
  if (pthread_attr_getschedpolicy(&attributes, &policy) != 0) {
    printError("pthread_attr_getschedpolicy failed");
    return false;
  }
  const int maximum = sched_get_priority_max(policy);
  const int minimum = sched_get_priority_min(policy);
  if (maximum != minimum && maximum != -1 && minimum != -1) {
    sched_param parameter{};
    if (pthread_attr_getschedparam(&attributes, &parameter) != 0)
      printError("pthread_attr_getschedparam failed");
    parameter.sched_priority =
        minimum + static_cast<int>((static_cast<std::int64_t>(maximum - minimum) * m_priority) / 100);
    if (pthread_attr_setschedparam(&attributes, &parameter) != 0)
      printError("pthread_attr_setschedparam failed");
  }
  if (m_realTime) pthread_attr_setschedpolicy(&attributes, SCHED_RR);
  if (pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED) != 0) {
    printError("pthread_attr_setdetachstate failed");
    return false;
  }
  std::unique_lock gate(m_startGate);
  pthread_t id{};
  if (pthread_create(&id, &attributes, startRoutine, this) != 0) {
    printError("pthread_create failed");
    return false;
  }
  m_id = id;
  // Unlocking is the last use of the object here: from then on the thread may delete it.
  return true;
}

void* ThreadDetached::Entry(ThreadDetached* self) {
  { std::lock_guard open(self->m_startGate); }
  const std::intptr_t result = self->entry();
  self->onExit();
  delete self;
  return reinterpret_cast<void*>(result);
}

}  // namespace vantor::KELOPluginSDK
