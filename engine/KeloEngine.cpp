// The exports of KeloEngine.bundle: keloOpcode, the engine's one entry point, and the test
// control. Every call is checked against the host obligations (handle kind, thread, required
// arguments), recorded in the trace, and answered; nothing thrown inside gets out.
#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>

#include "VNL/source/LogLine.h"
#include "engine/EngineEditor.h"
#include "engine/EngineInstance.h"
#include "engine/EngineTrace.h"
#include "engine/pluginhost/PluginChain.h"
#include "engine/KeloEngineTestControl.h"
#include "standalone/engine_interface/KeloEngineInterface.h"

namespace kelo::engine {
namespace {

constexpr int kMaxHandles = 64;
constexpr std::int32_t kRefused = 1;
constexpr std::int32_t kVendorSelectorActiveVoices = 1;

// Live handles, found without a lock: process calls look their instance up on the render
// thread. Slots are filled and emptied on the main thread.
std::atomic<EngineInstance*> g_instances[kMaxHandles];
std::atomic<EngineEditor*> g_editors[kMaxHandles];
pthread_t g_editorThreads[kMaxHandles];

char g_versionText[32] = "1056";
std::atomic<std::int32_t> g_failResults[64];
std::atomic<std::int32_t> g_latency{0};

template <typename T>
int findSlot(std::atomic<T*> (&slots)[kMaxHandles], const void* handle) {
  if (handle == nullptr) return -1;
  for (int i = 0; i < kMaxHandles; ++i) {
    if (slots[i].load(std::memory_order_acquire) == handle) return i;
  }
  return -1;
}

template <typename T>
int addToSlots(std::atomic<T*> (&slots)[kMaxHandles], T* object) {
  for (int i = 0; i < kMaxHandles; ++i) {
    T* expected = nullptr;
    if (slots[i].compare_exchange_strong(expected, object)) return i;
  }
  return -1;
}

EngineInstance* instanceOf(const void* handle) {
  const int slot = findSlot(g_instances, handle);
  return slot < 0 ? nullptr : g_instances[slot].load(std::memory_order_acquire);
}

EngineEditor* editorOf(const void* handle) {
  const int slot = findSlot(g_editors, handle);
  return slot < 0 ? nullptr : g_editors[slot].load(std::memory_order_acquire);
}

KeloHandleKind kindOf(const void* handle) {
  if (handle == nullptr) return KELO_HANDLE_NULL;
  if (findSlot(g_instances, handle) >= 0) return KELO_HANDLE_INSTANCE;
  if (findSlot(g_editors, handle) >= 0) return KELO_HANDLE_EDITOR;
  return KELO_HANDLE_UNKNOWN;
}

KeloHandleKind expectedKind(std::int32_t opcode) {
  switch (opcode) {
    case KELO_OP_VERSION_GET:
    case KELO_OP_INSTANCE_CREATE:
    case KELO_OP_EDITOR_CREATE:
      return KELO_HANDLE_NULL;
    case KELO_OP_EDITOR_DESTROY:
    case KELO_OP_EDITOR_OPEN:
    case KELO_OP_EDITOR_IDLE:
    case KELO_OP_EDITOR_SIZE_GET:
    case KELO_OP_EDITOR_VIEW_GET:
    case KELO_OP_EDITOR_DRAW:
      return KELO_HANDLE_EDITOR;
    default:
      return KELO_HANDLE_INSTANCE;
  }
}

bool knownOpcode(std::int32_t opcode) {
  return (opcode >= 8 && opcode <= 37) && opcode != 14 && opcode != 20 && opcode != 35 &&
         opcode != 36;
}

// The calls hosts make only on their main thread (the thread that created the instance).
bool mainThreadOnly(std::int32_t opcode) {
  switch (opcode) {
    case KELO_OP_INSTANCE_DESTROY:
    case KELO_OP_DSP_SET:
    case KELO_OP_STOP:
    case KELO_OP_START:
    case KELO_OP_CHUNK_GET:
    case KELO_OP_CHUNK_SET:
    case KELO_OP_EDITOR_ATTACH:
    case KELO_OP_EDITOR_DETACH:
    case KELO_OP_HOST_CALLBACK_SET:
    case KELO_OP_DSP_SET_EX:
    case KELO_OP_HOST_CALLBACK_CLEAR:
      return true;
    default:
      return false;
  }
}

void detachEverywhere(EngineEditor* editor) {
  for (auto& slot : g_instances) {
    EngineInstance* instance = slot.load();
    if (instance != nullptr && instance->attachedEditor() == editor) {
      instance->setAttachedEditor(nullptr);
    }
  }
}

std::int32_t missing(std::int32_t opcode, int which) {
  noteFinding(KELO_FINDING_MISSING_ARGUMENT, opcode, which);
  return kRefused;
}

std::int32_t createInstance(void* p1, void* p2, void* p3, std::int32_t i1) {
  if (p2 == nullptr) return missing(KELO_OP_INSTANCE_CREATE, 2);
  void*& handle = *static_cast<void**>(p2);
  handle = nullptr;
  if (p1 == nullptr) return missing(KELO_OP_INSTANCE_CREATE, 1);
  std::unique_ptr<EngineInstance> instance =
      EngineInstance::create(*static_cast<const EngineCreateInfo*>(p1));
  if (!instance) return kRefused;
  instance->setChain(kelo::pluginhost::loadEngineChain(instance->dataFolder()));
  if (p3 != nullptr && i1 > 0 &&
      !instance->setChunk(static_cast<const std::uint8_t*>(p3), static_cast<std::size_t>(i1))) {
    PLOGW("KeloEngine: the initial chunk of %d bytes is not a state; starting from defaults", i1);
  }
  if (addToSlots(g_instances, instance.get()) < 0) {
    PLOGE("KeloEngine: too many instances");
    return kRefused;
  }
  handle = instance.release();
  return 0;
}

void destroyInstance(EngineInstance* instance) {
  if (instance->hasHostCallback()) {
    noteFinding(KELO_FINDING_CALLBACK_LEFT, KELO_OP_INSTANCE_DESTROY, 0);
  }
  if (instance->attachedEditor() != nullptr) {
    noteFinding(KELO_FINDING_EDITOR_LEFT, KELO_OP_INSTANCE_DESTROY, 0);
  }
  for (auto& slot : g_editors) {
    EngineEditor* editor = slot.load();
    if (editor != nullptr && editor->instance() == instance) editor->attach(nullptr);
  }
  const int slot = findSlot(g_instances, instance);
  if (slot >= 0) g_instances[slot].store(nullptr, std::memory_order_release);
  delete instance;
}

std::int32_t createEditor(void* p1, void* p2, void* p3) {
  if (p2 == nullptr) return missing(KELO_OP_EDITOR_CREATE, 2);
  void*& handle = *static_cast<void**>(p2);
  handle = nullptr;
  EngineInstance* instance = instanceOf(p3);
  if (p3 != nullptr && instance == nullptr) {
    noteFinding(KELO_FINDING_WRONG_HANDLE_KIND, KELO_OP_EDITOR_CREATE, kindOf(p3));
    return kRefused;
  }
  auto editor = std::make_unique<EngineEditor>(p1 != nullptr ? static_cast<const char*>(p1) : "",
                                               instance);
  const int slot = addToSlots(g_editors, editor.get());
  if (slot < 0) return kRefused;
  g_editorThreads[slot] = pthread_self();
  handle = editor.release();
  return 0;
}

std::int32_t instanceCall(EngineInstance& instance, std::int32_t opcode, void* p1, void* p2,
                          void* p3, std::int32_t i1, float f, std::int32_t i2, std::int32_t i3) {
  switch (opcode) {
    case KELO_OP_INSTANCE_DESTROY:
      destroyInstance(&instance);
      return 0;
    case KELO_OP_DSP_SET:
      instance.setFormat(static_cast<double>(i1), i2);
      return 0;
    case KELO_OP_STOP:
      instance.stop();
      return 0;
    case KELO_OP_START:
      instance.start(i1 != 0, static_cast<EngineStartInfo*>(p1), g_latency.load());
      return 0;
    case KELO_OP_PROCESS:
      return instance.process(opcode, static_cast<const MIDIEventBlock*>(p1),
                              static_cast<float* const*>(p2),
                              static_cast<const vantor::SyncInfo*>(p3), i1, nullptr, nullptr);
    case KELO_OP_PROCESS_EX: {
      const auto* info = static_cast<const EngineProcessInfo*>(p1);
      if (info == nullptr) return missing(opcode, 1);
      if (info->version != 1) return kRefused;
      return instance.process(opcode, info->midiIn, info->outputs, info->syncInfo,
                              info->numFrames, info->inputs, info->midiOut);
    }
    case KELO_OP_PARAMETER_GET:
      if (p1 == nullptr) return missing(opcode, 1);
      if (!instance.parameters().valid(i1)) return kRefused;
      *static_cast<float*>(p1) = instance.parameters().get(i1);
      return 0;
    case KELO_OP_PARAMETER_SET:
      return instance.parameters().set(i1, f) ? 0 : kRefused;
    case KELO_OP_PARAMETER_INFO_GET:
      if (p1 == nullptr) return missing(opcode, 1);
      *static_cast<const ParameterInfo**>(p1) = instance.parameters().info(i1);
      return instance.parameters().valid(i1) ? 0 : kRefused;
    case KELO_OP_CHUNK_GET: {
      if (p1 == nullptr || p2 == nullptr) return missing(opcode, p1 == nullptr ? 1 : 2);
      const std::uint8_t* bytes = nullptr;
      std::int32_t length = 0;
      instance.chunk(bytes, length);
      *static_cast<const std::uint8_t**>(p1) = bytes;
      *static_cast<std::int32_t*>(p2) = length;
      return 0;
    }
    case KELO_OP_CHUNK_SET:
      if (p1 == nullptr || i1 <= 0) return kRefused;
      return instance.setChunk(static_cast<const std::uint8_t*>(p1),
                               static_cast<std::size_t>(i1))
                 ? 0
                 : kRefused;
    case KELO_OP_EDITOR_ATTACH: {
      EngineEditor* editor = editorOf(p1);
      if (editor == nullptr) {
        noteFinding(KELO_FINDING_WRONG_HANDLE_KIND, opcode, kindOf(p1));
        return kRefused;
      }
      editor->attach(&instance);
      instance.setAttachedEditor(editor);
      editor->draw();
      return 0;
    }
    case KELO_OP_EDITOR_DETACH: {
      EngineEditor* editor = editorOf(p1);
      if (editor == nullptr) {
        noteFinding(KELO_FINDING_WRONG_HANDLE_KIND, opcode, kindOf(p1));
        return kRefused;
      }
      if (editor->instance() == &instance) editor->attach(nullptr);
      if (instance.attachedEditor() == editor) instance.setAttachedEditor(nullptr);
      return 0;
    }
    case KELO_OP_VENDOR_SPECIFIC:
      if (i1 == kVendorSelectorActiveVoices && p1 != nullptr) {
        *static_cast<std::int32_t*>(p1) = instance.activeVoices();
        return 0;
      }
      return kRefused;  // not one of ours
    case KELO_OP_HOST_CALLBACK_SET:
      if (p1 == nullptr) return missing(opcode, 1);
      // Registering again (the Audio Unit does at every Initialize) replaces the callback.
      instance.setHostCallback(reinterpret_cast<KeloHostCallback>(p1), p2, i1);
      return 0;
    case KELO_OP_HOST_CALLBACK_CLEAR:
      if (!instance.clearHostCallback(reinterpret_cast<KeloHostCallback>(p1), p2)) {
        noteFinding(KELO_FINDING_CALLBACK_MISMATCH, opcode, 0);
        return kRefused;
      }
      return 0;
    case KELO_OP_DSP_SET_EX: {
      const auto* info = static_cast<const EngineDSPInfo*>(p1);
      if (info == nullptr) return missing(opcode, 1);
      if (info->version != 1) return kRefused;
      return instance.setFormat(*info) ? 0 : kRefused;
    }
    default:
      return kRefused;
  }
}

std::int32_t editorCall(EngineEditor* editor, std::int32_t opcode, void* p1, void* p2,
                        std::int32_t i1, float f, std::int32_t i2, std::int32_t i3) {
  switch (opcode) {
    case KELO_OP_EDITOR_DESTROY:
    {
      detachEverywhere(editor);
      const int slot = findSlot(g_editors, editor);
      if (slot >= 0) g_editors[slot].store(nullptr, std::memory_order_release);
      delete editor;
    }
      return 0;
    case KELO_OP_EDITOR_OPEN:
      return editor->open(reinterpret_cast<std::uintptr_t>(p1)) ? 0 : kRefused;
    case KELO_OP_EDITOR_IDLE:
      editor->idle();
      return 0;
    case KELO_OP_EDITOR_SIZE_GET:
      if (p1 == nullptr || p2 == nullptr) return missing(opcode, p1 == nullptr ? 1 : 2);
      *static_cast<std::int32_t*>(p1) = EngineEditor::kHeight;
      *static_cast<std::int32_t*>(p2) = EngineEditor::kWidth;
      return 0;
    case KELO_OP_EDITOR_VIEW_GET:
      if (p1 == nullptr) return missing(opcode, 1);
      *static_cast<void**>(p1) = reinterpret_cast<void*>(editor->window());
      return 0;
    case KELO_OP_EDITOR_DRAW:
      editor->draw();
      return 0;
    default:
      return kRefused;
  }
}

std::int32_t dispatch(void* handle, std::int32_t opcode, void* p1, void* p2, void* p3,
                      std::int32_t i1, float f, std::int32_t i2, std::int32_t i3,
                      KeloHandleKind kind) {
  if (!knownOpcode(opcode)) return kRefused;
  if (kind != expectedKind(opcode)) {
    noteFinding(KELO_FINDING_WRONG_HANDLE_KIND, opcode, kind);
    return kRefused;
  }
  if (opcode >= 0 && opcode < 64) {
    const std::int32_t failure = g_failResults[opcode].load();
    if (failure != 0) {
      if ((opcode == KELO_OP_INSTANCE_CREATE || opcode == KELO_OP_EDITOR_CREATE) && p2 != nullptr) {
        *static_cast<void**>(p2) = nullptr;
      }
      return failure;
    }
  }
  switch (kind) {
    case KELO_HANDLE_NULL:
      if (opcode == KELO_OP_VERSION_GET) {
        if (p1 == nullptr) return missing(opcode, 1);
        std::memcpy(p1, g_versionText, std::strlen(g_versionText) + 1);
        return 0;
      }
      if (opcode == KELO_OP_INSTANCE_CREATE) return createInstance(p1, p2, p3, i1);
      return createEditor(p1, p2, p3);
    case KELO_HANDLE_INSTANCE: {
      EngineInstance* instance = instanceOf(handle);
      if (mainThreadOnly(opcode) && !instance->onMainThread()) {
        noteFinding(KELO_FINDING_WRONG_THREAD, opcode, 0);
      }
      return instanceCall(*instance, opcode, p1, p2, p3, i1, f, i2, i3);
    }
    case KELO_HANDLE_EDITOR: {
      const int slot = findSlot(g_editors, handle);
      if (!pthread_equal(g_editorThreads[slot], pthread_self())) {
        noteFinding(KELO_FINDING_WRONG_THREAD, opcode, 0);
      }
      return editorCall(g_editors[slot].load(), opcode, p1, p2, i1, f, i2, i3);
    }
    default:
      return kRefused;
  }
}

std::int64_t testControl(std::int32_t command, void* handle, void* pointer, std::int64_t a,
                         std::int64_t b) {
  switch (command) {
    case KELO_TEST_RESET:
      clearTrace();
      for (auto& failure : g_failResults) failure.store(0);
      std::strcpy(g_versionText, "1056");
      g_latency.store(0);
      return 0;
    case KELO_TEST_SET_VERSION_TEXT: {
      const char* text = pointer != nullptr ? static_cast<const char*>(pointer) : "1056";
      std::strncpy(g_versionText, text, sizeof g_versionText - 1);
      g_versionText[sizeof g_versionText - 1] = '\0';
      return 0;
    }
    case KELO_TEST_FAIL_OPCODE:
      if (a < 0 || a >= 64) return -1;
      g_failResults[a].store(static_cast<std::int32_t>(b));
      return 0;
    case KELO_TEST_CALL_HOST: {
      EngineInstance* instance = instanceOf(handle);
      auto* call = static_cast<KeloTestHostCall*>(pointer);
      if (instance == nullptr || call == nullptr) return -1;
      return instance->callHost(call->op, call->p1, call->p2, call->i1, call->i2, call->i3,
                                call->f, call->answer)
                 ? 0
                 : -1;
    }
    case KELO_TEST_READ_TRACE:
      return readTrace(static_cast<KeloTraceEntry*>(pointer), a);
    case KELO_TEST_READ_FINDINGS:
      return readFindings(static_cast<KeloFinding*>(pointer), a);
    case KELO_TEST_SET_LATENCY:
      g_latency.store(static_cast<std::int32_t>(a));
      return 0;
    case KELO_TEST_ACTIVE_VOICES: {
      EngineInstance* instance = instanceOf(handle);
      return instance != nullptr ? instance->activeVoices() : -1;
    }
    case KELO_TEST_EDITOR_WINDOW: {
      EngineEditor* editor = editorOf(handle);
      return editor != nullptr ? static_cast<std::int64_t>(editor->window()) : -1;
    }
    default:
      return -1;
  }
}

}  // namespace
}  // namespace kelo::engine

