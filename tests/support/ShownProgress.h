// A progress window stand-in for headless tests: what the window would show and every status
// it was given. Main thread, like the views it stands in for.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "VNL/source/PxProgressDialogCocoa.h"

namespace kelo::test {

struct ShownProgress {
  std::vector<vantor::ProgressViewSetup> windows;  // every window made, in order
  int alive = 0;
  double bar = 0;
  std::string status;
  std::vector<std::string> statuses;
};

class ShownProgressView final : public vantor::ProgressView {
 public:
  explicit ShownProgressView(ShownProgress& shown) : m_shown(shown) { ++m_shown.alive; }
  ~ShownProgressView() override { --m_shown.alive; }
  void advanceMainBar(double delta) override { m_shown.bar += delta; }
  void setMainBar(double value) override { m_shown.bar = value; }
  void setSecondBar(double) override {}
  void setStatus(const std::string& utf8) override {
    m_shown.status = utf8;
    m_shown.statuses.push_back(utf8);
  }
  void redrawStatus() override {}
  void redrawMainBar() override {}
  void redrawSecondBar() override {}
  void runModalSessionOnce() override {}
  int confirm(const std::string&, const std::string&, const std::string&) override { return 1; }

 private:
  ShownProgress& m_shown;
};

/// Makes every progress window a `ShownProgressView` over `shown` (a new one starts at 0,
/// showing its title) until `vantor::PxProgressDialogCocoa::setViewFactory(nullptr)`.
inline void showProgressIn(ShownProgress& shown) {
  vantor::PxProgressDialogCocoa::setViewFactory([&shown](const vantor::ProgressViewSetup& setup) {
    shown.windows.push_back(setup);
    shown.bar = 0;
    shown.status = setup.title;
    return std::make_unique<ShownProgressView>(shown);
  });
}

}  // namespace kelo::test
