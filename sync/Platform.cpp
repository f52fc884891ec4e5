#include "Platform.h"

#include "th_copy1.h"

#include <cstdlib>
#include <string_view>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <csignal>
#include <unistd.h>
#endif

namespace doplet::sync {

namespace {
WorkerControl* stopTarget = nullptr;
} // namespace

#ifdef _WIN32

namespace {
BOOL WINAPI OnConsoleControl(DWORD type) {
    static bool stopping = false;
    if (stopping || stopTarget == nullptr ||
        (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT)) {
        return FALSE; // the default handling ends the program
    }
    stopping = true;
    stopTarget->requestStop();
    return TRUE;
}
} // namespace

void StopOnInterrupt(WorkerControl& control) {
    stopTarget = &control;
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool StandardErrorIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

bool UserPrefersJapanese() {
    return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE;
}

void PrepareConsole() {
    SetConsoleOutputCP(CP_UTF8);
}

#else

namespace {
extern "C" void OnInterrupt(int /*signal*/) {
    // Only an atomic store: safe in a signal handler. SA_RESETHAND makes the next one fatal.
    stopTarget->requestStop();
}
} // namespace

void StopOnInterrupt(WorkerControl& control) {
    stopTarget = &control;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // The copy in hand goes on undisturbed; a second interrupt takes the default action.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
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

void PrepareConsole() {}

#endif

} // namespace doplet::sync
