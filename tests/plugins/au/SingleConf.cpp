#include "VNL/source/ProductConf.h"

// A build without the multi-output configurations (one channel entry, 0/2), parameters or MIDI
// output.
const ProductConf conf = {
    .beginMarker = kProductConfBeginMarker, .reserved04 = 0, .uniqueID = fourCharCode("QUVE"),
    .numInputs = 0, .numOutputs = 2, .receivesMIDI = 1, .sendsMIDI = 0, .numPrograms = 0,
    .reserved20 = 0, .numParams = 0, .isEffect = 0, .reserved2C = {}, .vendorName = "Sorvelin",
    .productName = "KELO Player", .multiCapable = 0, .multiActive = 0, .reservedC2 = {},
    .multiNumInputs = 0, .multiNumOutputs = 32, .reservedCC = 1, .multiUniqueID = fourCharCode("QUVe"),
    .reservedD4 = {}, .endMarker = kProductConfEndMarker,
};
