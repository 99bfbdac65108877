#include "VNL/source/PlatformWrappers.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>
#include <thread>

#include "VNL/source/CFWrappers.h"
#include "VNL/source/FileUtils.h"
#include "VNL/source/LogLine.h"
#include "VNL/source/NumberText.h"
#include "platform/preferences/PreferenceStore.h"

extern char** environ;

namespace {

constexpr std::size_t kPathBuffer = 1024;
constexpr std::size_t kListedPathBuffer = 2048;

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

// XDG base directories must be absolute; anything else is ignored, as the XDG rules say.
std::string xdgFolder(const char* variable, const char* homeRelativeDefault) {
  std::string value = environment(variable);
  if (!value.empty() && value.front() == '/') return value;
  return vantor::homeFolder() + "/" + homeRelativeDefault;
}

// One line of user-dirs.dirs: XDG_DESKTOP_DIR="$HOME/yyy" or "/yyy", shell-escaped.
bool parseUserDirsValue(const std::string& line, const std::string& key, std::string& out) {
  std::size_t pos = line.find_first_not_of(" \t");
  if (pos == std::string::npos || line.compare(pos, key.size(), key) != 0) return false;
  pos += key.size();
  pos = line.find_first_not_of(" \t", pos);
  if (pos == std::string::npos || line[pos] != '=') return false;
  pos = line.find_first_not_of(" \t", pos + 1);
  if (pos == std::string::npos || line[pos] != '"') return false;
  std::string raw;
  bool closed = false;
  for (++pos; pos < line.size(); ++pos) {
    char c = line[pos];
    if (c == '\\' && pos + 1 < line.size()) {
      raw += line[++pos];
    } else if (c == '"') {
      closed = true;
      break;
    } else {
      raw += c;
    }
  }
  if (!closed) return false;
  if (raw.rfind("$HOME", 0) == 0 && (raw.size() == 5 || raw[5] == '/')) {
    out = vantor::homeFolder() + raw.substr(5);
    return true;
  }
  if (!raw.empty() && raw.front() == '/') {
    out = raw;
    return true;
  }
  return false;
}

std::string desktopFolder() {
  std::ifstream dirs(xdgFolder("XDG_CONFIG_HOME", ".config") + "/user-dirs.dirs");
  std::string line;
  std::string found;
  while (std::getline(dirs, line)) {
    std::string value;
    if (parseUserDirsValue(line, "XDG_DESKTOP_DIR", value)) found = value;  // the last one wins
  }
  if (!found.empty()) return found;
  return vantor::homeFolder() + "/Desktop";
}

std::string localApplicationSupportFolder() {
  const std::string dirs = environment("XDG_DATA_DIRS");
  const std::string first = dirs.substr(0, dirs.find(':'));
  if (!first.empty() && first.front() == '/') return first;
  return "/usr/local/share";
}

void stripTrailingSlashes(std::string& path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
}

// ---- copying ----

int copyBytes(int from, int to) {
  char buffer[64 * 1024];
  for (;;) {
    ssize_t got = ::read(from, buffer, sizeof buffer);
    if (got == 0) return 0;
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    for (ssize_t done = 0; done < got;) {
      ssize_t put = ::write(to, buffer + done, static_cast<std::size_t>(got - done));
      if (put < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      done += put;
    }
  }
}

// Moves the finished temporary file to `destination`; without `overwrite` an existing
// destination is kept and EEXIST reported, atomically.
int publish(const std::string& temporary, const std::string& destination, bool overwrite) {
  if (overwrite) return ::rename(temporary.c_str(), destination.c_str()) == 0 ? 0 : errno;
  if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) == 0)
    return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // File systems without RENAME_NOREPLACE: a hard link fails on an existing name too.
  if (::link(temporary.c_str(), destination.c_str()) != 0) return errno;
  ::unlink(temporary.c_str());
  return 0;
}

// One copy attempt; 0 or the errno of the step that failed.
int copyOnce(const std::string& source, const std::string& destination, bool overwrite) {
  // O_NONBLOCK: a FIFO must be refused below, not waited on here.
  int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (in < 0) return errno;
  struct stat sourceStatus {};
  int refused = 0;
  if (::fstat(in, &sourceStatus) != 0) {
    refused = errno;
  } else if (!S_ISREG(sourceStatus.st_mode)) {
    refused = S_ISDIR(sourceStatus.st_mode) ? EISDIR : EINVAL;
  }
  if (refused != 0) {
    ::close(in);
    return refused;
  }
  if (!overwrite && wrap_FileExists(destination)) {
    ::close(in);
    return EEXIST;
  }
  const std::size_t slash = destination.rfind('/');
  // Beside the destination, so that the final rename stays within one file system.
  std::string temporary =
      (slash == std::string::npos ? std::string() : destination.substr(0, slash + 1)) + ".kelo-copy-XXXXXX";
  int out = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (out < 0) {
    int error = errno;
    ::close(in);
    return error;
  }
  int error = copyBytes(in, out);
  if (error == 0 && ::fchmod(out, sourceStatus.st_mode & 07777) != 0) error = errno;
  if (::close(out) != 0 && error == 0) error = errno;
  ::close(in);
  if (error == 0) error = publish(temporary, destination, overwrite);
  if (error != 0) ::unlink(temporary.c_str());
  return error;
}

