// The library's fatal check of its own invariants: broken preconditions are programming errors
// of the library's callers inside the system, so they stop the program with the condition's
// text instead of being answered. Values that outside callers can pass are checked at the C
// interface, never here.
#pragma once

namespace calvatero {

/// Writes "calvatero: assertion failed: <condition> (<file>:<line>)" to stderr and aborts.
[[noreturn]] void assertionFailed(const char* condition, const char* file, int line);

}  // namespace calvatero

#define CALVATERO_ASSERT(condition)                                        \
  ((condition) ? static_cast<void>(0)                                      \
               : ::calvatero::assertionFailed(#condition, __FILE__, __LINE__))

/// The same with the text given: for an invariant checked ahead of the state change whose
/// result it names (the text then speaks of the state after the change).
#define CALVATERO_ASSERT_AHEAD(condition, text) \
  ((condition) ? static_cast<void>(0) : ::calvatero::assertionFailed(text, __FILE__, __LINE__))
