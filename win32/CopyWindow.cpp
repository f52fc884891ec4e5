#include "CopyWindow.h"

#include "Controls.h"
#include "CopyWinControls.h"
#include "Frontend.h"
#include "MessageBoxes.h"
#include "Texts.h"
#include "th_copy1.h"

#include <algorithm>
#include <commdlg.h>
#include <cstdio>
#include <exception>
#include <shlobj.h>
#include <stdexcept>
#include <utility>
#include <windowsx.h>

namespace doplet::win32 {
namespace {

constexpr wchar_t kWindowClass[] = L"DopletCopyWin";
constexpr POINT kPlace{298, 199}; // of the frame, from the screen's top-left corner
constexpr int kLogItemHeight = 12;
// The one message that says announcements are waiting, and the timer that keeps batches apart.
constexpr UINT kAnnouncements = WM_APP;
constexpr UINT_PTR kBatchTimer = 1;
constexpr COLORREF kFailureText = RGB(255, 0, 0);
constexpr COLORREF kFailureSelected = RGB(128, 0, 0); // white text on it
enum : UINT { kCopyAll = 1, kSaveLog };

std::wstring FolderPath(int folder) {
    wchar_t path[MAX_PATH] = {};
    return SUCCEEDED(SHGetFolderPathW(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path)) ? path
                                                                                           : L"";
}

std::string SystemMessage(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message(text != nullptr ? text : L"", length);
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r')) {
        message.pop_back();
    }
    return message.empty() ? "error " + std::to_string(code) : Narrow(message);
}

// Writes `bytes` to `name` whole or not at all: into a new file beside it, which then replaces
// it. An existing file stays as it was when anything fails.
void WriteWhole(const std::wstring& name, const std::string& bytes) {
    const std::wstring folder = name.substr(0, name.find_last_of(L"\\/") + 1);
    wchar_t temporary[MAX_PATH] = {};
    DWORD error = 0;
    if (GetTempFileNameW(folder.empty() ? L"." : folder.c_str(), L"dpl", 0, temporary) == 0) {
        error = GetLastError();
    } else {
        HANDLE file = CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        const bool whole =
            file != INVALID_HANDLE_VALUE &&
            WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size() && FlushFileBuffers(file);
        error = whole ? 0 : GetLastError();
        if (file != INVALID_HANDLE_VALUE && !CloseHandle(file) && error == 0) {
            error = GetLastError();
        }
        if (error == 0 && !MoveFileExW(temporary, name.c_str(),
                                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            error = GetLastError();
        }
        if (error != 0) {
            DeleteFileW(temporary);
        }
    }
    if (error != 0) {
        throw std::runtime_error(frontend::Format(texts::kSaveLogFailed, PathOf(name)) +
                                 SystemMessage(error));
    }
}

} // namespace

CopyWindow::CopyWindow(std::shared_ptr<FileSystem> fs, std::function<PassInput()> passInput)
    : form_(DOPLET_FORM_TABLE(CopyWin)), fs_(std::move(fs)), passInput_(std::move(passInput)) {}

bool CopyWindow::Create(HINSTANCE instance) {
    WNDCLASSEXW copy{};
    copy.cbSize = sizeof copy;
    copy.lpfnWndProc = WindowProcedure<CopyWindow>;
    copy.hInstance = instance;
    copy.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    copy.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    copy.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    copy.lpszClassName = kWindowClass;
    if (!Form::RegisterPanelClass(instance) || RegisterClassExW(&copy) == 0) {
        return false;
    }
    // The client area is the table's, the frame the system's; the frame at its fixed place,
    // moved the least onto the work area of the monitor there.
    constexpr DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    constexpr DWORD extended = WS_EX_CONTROLPARENT;
    const SIZE frame = form_.FrameSize(style, extended);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromPoint(kPlace, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    const frontend::Point place = frontend::FitOnScreen(
        {kPlace.x, kPlace.y, frame.cx, frame.cy},
        {work.left, work.top, work.right - work.left, work.bottom - work.top});
    // The log is drawn here (failure lines in red), its lines kept as text for LB_GETTEXT.
    form_.AddStyle("ListBox1", LBS_OWNERDRAWFIXED | LBS_HASSTRINGS);
    const std::wstring caption = Widen(CopyWin::kCaption);
    return CreateWindowExW(extended, kWindowClass, caption.c_str(), style, place.x, place.y,
                           frame.cx, frame.cy, nullptr, nullptr, instance, this) != nullptr;
}

void CopyWindow::Show() {
    if (!IsWindowVisible(window_)) {
        ShowWindow(window_, SW_SHOW); // the showing step runs first (WM_SHOWWINDOW)
        SetFocus(button_);            // Space or Enter asks the abort question
    } else if (IsIconic(window_)) {
        ShowWindow(window_, SW_RESTORE);
    }
    SetForegroundWindow(window_);
    BringWindowToTop(window_);
}

LRESULT CopyWindow::Handle(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
    case WM_CREATE:
        form_.CreateControls(window_);
        list_ = form_.Named("ListBox1");
        button_ = form_.Named("BitBtn1");
        SendMessageW(list_, LB_SETITEMHEIGHT, 0, kLogItemHeight);
        return 0;
    case WM_MEASUREITEM:
        reinterpret_cast<MEASUREITEMSTRUCT*>(l)->itemHeight = kLogItemHeight;
        return TRUE;
    case WM_DRAWITEM:
        DrawLine(*reinterpret_cast<const DRAWITEMSTRUCT*>(l));
        return TRUE;
    case WM_SHOWWINDOW:
        if (w != FALSE && l == 0) { // hidden to visible by ShowWindow
            RunOperation([this] { logic_.FormShow(); });
        }
        return 0;
    case WM_ACTIVATE: // the keyboard goes back where it was when the window was left
        if (LOWORD(w) == WA_INACTIVE) {
            HWND focus = GetFocus();
            focus_ = focus != nullptr && IsChild(window_, focus) ? focus : focus_;
        } else {
            SetFocus(focus_ != nullptr ? focus_ : button_);
        }
        return 0;
    case WM_COMMAND:
        if (HIWORD(w) == BN_CLICKED && reinterpret_cast<HWND>(l) == button_) {
            RunOperation([this] { logic_.BitBtn1Click(); });
        }
        return 0;
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(w) == list_) {
            LogMenu(l);
        }
        return 0;
    case kAnnouncements:
        ApplyAnnouncements();
        return 0;
    case WM_TIMER:
        if (w == kBatchTimer) {
            KillTimer(window_, kBatchTimer);
            ApplyAnnouncements();
        }
        return 0;
    case WM_CLOSE: // the close box hides; the pass, if one runs, goes on
        ShowWindow(window_, SW_HIDE);
        return 0;
    default:
        return DefWindowProcW(window_, message, w, l);
    }
}

