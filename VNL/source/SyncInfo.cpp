#include "VNL/source/SyncInfo.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace vantor {
namespace {

double barLengthOf(double numerator, double denominator) {
  const double length = numerator * 4.0 / denominator;
  // NaN and infinity are no more a bar length than zero is.
  return (length > 0.0 && std::isfinite(length)) ? length : 4.0;
}

bool usableTiming(double tempo, double ppqPosition, double barStartPosition, double sampleRate) {
  return tempo > 0.0 && std::isfinite(tempo) && sampleRate > 0.0 && std::isfinite(sampleRate) &&
         std::isfinite(ppqPosition) && std::isfinite(barStartPosition);
}

std::int64_t quarterNotesToSamples(double quarterNotes, double tempo, double sampleRate) {
  const double samples = quarterNotes * sampleRate / (tempo / 60.0);
  if (!(samples > 0.0)) return 0;
  if (samples >= 9223372036854775807.0) return std::numeric_limits<std::int64_t>::max();
  return static_cast<std::int64_t>(samples);
}

}  // namespace

std::int64_t samplesToNextBar(double tempo, double ppqPosition, double barStartPosition,
                              double timeSigNumerator, double timeSigDenominator,
                              double sampleRate) {
  if (!usableTiming(tempo, ppqPosition, barStartPosition, sampleRate)) return 0;
  const double length = barLengthOf(timeSigNumerator, timeSigDenominator);
  double distance = 0.0;
  if (ppqPosition != barStartPosition) distance = length + barStartPosition - ppqPosition;
  if (!std::isfinite(distance)) return 0;
  // The same reduction as adding or subtracting whole bars one at a time, in one step:
  // a negative distance lands in [0, L), one beyond L in (0, L], anything in [0, L] stays.
  if (distance < 0.0) {
    distance = std::fmod(distance, length);
    if (distance < 0.0) distance += length;
  } else if (distance > length) {
    distance = std::fmod(distance, length);
    if (distance == 0.0) distance = length;
  }
  return quarterNotesToSamples(distance, tempo, sampleRate);
}

std::int64_t samplesToNextBeat(double tempo, double ppqPosition, double barStartPosition,
                               double timeSigNumerator, double timeSigDenominator,
                               double sampleRate) {
  if (!usableTiming(tempo, ppqPosition, barStartPosition, sampleRate)) return 0;
  const double length = barLengthOf(timeSigNumerator, timeSigDenominator);
  const double target = std::fmin(std::ceil(ppqPosition), barStartPosition + length);
  return quarterNotesToSamples(target - ppqPosition, tempo, sampleRate);
}

bool SyncInfo::prepare(std::int16_t frames, double rate, const char* /*caller*/,
                       std::string* logText, bool quiet) {
  barLength = timeSigDenominator > 0
                  ? static_cast<double>(timeSigNumerator) * 4.0 / timeSigDenominator
                  : 4.0;
  sliceLength = frames;
  sampleRate = rate;
  const int code = valid();
  if (code != 0) {
    if (logText != nullptr && !quiet) log(code, *logText);
    return false;
  }
  const std::int64_t toBar = samplesToNextBar(tempo, ppqPosition, barStartPosition,
                                              timeSigNumerator, timeSigDenominator, sampleRate);
  nextBarSamples = toBar > std::numeric_limits<std::int32_t>::max()
                       ? std::numeric_limits<std::int32_t>::max()
                       : static_cast<std::int32_t>(toBar);
  // A stopped record may carry no rate yet; no advance rather than an infinite one.
  ppqAdvance = sampleRate > 0.0 ? tempo * 0.016666666666666666 / sampleRate * frames : 0.0;
  barStartsInSlice =
      ppqPosition == barStartPosition || ppqPosition + ppqAdvance > barStartPosition + barLength;
  loopWrapsInSlice = looping && (ppqPosition == loopStartPosition ||
                                 ppqPosition + ppqAdvance > loopEndPosition);
  return true;
}

int SyncInfo::valid() {
  if (!playing) return 0;
  if (sampleRate <= 0.0) return 1;
  if (tempo <= 0.0) return 3;
  if (timeSigNumerator < 1) return 5;
  if (timeSigDenominator < 1) return 6;
  if (ppqPosition < barStartPosition) return 7;
  if (looping && !(ppqPosition > barStartPosition + barLength)) {
    if (loopEndPosition < 0.0) return 9;
    if (loopStartPosition < 0.0) return 10;
    if (ppqPosition > loopEndPosition || loopEndPosition < loopStartPosition ||
        loopStartPosition > ppqPosition + ppqAdvance) {
      looping = false;
    }
  }
  return 0;
}

bool SyncInfo::log(int code, std::string& text) {
  char line[512];
  std::snprintf(line, sizeof line,
                "%2d ppq:%10g L:%10g D:%12g bar:%6g (%d/%d) bpm:%6g play:%d loop:%d diff:%d "
                "sr:%g sl:%5d sp:%g ls:%g le:%g",
                code, ppqPosition, ppqAdvance, ppqPosition - lastLoggedPpq, barStartPosition,
                timeSigNumerator, timeSigDenominator, tempo, playing ? 1 : 0, looping ? 1 : 0,
                transportChanged ? 1 : 0, sampleRate, static_cast<int>(sliceLength),
                samplePosition, loopStartPosition, loopEndPosition);
  text = line;
  lastLoggedPpq = ppqPosition;
  return code == 0;
}

}  // namespace vantor
