// The offline render thread: while an offline render runs, it calls the graph's render block
// after block as fast as the engine allows, in place of the audio device's callback. The
// device manager creates one when the offline switch goes on and tells it to `die` when the
// switch goes off; tests drive it directly.
//
// Lifetime: created with `new`; the thread starts in the constructor and idles until `start`.
// After `die` the thread leaves its loop after the current block, frees its buffer and
// deletes the object: the owner forgets it. Flags are atomics; `start` and `stop` run on the
// main thread and sleep 250 ms after changing them, so the render has taken the change when
// they return. Rendering holds no lock of its own: the graph's try-lock keeps it apart from
// changes of the graph.
#pragma once

#include <atomic>
#include <cstdint>

#include "VNL/source/Threads.h"
#include "standalone/host/Context.h"

namespace vantor {

class GraphManager;
class RenderBlockHooks;

class OfflineThread : public ThreadDetached, public Contextual {
 public:
  /// Milliseconds `start` and `stop` wait after changing the flags.
  static constexpr int kSettleMilliseconds = 250;

  /// Starts the idle thread at 60 percent of the priority range. `graph` and `hooks` (may be
  /// null) outlive the thread.
  OfflineThread(GraphManager& graph, RenderBlockHooks* hooks);
  /// Only for an object whose thread did not start (`isRunning` false); otherwise the thread
  /// deletes it.
  ~OfflineThread() override;
  /// The thread started in the constructor.
  bool isRunning() const { return m_running; }

  /// Renders with `context`'s format from now on; while rendering already, changes nothing.
  /// The output buffer (two channels of the block size) is kept from one render to the next
  /// and made anew only when it is too small, never while a block runs. False when it cannot
  /// be had.
  bool start(const Context* context);
  /// Ends rendering after the current block.
  bool stop();
  bool isStarted() const { return m_started.load(std::memory_order_acquire); }
  /// Ends the thread: rendering stops after the current block and the thread deletes itself.
  /// `gone`, when given, becomes true once the thread no longer touches the graph, the
  /// context or the object.
  void die(std::atomic<bool>* gone = nullptr);

  /// Blocks rendered since construction. Any thread.
  std::uint64_t blocksRendered() const { return m_blocks.load(std::memory_order_relaxed); }

  void* entry() override;
  void onExit() override;

 private:
  void renderBlock();

  std::atomic<bool> m_started{false};
  std::atomic<bool> m_dying{false};
  std::atomic<std::atomic<bool>*> m_gone{nullptr};
  std::atomic<Condition*> m_wake{nullptr};
  std::atomic<bool> m_rendering{false};  // inside the render loop: the buffer is in use
  float** m_outputs = nullptr;
  std::uint32_t m_outputFrames = 0;
  std::atomic<std::uint64_t> m_blocks{0};
  GraphManager& m_graph;
  RenderBlockHooks* m_hooks;
  bool m_running = false;
};

}  // namespace vantor
