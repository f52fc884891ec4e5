// The window program on the Win32 API: the main window, then the copy window (hidden), then the
// message loop until the main window closes.

#include "CopyWindow.h"
#include "FileSystem.h"
#include "MainWindow.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    doplet::win32::MainWindow main;
    if (!main.Create(instance)) {
        return 1;
    }
    doplet::win32::CopyWindow copy(doplet::MakeNativeFileSystem(),
                                   [&main] { return main.passInput(); });
    if (!copy.Create(instance)) {
        return 1;
    }
    main.AttachCopyWindow(&copy);
    // To come: the about window, created hidden after the copy window.
    main.Show(show);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!main.TranslateDialogKey(message) && !copy.TranslateDialogKey(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return static_cast<int>(message.wParam);
}
