// A private D-Bus session bus for one test: dbus-daemon on a socket in a temporary folder. While
// the object lives, DBUS_SESSION_BUS_ADDRESS names it, so the programs the test starts share
// this bus and no other (a desktop's own session, another test's). Main thread only.
#pragma once

#include <memory>
#include <string>

#include "tests/support/JackDummyServer.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"

namespace kelo::test {

class SessionBus {
 public:
  /// Starts the daemon and waits (20 seconds at most) until it takes connections.
  SessionBus();
  ~SessionBus() = default;
  SessionBus(const SessionBus&) = delete;
  SessionBus& operator=(const SessionBus&) = delete;

  /// Whether the bus came up.
  bool ready() const { return m_ready; }
  const std::string& address() const { return m_address; }

 private:
  TempDir m_folder;
  std::string m_address;
  ScopedEnvironment m_environment;
  std::unique_ptr<ChildProgram> m_daemon;
  bool m_ready = false;
};

}  // namespace kelo::test
