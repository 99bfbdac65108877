#include "standalone/app/KeloDeck/SingleInstance.h"

#include <gio/gio.h>

#include <string>
#include <utility>
#include <vector>

#include "VNL/source/ProductConf.h"
#include "standalone/app/samplerapp/SamplerApplication.h"
#include "standalone/app/samplerapp/SamplerCocoaApplication.h"

namespace kelodeck {
namespace {

vantor::samplerapp::SamplerApplication* g_player = nullptr;
std::vector<std::string> g_waiting;

void deliver(std::vector<std::string> paths) {
  if (g_player == nullptr) {
    g_waiting.insert(g_waiting.end(), paths.begin(), paths.end());
    return;
  }
  vantor::samplerapp::KeloSAAppleEventHandleODoc(paths, g_player);
}

void onOpen(GApplication*, gpointer files, gint count, gchar*, gpointer) {
  std::vector<std::string> paths;
  for (gint i = 0; i < count; ++i) {
    gchar* path = g_file_get_path(static_cast<GFile**>(files)[i]);
    if (path != nullptr) paths.emplace_back(path);
    g_free(path);
  }
  deliver(std::move(paths));
}

void onActivate(GApplication*, gpointer) {
  if (g_player != nullptr) vantor::wrap_SetFrontProcess();
}

}  // namespace

bool becomeTheSessionsPlayer(int argc, char** argv) {
  const std::string id = std::string("com.") + conf.vendorName + ".KeloDeck";
  if (!g_application_id_is_valid(id.c_str())) return true;
  // Lives as long as the process: the bus name goes with the connection at exit.
  GApplication* application = g_application_new(id.c_str(), G_APPLICATION_HANDLES_OPEN);
  g_signal_connect(application, "open", G_CALLBACK(onOpen), nullptr);
  g_signal_connect(application, "activate", G_CALLBACK(onActivate), nullptr);
  GError* error = nullptr;
  if (!g_application_register(application, nullptr, &error)) {
    g_error_free(error);
    return true;
  }
  if (!g_application_get_is_remote(application)) return true;
  // Sends the files (or the activation) to the registered one and waits until they are sent.
  g_application_run(application, argc, argv);
  g_object_unref(application);
  return false;
}

void deliverHandedFilesTo(vantor::samplerapp::SamplerApplication* application) {
  g_player = application;
  if (g_player == nullptr || g_waiting.empty()) return;
  deliver(std::exchange(g_waiting, {}));
}

}  // namespace kelodeck
