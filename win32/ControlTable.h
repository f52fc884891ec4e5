#pragma once

// The shape of the control tables that scripts/ui-to-win32 writes from the .ui files at build
// time: the Win32 windows take every text, place and font from them, nowhere else.

#include <cstdint>

namespace doplet::win32 {

// Every label is sized to its text in its font; a picture shows the program's icon stretched.
enum class Kind { Panel, Button, Edit, ListBox, Label, Memo, Picture };

struct Place {
    int x, y, width, height; // pixels at 96 dots per inch, in the parent's client area
};

inline constexpr std::uint32_t kSystemTextColor = 0xFFFFFFFFu;

struct FontSpec {
    const char8_t* family;
    int pixels; // character height
    bool bold, italic;
    std::uint32_t color; // a COLORREF, or kSystemTextColor
};

struct Control {
    const char* name; // the component name, as in the .ui file
    Kind kind;
    int parent; // index of the parent row in the same table, -1 for the window itself
    Place place;
    const char8_t* text; // caption or initial text, UTF-8, lines ended by \n
    FontSpec font;
    int tab; // place in the window's tab order, -1 for none
};

} // namespace doplet::win32
