#include "MainWindow.h"

#include "Controls.h"
#include "Frontend.h"
#include "RegistrySettings.h"
#include "Texts.h"
#include "Utf8.h"
#include "main1Controls.h"

#include <cstring>
#include <exception>
#include <string>
#include <utility>

namespace doplet::win32 {
namespace {

using main1::kControls;

constexpr wchar_t kWindowClass[] = L"DopletMain1";
constexpr POINT kPlace{344, 133}; // of the frame, on the screen
constexpr int kFirstId = 100;     // control id of the table's first row

int RowOf(const char* name) {
    for (int row = 0; row < static_cast<int>(std::size(kControls)); ++row) {
        if (std::strcmp(kControls[row].name, name) == 0) {
            return row;
        }
    }
    return -1;
}

// A panel: a raised bevel round its client area, its children reached by the dialog manager's
// tab order; what its controls tell it goes on to the window.
LRESULT CALLBACK PanelProcedure(HWND panel, UINT message, WPARAM w, LPARAM l) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(panel, &paint);
        RECT client;
        GetClientRect(panel, &client);
        DrawEdge(dc, &client, BDR_RAISEDINNER, BF_RECT);
        EndPaint(panel, &paint);
        return 0;
    }
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
        return SendMessageW(GetParent(panel), message, w, l);
    default:
        return DefWindowProcW(panel, message, w, l);
    }
}

bool FontExists(const std::wstring& family) {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    family.copy(wanted.lfFaceName, LF_FACESIZE - 1);
    bool found = false;
    HDC dc = GetDC(nullptr);
    EnumFontFamiliesExW(
        dc, &wanted,
        [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) -> int {
            *reinterpret_cast<bool*>(found) = true;
            return 0;
        },
        reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, dc);
    return found;
}

// The table's font, or the system's user-interface font at the same size where it is missing.
HFONT MakeFont(const FontSpec& wanted) {
    std::wstring family = Widen(wanted.family);
    BYTE charset = SHIFTJIS_CHARSET;
    if (!FontExists(family)) {
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof metrics;
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
        family = metrics.lfMessageFont.lfFaceName;
        charset = DEFAULT_CHARSET;
    }
    return CreateFontW(-wanted.pixels, 0, 0, 0, wanted.bold ? FW_BOLD : FW_NORMAL, wanted.italic,
                       FALSE, FALSE, charset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, family.c_str());
}

bool SameFont(const FontSpec& a, const FontSpec& b) {
    return std::u8string_view(a.family) == b.family && a.pixels == b.pixels && a.bold == b.bold &&
           a.italic == b.italic;
}

struct Style {
    DWORD style, extended;
};

Style StyleOf(Kind kind) {
    switch (kind) {
    case Kind::Panel:
        return {0, WS_EX_CONTROLPARENT};
    case Kind::Button:
        return {WS_TABSTOP | BS_PUSHBUTTON, 0};
    case Kind::Edit:
        return {WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    case Kind::ListBox:
        return {WS_TABSTOP | WS_VSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY, WS_EX_CLIENTEDGE};
    case Kind::Label:
        return {SS_LEFT | SS_NOPREFIX, 0};
    case Kind::Memo:
        return {WS_TABSTOP | ES_MULTILINE | ES_READONLY, WS_EX_CLIENTEDGE};
    }
    return {};
}

// A path for the engine: UTF-8, a lone surrogate kept as the engine keeps it in names.
std::string PathOf(const std::wstring& text) {
    std::string path;
    AppendUtf16AsUtf8(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()), &path);
    return path;
}

// A line from the engine to show: what is not UTF-8 is shown replaced, never dropped.
std::wstring ShownText(std::string_view line) {
    std::u16string wide;
    if (Utf8ToUtf16(line, &wide)) {
        return {wide.begin(), wide.end()};
    }
    const int size = static_cast<int>(line.size());
    std::wstring shown(static_cast<std::size_t>(size), L'\0');
    shown.resize(static_cast<std::size_t>(
        MultiByteToWideChar(CP_UTF8, 0, line.data(), size, shown.data(), size)));
    return shown;
}

std::wstring WindowText(HWND control) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

// The user's thousands separator; a comma where the locale has none.
std::string ThousandsSeparator() {
    wchar_t separator[8] = {};
    if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STHOUSAND, separator, 8) <= 1) {
        return ",";
    }
    return Narrow(separator);
}

