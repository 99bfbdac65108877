#include "VNL/source/MIDIEvent.h"

#include <cmath>
#include <cstdio>

namespace {

// (int)r & (modulus - 1) for any finite r, without the undefined conversion of values beyond
// int; NaN and infinities give 0.
int wrapToBits(double r, int modulus) {
  if (!std::isfinite(r)) return 0;
  double m = std::fmod(r, static_cast<double>(modulus));
  if (m < 0) m += modulus;
  return static_cast<int>(m);
}

}  // namespace

int PMIDICombineBytes(std::uint8_t lsb, std::uint8_t msb) { return (msb << 7) | lsb; }

void PMIDICreateBytes(std::uint16_t value, std::uint8_t& lsb, std::uint8_t& msb) {
  msb = static_cast<std::uint8_t>((value >> 7) & 0x7F);
  lsb = static_cast<std::uint8_t>(value & 0x7F);
}

int PDowngradeFloatMIDI7(float& value) {
  const float scaled = value * 127.0f;
  return wrapToBits(std::floor(static_cast<double>(scaled) + 0.5), 128);
}

int PDowngradeFloatMIDI14(float& value) {
  if (std::isnan(value)) return 8192;
  double x = static_cast<double>(value) * 8192.0 + 8192.0;
  if (x > 16383.0) x = 16383.0;
  if (x < 0.0) x = 0.0;
  return static_cast<int>(std::floor(x + 0.5)) & 0x3FFF;
}

void PMIDILogMessage(char* buffer, std::uint64_t size, const std::uint8_t* data) {
  if (buffer == nullptr || size == 0) return;
  const std::size_t limit = static_cast<std::size_t>(size - 1);
  const int status = data[0];
  const int d1 = data[1];
  const int d2 = data[2];
  const int channel = (status & 0x0F) + 1;
  if (status < 0x80) {
    std::snprintf(buffer, limit, "????");
  } else if (status < 0xF0) {
    switch (status & 0xF0) {
      case 0x80:
        std::snprintf(buffer, limit, "Chn: %2d Note Off(%3d): %3d", channel, d1 & 0x7F, d2 & 0x7F);
        break;
      case 0x90:
        if ((d2 & 0x7F) != 0) {
          std::snprintf(buffer, limit, "Chn: %2d Note On (%3d): %3d", channel, d1 & 0x7F, d2 & 0x7F);
        } else {
          std::snprintf(buffer, limit, "Chn: %2d Note Off(%3d): %3d", channel, d1 & 0x7F, 0);
        }
        break;
      case 0xA0:
        std::snprintf(buffer, limit, "Chn: %2d Aftertouch(%3d): %3d", channel, d1 & 0x7F,
                      d2 & 0x7F);
        break;
      case 0xB0:
        std::snprintf(buffer, limit, "Chn: %2d CC(%3d): %3d", channel, d1 & 0x7F, d2 & 0x7F);
        break;
      case 0xC0:
        std::snprintf(buffer, limit, "Chn: %2d Program(%3d)", channel, d1 & 0x7F);
        break;
      case 0xD0:
        std::snprintf(buffer, limit, "Chn: %2d Channel Pressure: %3d", channel, d1 & 0x7F);
        break;
      case 0xE0:
        std::snprintf(buffer, static_cast<std::size_t>(size), "Chn: %2d Pitch Bend: %4d", channel,
                      static_cast<int>(((d2 << 7) | d1) - 8191.5));
        break;
    }
  } else {
    switch (status) {
      case 0xF1: std::snprintf(buffer, limit, "MTC Qtr Frame: %3d", d1); break;
      case 0xF2: std::snprintf(buffer, limit, "Song Position Ptr: %5d", (d2 << 7) | d1); break;
      case 0xF3: std::snprintf(buffer, limit, "Song Select: %3d", d1); break;
      case 0xF6: std::snprintf(buffer, limit, "Tune Request"); break;
      case 0xF8: std::snprintf(buffer, limit, "Clock"); break;
      case 0xFA: std::snprintf(buffer, limit, "Start"); break;
      case 0xFB: std::snprintf(buffer, limit, "Continue"); break;
      case 0xFC: std::snprintf(buffer, limit, "Stop"); break;
      case 0xFE: std::snprintf(buffer, limit, "Active Sense"); break;
      case 0xFF: std::snprintf(buffer, limit, "Reset"); break;
      default: break;  // system exclusive, undefined and end-of-exclusive: no text
    }
  }
  buffer[size - 1] = '\0';
}
