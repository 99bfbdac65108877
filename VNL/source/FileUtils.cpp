#include "VNL/source/FileUtils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "VNL/source/Alerts.h"
#include "VNL/source/CFWrappers.h"
#include "VNL/source/PlatformWrappers.h"

namespace vantor {

namespace VNL {
int sPopupModalCocoaMode = 1;
}  // namespace VNL

void* defaultAlloc(std::size_t size) { return std::calloc(size == 0 ? 1 : size, 1); }

void defaultFree(void* block) { std::free(block); }

void* defaultRealloc(void* block, std::size_t size) { return std::realloc(block, size == 0 ? 1 : size); }

}  // namespace vantor

namespace {

std::uint64_t monotonicTicks() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000000000u + static_cast<std::uint64_t>(now.tv_nsec);
}

std::string userFolder(VNL_FindFolder kind) {
  std::string path;
  return wrap_FindFolder(kind, VNL_UserDomain, path, false) ? path : std::string();
}

}  // namespace

std::string getUserPath() { return userFolder(VNL_ApplicationSupportFolder); }

std::string getUserDesktop() { return userFolder(VNL_DesktopFolder); }

std::string getUserName() {
  std::string name;
  wrap_userName(name);
  return name;
}

const std::string& getTempDir() {
  static const std::string folder = [] {
    std::string path;
    wrap_tempDirectory(path);
    return path;
  }();
  return folder;
}

std::string getSandboxResourcePath() { return {}; }

std::string setUserPathVendorProduct(const std::string& vendor, const std::string& product) {
  std::string base;
  if (!wrap_FindFolder(VNL_ApplicationSupportFolder, VNL_UserDomain, base, false)) return {};
  const std::string path = base + "/" + vendor + "/" + product;
  const vantor::CFURLWrapper url(path.data(), static_cast<CFIndex>(path.size()), true);
  return wrap_CreateFolders(url, true) ? path : std::string();
}

std::string PGetCurrentApplicationPath(void*) {
  std::string name;
  if (wrap_processName(name) && !name.empty()) return name;
  std::fputs("wrap_processName failed or gave empty name, dummy case\n", stderr);
  return "dummy";
}

std::string makeTempFileName(const std::string& suffix) {
  return getTempDir() + "/vnt" + std::to_string(monotonicTicks()) + suffix;
}

bool directoryWriteAccess(const std::string& folder) {
  if (folder.empty()) return false;
  const std::string probe = folder + "/ vnt" + std::to_string(monotonicTicks()) + ".tmp";
  // O_EXCL: the probe never truncates a file that happens to carry its name.
  const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(probe.c_str());
  return true;
}

bool fileExists(const std::string& path, bool) { return wrap_FileExists(path); }

bool directoryExists(const std::string& path) { return wrap_FileExists(path); }

std::uint64_t fileSize(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return 0;
  return static_cast<std::uint64_t>(status.st_size);
}

std::int64_t fileDate(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return 0;
  return static_cast<std::int64_t>(status.st_mtime);
}

std::string getFileTimeDetails(const std::string& path) {
  const time_t when = static_cast<time_t>(fileDate(path));
  char text[64] = {};
  if (::ctime_r(&when, text) == nullptr) return "mtime : ";
  std::string line = std::string("mtime : ") + text;
  if (!line.empty() && line.back() == '\n') line.pop_back();
  return line;
}

int PDeleteFile(const std::string& path) { return std::remove(path.c_str()) == 0 ? 0 : -1; }

bool PDeleteDirectory(const std::string& path) { return wrap_deleteDirectory(path); }

std::uint64_t PCopyFile(const std::string& source, const std::string& target, bool overwrite) {
  return wrap_CopyFile(source, target, overwrite);
}

int PCreateDir(const std::string& path) {
  const std::string parent = getPathFromFile(path);
  if (!parent.empty() && !wrap_FileExists(parent)) {
    const int result = PCreateDir(parent);
    if (result != 0) return result;
  }
  // The folder itself too, once its parents are there.
  const vantor::CFURLWrapper url(path.data(), static_cast<CFIndex>(path.size()), true);
  return wrap_CreateFolders(url, false) ? 0 : 2;
}

bool fixFilePermission(const std::string& folder, const std::string& name) {
  return wrap_fixFilePermission(folder, name);
}

