// Plug-in form: the log is the logger's own stream and its descriptor carries every line.
#include "VNL/source/ConsoleLogger.h"

#include <sys/stat.h>

#include <mutex>
#include <vector>

std::ostream* g_pluginStream = nullptr;

using vantor::LogLevel;

namespace {

// The logs this process closed, as it left them. A host that removes its last instance and
// adds one later opens the same log again: the process keeps the lines it wrote, while a log
// anyone else has written since is another run's and is replaced as usual.
struct ClosedLog {
  dev_t device;
  ino_t inode;
  off_t size;
};
std::mutex g_closedLock;
std::vector<ClosedLog> g_closedLogs;

bool closedAsLeft(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return false;
  std::lock_guard<std::mutex> hold(g_closedLock);
  for (const ClosedLog& log : g_closedLogs)
    if (log.device == status.st_dev && log.inode == status.st_ino && log.size == status.st_size)
      return true;
  return false;
}

void noteClosed(int descriptor) {
  struct stat status {};
  if (::fstat(descriptor, &status) != 0) return;
  std::lock_guard<std::mutex> hold(g_closedLock);
  for (ClosedLog& log : g_closedLogs)
    if (log.device == status.st_dev && log.inode == status.st_ino) {
      log.size = status.st_size;
      return;
    }
  g_closedLogs.push_back(ClosedLog{status.st_dev, status.st_ino, status.st_size});
}

}  // namespace

ConsoleLogger::ConsoleLogger() = default;

bool ConsoleLogger::init(const std::string& path) {
  m_path = path;
  const std::string stamp = vantor::logStamp(true);
  const bool reopened = closedAsLeft(path);
  if (!reopened) vantor::keepUnclosedLog(path, stamp);
  m_logStream.open(path, reopened ? vantor::LogDescriptorStream::Opening::KeepContent
                                  : vantor::LogDescriptorStream::Opening::Truncate);
  g_pluginStream = &m_logStream;
  if (!good()) {
    vantor::setLogDescriptor(-1);  // lines are dropped, as by the failed stream
    return false;
  }
  if (reopened) m_logStream << '\n';  // the earlier closing "@" keeps a line of its own
  m_logStream.writeLine(LogLevel::Info, "g_pluginStream:%p", static_cast<void*>(g_pluginStream));
  if (!good()) {
    vantor::setLogDescriptor(-1);
    return false;
  }
  m_logStream.writeLine(LogLevel::Info, "%s opened on: %s BUILD:%s", m_path.c_str(), stamp.c_str(),
                        vantor::logBuildDate());
  m_logStream.writeLine(LogLevel::Info, "%s", vantor::kLogSeparator);
  // Other threads' lines start after the opening lines.
  vantor::setLogDescriptor(m_logStream.descriptor());
  return good();
}

bool ConsoleLogger::good() { return m_logStream.good(); }

ConsoleLogger::~ConsoleLogger() {
  // The closing lines go to this logger's own file, so that its last byte is "@".
  if (m_logStream.descriptor() >= 0) {
    // Lines written from now on are dropped: none follows the "@", none reaches a closed
    // descriptor.
    if (vantor::logDescriptor() == m_logStream.descriptor()) vantor::setLogDescriptor(-1);
    const std::string stamp = vantor::logStamp(false);
    m_logStream.writeLine(LogLevel::Info, "%s", vantor::kLogSeparator);
    m_logStream.writeLine(LogLevel::Info, "%s closed on: %s", m_path.c_str(), stamp.c_str());
    m_logStream << '@' << std::flush;
    noteClosed(m_logStream.descriptor());
  }
  if (g_pluginStream == &m_logStream) g_pluginStream = nullptr;
  m_logStream.close();
}
