#include "tests/support/SessionBus.h"

#include <chrono>
#include <thread>

#include "tests/support/RunProgram.h"

namespace kelo::test {

SessionBus::SessionBus() : m_address("unix:path=" + m_folder.file("bus")) {
  m_daemon = std::make_unique<ChildProgram>(std::vector<std::string>{
      "dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + m_address});
  m_environment.set("DBUS_SESSION_BUS_ADDRESS", m_address);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (m_daemon->running() && std::chrono::steady_clock::now() < end) {
    // Answers once the daemon serves the bus.
    std::string refusal;
    if (runProgram("dbus-send", {"--session", "--print-reply", "--dest=org.freedesktop.DBus",
                                 "/org/freedesktop/DBus", "org.freedesktop.DBus.GetId"},
                   refusal)
            .status == 0) {
      m_ready = true;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

}  // namespace kelo::test
