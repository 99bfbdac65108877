// KeloDeck, the standalone player: hands its command line to the back end, then runs the
// application object's start-up, main loop and shut-down. Without a display it says so and
// ends with status 1, before the back end opens its log; when the session's KeloDeck already
// runs, its files go to that one and it ends with status 0, touching nothing.
#include <cstdio>
#include <string>
#include <vector>

#include "VNL/source/System.h"
#include "standalone/app/KeloDeck/FrontEnd.h"
#include "standalone/app/KeloDeck/SingleInstance.h"
#include "standalone/app/samplerapp/EngineCommand.h"
#include "standalone/app/samplerapp/SamplerApplication.h"
#include "standalone/app/toolkit/gtk/GtkBackend.h"
#include "standalone/host/EngineManager.h"

int main(int argc, char** argv) {
  if (!vantor::VNT::startGtkBackendIfDisplay()) {
    std::fprintf(stderr, "KeloDeck: no display could be opened (is DISPLAY set?)\n");
    return 1;
  }
  if (!kelodeck::becomeTheSessionsPlayer(argc, argv)) return 0;
  // From here SIGINT and SIGTERM wait for the main loop, which ends the program cleanly.
  vantor::VNT::installQuitSignals();
  std::vector<std::string> arguments(argv, argv + argc);
  vantor::samplerapp::engineCommand(PE_ENGINE_APP_ARGUMENTS_SET, &arguments);
  vantor::System::setMaxFileHandles();
  vantor::setEngineFrontEnd(kelodeck::makeFrontEnd());

  auto* application = new vantor::samplerapp::SamplerApplication();
  application->initialize();
  kelodeck::deliverHandedFilesTo(application);
  application->runLoop();
  kelodeck::deliverHandedFilesTo(nullptr);
  application->terminate();
  delete application;
  return 0;
}
