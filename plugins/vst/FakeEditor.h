// KeloRack's editor: it draws nothing itself. The host's editor calls become the engine's
// editor opcodes, and the engine draws into the window the host gives (an X11 window id). The
// engine's editor is made on first need, once the engine instance exists. Main thread.
#pragma once

#include <cstdint>

#include "plugins/vst/AEffEditor.h"
#include "standalone/engine_interface/KeloEngineInterface.h"

class SuperInitHacker;

class FakeEditor : public AEffEditor {
 public:
  /// `setupPath` (at most 511 characters are kept) names the engine's setup file.
  FakeEditor(AudioEffect* effect, KeloOpcodeFunction entry, const char* setupPath,
             SuperInitHacker* initHacker);
  ~FakeEditor() override;

  bool getRect(ERect** rect) override;
  /// True when the engine opened its editor in `parent` and attached it; otherwise the
  /// engine's editor is gone.
  bool open(void* parent) override;
  void close() override;
  bool isOpen() override { return systemWindow != nullptr; }
  void idle() override;
  void draw(ERect* rect) override;
  std::int32_t mouse(std::int32_t x, std::int32_t y) override { return 0; }
  std::int32_t key(std::int32_t keyCode) override { return 0; }
  void top() override {}
  void sleep() override {}
  bool onKeyDown(VstKeyCode& keyCode) override { return false; }
  bool onKeyUp(VstKeyCode& keyCode) override { return false; }
  bool onWheel(float distance) override { return false; }
  bool setKnobMode(std::int32_t val) override { return false; }
  virtual void reserved() {}

  /// The engine instance, handed over once the plug-in has made it.
  void setInstance(void* instance) { m_instance = instance; }
  void* engineEditor() const { return m_editor; }

 private:
  /// Makes the engine's editor when there is none and an instance exists; true when one exists.
  bool ensureEditor();
  std::int32_t callEngine(void* handle, std::int32_t opcode, void* p1 = nullptr,
                          std::int32_t i1 = 0, float f = 0.0f, std::int32_t i2 = 0,
                          std::int32_t i3 = 0, void* p2 = nullptr, void* p3 = nullptr);

  ERect m_rect{};
  void* m_editor = nullptr;
  void* m_instance = nullptr;
  KeloOpcodeFunction m_entry;
  SuperInitHacker* m_initHacker;
  char m_setupPath[512] = {};
};
