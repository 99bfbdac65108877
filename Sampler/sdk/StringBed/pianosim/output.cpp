#include "Sampler/sdk/StringBed/pianosim/output.h"

#include "Sampler/sdk/calvatero/newconv/Assert.h"

void output_init(output* o, float value) {
  o->value = value;
  o->first = nullptr;
}

void output_setvalue(output* o, float value) {
  o->value = value;
  input* i = o->first;
  if (i == nullptr) return;
  do {
    if (i->callback != nullptr) i->callback(i->user);
    i = i->next;
  } while (i != o->first);
}

float output_getvalue(const output* o) { return o->value; }

void output_finalize(output* o) {
  CALVATERO_ASSERT(o->first == nullptr);
  o->value = 0;
}

void input_init(input* i, output* o, void* user, void (*callback)(void*), int notifyNow) {
  i->user = user;
  i->callback = callback;
  i->watched = o;
  if (o->first == nullptr) {
    i->next = i->previous = i;
    o->first = i;
  } else {
    input* const last = o->first->previous;
    i->previous = last;
    i->next = o->first;
    last->next = i;
    o->first->previous = i;
  }
  if (notifyNow != 0 && callback != nullptr) callback(user);
}

void input_finalize(input* i) {
  output* const o = i->watched;
  if (o == nullptr) return;
  if (i->next == i) {
    o->first = nullptr;
  } else {
    i->previous->next = i->next;
    i->next->previous = i->previous;
    if (o->first == i) o->first = i->next;
  }
  i->next = i->previous = nullptr;
  i->watched = nullptr;
}

float input_getvalue(const input* i) { return i->watched != nullptr ? i->watched->value : 0.0f; }
