#include "Sampler/sdk/StringBed/PianoHarp.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "Sampler/sdk/DefaultAlloc.h"
#include "Sampler/sdk/StringBed/HarpLowpassTables.h"
#include "Sampler/sdk/calvatero/convolution/ConvolutionInterfaceVariableDecay.h"
#include "Sampler/sdk/calvatero/newconv/Assert.h"

using calvatero::common::AlignedFloats;
using calvatero::convolution::DecayNode;

namespace {

constexpr double kWetScale = 0.38;

struct Plan {
  unsigned shift;
  unsigned long impulseRate;
};

// Decimate by 4 or 2 where a low-pass table exists and the block divides; otherwise play the
// impulse of the nearest band at the engine rate.
Plan planFor(unsigned long rate, unsigned long block) {
  const bool highest = rate == 176400 || rate == 192000;
  if (highest && block % 4 == 0) return {2, rate / 4};
  if ((highest || rate == 88200 || rate == 96000) && block % 2 == 0) return {1, rate / 2};
  if (rate < 46000) return {0, 44100};
  if (rate < 68000) return {0, 48000};
  if (rate < 92000) return {0, 88200};
  if (rate < 140000) return {0, 96000};
  if (rate < 184000) return {0, 176400};
  return {0, 192000};
}

struct Table {
  const float* taps;
  std::size_t count;
};

Table lowpassFor(unsigned long rate) {
  switch (rate) {
    case 88200: return {LOWPASS88_FROM_18000_TO_22050_100DB, 95};
    case 96000: return {LOWPASS96_FROM_18000_TO_24000_100DB, 71};
    case 176400: return {LOWPASS176_FROM_18000_TO_22050_100DB, 191};
    case 192000: return {LOWPASS192_FROM_18000_TO_24000_100DB, 141};
    default: return {nullptr, 0};
  }
}

[[noreturn]] void failInit(const char* format, const std::string& file) {
  std::fprintf(stderr, format, file.c_str());
  throw Convolution_init_error();
}

struct FileCloser {
  int fd;
  ~FileCloser() {
    if (fd >= 0) ::close(fd);
  }
};

struct BytesFree {
  void operator()(unsigned char* p) const { calvatero::common::FreeAligned(p); }
};

// Ramps that reached or passed their target stop on it.
void settle(double& value, double& step, double target) {
  if ((step > 0 && value >= target) || (step < 0 && value <= target)) {
    value = target;
    step = 0;
  }
}

}  // namespace

void HarpImpulse::Free::operator()(float* p) const { vantor::defaultFree(p); }

void PianoHarp::ConvolverEnd::operator()(void* handle) const { zkcvEndConvolver(handle); }

void PianoHarp::NodesFree::operator()(DecayNode* nodes) const {
  calvatero::common::FreeAligned(nodes);
}

std::string PianoHarp::impulseFileName(const char* impulsePath, const char* impulseName,
                                       unsigned long impulseRate) {
  return std::string(impulsePath) + "/" + impulseName + std::to_string(impulseRate / 1000);
}

