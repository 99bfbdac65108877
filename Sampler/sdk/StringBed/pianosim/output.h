// A value holder of the string model: an `output` keeps a float and tells every attached
// `input` when it is set, in the order they were attached. Nothing in the plug-ins attaches an
// input today. One thread; no allocation (the list is intrusive).
#pragma once

struct output;

struct input {
  input* next = nullptr;  // circular list of the watched output's inputs
  input* previous = nullptr;
  void* user = nullptr;
  void (*callback)(void* user) = nullptr;
  output* watched = nullptr;
};

struct output {
  float value = 0;
  input* first = nullptr;  // null while no input is attached
};

void output_init(output* o, float value);
/// Stores the value, then calls every attached input's callback in list order (callbacks
/// attach and detach nothing).
void output_setvalue(output* o, float value);
float output_getvalue(const output* o);
/// Sets the value to 0; every input must have been detached before.
void output_finalize(output* o);

/// Attaches `i` at the end of `o`'s list; calls the callback at once when `notifyNow` is not 0.
void input_init(input* i, output* o, void* user, void (*callback)(void*), int notifyNow);
/// Detaches `i` from its output (nothing when it is not attached).
void input_finalize(input* i);
float input_getvalue(const input* i);
