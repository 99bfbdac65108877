// A test bundle's shared object opened with dlopen and its entry points bound by name.
#pragma once

#include <dlfcn.h>

#include <string>

#include "Sampler/sdk/PluginRecords.h"

namespace kelo::test {

class LoadedBundle {
 public:
  explicit LoadedBundle(const std::string& path, int mode = RTLD_NOW | RTLD_LOCAL)
      : m_handle(dlopen(path.c_str(), mode)) {
    if (m_handle == nullptr) return;
    using namespace vantor::KELOPluginSDK;
    count = reinterpret_cast<GetNumKeloPluginsFunction>(dlsym(m_handle, "getNumKeloPlugins"));
    fill = reinterpret_cast<FillKeloPluginInfoFunction>(dlsym(m_handle, "fillKeloPluginInfo"));
    create = reinterpret_cast<NewInstanceFunction>(dlsym(m_handle, "newInstance"));
    destroy = reinterpret_cast<DeleteInstanceFunction>(dlsym(m_handle, "deleteInstance"));
    dispatcher = reinterpret_cast<DispatcherFunction>(dlsym(m_handle, "plugin_dispatch1"));
    processor = reinterpret_cast<ProcessFunction>(dlsym(m_handle, "plugin_process"));
  }
  ~LoadedBundle() {
    if (m_handle != nullptr) dlclose(m_handle);
  }
  LoadedBundle(const LoadedBundle&) = delete;
  LoadedBundle& operator=(const LoadedBundle&) = delete;

  bool ok() const {
    return m_handle != nullptr && count && fill && create && destroy && dispatcher && processor;
  }
  void* symbol(const char* name) const { return dlsym(m_handle, name); }

  vantor::KELOPluginSDK::GetNumKeloPluginsFunction count = nullptr;
  vantor::KELOPluginSDK::FillKeloPluginInfoFunction fill = nullptr;
  vantor::KELOPluginSDK::NewInstanceFunction create = nullptr;
  vantor::KELOPluginSDK::DeleteInstanceFunction destroy = nullptr;
  vantor::KELOPluginSDK::DispatcherFunction dispatcher = nullptr;
  vantor::KELOPluginSDK::ProcessFunction processor = nullptr;

 private:
  void* m_handle;
};

}  // namespace kelo::test
