#include "standalone/app/toolkit/NativeControl.h"

#include <cairo.h>
#include <pango/pango.h>

#include "standalone/app/toolkit/Window.h"

namespace vantor::VNT {

Font::Font(const std::string& description)
    : m_description(pango_font_description_from_string(description.c_str())) {}

Font::~Font() { pango_font_description_free(m_description); }

std::string Font::toString() const {
  char* text = pango_font_description_to_string(m_description);
  std::string out = text != nullptr ? text : "";
  g_free(text);
  return out;
}

DrawContext::DrawContext(void* nativeContext, const Size& size)
    : m_context(nativeContext), m_size(size) {}

DrawContext::~DrawContext() {
  if (m_ownsContext && m_context != nullptr) cairo_destroy(static_cast<cairo_t*>(m_context));
}

NativeControl::NativeControl(Window* window, const Point& origin, const Size& size,
                             const std::string& name, unsigned id)
    : m_origin(origin), m_size(size), m_name(name), m_id(id), m_window(window) {}

NativeControl::~NativeControl() {
  // Deleted in code (not by the peer): the peer stays with its parent view, told nothing more.
  if (m_peer != nullptr) m_peer->setOwner(nullptr);
}

void NativeControl::createPeer(void* parentView, const ViewSetup& setup) {
  m_peer = backend().createView(parentView, {m_origin.x, m_origin.y, m_size.width, m_size.height},
                                setup);
  m_peer->setTag(m_id);
  m_peer->setOwner(this);
}

void NativeControl::registerWithWindow() {
  if (m_window != nullptr && m_id != kNoId) m_window->addChildControl(m_id, this);
}

void NativeControl::peerEnded() {
  m_peer = nullptr;
  if (m_dispatching > 0)
    m_ended = true;
  else
    delete this;
}

void* NativeControl::getControlHandle() { return m_peer != nullptr ? m_peer->handle() : nullptr; }

void NativeControl::enable(bool enabled) {
  if (m_peer != nullptr) m_peer->setEnabled(enabled);
}

bool NativeControl::isEnabled() { return m_peer != nullptr && m_peer->isEnabled(); }

void NativeControl::setAutoResize(bool flag) {
  if (m_peer != nullptr) m_peer->setAutoResize(63, flag);
}

void NativeControl::postNeedRefresh() {
  if (m_peer != nullptr) m_peer->redraw();
}

void NativeControl::postNeedRefresh(const Rect& area) {
  if (m_peer != nullptr) m_peer->redraw(area);
}

void NativeControl::setOrigin(const Point& origin) {
  m_origin = origin;
  if (m_peer != nullptr) m_peer->setFrame({origin.x, origin.y, m_size.width, m_size.height});
}

void NativeControl::setSize(const Size& size) {
  m_size = size;
  if (m_peer == nullptr) return;
  const Rect current = m_peer->frame();
  m_peer->setFrame({current.x, current.y, size.width, size.height});
}

void NativeControl::bestSize() {
  if (m_peer != nullptr) m_peer->sizeToFit();
}

void NativeControl::setFont(Font& font) {
  if (m_peer != nullptr) m_peer->setFont(font.toString());
}

void NativeControl::setFontSize(double points) {
  if (m_peer == nullptr) return;
  PangoFontDescription* description =
      pango_font_description_from_string(m_peer->fontDescription().c_str());
  pango_font_description_set_size(description, static_cast<gint>(points * PANGO_SCALE));
  char* text = pango_font_description_to_string(description);
  m_peer->setFont(text != nullptr ? text : "");
  g_free(text);
  pango_font_description_free(description);
}

}  // namespace vantor::VNT
