// How KeloCourier puts its question and shows its progress, through the library's facades
// (the alert backend, PxProgressDialog): the widget toolkit's windows when there is a display
// and this build has the toolkit, else the question on the terminal when standard input is one,
// else the stderr backend's safe answer, Cancel. KELO_COURIER_ANSWER ("ok" or "cancel")
// answers without asking, for tests and scripts. Main thread.
#pragma once

#include <istream>
#include <ostream>

#include "VNL/source/Alerts.h"

namespace vantor {

/// Asks on a terminal: the alert, then its buttons; a button's name (any case) answers, an
/// empty line or the end of input gives `safeAlertAnswer`, anything else asks again.
class TerminalAlertBackend final : public AlertBackend {
 public:
  TerminalAlertBackend(std::istream& in, std::ostream& out) : m_in(in), m_out(out) {}
  int runAlert(const AlertRequest& alert) override;

 private:
  std::istream& m_in;
  std::ostream& m_out;
};

/// Runs the log collection the user accepted. When no checked archive was made and `windows`
/// (the program has a display), an alert titled "Kelo Courier" says why before it returns, as a
/// desktop user never sees standard error. True when an archive was made.
bool collectLogs(bool windows);

/// Installs the widget toolkit's alert backend and progress view factory for the display named
/// by DISPLAY; false when the display cannot be opened. Defined at link time (GtkToolkit.cpp
/// in the program), so the library and its tests need no toolkit.
bool installDisplayToolkit();

}  // namespace vantor
