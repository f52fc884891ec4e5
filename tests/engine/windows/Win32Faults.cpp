#include "Win32Faults.h"

namespace doplet::test {
FaultRules<Api, DWORD, SetWin32Error> win32;
} // namespace doplet::test

using doplet::test::Api;
using doplet::test::win32;

namespace {
HANDLE source = INVALID_HANDLE_VALUE; // the file last opened for reading
} // namespace

// Each call's import slot (__imp_Name) is wrapped: __real___imp_Name is the system's function,
// __wrap___imp_Name the one the engine calls.
// NOLINTBEGIN(readability-identifier-naming, bugprone-reserved-identifier)
extern "C" {

extern decltype(&CreateFileW) __real___imp_CreateFileW;
HANDLE WINAPI FaultyCreateFileW(LPCWSTR name, DWORD access, DWORD share,
                                LPSECURITY_ATTRIBUTES security, DWORD how, DWORD flags,
                                HANDLE model) {
    const bool reading = access == GENERIC_READ;
    if ((reading && win32.hit(Api::OpenSource)) ||
        (access == GENERIC_WRITE && win32.hit(Api::CreateTemp))) {
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
    // A source is known once one was opened since the last reset.
    return file == source && win32.count(Api::OpenSource) > 0 && win32.hit(Api::SourceInfo)
               ? FALSE
               : __real___imp_GetFileInformationByHandle(file, info);
}
decltype(&GetFileInformationByHandle) __wrap___imp_GetFileInformationByHandle = FaultyGetInfo;

// clang-format off
// NOLINTBEGIN(cppcoreguidelines-macro-usage, bugprone-macro-parentheses): one line per call
#define DOPLET_CALL(Name, api, params, args) \
    extern decltype(&Name) __real___imp_##Name; \
    BOOL WINAPI Faulty##Name params { return win32.hit(api) ? FALSE : __real___imp_##Name args; } \
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
