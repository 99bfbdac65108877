// Arrays and insertion-ordered dictionaries of the stand-in.
#include <algorithm>

#include "platform/cf/CFArray.h"
#include "platform/cf/CFObject.h"

using kelo::cf::detail::as;
using kelo::cf::detail::asMutable;
using kelo::cf::detail::Retained;

const CFArrayCallBacks kCFTypeArrayCallBacks = {0, nullptr, nullptr, nullptr, nullptr};
const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = {0, nullptr, nullptr, nullptr,
                                                                nullptr, nullptr};
const CFDictionaryKeyCallBacks kCFCopyStringDictionaryKeyCallBacks = {0, nullptr, nullptr,
                                                                      nullptr, nullptr, nullptr};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = {0, nullptr, nullptr, nullptr,
                                                                    nullptr};

bool KeloCFArray::equals(const Object& other) const {
  const auto* a = as<KeloCFArray>(&other);
  if (!a || a->values.size() != values.size()) return false;
  for (std::size_t i = 0; i < values.size(); ++i)
    if (!CFEqual(values[i].get(), a->values[i].get())) return false;
  return true;
}

CFHashCode KeloCFArray::hash() const { return values.size(); }

CFTypeID CFArrayGetTypeID() { return KeloCFArray::kTypeID; }

CFArrayRef CFArrayCreate(CFAllocatorRef, const void** values, CFIndex count,
                         const CFArrayCallBacks*) {
  if (count < 0 || (!values && count)) return nullptr;
  auto* array = new KeloCFArray();
  for (CFIndex i = 0; i < count; ++i)
    if (values[i]) array->values.push_back(Retained::retain(values[i]));
  return array;
}

CFArrayRef CFArrayCreateCopy(CFAllocatorRef, CFArrayRef array) {
  return CFArrayCreateMutableCopy(nullptr, 0, array);
}

CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef, CFIndex, const CFArrayCallBacks*) {
  return new KeloCFArray();
}

CFMutableArrayRef CFArrayCreateMutableCopy(CFAllocatorRef, CFIndex, CFArrayRef array) {
  const auto* source = as<KeloCFArray>(array);
  if (!source) return nullptr;
  auto* copy = new KeloCFArray();
  copy->values = source->values;
  return copy;
}

CFIndex CFArrayGetCount(CFArrayRef array) {
  const auto* a = as<KeloCFArray>(array);
  return a ? static_cast<CFIndex>(a->values.size()) : 0;
}

const void* CFArrayGetValueAtIndex(CFArrayRef array, CFIndex index) {
  const auto* a = as<KeloCFArray>(array);
  if (!a || index < 0 || index >= static_cast<CFIndex>(a->values.size())) return nullptr;
  return a->values[index].get();
}

void CFArrayGetValues(CFArrayRef array, CFRange range, const void** values) {
  const auto* a = as<KeloCFArray>(array);
  if (!a || !values || range.location < 0 || range.length <= 0) return;
  const auto size = static_cast<CFIndex>(a->values.size());
  const CFIndex end = std::min(size, range.location + range.length);
  for (CFIndex i = range.location; i < end; ++i) *values++ = a->values[i].get();
}

void CFArrayAppendValue(CFMutableArrayRef array, const void* value) {
  auto* a = asMutable<KeloCFArray>(array);
  if (a && value) a->values.push_back(Retained::retain(value));
}

void CFArrayInsertValueAtIndex(CFMutableArrayRef array, CFIndex index, const void* value) {
  auto* a = asMutable<KeloCFArray>(array);
  if (!a || !value || index < 0 || index > static_cast<CFIndex>(a->values.size())) return;
  a->values.insert(a->values.begin() + index, Retained::retain(value));
}

void CFArraySetValueAtIndex(CFMutableArrayRef array, CFIndex index, const void* value) {
  auto* a = asMutable<KeloCFArray>(array);
  if (!a || !value || index < 0 || index > static_cast<CFIndex>(a->values.size())) return;
  if (index == static_cast<CFIndex>(a->values.size()))
    a->values.push_back(Retained::retain(value));
  else
    a->values[index] = Retained::retain(value);
}

void CFArrayRemoveValueAtIndex(CFMutableArrayRef array, CFIndex index) {
  auto* a = asMutable<KeloCFArray>(array);
  if (!a || index < 0 || index >= static_cast<CFIndex>(a->values.size())) return;
  a->values.erase(a->values.begin() + index);
}

void CFArrayRemoveAllValues(CFMutableArrayRef array) {
  if (auto* a = asMutable<KeloCFArray>(array)) a->values.clear();
}

bool KeloCFDictionary::equals(const Object& other) const {
  const auto* d = as<KeloCFDictionary>(&other);
  if (!d || d->entries.size() != entries.size()) return false;
  for (const Entry& e : entries) {
    const CFIndex i = d->find(e.key.get());
    if (i < 0 || !CFEqual(e.value.get(), d->entries[i].value.get())) return false;
  }
  return true;
}

CFHashCode KeloCFDictionary::hash() const { return entries.size(); }

CFIndex KeloCFDictionary::find(CFTypeRef key) const {
  if (!key) return -1;
  auto [first, last] = m_index.equal_range(CFHash(key));
  for (auto it = first; it != last; ++it)
    if (CFEqual(entries[it->second].key.get(), key)) return static_cast<CFIndex>(it->second);
  return -1;
}

