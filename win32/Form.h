#pragma once

// A window built from a control table: its controls in the table's order (so the dialog
// manager tabs through them as the .ui file says), the table's fonts (or the system's Japanese
// user-interface font where one is missing) and colours. Each window of the program owns one.
// The table's pixels are at 96 dots per inch: every place, size and font height is scaled to the
// window's, and scaled again when the window moves to a screen of another.

#include "ControlTable.h"

#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>
#include <windows.h>

namespace doplet::win32 {

struct FormTable {
    const char8_t* caption;
    int clientWidth, clientHeight;
    std::span<const Control> controls;
};

// The table generated for `space` (doplet::win32::<space>), as a FormTable.
#define DOPLET_FORM_TABLE(space)                                                                   \
    ::doplet::win32::FormTable {                                                                   \
        space::kCaption, space::kClientWidth, space::kClientHeight, space::kControls               \
    }

// The program's icon in its resources (doplet.rc).
inline constexpr int kProgramIcon = 1;

class Form {
public:
    static constexpr int kFirstId = 100; // control id of the table's first row

    explicit Form(const FormTable& table) : table_(table) {}
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;
    Form(Form&&) = delete;
    Form& operator=(Form&&) = delete;
    ~Form();

    // Registers the panel class once per program.
    static bool RegisterPanelClass(HINSTANCE instance);
    // The outer size of a frame of this style round the table's client area, at 96 dots per inch.
    [[nodiscard]] SIZE FrameSize(DWORD style, DWORD extended) const;

    // Creates every control of the table in `window`, visible, with its font, at the window's
    // dots per inch, and sizes the window's frame round the table's client area at them.
    void CreateControls(HWND window);
    // WM_DPICHANGED: every control and font scaled to `dpi`, the window put in `suggested`.
    void Rescale(HWND window, UINT dpi, const RECT& suggested);
    // Pixels at 96 dots per inch in the window's.
    [[nodiscard]] int Scale(int pixels) const { return MulDiv(pixels, static_cast<int>(dpi_), 96); }
    // A label's size made that of its text in its font.
    static void FitToText(HWND label);
    // Styles the named control gets beyond its kind's, given before CreateControls.
    void AddStyle(std::string_view name, DWORD style) { added_.emplace_back(name, style); }
    [[nodiscard]] const FormTable& table() const { return table_; }
    [[nodiscard]] HWND Named(std::string_view name) const;
    // The row of the table with this name, or -1.
    [[nodiscard]] int RowOf(std::string_view name) const;
    // The row whose control sent a WM_COMMAND with this id, or -1.
    [[nodiscard]] int RowOfId(int id) const;
    // The answer to WM_CTLCOLORSTATIC: the row's text colour on the window's (or a memo's tooltip)
    // background.
    LRESULT ColourOf(HWND window, HDC dc, HWND control) const;

private:
    HFONT FontFor(int row);
    void PlaceControls();

    FormTable table_;
    UINT dpi_ = 96;
    std::vector<HWND> controls_; // by row of the table
    std::vector<HFONT> fonts_;   // the distinct fonts, deleted with the form
    std::vector<int> fontOf_;    // by row: index into fonts_
    std::vector<std::pair<std::string_view, DWORD>> added_;
};

// The window procedure of a window class whose windows are created with their C++ object as the
// creation parameter: the object learns its window at WM_NCCREATE, then handles every message.
template <typename Window>
LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    return self != nullptr ? self->Handle(message, w, l) : DefWindowProcW(window, message, w, l);
}

// A path for the engine: UTF-8, a lone surrogate kept as the engine keeps it in names.
std::string PathOf(std::wstring_view text);
// A line from the engine to show: what is not UTF-8 is shown replaced, never dropped.
std::wstring ShownText(std::string_view line);
std::wstring WindowText(HWND control);
// Moves a top-level window by the least amount that brings its frame onto the work area of its
// screen (a frame larger than the area is put at its start, so that the caption stays reachable).
void KeepOnScreen(HWND window);

} // namespace doplet::win32
