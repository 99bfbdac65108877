#include "Sampler/sdk/StringBed/pianosim/piano.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "Sampler/sdk/calvatero/newconv/Assert.h"
#include "Sampler/sdk/calvatero/newconv/Common.h"

namespace {

constexpr double kTwoPi = 6.283184;
constexpr double kQuiet = 0.001;
constexpr double kCoupledHeld = 1.000001;
constexpr double kCoupledReleased = 1e-6;
// What a resting string may still have added, at most: 142 strings stay below 1e-7 (-140 dBFS).
constexpr double kRestLimit = 5e-10;

pianostring& stringOf(resonator* r, int string) {
  CALVATERO_ASSERT(string == 0 || string == 1);
  return r->strings[string];
}

// The values string_init leaves, apart from the line's storage and tuning.
void restState(pianostring* s) {
  delay_clear(&s->line);
  s->line.position = 0;
  s->dispersion.state = 0;
  s->lowpassState = 0;
  s->coupling = kCoupledReleased;
  s->gainNow = 1.0;
  s->coefNow = 1.0;
  s->damperUp = 0;
  s->quietCount = 0;
  s->resting = 0;
}

bool silentAndReleased(const pianostring* s) {
  return s->damperUp == 0 && s->quietCount >= s->line.length && s->coupling <= kQuiet;
}

}  // namespace

double cookonepolecoeff_sr_fc(double rate, double fc) { return 1.0 - std::exp(-kTwoPi * fc / rate); }

bool delay_init(delay* d, int N) {
  delay_finalize(d);
  if (N < 1) return false;
  d->buffer = static_cast<float*>(
      calvatero::common::MallocAligned(sizeof(float) * static_cast<std::size_t>(N), 16, 0));
  if (d->buffer == nullptr) return false;
  d->length = N;
  delay_clear(d);
  return true;
}

void delay_clear(delay* d) {
  if (d->buffer != nullptr) std::memset(d->buffer, 0, sizeof(float) * d->length);
}

void delay_finalize(delay* d) {
  calvatero::common::FreeAligned(d->buffer);
  d->buffer = nullptr;
  d->length = 0;
  d->position = 0;
}

void allpass_init(allpass* a) {
  a->state = 0;
  a->coefficient = 0;
}

void allpass_setfractionaldelay(allpass* a, double fd) {
  CALVATERO_ASSERT(fd > 0);
  a->coefficient = (1 - fd) / (1 + fd);
}

bool string_init(pianostring* s, double rate, double frequency) {
  double period = rate / frequency;
  const double a = std::exp(-kTwoPi * 12000.0 / rate);
  const double lossDelay = 1.0 / (1.0 - a) - 1.0;
  if (!(rate > 0 && frequency > 0 && period < 1e9 && lossDelay < 1e9)) period = 0;  // no line
  double loop = period - lossDelay;
  while (period > 0 && loop < 2.0) {  // too short for the loop: an octave lower
    period = 2.0 * period;
    loop = period - lossDelay;
  }
  const int n = period > 0 ? static_cast<int>(loop - 0.5) : 0;
  const bool allocated = delay_init(&s->line, n);
  allpass_init(&s->dispersion);
  if (allocated) allpass_setfractionaldelay(&s->dispersion, loop - n);
  s->holdGain = s->releaseGain = s->holdCoef = s->releaseCoef = 1.0f;
  s->outputGain = 1.0f;
  s->smoothing = static_cast<float>(1.0 / (rate * 0.02));
  restState(s);
  return allocated;
}

void string_finalize(pianostring* s) {
  delay_finalize(&s->line);
  s->outputGain = 0;
  s->damperUp = 0;
  s->quietCount = 0;
  s->holdGain = s->releaseGain = s->holdCoef = s->releaseCoef = 0;
}

void string_reset(pianostring* s) { restState(s); }

void string_setgain(pianostring* s, double gain) { s->outputGain = static_cast<float>(gain); }

void string_setdecay(pianostring* s, double rate, double gh, double gr, double fh, double fr) {
  s->holdGain = static_cast<float>(gh);
  s->releaseGain = static_cast<float>(gr);
  s->holdCoef = static_cast<float>(cookonepolecoeff_sr_fc(rate, fh));
  s->releaseCoef = static_cast<float>(cookonepolecoeff_sr_fc(rate, fr));
}

