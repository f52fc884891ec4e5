#pragma once

// Faults at the level of single system calls, for the test programs that link SyscallFaults.cpp:
// it defines the C library's openat, linkat, renameat, renameat2, syscall (for openat2),
// copy_file_range, write, pread, pwrite, fchmod, futimens, fstat, ioctl and mkdirat itself, so the
// engine's calls go through it. Nothing changes until a test arranges something; every other call
// goes straight on to the C library. Arrange before a pass and reset after it; the pass may run on
// one other thread, which must have ended before the test reads the counts.

#include "FaultRules.h"

#include <cerrno>

namespace doplet::test {

// Tmpfile: openat with O_TMPFILE, an unnamed temporary. NamedTemp: openat with O_CREAT of a name
// like the copy step's temporaries. Openat2: syscall(SYS_openat2), resolving beneath a folder.
// LinkEmptyPath: linkat(fd, "", ..., AT_EMPTY_PATH), naming an unnamed temporary. LinkProc: linkat
// of /proc/self/fd/N, the same where AT_EMPTY_PATH is refused. Link: any other linkat. Clone:
// ioctl(FICLONE). Mkdir: mkdirat. The others are the calls of their names.
// clang-format off
enum class Call { Tmpfile, NamedTemp, Openat2, LinkEmptyPath, LinkProc, Link, Rename, Renameat2,
    CopyRange, Write, Fchmod, Futimens, Fstat, Clone, Mkdir, Pread, Pwrite, Count };
// clang-format on

inline void SetErrno(int error) {
    errno = error;
}
// The rules of every call; a hook gets the folder handle, the name (or "") and, for openat, the
// flags and the mode asked for.
extern FaultRules<Call, int, SetErrno, int, const char*, int, unsigned> faults;

} // namespace doplet::test
