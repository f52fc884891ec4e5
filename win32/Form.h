#pragma once

// A window built from a control table: its controls in the table's order (so the dialog
// manager tabs through them as the .ui file says), the table's fonts (or the system's Japanese
// user-interface font where one is missing) and colours. Each window of the program owns one.

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
    // The outer size of a frame of this style round the table's client area.
    [[nodiscard]] SIZE FrameSize(DWORD style, DWORD extended) const;

    // Creates every control of the table in `window`, visible, with its font.
    void CreateControls(HWND window);
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

    FormTable table_;
    std::vector<HWND> controls_; // by row of the table
    std::vector<HFONT> fonts_;   // the distinct fonts, deleted with the form
    std::vector<int> fontOf_;    // by row: index into fonts_
    std::vector<std::pair<std::string_view, DWORD>> added_;
};

// A path for the engine: UTF-8, a lone surrogate kept as the engine keeps it in names.
std::string PathOf(std::wstring_view text);
// A line from the engine to show: what is not UTF-8 is shown replaced, never dropped.
std::wstring ShownText(std::string_view line);
std::wstring WindowText(HWND control);

} // namespace doplet::win32
