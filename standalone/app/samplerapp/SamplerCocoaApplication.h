// The menus of KeloDeck: the interface file "cocoa" names the product "product_name" in its
// titles; `installMenus` puts the product's name in and binds the five commands (preferences,
// render offline, load, save, save as default) by their key equivalents to the application.
// `KELOSAApplication` receives the menu actions; `SamplerCocoaApplication` owns it.
//
// Threads: main thread only (menu actions come from the main loop).
#pragma once

#include <string>

#include "standalone/app/toolkit/Peers.h"

namespace vantor {
/// Brings the program's windows to the front (documents opened from outside).
void wrap_SetFrontProcess();
}  // namespace vantor

namespace vantor::samplerapp {

class SamplerApplication;

/// The action of the quit item, which the toolkit's quit path serves.
inline constexpr const char* kQuitAction = "terminate:";

class KELOSAApplication {
 public:
  void setSamplerApplication(SamplerApplication* application) { m_app = application; }
  SamplerApplication* samplerApplication() const { return m_app; }

  void showPrefs();
  void renderOffline();
  /// Load, save and save as default do nothing while no application is set.
  void loadFile();
  void saveFile();
  void saveAsDefault();

  /// One level deep: a title holding "product_name" gets "KELO Player" in its place and nothing
  /// else changes; any other item whose key equivalent matches (any letter case) one of ",",
  /// "r", "o", "s", "d" (in that order) gets this object's action for it.
  void installMenus(VNT::MenuBarModel& menus) const;
  /// Runs an action this object was made the target of; false for any other.
  bool perform(const std::string& action);
  /// An item's action: ours, the quit path, or nothing.
  void dispatch(const std::string& action);

 private:
  SamplerApplication* m_app = nullptr;
};

class SamplerCocoaApplication {
 public:
  explicit SamplerCocoaApplication(SamplerApplication* application);
  virtual ~SamplerCocoaApplication() = default;

  /// The application's menus from the interface file, with `installMenus` applied.
  void addMenus();
  const VNT::MenuBarModel& menus() const { return m_menus; }
  KELOSAApplication& target() { return m_target; }

 private:
  SamplerApplication* m_application;
  KELOSAApplication m_target;
  VNT::MenuBarModel m_menus;
};

}  // namespace vantor::samplerapp
