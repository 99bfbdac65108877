// libsndfile, bound at run time by function name from the bundle "libsndfile.bundle" among the
// program's resources. The program never links the library: without the bundle the player
// still runs and recording is reported as unavailable. sndfile.h gives the types and
// constants only.
//
// Main thread: `init` once while the back end starts, the destructor at shut-down after the
// disk thread has stopped. The bound entry points may be called from any thread once `init`
// has answered and `available()` is true.
#pragma once

#include <sndfile.h>

#include <string>

#include "platform/cf/CFBundle.h"

// The 33 entry points in binding order: all of them, or the library counts as missing.
#define KELO_SNDFILE_ENTRY_POINTS(X)                                                          \
  X(sf_open) X(sf_open_fd) X(sf_open_virtual) X(sf_error) X(sf_strerror) X(sf_error_number)    \
  X(sf_perror) X(sf_error_str) X(sf_command) X(sf_format_check) X(sf_seek) X(sf_set_string)    \
  X(sf_get_string) X(sf_read_raw) X(sf_write_raw) X(sf_readf_short) X(sf_writef_short)         \
  X(sf_readf_int) X(sf_writef_int) X(sf_readf_float) X(sf_writef_float) X(sf_readf_double)     \
  X(sf_writef_double) X(sf_read_short) X(sf_write_short) X(sf_read_int) X(sf_write_int)        \
  X(sf_read_float) X(sf_write_float) X(sf_read_double) X(sf_write_double) X(sf_close)          \
  X(sf_write_sync)

namespace vantor {

/// The binding; the process's one instance is `Singleton<Sndfile>::instance()`. Owns a
/// reference to the library's bundle, which keeps the library loaded while it lives.
class Sndfile {
 public:
  Sndfile();
  virtual ~Sndfile();
  Sndfile(const Sndfile&) = delete;
  Sndfile& operator=(const Sndfile&) = delete;

  /// Where "libsndfile.bundle" is looked for; empty (the default) means the running program's
  /// resources folder (the `Resources` folder beside it). Call before `init`.
  void setResourcesFolder(const std::string& folder) { m_resourcesFolder = folder; }

  /// Binds every entry point. Only the first call does anything, and it answers whether the
  /// library is available; every later call answers true at once. `path` is not used.
  bool init(const std::string& path);
  bool available() const { return isAvailable; }
  /// Writes "Success attaching to " and the library's version text.
  void logLibrary();

  // Null until bound; they take and return what libsndfile's published interface says.
#define KELO_SNDFILE_DECLARE(name) decltype(&::name) name = nullptr;
  KELO_SNDFILE_ENTRY_POINTS(KELO_SNDFILE_DECLARE)
#undef KELO_SNDFILE_DECLARE

 private:
  bool bindAll();
  void clearAll();

  bool tryPending = true;
  bool isAvailable = false;
  CFBundleRef bundle = nullptr;
  std::string m_resourcesFolder;
};

}  // namespace vantor