// The program's error box: its title as caption, the error icon, OK, the message with its
// full stop.
void ShowErrorBox(HWND owner, const std::string& message) {
    std::wstring file(MAX_PATH, L'\0');
    file.resize(GetModuleFileNameW(nullptr, file.data(), static_cast<DWORD>(file.size())));
    const std::wstring caption = ShownText(frontend::ProgramTitle(PathOf(file)));
    MessageBoxW(owner, ShownText(frontend::WithFullStop(message)).c_str(), caption.c_str(),
                MB_OK | MB_ICONERROR | MB_APPLMODAL);
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
        const std::wstring text = ShownText(caption);
        SetWindowTextW(target, text.c_str());
        HDC dc = GetDC(target);
        const HGDIOBJ was =
            SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(target, WM_GETFONT, 0, 0)));
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        SelectObject(dc, was);
        ReleaseDC(target, dc);
        SetWindowPos(target, nullptr, 0, 0, size.cx, size.cy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

private:
    HWND labels_[2];
};

} // namespace

bool MainWindow::Create(HINSTANCE instance) {
    WNDCLASSEXW panel{};
    panel.cbSize = sizeof panel;
    panel.lpfnWndProc = PanelProcedure;
    panel.hInstance = instance;
    panel.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    panel.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    panel.lpszClassName = kPanelClass;

    WNDCLASSEXW main{panel};
    main.lpfnWndProc = Procedure;
    main.hIcon = LoadIconW(nullptr, IDI_APPLICATION); // the program's icon comes with its resources
    main.lpszClassName = kWindowClass;
    if (RegisterClassExW(&panel) == 0 || RegisterClassExW(&main) == 0) {
        return false;
    }

    // The client area is the table's; the frame around it is the system's.
    constexpr DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    constexpr DWORD extended = WS_EX_CONTROLPARENT;
    RECT frame{0, 0, main1::kClientWidth, main1::kClientHeight};
    AdjustWindowRectEx(&frame, style, FALSE, extended);
    const std::wstring caption = Widen(main1::kCaption);
    return CreateWindowExW(extended, kWindowClass, caption.c_str(), style, kPlace.x, kPlace.y,
                           frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                           instance, this) != nullptr;
}

void MainWindow::Show(int how) const {
    ShowWindow(window_, how);
    UpdateWindow(window_);
}

bool MainWindow::TranslateDialogKey(MSG& message) const {
    return IsDialogMessageW(window_, &message) != FALSE;
}

LRESULT CALLBACK MainWindow::Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    return self != nullptr ? self->Handle(message, w, l) : DefWindowProcW(window, message, w, l);
}

LRESULT MainWindow::Handle(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
    case WM_CREATE:
        CreateControls();
        thousandsSeparator_ = ThousandsSeparator();
        RunOperation([this] { FormCreate(); }); // a failure ends the step; the window still opens
        return 0;
    case WM_SETTINGCHANGE:
        thousandsSeparator_ = ThousandsSeparator();
        return DefWindowProcW(window_, message, w, l);
    case WM_COMMAND:
        if (HIWORD(w) == BN_CLICKED) {
            Clicked(LOWORD(w) - kFirstId);
        }
        return 0;
    case WM_CTLCOLORSTATIC:
        return ColourOf(reinterpret_cast<HDC>(w), reinterpret_cast<HWND>(l));
    case WM_SIZE:
        // The header band follows the width: the panel that spans the whole client area.
        for (int row = 0; row < static_cast<int>(controls_.size()); ++row) {
            const Control& c = kControls[row];
            if (c.kind == Kind::Panel && c.parent < 0 && c.place.x == 0 &&
                c.place.width == main1::kClientWidth) {
                SetWindowPos(controls_[row], nullptr, 0, 0, LOWORD(l), c.place.height,
                             SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            }
        }
        return 0;
    case WM_CLOSE: // by every route: "終了", the close box, the system menu, Alt+F4
        if (RunOperation([this] { FormClose(); })) {
            DestroyWindow(window_); // a failed save keeps the window open
        }
        return 0;
    case WM_DESTROY:
        for (HFONT font : fonts_) {
            DeleteObject(font); // a shared font is deleted once: the rest fail harmlessly
        }
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window_, message, w, l);
    }
}

void MainWindow::CreateControls() {
    auto* instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window_, GWLP_HINSTANCE));
    for (int row = 0; row < static_cast<int>(std::size(kControls)); ++row) {
        const Control& c = kControls[row];
        const Style style = StyleOf(c.kind);
        const HWND parent = c.parent < 0 ? window_ : controls_[c.parent];
        const std::wstring text = TextOf(c);
        HWND control = CreateWindowExW(
            style.extended, ClassOf(c.kind), text.c_str(), WS_CHILD | WS_VISIBLE | style.style,
            c.place.x, c.place.y, c.place.width, c.place.height, parent,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstId + row)), instance, nullptr);
        controls_.push_back(control);
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(row)), FALSE);
    }
}

