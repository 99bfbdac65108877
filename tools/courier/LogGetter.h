// The support tool's log collection: a report of the installation (configuration values, the
// engine's version, time, size and file fingerprints) in the tool's own log, the engine's and
// every product's logs gathered into the tool folder, all packed into "Kelo logs.tar" on the
// desktop and compressed to "Kelo logs <user>.tar.gz". Nothing is lost when a step fails: a
// source log is deleted only once the archive holding it has been written and checked.
//
// Made, run and destroyed by KeloCourier's main, on the main thread. `run` takes over standard
// output and error while the tool's log is open (the program form of ConsoleLogger).
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

class ConsoleLogger;

namespace vantor {

class PxProgressDialog;

/// An installed product as the configuration lists it.
struct Product {
  std::string key;
  std::string product;
  std::string vendor;
  std::string base_dir;
};

class LogGetter {
 public:
  /// Asks the user's name and folders and creates the tool folder.
  LogGetter();
  /// Deletes a log object or progress dialog still open.
  virtual ~LogGetter();
  LogGetter(const LogGetter&) = delete;
  LogGetter& operator=(const LogGetter&) = delete;

  /// The whole collection. True when a checked archive was written; failures after the tool's
  /// log is closed are written to standard error, and kept for `failure`.
  bool run();
  /// What went wrong in `run`, one line per failure ("" when nothing did).
  const std::string& failure() const { return m_failure; }

  /// "com." + vendor + "." + product.
  static std::string getConfigName(const std::string& vendor, const std::string& product);
  /// Reads a text value at the system level and logs domain, key (a path joined by ".") and the
  /// value, or "Not found." and "".
  std::string getRegKeyValue(const std::string& domain, const std::string& key);
  std::string getRegKeyValue(const std::string& domain, const std::vector<std::string>& keyPath);
  /// Each regular file below `folder` in sorted path order: its name, a blank, its MD5, a blank.
  static std::string macOSGetBundleMD5(const std::string& folder);
  /// The sum of the sizes of the regular files below `folder`.
  static std::uint64_t macOSGetFolderSize(const std::string& folder);

  const std::vector<std::string>& enginePaths() const { return m_enginePaths; }
  const std::vector<Product>& products() const { return m_products; }

 private:
  // A log copied into the tool folder in this run.
  struct Gathered {
    std::string source;
    std::string copy;
  };

  void step(const std::string& text);
  void complain(const std::string& text);
  void logRegKeysValue();
  void logFilesInfo();
  void getLogs();
  /// The archive's path, or "" when no checked archive was made.
  std::string compressLogs();
  std::string compressBigLog(const std::string& tarPath);
  void gatherFolder(const std::string& folder);
  /// `name`, or "<stem>-2.log", "-3" and so on when the name is taken in this run.
  std::string distinctName(const std::string& name) const;
  void deleteArchivedSources();

  ConsoleLogger* m_log = nullptr;
  PxProgressDialog* m_progress = nullptr;
  std::string m_userName;
  std::string m_usrPath;
  std::string m_appPath;
  std::string m_logName = "KeloCourier.log";
  std::vector<std::string> m_enginePaths;
  std::vector<Product> m_products;

  std::vector<Gathered> m_gathered;
  std::set<std::string> m_takenNames;
  std::set<std::string> m_seenSources;  // as the file system resolves them
  std::set<std::string> m_archived;     // tool-folder files in the checked archive
  std::string m_failure;
};

}  // namespace vantor
