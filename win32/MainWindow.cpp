#include "MainWindow.h"

#include "AboutWindow.h"
#include "Controls.h"
#include "CopyWindow.h"
#include "Form.h"
#include "Frontend.h"
#include "MessageBoxes.h"
#include "RegistrySettings.h"
#include "Texts.h"
#include "main1Controls.h"

#include <commctrl.h>
#include <exception>
#include <string>
#include <utility>
#include <windowsx.h>

namespace doplet::win32 {
namespace {

constexpr wchar_t kWindowClass[] = L"DopletMain1";
constexpr POINT kPlace{344, 133}; // of the frame, on the screen
constexpr UINT kN1 = kPopupMenu1[0].id, kN2 = kPopupMenu1[2].id;

// The user's thousands separator; a comma where the locale has none.
std::string ThousandsSeparator() {
    wchar_t separator[8] = {};
    if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STHOUSAND, separator, 8) <= 1) {
        return ",";
    }
    return Narrow(separator);
}

// The size labels, each sized to its text, chosen by the list's tag.
class ColumnSizeLabels final : public SizeLabels {
public:
    ColumnSizeLabels(HWND label1, HWND label2) : labels_{label1, label2} {}

    void setSizeCaption(int label, const std::string& caption) override {
        if (label != 1 && label != 2) {
            return;
        }
        HWND target = labels_[label - 1];
        SetWindowTextW(target, ShownText(caption).c_str());
        Form::FitToText(target);
    }

private:
    HWND labels_[2];
};

// The edit boxes and the help text hand a request for a context menu on to the window, which
// shows its own menu there instead of the system's text-editing one.
LRESULT CALLBACK MenuOfWindow(HWND control, UINT message, WPARAM w, LPARAM l, UINT_PTR /*id*/,
                              DWORD_PTR window) {
    if (message == WM_CONTEXTMENU) {
        return SendMessageW(reinterpret_cast<HWND>(window), message, w, l);
    }
    return DefSubclassProc(control, message, w, l);
}

} // namespace

MainWindow::MainWindow()
    : form_(DOPLET_FORM_TABLE(main1)), OpenDialog1(ShownText(texts::kFolder1Title)),
      OpenDialog2(ShownText(texts::kFolder2Title)) {}

bool MainWindow::Create(HINSTANCE instance) {
    WNDCLASSEXW main{};
    main.cbSize = sizeof main;
    main.lpfnWndProc = WindowProcedure<MainWindow>;
    main.hInstance = instance;
    main.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    main.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    main.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kProgramIcon));
    main.lpszClassName = kWindowClass;
    if (!Form::RegisterPanelClass(instance) || RegisterClassExW(&main) == 0) {
        return false;
    }

    // The client area is the table's; the frame around it is the system's.
    constexpr DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    constexpr DWORD extended = WS_EX_CONTROLPARENT;
    const SIZE frame = form_.FrameSize(style, extended);
    const std::wstring caption = Widen(main1::kCaption);
    if (CreateWindowExW(extended, kWindowClass, caption.c_str(), style, kPlace.x, kPlace.y,
                        frame.cx, frame.cy, nullptr, nullptr, instance, this) == nullptr) {
        return false;
    }
    KeepOnScreen(window_);
    return true;
}

void MainWindow::Show(int how) const {
    ShowWindow(window_, how);
    UpdateWindow(window_);
}

LRESULT MainWindow::Handle(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
    case WM_CREATE:
        form_.CreateControls(window_);
        menu_ = CreatePopupMenu();
        for (const MenuEntry& entry : kPopupMenu1) {
            AppendMenuW(menu_, MF_STRING, entry.id, ShownText(entry.text).c_str());
        }
        for (const char* name : {"Edit1", "Edit2", "Memo1"}) {
            SetWindowSubclass(form_.Named(name), MenuOfWindow, 0,
                              reinterpret_cast<DWORD_PTR>(window_));
        }
        thousandsSeparator_ = ThousandsSeparator();
        RunOperation([this] { FormCreate(); }); // a failure ends the step; the window still opens
        return 0;
    case WM_SETTINGCHANGE:
        thousandsSeparator_ = ThousandsSeparator();
        return DefWindowProcW(window_, message, w, l);
    case WM_COMMAND:
        if (HIWORD(w) == 0 && l == 0 && (LOWORD(w) == kN1 || LOWORD(w) == kN2)) { // the menu's
            const auto handler = LOWORD(w) == kN1 ? &MainWindow::N1Click : &MainWindow::N2Click;
            RunOperation([this, handler] { (this->*handler)(); });
        } else if (HIWORD(w) == BN_CLICKED) {
            Clicked(form_.RowOfId(LOWORD(w)));
        }
        return 0;
    case WM_CONTEXTMENU:
        PopupMenu1(l);
        return 0;
    case WM_DPICHANGED:
        form_.Rescale(window_, HIWORD(w), *reinterpret_cast<const RECT*>(l));
        return 0;
    case WM_CTLCOLORSTATIC:
        return form_.ColourOf(window_, reinterpret_cast<HDC>(w), reinterpret_cast<HWND>(l));
    case WM_SIZE:
        // The header band follows the width: the panel that spans the whole client area.
        for (const Control& c : main1::kControls) {
            if (c.kind == Kind::Panel && c.parent < 0 && c.place.x == 0 &&
                c.place.width == main1::kClientWidth) {
                SetWindowPos(form_.Named(c.name), nullptr, 0, 0, LOWORD(l),
                             form_.Scale(c.place.height),
                             SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            }
        }
        return 0;
    case WM_CLOSE: // by every route: "終了", the close box, the system menu, Alt+F4
        if (copy_ != nullptr && copy_->passRunning()) {
            // Never end in the middle of a copy: the pass stops after its current file, the
            // message loop running meanwhile, then the window closes for good.
            copy_->StopPass([this] { PostMessageW(window_, WM_CLOSE, 0, 0); });
            return 0;
        }
        if (RunOperation([this] { FormClose(); })) {
            DestroyWindow(window_); // a failed save keeps the window open
        }
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window_, message, w, l);
    }
}

