// The reference engine's editor: a window of its own inside the parent the host gives it, on
// Linux an X11 window id passed as a pointer-sized integer (the contract a Linux VST 2.4 host
// gives a plug-in's editor). It lists the attached instance's parameters with their values.
//
// Main thread only. The editor opens its own connection to the X server named by DISPLAY;
// without one, or with a parent that is not a window, opening fails cleanly (non-zero) and
// every other editor call still answers. X errors of the editor's own requests are caught
// while it makes them, so they never reach the host's error handler.
#pragma once

#include <cstdint>
#include <string>

#include "engine/EngineInstance.h"

namespace kelo::engine {

class EngineEditor {
 public:
  static constexpr std::int32_t kWidth = 420;
  static constexpr std::int32_t kHeight = 320;

  EngineEditor(std::string setupPath, EngineInstance* instance);
  ~EngineEditor();
  EngineEditor(const EngineEditor&) = delete;
  EngineEditor& operator=(const EngineEditor&) = delete;

  /// Makes the editor's window as a child of `parent` and shows it; false when there is no
  /// display or `parent` is not a window. Opening again first closes the previous window.
  bool open(std::uintptr_t parent);
  void close();
  bool isOpen() const { return m_window != 0; }
  std::uintptr_t window() const { return m_window; }

  void attach(EngineInstance* instance) { m_instance = instance; }
  EngineInstance* instance() const { return m_instance; }

  /// Handles pending window events (exposure redraws).
  void idle();
  /// Redraws everything (the hosts' rectangle is only a hint).
  void draw();

 private:
  std::string m_setupPath;
  EngineInstance* m_instance;
  void* m_display = nullptr;  // Display*
  std::uintptr_t m_window = 0;
  void* m_gc = nullptr;       // GC
};

/// `utf8` in ISO 8859-1, the core X font's characters, for drawing; a character outside it
/// becomes "?". Writes at most `capacity` - 1 bytes and a terminating zero; answers the length.
int latin1Of(const char* utf8, char* out, int capacity);

}  // namespace kelo::engine
