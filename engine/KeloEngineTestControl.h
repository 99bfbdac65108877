// The reference engine's test control: the one export of KeloEngine.bundle beside keloOpcode,
// for tests only. Through it a test reads the trace of engine calls and the host obligations
// the engine found broken, makes the engine answer a chosen version text, fail chosen calls
// (creation included), report a latency, or call the host back with any callback opcode.
//
// keloEngineTestControl(command, handle, pointer, a, b) answers an int64 (below). The trace
// and the findings are process-wide; the render thread records into fixed storage, so read
// them once the calls of interest have returned. Main thread, except reading.
#pragma once

#include <cstdint>

extern "C" {
typedef std::int64_t (*KeloEngineTestControlFunction)(std::int32_t command, void* handle,
                                                      void* pointer, std::int64_t a,
                                                      std::int64_t b);
}

enum KeloEngineTestCommand : std::int32_t {
  /// Clears the trace, the findings, injected failures, the version text and the latency.
  KELO_TEST_RESET = 1,
  /// pointer: the version text to answer (null: the engine's own, "1056").
  KELO_TEST_SET_VERSION_TEXT = 2,
  /// a: opcode, b: the result it answers from now on without acting (0: act again).
  /// For KELO_OP_INSTANCE_CREATE this refuses creation (the handle comes back null).
  KELO_TEST_FAIL_OPCODE = 3,
  /// handle: instance; pointer: KeloTestHostCall, whose `answer` receives the host's answer.
  /// Answers 0, or -1 when the instance has no callback registered.
  KELO_TEST_CALL_HOST = 4,
  /// pointer: KeloTraceEntry array, a: its capacity. Answers the number of calls traced so
  /// far (entries past the capacity, or past the trace's own 65536, are not copied).
  KELO_TEST_READ_TRACE = 5,
  /// pointer: KeloFinding array, a: its capacity. Answers the number of findings.
  KELO_TEST_READ_FINDINGS = 6,
  /// a: the latency in frames the engine reports from its next start.
  KELO_TEST_SET_LATENCY = 7,
  /// handle: instance. Answers the number of sounding voices.
  KELO_TEST_ACTIVE_VOICES = 8,
  /// handle: editor. Answers the X11 window id of the editor's own window (0 when not open).
  KELO_TEST_EDITOR_WINDOW = 9,
};

/// How a call's handle was recognised.
enum KeloHandleKind : std::int32_t {
  KELO_HANDLE_NULL = 0,
  KELO_HANDLE_INSTANCE = 1,
  KELO_HANDLE_EDITOR = 2,
  KELO_HANDLE_UNKNOWN = 3,
};

struct KeloTraceEntry {
  std::int32_t opcode;
  std::int32_t handleKind;  // KeloHandleKind
  std::int32_t i1;
  std::int32_t result;
  std::uint64_t thread;     // pthread_self() of the caller
  std::int64_t events;      // input events of a process call, else -1
  std::int32_t frames;      // frames of a process call, else 0
  std::int32_t hasSync;     // a process call carried a transport record
  std::int32_t i2, i3;
  float f;
  std::int32_t reserved;
};

/// A host obligation the engine found broken.
enum KeloFindingKind : std::int32_t {
  KELO_FINDING_WRONG_HANDLE_KIND = 1,  // detail: the handle kind given
  KELO_FINDING_TOO_MANY_EVENTS = 2,    // detail: numEvents
  KELO_FINDING_EVENTS_UNSORTED = 3,    // detail: index of the first event out of order
  KELO_FINDING_EVENT_OUTSIDE_BLOCK = 4,// detail: the frame offset
  KELO_FINDING_BLOCK_TOO_LARGE = 5,    // detail: frames of the call
  KELO_FINDING_NO_FORMAT = 6,          // process before any format
  KELO_FINDING_NOT_STARTED = 7,        // process while stopped
  KELO_FINDING_WRONG_THREAD = 8,       // a main-thread call from another thread
  KELO_FINDING_CONCURRENT_PROCESS = 9, // two process calls at once on one instance
  KELO_FINDING_CALLBACK_MISMATCH = 10, // clear with other p1/p2 than were registered
  KELO_FINDING_MISSING_ARGUMENT = 11,  // a required pointer was null; detail: which (1..3)
  KELO_FINDING_CALLBACK_LEFT = 12,     // instance destroyed with its callback registered
  KELO_FINDING_EDITOR_LEFT = 13,       // instance destroyed with an editor attached
};

struct KeloFinding {
  std::int32_t kind;    // KeloFindingKind
  std::int32_t opcode;
  std::int64_t detail;
};

/// A callback the engine makes on request (KELO_TEST_CALL_HOST).
struct KeloTestHostCall {
  std::int32_t op;
  std::int32_t i1, i2, i3;
  float f;
  void* p1;
  void* p2;
  std::int32_t answer;
};
