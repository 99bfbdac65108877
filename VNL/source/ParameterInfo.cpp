#include "VNL/source/ParameterInfo.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "VNL/source/MIDIEvent.h"

namespace {

constexpr std::int32_t kTag = 1956;

char* copyText(const char* text) {
  const std::size_t length = std::strlen(text);
  char* copy = new char[length + 1];
  std::memcpy(copy, text, length + 1);
  return copy;
}

std::size_t countPieces(const char* text, char separator) {
  std::size_t pieces = 1;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c == separator) ++pieces;
  }
  return pieces;
}

// Copies `length` bytes of `text`, cut to fit, and terminates.
void writeText(char* buffer, int size, const char* text, std::size_t length) {
  if (size <= 0) return;
  const std::size_t room = static_cast<std::size_t>(size) - 1;
  if (length > room) length = room;
  std::memcpy(buffer, text, length);
  buffer[length] = '\0';
}

void writeText(char* buffer, int size, const char* text) {
  writeText(buffer, size, text, std::strlen(text));
}

void writeNothing(char* buffer, int size) { writeText(buffer, size, "", 0); }

template <typename... Args>
void writeFormat(char* buffer, int size, const char* format, Args... args) {
  if (size <= 0) return;
  std::snprintf(buffer, static_cast<std::size_t>(size), format, args...);
}

// True when the format consumes at most one argument and that one as a double: "%%" is free,
// one conversion of f, e, g or a (either case, optionally with "l") is allowed, and anything
// else - a second conversion, "*", "L", "$", another letter - would read what was not passed.
bool takesAtMostOneDouble(const char* format) {
  int conversions = 0;
  for (const char* c = format; *c != '\0'; ++c) {
    if (*c != '%') continue;
    ++c;
    if (*c == '%') continue;
    while (*c != '\0' && std::strchr("-+ #0'", *c) != nullptr) ++c;
    while (*c >= '0' && *c <= '9') ++c;
    if (*c == '.') {
      ++c;
      while (*c >= '0' && *c <= '9') ++c;
    }
    if (*c == 'l') ++c;
    if (*c == '\0' || std::strchr("fFeEgGaA", *c) == nullptr) return false;
    if (++conversions > 1) return false;
  }
  return true;
}

void writeFormatted(char* buffer, int size, const char* format, float x, float shown) {
  if (format == nullptr) {
    writeFormat(buffer, size, "%f", static_cast<double>(x));
  } else if (!takesAtMostOneDouble(format)) {
    writeFormat(buffer, size, "%f", static_cast<double>(shown));
  } else {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::snprintf(buffer, static_cast<std::size_t>(size), format, static_cast<double>(shown));
#pragma GCC diagnostic pop
  }
}

// Piece `index` of a "|"-separated text, found in place; false when there is no such piece.
bool findPiece(const char* text, long long index, const char*& start, std::size_t& length) {
  if (index < 0) return false;
  const char* c = text;
  for (long long i = 0; i < index; ++i) {
    c = std::strchr(c, '|');
    if (c == nullptr) return false;
    ++c;
  }
  const char* end = std::strchr(c, '|');
  start = c;
  length = end != nullptr ? static_cast<std::size_t>(end - c) : std::strlen(c);
  return true;
}

// floor(x) as an index, or -1 when it is none (negative, NaN, beyond any list).
long long floorIndex(double x) {
  const double whole = std::floor(x);
  if (!(whole >= 0.0) || whole > 1e15) return -1;
  return static_cast<long long>(whole);
}

}  // namespace

ParameterInfo::ParameterInfo() : label(nullptr), list(nullptr), displayFormat(nullptr) {
  resetEverythingButLabel();
}

ParameterInfo::ParameterInfo(const ParameterInfo& other) : ParameterInfo() { *this = other; }

ParameterInfo::~ParameterInfo() {
  clearLabel();
  clearList();
  clearDisplayFormat();
}

