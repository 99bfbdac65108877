// This build of KeloCourier has no widget toolkit: no windows, whatever the display.
#include "tools/courier/FrontEnd.h"

bool vantor::installDisplayToolkit() { return false; }
