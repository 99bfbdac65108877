// A ring of fixed slots between exactly two threads: one producer that pushes and one consumer
// that pops, each in order. The MIDI driver's ring (a MIDI thread filling, the render draining)
// and the plug-in wrappers' rings between their threads are this type.
//
// Contract:
// - Thread roles: `push` is called by the producer thread only, `pop` and `discardAll` by the
//   consumer thread only; at most one thread plays each role at a time (a role may move to
//   another thread only with a happens-before between the two, e.g. a join). `size` and
//   `capacity` may be asked from either side; `size` is then only a snapshot.
// - No allocation, no lock, no system call in `push`, `pop`, `discardAll` or `size`: wait-free,
//   safe on a real-time thread. The slots are allocated once, by the constructor, before either
//   side runs; the destructor runs once both sides are done.
// - Each index is written by its own side only and published with release ordering, read by
//   the other side with acquire ordering: a popped item is the whole item pushed.
// - A full ring refuses the new item (`push` answers false; what is already there stays), an
//   empty one answers false to `pop`. A ring of n slots holds n - 1 items.
// - T is copied into and out of the slots; it must be trivially copyable, so a copy neither
//   allocates nor throws.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <type_traits>

namespace vantor {

template <typename T>
class SpscRing {
  static_assert(std::is_trivially_copyable_v<T>, "ring items are copied by the two threads");

 public:
  /// A ring of `slots` slots (at least 2; fewer are taken as 2), holding up to slots - 1
  /// items. Allocates; either thread, before the two sides start.
  explicit SpscRing(std::size_t slots)
      : m_size(slots < 2 ? 2 : slots), m_slots(std::make_unique<T[]>(m_size)) {}
  SpscRing(const SpscRing&) = delete;
  SpscRing& operator=(const SpscRing&) = delete;

  /// How many items the ring holds at most.
  std::size_t capacity() const { return m_size - 1; }

  /// [producer] Stores `item` after the others; false, storing nothing, when the ring is full.
  bool push(const T& item) {
    const std::size_t write = m_write.load(std::memory_order_relaxed);
    const std::size_t next = write + 1 == m_size ? 0 : write + 1;
    if (next == m_read.load(std::memory_order_acquire)) return false;
    m_slots[write] = item;
    m_write.store(next, std::memory_order_release);
    return true;
  }

  /// [consumer] Takes the oldest item into `item`; false, leaving `item` alone, when empty.
  bool pop(T& item) {
    const std::size_t read = m_read.load(std::memory_order_relaxed);
    if (read == m_write.load(std::memory_order_acquire)) return false;
    item = m_slots[read];
    m_read.store(read + 1 == m_size ? 0 : read + 1, std::memory_order_release);
    return true;
  }

  /// [consumer] Drops every item pushed so far (pushes that race with it may stay).
  void discardAll() {
    m_read.store(m_write.load(std::memory_order_acquire), std::memory_order_release);
  }

  /// [either side] The items held at the moment of asking.
  std::size_t size() const {
    const std::size_t write = m_write.load(std::memory_order_acquire);
    const std::size_t read = m_read.load(std::memory_order_acquire);
    return write >= read ? write - read : write + m_size - read;
  }

 private:
  const std::size_t m_size;
  const std::unique_ptr<T[]> m_slots;
  alignas(64) std::atomic<std::size_t> m_write{0};  // written by the producer only
  alignas(64) std::atomic<std::size_t> m_read{0};   // written by the consumer only
};

}  // namespace vantor
