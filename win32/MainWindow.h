#pragma once

// The main window (Fmain1) on the Win32 API: its controls come from the table generated from
// resources/main1.ui, so they hold the same texts in the same places as the Qt window.

#include <vector>
#include <windows.h>

namespace doplet::win32 {

class MainWindow {
public:
    // Registers the window classes and creates the window with all its controls, hidden.
    // Returns false when the system refuses either.
    bool Create(HINSTANCE instance);
    void Show(int how) const;
    // Lets the dialog manager handle the keyboard (tab order, Enter, Escape) for this window.
    bool TranslateDialogKey(MSG& message) const;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l);
    LRESULT Handle(UINT message, WPARAM w, LPARAM l);
    void CreateControls();
    HFONT FontFor(int row);
    void Clicked(int row);
    LRESULT ColourOf(HDC dc, HWND control);

    // Seams for the rest of the program: the folder settings are loaded and both folders listed
    // when the window is created (FormCreate) and saved when it closes (FormClose); Execute
    // shows the copy window.
    void FormCreate() {}
    void FormClose() {}

    HWND window_ = nullptr;
    std::vector<HWND> controls_; // by row of the table
    std::vector<HFONT> fonts_;   // by row of the table; several rows may share one
};

} // namespace doplet::win32
