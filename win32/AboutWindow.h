#pragma once

// The about window (FVersion1) on the Win32 API: its controls come from the table generated from
// resources/version1.ui. Created hidden at start-up; shown from the main window's menu, hidden by
// OK, Enter or the close box, and shown again where it was last.

#include "Form.h"

#include <windows.h>

namespace doplet::win32 {

class AboutWindow {
public:
    AboutWindow();
    // Creates the window with all its controls, hidden, owned by `owner`. False when the system
    // refuses it.
    bool Create(HINSTANCE instance, HWND owner);
    // A hidden window shows (centred on the screen the first time); a visible one comes to front.
    void Show();

private:
    friend LRESULT CALLBACK WindowProcedure<AboutWindow>(HWND window, UINT message, WPARAM w,
                                                         LPARAM l);
    LRESULT Handle(UINT message, WPARAM w, LPARAM l);
    void OKButtonClick();

    HWND window_ = nullptr;
    Form form_;
    bool placed_ = false;
};

} // namespace doplet::win32
