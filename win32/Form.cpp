#include "Form.h"

#include "Controls.h"
#include "Frontend.h"
#include "Utf8.h"

#include <algorithm>
#include <cstring>

namespace doplet::win32 {
namespace {

// A panel: a raised bevel round its client area (or the edges its window data names), its
// children reached by the dialog manager's tab order; what its controls tell it goes on to the
// window.
LRESULT CALLBACK PanelProcedure(HWND panel, UINT message, WPARAM w, LPARAM l) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(panel, &paint);
        RECT client;
        GetClientRect(panel, &client);
        const auto edges = static_cast<UINT>(GetWindowLongPtrW(panel, GWLP_USERDATA));
        DrawEdge(dc, &client, edges != 0 ? edges : BDR_RAISEDINNER, BF_RECT);
        EndPaint(panel, &paint);
        return 0;
    }
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CONTEXTMENU:
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

// The table's font, or the system's user-interface font at the same size where it is missing,
// its height scaled to `dpi`.
HFONT MakeFont(const FontSpec& wanted, UINT dpi) {
    std::wstring family = Widen(wanted.family);
    BYTE charset = SHIFTJIS_CHARSET;
    if (!FontExists(family)) {
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof metrics;
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
        family = metrics.lfMessageFont.lfFaceName;
        charset = DEFAULT_CHARSET;
    }
    return CreateFontW(-MulDiv(wanted.pixels, static_cast<int>(dpi), 96), 0, 0, 0,
                       wanted.bold ? FW_BOLD : FW_NORMAL, wanted.italic, FALSE, FALSE, charset,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, family.c_str());
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
    case Kind::Picture:
        return {SS_ICON | SS_REALSIZECONTROL, 0};
    }
    return {};
}

// A path for the engine: UTF-8, a lone surrogate kept as the engine keeps it in names.
} // namespace

