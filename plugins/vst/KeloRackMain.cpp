// The entry point a Linux VST host looks up in KeloRack.so and KeloRack-Multi.so.
#include <memory>

#include "plugins/vst/SamplerVST.h"

/// Any thread (scanners call it from several at once). Null when the host answers no version,
/// or when this process could not bind the engine (then for every later call too).
extern "C" KELO_EXPORT AEffect* VSTPluginMain(audioMasterCallback audioMaster) {
  try {
    if (!audioMaster || audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0)
      return nullptr;
    auto effect = std::make_unique<SamplerVST>(audioMaster);
    if (SamplerVST::bindingFailed()) return nullptr;
    return effect.release()->getAeffect();
  } catch (...) {
    return nullptr;
  }
}
