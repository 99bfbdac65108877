#include "tools/courier/FrontEnd.h"

#include <strings.h>

#include <string>

#include "VNL/source/FileUtils.h"
#include "tools/courier/LogGetter.h"

namespace vantor {
namespace {

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

int TerminalAlertBackend::runAlert(const AlertRequest& alert) {
  const int safe = safeAlertAnswer(alert);
  m_out << (alert.title ? alert.title : "") << "\n\n" << (alert.text ? alert.text : "") << "\n";
  for (;;) {
    m_out << "[";
    for (int i = 0; i < alert.buttonCount; ++i) m_out << (i > 0 ? "/" : "") << alert.buttons[i];
    if (safe < alert.buttonCount) m_out << "] (Enter: " << alert.buttons[safe] << ") ";
    m_out.flush();
    std::string line;
    if (!std::getline(m_in, line)) {
      m_out << "\n";
      return safe;
    }
    line = trimmed(line);
    if (line.empty()) return safe;
    for (int i = 0; i < alert.buttonCount; ++i)
      if (::strcasecmp(line.c_str(), alert.buttons[i]) == 0) return i;
  }
}

bool collectLogs(bool windows) {
  LogGetter getter;
  if (getter.run()) return true;
  if (windows)
    popupModalMessageWindow(nullptr, "Kelo Courier",
                            "No log archive was made; your logs are where they were.\n\n" +
                                getter.failure());
  return false;
}

}  // namespace vantor
