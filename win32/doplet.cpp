// The window program on the Win32 API: the main window, the copy window and the about window (both
// created hidden), then the message loop until the main window closes.

#include "AboutWindow.h"
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
    doplet::win32::AboutWindow about;
    if (!about.Create(instance, main.window())) {
        return 1;
    }
    main.AttachAbout(&about);
    main.Show(show);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // The dialog manager handles the keyboard (tab order, Enter, Escape) of every window.
        HWND window = message.hwnd != nullptr ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
        if (window == nullptr || IsDialogMessageW(window, &message) == FALSE) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return static_cast<int>(message.wParam);
}