bool PGetVolumeUIDForPath(const std::string& path, std::string& out, bool) {
  std::error_code error;
  std::filesystem::path here = std::filesystem::canonical(path, error);
  if (error) return false;
  struct stat status {};
  if (::stat(here.c_str(), &status) != 0) return false;
  const dev_t device = status.st_dev;
  // Climb while the parent is on the same file system: the last such folder is the mount point.
  while (here.has_parent_path() && here.parent_path() != here) {
    struct stat parent {};
    if (::stat(here.parent_path().c_str(), &parent) != 0 || parent.st_dev != device) break;
    here = here.parent_path();
  }
  const std::string mount = here.string();
  const vantor::CFURLWrapper url(mount.data(), static_cast<CFIndex>(mount.size()), true);
  if (url.getCFURLRef() == nullptr) return false;
  vantor::CFStringWrapper text(static_cast<CFStringRef>(CFRetain(CFURLGetString(url.getCFURLRef()))));
  return text.getCString1024(out, kCFStringEncodingUTF8);
}

unsigned char* binFileInternalize(const std::string& path, std::size_t& length, std::size_t& spare) {
  return binFileInternalize(path, length, spare, UINT64_MAX);
}

unsigned char* binFileInternalize(const std::string& path, std::size_t& length, std::size_t& spare,
                                  std::uint64_t maxLength) {
  length = 0;
  // O_NONBLOCK: a FIFO is refused below instead of waited on here.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return nullptr;
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size < 0) {
    ::close(fd);
    return nullptr;
  }
  const auto size = static_cast<std::uint64_t>(status.st_size);
  // No allocator hands out more than PTRDIFF_MAX bytes; beyond it the sum is refused before it
  // can wrap.
  const std::uint64_t limit = static_cast<std::uint64_t>(PTRDIFF_MAX) - 15;
  if (size > maxLength || size > limit || spare > limit - size) {
    ::close(fd);
    errno = EFBIG;
    return nullptr;
  }
  std::size_t blockSize = (static_cast<std::size_t>(size) + spare + 15) & ~static_cast<std::size_t>(15);
  if (blockSize == 0) blockSize = 16;
  auto* block = static_cast<unsigned char*>(std::calloc(blockSize, 1));
  if (block == nullptr) {
    ::close(fd);
    return nullptr;
  }
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::read(fd, block + got, static_cast<std::size_t>(size) - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  if (got < size) {
    std::free(block);
    return nullptr;
  }
  length = got;
  spare = blockSize - got;
  return block;
}

void binFileFree(void* block) { std::free(block); }

bool binFileExternalize(const std::string& path, const void* bytes, std::size_t length) {
  if (bytes == nullptr && length != 0) return false;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const std::size_t written = length == 0 ? 0 : std::fwrite(bytes, 1, length, file);
  const bool closed = std::fclose(file) == 0;
  return written == length && closed;
}

bool pathIsRelative(const std::string& path) { return path.empty() || path.front() != '/'; }

std::string getFileExtension(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::string stripFileExtension(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string getFileFromPath(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string getPathFromFile(const std::string& path) {
  if (path.empty()) return {};
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

void cleanPathName(std::string& name) {
  for (char& c : name)
    if (std::strchr("\\/*?><|: ", c) != nullptr && c != '\0') c = '_';
}

void PToPosix(const std::string& in, std::string& out) {
  out = in;
  for (char& c : out)
    if (c == '\\') c = '/';
}

void PToPosix(const char* in, std::string& out) { PToPosix(std::string(in != nullptr ? in : ""), out); }

void PToPosix(const std::wstring& in, std::wstring& out) {
  out = in;
  for (wchar_t& c : out)
    if (c == L'\\') c = L'/';
}

std::string localToFileSystem(const std::string& text) {
  const vantor::CFStringWrapper local(text, CFStringGetSystemEncoding(), false);
  std::string utf8;
  return local.getCString1024(utf8, kCFStringEncodingUTF8) ? utf8 : text;
}

void popupModalMessageWindow(void* parent, const std::string& title, const std::string& text) {
  if (vantor::VNL::sPopupModalCocoaMode == 1) popupModalMessageWindowCocoa(parent, title, text);
}

bool popupModalYesNoWindow(void* parent, const std::string& title, const std::string& text, bool) {
  return vantor::VNL::sPopupModalCocoaMode == 1 && popupModalYesNoWindowCocoa(parent, title, text);
}

bool popupModalOkCancelWindow(void* parent, const std::string& title, const std::string& text) {
  return vantor::VNL::sPopupModalCocoaMode == 1 && popupModalOkCancelWindowCocoa(parent, title, text);
}

void startEditor(const std::string& path) { wrapOpenURL(path); }

void startBrowser(const std::string& url) { wrap_openURLText(url); }

double getPlatformScale() { return 1.0; }

void IDELog(const std::string&) {}

double PTimeMilli() { return static_cast<double>(monotonicTicks()) * 0.001; }

void PmilliSleep(int milliseconds) {
  if (milliseconds <= 0) return;
  timespec left{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
  while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}
