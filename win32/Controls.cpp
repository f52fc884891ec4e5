#include "Controls.h"

#include <windows.h>

namespace doplet::win32 {

const wchar_t* ClassOf(Kind kind) {
    switch (kind) {
    case Kind::Panel:
        return kPanelClass;
    case Kind::Button:
        return L"Button";
    case Kind::Edit:
    case Kind::Memo:
        return L"Edit";
    case Kind::ListBox:
        return L"ListBox";
    case Kind::Label:
    case Kind::Picture:
        return L"Static";
    }
    return L"Static";
}

std::wstring Widen(std::u8string_view text) {
    if (text.empty()) {
        return {};
    }
    const auto* bytes = reinterpret_cast<const char*>(text.data());
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, size, wide.data(), length);
    return wide;
}

std::string Narrow(std::wstring_view text) {
    const int size = static_cast<int>(text.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, bytes.data(), length, nullptr, nullptr);
    return bytes;
}

std::wstring TextOf(const Control& control) {
    const std::wstring text = Widen(control.text);
    if (control.kind != Kind::Memo) {
        return text;
    }
    std::wstring lines;
    for (const wchar_t c : text) {
        if (c == L'\n') {
            lines += L'\r';
        }
        lines += c;
    }
    return lines;
}

} // namespace doplet::win32
