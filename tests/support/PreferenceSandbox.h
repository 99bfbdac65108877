// Keeps the preference store and the library and home folders of a test program inside one
// temporary folder, so that no test writes to a real home or to /etc.
//
// A program that touches the store registers the sandbox once:
//   KELO_PREFERENCE_SANDBOX();
// and its fixtures call requirePreferenceSandbox() in SetUp, which ends the program at once
// when the sandbox is not in force. Child processes of a test inherit it.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace kelo::test {

class PreferenceSandbox : public ::testing::Environment {
 public:
  void SetUp() override;
  void TearDown() override;

  /// The sandbox's folders: the user and local library roots and the home folder.
  static std::string userLibrary();
  static std::string localLibrary();
  static std::string home();
  /// The host id the sandbox sets.
  static constexpr const char* kHostId = "kelo-test-host";
  /// Removes every file the store wrote, so each test starts empty.
  static void clear();
};

/// Aborts the program unless the sandbox's variables point into its temporary folder.
void requirePreferenceSandbox();

/// Registers the sandbox for the whole program (put it at namespace scope in one source).
#define KELO_PREFERENCE_SANDBOX()                                        \
  static ::testing::Environment* const kelo_preference_sandbox_ [[maybe_unused]] = \
      ::testing::AddGlobalTestEnvironment(new ::kelo::test::PreferenceSandbox)

}  // namespace kelo::test