void CopyWindow::RunOperation(const std::function<void()>& operation) const {
    try {
        operation();
    } catch (const std::exception& failure) {
        ShowErrorBox(window_, failure.what());
    }
}

void CopyWindow::ApplyAnnouncements() {
    // Only the latest pass announces: an earlier one has ended before it started. The host is
    // held here, as applying can start the next pass and replace it.
    if (const std::shared_ptr<frontend::AnnouncementQueue> host = host_) {
        RunOperation([&] {
            const std::chrono::milliseconds wait = host->applyQueued();
            if (wait.count() > 0) {
                SetTimer(window_, kBatchTimer, static_cast<UINT>(wait.count()), nullptr);
            }
        });
    }
}

void CopyWindow::DrawLine(const DRAWITEMSTRUCT& item) const {
    if (item.itemID == static_cast<UINT>(-1)) {
        return; // an empty log
    }
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    const bool failed = SendMessageW(list_, LB_GETITEMDATA, item.itemID, 0) != 0;
    const COLORREF background = selected
                                    ? (failed ? kFailureSelected : GetSysColor(COLOR_HIGHLIGHT))
                                    : GetSysColor(COLOR_WINDOW);
    const COLORREF text = selected
                              ? (failed ? RGB(255, 255, 255) : GetSysColor(COLOR_HIGHLIGHTTEXT))
                              : (failed ? kFailureText : GetSysColor(COLOR_WINDOWTEXT));
    HBRUSH brush = CreateSolidBrush(background);
    FillRect(item.hDC, &item.rcItem, brush);
    DeleteObject(brush);
    std::wstring line(static_cast<std::size_t>(SendMessageW(list_, LB_GETTEXTLEN, item.itemID, 0)),
                      L'\0');
    SendMessageW(list_, LB_GETTEXT, item.itemID, reinterpret_cast<LPARAM>(line.data()));
    line.resize(wcslen(line.c_str()));
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, text);
    RECT place = item.rcItem;
    place.left += 2;
    DrawTextW(item.hDC, line.c_str(), static_cast<int>(line.size()), &place,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    if ((item.itemState & ODS_FOCUS) != 0) {
        DrawFocusRect(item.hDC, &item.rcItem);
    }
}

void CopyWindow::LogMenu(LPARAM at) {
    POINT where{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    if (at == -1) { // from the keyboard: at the list's corner
        RECT list;
        GetWindowRect(list_, &list);
        where = {list.left, list.top};
    }
    const UINT any = SendMessageW(list_, LB_GETCOUNT, 0, 0) > 0 ? MF_ENABLED : MF_GRAYED;
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING | any, kCopyAll, ShownText(texts::kCopyAll).c_str());
    AppendMenuW(menu, MF_STRING | any, kSaveLog, ShownText(texts::kSaveLogItem).c_str());
    const auto chosen = static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON,
                                                         where.x, where.y, 0, window_, nullptr));
    DestroyMenu(menu);
    if (chosen == kCopyAll || chosen == kSaveLog) {
        RunOperation([this, chosen] { chosen == kCopyAll ? CopyAllClick() : SaveLogClick(); });
    }
}