std::uint64_t packCopy(std::uint32_t status, int error) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(error)) << 32) | status;
}

// ---- listing ----

// The extension of a path's last component; a leading dot names a hidden file, not an extension.
std::string pathExtension(const char* name) {
  const char* dot = std::strrchr(name, '.');
  if (dot == nullptr || dot == name) return {};
  return dot + 1;
}

template <typename Visit>
void walk(const std::string& folder, const std::string& relative, Visit&& visit, int depth = 0) {
  if (depth > 256) return;  // a loop of bind mounts cannot run us out of stack
  const std::string here = relative.empty() ? folder : folder + "/" + relative;
  DIR* dir = ::opendir(here.c_str());
  if (dir == nullptr) return;
  while (dirent* entry = ::readdir(dir)) {
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    bool isFolder = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat status {};
      isFolder = ::fstatat(::dirfd(dir), name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(status.st_mode);
    }
    const std::string entryRelative = relative.empty() ? std::string(name) : relative + "/" + name;
    visit(entryRelative, name, isFolder);
    if (isFolder) walk(folder, entryRelative, visit, depth + 1);
  }
  ::closedir(dir);
}

std::string joinListed(const std::string& folder, const std::string& relative) {
  if (!folder.empty() && folder.back() == '/') return folder + relative;
  return folder + "/" + relative;
}

// ---- launching ----

bool spawnDetached(const char* program, bool searchPath, const std::vector<std::string>& arguments,
                   pid_t& pid) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  // A fresh session: the program outlives us and never gets our terminal's signals; it starts
  // with no blocked signals and the default handling of those a host likes to catch.
  sigset_t none;
  sigemptyset(&none);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int signal : {SIGINT, SIGTERM, SIGPIPE, SIGCHLD, SIGHUP}) sigaddset(&defaults, signal);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  const int result = searchPath ? ::posix_spawnp(&pid, program, &actions, &attributes, argv.data(), environ)
                                : ::posix_spawn(&pid, program, &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return result == 0;
}

struct ChildState {
  std::atomic<bool> ended{false};
};

// Waits for the child on a detached thread so that it never stays a zombie, whether or not
// anybody asks about it.
void reapInBackground(pid_t pid, std::shared_ptr<ChildState> state) {
  try {
    std::thread([pid, state] {
      int status = 0;
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      state->ended.store(true, std::memory_order_release);
    }).detach();
  } catch (const std::system_error&) {
    // Out of threads: the child runs on and is reaped when we exit.
    PLOGW("could not start a thread to wait for process %d", static_cast<int>(pid));
  }
}

}  // namespace

struct wrap_RunningApp {
  std::shared_ptr<ChildState> state;
};

namespace vantor {

std::string homeFolder() { return kelo::prefs::homeFolder(); }

void FileLister2(const std::string& folder, const std::string& pattern, std::set<std::string>& set) {
  wrap_FileLister(folder, pattern, set);
}

void FileLister(const std::string&, const std::string&, std::set<std::string>&, bool) {
  PLOGE("FileLister is not implemented");
}

void DirectoryLister(const std::string& folder, std::set<std::string>& set) {
  wrap_DirectoryLister(folder, set);
}

bool registerKeloPlugin(const std::string&, const std::string&, const std::string&) { return true; }

void listAUPathVersion(const std::string& vendor, const std::string& product,
                       std::vector<PluginInfo>& list) {
  listPluginPathVersion(vendor, product, list, "AU");
}

void listVSTPathVersion(const std::string& vendor, const std::string& product,
                        std::vector<PluginInfo>& list) {
  listPluginPathVersion(vendor, product, list, "VST");
}

}  // namespace vantor