HarpImpulse PianoHarp::loadImpulse(const char* impulsePath, const char* impulseName,
                                   unsigned long impulseRate, float gain) {
  const std::string file = impulseFileName(impulsePath, impulseName, impulseRate);
  // Non-blocking, so that a FIFO in the impulse's place cannot hold the caller.
  FileCloser in{::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
  struct stat status;
  if (in.fd < 0 || ::fstat(in.fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    failInit("PianoHarp cant find impulse:%s:\n", file);
  }
  const off_t size = ::lseek(in.fd, 0, SEEK_END);
  if (size < 0) failInit("PianoHarp cant find impulse:%s:\n", file);
  const std::size_t available = static_cast<std::size_t>(size) / 4;

  // Fade and cut: nothing past 9.75 s plus a 0.25 s fade is kept, so nothing more is read.
  const std::size_t fadeStart = static_cast<std::size_t>(9.75 * impulseRate);
  std::size_t fadeLength = 0;
  if (available > fadeStart) {
    fadeLength = std::min(static_cast<std::size_t>(0.25 * impulseRate), available - fadeStart);
  }
  const std::size_t frames = available > fadeStart ? fadeStart + fadeLength : available;
  if (frames == 0) throw Convolution_init_error();

  std::unique_ptr<unsigned char, BytesFree> bytes(
      static_cast<unsigned char*>(calvatero::common::MallocAligned(frames * 4, 16, 0)));
  if (!bytes) failInit("Unable to allocate memory to load impulse response:%s:\n", file);
  std::size_t done = 0;
  while (done < frames * 4) {
    const ssize_t got = ::pread(in.fd, bytes.get() + done, frames * 4 - done, done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) failInit("PianoHarp cant find impulse:%s:\n", file);
    done += static_cast<std::size_t>(got);
  }

  HarpImpulse impulse;
  impulse.left.reset(static_cast<float*>(vantor::defaultAlloc(frames * sizeof(float))));
  impulse.right.reset(static_cast<float*>(vantor::defaultAlloc(frames * sizeof(float))));
  if (!impulse.left || !impulse.right) {
    failInit("Unable to allocate memory to copy impulse response:%s:\n", file);
  }
  impulse.frames = frames;
  const float scale = static_cast<float>(double(gain) * 44100.0 / impulseRate);
  for (std::size_t i = 0; i < frames; ++i) {
    const unsigned char* frame = bytes.get() + 4 * i;
    const auto sample = [](const unsigned char* b) {
      return static_cast<float>(static_cast<std::int16_t>(b[0] | b[1] << 8)) * (1.0f / 32768);
    };
    float left = sample(frame), right = sample(frame + 2);
    if (i >= fadeStart) {
      const double fade = 1.0 - static_cast<double>(i - fadeStart) / fadeLength;
      left = static_cast<float>(left * fade);
      right = static_cast<float>(right * fade);
    }
    impulse.left[i] = left * scale;
    impulse.right[i] = right * scale;
  }
  return impulse;
}

PianoHarp::PianoHarp(const char* impulsePath, const char* impulseName, unsigned long blockSize,
                     unsigned long sampleRate, char, char, float gain) {
  if (impulsePath == nullptr || *impulsePath == '\0' || impulseName == nullptr ||
      *impulseName == '\0' || sampleRate == 0 || blockSize == 0) {
    throw Convolution_init_error();
  }
  const Plan plan = planFor(sampleRate, blockSize);
  m_shift = static_cast<std::uint8_t>(plan.shift);
  m_impulseRate = plan.impulseRate;
  {
    const HarpImpulse impulse = loadImpulse(impulsePath, impulseName, m_impulseRate, gain);
    m_impulseFrames = impulse.frames;
    void* handle = nullptr;
    if (zkcvInitConvolverVariableDecayStereo(impulse.left.get(), impulse.right.get(),
                                             impulse.frames, blockSize >> m_shift,
                                             &handle) != ZKCV_OK) {
      throw Convolution_init_error();
    }
    decayConvolver.reset(handle);
  }
  if (m_shift > 0) {
    const Table table = lowpassFor(sampleRate);
    void* handle = nullptr;
    if (zkcvInitConvolverStereo(table.taps, table.taps, table.count, blockSize, &handle) !=
        ZKCV_OK) {
      throw Convolution_init_error();
    }
    lowpassConvolver.reset(handle);
    tailFrames += (table.count >> m_shift) + 1;
  }
  tailFrames += m_impulseFrames + 2;
  try {
    for (int c = 0; c < 2; ++c) {
      decimatedIn[c] = AlignedFloats(blockSize >> m_shift, 16);
      convOut[c] = AlignedFloats(blockSize, 16);
      if (m_shift > 0) upsampled[c] = AlignedFloats(blockSize, 16);
    }
    decayNodes.reset(static_cast<DecayNode*>(
        calvatero::common::MallocAligned(kMaxDecayNodes * sizeof(DecayNode), 16, 0)));
    if (!decayNodes) throw std::bad_alloc();
  } catch (const std::bad_alloc&) {
    throw Convolution_oom_error();
  }

  const double rate = static_cast<double>(sampleRate);
  fallRate = 1.0 / (rate * 0.05);
  pedalRate = 1.0 / (rate * 0.002);
  riseRate = static_cast<double>(m_impulseRate) / (static_cast<double>(m_impulseFrames) * rate);
  minDecay = std::max(std::pow(2.0, -16.0 / static_cast<double>(sampleRate >> m_shift)),
                      zkcvGetMinimumAllowableDecayFactor(decayConvolver.get()));
  targetDecay = minDecay;
  _maxBufferSize = blockSize;
  _resample_factor = std::int64_t{1} << m_shift;
  inverseFactor = 1.0 / static_cast<double>(_resample_factor);
  _resample_remainder = static_cast<std::uint64_t>(_resample_factor - 1);
}

PianoHarp::~PianoHarp() = default;

void PianoHarp::applyTargetRule(double pedal) {
  if (!std::isfinite(pedal)) pedal = targetPedal;
  pedal = std::clamp(pedal, 0.0, 1.0);
  targetPedal = pedal;
  const double wet = level * pedal * kWetScale;
  targetGain = std::sqrt(std::max(0.0, 1.0 - wet * wet));
  targetDecay = (1.0 - minDecay) * pedal + minDecay;
  const double d = targetGain - currentGain;
  if (d > 0) {
    gainStep = std::max(riseRate * d, (1.0 - targetDecay) * inverseFactor * d);
  } else {
    gainStep = d * fallRate;
  }
  pedalStep = (pedal - currentPedal) * pedalRate;
}

void PianoHarp::UpdateFromSustainEvent(double pedal, double newLevel) {
  if (std::isfinite(newLevel)) level = newLevel;
  applyTargetRule(pedal);
}

void PianoHarp::forgetInput() {
  silentFrames = UINT64_MAX;
  resting = true;
}

bool PianoHarp::countSilence(std::uint64_t frames) {
  const float* const left = decimatedIn[0].get();
  const float* const right = decimatedIn[1].get();
  std::uint64_t quiet = 0;
  while (quiet < frames && left[frames - 1 - quiet] == 0.0f && right[frames - 1 - quiet] == 0.0f)
    ++quiet;
  if (quiet < frames)
    silentFrames = quiet;
  else
    silentFrames = silentFrames > UINT64_MAX - quiet ? UINT64_MAX : silentFrames + quiet;
  return quiet == frames;
}

void PianoHarp::rest(float** pair, std::uint64_t frames, std::uint64_t convFrames) {
  if (!resting) {
    zkcvResetConvolver(decayConvolver.get());
    zkcvResetConvolver(lowpassConvolver.get());
    resting = true;
  }
  // The frames held from the last call still sound; everything made now is silence.
  const std::uint64_t produced = convFrames << m_shift;
  const float w = static_cast<float>(level * kWetScale);
  const std::uint64_t held = _extraOutputStored;
  for (std::uint64_t i = 0; i < held && i < frames; ++i) {
    pair[0][i] += w * extraOutput[0][i];
    pair[1][i] += w * extraOutput[1][i];
  }
  if (held > frames) {
    for (int c = 0; c < 2; ++c)
      std::copy(extraOutput[c] + frames, extraOutput[c] + held, extraOutput[c]);
    _extraOutputStored = held - frames;
  } else {
    _extraOutputStored = produced - (frames - held);
    for (int c = 0; c < 2; ++c) std::fill(extraOutput[c], extraOutput[c] + 4, 0.0f);
  }
}

void PianoHarp::ResetHarp() {
  zkcvResetConvolver(decayConvolver.get());
  zkcvResetConvolver(lowpassConvolver.get());
  forgetInput();
  currentGain = 1.0;
  currentPedal = 0.0;
  targetPedal = 0.0;
  targetGain = 1.0;
  targetDecay = minDecay;
  gainStep = pedalStep = 0;
  _resample_remainder = static_cast<std::uint64_t>(_resample_factor - 1);
  _extraOutputStored = 0;
}

std::size_t PianoHarp::appendNode(std::size_t count, double factor, std::uint64_t frames) {
  if (count >= kMaxDecayNodes) return count;
  decayNodes.get()[count] = DecayNode{factor, frames};
  return count + 1;
}

void PianoHarp::CalculateCurrentHarpOutput(unsigned long frames, float** pair,
                                           const tagThinSusEvent* events, unsigned long count,
                                           double newLevel, bool bypass, bool knownSilent) {
  if (!decayConvolver) return;
  if (events == nullptr) count = 0;
  if (frames == 0 || bypass) {
    zkcvResetConvolver(decayConvolver.get());
    zkcvResetConvolver(lowpassConvolver.get());
    forgetInput();
    if (bypass) {
      currentGain = 1.0;
      currentPedal = 0.0;
    }
    UpdateFromSustainEvent(count > 0 ? events[count - 1].value : targetPedal, newLevel);
    return;
  }
  CALVATERO_ASSERT(frames <= _maxBufferSize);
  if (std::isfinite(newLevel) && newLevel != level) UpdateFromSustainEvent(targetPedal, newLevel);

  const std::uint64_t n = frames;
  const unsigned s = m_shift;
  const std::uint64_t r0 = _resample_remainder;
  const std::uint64_t convFrames = (r0 + n) >> s;
  const auto convIndex = [&](std::uint64_t frame) { return (frame + r0) >> s; };

  // A silent pair with nothing changing would only gather silence and scale it.
  if (count == 0 && gainStep == 0 && pedalStep == 0 && silentFrames >= tailFrames &&
      (knownSilent ||
       (calvatero::common::AllZero(pair[0], n) && calvatero::common::AllZero(pair[1], n)))) {
    _resample_remainder = (r0 + n) & static_cast<std::uint64_t>(_resample_factor - 1);
    silentFrames = silentFrames > UINT64_MAX - convFrames ? UINT64_MAX : silentFrames + convFrames;
    rest(pair, n, convFrames);
    return;
  }

  std::size_t nodeCount = 0;
  if (count == 0) {
    nodeCount = appendNode(nodeCount, targetDecay, convFrames);
  } else if (events[0].frame > 0) {
    nodeCount = appendNode(nodeCount, targetDecay,
                           events[0].frame < n ? convIndex(events[0].frame) : convFrames);
  }
  const auto applyEvent = [&](unsigned long k) {
    applyTargetRule(events[k].value);
    const std::uint64_t tk = events[k].frame;
    std::uint64_t length = 0;
    if (k + 1 < count && events[k + 1].frame < n) {
      const std::uint64_t next = convIndex(events[k + 1].frame);
      length = next > convIndex(tk) ? next - convIndex(tk) : 0;
    } else if (tk < n) {
      length = convFrames - convIndex(tk);
    }
    nodeCount = appendNode(nodeCount, targetDecay, length);
  };

  float* const left = pair[0];
  float* const right = pair[1];
  float* const decimatedLeft = decimatedIn[0].get();
  float* const decimatedRight = decimatedIn[1].get();
  std::uint64_t gathered = 0;
  unsigned long e = 0;
  for (std::uint64_t i = 0; i < n; ++i) {
    while (e < count && events[e].frame <= i) applyEvent(e++);
    if (++_resample_remainder == static_cast<std::uint64_t>(_resample_factor)) {
      decimatedLeft[gathered] = static_cast<float>(left[i] * currentPedal);
      decimatedRight[gathered] = static_cast<float>(right[i] * currentPedal);
      ++gathered;
      _resample_remainder = 0;
    }
    left[i] = static_cast<float>(left[i] * currentGain);
    right[i] = static_cast<float>(right[i] * currentGain);
    currentGain += gainStep;
    currentPedal += pedalStep;
    settle(currentGain, gainStep, targetGain);
    settle(currentPedal, pedalStep, targetPedal);
  }
  if (e < count && events[e].frame == n) applyEvent(e);  // holds from the next call
  CALVATERO_ASSERT(gathered == convFrames && nodeCount > 0);
  const std::uint64_t silentBefore = silentFrames;
  if (countSilence(convFrames) && silentBefore >= tailFrames) {
    rest(pair, n, convFrames);
    return;
  }
  resting = false;

  float* const outLeft = convOut[0].get();
  float* const outRight = convOut[1].get();
  std::uint64_t produced = 0;
  if (convFrames > 0) {
    zkcvCalculateCurrentOutputVariableDecayStereo(outLeft, outRight, decimatedLeft,
                                                  decimatedRight, convFrames, decayNodes.get(),
                                                  nodeCount, decayConvolver.get());
    produced = convFrames << s;
    if (s > 0) {
      const std::uint64_t factor = static_cast<std::uint64_t>(_resample_factor);
      float* const upLeft = upsampled[0].get();
      float* const upRight = upsampled[1].get();
      std::fill(upLeft, upLeft + produced, 0.0f);
      std::fill(upRight, upRight + produced, 0.0f);
      for (std::uint64_t j = 0; j < convFrames; ++j) {
        upLeft[j * factor] = static_cast<float>(factor) * outLeft[j];
        upRight[j * factor] = static_cast<float>(factor) * outRight[j];
      }
      zkcvCalculateCurrentOutputStereo(outLeft, outRight, upLeft, upRight, produced,
                                       lowpassConvolver.get());
    }
  }

  const float w = static_cast<float>(level * kWetScale);
  const std::uint64_t held = _extraOutputStored;
  for (std::uint64_t i = 0; i < n; ++i) {
    if (i < held) {
      left[i] += w * extraOutput[0][i];
      right[i] += w * extraOutput[1][i];
    } else {
      left[i] += w * outLeft[i - held];
      right[i] += w * outRight[i - held];
    }
  }
  if (held > n) {
    for (int c = 0; c < 2; ++c) std::copy(extraOutput[c] + n, extraOutput[c] + held, extraOutput[c]);
    _extraOutputStored = held - n;
  } else {
    const std::uint64_t used = n - held;
    _extraOutputStored = produced - used;
    CALVATERO_ASSERT(_extraOutputStored <= 4);
    std::copy(outLeft + used, outLeft + produced, extraOutput[0]);
    std::copy(outRight + used, outRight + produced, extraOutput[1]);
  }
}

PianoHarp* makePianoHarp(const char* impulsePath, const char* impulseName, unsigned long maxBlock,
                         unsigned long* error, char a, char b, unsigned long sampleRate,
                         float gain) {
  unsigned long ignored = 0;
  if (error == nullptr) error = &ignored;
  *error = 0;
  const unsigned long block = (maxBlock + 3) & ~3ul;
  try {
    return new PianoHarp(impulsePath, impulseName, block, sampleRate, a, b, gain);
  } catch (const Convolution_oom_error&) {
    *error = 1;
  } catch (const std::bad_alloc&) {
    *error = 1;
  } catch (...) {
    *error = 10;
  }
  return nullptr;
}
