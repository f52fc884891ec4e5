#include "MessageBoxes.h"

#include "Form.h"
#include "Frontend.h"
#include "SyncPass.h"
#include "Texts.h"

#include <cstdint>
#include <vector>

namespace doplet::win32 {
namespace {

std::wstring ProgramFile() {
    std::wstring file(MAX_PATH, L'\0');
    file.resize(GetModuleFileNameW(nullptr, file.data(), static_cast<DWORD>(file.size())));
    return file;
}

} // namespace

int ShowModalBox(HWND owner, std::string_view caption, std::string_view text, UINT buttons) {
    // The system's application-modal box disables its owner only: the program's other windows
    // are disabled here for as long as it shows.
    std::vector<HWND> disabled;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM list) -> BOOL {
            if (IsWindowVisible(window) && IsWindowEnabled(window)) {
                reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&disabled));
    for (HWND window : disabled) {
        if (window != owner) {
            EnableWindow(window, FALSE);
        }
    }
    const int answer = MessageBoxW(owner, ShownText(text).c_str(), ShownText(caption).c_str(),
                                   buttons | MB_APPLMODAL);
    for (HWND window : disabled) {
        EnableWindow(window, TRUE);
    }
    return answer;
}

void ShowErrorBox(HWND owner, const std::string& message) {
    const std::wstring caption = ShownText(frontend::ProgramTitle(PathOf(ProgramFile())));
    MessageBoxW(owner, ShownText(frontend::WithFullStop(message)).c_str(), caption.c_str(),
                MB_OK | MB_ICONERROR | MB_APPLMODAL);
}

void EndWithFatal(const std::string& errorClass, const std::string& message) {
    const std::string file = PathOf(ProgramFile());
    const std::string module = file.substr(file.find_last_of("\\/") + 1);
    // The address of the pass's code stands for where the failure arose.
    const std::string text = frontend::FatalText(
        errorClass, module, reinterpret_cast<std::uintptr_t>(&RunPass), message);
    MessageBoxW(nullptr, ShownText(text).c_str(), ShownText(texts::kFatalCaption).c_str(),
                MB_OK | MB_ICONERROR | MB_TASKMODAL);
    ExitProcess(1);
}

} // namespace doplet::win32