bool wrap_FindFolder(VNL_FindFolder kind, VNL_FindFolderDomain domain, std::string& out, bool create) {
  std::string path;
  if (domain == VNL_UserDomain) {
    switch (kind) {
      case VNL_ApplicationSupportFolder: path = xdgFolder("XDG_DATA_HOME", ".local/share"); break;
      case VNL_DesktopFolder: path = desktopFolder(); break;
      case VNL_LibraryFolder: path = kelo::prefs::userLibraryRoot(); break;
      default: return false;
    }
  } else if (domain == VNL_LocalDomain) {
    switch (kind) {
      case VNL_ApplicationSupportFolder: path = localApplicationSupportFolder(); break;
      case VNL_LibraryFolder: path = kelo::prefs::localLibraryRoot(); break;
      default: return false;  // no desktop for all users; unknown kinds
    }
  } else {
    return false;
  }
  stripTrailingSlashes(path);
  if (path.size() >= kPathBuffer) {
    out.clear();
    return false;
  }
  if (create && !wrap_CreateFolderPath(path, true)) return false;
  out = path;
  return true;
}

bool wrap_CreateFolders(const vantor::CFURLWrapper& url, bool intermediate) {
  std::string path;
  return url.getFileSystemRepresentation(path) && wrap_CreateFolderPath(path, intermediate);
}

bool wrap_CreateFolderPath(const std::string& path, bool intermediate) {
  if (path.empty()) return false;
  if (wrap_FileExists(path)) return true;
  std::error_code error;
  if (intermediate) {
    std::filesystem::create_directories(path, error);
  } else {
    std::filesystem::create_directory(path, error);
  }
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool wrap_FileExists(const std::string& path) {
  struct stat status {};
  return !path.empty() && ::stat(path.c_str(), &status) == 0;
}

bool wrap_deleteFile(const std::string& path) {
  if (path.empty()) return false;
  std::error_code error;
  return std::filesystem::remove_all(path, error) > 0 && !error;
}

bool wrap_deleteDirectory(const std::string& path) { return wrap_deleteFile(path); }

std::uint64_t wrap_CopyFile(const std::string& source, const std::string& destination, bool overwrite) {
  // A path and the path of a file URL made from it are the same bytes here, so the second
  // attempt repeats the first; it exists only where a file URL can be made (a non-empty path).
  int error = copyOnce(source, destination, overwrite);
  if (error == 0) return packCopy(VNL_CopyDone, 0);
  if (source.empty() || destination.empty()) return packCopy(VNL_CopyFailedNoRetry, error);
  error = copyOnce(source, destination, overwrite);
  return packCopy(error == 0 ? VNL_CopyDone : VNL_CopyRetryFailed, error);
}

bool wrap_fixFilePermission(const std::string& folder, const std::string& name) {
  struct stat status {};
  if (::stat(folder.c_str(), &status) != 0) return false;
  const std::string item = folder + "/" + name;
  if (::chmod(item.c_str(), status.st_mode & 07777) != 0) return false;
  return ::chown(item.c_str(), status.st_uid, status.st_gid) == 0;
}

void wrap_FileLister(const std::string& folder, const std::string& pattern, std::set<std::string>& set) {
  std::string extension = pattern;
  if (pattern.size() > 2 && pattern.compare(0, 2, "*.") == 0) extension = pattern.substr(2);
  const bool everything = extension == "*";
  walk(folder, {}, [&](const std::string& relative, const char* name, bool) {
    if (!everything && pathExtension(name) != extension) return;
    std::string path = joinListed(folder, relative);
    if (path.size() < kListedPathBuffer) set.insert(std::move(path));
  });
}

void wrap_DirectoryLister(const std::string& folder, std::set<std::string>& set) {
  walk(folder, {}, [&](const std::string& relative, const char*, bool isFolder) {
    if (!isFolder) return;
    std::string path = joinListed(folder, relative);
    if (path.size() < kListedPathBuffer) set.insert(std::move(path));
  });
}

std::uint64_t directorySize(const std::string& folder) {
  std::set<std::string> entries;
  wrap_FileLister(folder, "*.*", entries);
  std::uint64_t total = 0;
  for (const std::string& entry : entries) total += fileSize(entry);
  return total;
}

bool wrap_osversion(std::string& out) {
  std::string pretty;
  std::ifstream release("/etc/os-release");
  std::string line;
  while (std::getline(release, line)) {
    if (line.rfind("PRETTY_NAME=", 0) != 0) continue;
    pretty = line.substr(12);
    if (pretty.size() >= 2 && (pretty.front() == '"' || pretty.front() == '\'') && pretty.back() == pretty.front())
      pretty = pretty.substr(1, pretty.size() - 2);
  }
  struct utsname names {};
  std::string kernel;
  if (::uname(&names) == 0) kernel = std::string(names.sysname) + " " + names.release;
  if (pretty.empty()) {
    out = kernel.empty() ? std::string("Linux") : kernel;
  } else {
    out = kernel.empty() ? pretty : pretty + " (" + kernel + ")";
  }
  return true;
}

bool wrap_userName(std::string& out) {
  struct passwd entry {};
  struct passwd* found = nullptr;
  char buffer[4096];
  if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
      found->pw_name != nullptr && *found->pw_name != '\0') {
    out = found->pw_name;
    return true;
  }
  out = environment("USER");
  if (out.empty()) out = std::to_string(::getuid());
  return true;
}

