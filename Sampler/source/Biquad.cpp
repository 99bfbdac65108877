#include "Sampler/source/Biquad.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <complex>
#include <cstring>

namespace {

// The transformed coefficients are offset so that, for the stable filters the equaliser
// cooks, all five are positive and stepping their bit patterns moves them geometrically.
constexpr float kOffset = 1.000002f;
constexpr float kOffset2 = 2.000004f;

void encode(const biquad_coeffs& c, std::uint32_t (&patterns)[5]) {
  const float p[5] = {c.c0 + kOffset, kOffset - c.c1 - c.c0, c.c2, kOffset - c.c3,
                      kOffset + c.c4 + c.c3};
  for (int k = 0; k < 5; ++k) patterns[k] = std::bit_cast<std::uint32_t>(p[k]);
}

biquad_coeffs decode(const std::uint32_t (&patterns)[5]) {
  float p[5];
  for (int k = 0; k < 5; ++k) p[k] = std::bit_cast<float>(patterns[k]);
  return {p[0] - kOffset, kOffset2 - p[1] - p[0], p[2], kOffset - p[3], p[4] + p[3] - kOffset2};
}

// Modular arithmetic on the patterns: n steps land on the target whatever the signs.
void takeStep(std::uint32_t (&current)[5], const std::int32_t (&step)[5]) {
  for (int k = 0; k < 5; ++k) current[k] += static_cast<std::uint32_t>(step[k]);
}

// The one filter step every kernel runs.
inline float tick(const biquad_coeffs& c, float x, float& w1, float& w2) {
  const float w = c.c2 * x + c.c1 * w1 + c.c0 * w2;
  const float y = w + c.c4 * w1 + c.c3 * w2;
  w2 = w1;
  w1 = w;
  return y;
}

struct Memory {
  float w1 = 0.0f, w2 = 0.0f;
  void load(const biquad_state& s) {
    w1 = static_cast<float>(s.w1);
    w2 = static_cast<float>(s.w2);
  }
  void store(biquad_state& s) const {
    s.w1 = w1;
    s.w2 = w2;
  }
};

template <int Channels>
void filterFrames(float* const (&samples)[Channels], Memory (&memory)[Channels], int from, int to,
                  const biquad_coeffs& c) {
  for (int ch = 0; ch < Channels; ++ch)
    for (int i = from; i < to; ++i)
      samples[ch][i] = tick(c, samples[ch][i], memory[ch].w1, memory[ch].w2);
}

template <int Channels>
void interpolating4n(float* const (&samples)[Channels], biquad_state* const (&states)[Channels],
                     int frames, biquad_interpolation_state* glide, int advance) {
  if (frames <= 0) return;
  Memory memory[Channels];
  for (int ch = 0; ch < Channels; ++ch) memory[ch].load(*states[ch]);
  std::uint32_t current[5];
  std::memcpy(current, glide->current, sizeof current);
  const int groups = frames / 4;
  const int gliding = std::clamp(glide->remaining, 0, groups);
  for (int g = 0; g < gliding; ++g) {
    takeStep(current, glide->step);
    filterFrames(samples, memory, 4 * g, 4 * g + 4, decode(current));
  }
  filterFrames(samples, memory, 4 * gliding, frames, decode(current));
  for (int ch = 0; ch < Channels; ++ch) memory[ch].store(*states[ch]);
  if (advance != 0) {
    glide->remaining -= gliding;
    std::memcpy(glide->current, current, sizeof current);
  }
}

}  // namespace

void biquad_state_init(biquad_state* state) { *state = {0.0, 0.0}; }

void biquad_coeffs_cook_bypass(biquad_coeffs* coeffs) { *coeffs = {0.0f, 0.0f, 1.0f, 0.0f, 0.0f}; }

