#include "standalone/app/KeloDeck/FrontEnd.h"

namespace kelodeck {

// The one place the program chooses its front end: no windows of the engine module yet.
vantor::InstrumentFrontEnd* makeFrontEnd() { return &vantor::NullInstrumentFrontEnd::shared(); }

}  // namespace kelodeck
