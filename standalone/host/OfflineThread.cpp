#include "standalone/host/OfflineThread.h"

#include <sched.h>

#include <exception>

#include "VNL/source/FileUtils.h"
#include "VNL/source/LogLine.h"
#include "standalone/host/Alloc2D.h"
#include "standalone/host/DSPInfo.h"
#include "standalone/host/GraphManager.h"
#include "standalone/host/RenderBlockHooks.h"

namespace vantor {

namespace {

constexpr std::uint32_t kPriorityPercent = 60;
constexpr std::uint64_t kIdleWaitMilliseconds = 1;

}  // namespace

OfflineThread::OfflineThread(GraphManager& graph, RenderBlockHooks* hooks)
    : ThreadDetached(false), m_graph(graph), m_hooks(hooks) {
  setPriority(kPriorityPercent);
  m_running = run();
}

OfflineThread::~OfflineThread() { free_2d(m_outputs); }

bool OfflineThread::start(const Context* context) {
  if (context == nullptr) return false;
  if (isStarted()) return true;
  // A block begun before the last stop may still be running on the buffer and the context.
  while (m_rendering.load(std::memory_order_acquire)) PmilliSleep(1);
  const std::uint32_t frames = context->getDSPInfo().blockSize;
  if (m_outputs == nullptr || m_outputFrames < frames) {
    free_2d(m_outputs);
    m_outputs = alloc_2d<float>(2, frames);
    m_outputFrames = m_outputs != nullptr ? frames : 0;
    if (m_outputs == nullptr) {
      PLOGE("OfflineThread: no memory for two channels of %u frames", frames);
      return false;
    }
  }
  setContext(context);
  m_started.store(true, std::memory_order_release);
  if (Condition* wake = m_wake.load(std::memory_order_acquire)) {
    wake->lock();
    wake->signal();
    wake->unlock();
  }
  PmilliSleep(kSettleMilliseconds);
  return true;
}

bool OfflineThread::stop() {
  m_started.store(false, std::memory_order_release);
  PmilliSleep(kSettleMilliseconds);
  return true;
}

void OfflineThread::die(std::atomic<bool>* gone) {
  m_gone.store(gone, std::memory_order_release);
  m_started.store(false, std::memory_order_release);
  // Last: once the thread sees it, every write of this call is visible to it, and it may
  // delete the object at any moment.
  m_dying.store(true, std::memory_order_release);
}

void OfflineThread::renderBlock() {
  const Context* context = getContext();
  if (context == nullptr || m_outputs == nullptr) return;
  std::uint32_t frames = context->getDSPInfo().blockSize;
  if (frames > m_outputFrames) frames = m_outputFrames;
  if (m_hooks != nullptr) m_hooks->preGraph(context);
  m_graph.runGraphStereo(m_outputs, frames);
  if (m_hooks != nullptr) m_hooks->postGraph(context);
  m_blocks.fetch_add(1, std::memory_order_relaxed);
}

void* OfflineThread::entry() {
  auto* wake = new Condition("Offline");
  m_wake.store(wake, std::memory_order_release);
  for (;;) {
    if (m_dying.load(std::memory_order_acquire)) break;
    if (m_started.load(std::memory_order_acquire)) {
      m_rendering.store(true, std::memory_order_release);
      while (m_started.load(std::memory_order_acquire)) {
        try {
          renderBlock();
        } catch (const std::exception& e) {
          PLOGE("OfflineThread: %s", e.what());
        }
        sched_yield();
      }
      m_rendering.store(false, std::memory_order_release);
      if (m_dying.load(std::memory_order_acquire)) break;
      continue;
    }
    wake->lock();
    if (!m_started.load(std::memory_order_acquire) && !m_dying.load(std::memory_order_acquire)) {
      wake->waitFor(kIdleWaitMilliseconds);
    }
    wake->unlock();
  }
  m_wake.store(nullptr, std::memory_order_release);
  delete wake;
  return nullptr;
}

void OfflineThread::onExit() {
  free_2d(m_outputs);
  m_outputs = nullptr;
  if (std::atomic<bool>* gone = m_gone.load(std::memory_order_acquire)) {
    gone->store(true, std::memory_order_release);
  }
}

}  // namespace vantor
