// The toolkit's key events mapped onto the virtual-key codes that the key
// handler works with.
#pragma once

namespace talvane {

// The virtual-key code of an FLTK key (Fl::event_key()), or 0 for a key
// that has none. Letters map to their upper-case code whatever the Shift
// state; the keypad, the function keys and the Help key have codes of their own.
unsigned virtualKeyFor(int fltkKey);

// The same for a key event that typed text (Fl::event_text()): any key of
// the main keyboard that types "+" or "=" on the current layout is the
// "=" / "+" key, 187.
unsigned virtualKeyFor(int fltkKey, const char* text);

}  // namespace talvane
