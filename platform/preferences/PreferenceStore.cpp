#include "platform/preferences/PreferenceStore.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/cf/CFDictionary.h"
#include "platform/cf/CFString.h"

namespace kelo::prefs {
namespace {

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

void stripTrailingSlashes(std::string& path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
}

// The password database's home folder of the user running the process, else "/".
std::string passwordHome() {
  passwd entry{};
  passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && found->pw_dir[0] == '/')
    return found->pw_dir;
  return "/";
}

thread_local std::string t_lastError;

void fail(const std::string& what, const std::string& path, int error = 0) {
  t_lastError = what + " " + path;
  if (error != 0) t_lastError += std::string(": ") + std::strerror(error);
}

// mkdir -p; true when the folder exists afterwards.
bool createFolders(const std::string& folder) {
  if (folder.empty()) return false;
  struct stat status {};
  if (stat(folder.c_str(), &status) == 0) return S_ISDIR(status.st_mode);
  const auto slash = folder.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !createFolders(folder.substr(0, slash)))
    return false;
  return mkdir(folder.c_str(), 0755) == 0 || errno == EEXIST;
}

class Releaser {
 public:
  explicit Releaser(CFTypeRef object) : m_object(object) {}
  ~Releaser() { CFRelease(m_object); }
  Releaser(const Releaser&) = delete;
  Releaser& operator=(const Releaser&) = delete;

 private:
  CFTypeRef m_object;
};

bool writeAll(int fd, const std::string& bytes) {
  const char* at = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t written = write(fd, at, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    at += written;
    left -= static_cast<std::size_t>(written);
  }
  return true;
}

// Writes `bytes` to a temporary file beside `file`, syncs it and renames it into place.
bool replaceFile(const std::string& file, const std::string& bytes) {
  const auto slash = file.find_last_of('/');
  const std::string folder = file.substr(0, slash);
  std::string temporary = folder + "/." + file.substr(slash + 1) + ".XXXXXX";
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fchmod(fd, 0644) == 0 && writeAll(fd, bytes) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok) ok = rename(temporary.c_str(), file.c_str()) == 0;
  if (!ok) {
    unlink(temporary.c_str());
    return false;
  }
  // The rename itself reaches storage with the folder.
  const int folderFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    fsync(folderFd);
    close(folderFd);
  }
  return true;
}

}  // namespace

const std::string& lastError() { return t_lastError; }

bool isSafeDomain(std::string_view domain) {
  return !domain.empty() && domain != "." && domain.find('/') == std::string_view::npos &&
         domain.find("..") == std::string_view::npos && domain.find('\0') == std::string_view::npos;
}

std::string homeFolder() {
  std::string home = environment("HOME");
  if (home.empty() || home.front() != '/') home = passwordHome();
  stripTrailingSlashes(home);
  return home;
}

std::string userLibraryRoot() {
  std::string root = environment("VANTOR_USER_LIBRARY_DIR");
  if (root.empty()) {
    // XDG base directories must be absolute; anything else is ignored, as the XDG rules say.
    std::string config = environment("XDG_CONFIG_HOME");
    if (config.empty() || config.front() != '/') config = homeFolder() + "/.config";
    root = config + "/vantor";
  }
  stripTrailingSlashes(root);
  return root;
}

std::string localLibraryRoot() {
  std::string root = environment("VANTOR_LOCAL_LIBRARY_DIR");
  if (root.empty()) root = "/etc/vantor";
  stripTrailingSlashes(root);
  return root;
}

std::string hostId() {
  std::string id = environment("VANTOR_HOST_ID");
  if (id.empty()) {
    std::ifstream machineId("/etc/machine-id");
    std::getline(machineId, id);
  }
  return isSafeDomain(id) ? id : std::string("unknown");
}

std::string preferencesFile(const std::string& domain, Scope scope) {
  if (!isSafeDomain(domain)) return std::string();
  const std::string folder =
      (scope.allUsers ? localLibraryRoot() : userLibraryRoot()) + "/Preferences";
  if (scope.currentHost) return folder + "/ByHost/" + domain + "." + hostId() + ".plist";
  return folder + "/" + domain + ".plist";
}

