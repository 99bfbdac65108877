#include "standalone/app/toolkit/Menu.h"

#include "standalone/app/toolkit/NativeControl.h"

namespace vantor::VNT {

NativeMenu::NativeMenu(unsigned id, const std::string& title)
    : m_peer(backend().createMenu()), m_id(id), m_title(title) {
  m_peer->setOwner(this);
}

NativeMenu::~NativeMenu() {
  if (m_peer == nullptr) return;
  m_peer->setOwner(nullptr);
  m_peer->release();
}

void NativeMenu::appendItem(const std::string& utf8Title, unsigned tag) {
  if (m_peer != nullptr) m_peer->appendItem(utf8Title, tag);
}

void NativeMenu::appendSeparator() {
  if (m_peer != nullptr) m_peer->appendSeparator();
}

void NativeMenu::menuSelected(unsigned tag, const std::string& utf8Title) {
  const unsigned id = m_id;
  m_listeners.tellEach([&](MenuListener* l) { l->menuItemSelected(id, tag, utf8Title); });
}

unsigned NativeMenu::addMenuListener(MenuListener* listener) { return m_listeners.add(listener); }

bool NativeMenu::removeMenuListener(unsigned registrationId) {
  return m_listeners.remove(registrationId);
}

void NativeMenu::popupMenu(NativeControl* control, const Point&, void* event) {
  if (m_peer != nullptr && control != nullptr && control->peer() != nullptr)
    m_peer->popUp(*control->peer(), event);
}

void NativeMenu::peerItemChosen(unsigned tag, const char* utf8Title) {
  CFStringRef title = utf8Title != nullptr ? kelo::cf::makeString(utf8Title) : nullptr;
  const vntStringFromCF text(title);
  if (title != nullptr) CFRelease(title);
  menuSelected(tag, text);
}

void NativeMenu::peerEnded() {
  m_peer = nullptr;
  delete this;
}

vntStringFromCF::vntStringFromCF(CFStringRef string) {
  if (string != nullptr) m_text = std::string(kelo::cf::utf8(string));
}

}  // namespace vantor::VNT
