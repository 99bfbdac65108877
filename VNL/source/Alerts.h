// Modal alerts of the library, behind a small backend so that each deliverable shows them its
// own way: the programs install a GTK dialog backend when a display is present, the plug-ins
// never block their host and keep the stderr backend, tests install a recording backend.
//
// Alerts run on the main thread only (as do backend changes made while one may be showing).
// The gate `vantor::VNL::sPopupModalCocoaMode` lives with the callers (FileUtils.h).
#pragma once

#include <deque>
#include <string>
#include <vector>

namespace vantor {

/// One alert: title (the message), text (the informative text), buttons left to right.
struct AlertRequest {
  const char* title;
  const char* text;
  const char* const* buttons;
  int buttonCount;
};

/// What `AlertBackend::runAlert` answers when the alert ended without a button.
inline constexpr int kAlertEndedOtherwise = -1;

/// The answer of a backend that cannot wait for a person: the only button of a message, the
/// second button (the safe choice: "No", "Cancel") of a question.
inline int safeAlertAnswer(const AlertRequest& alert) { return alert.buttonCount >= 2 ? 1 : 0; }

class AlertBackend {
 public:
  virtual ~AlertBackend() = default;
  /// Shows the alert until it is answered; the index of the button that ended it, or
  /// kAlertEndedOtherwise.
  virtual int runAlert(const AlertRequest& alert) = 0;
};

/// Writes each alert as one line on stderr and as an information line in the log, and answers
/// at once without waiting: `safeAlertAnswer`.
class StderrAlertBackend final : public AlertBackend {
 public:
  int runAlert(const AlertRequest& alert) override;
};

/// Keeps every alert it is shown and answers from a script; for tests.
class RecordingAlertBackend final : public AlertBackend {
 public:
  struct Shown {
    std::string title;
    std::string text;
    std::vector<std::string> buttons;
  };

  int runAlert(const AlertRequest& alert) override;

  /// Answers given to the next alerts, in order; when none is left, `defaultAnswer()`.
  void queueAnswer(int answer) { m_answers.push_back(answer); }
  void setDefaultAnswer(int answer) { m_defaultAnswer = answer; }
  int defaultAnswer() const { return m_defaultAnswer; }
  const std::vector<Shown>& shown() const { return m_shown; }

 private:
  std::vector<Shown> m_shown;
  std::deque<int> m_answers;
  int m_defaultAnswer = 0;
};

/// The backend in use: the one last installed, else a process-wide StderrAlertBackend.
AlertBackend& alertBackend();
/// Installs `backend` (not owned; it must outlive its use); null restores stderr.
void setAlertBackend(AlertBackend* backend);

}  // namespace vantor

// The modal alerts themselves. `parent` is not used; title and text are UTF-8. They are shown
// whatever the library's alert mode says: the gate is their callers' (popupModal*Window).
void popupModalMessageWindowCocoa(void* parent, const std::string& title, const std::string& text);
/// Buttons "Yes", "No"; false only when "No" ended the alert.
bool popupModalYesNoWindowCocoa(void* parent, const std::string& title, const std::string& text);
/// Buttons "Ok", "Cancel"; true only when "Ok" ended the alert (closed without a button: false).
bool popupModalOkCancelWindowCocoa(void* parent, const std::string& title, const std::string& text);
