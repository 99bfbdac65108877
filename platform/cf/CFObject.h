// The object model behind the stand-in's opaque references; private to platform/cf.
#pragma once

#include <atomic>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/cf/CFBase.h"

namespace kelo::cf::detail {

enum TypeID : CFTypeID {
  kStringTypeID = 7,
  kNumberTypeID,
  kBooleanTypeID,
  kDataTypeID,
  kDateTypeID,
  kArrayTypeID,
  kDictionaryTypeID,
  kURLTypeID,
  kBundleTypeID,
  kReadStreamTypeID,
};

/// Base of every object: the count and the type. Constant objects are immortal: retain and
/// release leave them alone.
struct Object {
  Object(CFTypeID type, bool immortal = false) : typeID(type), immortal(immortal) {}
  virtual ~Object() = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  virtual bool equals(const Object& other) const { return this == &other; }
  virtual CFHashCode hash() const { return reinterpret_cast<CFHashCode>(this); }

  std::atomic<CFIndex> refs{1};
  const CFTypeID typeID;
  const bool immortal;
};

inline const Object* object(CFTypeRef ref) { return static_cast<const Object*>(ref); }

/// The object behind `ref` when it is of type T, else null.
template <typename T>
const T* as(CFTypeRef ref) {
  const Object* o = object(ref);
  return o && o->typeID == T::kTypeID ? static_cast<const T*>(o) : nullptr;
}
template <typename T>
T* asMutable(CFTypeRef ref) {
  return const_cast<T*>(as<T>(ref));
}

/// One owned reference, released when it goes.
class Retained {
 public:
  Retained() = default;
  /// Takes over a reference the caller owns.
  static Retained adopt(CFTypeRef ref) { return Retained(ref); }
  /// Adds a reference of its own.
  static Retained retain(CFTypeRef ref);
  Retained(const Retained& other) : Retained(retain(other.m_ref)) {}
  Retained(Retained&& other) noexcept : m_ref(std::exchange(other.m_ref, nullptr)) {}
  Retained& operator=(Retained other) noexcept {
    std::swap(m_ref, other.m_ref);
    return *this;
  }
  ~Retained();

  CFTypeRef get() const { return m_ref; }
  /// Hands the reference to the caller.
  CFTypeRef release() { return std::exchange(m_ref, nullptr); }
  explicit operator bool() const { return m_ref != nullptr; }

 private:
  explicit Retained(CFTypeRef ref) : m_ref(ref) {}
  CFTypeRef m_ref = nullptr;
};

}  // namespace kelo::cf::detail

struct KeloCFString final : kelo::cf::detail::Object {
  static constexpr CFTypeID kTypeID = kelo::cf::detail::kStringTypeID;
  KeloCFString(std::string utf8, CFIndex utf16Length, bool immortal = false)
      : Object(kTypeID, immortal), text(std::move(utf8)), utf16Length(utf16Length) {}
  bool equals(const Object& other) const override;
  CFHashCode hash() const override;

  const std::string text;  // valid UTF-8
  const CFIndex utf16Length;
};

struct KeloCFNumber final : kelo::cf::detail::Object {
  static constexpr CFTypeID kTypeID = kelo::cf::detail::kNumberTypeID;
  enum class Kind { Signed, LargeUnsigned, Double };
  KeloCFNumber(Kind kind, SInt64 integer, UInt64 unsignedValue, double real)
      : Object(kTypeID), kind(kind), integer(integer), unsignedValue(unsignedValue), real(real) {}
  bool equals(const Object& other) const override;
  CFHashCode hash() const override;

  const Kind kind;
  const SInt64 integer;        // Signed
  const UInt64 unsignedValue;  // LargeUnsigned (> INT64_MAX)
  const double real;           // Double
};

struct KeloCFBoolean final : kelo::cf::detail::Object {
  static constexpr CFTypeID kTypeID = kelo::cf::detail::kBooleanTypeID;
  explicit KeloCFBoolean(bool value) : Object(kTypeID, true), value(value) {}
  const bool value;
};

struct KeloCFData final : kelo::cf::detail::Object {
  static constexpr CFTypeID kTypeID = kelo::cf::detail::kDataTypeID;
  explicit KeloCFData(std::vector<UInt8> bytes) : Object(kTypeID), bytes(std::move(bytes)) {}
  bool equals(const Object& other) const override;
  CFHashCode hash() const override;
  const std::vector<UInt8> bytes;
};

struct KeloCFDate final : kelo::cf::detail::Object {
  static constexpr CFTypeID kTypeID = kelo::cf::detail::kDateTypeID;
  explicit KeloCFDate(double at) : Object(kTypeID), at(at) {}
  bool equals(const Object& other) const override;
  CFHashCode hash() const override;
  const double at;
};

struct KeloCFArray final : kelo::cf::detail::Object {
  static constexpr CFTypeID kTypeID = kelo::cf::detail::kArrayTypeID;
  KeloCFArray() : Object(kTypeID) {}
  bool equals(const Object& other) const override;
  CFHashCode hash() const override;
  std::vector<kelo::cf::detail::Retained> values;
};

struct KeloCFDictionary final : kelo::cf::detail::Object {
  static constexpr CFTypeID kTypeID = kelo::cf::detail::kDictionaryTypeID;
  KeloCFDictionary() : Object(kTypeID) {}
  bool equals(const Object& other) const override;
  CFHashCode hash() const override;

  /// Index of `key` in `entries`, or -1.
  CFIndex find(CFTypeRef key) const;
  void set(CFTypeRef key, CFTypeRef value);
  void remove(CFTypeRef key);
  void clear();

  struct Entry {
    kelo::cf::detail::Retained key;
    kelo::cf::detail::Retained value;
  };
  std::vector<Entry> entries;  // insertion order

 private:
  void rebuildIndex();
  std::unordered_multimap<CFHashCode, std::size_t> m_index;
};
