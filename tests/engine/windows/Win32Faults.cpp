#include "Win32Faults.h"

#include <array>
#include <cstddef>
#include <tuple>
#include <utility>

namespace doplet::test::win32 {
namespace {

struct Rule {
    DWORD error = 0;
    int skip = 0, times = 0, count = 0;
    std::function<void()> hook;
};
std::array<Rule, static_cast<std::size_t>(Api::Count)> rules;
HANDLE source = INVALID_HANDLE_VALUE; // the file last opened for reading

// True (with the last error set) when this call is to fail.
bool Hit(Api api) {
    Rule& rule = rules[static_cast<std::size_t>(api)];
    const int seen = rule.count++;
    if (rule.hook) {
        rule.hook();
    }
    if (rule.error == 0 || seen < rule.skip || rule.times <= 0) {
        return false;
    }
    --rule.times;
    ::SetLastError(rule.error);
    return true;
}

} // namespace

void Fail(Api api, DWORD error, int skip, int times) {
    Rule& rule = rules[static_cast<std::size_t>(api)];
    std::tie(rule.error, rule.skip, rule.times) = std::tie(error, skip, times);
}

void Before(Api api, std::function<void()> hook) {
    rules[static_cast<std::size_t>(api)].hook = std::move(hook);
}

int Count(Api api) {
    return rules[static_cast<std::size_t>(api)].count;
}

void Reset() {
    rules = {};
    source = INVALID_HANDLE_VALUE;
}

} // namespace doplet::test::win32

using doplet::test::win32::Api;
using doplet::test::win32::Hit;
using doplet::test::win32::source;

// Each call's import slot (__imp_Name) is wrapped: __real___imp_Name is the system's function,
// __wrap___imp_Name the one the engine calls.
// NOLINTBEGIN(readability-identifier-naming, bugprone-reserved-identifier)
extern "C" {

extern decltype(&CreateFileW) __real___imp_CreateFileW;
HANDLE WINAPI FaultyCreateFileW(LPCWSTR name, DWORD access, DWORD share,
                                LPSECURITY_ATTRIBUTES security, DWORD how, DWORD flags,
                                HANDLE model) {
    const bool reading = access == GENERIC_READ;
    if ((reading && Hit(Api::OpenSource)) || (access == GENERIC_WRITE && Hit(Api::CreateTemp))) {
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE handle =
        __real___imp_CreateFileW(name, access, share, security, how, flags, model);
    if (reading) {
        source = handle;
    }
    return handle;
}
decltype(&CreateFileW) __wrap___imp_CreateFileW = FaultyCreateFileW;

extern decltype(&GetFileInformationByHandle) __real___imp_GetFileInformationByHandle;
BOOL WINAPI FaultyGetInfo(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info) {
    return file == source && Hit(Api::SourceInfo)
               ? FALSE
               : __real___imp_GetFileInformationByHandle(file, info);
}
decltype(&GetFileInformationByHandle) __wrap___imp_GetFileInformationByHandle = FaultyGetInfo;

// clang-format off
// NOLINTBEGIN(cppcoreguidelines-macro-usage, bugprone-macro-parentheses): one line per call
#define DOPLET_CALL(Name, api, params, args) \
    extern decltype(&Name) __real___imp_##Name; \
    BOOL WINAPI Faulty##Name params { return Hit(api) ? FALSE : __real___imp_##Name args; } \
    decltype(&Name) __wrap___imp_##Name = Faulty##Name;
DOPLET_CALL(ReadFile, Api::Read, (HANDLE f, LPVOID d, DWORD n, LPDWORD got, LPOVERLAPPED o), (f, d, n, got, o))
DOPLET_CALL(WriteFile, Api::Write, (HANDLE f, LPCVOID d, DWORD n, LPDWORD put, LPOVERLAPPED o), (f, d, n, put, o))
DOPLET_CALL(SetFileInformationByHandle, Api::SetInfo, (HANDLE f, FILE_INFO_BY_HANDLE_CLASS c, LPVOID i, DWORD n), (f, c, i, n))
DOPLET_CALL(FlushFileBuffers, Api::Flush, (HANDLE f), (f))
DOPLET_CALL(MoveFileExW, Api::Move, (LPCWSTR from, LPCWSTR to, DWORD flags), (from, to, flags))
DOPLET_CALL(CreateDirectoryW, Api::MakeFolder, (LPCWSTR name, LPSECURITY_ATTRIBUTES s), (name, s))
#undef DOPLET_CALL
// NOLINTEND(cppcoreguidelines-macro-usage, bugprone-macro-parentheses)
// clang-format on

} // extern "C"
// NOLINTEND(readability-identifier-naming, bugprone-reserved-identifier)
