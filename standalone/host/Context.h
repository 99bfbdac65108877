// The processing context as the graph modules see it: the render format and the two kinds of
// idle listeners. The standalone's `Instance` implements it.
#pragma once

namespace vantor {

class DSPInfo;

/// Told on the main thread at about 60 ticks per second.
class GUIIdleListener {
 public:
  virtual ~GUIIdleListener() = default;
  /// `milliseconds`: the time the tick covers.
  virtual void guiIdle(double milliseconds) = 0;
};

/// Told on the context's background idle thread.
class NonGUIIdleListener {
 public:
  virtual ~NonGUIIdleListener() = default;
  virtual void nonGuiIdle() = 0;
};

class Context {
 public:
  virtual ~Context() = default;
  /// Listeners are not owned; remove one before it goes. Main thread.
  virtual void addGUIIdleListener(GUIIdleListener* listener) const = 0;
  virtual void addNonGUIIdleListener(NonGUIIdleListener* listener) const = 0;
  /// False when the listener was not registered.
  virtual bool removeGUIIdleListener(GUIIdleListener* listener) const = 0;
  virtual bool removeNonGUIIdleListener(NonGUIIdleListener* listener) const = 0;
  /// The format the render runs at.
  virtual const DSPInfo& getDSPInfo() const = 0;
};

/// Something that knows the processing context it runs in (not owned).
class Contextual {
 public:
  virtual ~Contextual() = default;
  virtual const Context* getContext() { return m_context; }
  virtual void setContext(const Context* context) { m_context = context; }

 protected:
  const Context* m_context = nullptr;
};

}  // namespace vantor
