#include "standalone/engine_interface/EngineListener.h"

namespace vantor {

std::int32_t EngineListener::message(std::int32_t, const char*, const char*) { return unknown(KELO_HOST_MESSAGE); }
std::int32_t EngineListener::progressOpen(const char*, std::int32_t) { return unknown(KELO_HOST_PROGRESS_OPEN); }
std::int32_t EngineListener::progressStep() { return unknown(KELO_HOST_PROGRESS_STEP); }
std::int32_t EngineListener::progressClose() { return unknown(KELO_HOST_PROGRESS_CLOSE); }
std::int32_t EngineListener::slotChanged(std::int32_t) { return unknown(KELO_HOST_SLOT_CHANGED); }
std::int32_t EngineListener::parameterChanged(const ParameterInfo*, std::int32_t, std::int32_t, float) {
  return unknown(KELO_HOST_PARAMETER_CHANGED);
}
std::int32_t EngineListener::latencyChanged(std::int32_t) { return unknown(KELO_HOST_LATENCY_CHANGED); }
std::int32_t EngineListener::editBegin(std::int32_t) { return unknown(KELO_HOST_EDIT_BEGIN); }
std::int32_t EngineListener::editEnd(std::int32_t) { return unknown(KELO_HOST_EDIT_END); }
std::int32_t EngineListener::unknown(std::int32_t) { return kKeloHostUnknownOpcode; }

extern "C" std::int32_t engineHostCallback(std::int32_t op, void* p1, void* p2, std::int32_t i1, std::int32_t i2,
                                           std::int32_t, float f, void* user) {
  if (user == nullptr) return kKeloHostUnknownOpcode;
  auto& listener = *static_cast<EngineListener*>(user);
  try {
    switch (op) {
      case KELO_HOST_MESSAGE:
        return listener.message(i1, static_cast<const char*>(p1), static_cast<const char*>(p2));
      case KELO_HOST_PROGRESS_OPEN:
        return listener.progressOpen(static_cast<const char*>(p1), i1);
      case KELO_HOST_PROGRESS_STEP:
        return listener.progressStep();
      case KELO_HOST_PROGRESS_CLOSE:
        return listener.progressClose();
      case KELO_HOST_SLOT_CHANGED:
        return listener.slotChanged(i1);
      case KELO_HOST_PARAMETER_CHANGED:
        return listener.parameterChanged(static_cast<const ParameterInfo*>(p1), i1, i2, f);
      case KELO_HOST_LATENCY_CHANGED:
        return listener.latencyChanged(i1);
      case KELO_HOST_EDIT_BEGIN:
        return listener.editBegin(i2);
      case KELO_HOST_EDIT_END:
        return listener.editEnd(i2);
      default:
        return listener.unknown(op);
    }
  } catch (...) {
    return kKeloHostUnknownOpcode;
  }
}

}  // namespace vantor
