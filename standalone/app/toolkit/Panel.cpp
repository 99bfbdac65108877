#include "standalone/app/toolkit/Panel.h"

#include <cairo.h>

#include "standalone/app/toolkit/Menu.h"
#include "standalone/app/toolkit/Window.h"

namespace vantor::VNT {

Panel::Panel(Window* window, void* parentView, const Point& origin, const Size& size,
             unsigned id, const std::string& name)
    : NativeControl(window, origin, size, name, id), m_initialSize(size), m_initialOrigin(origin) {
  ViewSetup setup;
  setup.kind = ViewKind::Panel;
  createPeer(parentView, setup);
  if (parentView == nullptr && window != nullptr) window->peer()->setContentView(*peer());
  Panel::init();
}

void Panel::init() { registerWithWindow(); }

void Panel::setAutoResize(bool flag) {
  if (peer() != nullptr) peer()->setAutoResize(flag ? 63 : 0, flag);
}

void Panel::addControl(NativeControl* control) {
  if (peer() != nullptr && control != nullptr && control->peer() != nullptr)
    peer()->addSubview(*control->peer());
}

void Panel::draw(DrawContext* context) {
  if (m_hasBackgroundColour && peer() != nullptr) {
    auto* cr = static_cast<cairo_t*>(context->getHandle());
    const Rect frame = peer()->frame();
    cairo_set_source_rgba(cr, unitComponent(m_backgroundColour.red),
                          unitComponent(m_backgroundColour.green),
                          unitComponent(m_backgroundColour.blue),
                          unitComponent(m_backgroundColour.alpha));
    cairo_rectangle(cr, 0, 0, frame.width, frame.height);
    cairo_fill(cr);
  }
  const unsigned id = getId();
  m_listeners.tellEach([&](PanelListener* l) {
    if (l->panelWantsDraw(id)) l->panelDraw(id, context);
  });
}

void Panel::mouseMoved(const Point& where, unsigned modifiers) {
  const unsigned id = getId();
  m_listeners.tellEach([&](PanelListener* l) { l->panelMouseMoved(id, where, modifiers); });
}

void Panel::mouseDown(const Point& where, unsigned button, unsigned modifiers) {
  const unsigned id = getId();
  m_listeners.tellEach([&](PanelListener* l) { l->panelMouseDown(id, where, button, modifiers); });
}

void Panel::mouseUp(const Point& where, unsigned button, unsigned modifiers) {
  const unsigned id = getId();
  m_listeners.tellEach([&](PanelListener* l) { l->panelMouseUp(id, where, button, modifiers); });
}

void Panel::mouseDragged(const Point& where, unsigned button, unsigned modifiers) {
  const unsigned id = getId();
  m_listeners.tellEach(
      [&](PanelListener* l) { l->panelMouseDragged(id, where, button, modifiers); });
}

void Panel::mouseWheeled(const Point& where, unsigned modifiers, int delta) {
  const unsigned id = getId();
  m_listeners.tellEach(
      [&](PanelListener* l) { l->panelMouseWheeled(id, where, modifiers, delta); });
}

void Panel::frameChanged() {
  const Rect frame = peer() != nullptr ? peer()->frame() : Rect{};
  const unsigned id = getId();
  m_listeners.tellEach([&](PanelListener* l) { l->panelFrameChanged(id, frame); });
}

void Panel::onContextMenu(const Point& where) {
  const unsigned id = getId();
  m_listeners.tellEach([&](PanelListener* l) { l->panelContextMenu(id, where); });
}

void Panel::popupMenu(NativeMenu* menu, const Point& where) {
  if (menu != nullptr) menu->popupMenu(this, where, m_currentEvent);
}

void Panel::setBackgroundColour(const RGBAColour& colour) {
  m_backgroundColour = colour;
  m_hasBackgroundColour = true;
}

unsigned Panel::addPanelListener(PanelListener* listener) { return m_listeners.add(listener); }

bool Panel::removePanelListener(unsigned registrationId) {
  return m_listeners.remove(registrationId);
}

void Panel::peerMouse(int kind, const Point& where, unsigned button, unsigned modifiers,
                      void* event) {
  dispatch([&] {
    m_currentEvent = event;
    switch (kind) {
      case 0: mouseDown(where, button, modifiers); break;
      case 1: mouseUp(where, button, modifiers); break;
      case 2: mouseMoved(where, modifiers); break;
      case 3: mouseDragged(where, button, modifiers); break;
      default: break;
    }
    m_currentEvent = nullptr;
  });
}

void Panel::peerDraw(cairo_t* cr, const Size& size) {
  dispatch([&] {
    cairo_save(cr);
    cairo_translate(cr, 0, size.height);
    cairo_scale(cr, 1, -1);
    DrawContext context(cr, size);
    draw(&context);
    cairo_restore(cr);
  });
}

NativeTextBox::NativeTextBox(Window* window, void* parentView, const Point& origin,
                             const Size& size, const std::string& text, const std::string& name,
                             unsigned id)
    : NativeControl(window, origin, size, name, id), m_text(text) {
  ViewSetup setup;
  setup.kind = ViewKind::TextField;
  setup.label = text;
  createPeer(parentView, setup);
  NativeTextBox::init();
}

void NativeTextBox::init() { registerWithWindow(); }

void NativeTextBox::editingEnded() {
  m_text = getText();
  const unsigned id = getId();
  const std::string text = m_text;
  m_listeners.tellEach([&](TextBoxListener* l) { l->textBoxEditingEnded(id, text); });
}

std::string NativeTextBox::getText() { return peer() != nullptr ? peer()->text() : m_text; }

void NativeTextBox::setText(const std::string& utf8) {
  m_text = utf8;
  if (peer() != nullptr) peer()->setText(utf8);
}

unsigned NativeTextBox::addTextBoxListener(TextBoxListener* listener) {
  return m_listeners.add(listener);
}

bool NativeTextBox::removeTextBoxListener(unsigned registrationId) {
  return m_listeners.remove(registrationId);
}

}  // namespace vantor::VNT
