// One process-wide instance of a manager type (device manager, graph, streamer...), created
// on first use. Main thread only: nothing here locks.
#pragma once

namespace vantor {

template <class T>
class Singleton {
 public:
  /// The instance, created with T's default constructor on the first call. A call made while
  /// that constructor runs (T's construction reaching back for itself) answers null.
  static T* instance() {
    if (s_instance == nullptr && !s_invoked) {
      s_invoked = true;
      try {
        s_instance = new T();
      } catch (...) {
        s_invoked = false;  // a failed construction may be tried again
        throw;
      }
      s_created = true;
    }
    return s_instance;
  }

  /// True once the instance exists.
  static bool isCreated() { return s_created; }

  /// Deletes the instance and resets the statics, so that the next `instance()` creates a new
  /// one. Nothing happens when there is none.
  static void destroyInstance() {
    T* doomed = s_instance;
    if (doomed == nullptr) return;
    // Calls made from T's destructor answer null rather than build a successor.
    s_instance = nullptr;
    s_created = false;
    delete doomed;
    s_invoked = false;
  }

  /// Resets the statics without deleting the instance, for an object that deletes itself
  /// (the disk streamer, whose thread deletes it). The next `instance()` creates a new one.
  static void releaseInstance() {
    s_instance = nullptr;
    s_created = false;
    s_invoked = false;
  }

 private:
  static inline T* s_instance = nullptr;
  static inline bool s_created = false;
  static inline bool s_invoked = false;
};

}  // namespace vantor