CFDictionaryRef copyDomain(const std::string& domain, Scope scope, DomainFile* found) {
  DomainFile ignored;
  DomainFile& result = found != nullptr ? *found : ignored;
  const std::string file = preferencesFile(domain, scope);
  if (file.empty()) {
    result = DomainFile::Refused;
    return nullptr;
  }
  kelo::cf::PlistFileStatus status;
  CFPropertyListRef list = kelo::cf::readPropertyListFile(file, &status);
  switch (status) {
    case kelo::cf::PlistFileStatus::Read: result = DomainFile::Read; break;
    case kelo::cf::PlistFileStatus::Missing: result = DomainFile::Missing; break;
    case kelo::cf::PlistFileStatus::NotRegularFile: result = DomainFile::NotRegularFile; break;
    default: result = DomainFile::Unreadable; break;
  }
  if (list != nullptr && CFGetTypeID(list) != CFDictionaryGetTypeID()) {
    CFRelease(list);
    result = DomainFile::Unreadable;
    return nullptr;
  }
  return static_cast<CFDictionaryRef>(list);
}

CFPropertyListRef copyValue(const std::string& domain, const std::string& key, Scope scope,
                            DomainFile* found) {
  CFDictionaryRef values = copyDomain(domain, scope, found);
  if (values == nullptr) return nullptr;
  Releaser releaseValues(values);
  CFStringRef name = kelo::cf::makeString(key);
  if (name == nullptr) return nullptr;
  Releaser releaseName(name);
  CFPropertyListRef value = CFDictionaryGetValue(values, name);
  return value != nullptr ? CFRetain(value) : nullptr;
}

bool setValue(const std::string& domain, const std::string& key, CFPropertyListRef value,
              Scope scope) {
  const std::string file = preferencesFile(domain, scope);
  if (file.empty()) {
    fail("refused domain", "\"" + domain + "\"");
    return false;
  }
  CFStringRef name = kelo::cf::makeString(key);
  if (name == nullptr) {
    fail("key is not UTF-8 text in", file);
    return false;
  }
  Releaser releaseName(name);

  const std::string folder = file.substr(0, file.find_last_of('/'));
  if (!createFolders(folder)) {
    fail("cannot create", folder, errno);
    return false;
  }
  const std::string lockPath = file + ".lock";
  // Without blocking, and only a regular file: a FIFO or device in its place is refused.
  const int lock = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644);
  if (lock < 0) {
    fail("cannot open", lockPath, errno);
    return false;
  }
  struct LockGuard {
    int fd;
    ~LockGuard() { close(fd); }  // closing releases the flock
  } guard{lock};
  struct stat lockStatus {};
  if (fstat(lock, &lockStatus) != 0 || !S_ISREG(lockStatus.st_mode)) {
    fail("not a regular file:", lockPath);
    return false;
  }
  while (flock(lock, LOCK_EX) != 0) {
    if (errno != EINTR) {
      fail("cannot lock", lockPath, errno);
      return false;
    }
  }

  // Re-read under the lock: another process may have changed other keys since.
  kelo::cf::PlistFileStatus status;
  CFPropertyListRef current = kelo::cf::readPropertyListFile(file, &status);
  Releaser releaseCurrent(current);
  if (status == kelo::cf::PlistFileStatus::NotRegularFile) {
    fail("not a regular file:", file);
    return false;
  }
  if (status == kelo::cf::PlistFileStatus::Unreadable ||
      (current != nullptr && CFGetTypeID(current) != CFDictionaryGetTypeID())) {
    fail("not a readable property-list dictionary (left as it is):", file);
    return false;
  }
  if (current == nullptr && value == nullptr) return true;  // nothing to remove

  CFMutableDictionaryRef values =
      current != nullptr
          ? CFDictionaryCreateMutableCopy(nullptr, 0, static_cast<CFDictionaryRef>(current))
          : CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                      &kCFTypeDictionaryValueCallBacks);
  Releaser releaseValues(values);
  if (value != nullptr)
    CFDictionarySetValue(values, name, value);
  else
    CFDictionaryRemoveValue(values, name);

  std::string xml;
  if (!kelo::cf::propertyListToXML(values, xml)) {
    fail("value is not a property list for", file);
    return false;
  }
  if (!replaceFile(file, xml)) {
    fail("cannot write", file, errno);
    return false;
  }
  return true;
}

}  // namespace kelo::prefs
