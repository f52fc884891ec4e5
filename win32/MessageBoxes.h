#pragma once

// The program's message boxes on the Win32 API. The program's own boxes are application-modal:
// every window of the program is disabled while one shows.

#include <string>
#include <string_view>
#include <windows.h>

namespace doplet::win32 {

// One of the program's own boxes (no icon; MB_OK or MB_OKCANCEL); the button pressed.
int ShowModalBox(HWND owner, std::string_view caption, std::string_view text, UINT buttons);

// The program's error box: its title as caption, the error icon, OK, the message with its full
// stop.
void ShowErrorBox(HWND owner, const std::string& message);

// A failure escaped a pass: the box naming its class, module and a code address, then the
// program ends at once with exit code 1, nothing saved.
[[noreturn]] void EndWithFatal(const std::string& errorClass, const std::string& message);

} // namespace doplet::win32
