// KeloUnit.component's one export: the component factory a host finds by name.
#include "platform/audiounit/AUComponent.h"
#include "plugins/au/SamplerAU.h"

extern "C" KELO_EXPORT AudioComponentPlugInInterface* SamplerAUFactory(const AudioComponentDescription* description) {
  return kelo::au::AUMusicDeviceFactory<SamplerAU>::Factory(description);
}
