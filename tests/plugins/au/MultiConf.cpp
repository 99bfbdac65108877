#include "VNL/source/ProductConf.h"

// A multi-output build with a parameter for each of the reference engine's seventeen and one
// beyond them, so that every channel configuration and every kind of parameter is reachable.
const ProductConf conf = {
    .beginMarker = kProductConfBeginMarker, .reserved04 = 0, .uniqueID = fourCharCode("QUVE"),
    .numInputs = 0, .numOutputs = 2, .receivesMIDI = 1, .sendsMIDI = 1, .numPrograms = 0,
    .reserved20 = 0, .numParams = 18, .isEffect = 0, .reserved2C = {}, .vendorName = "Sorvelin",
    .productName = "KELO Player", .multiCapable = 1, .multiActive = 0, .reservedC2 = {},
    .multiNumInputs = 0, .multiNumOutputs = 32, .reservedCC = 1, .multiUniqueID = fourCharCode("QUVe"),
    .reservedD4 = {}, .endMarker = kProductConfEndMarker,
};
