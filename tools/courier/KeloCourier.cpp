// KeloCourier: after a warning the user accepts, collects the installation report and every
// product's logs into "Kelo logs <user>.tar.gz" on the desktop for support staff. No command
// line. Exit status 1 when the user accepted and no checked archive was made, else 0.
#include <strings.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "VNL/source/Alerts.h"
#include "VNL/source/FileUtils.h"
#include "VNL/source/PxProgressDialog.h"
#include "tools/courier/FrontEnd.h"

namespace {

std::string warningText() {
  std::string text;
  text += "WARNING:\n";
  text +=
      "- Logs should only be generated following a request from support staff. If support "
      "staff did not ask for logs, press [Cancel].\n\n";
  text +=
      "- Make sure you have reproduced the issue right before running this tool. If a "
      "technical issue did not occur, press [Cancel].\n\n\n";
  text += "IMPORTANT:\n";
  text +=
      "- For support information specific to your product, please look at your user's "
      "manual or visit your product's website.\n";
  text +=
      "- For general support information, please read the README that comes with the Kelo "
      "host suite.\n";
  text += "\n";
  text +=
      "By clicking [OK], this tool will produce a log file named \"Kelo logs "
      "(yourname).tar.gz\" on your desktop.";
  text +=
      "This file will contains all the events from your last session using an KELO "
      "product.\n";
  return text;
}

// "ok" 0, "cancel" 1 (any case); anything else is taken as Cancel, said on stderr.
int scriptedButton(const char* answer) {
  if (::strcasecmp(answer, "ok") == 0) return 0;
  if (::strcasecmp(answer, "cancel") != 0)
    std::fprintf(stderr,
                 "KeloCourier: KELO_COURIER_ANSWER=%s is neither ok nor cancel: cancelled\n",
                 answer);
  return 1;
}

}  // namespace

int main() {
  const char* display = std::getenv("DISPLAY");
  const bool windows = display != nullptr && *display != '\0' && vantor::installDisplayToolkit();
  vantor::PxProgressDialog::sCocoaMode = windows ? 1 : 0;
  vantor::VNL::sPopupModalCocoaMode = 1;

  vantor::RecordingAlertBackend scripted;
  vantor::TerminalAlertBackend terminal(std::cin, std::cerr);
  if (const char* answer = std::getenv("KELO_COURIER_ANSWER")) {
    scripted.setDefaultAnswer(scriptedButton(answer));
    vantor::setAlertBackend(&scripted);
  } else if (!windows && ::isatty(STDIN_FILENO) == 1) {
    vantor::setAlertBackend(&terminal);
  }
  // Otherwise the toolkit's dialog, or without one the stderr backend's safe answer, Cancel.

  const bool accepted = popupModalOkCancelWindow(nullptr, "Kelo Courier", warningText());
  const int status = accepted && !vantor::collectLogs(windows) ? 1 : 0;
  vantor::setAlertBackend(nullptr);
  return status;
}