ParameterInfo& ParameterInfo::operator=(const ParameterInfo& other) {
  if (this == &other) return *this;
  tag = other.tag;
  valueType = other.valueType;
  displayMode = other.displayMode;
  flags = other.flags;
  reservedByte = other.reservedByte;
  reservedShort = other.reservedShort;
  minValue = other.minValue;
  maxValue = other.maxValue;
  defaultValue = other.defaultValue;
  factor = other.factor;
  setLabel(other.label);
  setList(other.list);
  setDisplayFormat(other.displayFormat);
  reservedShortA = other.reservedShortA;
  reservedShortB = other.reservedShortB;
  offset = other.offset;
  return *this;
}

void ParameterInfo::reset() {
  resetEverythingButLabel();
  clearLabel();
}

void ParameterInfo::resetEverythingButLabel() {
  tag = kTag;
  valueType = 0;
  displayMode = 0;
  flags = 0;
  reservedByte = 0;
  reservedShort = 0;
  minValue = 0.0f;
  maxValue = 1.0f;
  defaultValue = 0.0f;
  factor = 1.0f;
  clearList();
  reservedShortA = -1;
  reservedShortB = -1;
  clearDisplayFormat();
  offset = 0.0f;
}

// The members are assigned directly: displayFormat sits at a packed, misaligned offset, so
// no reference to it may be formed.
void ParameterInfo::clearLabel() {
  delete[] label;
  label = nullptr;
}

void ParameterInfo::clearList() {
  delete[] list;
  list = nullptr;
}

void ParameterInfo::clearDisplayFormat() {
  delete[] displayFormat;
  displayFormat = nullptr;
}

void ParameterInfo::setLabel(const char* text) {
  clearLabel();
  if (text != nullptr && *text != '\0') label = copyText(text);
}

void ParameterInfo::setList(const char* text) {
  clearList();
  if (text == nullptr || *text == '\0') return;
  const std::size_t pieces = countPieces(text, '|');
  if (pieces < 2) return;
  list = copyText(text);
  minValue = 0.0f;
  maxValue = static_cast<float>(pieces - 1);
}

void ParameterInfo::setDisplayFormat(const char* text) {
  clearDisplayFormat();
  if (text == nullptr || std::strlen(text) > kMaxDisplayFormat) return;
  displayFormat = copyText(text);
}

void ParameterInfo::pack01(float& value) const {
  const float range = maxValue - minValue;
  switch (valueType) {
    case 0:
    case 1:
    case 3:
      if (range > 0.0f) value = (value - minValue) / range;
      break;
    case 2:
      value = value == offset ? 0.0f : 1.0f;
      break;
    default:
      break;
  }
}

void ParameterInfo::unpack01(float& value) const {
  const float range = maxValue - minValue;
  switch (valueType) {
    case 0:
    case 4:
    case 5:
      if (range > 0.0f) value = minValue + range * value;
      break;
    case 1:
    case 3:
      // The rounded step stays a floating value: the same number as through an integer,
      // without converting a NaN or a huge value to one.
      if (range > 0.0f) {
        value = minValue + static_cast<float>(std::floor(static_cast<double>(range * value) + 0.5));
      }
      break;
    case 2:
      value = value == 0.0f ? offset : factor;
      break;
    default:
      break;
  }
}

void ParameterInfo::pack(float& value) const {
  if (valueType == 2) value = value == offset ? 0.0f : 1.0f;
}

void ParameterInfo::unpack(float& value) const {
  if (valueType == 2) value = value == 0.0f ? offset : factor;
}

