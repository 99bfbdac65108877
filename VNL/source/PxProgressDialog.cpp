#include "VNL/source/PxProgressDialog.h"

namespace vantor {

int PxProgressDialog::sCocoaMode = 1;

PxProgressDialog::PxProgressDialog(const std::string& title, void* parent, std::uint64_t steps,
                                   bool cancellable, bool confirmCancel, bool secondBar)
    : m_title(title) {
  if (sCocoaMode == 1)
    m_window = new PxProgressDialogCocoa(title, parent, steps, cancellable, confirmCancel,
                                         secondBar);
}

PxProgressDialog::~PxProgressDialog() { delete m_window; }

bool PxProgressDialog::step(const std::string& text) {
  ++m_current;
  if (m_window == nullptr) return true;
  const bool going = m_window->step(text);
  m_cancelled = !going;
  return going;
}

bool PxProgressDialog::setprogress(std::uint64_t n) {
  m_current = n;
  if (m_window == nullptr) return true;
  const bool going = m_window->setprogress(n);
  m_cancelled = !going;
  return going;
}

}  // namespace vantor