extern "C" KELO_EXPORT std::int32_t keloOpcode(void* handle, std::int32_t opcode, void* p1,
                                               void* p2, void* p3, std::int32_t i1, float f,
                                               std::int32_t i2, std::int32_t i3) {
  using namespace kelo::engine;
  KeloTraceEntry entry{};
  entry.opcode = opcode;
  entry.i1 = i1;
  entry.i2 = i2;
  entry.i3 = i3;
  entry.f = f;
  entry.thread = static_cast<std::uint64_t>(pthread_self());
  entry.events = -1;
  std::int32_t result = kRefused;
  try {
    const KeloHandleKind kind = kindOf(handle);
    entry.handleKind = kind;
    if (opcode == KELO_OP_PROCESS || opcode == KELO_OP_PROCESS_EX) {
      const MIDIEventBlock* block = nullptr;
      if (opcode == KELO_OP_PROCESS) {
        block = static_cast<const MIDIEventBlock*>(p1);
        entry.frames = i1;
        entry.hasSync = p3 != nullptr;
      } else if (p1 != nullptr) {
        const auto* info = static_cast<const EngineProcessInfo*>(p1);
        block = info->midiIn;
        entry.frames = info->numFrames;
        entry.hasSync = info->syncInfo != nullptr;
      }
      if (block != nullptr) entry.events = static_cast<std::int64_t>(block->numEvents);
    }
    result = dispatch(handle, opcode, p1, p2, p3, i1, f, i2, i3, kind);
  } catch (...) {
    PLOGE("KeloEngine: opcode %d failed with an exception", static_cast<int>(opcode));
    result = kRefused;
  }
  entry.result = result;
  traceCall(entry);
  return result;
}

extern "C" KELO_EXPORT std::int64_t keloEngineTestControl(std::int32_t command, void* handle,
                                                          void* pointer, std::int64_t a,
                                                          std::int64_t b) {
  try {
    return kelo::engine::testControl(command, handle, pointer, a, b);
  } catch (...) {
    return -1;
  }
}