void ParameterInfo::toString(char* buffer, float value, int size) const {
  if (buffer == nullptr || size <= 0) return;
  const double x = value;
  switch (displayMode) {
    case 0:
      switch (valueType) {
        case 1: {
          const double rounded = std::floor(x + 0.5);
          if (std::isnan(rounded)) {
            writeNothing(buffer, size);
          } else if (rounded >= -2147483648.0 && rounded <= 2147483647.0) {
            writeFormat(buffer, size, "%d", static_cast<int>(rounded));
          } else {
            writeFormat(buffer, size, "%.0f", rounded);  // the same digits, no conversion
          }
          break;
        }
        case 2:
          writeText(buffer, size, value == 0.0f ? "False" : "True");
          break;
        case 3: {
          const char* start = nullptr;
          std::size_t length = 0;
          if (list != nullptr && findPiece(list, floorIndex(x + 0.5), start, length)) {
            writeText(buffer, size, start, length);
          } else {
            writeNothing(buffer, size);
          }
          break;
        }
        case 0:
        case 4:
        case 5:
          writeFormat(buffer, size, "%f", x);
          break;
        default:
          writeNothing(buffer, size);
          break;
      }
      break;
    case 1:
      writeFormatted(buffer, size, displayFormat, value, (value + offset) * factor);
      break;
    case 11:
      writeFormatted(buffer, size, displayFormat, value, value * factor + offset);
      break;
    case 2:
      writeText(buffer, size, value < 0.5f ? "Off" : "On");
      break;
    case 3:
      writeText(buffer, size, value == 0.0f ? "Off" : "On");
      break;
    case 4: {
      const double pan = (x - 0.5) * 200.0;
      if (x < 0.49) {
        writeFormat(buffer, size, "%3.f%% L", std::fabs(pan));
      } else if (x > 0.51) {
        writeFormat(buffer, size, "%3.f%% R", pan);
      } else {
        writeText(buffer, size, "C");
      }
      break;
    }
    case 5:
      if (x < 0.000001) {
        writeText(buffer, size, "-oo dB");
      } else if (value == 1.0f) {
        writeText(buffer, size, "0 dB");
      } else {
        writeFormat(buffer, size, "%+3.f dB", 20.0 * std::log10(x));
      }
      break;
    case 6:
      if (x < 0.000001) {
        writeText(buffer, size, "-oo dB");
      } else if (x > 0.99999) {
        writeText(buffer, size, "0 dB");
      } else {
        writeFormat(buffer, size, "%+3.f dB", 20.0 * std::log10(x * x));
      }
      break;
    case 7: {
      float v = value;
      writeFormat(buffer, size, "%03d", PDowngradeFloatMIDI7(v) & 0xFF);
      break;
    }
    case 8: {
      float v = value;
      writeFormat(buffer, size, "%05d", PDowngradeFloatMIDI14(v) & 0xFFFF);
      break;
    }
    case 9: {
      const std::size_t names = displayFormat != nullptr ? countPieces(displayFormat, '|') : 0;
      if (names < 2) {
        writeFormat(buffer, size, "%f", x);
        break;
      }
      long long index = floorIndex(x * static_cast<double>(names) + 0.5);
      if (index == static_cast<long long>(names)) index = index - 1;
      const char* start = nullptr;
      std::size_t length = 0;
      if (findPiece(displayFormat, index, start, length)) {
        writeText(buffer, size, start, length);
      } else {
        writeNothing(buffer, size);
      }
      break;
    }
    case 10:
      writeText(buffer, size, value == offset ? "Off" : "On");
      break;
    case 12:
      writeText(buffer, size, displayFormat != nullptr ? displayFormat : "");
      break;
    default:
      writeNothing(buffer, size);
      break;
  }
}

int ParameterInfo::getDisplayModeFromText(std::string_view text) {
  struct Keyword {
    std::string_view text;
    int mode;
  };
  static constexpr Keyword kKeywords[] = {
      {"cformat", 1},           {"cformatoffsetfactor", 1}, {"onoffcenter", 2},
      {"onoffzero", 3},         {"stereopan", 4},           {"linear2db", 5},
      {"linear2dbconcave", 6},  {"float2midi7", 7},         {"float2midi14", 8},
      {"list", 9},              {"onoffvalue", 10},         {"cformatfactoroffset", 11},
      {"fixedstring", 12},
  };
  for (const Keyword& keyword : kKeywords) {
    if (keyword.text == text) return keyword.mode;
  }
  return 0;
}

void mergeParamInfo(std::map<std::uint16_t, ParameterInfo>& target,
                    const std::map<std::uint16_t, ParameterInfo>& source) {
  for (const auto& [index, info] : source) target[index] = info;
}
