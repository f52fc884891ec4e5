#pragma once

// How a row of a control table becomes a standard Win32 control; used by the window program and
// by its test driver alike.

#include "ControlTable.h"
#include "Texts.h"

#include <string>
#include <string_view>

namespace doplet::win32 {

// PopupMenu1, the main window's context menu, top to bottom: each entry's text and the command id
// it sends, none that a control or a dialog key sends.
struct MenuEntry {
    unsigned id;
    std::string_view text;
};
inline constexpr MenuEntry kPopupMenu1[] = {
    {40001, texts::kMenuInformation}, // N1: the about window
    {40002, texts::kMenuHyphens},     // N3: an ordinary entry that does nothing
    {40003, texts::kMenuExit},        // N2: closes the main window
};

// The window class of a kind of control: the system's BUTTON, EDIT, LISTBOX and STATIC, and the
// program's own class for panels.
const wchar_t* ClassOf(Kind kind);

inline constexpr wchar_t kPanelClass[] = L"DopletPanel";

std::wstring Widen(std::u8string_view text);
std::string Narrow(std::wstring_view text); // to UTF-8

// The text a control of this row holds: the table's text, with CR LF line ends in a memo.
std::wstring TextOf(const Control& control);

} // namespace doplet::win32
