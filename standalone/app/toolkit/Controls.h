// The toolkit's simple controls: push and on-off buttons, image buttons, labels, sliders,
// checkboxes and progress bars. Each is paired with one peer; the peer turns the user's
// actions into the control's operations (`onButtonClicked`, `valueUpdated`...), and the
// control tells its listeners. Listeners are the only way the application hears from a
// control; they are told synchronously, in ascending registration id.
//
// Programmatic setters never reach listeners through the peer: only the listeners the setter
// itself tells hear of the change, all but the one named `skipListener` (0 and kNoId tell
// every listener), so a caller passes its own registration id not to hear its own change.
//
// Lifetimes and threads as in NativeControl.h: created with `new`, deleted by their peer;
// main thread only.
#pragma once

#include <string>

#include "standalone/app/toolkit/ListenerRegistry.h"
#include "standalone/app/toolkit/NativeControl.h"

namespace vantor::VNT {

class VNTButtonListener {
 public:
  virtual ~VNTButtonListener() = default;
  virtual void buttonClicked(unsigned id) = 0;
  virtual void buttonToggled(unsigned id, bool state) {}
};

class SliderListener {
 public:
  virtual ~SliderListener() = default;
  virtual void sliderValueChanged(unsigned id, unsigned value) = 0;
};

class CheckboxListener {
 public:
  virtual ~CheckboxListener() = default;
  virtual void checkboxValueChanged(unsigned id, bool state) = 0;
};

/// A push button, or an on-off button when `toggle`: a click flips `state` and tells
/// `buttonToggled(id, state)`; a push button tells `buttonClicked(id)`.
class NativeButton : public NativeControl {
 public:
  NativeButton(Window* window, void* parentView, const Point& origin, const Size& size,
               const std::string& label, bool toggle, const std::string& name, unsigned id);

  virtual void onButtonClicked();
  virtual void onContextMenu(const Point& where) {}
  virtual unsigned addButtonListener(VNTButtonListener* listener);
  virtual bool removeButtonListener(unsigned registrationId);
  virtual void init();

  bool isToggle() const { return m_toggle; }
  bool getState() const { return m_state; }

 protected:
  /// For the image button: the same fields over a peer made from `setup`.
  NativeButton(Window* window, void* parentView, const Point& origin, const Size& size,
               const ViewSetup& setup, const std::string& name, unsigned id);
  void peerAction() override {
    dispatch([this] { onButtonClicked(); });
  }

 private:
  ListenerRegistry<VNTButtonListener> m_listeners;
  bool m_toggle;
  bool m_state = false;
};

/// A button showing the image file at `imagePath` beside its title; behaves as NativeButton.
class NativeButtonBitmap : public NativeButton {
 public:
  NativeButtonBitmap(Window* window, void* parentView, const Point& origin, const Size& size,
                     const std::string& label, bool toggle, const std::string& name,
                     unsigned id, const std::string& imagePath);
};

/// A read-only single-line label.
class NativeStaticText : public NativeControl {
 public:
  NativeStaticText(Window* window, void* parentView, const Point& origin, const Size& size,
                   const std::string& label, const std::string& name, unsigned id);

  virtual void onContextMenu(const Point& where) {}
  virtual void setLabel(const std::string& utf8);
  virtual void init();

  std::string getLabel() const;
};

/// An integer slider from `min` to `max`.
class NativeSlider : public NativeControl {
 public:
  NativeSlider(Window* window, void* parentView, const Point& origin, const Size& size, int min,
               int max, int value, const std::string& name, unsigned id);

  /// The value the peer shows.
  virtual int getValue();
  /// Nothing when `value` equals the last value recorded; otherwise records it clamped to
  /// [min, max], shows it and tells every listener but `skipListener` (even when clamping
  /// gives the value recorded before).
  virtual void setValue(int value, unsigned skipListener);
  /// The user moved the knob: tells every listener when the peer's value differs from the
  /// last value recorded.
  virtual void valueUpdated();
  virtual unsigned addSliderListener(SliderListener* listener);
  virtual bool removeSliderListener(unsigned registrationId);
  virtual void onContextMenu(const Point& where) {}
  virtual void init();

  int getMin() const { return m_min; }
  int getMax() const { return m_max; }

 protected:
  void peerAction() override {
    dispatch([this] { valueUpdated(); });
  }
  /// The wheel moves the value by the delta truncated toward zero (a notch up is +1) and
  /// tells every listener, also when the value stays at a limit.
  void peerScrolled(double deltaY) override;

 private:
  void wheel(double deltaY);
  ListenerRegistry<SliderListener> m_listeners;
  int m_value;
  int m_initialValue;
  int m_min;
  int m_max;
};

/// A checkbox with a title; the user's toggle tells `checkboxValueChanged(id, state)`.
class NativeCheckbox : public NativeControl {
 public:
  NativeCheckbox(Window* window, void* parentView, const Point& origin, const Size& size,
                 const std::string& label, bool state, const std::string& name, unsigned id);

  virtual bool getValue() const { return m_state; }
  /// Shows `state`; tells every listener but `skipListener` when it changed.
  virtual void setValue(bool state, unsigned skipListener);
  virtual void valueUpdated(bool state);
  virtual unsigned addCheckboxListener(CheckboxListener* listener);
  virtual bool removeCheckboxListener(unsigned registrationId);
  virtual void init();

 protected:
  void peerAction() override;

 private:
  ListenerRegistry<CheckboxListener> m_listeners;
  bool m_state;
};

/// A progress bar from 0 to `max`.
class NativeProgressBar : public NativeControl {
 public:
  NativeProgressBar(Window* window, void* parentView, const Point& origin, const Size& size,
                    int max, const std::string& name, unsigned id);

  virtual int getValue() const { return m_value; }
  /// Clamped to [0, max].
  virtual void setValue(int value);
  virtual void init();

 private:
  int m_value = 0;
  int m_max;
};

}  // namespace vantor::VNT
