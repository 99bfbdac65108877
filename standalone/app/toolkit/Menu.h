// Context menus of the toolkit (`NativeMenu`) and the holder that turns a platform string into
// UTF-8 text (`vntStringFromCF`).
//
// A `NativeMenu` is created with `new` and owns its native menu: deleting it in code ends the
// native menu, and a native menu that ends by itself deletes its toolkit menu. Items carry a
// tag; choosing one tells the menu listeners (not owned) the menu's id, the tag and the item's
// whole UTF-8 title, in ascending registration id.
//
// Threads: main thread only.
#pragma once

#include <string>

#include "platform/cf/CFString.h"
#include "standalone/app/toolkit/ListenerRegistry.h"
#include "standalone/app/toolkit/Peers.h"

namespace vantor::VNT {

class NativeControl;

class MenuListener {
 public:
  virtual ~MenuListener() = default;
  virtual void menuItemSelected(unsigned menuId, unsigned tag, const std::string& utf8Title) = 0;
};

class NativeMenu : private MenuOwner {
 public:
  explicit NativeMenu(unsigned id = kNoId, const std::string& title = {});
  /// Ends the native menu (once it has closed, when a listener deletes the menu while it is up).
  virtual ~NativeMenu();
  NativeMenu(const NativeMenu&) = delete;
  NativeMenu& operator=(const NativeMenu&) = delete;

  virtual void appendItem(const std::string& utf8Title, unsigned tag);
  virtual void appendSeparator();
  /// An item was chosen: every listener hears it.
  virtual void menuSelected(unsigned tag, const std::string& utf8Title);
  virtual unsigned addMenuListener(MenuListener* listener);
  virtual bool removeMenuListener(unsigned registrationId);

  /// Shows the menu as a context menu over `control`'s view where `event` happened (a mouse
  /// event of that view; null: at the pointer); returns when the menu closed. `where` is not
  /// used: the event says where.
  void popupMenu(NativeControl* control, const Point& where, void* event);

  unsigned getId() const { return m_id; }
  const std::string& getTitle() const { return m_title; }
  MenuPeer* peer() const { return m_peer; }

 private:
  void peerItemChosen(unsigned tag, const char* utf8Title) override;
  void peerEnded() override;

  MenuPeer* m_peer;
  unsigned m_id;
  std::string m_title;
  ListenerRegistry<MenuListener> m_listeners;
};

/// The UTF-8 text of a platform string: empty for null, an empty string, or one that does
/// not convert.
class vntStringFromCF {
 public:
  explicit vntStringFromCF(CFStringRef string);
  virtual ~vntStringFromCF() = default;
  const std::string& str() const { return m_text; }
  operator const std::string&() const { return m_text; }

 private:
  std::string m_text;
};

}  // namespace vantor::VNT
