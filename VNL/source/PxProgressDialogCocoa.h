// The progress window behind `PxProgressDialog`: a titled window with a status line, a bar
// advanced one step at a time, an optional second bar (0 to 100) for the progress within a step
// and an optional Cancel button that may ask "Do you really want to cancel?".
//
// The core here is toolkit-free: it decides what to show and when to redraw, and drives a
// `ProgressView` that the widget toolkit provides through `setViewFactory`. A dialog has a view
// only when it is created on the main thread and a factory is installed; otherwise it only
// counts. Main thread only (a dialog made elsewhere touches no window).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vantor {

/// Positions and sizes in points, origin at the bottom left of the content area.
struct ProgressRect {
  double x, y, width, height;
  bool operator==(const ProgressRect&) const = default;
};

/// Where everything goes; present parts only (the others are all zeros).
struct ProgressLayout {
  ProgressRect content;  // the window's content rectangle on screen
  ProgressRect mainBar;
  ProgressRect status;
  ProgressRect secondBar;
  ProgressRect cancelButton;
};

ProgressLayout progressLayout(bool cancellable, bool secondBar);

/// Redraw every this many steps: 5 for 11 to 99 steps, 10 for 101 to 999, else 100.
std::uint64_t progressRefreshInterval(std::uint64_t steps);

class PxProgressDialogCocoa;

/// What a view is built from.
struct ProgressViewSetup {
  std::string title;  // the window's title and first status text
  std::uint64_t steps;
  bool cancellable;
  bool secondBar;
  ProgressLayout layout;
  PxProgressDialogCocoa* dialog = nullptr;  // the dialog being built, told of Cancel presses
};

/// A toolkit's progress window. Built and shown (centred, above other windows, focused) by its
/// factory; closed when deleted. Main thread.
class ProgressView {
 public:
  virtual ~ProgressView() = default;
  virtual void advanceMainBar(double delta) = 0;
  virtual void setMainBar(double value) = 0;
  virtual void setSecondBar(double value) = 0;
  virtual void setStatus(const std::string& utf8) = 0;
  virtual void redrawStatus() = 0;
  virtual void redrawMainBar() = 0;
  virtual void redrawSecondBar() = 0;
  /// Handles pending user input once (cancellable dialogs only): a press on Cancel arrives as
  /// `PxProgressDialogCocoa::cancelPressed`.
  virtual void runModalSessionOnce() = 0;
  /// Asks `message` with the buttons `first` and `second`, in that order, as a warning attached
  /// to the window; answers 1 or 2 for the button pressed.
  virtual int confirm(const std::string& message, const std::string& first,
                      const std::string& second) = 0;
};

using ProgressViewFactory =
    std::function<std::unique_ptr<ProgressView>(const ProgressViewSetup& setup)>;

class PxProgressDialogCocoa {
 public:
  PxProgressDialogCocoa(const std::string& title, void* context, std::uint64_t steps,
                        bool cancellable, bool confirmCancel, bool secondBar);
  virtual ~PxProgressDialogCocoa();
  PxProgressDialogCocoa(const PxProgressDialogCocoa&) = delete;
  PxProgressDialogCocoa& operator=(const PxProgressDialogCocoa&) = delete;

  /// One step done; `text` becomes the status line. True until the user cancelled.
  virtual bool step(const std::string& text);
  /// Sets the second bar (without one, the main bar) to `n`. True until the user cancelled.
  virtual bool setprogress(std::uint64_t n);

  /// The Cancel button's action: cancels at once, or after "Yes" when confirmation is asked.
  void cancelPressed();
  /// For views that answer the confirmation later: `button` 2 ("Yes") cancels.
  void confirmCancelDidEnd(int button);

  void setCanceled() { m_cancelled = true; }
  bool isConfirmCancel() const { return m_confirmCancel; }
  /// The view, null when there is none.
  ProgressView* getHandle() const { return m_view.get(); }
  const std::string& getTitle() const { return m_title; }
  void* getContext() const { return m_context; }
  std::uint64_t getRefreshInterval() const { return m_refreshInterval; }

  /// Installed by the widget toolkit on the main thread; an empty factory removes it.
  static void setViewFactory(ProgressViewFactory factory);

  static constexpr const char* kConfirmText = "Do you really want to cancel?";

 private:
  std::unique_ptr<ProgressView> m_view;
  bool m_modalSession = false;  // there is a Cancel button to listen to
  std::string m_title;
  void* m_context;
  std::uint64_t m_current = 0;
  std::uint64_t m_refreshInterval = 1;
  bool m_cancelled = false;
  bool m_confirmCancel;
  bool m_hasSecondBar;
};

/// True on the process's first thread.
bool isMainThread();

}  // namespace vantor
