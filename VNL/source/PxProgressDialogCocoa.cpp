#include "VNL/source/PxProgressDialogCocoa.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <utility>

#include "platform/cf/CFString.h"

namespace vantor {
namespace {

ProgressViewFactory& viewFactory() {
  static ProgressViewFactory factory;
  return factory;
}

bool isUtf8(const std::string& text) {
  CFStringRef string = kelo::cf::makeString(text);
  if (string == nullptr) return false;
  CFRelease(string);
  return true;
}

}  // namespace

bool isMainThread() { return static_cast<pid_t>(syscall(SYS_gettid)) == getpid(); }

ProgressLayout progressLayout(bool cancellable, bool secondBar) {
  const double h = (secondBar ? 100 : 70) + (cancellable ? 30 : 0);
  ProgressLayout layout{};
  layout.content = {200, 200, 400, h};
  layout.mainBar = {20, h - 64, 360, 14};
  layout.status = {20, h - 40, 360, 20};
  if (secondBar) layout.secondBar = {20, h - 84, 360, 14};
  if (cancellable) layout.cancelButton = {170, h - (secondBar ? 110 : 90), 60, 20};
  return layout;
}

std::uint64_t progressRefreshInterval(std::uint64_t steps) {
  if (steps >= 11 && steps <= 99) return 5;
  if (steps >= 101 && steps <= 999) return 10;
  return 100;
}

void PxProgressDialogCocoa::setViewFactory(ProgressViewFactory factory) {
  viewFactory() = std::move(factory);
}

PxProgressDialogCocoa::PxProgressDialogCocoa(const std::string& title, void* context,
                                             std::uint64_t steps, bool cancellable,
                                             bool confirmCancel, bool secondBar)
    : m_title(title),
      m_context(context),
      m_confirmCancel(confirmCancel),
      m_hasSecondBar(secondBar) {
  if (!isMainThread() || !viewFactory()) return;
  m_view = viewFactory()(ProgressViewSetup{title, steps, cancellable, secondBar,
                                          progressLayout(cancellable, secondBar), this});
  if (!m_view) return;
  m_modalSession = cancellable;
  m_refreshInterval = progressRefreshInterval(steps);
}

PxProgressDialogCocoa::~PxProgressDialogCocoa() = default;

bool PxProgressDialogCocoa::step(const std::string& text) {
  ++m_current;
  if (!m_view) return !m_cancelled;
  m_view->advanceMainBar(1.0);
  const bool refresh = m_current % m_refreshInterval == 0;
  if (isUtf8(text)) {
    m_view->setStatus(text);
    if (refresh) m_view->redrawStatus();
  }
  if (refresh) {
    m_view->redrawMainBar();
    if (m_modalSession) m_view->runModalSessionOnce();
  }
  return !m_cancelled;
}

bool PxProgressDialogCocoa::setprogress(std::uint64_t n) {
  m_current = n;
  if (!m_view) return !m_cancelled;
  if (m_hasSecondBar)
    m_view->setSecondBar(static_cast<double>(n));
  else
    m_view->setMainBar(static_cast<double>(n));
  if (m_current % m_refreshInterval == 0) {
    if (m_hasSecondBar)
      m_view->redrawSecondBar();
    else
      m_view->redrawMainBar();
    if (m_modalSession) m_view->runModalSessionOnce();
  }
  return !m_cancelled;
}

void PxProgressDialogCocoa::cancelPressed() {
  if (!m_confirmCancel) {
    m_cancelled = true;
    return;
  }
  if (m_view) confirmCancelDidEnd(m_view->confirm(kConfirmText, "No", "Yes"));
}

void PxProgressDialogCocoa::confirmCancelDidEnd(int button) {
  if (button == 2) m_cancelled = true;
}

}  // namespace vantor
