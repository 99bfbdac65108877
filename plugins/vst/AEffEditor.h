// The editor side of a VST 2.4 effect: the effect's dispatcher forwards the editor opcodes
// here. All operations run on the host's main thread.
#pragma once

#include <cstdint>

#include "platform/vst2/VstInterface.h"

class AudioEffect;

/// Holds the effect it belongs to and the host's window while open; owned by the effect.
class AEffEditor {
 public:
  explicit AEffEditor(AudioEffect* effect = nullptr) : effect(effect) {}
  virtual ~AEffEditor() = default;

  virtual AudioEffect* getEffect() { return effect; }
  /// Writes the editor's rectangle (owned by the editor) into *rect; false without one.
  virtual bool getRect(ERect** rect) {
    if (rect) *rect = nullptr;
    return false;
  }
  /// `ptr` is the host's parent window (an X11 window id on Linux).
  virtual bool open(void* ptr) {
    systemWindow = ptr;
    return false;
  }
  virtual void close() { systemWindow = nullptr; }
  virtual bool isOpen() { return systemWindow != nullptr; }
  virtual void idle() {}
  virtual void draw(ERect* rect) {}
  virtual std::int32_t mouse(std::int32_t x, std::int32_t y) { return 0; }
  virtual std::int32_t key(std::int32_t keyCode) { return 0; }
  virtual void top() {}
  virtual void sleep() {}
  virtual bool onKeyDown(VstKeyCode& keyCode) { return false; }
  virtual bool onKeyUp(VstKeyCode& keyCode) { return false; }
  virtual bool onWheel(float distance) { return false; }
  virtual bool setKnobMode(std::int32_t val) { return false; }

 protected:
  AudioEffect* effect;
  void* systemWindow = nullptr;
};