void string_processadding(pianostring* s, const float* in, float* out, int frames) {
  if (frames < 1 || s->line.buffer == nullptr || silentAndReleased(s)) return;
  const double k = s->smoothing;
  const bool held = s->damperUp == 1;
  const double gainTarget = held ? s->holdGain : s->releaseGain;
  const double coefTarget = held ? s->holdCoef : s->releaseCoef;
  const double couplingTarget = held ? kCoupledHeld : kCoupledReleased;
  float* const line = s->line.buffer;
  const std::int32_t length = s->line.length;
  const double c = s->dispersion.coefficient;
  for (int n = 0; n < frames; ++n) {
    s->gainNow += k * (gainTarget - s->gainNow);
    s->coefNow += k * (coefTarget - s->coefNow);
    const double x = line[s->line.position];
    const double y = c * x + s->dispersion.state;
    s->dispersion.state = x - c * y + 1e-12;
    s->lowpassState += s->coefNow * (y - s->lowpassState) + 1e-10;
    const double o = s->gainNow * s->lowpassState;
    s->coupling += k * (couplingTarget - s->coupling);
    const double v = in[n] * s->coupling + o;
    if (std::fabs(v) < kQuiet) {
      s->quietCount += 1;
      if (!held && s->coupling <= kQuiet && s->quietCount >= length) return;
    } else {
      s->quietCount = 0;
    }
    line[s->line.position] = static_cast<float>(v);
    if (++s->line.position == length) s->line.position = 0;
    out[n] += static_cast<float>(o * s->outputGain);
  }
}

bool string_mayrest(const pianostring* s) {
  if (s->line.buffer == nullptr || silentAndReleased(s)) return false;
  float peak = 0;
  for (std::int32_t i = 0; i < s->line.length; ++i) peak = std::max(peak, std::fabs(s->line.buffer[i]));
  // The allpass may raise a peak, the loss filter and the loop gain never do: twice the state.
  const double state = peak + std::fabs(s->dispersion.state) + std::fabs(s->lowpassState);
  return 2.0 * state * std::fabs(s->outputGain) <= kRestLimit;
}

void string_rest(pianostring* s, std::uint64_t now) {
  delay_clear(&s->line);
  s->dispersion.state = 0;
  s->lowpassState = 0;
  s->resting = 1;
  s->restSynced = now;
}

void string_catchup(pianostring* s, std::uint64_t now) {
  if (s->resting == 0 || now <= s->restSynced) return;
  std::uint64_t n = now - s->restSynced;
  s->restSynced = now;
  if (silentAndReleased(s)) return;  // stopped already: nothing moves
  const double r = 1.0 - static_cast<double>(s->smoothing);
  const bool held = s->damperUp == 1;
  const double couplingTarget = held ? kCoupledHeld : kCoupledReleased;
  if (!held) {
    // Running silence, a released string stops at the first sample whose coupling is at most
    // 0.001 once a whole loop of quiet samples has passed.
    std::uint64_t stop = s->line.length > s->quietCount
                             ? static_cast<std::uint64_t>(s->line.length - s->quietCount)
                             : 1;
    if (s->coupling > kQuiet && r > 0 && r < 1) {
      const double samples = std::ceil(std::log((kQuiet - couplingTarget) /
                                                (s->coupling - couplingTarget)) / std::log(r));
      stop = std::max(stop, static_cast<std::uint64_t>(std::max(samples, 1.0)));
    }
    n = std::min(n, stop);
  }
  const double f = std::pow(r, static_cast<double>(n));
  const double gainTarget = held ? s->holdGain : s->releaseGain;
  const double coefTarget = held ? s->holdCoef : s->releaseCoef;
  s->gainNow = gainTarget + (s->gainNow - gainTarget) * f;
  s->coefNow = coefTarget + (s->coefNow - coefTarget) * f;
  s->coupling = couplingTarget + (s->coupling - couplingTarget) * f;
  const std::uint64_t quiet = static_cast<std::uint64_t>(s->quietCount) + n;
  s->quietCount = static_cast<std::int32_t>(std::min<std::uint64_t>(quiet, INT32_MAX));
}

void string_noteon(pianostring* s) { s->damperUp = 1; }
void string_noteoff(pianostring* s) { s->damperUp = 0; }

bool string_isactive(const pianostring* s) {
  if (s->line.buffer == nullptr) return false;
  return s->damperUp == 1 || s->quietCount < s->line.length || s->coupling > kQuiet;
}

int resonator_init(resonator* r, double rate, double f0, double f1) {
  return int(!string_init(&r->strings[0], rate, f0)) + int(!string_init(&r->strings[1], rate, f1));
}

void resonator_finalize(resonator* r) {
  for (pianostring& s : r->strings) string_finalize(&s);
}

