#include "standalone/app/toolkit/Controls.h"

#include <cmath>

namespace vantor::VNT {
namespace {

ViewSetup buttonSetup(ViewKind kind, const std::string& label, bool toggle,
                      const std::string& imagePath = {}) {
  ViewSetup setup;
  setup.kind = kind;
  setup.label = label;
  setup.toggle = toggle;
  setup.imagePath = imagePath;
  return setup;
}

}  // namespace

NativeButton::NativeButton(Window* window, void* parentView, const Point& origin,
                           const Size& size, const std::string& label, bool toggle,
                           const std::string& name, unsigned id)
    : NativeButton(window, parentView, origin, size, buttonSetup(ViewKind::Button, label, toggle),
                   name, id) {}

NativeButton::NativeButton(Window* window, void* parentView, const Point& origin,
                           const Size& size, const ViewSetup& setup, const std::string& name,
                           unsigned id)
    : NativeControl(window, origin, size, name, id), m_toggle(setup.toggle) {
  createPeer(parentView, setup);
  NativeButton::init();
}

void NativeButton::init() { registerWithWindow(); }

void NativeButton::onButtonClicked() {
  const unsigned id = getId();
  if (m_toggle) {
    m_state = !m_state;
    const bool state = m_state;
    m_listeners.tellEach([&](VNTButtonListener* l) { l->buttonToggled(id, state); });
  } else {
    m_listeners.tellEach([&](VNTButtonListener* l) { l->buttonClicked(id); });
  }
}

unsigned NativeButton::addButtonListener(VNTButtonListener* listener) {
  return m_listeners.add(listener);
}

bool NativeButton::removeButtonListener(unsigned registrationId) {
  return m_listeners.remove(registrationId);
}

NativeButtonBitmap::NativeButtonBitmap(Window* window, void* parentView, const Point& origin,
                                       const Size& size, const std::string& label, bool toggle,
                                       const std::string& name, unsigned id,
                                       const std::string& imagePath)
    : NativeButton(window, parentView, origin, size,
                   buttonSetup(ViewKind::BitmapButton, label, toggle, imagePath), name, id) {}

NativeStaticText::NativeStaticText(Window* window, void* parentView, const Point& origin,
                                   const Size& size, const std::string& label,
                                   const std::string& name, unsigned id)
    : NativeControl(window, origin, size, name, id) {
  ViewSetup setup;
  setup.kind = ViewKind::StaticText;
  setup.label = label;
  createPeer(parentView, setup);
  NativeStaticText::init();
}

void NativeStaticText::init() { registerWithWindow(); }

void NativeStaticText::setLabel(const std::string& utf8) {
  if (peer() != nullptr) peer()->setText(utf8);
}

std::string NativeStaticText::getLabel() const {
  return peer() != nullptr ? peer()->text() : std::string();
}

NativeSlider::NativeSlider(Window* window, void* parentView, const Point& origin,
                           const Size& size, int min, int max, int value,
                           const std::string& name, unsigned id)
    : NativeControl(window, origin, size, name, id),
      m_value(value),
      m_initialValue(value),
      m_min(min),
      m_max(max) {
  ViewSetup setup;
  setup.kind = ViewKind::Slider;
  setup.min = min;
  setup.max = max;
  setup.value = value;
  createPeer(parentView, setup);
  NativeSlider::init();
}

void NativeSlider::init() { registerWithWindow(); }

int NativeSlider::getValue() { return peer() != nullptr ? peer()->intValue() : m_value; }

void NativeSlider::setValue(int value, unsigned skipListener) {
  if (value == m_value) return;
  m_value = value > m_max ? m_max : (value < m_min ? m_min : value);
  if (peer() != nullptr) peer()->setIntValue(m_value);
  const unsigned id = getId();
  const auto told = static_cast<unsigned>(m_value);
  m_listeners.tellEach([&](SliderListener* l) { l->sliderValueChanged(id, told); }, skipListener);
}

void NativeSlider::valueUpdated() {
  const int value = getValue();
  if (value == m_value) return;
  m_value = value;
  const unsigned id = getId();
  m_listeners.tellEach(
      [&](SliderListener* l) { l->sliderValueChanged(id, static_cast<unsigned>(value)); });
}

void NativeSlider::peerScrolled(double deltaY) {
  dispatch([&] { wheel(deltaY); });
}

void NativeSlider::wheel(double deltaY) {
  if (!std::isfinite(deltaY)) return;
  const double step = std::trunc(deltaY);
  if (step == 0.0) return;
  const double target = static_cast<double>(getValue()) + step;
  // Far beyond the range the clamp decides; keep the sum inside int first.
  const int value = target > m_max ? m_max + 1 : (target < m_min ? m_min - 1 : static_cast<int>(target));
  setValue(value, kNoId);
}

unsigned NativeSlider::addSliderListener(SliderListener* listener) {
  return m_listeners.add(listener);
}

bool NativeSlider::removeSliderListener(unsigned registrationId) {
  return m_listeners.remove(registrationId);
}

NativeCheckbox::NativeCheckbox(Window* window, void* parentView, const Point& origin,
                               const Size& size, const std::string& label, bool state,
                               const std::string& name, unsigned id)
    : NativeControl(window, origin, size, name, id), m_state(state) {
  ViewSetup setup;
  setup.kind = ViewKind::Checkbox;
  setup.label = label;
  setup.toggle = state;
  createPeer(parentView, setup);
  NativeCheckbox::init();
}

void NativeCheckbox::init() { registerWithWindow(); }

void NativeCheckbox::setValue(bool state, unsigned skipListener) {
  if (state == m_state) return;
  m_state = state;
  if (peer() != nullptr) peer()->setState(state);
  const unsigned id = getId();
  m_listeners.tellEach([&](CheckboxListener* l) { l->checkboxValueChanged(id, state); },
                       skipListener);
}

void NativeCheckbox::valueUpdated(bool state) {
  if (state == m_state) return;
  m_state = state;
  const unsigned id = getId();
  m_listeners.tellEach([&](CheckboxListener* l) { l->checkboxValueChanged(id, state); });
}

void NativeCheckbox::peerAction() {
  dispatch([this] { valueUpdated(!m_state); });
}

unsigned NativeCheckbox::addCheckboxListener(CheckboxListener* listener) {
  return m_listeners.add(listener);
}

bool NativeCheckbox::removeCheckboxListener(unsigned registrationId) {
  return m_listeners.remove(registrationId);
}

NativeProgressBar::NativeProgressBar(Window* window, void* parentView, const Point& origin,
                                     const Size& size, int max, const std::string& name,
                                     unsigned id)
    : NativeControl(window, origin, size, name, id), m_max(max) {
  ViewSetup setup;
  setup.kind = ViewKind::ProgressBar;
  setup.max = max;
  createPeer(parentView, setup);
  NativeProgressBar::init();
}

void NativeProgressBar::init() { registerWithWindow(); }

void NativeProgressBar::setValue(int value) {
  m_value = value > m_max ? m_max : (value < 0 ? 0 : value);
  if (peer() != nullptr) peer()->setIntValue(m_value);
}

}  // namespace vantor::VNT
