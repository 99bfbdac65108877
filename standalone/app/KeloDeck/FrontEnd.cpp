#include "standalone/app/KeloDeck/FrontEnd.h"

#include "standalone/app/samplerapp/MainFrontEnd.h"

namespace kelodeck {

// The one place the program chooses its front end: the main window around the engine's editor
// with the media bar. Never deleted: the engine module may reach it until the process ends.
vantor::InstrumentFrontEnd* makeFrontEnd() {
  static auto* const frontEnd = new vantor::samplerapp::MainFrontEnd();
  return frontEnd;
}

}  // namespace kelodeck
