#pragma once

// Faults at the level of single C library calls, for the test programs linked with
// SyscallFaults.cpp: that file defines openat, linkat and copy_file_range itself, so the engine's
// calls go through it. Nothing is changed until a test arranges something; every other call goes
// straight on to the C library. Arrange before the pass and reset after it, on the thread that
// runs the pass.

#include <cstddef>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace doplet::rel::faults {

// A file created by name or without one, as the engine asked for it.
struct Creation {
    std::string name; // "" for an unnamed temporary
    int flags = 0;
    mode_t mode = 0;
};

struct Arrangement {
    // Unnamed temporaries (O_TMPFILE) fail with EOPNOTSUPP, as on file systems without them.
    bool noUnnamedTemporaries = false;
    // Runs just before a file named like a copy temporary is created by name.
    std::function<void(int folderFd, const std::string& name)> beforeNamedTemporary;
    // Runs just before a link gives an unnamed temporary a name of that kind.
    std::function<void(int folderFd, const std::string& name)> beforeLinkToTemporaryName;
    // The first in-kernel copy of a pass copies at most this many bytes (0: no limit) and then
    // runs `afterFirstPiece`; the call after it fails with `nextPieceFailsWith` when that is
    // not 0 (a read error part-way through that copy). Later calls are left alone.
    std::size_t firstPiece = 0;
    std::function<void()> afterFirstPiece;
    int nextPieceFailsWith = 0;
};

// The arrangement in force; change it only while no pass runs.
Arrangement& Arranged();
// Back to plain calls; forgets what was recorded.
void Reset();
// Every file created with O_CREAT or O_TMPFILE since the last reset.
std::vector<Creation> Creations();
// How many times the first-piece hook ran since the last reset.
int FirstPiecesCut();

} // namespace doplet::rel::faults
