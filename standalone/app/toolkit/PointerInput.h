// How the X11/GDK pointer reaches the toolkit: button numbers and modifier masks turned into
// the toolkit's values (both back ends use these, so the tables are tested headless).
#pragma once

namespace vantor::VNT {

/// Toolkit button of an X11 button number: 1 (primary) is 0, 3 (secondary) is 1, 2 (middle)
/// is 2, the side buttons 8 and 9 are 3 and 4, and so on (4 to 7 are wheel steps, never buttons).
unsigned toolkitButton(unsigned x11Button);

/// Toolkit modifiers of a GDK modifier state: shift 2, control 4, Alt 8, Super 16 (caps lock
/// and the rest dropped).
unsigned toolkitModifiers(unsigned gdkState);

/// The toolkit button of the first pressed button in a GDK state, or -1 when none is pressed.
int pressedButton(unsigned gdkState);

/// What a text field answers a drag: `generic` (4) when the drag offers text and its source
/// allows a generic operation, else `copy` (1) when it allows a copy, else none (0).
enum DragOperation : unsigned { kDragNone = 0, kDragCopy = 1, kDragGeneric = 4 };
DragOperation textDragAnswer(bool offersText, bool allowsGeneric, bool allowsCopy);

}  // namespace vantor::VNT
