// Starts doplet.exe, finds its main window by caption and checks every control against the
// table generated from main1.ui (class, text, parent, place, tab order); then "終了" must end the
// program with exit code 0. Prints one line per failure, naming the control.
//   test_win32_main1 PATH-TO-doplet.exe

#include "Controls.h"
#include "Main1Controls.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>
#include <windows.h>

namespace {

using namespace doplet::win32;
using main1::kControls;

constexpr DWORD kDeadlineMs = 60'000; // a loaded machine under Wine; the test fails after that
constexpr UINT kSendTimeoutMs = 10'000;

int failures = 0;

void Fail(const char* name, const char* what, const std::wstring& got, const std::wstring& want) {
    ++failures;
    std::printf("FAIL %s: %s is \"%s\", expected \"%s\"\n", name, what, Narrow(got).c_str(),
                Narrow(want).c_str());
}

// The control's text, asked again until its program answers: under a loaded Wine the program may
// not answer for seconds, and an unanswered question must not read as an empty text.
std::wstring Text(HWND control) {
    const ULONGLONG end = GetTickCount64() + kDeadlineMs;
    do {
        DWORD_PTR length = 0;
        if (SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kSendTimeoutMs,
                                &length) == 0) {
            continue;
        }
        std::wstring text(length + 1, L'\0');
        DWORD_PTR copied = 0;
        if (SendMessageTimeoutW(control, WM_GETTEXT, text.size(),
                                reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL, kSendTimeoutMs,
                                &copied) != 0) {
            text.resize(copied);
            return text;
        }
    } while (GetTickCount64() < end);
    return L"(no answer)";
}

std::wstring ClassName(HWND control) {
    wchar_t name[64] = {};
    GetClassNameW(control, name, 64);
    return name;
}

std::wstring PlaceText(int x, int y, int width, int height) {
    return std::to_wstring(x) + L"," + std::to_wstring(y) + L" " + std::to_wstring(width) + L"x" +
           std::to_wstring(height);
}

// The main window once it is shown, or nullptr when the deadline passes or the program ends.
HWND WaitForWindow(HANDLE process, const std::wstring& caption) {
    const ULONGLONG end = GetTickCount64() + kDeadlineMs;
    while (GetTickCount64() < end) {
        HWND window = FindWindowW(nullptr, caption.c_str());
        if (window != nullptr && IsWindowVisible(window)) {
            return window;
        }
        if (WaitForSingleObject(process, 20) == WAIT_OBJECT_0) {
            return nullptr;
        }
    }
    return nullptr;
}

void CheckControls(HWND window, const std::vector<HWND>& found) {
    // Depth first in creation order, as the table lists them.
    if (found.size() != std::size(kControls)) {
        Fail("window", "number of controls", std::to_wstring(found.size()),
             std::to_wstring(std::size(kControls)));
        return;
    }
    for (std::size_t row = 0; row < found.size(); ++row) {
        const Control& c = kControls[row];
        HWND control = found[row];
        if (_wcsicmp(ClassName(control).c_str(), ClassOf(c.kind)) != 0) {
            Fail(c.name, "class", ClassName(control), ClassOf(c.kind));
        }
        if (Text(control) != TextOf(c)) {
            Fail(c.name, "text", Text(control), TextOf(c));
        }
        HWND parent = c.parent < 0 ? window : found[static_cast<std::size_t>(c.parent)];
        if (GetParent(control) != parent) {
            Fail(c.name, "parent", L"another window", c.parent < 0 ? L"the window" : L"its panel");
        }
        RECT r;
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
        const std::wstring got = PlaceText(r.left, r.top, r.right - r.left, r.bottom - r.top);
        const std::wstring want = PlaceText(c.place.x, c.place.y, c.place.width, c.place.height);
        if (got != want) {
            Fail(c.name, "place in the parent", got, want);
        }
    }
}

// The dialog manager's tab order must be the table's.
void CheckTabOrder(HWND window, const std::vector<HWND>& found) {
    HWND at = GetNextDlgTabItem(window, nullptr, FALSE);
    for (int tab = 0;; ++tab) {
        const auto* row = std::ranges::find(kControls, tab, &Control::tab);
        if (row == std::end(kControls)) {
            return;
        }
        if (at != found[static_cast<std::size_t>(row - std::begin(kControls))]) {
            Fail(row->name, "tab stop", L"another control's", L"its own");
        }
        at = GetNextDlgTabItem(window, at, FALSE);
    }
}

HWND ByText(const std::vector<HWND>& found, const std::wstring& text) {
    const auto it = std::ranges::find_if(found, [&](HWND c) { return Text(c) == text; });
    return it == found.end() ? nullptr : *it;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::printf("usage: test_win32_main1 PATH-TO-doplet.exe\n");
        return 2;
    }
    std::wstring command = L"\"" + std::wstring(argv[1]) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION program{};
    if (!CreateProcessW(argv[1], command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &program)) {
        std::printf("FAIL cannot start %s: error %lu\n", Narrow(argv[1]).c_str(), GetLastError());
        return 1;
    }
    CloseHandle(program.hThread);

    const std::wstring caption = Widen(main1::kCaption);
    HWND window = WaitForWindow(program.hProcess, caption);
    if (window == nullptr) {
        DWORD code = 0;
        GetExitCodeProcess(program.hProcess, &code);
        std::printf("FAIL no visible window \"%s\" within %lu ms (exit code %lu)\n",
                    Narrow(caption).c_str(), kDeadlineMs, code);
        TerminateProcess(program.hProcess, 99);
        return 1;
    }
    RECT client;
    GetClientRect(window, &client);
    if (client.right != main1::kClientWidth || client.bottom != main1::kClientHeight) {
        Fail("window", "client size", PlaceText(0, 0, client.right, client.bottom),
             PlaceText(0, 0, main1::kClientWidth, main1::kClientHeight));
    }
    std::vector<HWND> found;
    EnumChildWindows(
        window,
        [](HWND child, LPARAM list) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    CheckControls(window, found);
    CheckTabOrder(window, found);

    const std::wstring exitText = L"終了";
    const std::string exitName = Narrow(exitText);
    HWND exit = ByText(found, exitText);
    if (exit == nullptr) {
        std::printf("FAIL no control reads \"%s\"\n", exitName.c_str());
        TerminateProcess(program.hProcess, 99);
        return 1;
    }
    SendMessageTimeoutW(exit, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, nullptr);
    DWORD code = 99;
    if (WaitForSingleObject(program.hProcess, kDeadlineMs) != WAIT_OBJECT_0) {
        std::printf("FAIL the program still runs %lu ms after \"%s\"\n", kDeadlineMs,
                    exitName.c_str());
        TerminateProcess(program.hProcess, 99);
    } else if (GetExitCodeProcess(program.hProcess, &code) && code != 0) {
        std::printf("FAIL the program ended with exit code %lu after \"%s\"\n", code,
                    exitName.c_str());
    }
    CloseHandle(program.hProcess);
    if (code != 0) {
        ++failures;
    }
    std::printf("%s: %zu controls checked\n", failures == 0 ? "PASS" : "FAIL", found.size());
    return failures == 0 ? 0 : 1;
}
