// How long the Win32 window program's interface thread goes unanswered during a pass: stores two
// folders in the registry, starts doplet.exe, presses 実行 and, until the copy window's button
// reads "完了", asks the copy window for nothing (WM_NULL) again and again from this process; the
// longest wait for an answer is the longest stall.
//
//   win32_stall FOLDER1 FOLDER2 DOPLET.EXE
//   DOPLET_BENCH event=win32-pass ms=<Execute to 完了> max_stall_ms=<longest answer> probes=<n>
//                idle_max_ms=<longest answer of the idle main window before, for comparison>
//                over_14ms=<each answer longer than 14 ms: its ms@when, in ms since 実行>

#include "Controls.h"
#include "CopyWinControls.h"
#include "Form.h"
#include "main1Controls.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <windows.h>

namespace {

using namespace doplet::win32;
using Clock = std::chrono::steady_clock;

constexpr wchar_t kKey[] = L"software\\QuillBarrow\\doplet\\main1";
constexpr auto kDeadline = std::chrono::minutes(60);

HWND WaitForWindow(const std::wstring& caption) {
    for (const auto end = Clock::now() + std::chrono::minutes(2); Clock::now() < end; Sleep(20)) {
        if (HWND window = FindWindowW(nullptr, caption.c_str());
            window != nullptr && IsWindowVisible(window) != FALSE) {
            return window;
        }
    }
    return nullptr;
}

HWND ChildWithText(HWND window, const std::wstring& text) {
    struct Search {
        std::wstring text;
        HWND found = nullptr;
    } search{text};
    EnumChildWindows(
        window,
        [](HWND child, LPARAM l) -> BOOL {
            auto* s = reinterpret_cast<Search*>(l);
            wchar_t buffer[64] = {};
            GetWindowTextW(child, buffer, 64);
            if (s->text == buffer) {
                s->found = child;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// The longest answer of `window` to WM_NULL, asked every millisecond until `over` holds; each
// answer longer than 14 ms goes into `slow` as "ms@when", when counted from `since`.
template <typename Over>
Clock::duration LongestAnswer(HWND window, long& probes, Over over, Clock::time_point since = {},
                              std::string* slow = nullptr) {
    Clock::duration longest{};
    do {
        const auto asked = Clock::now();
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 60'000, &ignored);
        const auto answer = Clock::now() - asked;
        longest = std::max(longest, answer);
        if (slow != nullptr && answer > std::chrono::milliseconds(14)) {
            char entry[48];
            std::snprintf(entry, sizeof entry, "%s%.0f@%.0f", slow->empty() ? "" : ",", Ms(answer),
                          Ms(asked - since));
            *slow += entry;
        }
        ++probes;
        Sleep(1);
    } while (!over());
    return longest;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: win32_stall FOLDER1 FOLDER2 DOPLET.EXE\n");
        return 2;
    }
    for (int n = 1; n <= 2; ++n) {
        const std::wstring folder = argv[n];
        const std::wstring name = L"CODE" + std::to_wstring(n);
        RegSetKeyValueW(HKEY_CURRENT_USER, kKey, name.c_str(), REG_SZ, folder.c_str(),
                        static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
    }
    std::wstring command = L"\"" + std::wstring(argv[3]) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process) == FALSE) {
        std::fprintf(stderr, "win32_stall: cannot start the program\n");
        return 1;
    }
    HWND main = WaitForWindow(Widen(main1::kCaption));
    HWND execute = main == nullptr ? nullptr : ChildWithText(main, L"実行");
    if (execute == nullptr) {
        std::fprintf(stderr, "win32_stall: no main window with 実行\n");
        TerminateProcess(process.hProcess, 1);
        return 1;
    }
    // What answering costs here at all (the messages cross processes through the Wine server):
    // the idle main window for two seconds.
    long idleProbes = 0;
    const auto idleEnd = Clock::now() + std::chrono::seconds(2);
    const Clock::duration idle =
        LongestAnswer(main, idleProbes, [&] { return Clock::now() >= idleEnd; });
    const auto start = Clock::now();
    PostMessageW(execute, BM_CLICK, 0, 0);
    HWND copy = WaitForWindow(Widen(CopyWin::kCaption));
    HWND button = copy == nullptr ? nullptr : GetDlgItem(copy, Form::kFirstId); // BitBtn1: row 0
    long probes = 0;
    bool done = false;
    std::string slow;
    const Clock::duration longest =
        button == nullptr
            ? Clock::duration{}
            : LongestAnswer(
                  copy, probes,
                  [&] {
                      wchar_t caption[16] = {};
                      GetWindowTextW(button, caption,
                                     16); // of another process: the text the system keeps
                      done = std::wstring(caption) == L"完了";
                      return done || Clock::now() - start >= kDeadline;
                  },
                  start, &slow);
    const auto took = Clock::now() - start;
    PostMessageW(main, WM_CLOSE, 0, 0);
    WaitForSingleObject(process.hProcess, 60'000);
    if (!done) {
        std::fprintf(stderr, "win32_stall: the pass did not complete\n");
        return 1;
    }
    std::printf("DOPLET_BENCH event=win32-pass ms=%.3f max_stall_ms=%.3f probes=%ld "
                "idle_max_ms=%.3f over_14ms=%s\n",
                Ms(took), Ms(longest), probes, Ms(idle), slow.empty() ? "none" : slow.c_str());
    return 0;
}
