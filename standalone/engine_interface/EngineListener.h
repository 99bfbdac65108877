// The engine's call-backs into a host, decoded once: `engineHostCallback` is the function a
// host registers (KELO_OP_HOST_CALLBACK_SET) with its EngineListener as user pointer, and it
// turns each KELO_HOST_ opcode and its arguments into one named call of the listener.
//
// Threads: the engine calls back on any thread, from inside a process call too; a listener's
// operations must be safe there. No exception leaves `engineHostCallback`.
#pragma once

#include <cstdint>

#include "VNL/source/ParameterInfo.h"
#include "standalone/engine_interface/KeloEngineInterface.h"

namespace vantor {

/// What a host does with the engine's call-backs; each answers what the engine is told (0 for
/// done). An opcode the host does not take goes to `unknown`.
class EngineListener {
 public:
  /// KELO_HOST_MESSAGE: kind 0 information, 1 warning, 2 error. Texts may be null.
  virtual std::int32_t message(std::int32_t kind, const char* title, const char* content);
  /// KELO_HOST_PROGRESS_OPEN, _STEP and _CLOSE.
  virtual std::int32_t progressOpen(const char* title, std::int32_t elements);
  virtual std::int32_t progressStep();
  virtual std::int32_t progressClose();
  /// KELO_HOST_SLOT_CHANGED.
  virtual std::int32_t slotChanged(std::int32_t slot);
  /// KELO_HOST_PARAMETER_CHANGED: `info` may be null; `kind` is 0 for a value change.
  virtual std::int32_t parameterChanged(const ParameterInfo* info, std::int32_t kind, std::int32_t index, float value);
  /// KELO_HOST_LATENCY_CHANGED.
  virtual std::int32_t latencyChanged(std::int32_t frames);
  /// KELO_HOST_EDIT_BEGIN and KELO_HOST_EDIT_END.
  virtual std::int32_t editBegin(std::int32_t index);
  virtual std::int32_t editEnd(std::int32_t index);
  /// Every opcode without an operation above taken by the listener: kKeloHostUnknownOpcode.
  virtual std::int32_t unknown(std::int32_t op);

 protected:
  ~EngineListener() = default;
};

/// The KeloHostCallback of every host: `user` is the host's EngineListener (null: unknown).
extern "C" std::int32_t engineHostCallback(std::int32_t op, void* p1, void* p2, std::int32_t i1, std::int32_t i2,
                                           std::int32_t i3, float f, void* user);

/// A text the engine passed, or "(null)".
inline const char* engineText(const char* text) { return text != nullptr ? text : "(null)"; }

}  // namespace vantor
