// Plug-in form: the log is the logger's own stream and its descriptor carries every line.
#include "VNL/source/ConsoleLogger.h"

std::ostream* g_pluginStream = nullptr;

using vantor::LogLevel;

ConsoleLogger::ConsoleLogger() = default;

bool ConsoleLogger::init(const std::string& path) {
  m_path = path;
  const std::string stamp = vantor::logStamp(true);
  vantor::keepUnclosedLog(path, stamp);
  m_logStream.open(path);
  g_pluginStream = &m_logStream;
  if (!good()) {
    vantor::setLogDescriptor(-1);  // lines are dropped, as by the failed stream
    return false;
  }
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
  }
  if (g_pluginStream == &m_logStream) g_pluginStream = nullptr;
  m_logStream.close();
}
