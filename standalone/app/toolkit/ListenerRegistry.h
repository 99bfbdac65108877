// The listener registry every window and control keeps: listeners (not owned) under
// registration ids counted from 1 and never reused, told in ascending id. Main thread.
#pragma once

#include <map>

#include "standalone/app/toolkit/Geometry.h"

namespace vantor::VNT {

template <typename Listener>
class ListenerRegistry {
 public:
  /// Registers `listener` under the next id and answers that id (the first is 1).
  unsigned add(Listener* listener) {
    m_listeners[++m_counter] = listener;
    return m_counter;
  }
  /// False when `registrationId` is not registered.
  bool remove(unsigned registrationId) { return m_listeners.erase(registrationId) != 0; }

  /// Calls `tell(listener)` for each listener in ascending id, except the one registered as
  /// `skip` (0 and kNoId skip nobody). A listener removed by an earlier one is not told.
  template <typename Tell>
  void tellEach(Tell&& tell, unsigned skip = 0) const {
    for (auto it = m_listeners.begin(); it != m_listeners.end();) {
      const unsigned id = it->first;
      Listener* listener = it->second;
      if (id != skip || skip == 0 || skip == kNoId) tell(listener);
      it = m_listeners.upper_bound(id);
    }
  }

  std::size_t size() const { return m_listeners.size(); }

 private:
  std::map<unsigned, Listener*> m_listeners;
  unsigned m_counter = 0;
};

}  // namespace vantor::VNT