std::wstring CopyWindow::LogText(const wchar_t* lineEnd) const {
    std::wstring text;
    const auto count = static_cast<int>(SendMessageW(list_, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        std::wstring line(static_cast<std::size_t>(SendMessageW(list_, LB_GETTEXTLEN, i, 0)),
                          L'\0');
        SendMessageW(list_, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line.data()));
        text += (i > 0 ? lineEnd : L"") + std::wstring(line.c_str());
    }
    return text;
}

void CopyWindow::CopyAllClick() const {
    const std::wstring text = LogText(L"\r\n");
    if (!OpenClipboard(window_)) {
        return;
    }
    EmptyClipboard();
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        std::copy_n(text.c_str(), text.size() + 1, static_cast<wchar_t*>(GlobalLock(memory)));
        GlobalUnlock(memory);
        if (SetClipboardData(CF_UNICODETEXT, memory) == nullptr) {
            GlobalFree(memory);
        }
    }
    CloseClipboard();
}

// A log saved inside either folder would be copied to the other side by the next pass: the
// dialog opens in the documents folder (or the profile, or the temporary folder) and refuses
// the roots.
void CopyWindow::SaveLogClick() {
    std::wstring folder;
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    for (const std::wstring& candidate :
         {FolderPath(CSIDL_PERSONAL), FolderPath(CSIDL_PROFILE), std::wstring(temp)}) {
        folder = candidate;
        if (!folder.empty() && frontend::RootHolding(PathOf(folder), logic_.roots()) == 0) {
            break;
        }
    }
    // The dialog is given the whole path: given a folder of its own, it may open the one last
    // used instead, such as a folder of the pass just refused.
    if (!folder.empty() && folder.back() != L'\\') {
        folder += L'\\';
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t file[64] = {};
    std::swprintf(file, std::size(file), L"doplet-%04u-%02u-%02u-%02u%02u.log", now.wYear,
                  now.wMonth, now.wDay, now.wHour, now.wMinute);
    std::wstring proposed = folder + file;
    const std::wstring title = ShownText(texts::kSaveLogCaption);
    wchar_t name[MAX_PATH] = {};
    for (;;) {
        name[proposed.copy(name, MAX_PATH - 1)] = L'\0';
        OPENFILENAMEW dialog{};
        dialog.lStructSize = sizeof dialog;
        dialog.hwndOwner = window_;
        dialog.lpstrFile = name;
        dialog.nMaxFile = MAX_PATH;
        dialog.lpstrTitle = title.c_str();
        dialog.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
        if (!GetSaveFileNameW(&dialog)) {
            return; // cancelled
        }
        const int root = frontend::RootHolding(PathOf(name), logic_.roots());
        if (root == 0) {
            break;
        }
        ShowModalBox(window_, texts::kSaveLogCaption,
                     frontend::Format(texts::kSaveLogInside, root == 1 ? "１" : "２"), MB_OK);
        proposed = folder + (name + dialog.nFileOffset);
    }
    WriteWhole(name, Narrow(LogText(L"\r\n") + L"\r\n"));
}

PassInput CopyWindow::passInput() {
    return passInput_();
}

std::shared_ptr<WorkerControl> CopyWindow::startWorker(PassInput input) {
    HWND window = window_;
    host_ = std::make_shared<frontend::AnnouncementQueue>(
        logic_, [window] { PostMessageW(window, kAnnouncements, 0, 0); });
    return th_Copy::Start(fs_, std::move(input), host_);
}

void CopyWindow::clearLog() {
    SendMessageW(list_, LB_RESETCONTENT, 0, 0);
}

void CopyWindow::appendLines(const std::vector<LogLine>& lines) {
    // One redraw for the whole batch. A success line selects the new last line (and so scrolls
    // to it); a failure line leaves the selection where it was.
    SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    LRESULT lastSuccess = LB_ERR;
    for (const LogLine& line : lines) {
        const LRESULT at = SendMessageW(list_, LB_ADDSTRING, 0,
                                        reinterpret_cast<LPARAM>(ShownText(line.text()).c_str()));
        if (at < 0) {
            break; // out of memory: the lines that fit are shown
        }
        SendMessageW(list_, LB_SETITEMDATA, at, line.failed() ? 1 : 0);
        lastSuccess = line.failed() ? lastSuccess : at;
    }
    // Selected while the list is not drawn: its scroll bar is brought up to date once, when
    // drawing resumes (under Wine each update of it costs the interface 10 to 20 ms).
    if (lastSuccess != LB_ERR) {
        SendMessageW(list_, LB_SETCURSEL, lastSuccess, 0);
    }
    SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list_, nullptr, TRUE);
}

void CopyWindow::setButtonCaption(std::string_view caption) {
    SetWindowTextW(button_, ShownText(caption).c_str());
}

bool CopyWindow::askAbort() {
    return ShowModalBox(window_, texts::kConfirmCaption, texts::kAskAbort, MB_OKCANCEL) == IDOK;
}

void CopyWindow::closeWindow() {
    ShowWindow(window_, SW_HIDE);
}

void CopyWindow::endWithFatal(const std::string& errorClass, const std::string& message) {
    EndWithFatal(errorClass, message);
}

} // namespace doplet::win32
