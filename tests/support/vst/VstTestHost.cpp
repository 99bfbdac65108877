#include "tests/support/vst/VstTestHost.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dlfcn.h>

#include <cmath>
#include <cstring>

#include "tests/support/RecordingAudioMaster.h"
#include "tests/support/vst/VstEventList.h"

namespace kelo::test {

VstTestHost::VstTestHost(const std::string& library) {
  void* handle = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return;
  auto main = reinterpret_cast<VstPluginMainProc>(::dlsym(handle, "VSTPluginMain"));
  if (main) m_effect = main(RecordingAudioMaster::callback);
  if (m_effect && m_effect->magic != kEffectMagic) m_effect = nullptr;
}

VstTestHost::~VstTestHost() {
  closeEditor();
  close();
  if (m_display) {
    if (m_window) XDestroyWindow(m_display, m_window);
    XCloseDisplay(m_display);
  }
}

std::intptr_t VstTestHost::dispatch(std::int32_t opcode, std::int32_t index, std::intptr_t value,
                                    void* ptr, float opt) {
  return m_effect ? m_effect->dispatcher(m_effect, opcode, index, value, ptr, opt) : 0;
}

void VstTestHost::start(float sampleRate, std::int32_t blockSize) {
  dispatch(effOpen);
  dispatch(effSetSampleRate, 0, 0, nullptr, sampleRate);
  dispatch(effSetBlockSize, 0, blockSize);
  dispatch(effMainsChanged, 0, 1);
}

void VstTestHost::stop() { dispatch(effMainsChanged, 0, 0); }

void VstTestHost::close() {
  dispatch(effClose);
  m_effect = nullptr;
}

bool VstTestHost::openEditor() {
  if (!m_effect || !(m_effect->flags & effFlagsHasEditor) || m_display) return false;
  m_display = XOpenDisplay(nullptr);
  if (!m_display) return false;
  ERect* rect = nullptr;
  if (dispatch(effEditGetRect, 0, 0, &rect) == 0 || !rect) return false;
  m_width = rect->right - rect->left;
  m_height = rect->bottom - rect->top;
  if (m_width <= 0 || m_height <= 0) return false;
  const int screen = DefaultScreen(m_display);
  m_window = XCreateSimpleWindow(m_display, RootWindow(m_display, screen), 0, 0,
                                 static_cast<unsigned>(m_width), static_cast<unsigned>(m_height),
                                 0, BlackPixel(m_display, screen), WhitePixel(m_display, screen));
  XStoreName(m_display, m_window, "VstTestHost");
  XMapWindow(m_display, m_window);
  XSync(m_display, False);
  // Linux hosts pass the parent's X11 window id as the pointer.
  m_editorOpen = dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(m_window)) != 0;
  if (m_editorOpen) XSync(m_display, False);
  return m_editorOpen;
}

void VstTestHost::idle() {
  dispatch(effEditIdle);
  if (m_display) XSync(m_display, False);
}

void VstTestHost::closeEditor() {
  if (!m_editorOpen) return;
  dispatch(effEditClose);
  m_editorOpen = false;
  if (m_display) XSync(m_display, False);
}

void VstTestHost::render(const std::vector<VstMidiEvent>& events, std::int32_t frames) {
  if (!m_effect) return;
  EventList list(events);
  if (!events.empty()) dispatch(effProcessEvents, 0, 0, list.get());

  m_outputs.assign(static_cast<std::size_t>(m_effect->numOutputs),
                   std::vector<float>(static_cast<std::size_t>(frames), std::nanf("")));
  std::vector<float*> outputs;
  for (auto& channel : m_outputs) outputs.push_back(channel.data());
  m_effect->processReplacing(m_effect, nullptr, outputs.data(), frames);
}

}  // namespace kelo::test
