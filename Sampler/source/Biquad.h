// Second-order filters for the equaliser (TriBand): coefficients cooked from the Audio EQ
// Cookbook's formulas, filter memories per channel, and coefficient glides that move the
// coefficients geometrically by stepping the bit patterns of a transformed form.
//
// A filter computes, per sample, w = c2 x + c1 w1 + c0 w2 and y = w + c4 w1 + c3 w2, then
// w2 := w1, w1 := w: a direct form II with the numerator normalised by b0. Every kernel below
// runs that one step in single precision, so a channel's output does not depend on how its
// frames are cut into calls while the coefficients stay constant.
//
// Real-time: nothing here allocates, locks or keeps state of its own; the process functions
// may run on a render thread. One state object is used by one thread at a time.
#pragma once

#include <cstdint>

/// A cookbook filter with coefficients b0, b1, b2, a0, a1, a2, as the filter uses them:
/// c0 = -a2/a0, c1 = -a1/a0, c2 = b0/a0, c3 = b2/b0, c4 = b1/b0.
struct biquad_coeffs {
  float c0, c1, c2, c3, c4;
};

/// The two memories of one channel (held in double, computed in single precision).
struct biquad_state {
  double w1, w2;
};

/// A glide: `current` holds the bit patterns of the transformed coefficients p0..p4 in force,
/// `step` the increment of each pattern per step, `remaining` the steps left.
struct biquad_interpolation_state {
  std::int32_t remaining;
  std::uint32_t current[5];
  std::int32_t step[5];
};

/// What the fixed-coefficient stereo kernel reads and writes: the five coefficients and the
/// memories w1, w2 of the left and then the right channel.
struct BiquadDSPStereoData {
  float c0, c1, c2, c3, c4;
  float leftW1, leftW2, rightW1, rightW2;
};

/// The cookbook's filters.
enum : int {
  RBJ_FILTERTYPE_START = 0,
  RBJ_LOWPASS = 0,
  RBJ_HIGHPASS = 1,
  RBJ_BANDPASS_SKIRT = 2,  // constant skirt gain, peak gain Q
  RBJ_BANDPASS_PEAK = 3,   // constant 0 dB peak gain
  RBJ_NOTCH = 4,
  RBJ_ALLPASS = 5,
  RBJ_PEAKING = 6,
  RBJ_LOWSHELF = 7,
  RBJ_HIGHSHELF = 8,
  RBJ_FILTERTYPE_STOP = 9,
};

/// How `q_value` gives `damping`, with alpha = damping x sin(w0).
enum : int {
  RBJ_QTYPE_START = 0,
  RBJ_QTYPE_INVERSE = 0,    // damping = 2 / q_value
  RBJ_QTYPE_DAMPING = 1,    // damping = q_value
  RBJ_QTYPE_BANDWIDTH = 2,  // q_value in octaves
  RBJ_QTYPE_SLOPE = 3,      // q_value is the shelf slope S
  RBJ_QTYPE_STOP = 4,
};

void biquad_state_init(biquad_state* state);

/// The pass-through filter: c2 = 1, the rest 0.
void biquad_coeffs_cook_bypass(biquad_coeffs* coeffs);

/// Cookbook coefficients; `frequency` in cycles per sample (above 0, below 0.5). False, with
/// the pass-through filter cooked, for a type or q type out of range, a negative or NaN
/// `q_value` or `damping`, or a result that is not finite.
bool biquad_coeffs_cook_rbj(biquad_coeffs* coeffs, int filter_type, float frequency, float gainDb,
                            int q_type, float q_value);

/// The magnitude of the filter's response at `frequency` cycles per sample, in double.
double biquad_coeffs_Hz(const biquad_coeffs* coeffs, double frequency);

/// `current` := the transformed `coeffs`, nothing to glide.
void biquad_interpolation_state_init(biquad_interpolation_state* glide,
                                     const biquad_coeffs* coeffs);

/// Starts a glide from the coefficients in force to `coeffs` that lands on them bit for bit
/// after `steps` steps; `steps` below 1 sets them at once.
void biquad_interpolation_state_set_target(biquad_interpolation_state* glide,
                                           const biquad_coeffs* coeffs, int steps);

/// The coefficients the transformed patterns `current` stand for.
biquad_coeffs biquad_interpolation_state_coeffs(const biquad_interpolation_state* glide);

/// Filters two channels in place. Each whole group of four frames first takes one glide step
/// while steps remain; frames after the last whole group are filtered one by one with the
/// coefficients in force and take no step. With `advance` 0 the glide state is left as it
/// was, so that further channels can replay the same steps.
void biquad_process_inplace_interpolating_4n2(float* left, float* right, int frames,
                                              biquad_state* l, biquad_state* r,
                                              biquad_interpolation_state* glide, int advance);

/// The same for one channel.
void biquad_process_inplace_interpolating_4n(float* samples, int frames, biquad_state* state,
                                             biquad_interpolation_state* glide, int advance);

/// One channel, one glide step per frame (no `advance`: the glide always moves).
void biquad_process_inplace_interpolating(float* samples, int frames, biquad_state* state,
                                          biquad_interpolation_state* glide);

/// Fixed coefficients, one channel: one group of four frames, or `frames` frames (whole
/// groups of four, then the rest one by one).
void biquad_process_inplace_4(float* samples, biquad_state* state, const biquad_coeffs* coeffs);
void biquad_process_inplace_4n(float* samples, int frames, biquad_state* state,
                               const biquad_coeffs* coeffs);

/// Fixed coefficients, two channels in place, whole groups of four frames only (a remainder
/// of `frames` % 4 is left untouched).
void biquad_process_stereo_dsp(float* left, float* right, BiquadDSPStereoData* data, int frames);
