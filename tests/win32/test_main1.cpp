// Starts doplet.exe and drives its main window by its controls, one scenario per run:
//   controls  every control against the table generated from main1.ui (class, text, parent,
//             place, tab order)
//   registry  the folders stored in the registry are listed, with their size labels
//   save      closing stores the box texts as typed
//   datatype  a stored value that is no string is reported, and the window still opens
//   execute   Execute with an invalid folder 1 names it
//   about     "情報" in the context menu shows the about window centred with its controls; Enter
//             hides it; shown again, it is where it was moved to
//   picker    the folder-1 dialog by its title, placed; cancel changes nothing; a name typed in a
//             folder picks that folder and lists it
//   dpi       the controls scenario at 144 dots per inch (Wine's LogPixels), every place scaled
//   pass      Execute runs a pass: its lines show in the copy window in order, its files land,
//             the button turns to "完了" and hides the window
//   abort     中止 asks "確認" with every window disabled and the pass held; Cancel lets it go on
//             to "完了" with every file copied once (exit code 77, skipped, when the pass ends
//             before it can be asked)
// Each ends with "終了", which must end the program with exit code 0. Prints one line per
// failure.    test_win32_main1 SCENARIO PATH-TO-doplet.exe

#include "Controls.h"
#include "CopyWinControls.h"
#include "Frontend.h"
#include "Texts.h"
#include "main1Controls.h"
#include "version1Controls.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <span>
#include <string>
#include <vector>
#include <windows.h>

