#include "Platform.h"

#include "th_copy1.h"

#include <atomic>
#include <cstdlib>
#include <string_view>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>
#else
#include <csignal>
#include <unistd.h>
#endif

namespace doplet::sync {

namespace {
constexpr int kInterruptedStatus = 130;
std::atomic<WorkerControl*> stopTarget{nullptr};
} // namespace

#ifdef _WIN32

namespace {
BOOL WINAPI OnConsoleControl(DWORD type) {
    static std::atomic<bool> stopping{false};
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    WorkerControl* control = stopTarget.load();
    if (control == nullptr || stopping.exchange(true)) {
        ExitProcess(kInterruptedStatus);
    }
    control->requestStop();
    return TRUE;
}
} // namespace

void StopOnInterrupt(WorkerControl* control) {
    stopTarget.store(control);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool StandardErrorIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

bool UserPrefersJapanese() {
    return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE;
}

std::vector<std::string> Arguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        return {argv, argv + argc};
    }
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string text(size > 0 ? size - 1 : 0, '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, text.data(), size, nullptr, nullptr);
        arguments.push_back(std::move(text));
    }
    LocalFree(wide);
    return arguments;
}

void PrepareConsole() {
    SetConsoleOutputCP(CP_UTF8);
}

#else

namespace {
extern "C" void OnInterrupt(int /*signal*/) {
    // Only lock-free atomics and _exit: safe in a signal handler. SA_RESETHAND makes the next
    // interrupt end the program.
    WorkerControl* control = stopTarget.load();
    if (control == nullptr) {
        _exit(kInterruptedStatus);
    }
    control->requestStop();
}
} // namespace

void StopOnInterrupt(WorkerControl* control) {
    stopTarget.store(control);
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // The copy in hand goes on undisturbed; a second interrupt takes the default action.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr); // the terminal closed: the same as being told to stop
    // A reader that went away makes writes fail instead of ending the program mid-copy; the
    // host then stops the pass.
    std::signal(SIGPIPE, SIG_IGN);
}

bool StandardErrorIsTerminal() {
    return isatty(STDERR_FILENO) != 0;
}

bool UserPrefersJapanese() {
    // The first of these that is set and not empty names the language of messages.
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name); // NOLINT(concurrency-mt-unsafe): read at start-up
        if (value != nullptr && *value != '\0') {
            return std::string_view(value).starts_with("ja");
        }
    }
    return false;
}

std::vector<std::string> Arguments(int argc, char** argv) {
    return {argv, argv + argc};
}

void PrepareConsole() {}

#endif

} // namespace doplet::sync