bool biquad_coeffs_cook_rbj(biquad_coeffs* coeffs, int filter_type, float frequency, float gainDb,
                            int q_type, float q_value) {
  biquad_coeffs_cook_bypass(coeffs);
  if (filter_type < RBJ_FILTERTYPE_START || filter_type >= RBJ_FILTERTYPE_STOP ||
      q_type < RBJ_QTYPE_START || q_type >= RBJ_QTYPE_STOP || !(q_value >= 0.0f))
    return false;
  float A = 0.0f, sqrtA = 0.0f;
  if (filter_type >= RBJ_PEAKING || q_type == RBJ_QTYPE_SLOPE) {
    sqrtA = std::pow(10.0f, gainDb * 0.0125f);
    A = sqrtA * sqrtA;
  }
  const float w0 = 6.2831855f * frequency;
  const float sn = std::sin(w0);
  const float cs = std::cos(w0);
  float damping = 0.0f;
  switch (q_type) {
    case RBJ_QTYPE_INVERSE:
      damping = 2.0f / q_value;
      break;
    case RBJ_QTYPE_DAMPING:
      damping = q_value;
      break;
    case RBJ_QTYPE_BANDWIDTH:
      damping = std::sinh(0.3465736f * q_value * w0 / sn);
      break;
    default:
      damping = 0.5f * std::sqrt((1.0f / std::max(q_value, 0.001f) - 1.0f) * (A + 1.0f / A) + 2.0f);
  }
  if (!(damping >= 0.0f)) return false;
  const float alpha = damping * sn;
  const float shelf = 2.0f * sqrtA * alpha;
  float b0, b1, b2, a0, a1, a2;
  switch (filter_type) {
    case RBJ_LOWPASS:
      b0 = (1.0f - cs) * 0.5f, b1 = 1.0f - cs, b2 = b0;
      a0 = 1.0f + alpha, a1 = -2.0f * cs, a2 = 1.0f - alpha;
      break;
    case RBJ_HIGHPASS:
      b0 = (1.0f + cs) * 0.5f, b1 = -(1.0f + cs), b2 = b0;
      a0 = 1.0f + alpha, a1 = -2.0f * cs, a2 = 1.0f - alpha;
      break;
    case RBJ_BANDPASS_SKIRT:
      b0 = sn * 0.5f, b1 = 0.0f, b2 = -b0;
      a0 = 1.0f + alpha, a1 = -2.0f * cs, a2 = 1.0f - alpha;
      break;
    case RBJ_BANDPASS_PEAK:
      b0 = alpha, b1 = 0.0f, b2 = -alpha;
      a0 = 1.0f + alpha, a1 = -2.0f * cs, a2 = 1.0f - alpha;
      break;
    case RBJ_NOTCH:
      b0 = 1.0f, b1 = -2.0f * cs, b2 = 1.0f;
      a0 = 1.0f + alpha, a1 = -2.0f * cs, a2 = 1.0f - alpha;
      break;
    case RBJ_ALLPASS:
      b0 = 1.0f - alpha, b1 = -2.0f * cs, b2 = 1.0f + alpha;
      a0 = 1.0f + alpha, a1 = -2.0f * cs, a2 = 1.0f - alpha;
      break;
    case RBJ_PEAKING:
      b0 = 1.0f + alpha * A, b1 = -2.0f * cs, b2 = 1.0f - alpha * A;
      a0 = 1.0f + alpha / A, a1 = -2.0f * cs, a2 = 1.0f - alpha / A;
      break;
    case RBJ_LOWSHELF:
      b0 = A * ((A + 1.0f) - (A - 1.0f) * cs + shelf);
      b1 = 2.0f * A * ((A - 1.0f) - (A + 1.0f) * cs);
      b2 = A * ((A + 1.0f) - (A - 1.0f) * cs - shelf);
      a0 = (A + 1.0f) + (A - 1.0f) * cs + shelf;
      a1 = -2.0f * ((A - 1.0f) + (A + 1.0f) * cs);
      a2 = (A + 1.0f) + (A - 1.0f) * cs - shelf;
      break;
    default:  // RBJ_HIGHSHELF
      b0 = A * ((A + 1.0f) + (A - 1.0f) * cs + shelf);
      b1 = -2.0f * A * ((A - 1.0f) + (A + 1.0f) * cs);
      b2 = A * ((A + 1.0f) + (A - 1.0f) * cs - shelf);
      a0 = (A + 1.0f) - (A - 1.0f) * cs + shelf;
      a1 = 2.0f * ((A - 1.0f) - (A + 1.0f) * cs);
      a2 = (A + 1.0f) - (A - 1.0f) * cs - shelf;
  }
  const biquad_coeffs cooked{-a2 / a0, -a1 / a0, b0 / a0, b2 / b0, b1 / b0};
  for (float c : {cooked.c0, cooked.c1, cooked.c2, cooked.c3, cooked.c4})
    if (!std::isfinite(c)) return false;
  *coeffs = cooked;
  return true;
}

