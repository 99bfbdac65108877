// What a render thread tells around each block of the graph: the device manager counts the
// rendered frames of each processing context this way. The audio device's callback and the
// offline render thread call it.
#pragma once

namespace vantor {

class Context;

class RenderBlockHooks {
 public:
  virtual ~RenderBlockHooks() = default;
  /// Render thread, before and after each block; must neither allocate nor block.
  virtual void preGraph(const Context* context) = 0;
  virtual void postGraph(const Context* context) = 0;
};

}  // namespace vantor
