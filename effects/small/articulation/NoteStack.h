// The keys an articulation plug-in holds, the most recent on top (MIDI articulation plug-ins
// of Phrasekit and Bowkit). Nodes come from a pool reserved at construction, so pushing and
// popping on the audio thread never allocates. Not synchronised: one plug-in object, driven
// by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>

class noteStack {
 public:
  /// Keys held at once: every MIDI key and as many again for key ranges beyond 0..127.
  static constexpr int kCapacity = 256;

  noteStack();
  ~noteStack() = default;
  noteStack(const noteStack&) = delete;
  noteStack& operator=(const noteStack&) = delete;

  /// Puts `note` on top; a key already held moves there, so no key is held twice. A new key
  /// that finds the pool full is not held and is counted in refusedPushes(). Answers `note`.
  int Push(int note);
  /// Removes and answers the top key; -1 when nothing is held. A held key -1 answers -1 as
  /// well, so emptiness is Count() < 1, never this answer.
  int Pop();
  /// The top key; -1 when nothing is held (see Pop).
  int Peek() const;
  int Count() const { return count; }
  /// Lets go of `note`; nothing when it is not held.
  void Remove(int note);
  /// Lets go of every key, whatever keys are held.
  void Clear();

  std::uint32_t refusedPushes() const { return refused; }

 private:
  struct Node {
    int note;
    Node* next;
  };
  void release(Node* node);

  std::int32_t count = 0;
  Node* head = nullptr;
  Node* freeNodes = nullptr;
  std::unique_ptr<Node[]> pool;
  std::uint32_t refused = 0;
};
