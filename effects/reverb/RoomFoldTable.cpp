// RoomFold.bundle: the simple and the room convolution reverb.
#include "Sampler/sdk/PluginEntry.h"
#include "effects/reverb/BasicConvolverPost.h"
#include "effects/reverb/RoomConvolverPost.h"

namespace vantor::KELOPluginSDK {

namespace {

constexpr PluginRow kRows[] = {
    {.identifier = "com.Sorvelin.Kelo.Convolver.Simple",
     .create = &makePlugin<acme::BasicConvolverPost>, .shortName = "Convolver.Simple",
     .displayName = "Kelo\tConvolver.Simple", .audioSpec = -2, .infoFlagA = 1, .version = 1830,
     .customDataMagic = kCustomDataMagic, .customDataCount = 1},
    {.identifier = "com.Sorvelin.Kelo.Convolver.Room",
     .create = &makePlugin<acme::RoomConvolverPost>, .shortName = "Convolver.Room",
     .displayName = "Kelo\tConvolver.Room", .audioSpec = -2, .infoFlagA = 1, .version = 1830,
     .customDataMagic = kCustomDataMagic, .customDataCount = 1},
};
static_assert(isValidTable(kRows, InfoStrings::TextAndNul));

}  // namespace

const BundleTable& bundleTable() {
  static constexpr BundleTable table{kRows, InfoStrings::TextAndNul};
  return table;
}

}  // namespace vantor::KELOPluginSDK
