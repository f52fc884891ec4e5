#include "Form.h"

#include "Controls.h"
#include "Utf8.h"

#include <algorithm>
#include <cstring>

namespace doplet::win32 {
namespace {

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
    for (int row = 0; row < static_cast<int>(table_.controls.size()); ++row) {
        const Control& c = table_.controls[static_cast<std::size_t>(row)];
        Style style = StyleOf(c.kind);
        for (const auto& [name, added] : added_) {
            style.style |= name == c.name ? added : 0;
        }
        const HWND parent = c.parent < 0 ? window : controls_[static_cast<std::size_t>(c.parent)];
        const std::wstring text = TextOf(c);
        HWND control = CreateWindowExW(
            style.extended, ClassOf(c.kind), text.c_str(), WS_CHILD | WS_VISIBLE | style.style,
            c.place.x, c.place.y, c.place.width, c.place.height, parent,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstId + row)), instance, nullptr);
        controls_.push_back(control);
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(row)), FALSE);
    }
}

HFONT Form::FontFor(int row) {
    const FontSpec& wanted = table_.controls[static_cast<std::size_t>(row)].font;
    for (int earlier = 0; earlier < row; ++earlier) {
        if (SameFont(table_.controls[static_cast<std::size_t>(earlier)].font, wanted)) {
            fontOf_.push_back(fontOf_[static_cast<std::size_t>(earlier)]);
            return fonts_[static_cast<std::size_t>(fontOf_.back())];
        }
    }
    fonts_.push_back(MakeFont(wanted));
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
