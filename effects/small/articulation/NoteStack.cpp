#include "effects/small/articulation/NoteStack.h"

noteStack::noteStack() : pool(new Node[kCapacity]) {
  for (int i = 0; i < kCapacity; ++i) release(&pool[i]);
}

void noteStack::release(Node* node) {
  node->next = freeNodes;
  freeNodes = node;
}

int noteStack::Push(int note) {
  Remove(note);
  if (freeNodes == nullptr) {
    ++refused;
    return note;
  }
  Node* node = freeNodes;
  freeNodes = node->next;
  node->note = note;
  node->next = head;
  head = node;
  ++count;
  return note;
}

int noteStack::Pop() {
  if (count < 1) return -1;
  Node* node = head;
  head = node->next;
  --count;
  const int note = node->note;
  release(node);
  return note;
}

int noteStack::Peek() const { return count < 1 ? -1 : head->note; }

void noteStack::Remove(int note) {
  for (Node** link = &head; *link != nullptr; link = &(*link)->next) {
    if ((*link)->note != note) continue;
    Node* node = *link;
    *link = node->next;
    --count;
    release(node);
    return;
  }
}

void noteStack::Clear() {
  while (count > 0) Pop();
}
