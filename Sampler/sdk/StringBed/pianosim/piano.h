// The string model of the sympathetic resonance: a piano of 71 resonators (keys 21 to 91), each
// two waveguide strings tuned 0.1 % either side of the key's pitch. A string is a delay line
// closed by a first-order allpass (the fractional part of its period), a one-pole loss filter
// and a loop gain; the input reaches it through a coupling that glides towards 1 while its key
// is held and towards 0 once released.
//
// Silence: a string whose input block is exactly zero and whose remaining ring could add no
// more than 5e-10 to the output rests: its loop is cleared once and it costs nothing until
// the input sounds again; its smoothed gain, loss and coupling (and the point where a released
// string would have stopped) are caught up at once when it wakes or its damper moves. So a
// piano whose input is silent adds exactly nothing, where running would leave a residue of
// the loops' rounding offsets, and its output otherwise is the same within -140 dBFS.
//
// Plain records and free functions. Init, finalize, setgain and setdecay allocate or free;
// processing, note changes and piano_reset never allocate, lock or block (audio thread). A piano
// is used by one thread at a time. String indices other than 0 and 1 are programming errors.
#pragma once

#include <cstdint>

struct delay {
  float* buffer = nullptr;  // owned; null while the line has no storage
  std::int32_t length = 0;  // N
  std::int32_t position = 0;
};

struct allpass {
  double state = 0;
  double coefficient = 0;
};

struct pianostring {
  delay line;
  allpass dispersion;
  double lowpassState = 0;
  double coupling = 0;  // factor of the input, 1e-6 to 1.000001
  float holdGain = 0, releaseGain = 0;
  float holdCoef = 0, releaseCoef = 0;
  double gainNow = 0, coefNow = 0;  // smoothed loop gain and loss coefficient in force
  float outputGain = 0;
  float smoothing = 0;  // per-sample factor, 1 / (0.02 * rate)
  std::int32_t damperUp = 0;
  std::int32_t quietCount = 0;  // consecutive samples below 0.001
  std::int32_t resting = 0;     // 1 while the string rests in silence
  std::uint64_t restSynced = 0;  // the piano's clock its smoothing was last brought to
};

struct resonator {
  pianostring strings[2];
};

inline constexpr int kPianoLowestKey = 21;
inline constexpr int kPianoHighestKey = 91;
inline constexpr int kPianoResonators = kPianoHighestKey - kPianoLowestKey + 1;

struct piano {
  resonator resonators[kPianoResonators];  // index = key - 21
  std::uint64_t clock = 0;                 // frames processed
  bool asleep = false;  // every string rests or has stopped, nothing changed since
};

/// Initialises every resonator at `rate`: with `table`, resonator k gets table[2k] and
/// table[2k + 1]; without, 440 * 2^((k - 48) / 12) times 0.999 and 1.001. Answers the number of
/// strings whose delay line could not be allocated (0 when all could): those stay silent.
int piano_init(piano* p, float rate, const float* table);
void piano_finalize(piano* p);
/// Back to the state of piano_init (lines cleared, filters and couplings at rest, keys
/// released), keeping the gains and decays set since. No allocation.
void piano_reset(piano* p);
void piano_setgain(piano* p, int string, float gain);
/// Key-tracked loop gains (ghold, grels at key 69, scaled by gtrack) and loss-filter corners
/// (dhold, drels at key 69, scaled by dtrack) for one string of every resonator.
void piano_setdecay(piano* p, int string, float rate, float ghold, float grels, float gtrack,
                    float dhold, float drels, float dtrack);
/// Adds every resonator's output to `out` (which may not be `in`); answers whether any string
/// ran (when none did, `out` is untouched).
bool piano_processadding(piano* p, const float* in, float* out, int frames);
/// When every string rests or has stopped and `in` is silent, passes the block (the clock
/// moves on) and answers true: processing it would add nothing. Otherwise false, nothing done.
bool piano_idle(piano* p, const float* in, int frames);
/// Keys outside 21..91 are ignored.
void piano_noteon(piano* p, int key);
void piano_noteoff(piano* p, int key);

/// Answers the number of strings (0 to 2) left without a delay line.
int resonator_init(resonator* r, double rate, double f0, double f1);
void resonator_finalize(resonator* r);
void resonator_reset(resonator* r);
void resonator_processadding(resonator* r, const float* in, float* out, int frames);
void resonator_noteon(resonator* r);
void resonator_noteoff(resonator* r);
void resonator_setgain(resonator* r, int string, double gain);
void resonator_setdecay(resonator* r, int string, double rate, double gh, double gr, double fh,
                        double fr);

/// False when the delay line could not be allocated, or the rate or frequency is not positive
/// and finite (or their ratio absurd); the string is then silent and skipped.
bool string_init(pianostring* s, double rate, double frequency);
void string_finalize(pianostring* s);
void string_reset(pianostring* s);
void string_setgain(pianostring* s, double gain);
void string_setdecay(pianostring* s, double rate, double gh, double gr, double fh, double fr);
void string_processadding(pianostring* s, const float* in, float* out, int frames);
void string_noteon(pianostring* s);
void string_noteoff(pianostring* s);
bool string_isactive(const pianostring* s);
/// Whether the string may rest: it could add no more than 5e-10 to the output from now on.
bool string_mayrest(const pianostring* s);
/// Clears the loop and starts resting at the piano's clock `now`.
void string_rest(pianostring* s, std::uint64_t now);
/// Brings the smoothing of a resting string to the piano's clock `now` as the silent samples
/// since it was last brought there would have, stopping where a released string would have
/// stopped; it goes on resting.
void string_catchup(pianostring* s, std::uint64_t now);

/// Frees an existing buffer and allocates N zeroed floats; false (no buffer, length 0) when
/// the heap is short.
bool delay_init(delay* d, int N);
void delay_clear(delay* d);
void delay_finalize(delay* d);

void allpass_init(allpass* a);
/// fd must be above 0.
void allpass_setfractionaldelay(allpass* a, double fd);

/// The coefficient of a one-pole low-pass with corner `fc` at `rate`.
double cookonepolecoeff_sr_fc(double rate, double fc);
