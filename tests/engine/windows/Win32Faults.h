#pragma once

// Failing calls of the Win32 API for the Windows back-end's tests. The test program is linked with
// --wrap for each call's import, so every call the engine makes passes through here; a call fails
// only when a test asks for it.

#include <functional>
#include <windows.h>

namespace doplet::test::win32 {

// clang-format off
enum class Api { OpenSource, SourceInfo, CreateTemp, Read, Write, SetInfo, Flush, Move, MakeFolder,
    Count };
// clang-format on

// After `skip` calls of `api` went through, the next `times` fail with `error`.
void Fail(Api api, DWORD error, int skip = 0, int times = 1);
// Runs `hook` just before every call of `api`.
void Before(Api api, std::function<void()> hook);
// How many calls of `api` were made since the last Reset.
int Count(Api api);
void Reset();

} // namespace doplet::test::win32
