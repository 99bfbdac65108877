// Reference counting and value equality of the stand-in's objects.
#include "platform/cf/CFObject.h"

using kelo::cf::detail::object;
using kelo::cf::detail::Object;

CFTypeRef CFRetain(CFTypeRef ref) {
  const Object* o = object(ref);
  if (o && !o->immortal) const_cast<Object*>(o)->refs.fetch_add(1, std::memory_order_relaxed);
  return ref;
}

void CFRelease(CFTypeRef ref) {
  const Object* o = object(ref);
  if (!o || o->immortal) return;
  if (const_cast<Object*>(o)->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete o;
}

CFIndex CFGetRetainCount(CFTypeRef ref) {
  const Object* o = object(ref);
  if (!o) return 0;
  return o->immortal ? 0x7FFFFFFF : o->refs.load(std::memory_order_relaxed);
}

CFTypeID CFGetTypeID(CFTypeRef ref) {
  const Object* o = object(ref);
  return o ? o->typeID : 0;
}

Boolean CFEqual(CFTypeRef a, CFTypeRef b) {
  if (a == b) return true;
  if (!a || !b) return false;
  return object(a)->equals(*object(b));
}

CFHashCode CFHash(CFTypeRef ref) {
  const Object* o = object(ref);
  return o ? o->hash() : 0;
}

namespace kelo::cf::detail {

Retained Retained::retain(CFTypeRef ref) { return Retained(CFRetain(ref)); }

Retained::~Retained() { CFRelease(m_ref); }

}  // namespace kelo::cf::detail
