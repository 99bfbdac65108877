// The progress dialog long operations use (rendering a MIDI file, collecting logs): create it
// with a title and a number of steps, call `step` or `setprogress` as the work advances, stop
// when a call answers false, delete it at the end. It shows a `PxProgressDialogCocoa` window in
// window mode (`sCocoaMode` 1) and otherwise only counts, so the same code runs with or without
// a display. Main thread.
#pragma once

#include <cstdint>
#include <string>

#include "VNL/source/PxProgressDialogCocoa.h"

namespace vantor {

class PxProgressDialogBase {
 public:
  virtual bool step(const std::string& text) = 0;
  virtual bool setprogress(std::uint64_t n) = 0;
  virtual ~PxProgressDialogBase() = default;
};

class PxProgressDialog : public PxProgressDialogBase {
 public:
  /// `parent` is handed to the window and never used for display.
  PxProgressDialog(const std::string& title, void* parent, std::uint64_t steps, bool cancellable,
                   bool confirmCancel, bool secondBar);
  ~PxProgressDialog() override;
  PxProgressDialog(const PxProgressDialog&) = delete;
  PxProgressDialog& operator=(const PxProgressDialog&) = delete;

  /// True until the window answered "cancelled", then false for good.
  bool step(const std::string& text) override;
  bool setprogress(std::uint64_t n) override;

  /// The window, null outside window mode.
  PxProgressDialogCocoa* window() const { return m_window; }

  /// 1 (the start value): dialogs get a window; anything else: they only count.
  static int sCocoaMode;

 private:
  PxProgressDialogCocoa* m_window = nullptr;
  std::string m_title;
  std::uint64_t m_current = 0;
  bool m_cancelled = false;
};

}  // namespace vantor
