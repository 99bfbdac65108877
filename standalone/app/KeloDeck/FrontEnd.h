// The front end the engine module builds KeloDeck's main window with.
#pragma once

#include "standalone/host/InstrumentFrontEnd.h"

namespace kelodeck {

/// The program's one front end (not owned; lives as long as the process).
vantor::InstrumentFrontEnd* makeFrontEnd();

}  // namespace kelodeck
