// KeloUnit.component's two exports: the component factory a host finds by name, and the
// editor view's factory, named by the unit's property 31.
#include "platform/audiounit/AUComponent.h"
#include "plugins/au/SamplerAU.h"
#include "plugins/au/SorvelinKeloDeckKELOCocoaView.h"

extern "C" KELO_EXPORT AudioComponentPlugInInterface* SamplerAUFactory(const AudioComponentDescription* description) {
  return kelo::au::AUMusicDeviceFactory<SamplerAU>::Factory(description);
}

extern "C" KELO_EXPORT const AUCocoaViewFactory* SorvelinKeloDeckKELOCocoaViewFactory() {
  return kelo::au::keloCocoaViewFactory();
}
