#include "tools/courier/LogGetter.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "VNL/source/Config.h"
#include "VNL/source/ConsoleLogger.h"
#include "VNL/source/FileUtils.h"
#include "VNL/source/LogLine.h"
#include "VNL/source/PlatformWrappers.h"
#include "VNL/source/PxProgressDialog.h"
#include "tools/courier/CryptoFiles.h"
#include "tools/courier/TarFile.h"

namespace vantor {
namespace {

// One line of the log in the usual form, however long the text (an MD5 list of a large bundle
// exceeds a log line's buffer).
void note(const std::string& text, LogLevel level = LogLevel::Info) {
  const int fd = logDescriptor();
  if (fd < 0) return;
  char prefix[128];
  const int n = formatLogLine(prefix, sizeof prefix, level, nullptr, "%s", "");
  std::string line(prefix, static_cast<std::size_t>(n - 1));  // without its newline
  line += text;
  line += '\n';
  const char* bytes = line.data();
  std::size_t left = line.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, bytes, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    bytes += written;
    left -= static_cast<std::size_t>(written);
  }
}

bool isRegularFile(const std::string& path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// The regular files below `folder` whose extension matches `pattern`, in sorted path order.
std::set<std::string> regularFiles(const std::string& folder, const std::string& pattern) {
  std::set<std::string> listed, files;
  FileLister2(folder, pattern, listed);
  for (const std::string& path : listed)
    if (isRegularFile(path)) files.insert(path);
  return files;
}

std::string resolved(const std::string& path) {
  char buffer[PATH_MAX];
  return ::realpath(path.c_str(), buffer) != nullptr ? std::string(buffer) : path;
}

bool isBelow(const std::string& path, const std::string& folder) {
  return !folder.empty() && path.size() > folder.size() + 1 &&
         path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

// A vendor or product name that is a single folder name (an empty product name stays allowed:
// the product's logs are then those of the vendor's folder).
bool usableFolderName(const std::string& name) {
  return name != "." && name != ".." && name.find('/') == std::string::npos;
}

// Whether a member of this name, size and time fits a tar header.
bool tarCanHold(const std::string& name, std::uint64_t size, std::int64_t time) {
  TarHeader header;
  return header.setFileName(name) && header.setFilSize(size) && header.setLastModTime(time);
}

std::string joinedKeyPath(const std::vector<std::string>& keyPath) {
  std::string joined;
  for (const std::string& key : keyPath) joined += (joined.empty() ? "" : ".") + key;
  return joined;
}

}  // namespace

LogGetter::LogGetter()
    : m_userName(getUserName()),
      m_usrPath(getUserPath()),
      m_appPath(setUserPathVendorProduct("Vantor", "KeloCourier")) {}

LogGetter::~LogGetter() {
  delete m_log;
  delete m_progress;
}

std::string LogGetter::getConfigName(const std::string& vendor, const std::string& product) {
  return "com." + vendor + "." + product;
}

std::string LogGetter::getRegKeyValue(const std::string& domain, const std::string& key) {
  return getRegKeyValue(domain, std::vector<std::string>{key});
}

std::string LogGetter::getRegKeyValue(const std::string& domain,
                                      const std::vector<std::string>& keyPath) {
  note("    config : " + domain);
  note("    key    : " + joinedKeyPath(keyPath));
  std::string value;
  const bool found = keyPath.size() == 1
                         ? readConfigStringValue(domain, keyPath[0], value, CONFIG_LEVEL_SYSTEM)
                         : readConfigStringValue(domain, keyPath, value, CONFIG_LEVEL_SYSTEM);
  if (!found) {
    note("    Not found.");
    return {};
  }
  note("    value  : " + value);
  return value;
}

std::string LogGetter::macOSGetBundleMD5(const std::string& folder) {
  std::string text;
  for (const std::string& path : regularFiles(folder, "*.*"))
    text += getFileFromPath(path) + " " + PcalcMD5(path) + " ";
  return text;
}

std::uint64_t LogGetter::macOSGetFolderSize(const std::string& folder) {
  std::uint64_t total = 0;
  for (const std::string& path : regularFiles(folder, "*.*")) total += fileSize(path);
  return total;
}

void LogGetter::step(const std::string& text) {
  if (m_progress != nullptr) m_progress->step(text);
}

void LogGetter::complain(const std::string& text) {
  std::fprintf(stderr, "KeloCourier: %s\n", text.c_str());
  m_failure += text + "\n";
}

bool LogGetter::run() {
  if (m_appPath.empty()) {
    complain("cannot create the folder " + m_usrPath + "/Vantor/KeloCourier");
    return false;
  }
  m_progress = new PxProgressDialog("Kelo Courier", nullptr, 6, false, false, false);
  step("create ConsoleLogger");
  m_log = new ConsoleLogger;
  m_log->init(m_appPath + "/" + m_logName);
  note("m_usrPath : " + m_usrPath);
  note("m_appPath : " + m_appPath);
  logRegKeysValue();
  logFilesInfo();
  getLogs();
  delete m_log;
  m_log = nullptr;
  const std::string archive = compressLogs();
  if (!archive.empty()) deleteArchivedSources();
  delete m_progress;
  m_progress = nullptr;
  return !archive.empty();
}

void LogGetter::logRegKeysValue() {
  note("Scan Registry:");
  step("Scan Registry");
  const std::string domain = getConfigName("vantor", "kelo");
  step("getRegKeyValue(" + domain + ", " + "base_dir" + ")");
  getRegKeyValue(domain, "base_dir");
  step("getRegKeyValue(" + domain + ", " + "path" + ")");
  const std::string path = getRegKeyValue(domain, "path");
  if (!path.empty()) m_enginePaths.push_back(path);

  note("  Listing Products:");
  step("Listing Products");
  step("listConfigKeys(" + domain + ", " + "Products" + "...)");
  std::vector<std::string> keys;
  if (listAndMergeSystemUserConfigKeys(domain, "Products", keys)) {
    for (const std::string& key : keys) m_products.push_back(Product{key, {}, {}, {}});
    for (Product& product : m_products) {
      note("  " + product.key);
      const std::vector<std::string> productPath{"Products", product.key, "product"};
      step("getRegKeyValue(" + domain + ", " + joinedKeyPath(productPath) + ")");
      const std::string name = getRegKeyValue(domain, productPath);
      if (!name.empty()) product.product = name;
      const std::vector<std::string> vendorPath{"Products", product.key, "vendor"};
      step("getRegKeyValue(" + domain + ", " + joinedKeyPath(vendorPath) + ")");
      product.vendor = getRegKeyValue(domain, vendorPath);
      note("");
      const std::string productDomain = getConfigName(product.vendor, product.product);
      step("getRegKeyValue(" + productDomain + ", " + "base_dir" + ")");
      product.base_dir = getRegKeyValue(productDomain, "base_dir");
    }
  }

  note("  Listing Converters:");
  step("Listing Converters:");
  step("listConfigKeys(" + domain + ", " + "Converters" + "...)");
  std::vector<std::string> converters;
  listConfigStringKeys(domain, "Converters", converters, CONFIG_LEVEL_SYSTEM);
}

void LogGetter::logFilesInfo() {
  note("Kelo info:");
  step("Getting Kelo info");
  for (const std::string& engine : m_enginePaths) {
    note("  " + engine);
    step("Get Kelo version");
    note("  Version : " + macOSGetBundleVersion(engine));
    step("Get Kelo time");
    note("  Time    : " + getFileTimeDetails(engine));
    step("Get Kelo size");
    note("  Size    : " + std::to_string(macOSGetFolderSize(engine)));
    step("Get Kelo MD5");
    note("  MD5     : " + macOSGetBundleMD5(engine));
  }
}

void LogGetter::getLogs() {
  note("Getting Logs:");
  step("Getting Logs");
  // The previous run's copies: in the previous archive, or their sources still exist.
  step("deleting old logs");
  for (const std::string& old : regularFiles(m_appPath, "*.log")) {
    if (getFileFromPath(old) != m_logName) PDeleteFile(old);
  }
  m_takenNames = {m_logName};

  note("  Kelo:");
  step("listing kelo logs");
  gatherFolder(m_usrPath + "/" + "Vantor" + "/" + "Kelo");

  for (const Product& product : m_products) {
    note("  " + product.key + ":");
    if (product.vendor.empty() || !usableFolderName(product.vendor) ||
        !usableFolderName(product.product)) {
      note("  skipped: vendor \"" + product.vendor + "\" and product \"" + product.product +
               "\" do not name a product folder",
           LogLevel::Error);
      continue;
    }
    step("listing " + product.vendor + " " + product.product + " logs");
    gatherFolder(m_usrPath + "/" + product.vendor + "/" + product.product);
  }
}

std::string LogGetter::distinctName(const std::string& name) const {
  if (m_takenNames.count(name) == 0) return name;
  const std::string stem = stripFileExtension(name);
  const std::string extension = name.substr(stem.size());
  for (unsigned n = 2;; ++n) {
    const std::string candidate = stem + "-" + std::to_string(n) + extension;
    if (m_takenNames.count(candidate) == 0) return candidate;
  }
}

void LogGetter::gatherFolder(const std::string& folder) {
  const std::string toolFolder = resolved(m_appPath);
  for (const std::string& source : regularFiles(folder, "*.log")) {
    // Our own files are never gathered, and a folder listed twice gives each file once.
    const std::string real = resolved(source);
    if (isBelow(real, toolFolder) || !m_seenSources.insert(real).second) continue;
    note("    " + source);
    const std::string name = distinctName(getFileFromPath(source));
    if (!tarCanHold(name, fileSize(source), fileDate(source))) {
      note(
          "not gathered, as the archive cannot hold its name (over 100 bytes), size (8 GiB "
          "or more) or time: " +
              source,
          LogLevel::Error);
      continue;
    }
    step("copy " + getFileFromPath(source));
    const std::string target = m_appPath + "/" + name;
    if (copyStatus(PCopyFile(source, target, true)) != VNL_CopyDone) {
      note("error copying file " + source + " to " + target, LogLevel::Error);
      continue;
    }
    m_takenNames.insert(name);
    m_gathered.push_back({source, target});
  }
}

std::string LogGetter::compressLogs() {
  const std::string desktop = getUserDesktop();
  if (desktop.empty() || PCreateDir(desktop) != 0) {
    complain("no desktop folder to write the archive to: " + desktop);
    return {};
  }
  const std::string tarPath = desktop + "/" + "Kelo logs.tar";
  step("creating Kelo logs.tar");
  TarFile tar;
  if (tar.open(tarPath) == nullptr) {
    complain("cannot create " + tarPath + ": " + std::strerror(errno));
    return {};
  }
  step("listing logs");
  const std::set<std::string> logs = regularFiles(m_appPath, "*.log");
  std::vector<std::string> order;
  for (const std::string& path : logs)
    if (getFileFromPath(path) == m_logName) order.push_back(path);
  for (const std::string& path : logs)
    if (getFileFromPath(path) != m_logName) order.push_back(path);
  std::set<std::string> added;
  for (const std::string& path : order) {
    step("Adding " + getFileFromPath(path) + " to tar");
    if (tar.addFile(path)) {
      added.insert(path);
    } else {
      complain("cannot add " + path + " to " + tarPath);
    }
  }
  if (tar.close() != 0) {
    complain("cannot write " + tarPath);
    return {};
  }
  const std::string archive = compressBigLog(tarPath);
  if (!archive.empty()) m_archived = std::move(added);
  return archive;
}

std::string LogGetter::compressBigLog(const std::string& tarPath) {
  step("Creating Kelo logs " + m_userName + ".tar.gz");
  const std::string desktop = getUserDesktop();
  const std::string archive = desktop + "/" + "Kelo logs " + m_userName + ".tar.gz";
  if (fileExists(archive)) {
    const std::time_t time = static_cast<std::time_t>(fileDate(archive));
    struct tm local {};
    char date[64] = {};
    if (::localtime_r(&time, &local) != nullptr) std::strftime(date, sizeof date, "%x %X", &local);
    std::string text = date;
    for (char& c : text) {
      if (c == '/') c = '-';
      if (c == ':') c = '_';
    }
    const std::string kept =
        desktop + "/" + "Kelo logs " + m_userName + "(" + text + ")" + ".tar.gz";
    if (copyStatus(PCopyFile(archive, kept, true)) != VNL_CopyDone) {
      complain("cannot keep the earlier archive as " + kept + "; it stays as " + archive);
      return {};
    }
  }
  if (!PGzipFile(tarPath, archive)) {
    complain("cannot write " + archive);
    return {};
  }
  if (!gzipHolds(archive, tarPath)) {
    complain(archive + " does not decompress to " + tarPath + "; the logs stay where they were");
    return {};
  }
  step("delete Kelo logs.tar");
  if (PDeleteFile(tarPath) != 0) complain("cannot delete " + tarPath);
  return archive;
}

void LogGetter::deleteArchivedSources() {
  for (const Gathered& gathered : m_gathered) {
    if (m_archived.count(gathered.copy) == 0) continue;
    if (PDeleteFile(gathered.source) != 0) complain("cannot delete " + gathered.source);
  }
}

}  // namespace vantor