void KeloCFDictionary::set(CFTypeRef key, CFTypeRef value) {
  const CFIndex i = find(key);
  if (i >= 0) {
    entries[i].value = Retained::retain(value);
    return;
  }
  m_index.emplace(CFHash(key), entries.size());
  entries.push_back(Entry{Retained::retain(key), Retained::retain(value)});
}

void KeloCFDictionary::remove(CFTypeRef key) {
  const CFIndex i = find(key);
  if (i < 0) return;
  entries.erase(entries.begin() + i);
  rebuildIndex();
}

void KeloCFDictionary::clear() {
  entries.clear();
  m_index.clear();
}

void KeloCFDictionary::rebuildIndex() {
  m_index.clear();
  for (std::size_t i = 0; i < entries.size(); ++i) m_index.emplace(CFHash(entries[i].key.get()), i);
}

CFTypeID CFDictionaryGetTypeID() { return KeloCFDictionary::kTypeID; }

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef, const void** keys, const void** values,
                                   CFIndex count, const CFDictionaryKeyCallBacks*,
                                   const CFDictionaryValueCallBacks*) {
  if (count < 0 || (count && (!keys || !values))) return nullptr;
  auto* dictionary = new KeloCFDictionary();
  for (CFIndex i = 0; i < count; ++i)
    if (keys[i] && values[i]) dictionary->set(keys[i], values[i]);
  return dictionary;
}

CFDictionaryRef CFDictionaryCreateCopy(CFAllocatorRef, CFDictionaryRef dictionary) {
  return CFDictionaryCreateMutableCopy(nullptr, 0, dictionary);
}

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef, CFIndex,
                                                 const CFDictionaryKeyCallBacks*,
                                                 const CFDictionaryValueCallBacks*) {
  return new KeloCFDictionary();
}

CFMutableDictionaryRef CFDictionaryCreateMutableCopy(CFAllocatorRef, CFIndex,
                                                     CFDictionaryRef dictionary) {
  const auto* source = as<KeloCFDictionary>(dictionary);
  if (!source) return nullptr;
  auto* copy = new KeloCFDictionary();
  for (const auto& e : source->entries) copy->set(e.key.get(), e.value.get());
  return copy;
}

CFIndex CFDictionaryGetCount(CFDictionaryRef dictionary) {
  const auto* d = as<KeloCFDictionary>(dictionary);
  return d ? static_cast<CFIndex>(d->entries.size()) : 0;
}

const void* CFDictionaryGetValue(CFDictionaryRef dictionary, const void* key) {
  const auto* d = as<KeloCFDictionary>(dictionary);
  if (!d) return nullptr;
  const CFIndex i = d->find(key);
  return i >= 0 ? d->entries[i].value.get() : nullptr;
}

Boolean CFDictionaryGetValueIfPresent(CFDictionaryRef dictionary, const void* key,
                                      const void** value) {
  const auto* d = as<KeloCFDictionary>(dictionary);
  if (!d) return false;
  const CFIndex i = d->find(key);
  if (i < 0) return false;
  if (value) *value = d->entries[i].value.get();
  return true;
}

Boolean CFDictionaryContainsKey(CFDictionaryRef dictionary, const void* key) {
  return CFDictionaryGetValueIfPresent(dictionary, key, nullptr);
}

void CFDictionaryGetKeysAndValues(CFDictionaryRef dictionary, const void** keys,
                                  const void** values) {
  const auto* d = as<KeloCFDictionary>(dictionary);
  if (!d) return;
  for (const auto& e : d->entries) {
    if (keys) *keys++ = e.key.get();
    if (values) *values++ = e.value.get();
  }
}

void CFDictionaryApplyFunction(CFDictionaryRef dictionary, CFDictionaryApplierFunction applier,
                               void* context) {
  const auto* d = as<KeloCFDictionary>(dictionary);
  if (!d || !applier) return;
  for (const auto& e : d->entries) applier(e.key.get(), e.value.get(), context);
}

void CFDictionarySetValue(CFMutableDictionaryRef dictionary, const void* key, const void* value) {
  auto* d = asMutable<KeloCFDictionary>(dictionary);
  if (d && key && value) d->set(key, value);
}

void CFDictionaryAddValue(CFMutableDictionaryRef dictionary, const void* key, const void* value) {
  auto* d = asMutable<KeloCFDictionary>(dictionary);
  if (d && key && value && d->find(key) < 0) d->set(key, value);
}

void CFDictionaryReplaceValue(CFMutableDictionaryRef dictionary, const void* key,
                              const void* value) {
  auto* d = asMutable<KeloCFDictionary>(dictionary);
  if (d && key && value && d->find(key) >= 0) d->set(key, value);
}

void CFDictionaryRemoveValue(CFMutableDictionaryRef dictionary, const void* key) {
  if (auto* d = asMutable<KeloCFDictionary>(dictionary)) d->remove(key);
}

void CFDictionaryRemoveAllValues(CFMutableDictionaryRef dictionary) {
  if (auto* d = asMutable<KeloCFDictionary>(dictionary)) d->clear();
}
