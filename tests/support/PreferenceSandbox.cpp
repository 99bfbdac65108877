#include "tests/support/PreferenceSandbox.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

namespace kelo::test {
namespace {

std::unique_ptr<TempDir> g_root;

void put(const char* name, const std::string& value) { setenv(name, value.c_str(), 1); }

bool startsWith(const char* value, const std::string& prefix) {
  return value != nullptr && std::string(value).rfind(prefix + "/", 0) == 0;
}

}  // namespace

void PreferenceSandbox::SetUp() {
  g_root = std::make_unique<TempDir>();
  put("VANTOR_USER_LIBRARY_DIR", userLibrary());
  put("VANTOR_LOCAL_LIBRARY_DIR", localLibrary());
  put("VANTOR_HOST_ID", kHostId);
  // Anything that falls back to the home or XDG folders lands in the sandbox too.
  put("HOME", home());
  put("XDG_CONFIG_HOME", home() + "/.config");
  put("XDG_DATA_HOME", home() + "/.local/share");
  std::filesystem::create_directories(home());
}

void PreferenceSandbox::TearDown() { g_root.reset(); }

std::string PreferenceSandbox::userLibrary() { return g_root ? g_root->file("user") : ""; }
std::string PreferenceSandbox::localLibrary() { return g_root ? g_root->file("local") : ""; }
std::string PreferenceSandbox::home() { return g_root ? g_root->file("home") : ""; }

void PreferenceSandbox::clear() {
  std::error_code ignored;
  std::filesystem::remove_all(userLibrary(), ignored);
  std::filesystem::remove_all(localLibrary(), ignored);
}

void requirePreferenceSandbox() {
  const bool inForce = g_root && startsWith(std::getenv("VANTOR_USER_LIBRARY_DIR"), g_root->path()) &&
                       startsWith(std::getenv("VANTOR_LOCAL_LIBRARY_DIR"), g_root->path()) &&
                       startsWith(std::getenv("HOME"), g_root->path());
  if (!inForce) {
    std::fprintf(stderr,
                 "refusing to run: the preference store is not sandboxed "
                 "(register KELO_PREFERENCE_SANDBOX() in this test program)\n");
    std::abort();
  }
}

}  // namespace kelo::test
