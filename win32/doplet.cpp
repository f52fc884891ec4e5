// The window program on the Win32 API: the main window, then the message loop until it closes.

#include "MainWindow.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    doplet::win32::MainWindow main;
    if (!main.Create(instance)) {
        return 1;
    }
    // To come: the copy window and the about window, created hidden after the main window.
    main.Show(show);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!main.TranslateDialogKey(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return static_cast<int>(message.wParam);
}
