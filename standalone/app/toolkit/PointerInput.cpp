#include "standalone/app/toolkit/PointerInput.h"

#include <gdk/gdk.h>

namespace vantor::VNT {

unsigned toolkitButton(unsigned x11Button) {
  switch (x11Button) {
    case 1: return 0;
    case 2: return 2;
    case 3: return 1;
    default: return x11Button >= 8 ? x11Button - 5 : x11Button;
  }
}

unsigned toolkitModifiers(unsigned gdkState) {
  unsigned modifiers = 0;
  if (gdkState & GDK_SHIFT_MASK) modifiers |= 2;
  if (gdkState & GDK_CONTROL_MASK) modifiers |= 4;
  if (gdkState & GDK_MOD1_MASK) modifiers |= 8;
  if (gdkState & (GDK_SUPER_MASK | GDK_MOD4_MASK)) modifiers |= 16;
  return modifiers;
}

int pressedButton(unsigned gdkState) {
  if (gdkState & GDK_BUTTON1_MASK) return 0;
  if (gdkState & GDK_BUTTON3_MASK) return 1;
  if (gdkState & GDK_BUTTON2_MASK) return 2;
  return -1;
}

DragOperation textDragAnswer(bool offersText, bool allowsGeneric, bool allowsCopy) {
  if (!offersText) return kDragNone;
  if (allowsGeneric) return kDragGeneric;
  return allowsCopy ? kDragCopy : kDragNone;
}

}  // namespace vantor::VNT
