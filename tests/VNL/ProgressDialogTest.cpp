#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "VNL/source/PxProgressDialog.h"
#include "VNL/source/PxProgressDialogCocoa.h"

namespace {

using vantor::ProgressView;
using vantor::ProgressViewSetup;
using vantor::PxProgressDialog;
using vantor::PxProgressDialogCocoa;

// A view that records what the core asks of it; `pressCancelAt` presses Cancel during that
// modal-session run, and `answer` is the button the confirmation gets.
struct Recorder {
  std::vector<std::string> events;
  std::vector<ProgressViewSetup> built;
  int pressCancelAt = -1;
  int answer = 1;
  int modalRuns = 0;
  PxProgressDialogCocoa* dialog = nullptr;
  std::string confirmation;
};

class FakeView : public ProgressView {
 public:
  explicit FakeView(Recorder& r) : m_r(r) {}
  ~FakeView() override { m_r.events.push_back("closed"); }
  void advanceMainBar(double delta) override { m_main += delta; }
  void setMainBar(double value) override {
    m_main = value;
    m_r.events.push_back("main=" + std::to_string(static_cast<int>(value)));
  }
  void setSecondBar(double value) override {
    m_r.events.push_back("second=" + std::to_string(static_cast<int>(value)));
  }
  void setStatus(const std::string& text) override { m_status = text; }
  void redrawStatus() override { m_r.events.push_back("status:" + m_status); }
  void redrawMainBar() override {
    m_r.events.push_back("bar@" + std::to_string(static_cast<int>(m_main)));
  }
  void redrawSecondBar() override { m_r.events.push_back("second-bar"); }
  void runModalSessionOnce() override {
    if (++m_r.modalRuns == m_r.pressCancelAt && m_r.dialog) m_r.dialog->cancelPressed();
  }
  int confirm(const std::string& message, const std::string& first,
              const std::string& second) override {
    m_r.confirmation = message + " [" + first + "][" + second + "]";
    return m_r.answer;
  }

 private:
  Recorder& m_r;
  double m_main = 0;
  std::string m_status;
};

class ProgressDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    PxProgressDialogCocoa::setViewFactory([this](const ProgressViewSetup& setup) {
      recorder.built.push_back(setup);
      return std::make_unique<FakeView>(recorder);
    });
  }
  void TearDown() override {
    PxProgressDialogCocoa::setViewFactory(nullptr);
    PxProgressDialog::sCocoaMode = 1;
  }
  std::vector<std::string> redrawsOfMainBar() const {
    std::vector<std::string> out;
    for (const auto& e : recorder.events)
      if (e.rfind("bar@", 0) == 0) out.push_back(e);
    return out;
  }
  Recorder recorder;
};

TEST(ProgressRefresh, IntervalByNumberOfSteps) {
  const std::pair<std::uint64_t, std::uint64_t> cases[] = {
      {0, 100},  {1, 100},  {8, 100},  {10, 100},  {11, 5},     {50, 5},    {99, 5},
      {100, 100}, {101, 10}, {500, 10}, {999, 10}, {1000, 100}, {1u << 20, 100},
  };
  for (auto [steps, interval] : cases)
    EXPECT_EQ(vantor::progressRefreshInterval(steps), interval) << steps << " steps";
}

TEST(ProgressLayout, HeightAndPartsFollowTheOptions) {
  using vantor::ProgressRect;
  const auto plain = vantor::progressLayout(false, false);
  EXPECT_EQ(plain.content, (ProgressRect{200, 200, 400, 70}));
  EXPECT_EQ(plain.mainBar, (ProgressRect{20, 6, 360, 14}));
  EXPECT_EQ(plain.status, (ProgressRect{20, 30, 360, 20}));
  EXPECT_EQ(plain.cancelButton, (ProgressRect{0, 0, 0, 0}));
  const auto cancel = vantor::progressLayout(true, false);
  EXPECT_EQ(cancel.content.height, 100);
  EXPECT_EQ(cancel.cancelButton, (ProgressRect{170, 10, 60, 20}));
  const auto both = vantor::progressLayout(true, true);
  EXPECT_EQ(both.content.height, 130);
  EXPECT_EQ(both.secondBar, (ProgressRect{20, 46, 360, 14}));
  EXPECT_EQ(both.cancelButton, (ProgressRect{170, 20, 60, 20}));
}

