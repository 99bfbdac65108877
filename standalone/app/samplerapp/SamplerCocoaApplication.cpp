#include "standalone/app/samplerapp/SamplerCocoaApplication.h"

#include <gtk/gtk.h>

#include <array>
#include <cctype>
#include <utility>

#include "standalone/app/samplerapp/Dialogs.h"
#include "standalone/app/samplerapp/SamplerApplication.h"
#include "standalone/app/toolkit/Application.h"
#include "standalone/app/toolkit/gtk/GtkBackend.h"

namespace vantor {

void wrap_SetFrontProcess() {
  if (!VNT::hasInstalledBackend() || dynamic_cast<VNT::GtkBackend*>(&VNT::backend()) == nullptr)
    return;
  GList* windows = gtk_window_list_toplevels();
  for (GList* item = windows; item != nullptr; item = item->next) {
    GtkWindow* window = GTK_WINDOW(item->data);
    if (gtk_widget_get_visible(GTK_WIDGET(window)) &&
        gtk_window_get_window_type(window) == GTK_WINDOW_TOPLEVEL) {
      gtk_window_present(window);
      break;
    }
  }
  g_list_free(windows);
}

}  // namespace vantor

namespace vantor::samplerapp {
namespace {

constexpr const char* kProductPlaceholder = "product_name";
constexpr const char* kMenuProductName = "KELO Player";

struct KeyBinding {
  char key;
  const char* action;
};
constexpr std::array<KeyBinding, 5> kBindings{{{',', "showPrefs:"},
                                               {'r', "renderOffline:"},
                                               {'o', "loadFile:"},
                                               {'s', "saveFile:"},
                                               {'d', "saveAsDefault:"}}};

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

}  // namespace

void KELOSAApplication::showPrefs() { showPreferences(); }
void KELOSAApplication::renderOffline() { showRenderOffline(); }

void KELOSAApplication::loadFile() {
  if (m_app != nullptr) m_app->onLoadChunk();
}

void KELOSAApplication::saveFile() {
  if (m_app != nullptr) m_app->onSaveChunk();
}

void KELOSAApplication::saveAsDefault() {
  if (m_app != nullptr) m_app->saveDefaultChunk();
}

void KELOSAApplication::installMenus(VNT::MenuBarModel& menus) const {
  for (VNT::MenuModel& menu : menus) {
    for (VNT::MenuItemModel& item : menu.items) {
      if (item.title.find(kProductPlaceholder) != std::string::npos) {
        item.title = replaceAll(item.title, kProductPlaceholder, kMenuProductName);
        continue;
      }
      if (item.key.size() != 1) continue;
      const char key = static_cast<char>(std::tolower(static_cast<unsigned char>(item.key[0])));
      for (const KeyBinding& binding : kBindings) {
        if (binding.key == key) {
          item.action = binding.action;
          break;
        }
      }
    }
  }
}

bool KELOSAApplication::perform(const std::string& action) {
  if (action == "showPrefs:") showPrefs();
  else if (action == "renderOffline:") renderOffline();
  else if (action == "loadFile:") loadFile();
  else if (action == "saveFile:") saveFile();
  else if (action == "saveAsDefault:") saveAsDefault();
  else return false;
  return true;
}

void KELOSAApplication::dispatch(const std::string& action) {
  if (perform(action)) return;
  if (action == kQuitAction) VNT::quitApplication();
}

SamplerCocoaApplication::SamplerCocoaApplication(SamplerApplication* application)
    : m_application(application) {
  m_target.setSamplerApplication(application);
}

void SamplerCocoaApplication::addMenus() {
  m_menus = m_application != nullptr ? m_application->getMenuModel() : VNT::MenuBarModel{};
  if (m_menus.empty()) return;
  m_target.installMenus(m_menus);
}

}  // namespace vantor::samplerapp
