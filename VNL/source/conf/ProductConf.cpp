#include "VNL/source/ProductConf.h"

// The multi-output build of the VST plug-in compiles this block with KELO_CONF_MULTI_ACTIVE=1.
#ifndef KELO_CONF_MULTI_ACTIVE
#define KELO_CONF_MULTI_ACTIVE 0
#endif
// Tests of the plug-ins build it with parameters (KELO_CONF_NUM_PARAMS), programs
// (KELO_CONF_NUM_PROGRAMS) or without MIDI output (KELO_CONF_SENDS_MIDI).
#ifndef KELO_CONF_NUM_PARAMS
#define KELO_CONF_NUM_PARAMS 0
#endif
#ifndef KELO_CONF_NUM_PROGRAMS
#define KELO_CONF_NUM_PROGRAMS 0
#endif
#ifndef KELO_CONF_SENDS_MIDI
#define KELO_CONF_SENDS_MIDI 1
#endif

// The values of this product; the three engine hosts carry this block byte for byte.
const ProductConf conf = {
    .beginMarker = kProductConfBeginMarker,
    .reserved04 = 0,
    .uniqueID = fourCharCode("QUVE"),
    .numInputs = 0,
    .numOutputs = 2,
    .receivesMIDI = 1,
    .sendsMIDI = KELO_CONF_SENDS_MIDI,
    .numPrograms = KELO_CONF_NUM_PROGRAMS,
    .reserved20 = 0,
    .numParams = KELO_CONF_NUM_PARAMS,
    .isEffect = 0,
    .reserved2C = {},
    .vendorName = "Sorvelin",
    .productName = "KELO Player",
    .multiCapable = 1,
    .multiActive = KELO_CONF_MULTI_ACTIVE,
    .reservedC2 = {},
    .multiNumInputs = 0,
    .multiNumOutputs = 32,
    .reservedCC = 1,
    .multiUniqueID = fourCharCode("QUVe"),
    .reservedD4 = {},
    .endMarker = kProductConfEndMarker,
};
