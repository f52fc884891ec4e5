#include "AboutWindow.h"

#include "Controls.h"
#include "Texts.h"
#include "version1Controls.h"

#include <algorithm>

namespace doplet::win32 {
namespace {

constexpr wchar_t kWindowClass[] = L"DopletVersion1";
// A dialog frame of fixed size without minimise or maximise buttons or a caption icon.
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExtended = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

} // namespace

AboutWindow::AboutWindow() : form_(DOPLET_FORM_TABLE(version1)) {}

bool AboutWindow::Create(HINSTANCE instance, HWND owner) {
    WNDCLASSEXW about{};
    about.cbSize = sizeof about;
    about.lpfnWndProc = WindowProcedure<AboutWindow>;
    about.hInstance = instance;
    about.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    about.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    about.lpszClassName = kWindowClass;
    if (!Form::RegisterPanelClass(instance) || RegisterClassExW(&about) == 0) {
        return false;
    }
    const SIZE frame = form_.FrameSize(kStyle, kExtended);
    const std::wstring caption = Widen(version1::kCaption);
    return CreateWindowExW(kExtended, kWindowClass, caption.c_str(), kStyle, 0, 0, frame.cx,
                           frame.cy, owner, nullptr, instance, this) != nullptr;
}

void AboutWindow::Show() {
    if (!placed_) {
        placed_ = true;
        RECT frame;
        GetWindowRect(window_, &frame);
        const LONG width = GetSystemMetrics(SM_CXSCREEN) - (frame.right - frame.left);
        const LONG height = GetSystemMetrics(SM_CYSCREEN) - (frame.bottom - frame.top);
        SetWindowPos(window_, nullptr, std::max(0L, width / 2), std::max(0L, height / 2), 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        KeepOnScreen(window_);
    }
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
    SetFocus(form_.Named("OKButton"));
}

LRESULT AboutWindow::Handle(UINT message, WPARAM w, LPARAM l) {
    const int ok = Form::kFirstId + form_.RowOf("OKButton");
    switch (message) {
    case WM_CREATE: {
        form_.CreateControls(window_);
        // A raised inner bevel inside a lowered outer one.
        SetWindowLongPtrW(form_.Named("Panel1"), GWLP_USERDATA, BDR_SUNKENOUTER | BDR_RAISEDINNER);
        const std::pair<const char*, std::string_view> contact[] = {
            {"Label1", texts::kContactMail},
            {"Label2", texts::kContactWeb},
            {"Label3", texts::kContactWeb2},
        };
        for (const auto& [name, text] : contact) {
            SetWindowTextW(form_.Named(name), ShownText(text).c_str());
            Form::FitToText(form_.Named(name));
        }
        SendMessageW(form_.Named("OKButton"), BM_SETSTYLE, BS_DEFPUSHBUTTON, FALSE);
        return 0;
    }
    case DM_GETDEFID: // OK is the default button: Enter anywhere in the window presses it
        return MAKELRESULT(ok, DC_HASDEFID);
    case WM_COMMAND:
        if (LOWORD(w) == ok || LOWORD(w) == IDOK) {
            OKButtonClick();
        }
        return 0; // IDCANCEL (Escape) does nothing: the window has no cancel button
    case WM_CTLCOLORSTATIC:
        return form_.ColourOf(window_, reinterpret_cast<HDC>(w), reinterpret_cast<HWND>(l));
    case WM_DPICHANGED:
        form_.Rescale(window_, HIWORD(w), *reinterpret_cast<const RECT*>(l));
        return 0;
    case WM_CLOSE: // the close box, the system menu, Alt+F4: hidden, where it is
        OKButtonClick();
        return 0;
    default:
        return DefWindowProcW(window_, message, w, l);
    }
}

void AboutWindow::OKButtonClick() {
    ShowWindow(window_, SW_HIDE);
}

} // namespace doplet::win32
