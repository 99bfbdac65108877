#include "VNL/source/ProductConf.h"

// The values of this product; the three engine hosts carry this block byte for byte.
const ProductConf conf = {
    .beginMarker = kProductConfBeginMarker,
    .reserved04 = 0,
    .uniqueID = fourCharCode("QUVE"),
    .numInputs = 0,
    .numOutputs = 2,
    .receivesMIDI = 1,
    .sendsMIDI = 1,
    .numPrograms = 0,
    .reserved20 = 0,
    .numParams = 0,
    .isEffect = 0,
    .reserved2C = {},
    .vendorName = "Sorvelin",
    .productName = "KELO Player",
    .multiCapable = 1,
    .multiActive = 0,
    .reservedC2 = {},
    .multiNumInputs = 0,
    .multiNumOutputs = 32,
    .reservedCC = 1,
    .multiUniqueID = fourCharCode("QUVe"),
    .reservedD4 = {},
    .endMarker = kProductConfEndMarker,
};
