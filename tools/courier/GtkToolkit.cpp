// KeloCourier's windows are the widget toolkit's: its GTK alert dialog and progress window,
// installed the way the KeloDeck program installs them.
#include "standalone/app/toolkit/gtk/GtkBackend.h"
#include "tools/courier/FrontEnd.h"

bool vantor::installDisplayToolkit() { return VNT::startGtkBackendIfDisplay(); }
