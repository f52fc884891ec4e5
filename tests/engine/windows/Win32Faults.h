#pragma once

// Failing calls of the Win32 API for the Windows back-end's tests. The test program is linked with
// --wrap for each call's import, so every call the engine makes passes through here; a call fails
// only when a test asks for it.

#include "FaultRules.h"

#include <windows.h>

namespace doplet::test {

// clang-format off
enum class Api { OpenSource, SourceInfo, CreateTemp, Read, Write, SetInfo, Flush, Move, MakeFolder,
    Count };
// clang-format on

inline void SetWin32Error(DWORD error) {
    ::SetLastError(error);
}
// The rules of every call.
extern FaultRules<Api, DWORD, SetWin32Error> win32;

} // namespace doplet::test
