#include "key_map.h"

#include <FL/Enumerations.H>

#include <array>

namespace talvane {

namespace {

// X's Help key (XK_Help). FLTK's FL_Help is 0xff68, which is X's Find key.
constexpr int kXHelpKey = 0xff6a;

struct KeyCode {
    int fltk;        // Fl::event_key() value
    unsigned vk;     // its virtual-key code
};

// Keys that are neither letters, digits nor function keys.
constexpr std::array<KeyCode, 41> keyTable{{
    {' ', 32},              {kXHelpKey, 47},
    {FL_BackSpace, 8},      {FL_Tab, 9},             {FL_Enter, 13},
    {FL_Shift_L, 16},       {FL_Shift_R, 16},        {FL_Control_L, 17},
    {FL_Control_R, 17},     {FL_Alt_L, 18},          {FL_Alt_R, 18},
    {FL_Pause, 19},         {FL_Caps_Lock, 20},      {FL_Page_Up, 33},
    {FL_Page_Down, 34},     {FL_End, 35},            {FL_Home, 36},
    {FL_Left, 37},          {FL_Up, 38},             {FL_Right, 39},
    {FL_Down, 40},          {FL_Print, 44},          {FL_Insert, 45},
    {FL_Delete, 46},        {FL_KP + '*', 106},      {FL_KP + '+', 107},
    {FL_KP + '-', 109},     {FL_KP + '.', 110},      {FL_KP + '/', 111},
    {FL_KP_Enter, 13},      {FL_Num_Lock, 144},      {FL_Scroll_Lock, 145},
    {';', 186},             {'=', 187},              {'+', 187},              {',', 188},
    {'-', 189},             {'.', 190},              {'/', 191},
    {'`', 192},             {'\'', 222},
}};

}  // namespace

unsigned virtualKeyFor(int key) {
    if (key >= 'a' && key <= 'z') return static_cast<unsigned>(key - 'a' + 'A');
    if (key >= 'A' && key <= 'Z') return static_cast<unsigned>(key);
    if (key >= '0' && key <= '9') return static_cast<unsigned>(key);
    if (key >= FL_KP + '0' && key <= FL_KP + '9') return static_cast<unsigned>(96 + key - (FL_KP + '0'));
    if (key >= FL_F + 1 && key <= FL_F + 24) return static_cast<unsigned>(111 + key - FL_F);
    for (const KeyCode& entry : keyTable) {
        if (entry.fltk == key) return entry.vk;
    }
    return 0;
}

unsigned virtualKeyFor(int key, const char* text) {
    const bool keypad = key >= FL_KP && key <= FL_KP_Last;
    // The main keyboard's "=" / "+" key is whichever key types one of them on
    // the current layout ("+" is unshifted on a German keyboard, Shift+1 on a
    // Swiss one); the keypad's "+" keeps its own code.
    if (!keypad && text != nullptr && (text[0] == '+' || text[0] == '=') && text[1] == '\0') return 187;
    return virtualKeyFor(key);
}

}  // namespace talvane
