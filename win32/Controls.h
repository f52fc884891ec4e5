#pragma once

// How a row of a control table becomes a standard Win32 control; used by the window program and
// by its test driver alike.

#include "ControlTable.h"

#include <string>
#include <string_view>

namespace doplet::win32 {

// The window class of a kind of control: the system's BUTTON, EDIT, LISTBOX and STATIC, and the
// program's own class for panels.
const wchar_t* ClassOf(Kind kind);

inline constexpr wchar_t kPanelClass[] = L"DopletPanel";

std::wstring Widen(std::u8string_view text);
std::string Narrow(std::wstring_view text); // to UTF-8

// The text a control of this row holds: the table's text, with CR LF line ends in a memo.
std::wstring TextOf(const Control& control);

} // namespace doplet::win32
