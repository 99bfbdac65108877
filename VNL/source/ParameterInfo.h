// Description of one engine parameter: value type, range, default, name, step names and how a
// value prints. The engine hands hosts a pointer to its own record (engine opcode 37 and the
// parameter-changed callback); the plug-ins read it in place, so the 64-byte layout (packed to
// 4, offsets pinned below) is shared with the engine field by field.
//
// A record owns its three texts. Mapping and printing neither allocate nor lock; the setters
// and assignment allocate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string_view>

#pragma pack(push, 4)
class ParameterInfo {
 public:
  std::int32_t tag;           // 1956 after every reset
  std::int32_t valueType;     // 0 continuous, 1 integer, 2 on/off, 3 list; 4, 5 as continuous
  std::int32_t displayMode;   // see toString()
  std::uint8_t flags;         // 0x02: automatable
  std::uint8_t reservedByte;
  std::int16_t reservedShort;
  float minValue;
  float maxValue;
  float defaultValue;
  float factor;               // display multiplier; the "on" value of an on/off parameter
  char* label;                // the parameter's name, or null
  char* list;                 // step names separated by "|", or null
  std::int16_t reservedShortA;
  std::int16_t reservedShortB;
  char* displayFormat;        // printf format, fixed text or "|"-separated names, or null
  float offset;               // display offset; the "off" value of an on/off parameter

  /// Longest display format kept, in characters; longer ones are refused.
  static constexpr std::size_t kMaxDisplayFormat = 511;

  ParameterInfo();
  ParameterInfo(const ParameterInfo& other);
  ParameterInfo& operator=(const ParameterInfo& other);
  ~ParameterInfo();

  /// Everything back to its reset value, the label freed too.
  void reset();
  void resetEverythingButLabel();
  void clearLabel();
  void clearList();
  void clearDisplayFormat();

  /// Null or empty leaves the label null; anything else is copied.
  void setLabel(const char* text);
  /// Stores the step names only when the text holds more than one piece between "|", and then
  /// sets the range to 0 .. pieces - 1; the value type is not changed.
  void setList(const char* text);
  /// Copies the format; null and texts longer than kMaxDisplayFormat leave it null.
  void setDisplayFormat(const char* text);

  /// Engine value to 0..1 and back, rewriting `value` in place.
  void pack01(float& value) const;
  void unpack01(float& value) const;
  /// Only the on/off mapping of pack01() and unpack01(); other types are left alone.
  void pack(float& value) const;
  void unpack(float& value) const;

  /// Writes the value's text by `displayMode` into `buffer`: never more than `size` bytes, and
  /// always terminated when `size` is positive. Display modes:
  ///  0 by value type; 1 and 11 `displayFormat` of (x + offset) * factor and x * factor +
  ///  offset (a format with more than one floating conversion, or any other conversion, is
  ///  replaced by "%f"); 2 "Off" below 0.5; 3 "Off" at 0; 4 stereo pan; 5, 6 decibels; 7, 8
  ///  MIDI 7 and 14 bit; 9 one of the "|"-separated names; 10 "Off" at `offset`; 12 the fixed
  ///  text. Values with no text (an index outside the names, a NaN where an integer is
  ///  printed, an unknown mode) give an empty text.
  void toString(char* buffer, float value, int size) const;

  /// The display mode of a keyword ("cformat", "stereopan", ...); 0 for any other text.
  static int getDisplayModeFromText(std::string_view text);
  /// The same for a C string; null gives 0.
  static int getDisplayModeFromText(const char* text) {
    return text != nullptr ? getDisplayModeFromText(std::string_view(text)) : 0;
  }
};
#pragma pack(pop)

static_assert(sizeof(ParameterInfo) == 64);
static_assert(offsetof(ParameterInfo, tag) == 0);
static_assert(offsetof(ParameterInfo, valueType) == 4);
static_assert(offsetof(ParameterInfo, displayMode) == 8);
static_assert(offsetof(ParameterInfo, flags) == 12);
static_assert(offsetof(ParameterInfo, reservedByte) == 13);
static_assert(offsetof(ParameterInfo, reservedShort) == 14);
static_assert(offsetof(ParameterInfo, minValue) == 16);
static_assert(offsetof(ParameterInfo, maxValue) == 20);
static_assert(offsetof(ParameterInfo, defaultValue) == 24);
static_assert(offsetof(ParameterInfo, factor) == 28);
static_assert(offsetof(ParameterInfo, label) == 32);
static_assert(offsetof(ParameterInfo, list) == 40);
static_assert(offsetof(ParameterInfo, reservedShortA) == 48);
static_assert(offsetof(ParameterInfo, reservedShortB) == 50);
static_assert(offsetof(ParameterInfo, displayFormat) == 52);
static_assert(offsetof(ParameterInfo, offset) == 60);

/// For every entry of `source`, creates the entry of the same index in `target` when missing
/// and assigns it from the source.
void mergeParamInfo(std::map<std::uint16_t, ParameterInfo>& target,
                    const std::map<std::uint16_t, ParameterInfo>& source);
