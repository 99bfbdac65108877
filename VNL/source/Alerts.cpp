#include "VNL/source/Alerts.h"

#include "VNL/source/LogLine.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

namespace vantor {
namespace {

std::atomic<AlertBackend*> g_backend{nullptr};

int askAlert(const std::string& title, const std::string& text, const char* const* buttons, int count) {
  const AlertRequest alert{title.c_str(), text.c_str(), buttons, count};
  return alertBackend().runAlert(alert);
}

}  // namespace

int StderrAlertBackend::runAlert(const AlertRequest& alert) {
  const int answer = safeAlertAnswer(alert);
  const char* button = answer < alert.buttonCount ? alert.buttons[answer] : "";
  // One write, so that an alert never mixes with a log line going to the same terminal.
  char line[4096];
  int n = std::snprintf(line, sizeof line, "alert: %s: %s [%s]\n", alert.title ? alert.title : "",
                        alert.text ? alert.text : "", button);
  if (n < 0) return answer;
  if (n >= static_cast<int>(sizeof line)) {
    n = sizeof line;
    line[n - 1] = '\n';
  }
  ssize_t written;
  do {
    written = ::write(STDERR_FILENO, line, static_cast<size_t>(n));
  } while (written < 0 && errno == EINTR);
  // Nobody may be watching stderr (a plug-in inside a host): the log keeps the alert too.
  PLOGI("%.*s", n - 1, line);
  return answer;
}

int RecordingAlertBackend::runAlert(const AlertRequest& alert) {
  Shown shown{alert.title ? alert.title : "", alert.text ? alert.text : "", {}};
  for (int i = 0; i < alert.buttonCount; ++i) shown.buttons.emplace_back(alert.buttons[i]);
  m_shown.push_back(std::move(shown));
  if (m_answers.empty()) return m_defaultAnswer;
  const int answer = m_answers.front();
  m_answers.pop_front();
  return answer;
}

AlertBackend& alertBackend() {
  static StderrAlertBackend stderrBackend;
  AlertBackend* installed = g_backend.load(std::memory_order_acquire);
  return installed != nullptr ? *installed : stderrBackend;
}

void setAlertBackend(AlertBackend* backend) { g_backend.store(backend, std::memory_order_release); }

}  // namespace vantor

void popupModalMessageWindowCocoa(void*, const std::string& title, const std::string& text) {
  static const char* const buttons[] = {"OK"};
  vantor::askAlert(title, text, buttons, 1);
}

bool popupModalYesNoWindowCocoa(void*, const std::string& title, const std::string& text) {
  static const char* const buttons[] = {"Yes", "No"};
  return vantor::askAlert(title, text, buttons, 2) != 1;
}

bool popupModalOkCancelWindowCocoa(void*, const std::string& title, const std::string& text) {
  static const char* const buttons[] = {"Ok", "Cancel"};
  // Only "Ok" goes on: an alert closed without a button gives the safe answer, as Cancel does.
  return vantor::askAlert(title, text, buttons, 2) == 0;
}
