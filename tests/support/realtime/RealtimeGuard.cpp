// Interposes the allocator and the blocking mutex lock for the whole test program: the program
// defines these symbols itself, so the dynamic linker binds every library's calls (libstdc++'s
// operator new, dlopen'ed bundles) to them, and they forward to glibc.
#include "tests/support/realtime/RealtimeGuard.h"

#include <dlfcn.h>
#include <execinfo.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* pointer);
}

namespace {

// Initial-exec TLS: reading these never allocates (a dynamic TLS block would).
__attribute__((tls_model("initial-exec"))) thread_local int t_regionDepth = 0;
__attribute__((tls_model("initial-exec"))) thread_local const char* t_exemption = nullptr;

using MutexLock = int (*)(pthread_mutex_t*);
MutexLock g_realMutexLock = nullptr;

void writeAll(const char* text) {
  const size_t length = std::strlen(text);
  ssize_t ignored = ::write(STDERR_FILENO, text, length);
  (void)ignored;
}

[[noreturn]] void violation(const char* call) {
  t_regionDepth = 0;  // what follows may allocate
  writeAll("\nreal-time guard: ");
  writeAll(call);
  writeAll(" called inside a real-time region; call stack:\n");
  void* frames[48];
  const int count = backtrace(frames, 48);
  backtrace_symbols_fd(frames, count, STDERR_FILENO);
  std::abort();
}

inline void check(const char* call) {
  if (t_regionDepth > 0 && t_exemption == nullptr) violation(call);
}

MutexLock realMutexLock() {
  if (g_realMutexLock == nullptr) {
    g_realMutexLock = reinterpret_cast<MutexLock>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    if (g_realMutexLock == nullptr) {
      writeAll("real-time guard: no pthread_mutex_lock to forward to\n");
      std::abort();
    }
  }
  return g_realMutexLock;
}

// Resolve the forwards and load the unwinder before any region: both allocate on first use.
__attribute__((constructor)) void prepareGuard() {
  realMutexLock();
  void* frames[4];
  backtrace(frames, 4);
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void* malloc(size_t size) {
  check("malloc");
  return __libc_malloc(size);
}

__attribute__((visibility("default"))) void* calloc(size_t count, size_t size) {
  check("calloc");
  return __libc_calloc(count, size);
}

__attribute__((visibility("default"))) void* realloc(void* pointer, size_t size) {
  check("realloc");
  return __libc_realloc(pointer, size);
}

__attribute__((visibility("default"))) void free(void* pointer) {
  check("free");
  __libc_free(pointer);
}

__attribute__((visibility("default"))) void* aligned_alloc(size_t alignment, size_t size) {
  check("aligned_alloc");
  return __libc_memalign(alignment, size);
}

__attribute__((visibility("default"))) void* memalign(size_t alignment, size_t size) {
  check("memalign");
  return __libc_memalign(alignment, size);
}

__attribute__((visibility("default"))) int posix_memalign(void** out, size_t alignment,
                                                          size_t size) {
  check("posix_memalign");
  if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return EINVAL;
  void* pointer = __libc_memalign(alignment, size);
  if (pointer == nullptr) return ENOMEM;
  *out = pointer;
  return 0;
}

__attribute__((visibility("default"))) int pthread_mutex_lock(pthread_mutex_t* mutex) {
  check("pthread_mutex_lock");
  return realMutexLock()(mutex);
}

}  // extern "C"

namespace kelo::test {

RealtimeRegion::RealtimeRegion() { ++t_regionDepth; }
RealtimeRegion::~RealtimeRegion() { --t_regionDepth; }

RealtimeExemption::RealtimeExemption(const char* name) : m_previous(t_exemption) {
  t_exemption = name != nullptr ? name : "unnamed";
}
RealtimeExemption::~RealtimeExemption() { t_exemption = m_previous; }

bool realtimeGuardActive() { return t_regionDepth > 0 && t_exemption == nullptr; }

}  // namespace kelo::test
