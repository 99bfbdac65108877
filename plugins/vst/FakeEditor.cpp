#include "plugins/vst/FakeEditor.h"

#include <cstdio>

#include "VNL/source/LogLine.h"
#include "plugins/vst/SamplerVST.h"

using vantor::LogLevel;
using vantor::logLine;

FakeEditor::FakeEditor(AudioEffect* effect, vantor::EngineSession& engine, const char* setupPath,
                       SuperInitHacker* initHacker)
    : AEffEditor(effect), m_engine(engine), m_initHacker(initHacker) {
  std::snprintf(m_setupPath, sizeof m_setupPath, "%s", setupPath ? setupPath : "");
}

FakeEditor::~FakeEditor() {
  logLine(LogLevel::Info, this, " GUI dtor");
  if (m_editor.exists()) logged(m_editor.destroy());
}

std::int32_t FakeEditor::logged(std::int32_t result) {
  if (result != 0) logLine(LogLevel::Error, this, "engine error:%d", result);
  return result;
}

bool FakeEditor::ensureEditor() {
  if (m_editor.exists()) return true;
  // Without an instance the engine has nothing to show; a null answer is tried again later.
  if (!m_engine.hasInstance()) return false;
  logLine(LogLevel::Info, this, " GUI init");
  logged(m_editor.create(m_engine.entry(), m_setupPath, m_engine.instance()));
  return m_editor.exists();
}

bool FakeEditor::getRect(ERect** rect) {
  logLine(LogLevel::Info, this, " GUI getRect");
  if (m_initHacker) m_initHacker->init();
  if (!m_engine.hasEngine()) return false;
  if (!m_engine.instance()) {
    logLine(LogLevel::Error, this,
            "What?  cant this host call resume at least ONCE before gui getRect?");
    return false;
  }
  if (!ensureEditor()) return false;
  std::int32_t height = 0;
  std::int32_t width = 0;
  logged(m_editor.size(height, width));
  m_rect = ERect{0, 0, static_cast<std::int16_t>(height), static_cast<std::int16_t>(width)};
  if (rect) *rect = &m_rect;
  return true;
}

bool FakeEditor::open(void* parent) {
  logLine(LogLevel::Info, this, " GUI open %p", parent);
  if (m_initHacker) m_initHacker->init();
  if (!m_engine.instance()) {
    logLine(LogLevel::Error, this,
            "What?  cant this host call resume at least ONCE before GUI OPEN?");
    return false;
  }
  if (!m_engine.hasEngine() || !ensureEditor()) return false;
  // Unlike the shared sequence, an editor that did not open is never attached: the host hears
  // the refusal and keeps no half-open editor of ours. The engine's goes (with whatever it put
  // in the parent), and the next use makes a new one.
  if (logged(m_editor.open(parent)) == 0 && logged(m_engine.attachEditor(m_editor.handle())) == 0)
    return true;
  logged(m_editor.destroy());
  return false;
}

void FakeEditor::close() {
  logLine(LogLevel::Info, this, " GUI close in");
  if (!m_editor.exists() || !m_engine.hasInstance()) return;
  m_editor.close(m_engine, true, [this](std::int32_t result) { logged(result); });
  logLine(LogLevel::Info, this, " GUI close out");
}

void FakeEditor::idle() {
  if (m_engine.hasInstance() && ensureEditor()) logged(m_editor.idle());
}

void FakeEditor::draw(ERect* rect) {
  if (!m_engine.hasInstance() || !ensureEditor()) return;
  if (rect)
    logged(m_editor.draw(rect->top, rect->left, rect->bottom, static_cast<float>(rect->right)));
  else
    logged(m_editor.draw());
}
