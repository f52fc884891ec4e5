#pragma once

// The main window (Fmain1) on the Win32 API: its controls come from the table generated from
// resources/main1.ui, so they hold the same texts in the same places as the Qt window.

#include "FileSystem.h"
#include "FolderListing.h"
#include "FolderPicker.h"
#include "Form.h"
#include "SyncPass.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>
#include <windows.h>

namespace doplet::win32 {

class AboutWindow;
class CopyWindow;

class MainWindow {
public:
    MainWindow();
    // Registers the window classes and creates the window with all its controls, hidden.
    // Returns false when the system refuses either.
    bool Create(HINSTANCE instance);
    void Show(int how) const;
    [[nodiscard]] HWND window() const { return window_; }
    // The about window that "情報" shows.
    void AttachAbout(AboutWindow* about) { about_ = about; }
    // The copy window, created after this one; Execute shows it.
    void AttachCopyWindow(CopyWindow* copy) { copy_ = copy; }
    // What a pass starts from: the folder texts as they stand and the lists as last listed.
    [[nodiscard]] PassInput passInput() const;

private:
    friend LRESULT CALLBACK WindowProcedure<MainWindow>(HWND window, UINT message, WPARAM w,
                                                        LPARAM l);
    LRESULT Handle(UINT message, WPARAM w, LPARAM l);
    void Clicked(int row);
    // PopupMenu1 at `at` on the screen, or by the focused control when opened by the keyboard.
    void PopupMenu1(LPARAM at);
    // Runs one window operation; a failure it raises ends it and is shown in the error box.
    // False when it failed.
    bool RunOperation(const std::function<void()>& operation) const;

    // The folder settings are loaded and both folders listed when the window is created, and
    // saved when it closes.
    void FormCreate();
    void FormClose();
    void BitBtn1Click(); // Execute
    void BitBtn2Click(); // pick folder 2
    void BitBtn3Click(); // Exit
    void BitBtn4Click(); // pick folder 1
    void BitBtn5Click(); // List, folder 1
    void BitBtn6Click(); // List, folder 2
    void N1Click();      // 情報: the about window
    void N2Click();      // Exit
    // Sets the column's box and root to the picked folder and lists it; nothing on cancel.
    void PickColumn(FolderDialog& dialog, int column);
    // Empties the column's list, then lists `root` into it and sets its size label.
    void ListColumn(const std::wstring& root, int column);

    HWND window_ = nullptr;
    Form form_;
    HMENU menu_ = nullptr; // PopupMenu1, destroyed with the program
    AboutWindow* about_ = nullptr;
    FolderDialog OpenDialog1, OpenDialog2;
    CopyWindow* copy_ = nullptr;

    std::shared_ptr<FileSystem> fs_ = MakeNativeFileSystem();
    std::wstring FFolder1, FFolder2;     // the roots last handed to the listing
    std::uint64_t FTotalSize = 0;        // of the listing last made
    std::shared_ptr<FileList> lists_[2]; // what each column shows, for the pass to come
    std::string thousandsSeparator_;     // the user's, read again when the settings change
};

} // namespace doplet::win32
