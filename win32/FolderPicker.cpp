#include "FolderPicker.h"

#include "Form.h"

#include <algorithm>
#include <commdlg.h>
#include <vector>

namespace doplet::win32 {
namespace {

// Room for the longest path the system takes: a name beyond 260 characters would otherwise make
// the dialog fail as if the user had cancelled.
constexpr DWORD kNameRoom = 32'768;

// Places the dialog once it is laid out: centred horizontally, a third of the free height above.
UINT_PTR CALLBACK PlaceDialog(HWND child, UINT message, WPARAM /*w*/, LPARAM l) {
    if (message != WM_NOTIFY || reinterpret_cast<const NMHDR*>(l)->code != CDN_INITDONE) {
        return 0;
    }
    HWND dialog = GetParent(child);
    RECT frame;
    GetWindowRect(dialog, &frame);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& screen = monitor.rcMonitor;
    const LONG freeWidth = (screen.right - screen.left) - (frame.right - frame.left);
    const LONG freeHeight = (screen.bottom - screen.top) - (frame.bottom - frame.top);
    SetWindowPos(dialog, nullptr, screen.left + std::max(0L, freeWidth / 2),
                 screen.top + std::max(0L, freeHeight) / 3, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    KeepOnScreen(dialog);
    return 0;
}

} // namespace

std::optional<std::wstring> FolderDialog::Pick(HWND owner) {
    std::vector<wchar_t> name(kNameRoom, L'\0');
    std::ranges::copy(last_.substr(0, kNameRoom - 1), name.begin());
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = kNameRoom;
    dialog.lpstrTitle = title_.c_str();
    dialog.Flags =
        OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_ENABLEHOOK | OFN_ENABLESIZING;
    dialog.lpfnHook = PlaceDialog;
    // The file-open dialog moves the working folder to wherever the user browsed, whatever it is
    // asked: relative folder texts must go on resolving against the folder the program started in.
    std::wstring workingFolder(GetCurrentDirectoryW(0, nullptr), L'\0');
    workingFolder.resize(
        GetCurrentDirectoryW(static_cast<DWORD>(workingFolder.size()), workingFolder.data()));
    const bool confirmed = GetOpenFileNameW(&dialog) != FALSE;
    SetCurrentDirectoryW(workingFolder.c_str());
    if (!confirmed) {
        return std::nullopt;
    }
    last_ = name.data();
    return FolderPart(last_);
}

std::wstring FolderPart(const std::wstring& name) {
    const std::size_t separator = name.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::wstring() : name.substr(0, separator + 1);
}

} // namespace doplet::win32