namespace {

using namespace doplet::win32;
using main1::kControls;

constexpr DWORD kDeadlineMs = 60'000; // a loaded machine under Wine; the test fails after that
constexpr UINT kSendTimeoutMs = 10'000;
constexpr int kSkipped = 77;                         // CTest's SKIP_RETURN_CODE
constexpr int kNameCombo = 0x47C, kNameEdit = 0x480; // cmb13, edt1: a file dialog's name box

int failures = 0;
int dpi = 96; // at which the program's windows are expected

constexpr wchar_t kDesktop[] = L"Control Panel\\Desktop"; // where Wine reads LogPixels

int Scaled(int pixels) {
    return MulDiv(pixels, dpi, 96);
}

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

// True once `done` is, false when the deadline passes or the program ends first.
bool Until(HANDLE process, const std::function<bool()>& done) {
    const ULONGLONG end = GetTickCount64() + kDeadlineMs;
    while (!done()) {
        if (GetTickCount64() > end || WaitForSingleObject(process, 20) == WAIT_OBJECT_0) {
            return false;
        }
    }
    return true;
}

// A top-level window of the class once it is shown, or nullptr when the deadline passes or the
// program ends.
HWND WaitForWindow(HANDLE process, const wchar_t* windowClass, const std::wstring& caption) {
    HWND window = nullptr;
    Until(process, [&] {
        window = FindWindowW(windowClass, caption.empty() ? nullptr : caption.c_str());
        return window != nullptr && IsWindowVisible(window);
    });
    return window != nullptr && IsWindowVisible(window) ? window : nullptr;
}

// The window's controls, depth first in creation order, as the tables list them.
std::vector<HWND> Children(HWND window) {
    std::vector<HWND> found;
    EnumChildWindows(
        window,
        [](HWND child, LPARAM list) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

void CheckControls(HWND window, const std::vector<HWND>& found, std::span<const Control> table) {
    if (found.size() != table.size()) {
        Fail("window", "number of controls", std::to_wstring(found.size()),
             std::to_wstring(table.size()));
        return;
    }
    for (std::size_t row = 0; row < found.size(); ++row) {
        const Control& c = table[row];
        HWND control = found[row];
        if (_wcsicmp(ClassName(control).c_str(), ClassOf(c.kind)) != 0) {
            Fail(c.name, "class", ClassName(control), ClassOf(c.kind));
        }
        // The size labels show the listing's total, the contact lines their own texts.
        const bool ownText = std::string_view(c.name).starts_with("LSize") || *c.text == 0;
        if (!ownText && Text(control) != TextOf(c)) {
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
        const std::wstring want = PlaceText(Scaled(c.place.x), Scaled(c.place.y),
                                            Scaled(c.place.width), Scaled(c.place.height));
        // A label is sized to its text: its place is the table's, its size its font's.
        if (c.kind == Kind::Label ? r.left != Scaled(c.place.x) || r.top != Scaled(c.place.y)
                                  : got != want) {
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

void Check(const char* what, const std::wstring& got, const std::wstring& want) {
    if (got != want) {
        Fail("window", what, got, want);
    }
}

// The program's settings key, which the program under test finds in the same prefix.
constexpr wchar_t kKey[] = L"software\\QuillBarrow\\doplet\\main1";

void Store(const wchar_t* name, const std::wstring& text) {
    RegSetKeyValueW(HKEY_CURRENT_USER, kKey, name, REG_SZ, text.c_str(),
                    static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

std::wstring Stored(const wchar_t* name) {
    wchar_t data[1024] = L"(no REG_SZ)";
    DWORD bytes = sizeof data;
    RegGetValueW(HKEY_CURRENT_USER, kKey, name, RRF_RT_REG_SZ, nullptr, data, &bytes);
    return data;
}

// Two folders with files: 1,234 bytes in folder 1 (one in a subfolder), 1 byte in folder 2;
// `many` more files of 64 KiB in folder 1 make a pass that takes a while.
struct Folders {
    static constexpr int kMany = 600;
    std::filesystem::path top = std::filesystem::temp_directory_path() /
                                ("doplet-test-" + std::to_string(GetCurrentProcessId()));
    std::wstring one = (top / L"一").wstring(), two = (top / L"二").wstring();
    explicit Folders(bool many) {
        std::filesystem::create_directories(top / L"一" / L"sub");
        std::filesystem::create_directories(top / L"二");
        std::ofstream(top / L"一" / L"a.txt") << std::string(1000, 'a');
        std::ofstream(top / L"一" / L"sub" / L"b.txt") << std::string(234, 'b');
        std::ofstream(top / L"二" / L"c.txt") << 'c';
        const std::string content(65536, 'm');
        for (int i = 0; many && i < kMany; ++i) {
            std::ofstream(top / L"一" / std::to_wstring(i)) << content;
        }
    }
    [[nodiscard]] static std::size_t FilesIn(const std::wstring& folder) {
        return std::ranges::count_if(std::filesystem::recursive_directory_iterator(folder),
                                     [](const auto& entry) { return entry.is_regular_file(); });
    }
    ~Folders() { std::filesystem::remove_all(top); }
};

struct Program {
    PROCESS_INFORMATION process{};
    HWND window = nullptr;
    std::vector<HWND> controls; // by row of the table

    HWND operator[](const char* name) const {
        const auto* row = std::ranges::find_if(
            kControls, [&](const Control& c) { return std::string_view(c.name) == name; });
        return controls[static_cast<std::size_t>(row - std::begin(kControls))];
    }
    // The message box with this caption: its text, after which OK closes it.
    std::wstring Answer(const std::wstring& caption) const {
        HWND box = WaitForWindow(process.hProcess, L"#32770", caption);
        const std::wstring text =
            box ? Text(GetDlgItem(box, 0xFFFF)) : L"(no box " + caption + L")";
        PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        return text;
    }
};

// The main window and its controls once it shows.
bool Opened(Program& program) {
    const std::wstring caption = Widen(main1::kCaption);
    program.window = WaitForWindow(program.process.hProcess, nullptr, caption);
    if (program.window == nullptr) {
        std::printf("FAIL no visible window \"%s\"\n", Narrow(caption).c_str());
        return false;
    }
    program.controls = Children(program.window);
    return program.controls.size() == std::size(kControls);
}

// Opens the main window's context menu as a right click does and chooses "情報" in it with the
// keyboard, at the place the menu's table gives it; the about window once shown.
HWND ChooseInformation(const Program& program) {
    PostMessageW(program.window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(program.window),
                 MAKELPARAM(400, 300));
    HWND popup = WaitForWindow(program.process.hProcess, L"#32768", L"");
    const auto* entry = std::ranges::find(kPopupMenu1, "情報", &MenuEntry::text);
    for (const auto* at = std::begin(kPopupMenu1); at <= entry; ++at) {
        PostMessageW(popup, WM_KEYDOWN, VK_DOWN, 0);
    }
    PostMessageW(popup, WM_KEYDOWN, VK_RETURN, 0);
    return WaitForWindow(program.process.hProcess, nullptr,
                         Widen(doplet::win32::version1::kCaption));
}

// The frame's top-left corner.
std::wstring Corner(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return PlaceText(r.left, r.top, 0, 0);
}

// Where a frame goes on the screen: `part` of the free width left of it, `part2` of the free
// height above it.
std::wstring ScreenPlace(HWND window, int part, int part2) {
    RECT r{};
    GetWindowRect(window, &r);
    return PlaceText(std::max(0L, (GetSystemMetrics(SM_CXSCREEN) - r.right + r.left) / part),
                     std::max(0L, GetSystemMetrics(SM_CYSCREEN) - r.bottom + r.top) / part2, 0, 0);
}

std::vector<std::wstring> LinesInOrder(HWND list) {
    std::vector<std::wstring> lines(
        static_cast<std::size_t>(SendMessageW(list, LB_GETCOUNT, 0, 0)));
    for (std::size_t line = 0; line < lines.size(); ++line) {
        lines[line].resize(static_cast<std::size_t>(SendMessageW(list, LB_GETTEXTLEN, line, 0)));
        SendMessageW(list, LB_GETTEXT, line, reinterpret_cast<LPARAM>(lines[line].data()));
    }
    return lines;
}

std::wstring Lines(HWND list) {
    std::vector<std::wstring> lines = LinesInOrder(list);
    std::ranges::sort(lines); // in the order the platform lists them
    std::wstring all;
    for (const auto& line : lines) {
        all += line + L"|";
    }
    return all;
}

std::wstring Texts(const Program& program, std::initializer_list<const char*> names) {
    std::wstring all;
    for (const char* name : names) {
        all += Text(program[name]) + L"|";
    }
    return all;
}

// Waits until `ready` holds; false when the deadline passes first.
template <typename Ready> bool WaitUntil(Ready ready) {
    for (const ULONGLONG end = GetTickCount64() + kDeadlineMs; GetTickCount64() < end; Sleep(20)) {
        if (ready()) {
            return true;
        }
    }
    return false;
}

// Execute on both folders (stored with their separators): the pass runs, held by the abort
// question in "abort" and let go on with Cancel, and its log and files are checked at its end.
// Returns kSkipped when the pass ended before the question could be asked.
int PlayPass(const Program& program, const Folders& folders, bool abort) {
    const std::wstring one = folders.one + L"\\", two = folders.two + L"\\";
    std::vector<std::wstring> want;
    for (const std::wstring& entry : LinesInOrder(program["FileListBox1"])) {
        want.push_back(one + entry.substr(1) + L"->" + two + entry.substr(1));
    }
    for (const std::wstring& entry : LinesInOrder(program["FileListBox2"])) {
        want.push_back(two + entry.substr(1) + L"->" + one + entry.substr(1));
    }
    PostMessageW(program["BitBtn1"], BM_CLICK, 0, 0);
    HWND copy = WaitForWindow(program.process.hProcess, nullptr, Widen(CopyWin::kCaption));
    if (copy == nullptr) {
        Fail("copy window", "shown", L"no", L"yes");
        return 1;
    }
    HWND log = FindWindowExW(copy, nullptr, L"ListBox", nullptr);
    HWND button = FindWindowExW(copy, nullptr, L"Button", nullptr);
    const std::wstring done = Widen(
        std::u8string_view(reinterpret_cast<const char8_t*>(doplet::texts::kDoneCaption.data()),
                           doplet::texts::kDoneCaption.size()));
    if (abort) {
        if (!WaitUntil([&] { return SendMessageW(log, LB_GETCOUNT, 0, 0) > 0; })) {
            Fail("copy window", "a first line", L"none", L"one");
        }
        PostMessageW(button, BM_CLICK, 0, 0);
        HWND box = nullptr;
        WaitUntil([&] {
            box = FindWindowW(L"#32770", L"確認");
            return box != nullptr || !IsWindowVisible(copy);
        });
        if (box == nullptr) {
            std::printf("SKIP the pass of %d files ended before it could be aborted\n",
                        Folders::kMany);
            return kSkipped;
        }
        // Held: at most the file in hand lands, and no line comes for a later one.
        const std::size_t landed = folders.FilesIn(folders.two);
        Check("question", Text(GetDlgItem(box, 0xFFFF)), L"コピーを中止しますか？");
        Check("main window while asking", IsWindowEnabled(program.window) ? L"enabled" : L"", L"");
        Sleep(1000); // time for a worker that does not wait to show itself
        const auto lines = static_cast<std::size_t>(SendMessageW(log, LB_GETCOUNT, 0, 0));
        const std::size_t files = folders.FilesIn(folders.two);
        if (files > landed + 1 || lines > landed + 1) {
            Fail("held pass", "files, lines",
                 std::to_wstring(files) + L", " + std::to_wstring(lines),
                 L"at most " + std::to_wstring(landed + 1));
        }
        PostMessageW(GetDlgItem(box, IDCANCEL), BM_CLICK, 0, 0);
    }
    if (!WaitUntil([&] { return Text(button) == done; })) {
        Fail("copy window", "button", Text(button), done);
    }
    const std::vector<std::wstring> lines = LinesInOrder(log);
    if (lines != want) { // nothing lost, nothing twice, in the order of the lists
        Fail("log", "line count", std::to_wstring(lines.size()), std::to_wstring(want.size()));
        for (std::size_t i = 0; i < std::min(lines.size(), want.size()); ++i) {
            Check("log line", lines[i], want[i]);
        }
    }
    Check("files in folder 2", std::to_wstring(folders.FilesIn(folders.two)),
          std::to_wstring(want.size() + 1 - LinesInOrder(program["FileListBox2"]).size()));
    Check("folder 1's new file", std::filesystem::exists(folders.one + L"\\c.txt") ? L"c.txt" : L"",
          L"c.txt");
    SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_NORMAL, kSendTimeoutMs, nullptr);
    if (!WaitUntil([&] { return !IsWindowVisible(copy); })) {
        Fail("copy window", "after 完了", L"visible", L"hidden");
    }
    return failures == 0 ? 0 : 1;
}

// The scenario on the open window; what it returns is then checked against the store.
void Play(const std::wstring& scenario, const Program& program, const Folders& folders) {
    if (scenario == L"controls" || scenario == L"dpi") {
        RECT client;
        GetClientRect(program.window, &client);
        Check("client size", PlaceText(0, 0, client.right, client.bottom),
              PlaceText(0, 0, Scaled(main1::kClientWidth), Scaled(main1::kClientHeight)));
        CheckControls(program.window, program.controls, kControls);
        CheckTabOrder(program.window, program.controls);
    } else if (scenario == L"registry") {
        Check("texts", Texts(program, {"Edit1", "Edit2", "LSize1", "LSize2"}),
              folders.one + L"|" + folders.two + L"\\|1,234Byte|1Byte|");
        Check("lists", Lines(program["FileListBox1"]) + Lines(program["FileListBox2"]),
              L"\\a.txt|\\sub\\b.txt|\\c.txt|");
    } else if (scenario == L"save") {
        for (const char* edit : {"Edit1", "Edit2"}) {
            const std::wstring typed = edit[4] == '1' ? L" " + folders.one + L" " : L"";
            SendMessageTimeoutW(program[edit], WM_SETTEXT, 0,
                                reinterpret_cast<LPARAM>(typed.c_str()), SMTO_NORMAL, kDeadlineMs,
                                nullptr);
        }
    } else if (scenario == L"datatype") { // CODE1 loaded, nothing listed
        Check("texts",
              Texts(program, {"Edit1", "Edit2", "LSize1"}) + Lines(program["FileListBox1"]),
              folders.one + L"|フォルダ２|sss|");
    } else if (scenario == L"execute") {
        PostMessageW(program["BitBtn1"], BM_CLICK, 0, 0);
        Check("Execute's box", program.Answer(L"エラー"), L"フォルダー１が有効ではありません");
    } else if (scenario == L"about") {
        HWND about = ChooseInformation(program);
        Check("about window's place", Corner(about), ScreenPlace(about, 2, 2));
        CheckControls(about, Children(about), version1::kControls);
        PostMessageW(about, WM_KEYDOWN, VK_RETURN, 0); // Enter anywhere: OK
        Check("about window after Enter",
              Until(program.process.hProcess, [&] { return !IsWindowVisible(about); }) ? L"hidden"
                                                                                       : L"shown",
              L"hidden");
        SetWindowPos(about, nullptr, 10, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        Check("about window's place, shown again", Corner(ChooseInformation(program)),
              PlaceText(10, 20, 0, 0));
    } else if (scenario == L"picker") {
        const auto pick = [&] {
            PostMessageW(program["BitBtn4"], BM_CLICK, 0, 0);
            return WaitForWindow(program.process.hProcess, L"#32770", L"フォルダー１の選択");
        };
        HWND dialog = pick();
        Check("dialog's place", Corner(dialog), ScreenPlace(dialog, 2, 3));
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        Until(program.process.hProcess, [&] { return !IsWindow(dialog); });
        Check("box after cancel", Text(program["Edit1"]), L"フォルダ１");
        dialog = pick();
        HWND name = GetDlgItem(dialog, kNameCombo) ? GetDlgItem(dialog, kNameCombo)
                                                   : GetDlgItem(dialog, kNameEdit);
        const std::wstring typed = folders.one + L"\\sub\\x";
        SendMessageTimeoutW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()),
                            SMTO_NORMAL, kDeadlineMs, nullptr);
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        Until(program.process.hProcess, [&] { return !IsWindow(dialog); });
        Check("picked folder", Text(program["Edit1"]) + L"|" + Lines(program["FileListBox1"]),
              folders.one + L"\\sub\\|\\b.txt|");
    }
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring scenario = argc == 3 ? argv[1] : L"";
    if (scenario.empty()) {
        std::printf("usage: test_win32_main1 controls|registry|save|datatype|execute|pass|abort|"
                    "about|picker|dpi DOPLET.EXE\n");
        return 2;
    }
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2); // places unscaled
    if (scenario == L"probe") {
        return static_cast<int>(GetDpiForSystem());
    }
    struct Restore { // the prefix's other programs at its default, however this one ends
        ~Restore() { RegDeleteKeyValueW(HKEY_CURRENT_USER, kDesktop, L"LogPixels"); }
    } const restore;
    if (scenario == L"dpi") { // the programs started from now on see 144 dots per inch
        constexpr DWORD logPixels = 144;
        RegSetKeyValueW(HKEY_CURRENT_USER, kDesktop, L"LogPixels", REG_DWORD, &logPixels,
                        sizeof logPixels);
        std::wstring probe = L"\"" + std::wstring(argv[0]) + L"\" probe x";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        DWORD seen = 0;
        if (CreateProcessW(nullptr, probe.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &process) != FALSE) {
            WaitForSingleObject(process.hProcess, kDeadlineMs);
            GetExitCodeProcess(process.hProcess, &seen);
        }
        if (seen != logPixels) {
            std::printf(
                "SKIP: this Wine gives new programs %lu dots per inch, not LogPixels' %lu\n", seen,
                logPixels);
            return kSkipped;
        }
        dpi = static_cast<int>(logPixels);
    }
    const bool pass = scenario == L"pass" || scenario == L"abort";
    const Folders folders(scenario == L"abort");
    RegDeleteTreeW(HKEY_CURRENT_USER, kKey); // a first run, unless the scenario stores values
    if (pass) {
        Store(L"CODE1", folders.one + L"\\");
        Store(L"CODE2", folders.two + L"\\");
    } else if (scenario == L"registry") {
        Store(L"CODE1", folders.one);
        Store(L"CODE2", folders.two + L"\\");
    } else if (scenario == L"datatype") {
        const DWORD number = 5;
        Store(L"CODE1", folders.one);
        RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"CODE2", REG_DWORD, &number, sizeof number);
    }
    Program program;
    std::wstring command = L"\"" + std::wstring(argv[2]) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(argv[2], command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &program.process)) {
        std::printf("FAIL cannot start %s: error %lu\n", Narrow(argv[2]).c_str(), GetLastError());
        return 1;
    }
    CloseHandle(program.process.hThread);
    if (scenario == L"datatype") { // the box shows while the window is being created
        const std::string title = doplet::frontend::ProgramTitle(Narrow(argv[2]));
        Check("error box",
              program.Answer(Widen({reinterpret_cast<const char8_t*>(title.data()), title.size()})),
              L"'CODE2' のﾃﾞｰﾀ型が不正です.");
    }
    if (!Opened(program)) {
        std::printf("FAIL the main window did not open with its %zu controls\n",
                    std::size(kControls));
        TerminateProcess(program.process.hProcess, 99);
        return 1;
    }
    const int played = pass ? PlayPass(program, folders, scenario == L"abort") : 0;
    if (played == kSkipped) {
        TerminateProcess(program.process.hProcess, 99);
        return kSkipped;
    }
    Play(scenario, program, folders);
    // "終了" must end the program with exit code 0.
    PostMessageW(program["BitBtn3"], BM_CLICK, 0, 0);
    DWORD code = 99;
    if (WaitForSingleObject(program.process.hProcess, kDeadlineMs) != WAIT_OBJECT_0) {
        TerminateProcess(program.process.hProcess, 99);
    }
    GetExitCodeProcess(program.process.hProcess, &code);
    Check("exit code after 終了", std::to_wstring(code), L"0");
    CloseHandle(program.process.hProcess);
    if (scenario == L"save") {
        Check("stored", Stored(L"CODE1") + L"|" + Stored(L"CODE2"), L" " + folders.one + L" |");
    }
    std::printf("%s: %s\n", failures == 0 ? "PASS" : "FAIL", Narrow(scenario).c_str());
    return failures == 0 ? 0 : 1;
}