std::string PathOf(std::wstring_view text) {
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

void KeepOnScreen(HWND window) {
    RECT frame;
    GetWindowRect(window, &frame);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& area = monitor.rcWork;
    const frontend::Point place = frontend::FitOnScreen(
        {frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top},
        {area.left, area.top, area.right - area.left, area.bottom - area.top});
    if (place.x != frame.left || place.y != frame.top) {
        SetWindowPos(window, nullptr, place.x, place.y, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

Form::~Form() {
    for (HFONT font : fonts_) {
        DeleteObject(font);
    }
}

bool Form::RegisterPanelClass(HINSTANCE instance) {
    WNDCLASSEXW panel{};
    panel.cbSize = sizeof panel;
    panel.lpfnWndProc = PanelProcedure;
    panel.hInstance = instance;
    panel.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    panel.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    panel.lpszClassName = kPanelClass;
    return RegisterClassExW(&panel) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

SIZE Form::FrameSize(DWORD style, DWORD extended) const {
    RECT frame{0, 0, table_.clientWidth, table_.clientHeight};
    AdjustWindowRectEx(&frame, style, FALSE, extended);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

void Form::CreateControls(HWND window) {
    auto* instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
    dpi_ = std::max(GetDpiForWindow(window), 1U);
    for (int row = 0; row < static_cast<int>(table_.controls.size()); ++row) {
        const Control& c = table_.controls[static_cast<std::size_t>(row)];
        Style style = StyleOf(c.kind);
        for (const auto& [name, added] : added_) {
            style.style |= name == c.name ? added : 0;
        }
        const HWND parent = c.parent < 0 ? window : controls_[static_cast<std::size_t>(c.parent)];
        const std::wstring text = TextOf(c);
        HWND control = CreateWindowExW(
            style.extended, ClassOf(c.kind), text.c_str(), WS_CHILD | WS_VISIBLE | style.style, 0,
            0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstId + row)),
            instance, nullptr);
        controls_.push_back(control);
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(row)), FALSE);
        if (c.kind == Kind::Picture) { // the 32 x 32 picture, stretched by the control
            HANDLE icon =
                LoadImageW(instance, MAKEINTRESOURCEW(kProgramIcon), IMAGE_ICON, 32, 32, LR_SHARED);
            SendMessageW(control, STM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
        }
    }
    PlaceControls();
    // The frame round the client area at the window's dots per inch, its top-left kept.
    RECT frame{0, 0, Scale(table_.clientWidth), Scale(table_.clientHeight)};
    AdjustWindowRectExForDpi(&frame, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)),
                             FALSE, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)),
                             dpi_);
    SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::Rescale(HWND window, UINT dpi, const RECT& suggested) {
    dpi_ = std::max(dpi, 1U);
    std::vector<HFONT> old;
    old.swap(fonts_);
    fontOf_.clear();
    for (int row = 0; row < static_cast<int>(controls_.size()); ++row) {
        SendMessageW(controls_[static_cast<std::size_t>(row)], WM_SETFONT,
                     reinterpret_cast<WPARAM>(FontFor(row)), TRUE);
    }
    for (HFONT font : old) {
        DeleteObject(font);
    }
    PlaceControls();
    SetWindowPos(window, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

// Every control in its place at the window's dots per inch; every label sized to its text.
void Form::PlaceControls() {
    for (std::size_t row = 0; row < controls_.size(); ++row) {
        const Control& c = table_.controls[row];
        SetWindowPos(controls_[row], nullptr, Scale(c.place.x), Scale(c.place.y),
                     Scale(c.place.width), Scale(c.place.height), SWP_NOZORDER | SWP_NOACTIVATE);
        if (c.kind == Kind::Label) {
            FitToText(controls_[row]);
        }
    }
}

void Form::FitToText(HWND label) {
    const std::wstring text = WindowText(label);
    HDC dc = GetDC(label);
    const HGDIOBJ was =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    if (text.empty()) { // an empty label keeps the height of a line
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        size.cy = metrics.tmHeight;
    }
    SelectObject(dc, was);
    ReleaseDC(label, dc);
    SetWindowPos(label, nullptr, 0, 0, size.cx, size.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HFONT Form::FontFor(int row) {
    const FontSpec& wanted = table_.controls[static_cast<std::size_t>(row)].font;
    for (int earlier = 0; earlier < row; ++earlier) {
        if (SameFont(table_.controls[static_cast<std::size_t>(earlier)].font, wanted)) {
            fontOf_.push_back(fontOf_[static_cast<std::size_t>(earlier)]);
            return fonts_[static_cast<std::size_t>(fontOf_.back())];
        }
    }
    fonts_.push_back(MakeFont(wanted, dpi_));
    fontOf_.push_back(static_cast<int>(fonts_.size()) - 1);
    return fonts_.back();
}

int Form::RowOf(std::string_view name) const {
    const auto found = std::ranges::find(table_.controls, name,
                                         [](const Control& c) { return std::string_view(c.name); });
    return found == table_.controls.end() ? -1 : static_cast<int>(found - table_.controls.begin());
}

int Form::RowOfId(int id) const {
    const int row = id - kFirstId;
    return row >= 0 && row < static_cast<int>(controls_.size()) ? row : -1;
}

HWND Form::Named(std::string_view name) const {
    const int row = RowOf(name);
    return row < 0 ? nullptr : controls_[static_cast<std::size_t>(row)];
}

LRESULT Form::ColourOf(HWND window, HDC dc, HWND control) const {
    const int row = RowOfId(GetDlgCtrlID(control));
    if (row < 0 || controls_[static_cast<std::size_t>(row)] != control) {
        return DefWindowProcW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                              reinterpret_cast<LPARAM>(control));
    }
    const Control& c = table_.controls[static_cast<std::size_t>(row)];
    const int background = c.kind == Kind::Memo ? COLOR_INFOBK : COLOR_BTNFACE;
    SetBkColor(dc, GetSysColor(background));
    SetTextColor(dc, c.font.color != kSystemTextColor
                         ? c.font.color
                         : GetSysColor(c.kind == Kind::Memo ? COLOR_INFOTEXT : COLOR_WINDOWTEXT));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(background));
}

} // namespace doplet::win32