bool wrap_processName(std::string& out) {
  char buffer[kPathBuffer * 4];
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length > 0) {
    buffer[length] = '\0';
    const char* slash = std::strrchr(buffer, '/');
    out = slash != nullptr ? slash + 1 : buffer;
    return true;
  }
  out = program_invocation_short_name;
  return true;
}

bool wrap_tempDirectory(std::string& out) {
  std::string folder = environment("TMPDIR");
  if (folder.empty()) folder = "/tmp";
  stripTrailingSlashes(folder);
  out = folder;
  return true;
}

bool wrap_isProcessSandboxed() {
  std::string name;
  wrap_processName(name);
  if (name == "AUHostingServiceXPC_arrow" || name == "AUHostingServiceXPC") return true;
  return std::getenv("APP_SANDBOX_CONTAINER_ID") != nullptr;
}

wrap_RunningApp* wrap_launchApplication(const std::string& path, const std::vector<std::string>& arguments) {
  if (path.empty()) return nullptr;
  pid_t pid = 0;
  if (!spawnDetached(path.c_str(), false, arguments, pid)) return nullptr;
  auto app = new wrap_RunningApp{std::make_shared<ChildState>()};
  reapInBackground(pid, app->state);
  return app;
}

bool wrap_isRunningAppTerminated(const wrap_RunningApp* app) {
  return app == nullptr || app->state->ended.load(std::memory_order_acquire);
}

void wrap_releaseRunningApp(wrap_RunningApp* app) { delete app; }

bool wrap_openURLText(const std::string& url) {
  if (url.empty() || url.front() == '-') return false;
  for (unsigned char c : url)
    if (c < 0x20 || c >= 0x7f) return false;
  pid_t pid = 0;
  if (!spawnDetached("xdg-open", true, {url}, pid)) return false;
  reapInBackground(pid, std::make_shared<ChildState>());
  return true;
}

void wrapOpenURL(const std::string& path) {
  if (path.empty()) return;
  std::error_code error;
  std::string absolute = std::filesystem::absolute(path, error).string();
  if (error || absolute.empty()) return;
  pid_t pid = 0;
  if (spawnDetached("xdg-open", true, {absolute}, pid)) reapInBackground(pid, std::make_shared<ChildState>());
}

std::string MacGetBundleVersion(const std::string& path) {
  static const char* const kNoVersion = "Can't get version.";
  if (path.empty()) return kNoVersion;
  vantor::CFURLWrapper url(path.data(), static_cast<CFIndex>(path.size()), true);
  if (url.getCFURLRef() == nullptr) return kNoVersion;
  vantor::CFTypeWrapper bundle(CFBundleCreate(kCFAllocatorDefault, url.getCFURLRef()));
  if (bundle.getCFTypeRef() == nullptr) return kNoVersion;
  // The information dictionary is the bundle's: nothing to release here.
  CFTypeRef version = CFBundleGetValueForInfoDictionaryKey(
      static_cast<CFBundleRef>(const_cast<void*>(bundle.getCFTypeRef())), kCFBundleVersionKey);
  if (version == nullptr || CFGetTypeID(version) != CFStringGetTypeID()) return kNoVersion;
  char buffer[kPathBuffer] = {};
  if (!CFStringGetCString(static_cast<CFStringRef>(version), buffer, sizeof buffer, kCFStringEncodingUTF8))
    return kNoVersion;
  buffer[sizeof buffer - 1] = '\0';
  return buffer;
}

void listPluginPathVersion(const std::string&, const std::string&, std::vector<vantor::PluginInfo>&,
                           const std::string&) {
  // No platform registry of installed plug-ins here: the list stays as it is.
}

bool tinyxmlStringToDouble(const char* text, double& out) {
  if (text == nullptr || *text == '\0') return false;
  const vantor::DecimalScan scan = vantor::scanDecimal(text, vantor::DecimalSteps::Extended);
  out = scan.value;  // 0.0 when no digit was read
  return scan.digits && *scan.end == '\0';
}