HFONT MainWindow::FontFor(int row) {
    for (int earlier = 0; earlier < row; ++earlier) {
        if (SameFont(kControls[earlier].font, kControls[row].font)) {
            fonts_.push_back(fonts_[earlier]);
            return fonts_.back();
        }
    }
    fonts_.push_back(MakeFont(kControls[row].font));
    return fonts_.back();
}

void MainWindow::Clicked(int row) {
    // To come: the select buttons (BitBtn4, BitBtn2) pick a folder.
    static const std::pair<int, void (MainWindow::*)()> handlers[] = {
        {RowOf("BitBtn1"), &MainWindow::BitBtn1Click},
        {RowOf("BitBtn3"), &MainWindow::BitBtn3Click},
        {RowOf("BitBtn5"), &MainWindow::BitBtn5Click},
        {RowOf("BitBtn6"), &MainWindow::BitBtn6Click},
    };
    for (const auto& [handlerRow, handler] : handlers) {
        if (row == handlerRow) {
            RunOperation([this, handler] { (this->*handler)(); });
        }
    }
}

HWND MainWindow::Named(const char* name) const {
    return controls_[static_cast<std::size_t>(RowOf(name))];
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
    std::wstring text1 = WindowText(Named("Edit1"));
    std::wstring text2 = WindowText(Named("Edit2"));
    try {
        LoadFolderSettings(text1, text2);
    } catch (const SettingsError&) {
        SetWindowTextW(Named("Edit1"), text1.c_str()); // a value loaded before the failure
        throw;
    }
    SetWindowTextW(Named("Edit1"), text1.c_str());
    SetWindowTextW(Named("Edit2"), text2.c_str());
    FFolder1 = text1;
    ListColumn(FFolder1, 1);
    FFolder2 = text2;
    ListColumn(FFolder2, 2);
}

void MainWindow::FormClose() {
    SaveFolderSettings(WindowText(Named("Edit1")), WindowText(Named("Edit2")));
}

void MainWindow::BitBtn1Click() {
    const frontend::ExecuteCheck check = frontend::CheckExecute(
        [this](const std::string& folder) { return fs_->directoryExists(folder); },
        PathOf(WindowText(Named("Edit1"))), PathOf(WindowText(Named("Edit2"))));
    if (check != frontend::ExecuteCheck::Ready) {
        MessageBoxW(window_, ShownText(frontend::ExecuteMessage(check)).c_str(),
                    ShownText(texts::kErrorCaption).c_str(), MB_OK | MB_APPLMODAL);
        return;
    }
    // To come: both folders are valid, so the copy window shows and starts a pass on lists_.
}

void MainWindow::BitBtn3Click() {
    PostMessageW(window_, WM_CLOSE, 0, 0);
}

void MainWindow::BitBtn5Click() {
    FFolder1 = WindowText(Named("Edit1")); // exactly as typed
    ListColumn(FFolder1, 1);
}

void MainWindow::BitBtn6Click() {
    FFolder2 = WindowText(Named("Edit2"));
    ListColumn(FFolder2, 2);
}

void MainWindow::ListColumn(const std::wstring& root, int column) {
    HWND box = Named(column == 1 ? "FileListBox1" : "FileListBox2");
    SendMessageW(box, LB_RESETCONTENT, 0, 0);
    lists_[column - 1].reset();
    auto list = std::make_shared<FileList>(column);
    ColumnSizeLabels labels(Named("LSize1"), Named("LSize2"));
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

LRESULT MainWindow::ColourOf(HDC dc, HWND control) {
    const int row = GetDlgCtrlID(control) - kFirstId;
    if (row < 0 || row >= static_cast<int>(controls_.size())) {
        return DefWindowProcW(window_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                              reinterpret_cast<LPARAM>(control));
    }
    const Control& c = kControls[row];
    const int background = c.kind == Kind::Memo ? COLOR_INFOBK : COLOR_BTNFACE;
    SetBkColor(dc, GetSysColor(background));
    SetTextColor(dc, c.font.color != kSystemTextColor
                         ? c.font.color
                         : GetSysColor(c.kind == Kind::Memo ? COLOR_INFOTEXT : COLOR_WINDOWTEXT));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(background));
}

} // namespace doplet::win32
