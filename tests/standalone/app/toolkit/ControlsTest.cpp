// Buttons, sliders and checkboxes over the headless back end: what listeners hear for the
// user's actions and for programmatic changes.
#include <string>
#include <vector>

#include "standalone/app/toolkit/Controls.h"
#include "standalone/app/toolkit/Window.h"
#include "tests/standalone/app/toolkit/HeadlessFixture.h"

namespace kelo::test {
namespace {

using namespace vantor::VNT;
using headless::HeadlessBackend;

struct Heard : VNTButtonListener, SliderListener, CheckboxListener {
  Heard(std::vector<std::string>& log, std::string name) : log(log), name(std::move(name)) {}
  void buttonClicked(unsigned id) override { say("clicked " + std::to_string(id)); }
  void buttonToggled(unsigned id, bool state) override {
    say("toggled " + std::to_string(id) + (state ? " on" : " off"));
  }
  void sliderValueChanged(unsigned id, unsigned value) override { say(std::to_string(value)); }
  void checkboxValueChanged(unsigned id, bool state) override { say(state ? "on" : "off"); }
  void say(const std::string& what) { log.push_back(name + ":" + what); }
  std::vector<std::string>& log;
  std::string name;
};

class Controls : public HeadlessToolkit {
 protected:
  void SetUp() override {
    HeadlessToolkit::SetUp();
    window = new Window({0, 0}, {400, 300}, WindowKind::Ordinary, kWindowClosable, "t", "t");
    content = window->getControlForEmbedding();
  }
  void TearDown() override {
    delete window;
    HeadlessToolkit::TearDown();
  }
  Window* window = nullptr;
  void* content = nullptr;
  std::vector<std::string> log;
};

TEST_F(Controls, SliderTellsChangesOfTheRecordedValue) {
  struct Step {
    const char* what;
    int argument;
    std::vector<std::string> heard;
    int shown;
  };
  // A slider 0..100 at 50; "set" is setValue(v, 0), "user" a move of the knob, "wheel" a
  // wheel delta in tenths.
  const std::vector<Step> steps = {
      {"set", 50, {}, 50},
      {"set", 150, {"a:100"}, 100},
      {"set", 150, {"a:100"}, 100},
      {"set", -5, {"a:0"}, 0},
      {"user", 50, {"a:50"}, 50},
      {"user", 60, {"a:60"}, 60},
      {"user", 60, {}, 60},
      {"user", 50, {"a:50"}, 50},
      {"set", 10, {"a:10"}, 10},
      {"wheel", -27, {"a:8"}, 8},
      {"wheel", 5, {}, 8},
      {"wheel", 10, {"a:9"}, 9},
      {"set", 100, {"a:100"}, 100},
      {"wheel", 20, {"a:100"}, 100},
  };
  auto* slider = new NativeSlider(window, content, {0, 0}, {200, 20}, 0, 100, 50, "s", 3);
  Heard a(log, "a");
  slider->addSliderListener(&a);
  auto& view = HeadlessBackend::viewOf(*slider);
  for (const Step& step : steps) {
    log.clear();
    const std::string what = step.what;
    if (what == "set") slider->setValue(step.argument, 0);
    if (what == "user") view.moveTo(step.argument);
    if (what == "wheel") view.scroll(step.argument / 10.0);
    EXPECT_EQ(log, step.heard) << what << " " << step.argument;
    EXPECT_EQ(slider->getValue(), step.shown) << what << " " << step.argument;
  }
}

TEST_F(Controls, ProgrammaticChangesSkipTheNamedListener) {
  auto* slider = new NativeSlider(window, content, {0, 0}, {200, 20}, 0, 100, 0, "s", 3);
  auto* box = new NativeCheckbox(window, content, {0, 30}, {200, 20}, "box", false, "c", 4);
  Heard a(log, "a"), b(log, "b"), c(log, "c");
  const unsigned ra = slider->addSliderListener(&a);
  const unsigned rb = slider->addSliderListener(&b);
  slider->addSliderListener(&c);
  box->addCheckboxListener(&a);
  const unsigned boxB = box->addCheckboxListener(&b);
  EXPECT_EQ(ra, 1u);
  EXPECT_EQ(boxB, 2u);
  slider->setValue(10, rb);
  slider->setValue(20, kNoId);
  slider->setValue(30, 0);
  EXPECT_TRUE(slider->removeSliderListener(ra));
  slider->setValue(40, 99);
  box->setValue(true, boxB);
  HeadlessBackend::viewOf(*box).click();
  EXPECT_EQ(log, (std::vector<std::string>{"a:10", "c:10", "a:20", "b:20", "c:20", "a:30", "b:30",
                                           "c:30", "b:40", "c:40", "a:on", "a:off", "b:off"}));
}

TEST_F(Controls, ButtonsTellClicksAndToggles) {
  auto* plain = new NativeButton(window, content, {0, 0}, {80, 20}, "Go", false, "go", 11);
  auto* toggle = new NativeButton(window, content, {0, 30}, {80, 20}, "On", true, "on", 12);
  auto* image = new NativeButtonBitmap(window, content, {0, 60}, {30, 30}, "", true, "img", 13,
                                       "/nonexistent.png");
  Heard a(log, "a"), b(log, "b");
  for (NativeButton* button : {plain, toggle, static_cast<NativeButton*>(image)}) {
    EXPECT_EQ(button->addButtonListener(&a), 1u);
    EXPECT_EQ(button->addButtonListener(&b), 2u);
  }
  for (int i = 0; i < 2; ++i) {
    HeadlessBackend::viewOf(*plain).click();
    HeadlessBackend::viewOf(*toggle).click();
  }
  HeadlessBackend::viewOf(*image).click();
  EXPECT_EQ(log, (std::vector<std::string>{"a:clicked 11", "b:clicked 11", "a:toggled 12 on",
                                           "b:toggled 12 on", "a:clicked 11", "b:clicked 11",
                                           "a:toggled 12 off", "b:toggled 12 off",
                                           "a:toggled 13 on", "b:toggled 13 on"}));
  EXPECT_EQ(HeadlessBackend::viewOf(*plain).tag(), 11u);
  EXPECT_EQ(window->registeredControlCount(), 3u);
}

TEST_F(Controls, SharedOperationsReachTheView) {
  auto* label = new NativeStaticText(window, content, {5, 6}, {70, 20}, "Label", "l", kNoId);
  auto& view = HeadlessBackend::viewOf(*label);
  EXPECT_EQ(label->getControlHandle(), &view);
  for (const bool flag : {false, true}) {
    label->setAutoResize(flag);
    EXPECT_EQ(view.autoResizeMask(), 63u);
    EXPECT_EQ(view.resizesSubviews(), flag);
  }
  label->enable(false);
  EXPECT_FALSE(label->isEnabled());
  label->setOrigin({10, 11});
  label->setSize({40, 12});
  EXPECT_EQ(view.frame(), (Rect{10, 11, 40, 12}));
  Font font("Serif Bold 14");
  label->setFont(font);
  label->setFontSize(7);
  EXPECT_EQ(view.font(), "Serif Bold 7");
  label->setLabel("Grüße");
  EXPECT_EQ(label->getLabel(), "Grüße");
  label->postNeedRefresh();
  label->postNeedRefresh({0, 0, 1, 1});
  EXPECT_EQ(view.redrawCount(), 2);
}

TEST_F(Controls, ProgressBarKeepsItsValueInRange) {
  auto* bar = new NativeProgressBar(window, content, {0, 0}, {100, 10}, 40, "p", kNoId);
  const std::vector<std::pair<int, int>> cases = {{10, 10}, {41, 40}, {-1, 0}};
  for (const auto& [given, kept] : cases) {
    bar->setValue(given);
    EXPECT_EQ(bar->getValue(), kept);
    EXPECT_EQ(HeadlessBackend::viewOf(*bar).intValue(), kept);
  }
}

}  // namespace
}  // namespace kelo::test