TEST_F(ProgressDialog, RedrawsEveryRefreshIntervalSteps) {
  {
    PxProgressDialogCocoa dialog("Rendering", nullptr, 50, true, false, false);
    ASSERT_NE(dialog.getHandle(), nullptr);
    EXPECT_EQ(recorder.built.at(0).title, "Rendering");
    for (int i = 1; i <= 17; ++i) EXPECT_TRUE(dialog.step("block " + std::to_string(i)));
  }
  EXPECT_EQ(redrawsOfMainBar(), (std::vector<std::string>{"bar@5", "bar@10", "bar@15"}));
  EXPECT_EQ(recorder.modalRuns, 3);
  EXPECT_NE(std::find(recorder.events.begin(), recorder.events.end(), "status:block 10"),
            recorder.events.end());
  EXPECT_EQ(recorder.events.back(), "closed");

  for (std::uint64_t steps : {8u, 100u}) {
    recorder.events.clear();
    PxProgressDialogCocoa dialog("t", nullptr, steps, false, false, false);
    for (int i = 0; i < 99; ++i) dialog.step("s");
    EXPECT_TRUE(redrawsOfMainBar().empty()) << steps;
    dialog.step("s");
    EXPECT_EQ(redrawsOfMainBar(), std::vector<std::string>{"bar@100"}) << steps;
  }
}

TEST_F(ProgressDialog, WithoutACancelButtonNothingCancels) {
  PxProgressDialogCocoa dialog("t", nullptr, 20, false, true, false);
  recorder.dialog = &dialog;
  recorder.pressCancelAt = 1;
  for (int i = 0; i < 40; ++i) EXPECT_TRUE(dialog.step("s"));
  EXPECT_EQ(recorder.modalRuns, 0);
}

TEST_F(ProgressDialog, CancelAsksFirstAndOnlyYesCancelsForGood) {
  const struct {
    bool confirm;
    int answer;
    bool cancels;
  } cases[] = {{false, 0, true}, {true, 1, false}, {true, 2, true}};
  for (const auto& c : cases) {
    recorder = Recorder{};
    PxProgressDialogCocoa dialog("t", nullptr, 20, true, c.confirm, false);
    recorder.dialog = &dialog;
    recorder.pressCancelAt = 1;
    recorder.answer = c.answer;
    for (int i = 1; i <= 4; ++i) EXPECT_TRUE(dialog.step("s"));
    EXPECT_EQ(dialog.step("s"), !c.cancels) << "the press is handled at step 5";
    EXPECT_EQ(dialog.step("s"), !c.cancels) << "cancelling is sticky";
    EXPECT_EQ(dialog.setprogress(40), !c.cancels);
    EXPECT_EQ(recorder.confirmation,
              c.confirm ? "Do you really want to cancel? [No][Yes]" : "");
  }
}

TEST_F(ProgressDialog, SetProgressMovesTheSecondBarOrElseTheMainBar) {
  {
    PxProgressDialogCocoa single("t", nullptr, 50, false, false, false);
    EXPECT_TRUE(single.setprogress(7));
    EXPECT_TRUE(single.setprogress(10));
  }
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"main=7", "main=10", "bar@10", "closed"}));
  recorder.events.clear();
  {
    PxProgressDialogCocoa two("t", nullptr, 50, false, false, true);
    EXPECT_TRUE(two.setprogress(35));
  }
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"second=35", "second-bar", "closed"}));
}

TEST_F(ProgressDialog, ADialogMadeOffTheMainThreadOnlyCounts) {
  std::thread worker([] {
    PxProgressDialogCocoa dialog("t", reinterpret_cast<void*>(0x1234), 20, true, true, true);
    EXPECT_EQ(dialog.getHandle(), nullptr);
    EXPECT_EQ(dialog.getRefreshInterval(), 1u);
    EXPECT_EQ(dialog.getContext(), reinterpret_cast<void*>(0x1234));
    for (int i = 0; i < 30; ++i) EXPECT_TRUE(dialog.step("s"));
    EXPECT_TRUE(dialog.setprogress(3));
  });
  worker.join();
  EXPECT_TRUE(recorder.built.empty());
}

TEST_F(ProgressDialog, TheFacadeCountsAloneOutsideWindowModeAndRemembersACancel) {
  PxProgressDialog::sCocoaMode = 0;
  {
    PxProgressDialog counting("t", nullptr, 20, true, true, false);
    EXPECT_EQ(counting.window(), nullptr);
    for (int i = 0; i < 30; ++i) EXPECT_TRUE(counting.step("s"));
    EXPECT_TRUE(counting.setprogress(9));
  }
  EXPECT_TRUE(recorder.built.empty());

  PxProgressDialog::sCocoaMode = 1;
  PxProgressDialog shown("Collecting", nullptr, 20, true, true, false);
  ASSERT_NE(shown.window(), nullptr);
  recorder.dialog = shown.window();
  recorder.pressCancelAt = 1;
  recorder.answer = 2;
  for (int i = 1; i <= 4; ++i) EXPECT_TRUE(shown.step("s"));
  EXPECT_FALSE(shown.step("s"));
  EXPECT_FALSE(shown.step("s"));
  EXPECT_FALSE(shown.setprogress(1));
}

}  // namespace
