// KeloDeck, the standalone player: hands its command line to the back end, then runs the
// application object's start-up, main loop and shut-down. Without a display it says so and
// ends with status 1, before the back end opens its log.
#include <cstdio>
#include <string>
#include <vector>

#include "VNL/source/System.h"
#include "standalone/app/KeloDeck/FrontEnd.h"
#include "standalone/app/samplerapp/EngineCommand.h"
#include "standalone/app/samplerapp/SamplerApplication.h"
#include "standalone/app/toolkit/gtk/GtkBackend.h"
#include "standalone/host/EngineManager.h"

int main(int argc, char** argv) {
  if (!vantor::VNT::startGtkBackendIfDisplay()) {
    std::fprintf(stderr, "KeloDeck: no display could be opened (is DISPLAY set?)\n");
    return 1;
  }
  // From here SIGINT and SIGTERM wait for the main loop, which ends the program cleanly.
  vantor::VNT::installQuitSignals();
  std::vector<std::string> arguments(argv, argv + argc);
  vantor::samplerapp::engineCommand(PE_ENGINE_APP_ARGUMENTS_SET, &arguments);
  vantor::System::setMaxFileHandles();
  vantor::setEngineFrontEnd(kelodeck::makeFrontEnd());

  auto* application = new vantor::samplerapp::SamplerApplication();
  application->initialize();
  application->runLoop();
  application->terminate();
  delete application;
  return 0;
}
