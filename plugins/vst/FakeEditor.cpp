#include "plugins/vst/FakeEditor.h"

#include <cstdio>

#include "VNL/source/LogLine.h"
#include "plugins/vst/SamplerVST.h"

using vantor::LogLevel;
using vantor::logLine;

FakeEditor::FakeEditor(AudioEffect* effect, KeloOpcodeFunction entry, const char* setupPath,
                       SuperInitHacker* initHacker)
    : AEffEditor(effect), m_entry(entry), m_initHacker(initHacker) {
  std::snprintf(m_setupPath, sizeof m_setupPath, "%s", setupPath ? setupPath : "");
}

FakeEditor::~FakeEditor() {
  logLine(LogLevel::Info, this, " GUI dtor");
  if (m_entry && m_editor) callEngine(m_editor, KELO_OP_EDITOR_DESTROY);
}

std::int32_t FakeEditor::callEngine(void* handle, std::int32_t opcode, void* p1, std::int32_t i1,
                                    float f, std::int32_t i2, std::int32_t i3, void* p2,
                                    void* p3) {
  const std::int32_t result = m_entry(handle, opcode, p1, p2, p3, i1, f, i2, i3);
  if (result != 0) logLine(LogLevel::Error, this, "engine error:%d", result);
  return result;
}

bool FakeEditor::ensureEditor() {
  if (m_editor) return true;
  // Without an instance the engine has nothing to show; a null answer is tried again later.
  if (!m_entry || !m_instance) return false;
  logLine(LogLevel::Info, this, " GUI init");
  callEngine(nullptr, KELO_OP_EDITOR_CREATE, m_setupPath, 0, 0.0f, 0, 0, &m_editor, m_instance);
  return m_editor != nullptr;
}

bool FakeEditor::getRect(ERect** rect) {
  logLine(LogLevel::Info, this, " GUI getRect");
  if (m_initHacker) m_initHacker->init();
  if (!m_entry) return false;
  if (!m_instance) {
    logLine(LogLevel::Error, this,
            "What?  cant this host call resume at least ONCE before gui getRect?");
    return false;
  }
  if (!ensureEditor()) return false;
  std::int32_t height = 0;
  std::int32_t width = 0;
  callEngine(m_editor, KELO_OP_EDITOR_SIZE_GET, &height, 0, 0.0f, 0, 0, &width);
  m_rect = ERect{0, 0, static_cast<std::int16_t>(height), static_cast<std::int16_t>(width)};
  if (rect) *rect = &m_rect;
  return true;
}

bool FakeEditor::open(void* parent) {
  logLine(LogLevel::Info, this, " GUI open %p", parent);
  if (m_initHacker) m_initHacker->init();
  if (!m_instance) {
    logLine(LogLevel::Error, this,
            "What?  cant this host call resume at least ONCE before GUI OPEN?");
    return false;
  }
  if (!m_entry || !ensureEditor()) return false;
  if (callEngine(m_editor, KELO_OP_EDITOR_OPEN, parent) == 0 &&
      callEngine(m_instance, KELO_OP_EDITOR_ATTACH, m_editor) == 0)
    return true;
  // The host hears the refusal and keeps no half-open editor of ours: the engine's goes (with
  // whatever it put in the parent), and the next use makes a new one.
  callEngine(m_editor, KELO_OP_EDITOR_DESTROY);
  m_editor = nullptr;
  return false;
}

void FakeEditor::close() {
  logLine(LogLevel::Info, this, " GUI close in");
  if (!m_editor || !m_instance || !m_entry) return;
  callEngine(m_instance, KELO_OP_EDITOR_DETACH, m_editor);
  callEngine(m_editor, KELO_OP_EDITOR_DESTROY);
  m_editor = nullptr;
  logLine(LogLevel::Info, this, " GUI close out");
}

void FakeEditor::idle() {
  if (m_entry && m_instance && ensureEditor()) callEngine(m_editor, KELO_OP_EDITOR_IDLE);
}

void FakeEditor::draw(ERect* rect) {
  if (!m_entry || !m_instance || !ensureEditor()) return;
  if (rect)
    callEngine(m_editor, KELO_OP_EDITOR_DRAW, nullptr, rect->top, static_cast<float>(rect->right),
               rect->left, rect->bottom);
  else
    callEngine(m_editor, KELO_OP_EDITOR_DRAW);
}
