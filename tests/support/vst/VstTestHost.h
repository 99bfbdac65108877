// A small VST 2.4 host for tests, on Linux as real hosts are: it loads a plug-in's shared
// object, makes one instance through VSTPluginMain with the recording host callback, starts
// it, gives its editor an X11 window of the size the editor asks for, idles it, and renders
// blocks with MIDI through processEvents and processReplacing. Main thread only (renders
// included); a RecordingAudioMaster must be installed while the host lives.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/vst2/VstInterface.h"

struct _XDisplay;

namespace kelo::test {

class VstTestHost {
 public:
  /// Loads `library` (kept loaded for the process) and makes an instance; effect() is null
  /// when either fails.
  explicit VstTestHost(const std::string& library);
  /// Closes the editor and the instance if still open, then the window.
  ~VstTestHost();
  VstTestHost(const VstTestHost&) = delete;
  VstTestHost& operator=(const VstTestHost&) = delete;

  AEffect* effect() const { return m_effect; }

  /// effOpen, the rate and block size, then resume.
  void start(float sampleRate, std::int32_t blockSize);
  /// Suspends the instance.
  void stop();
  /// effClose; the effect is gone afterwards.
  void close();

  /// Opens a top-level X11 window sized by effEditGetRect and the editor in it (once per
  /// host). False without a display, or when the plug-in gives no rectangle or refuses to open.
  bool openEditor();
  /// effEditIdle, then waits for the X server to answer everything sent so far.
  void idle();
  /// effEditClose; the host's window stays until the host goes.
  void closeEditor();
  _XDisplay* display() const { return m_display; }
  unsigned long window() const { return m_window; }
  /// The rectangle the editor asked for (width, height).
  int editorWidth() const { return m_width; }
  int editorHeight() const { return m_height; }

  /// One block: the events through processEvents, then processReplacing into the host's
  /// buffers (one per output, filled with NaN first so that unwritten samples show).
  void render(const std::vector<VstMidiEvent>& events, std::int32_t frames);
  const std::vector<float>& output(std::int32_t channel) const {
    return m_outputs[static_cast<std::size_t>(channel)];
  }

 private:
  std::intptr_t dispatch(std::int32_t opcode, std::int32_t index = 0, std::intptr_t value = 0,
                         void* ptr = nullptr, float opt = 0.0f);

  AEffect* m_effect = nullptr;
  _XDisplay* m_display = nullptr;
  unsigned long m_window = 0;
  bool m_editorOpen = false;
  int m_width = 0;
  int m_height = 0;
  std::vector<std::vector<float>> m_outputs;
};

}  // namespace kelo::test
