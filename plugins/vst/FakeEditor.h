// KeloRack's editor: it draws nothing itself. The host's editor calls become the engine's
// editor opcodes, and the engine draws into the window the host gives (an X11 window id). The
// engine's editor is made on first need, once the plug-in's engine instance exists. Main thread.
#pragma once

#include <cstdint>

#include "plugins/vst/AEffEditor.h"
#include "standalone/engine_interface/EngineSession.h"

class SuperInitHacker;

class FakeEditor : public AEffEditor {
 public:
  /// `engine` is the plug-in's engine session (it outlives the editor); `setupPath` (at most
  /// 511 characters are kept) names the engine's setup file.
  FakeEditor(AudioEffect* effect, vantor::EngineSession& engine, const char* setupPath,
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

  void* engineEditor() const { return m_editor.handle(); }

 private:
  /// Makes the engine's editor when there is none and an instance exists; true when one exists.
  bool ensureEditor();
  /// An engine result, a non-zero one logged ("engine error:").
  std::int32_t logged(std::int32_t result);

  ERect m_rect{};
  vantor::EngineSession& m_engine;
  vantor::EngineEditorSession m_editor;
  SuperInitHacker* m_initHacker;
  char m_setupPath[512] = {};
};