void MainWindow::Clicked(int row) {
    static const std::pair<int, void (MainWindow::*)()> handlers[] = {
        {form_.RowOf("BitBtn1"), &MainWindow::BitBtn1Click},
        {form_.RowOf("BitBtn2"), &MainWindow::BitBtn2Click},
        {form_.RowOf("BitBtn3"), &MainWindow::BitBtn3Click},
        {form_.RowOf("BitBtn4"), &MainWindow::BitBtn4Click},
        {form_.RowOf("BitBtn5"), &MainWindow::BitBtn5Click},
        {form_.RowOf("BitBtn6"), &MainWindow::BitBtn6Click},
    };
    for (const auto& [handlerRow, handler] : handlers) {
        if (row == handlerRow) {
            RunOperation([this, handler] { (this->*handler)(); });
        }
    }
}

void MainWindow::PopupMenu1(LPARAM at) {
    POINT place{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    if (at == -1) { // Shift+F10 or the menu key: by the control that has the keyboard
        HWND focus = GetFocus();
        place = {};
        ClientToScreen(focus != nullptr && IsChild(window_, focus) ? focus : window_, &place);
    }
    TrackPopupMenuEx(menu_, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, place.x, place.y,
                     window_, nullptr);
}

bool MainWindow::RunOperation(const std::function<void()>& operation) const {
    try {
        operation();
        return true;
    } catch (const std::exception& failure) {
        ShowErrorBox(window_, failure.what());
    }
    return false;
}

void MainWindow::FormCreate() {
    std::wstring text1 = WindowText(form_.Named("Edit1"));
    std::wstring text2 = WindowText(form_.Named("Edit2"));
    try {
        LoadFolderSettings(text1, text2);
    } catch (const SettingsError&) {
        SetWindowTextW(form_.Named("Edit1"), text1.c_str()); // a value loaded before the failure
        throw;
    }
    SetWindowTextW(form_.Named("Edit1"), text1.c_str());
    SetWindowTextW(form_.Named("Edit2"), text2.c_str());
    FFolder1 = text1;
    ListColumn(FFolder1, 1);
    FFolder2 = text2;
    ListColumn(FFolder2, 2);
}

void MainWindow::FormClose() {
    SaveFolderSettings(WindowText(form_.Named("Edit1")), WindowText(form_.Named("Edit2")));
}

void MainWindow::BitBtn1Click() {
    const frontend::ExecuteCheck check = frontend::CheckExecute(
        [this](const std::string& folder) { return fs_->directoryExists(folder); },
        PathOf(WindowText(form_.Named("Edit1"))), PathOf(WindowText(form_.Named("Edit2"))));
    if (check != frontend::ExecuteCheck::Ready) {
        MessageBoxW(window_, ShownText(frontend::ExecuteMessage(check)).c_str(),
                    ShownText(texts::kErrorCaption).c_str(), MB_OK | MB_APPLMODAL);
        return;
    }
    copy_->Show();
}

PassInput MainWindow::passInput() const {
    return {PathOf(WindowText(form_.Named("Edit1"))), PathOf(WindowText(form_.Named("Edit2"))),
            lists_[0], lists_[1]};
}

void MainWindow::BitBtn2Click() {
    PickColumn(OpenDialog2, 2);
}

void MainWindow::BitBtn3Click() {
    PostMessageW(window_, WM_CLOSE, 0, 0);
}

void MainWindow::BitBtn4Click() {
    PickColumn(OpenDialog1, 1);
}

void MainWindow::N1Click() {
    if (about_ != nullptr) {
        about_->Show();
    }
}

void MainWindow::N2Click() {
    PostMessageW(window_, WM_CLOSE, 0, 0);
}

void MainWindow::PickColumn(FolderDialog& dialog, int column) {
    const std::optional<std::wstring> picked = dialog.Pick(window_);
    if (!picked) {
        return;
    }
    std::wstring& folder = column == 1 ? FFolder1 : FFolder2;
    folder = *picked;
    SetWindowTextW(form_.Named(column == 1 ? "Edit1" : "Edit2"), folder.c_str());
    ListColumn(folder, column);
}

void MainWindow::BitBtn5Click() {
    FFolder1 = WindowText(form_.Named("Edit1")); // exactly as typed
    ListColumn(FFolder1, 1);
}

void MainWindow::BitBtn6Click() {
    FFolder2 = WindowText(form_.Named("Edit2"));
    ListColumn(FFolder2, 2);
}

void MainWindow::ListColumn(const std::wstring& root, int column) {
    HWND box = form_.Named(column == 1 ? "FileListBox1" : "FileListBox2");
    SendMessageW(box, LB_RESETCONTENT, 0, 0);
    lists_[column - 1].reset();
    auto list = std::make_shared<FileList>(column);
    ColumnSizeLabels labels(form_.Named("LSize1"), form_.Named("LSize2"));
    ListFolder(*fs_, PathOf(root), std::string(), *list, labels, FTotalSize, thousandsSeparator_);
    SendMessageW(box, WM_SETREDRAW, FALSE, 0);
    SendMessageW(box, LB_INITSTORAGE, list->size(), 0);
    for (std::size_t line = 0; line < list->size(); ++line) {
        SendMessageW(box, LB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(ShownText(list->at(line)).c_str()));
    }
    SendMessageW(box, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(box, nullptr, TRUE);
    lists_[column - 1] = std::move(list);
}

} // namespace doplet::win32
