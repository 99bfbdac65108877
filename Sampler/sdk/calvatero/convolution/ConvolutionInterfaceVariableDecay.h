// The variable-decay calls of the convolution library's C interface (ConvolutionInterface.h):
// a stereo convolver whose impulse response is weighted, tap by tap, by the product of decay
// factors the caller sets per stretch of frames (DecayNode.h). The sustain resonance's harp
// model drives it beside a plain convolver.
//
// Order, threads and ownership as for the plain calls: init (allocates; a worker's job), then
// calculate and reset from one thread at a time (real-time safe: no allocation, lock or
// block), then end. Handles of both kinds share one base, so the plain reset and end calls
// accept this kind too. No exception crosses these functions.
#pragma once

#include <cstddef>

#include "Sampler/sdk/calvatero/convolution/ConvolutionInterface.h"
#include "Sampler/sdk/calvatero/convolution/DecayNode.h"

extern "C" {

/// As zkcvInitConvolverStereo, with the same codes. Impulses shorter than 1600 frames are
/// padded with silence to 1600. Calls of any length are accepted; they are processed in runs
/// of min(maxBlockFrames, 1024) frames (1024 when maxBlockFrames is 0).
int zkcvInitConvolverVariableDecayStereo(const float* irLeft, const float* irRight,
                                         std::size_t irFrames, std::size_t maxBlockFrames,
                                         void** handleOut);

/// Convolves `frames` frames, writing the outputs; an output may be an input (in-place
/// processing). The nodes give the factors of the call's
/// frames in order: a node of zero frames is skipped, the last node covers the rest of the
/// call, frames of nodes beyond the call are ignored, and no nodes (count 0 or a null array)
/// continue the factor in force (1.0 after init and reset). A factor outside
/// [zkcvGetMinimumAllowableDecayFactor, 1.0] is clamped into it and a NaN keeps the factor in
/// force. The nodes are only read. A null handle, a handle of the plain kind, a zero frame
/// count or a null buffer does nothing. Real-time safe.
void zkcvCalculateCurrentOutputVariableDecayStereo(float* outLeft, float* outRight,
                                                   const float* inLeft, const float* inRight,
                                                   std::size_t frames,
                                                   calvatero::convolution::DecayNode* nodes,
                                                   std::size_t nodeCount, void* handle);

/// Clears the history and returns to factor 1.0 and a fresh decay cycle; null does nothing.
void zkcvResetConvolverVariableDecay(void* handle);

/// Destroys the convolver; null does nothing.
void zkcvEndConvolverVariableDecay(void* handle);

/// The smallest decay factor the convolver applies (read once after init); 1.0 for a null
/// handle or one of the plain kind.
double zkcvGetMinimumAllowableDecayFactor(void* handle);

}  // extern "C"