double biquad_coeffs_Hz(const biquad_coeffs* coeffs, double frequency) {
  const std::complex<double> z1 = std::polar(1.0, -2.0 * M_PI * frequency);
  const std::complex<double> z2 = z1 * z1;
  const std::complex<double> numerator =
      static_cast<double>(coeffs->c2) *
      (1.0 + static_cast<double>(coeffs->c4) * z1 + static_cast<double>(coeffs->c3) * z2);
  const std::complex<double> denominator =
      1.0 - static_cast<double>(coeffs->c1) * z1 - static_cast<double>(coeffs->c0) * z2;
  return std::abs(numerator / denominator);
}

void biquad_interpolation_state_init(biquad_interpolation_state* glide,
                                     const biquad_coeffs* coeffs) {
  encode(*coeffs, glide->current);
  std::fill(std::begin(glide->step), std::end(glide->step), 0);
  glide->remaining = 0;
}

void biquad_interpolation_state_set_target(biquad_interpolation_state* glide,
                                           const biquad_coeffs* coeffs, int steps) {
  if (steps < 1) {
    biquad_interpolation_state_init(glide, coeffs);
    return;
  }
  std::uint32_t target[5];
  encode(*coeffs, target);
  for (int k = 0; k < 5; ++k) {
    const std::int64_t difference = std::int64_t{std::bit_cast<std::int32_t>(target[k])} -
                                    std::bit_cast<std::int32_t>(glide->current[k]);
    const auto step = static_cast<std::uint32_t>(difference / steps);
    glide->step[k] = std::bit_cast<std::int32_t>(step);
    glide->current[k] = target[k] - static_cast<std::uint32_t>(steps) * step;
  }
  glide->remaining = steps;
}

biquad_coeffs biquad_interpolation_state_coeffs(const biquad_interpolation_state* glide) {
  return decode(glide->current);
}

void biquad_process_inplace_interpolating_4n2(float* left, float* right, int frames,
                                              biquad_state* l, biquad_state* r,
                                              biquad_interpolation_state* glide, int advance) {
  interpolating4n<2>({left, right}, {l, r}, frames, glide, advance);
}

void biquad_process_inplace_interpolating_4n(float* samples, int frames, biquad_state* state,
                                             biquad_interpolation_state* glide, int advance) {
  interpolating4n<1>({samples}, {state}, frames, glide, advance);
}

void biquad_process_inplace_interpolating(float* samples, int frames, biquad_state* state,
                                          biquad_interpolation_state* glide) {
  Memory memory;
  memory.load(*state);
  biquad_coeffs c = decode(glide->current);
  for (int i = 0; i < frames; ++i) {
    if (glide->remaining > 0) {
      takeStep(glide->current, glide->step);
      --glide->remaining;
      c = decode(glide->current);
    }
    samples[i] = tick(c, samples[i], memory.w1, memory.w2);
  }
  memory.store(*state);
}

void biquad_process_inplace_4(float* samples, biquad_state* state, const biquad_coeffs* coeffs) {
  biquad_process_inplace_4n(samples, 4, state, coeffs);
}

void biquad_process_inplace_4n(float* samples, int frames, biquad_state* state,
                               const biquad_coeffs* coeffs) {
  Memory memory[1];
  memory[0].load(*state);
  filterFrames<1>({samples}, memory, 0, std::max(frames, 0), *coeffs);
  memory[0].store(*state);
}

void biquad_process_stereo_dsp(float* left, float* right, BiquadDSPStereoData* data, int frames) {
  const biquad_coeffs c{data->c0, data->c1, data->c2, data->c3, data->c4};
  Memory memory[2] = {{data->leftW1, data->leftW2}, {data->rightW1, data->rightW2}};
  filterFrames<2>({left, right}, memory, 0, std::max(frames, 0) / 4 * 4, c);
  data->leftW1 = memory[0].w1, data->leftW2 = memory[0].w2;
  data->rightW1 = memory[1].w1, data->rightW2 = memory[1].w2;
}
