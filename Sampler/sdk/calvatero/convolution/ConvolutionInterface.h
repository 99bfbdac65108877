// The convolution library's C interface: zero-added-latency stereo convolution through an
// opaque handle. Output frame t depends on input frames up to and including t, and the first
// output frame of every call is final. Left impulse with left input, right with right.
//
// Order: init, then calculate and reset calls from one thread at a time, then end. A new
// impulse means a new convolver. Init allocates and transforms the whole impulse (a worker
// thread's job for long impulses); calculate and reset never allocate, lock or block, so they
// may run on the audio thread. No exception crosses these functions.
#pragma once

#include <cstddef>

extern "C" {

/// Codes of the init calls.
enum {
  ZKCV_OK = 0,
  ZKCV_NO_VECTOR_SUPPORT = 1,  ///< the processor lacks the vector instructions (checked first)
  ZKCV_OUT_OF_MEMORY = 2,      ///< an allocation failed
  ZKCV_FFT_OUT_OF_RANGE = 3,   ///< a transform longer than the library supports
  ZKCV_FFT_UNRECOVERABLE = 4,  ///< any other failure, invalid arguments included
};

/// Creates a convolver for `irFrames` frames of the two impulses (read only during the call;
/// 0 frames gives silence and the arrays may then be null). `maxBlockFrames` is the longest
/// call intended: the shortest engines size their buffers by it and split longer calls.
/// Writes the handle, null on failure; nothing stays allocated after a failure. A null
/// `handleOut`, or a null impulse with frames, answers 4; more than 2^28 frames answers 2
/// before the impulse is read (both init calls alike).
int zkcvInitConvolverStereo(const float* irLeft, const float* irRight, std::size_t irFrames,
                            std::size_t maxBlockFrames, void** handleOut);

/// Convolves `frames` frames, writing (not adding) the outputs; an output may be an input
/// (in-place processing). A null handle, a zero frame count or a null buffer does nothing.
/// Real-time safe.
void zkcvCalculateCurrentOutputStereo(float* outLeft, float* outRight, const float* inLeft,
                                      const float* inRight, std::size_t frames, void* handle);

/// Clears the signal history (the next output is as if the input had always been silent);
/// the impulse stays. Any kind of handle; null does nothing. Real-time safe.
void zkcvResetConvolver(void* handle);

/// Destroys a convolver of any kind and everything it owns; null does nothing.
void zkcvEndConvolver(void* handle);

}  // extern "C"