void resonator_reset(resonator* r) {
  for (pianostring& s : r->strings) string_reset(&s);
}

void resonator_processadding(resonator* r, const float* in, float* out, int frames) {
  for (pianostring& s : r->strings) string_processadding(&s, in, out, frames);
}

void resonator_noteon(resonator* r) {
  for (pianostring& s : r->strings) string_noteon(&s);
}

void resonator_noteoff(resonator* r) {
  for (pianostring& s : r->strings) string_noteoff(&s);
}

void resonator_setgain(resonator* r, int string, double gain) {
  string_setgain(&stringOf(r, string), gain);
}

void resonator_setdecay(resonator* r, int string, double rate, double gh, double gr, double fh,
                        double fr) {
  string_setdecay(&stringOf(r, string), rate, gh, gr, fh, fr);
}

int piano_init(piano* p, float rate, const float* table) {
  p->asleep = false;
  int missing = 0;
  for (int k = 0; k < kPianoResonators; ++k) {
    double f0, f1;
    if (table != nullptr) {
      f0 = table[2 * k];
      f1 = table[2 * k + 1];
    } else {
      const double f = 440.0 * std::pow(2.0, (k - 48) / 12.0);
      f0 = static_cast<float>(f * 0.999f);
      f1 = static_cast<float>(f * 1.001f);
    }
    missing += resonator_init(&p->resonators[k], rate, f0, f1);
  }
  return missing;
}

void piano_finalize(piano* p) {
  p->asleep = false;
  for (resonator& r : p->resonators) resonator_finalize(&r);
}

void piano_reset(piano* p) {
  p->asleep = false;
  for (resonator& r : p->resonators) resonator_reset(&r);
}

void piano_setgain(piano* p, int string, float gain) {
  CALVATERO_ASSERT(string == 0 || string == 1);
  for (resonator& r : p->resonators) resonator_setgain(&r, string, gain);
}

void piano_setdecay(piano* p, int string, float rate, float ghold, float grels, float gtrack,
                    float dhold, float drels, float dtrack) {
  CALVATERO_ASSERT(string == 0 || string == 1);
  for (int k = 0; k < kPianoResonators; ++k) {
    const double r = std::pow(2.0, (k - 48) / 12.0);  // pitch relative to 440 Hz
    const double e = std::pow(r, -static_cast<double>(gtrack));
    const double t = std::pow(r, static_cast<double>(dtrack));
    resonator_setdecay(&p->resonators[k], string, rate, std::pow(double(ghold), e),
                       std::pow(double(grels), e), t * dhold, t * drels);
  }
}

bool piano_idle(piano* p, const float* in, int frames) {
  if (frames < 1) return true;
  if (!p->asleep || !calvatero::common::AllZero(in, static_cast<std::size_t>(frames))) return false;
  p->clock += static_cast<std::uint64_t>(frames);
  return true;
}

bool piano_processadding(piano* p, const float* in, float* out, int frames) {
  if (frames < 1) return false;
  const bool silent = calvatero::common::AllZero(in, static_cast<std::size_t>(frames));
  if (silent && p->asleep) {
    p->clock += static_cast<std::uint64_t>(frames);
    return false;
  }
  bool ran = false;
  for (resonator& r : p->resonators) {
    for (pianostring& s : r.strings) {
      if (s.resting != 0) {
        if (silent) continue;
        string_catchup(&s, p->clock);
        s.resting = 0;
      } else if (silent && string_mayrest(&s)) {
        string_rest(&s, p->clock);
        continue;
      }
      if (s.line.buffer == nullptr || silentAndReleased(&s)) continue;
      string_processadding(&s, in, out, frames);
      ran = true;
    }
  }
  p->clock += static_cast<std::uint64_t>(frames);
  p->asleep = silent && !ran;
  return ran;
}

namespace {

// A damper that moves changes where the smoothing of a resting string heads.
resonator* restingCaughtUp(piano* p, int key) {
  resonator* r = &p->resonators[key - kPianoLowestKey];
  for (pianostring& s : r->strings) string_catchup(&s, p->clock);
  return r;
}

}  // namespace

void piano_noteon(piano* p, int key) {
  if (key < kPianoLowestKey || key > kPianoHighestKey) return;
  p->asleep = false;
  resonator_noteon(restingCaughtUp(p, key));
}

void piano_noteoff(piano* p, int key) {
  if (key < kPianoLowestKey || key > kPianoHighestKey) return;
  p->asleep = false;
  resonator_noteoff(restingCaughtUp(p, key));
}
