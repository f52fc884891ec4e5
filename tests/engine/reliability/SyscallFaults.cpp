#include "SyscallFaults.h"

#include "FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <dlfcn.h>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace doplet::rel::faults {

namespace {

std::mutex& Lock() {
    static std::mutex mutex;
    return mutex;
}

std::vector<Creation>& Recorded() {
    static std::vector<Creation> recorded;
    return recorded;
}

bool firstPieceDone = false;
bool nextPieceFailed = false;
int firstPiecesCut = 0;

template <typename Function> Function Next(const char* name) {
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): dlsym returns void*
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

using OpenAtFunction = int (*)(int, const char*, int, ...);
using LinkAtFunction = int (*)(int, const char*, int, const char*, int);
using CopyRangeFunction = ssize_t (*)(int, off64_t*, int, off64_t*, size_t, unsigned);

bool LooksLikeTemporary(const char* path) {
    if (path == nullptr) {
        return false;
    }
    const std::string_view whole(path);
    return IsCopyTemporaryName(whole.substr(std::min(whole.size(), whole.rfind('/') + 1)));
}

} // namespace

Arrangement& Arranged() {
    static Arrangement arrangement;
    return arrangement;
}

void Reset() {
    Arranged() = Arrangement{};
    const std::lock_guard lock(Lock());
    Recorded().clear();
    firstPieceDone = false;
    nextPieceFailed = false;
    firstPiecesCut = 0;
}

std::vector<Creation> Creations() {
    const std::lock_guard lock(Lock());
    return Recorded();
}

int FirstPiecesCut() {
    const std::lock_guard lock(Lock());
    return firstPiecesCut;
}

bool HasModeArgument(int flags) {
    return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
}

int OpenAt(int folderFd, const char* path, int flags, mode_t mode) {
    static const auto next = Next<OpenAtFunction>("openat");
    const Arrangement& arranged = Arranged();
    if ((flags & O_TMPFILE) == O_TMPFILE) {
        {
            const std::lock_guard lock(Lock());
            Recorded().push_back({"", flags, mode});
        }
        if (arranged.noUnnamedTemporaries) {
            errno = EOPNOTSUPP;
            return -1;
        }
    } else if ((flags & O_CREAT) != 0) {
        {
            const std::lock_guard lock(Lock());
            Recorded().push_back({path, flags, mode});
        }
        if (LooksLikeTemporary(path) && arranged.beforeNamedTemporary) {
            arranged.beforeNamedTemporary(folderFd, path);
        }
    }
    return next(folderFd, path, flags, mode);
}

} // namespace doplet::rel::faults

using doplet::rel::faults::Arranged;

extern "C" {

// The mode argument is there only when the file may be created.
int openat(int folderFd, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    // NOLINTBEGIN(clang-analyzer-valist.Uninitialized): started just above
    const mode_t mode =
        doplet::rel::faults::HasModeArgument(flags) ? static_cast<mode_t>(va_arg(args, int)) : 0;
    // NOLINTEND(clang-analyzer-valist.Uninitialized)
    va_end(args);
    return doplet::rel::faults::OpenAt(folderFd, path, flags, mode);
}

int openat64(int folderFd, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    // NOLINTBEGIN(clang-analyzer-valist.Uninitialized): started just above
    const mode_t mode =
        doplet::rel::faults::HasModeArgument(flags) ? static_cast<mode_t>(va_arg(args, int)) : 0;
    // NOLINTEND(clang-analyzer-valist.Uninitialized)
    va_end(args);
    return doplet::rel::faults::OpenAt(folderFd, path, flags, mode);
}

int linkat(int fromFolder, const char* from, int toFolder, const char* to, int flags) {
    static const auto next =
        doplet::rel::faults::Next<doplet::rel::faults::LinkAtFunction>("linkat");
    const auto& hook = Arranged().beforeLinkToTemporaryName;
    if (hook && doplet::rel::faults::LooksLikeTemporary(to)) {
        hook(toFolder, to);
    }
    return next(fromFolder, from, toFolder, to, flags);
}

ssize_t copy_file_range(int in, off64_t* inOffset, int out, off64_t* outOffset, size_t length,
                        unsigned int flags) {
    static const auto next =
        doplet::rel::faults::Next<doplet::rel::faults::CopyRangeFunction>("copy_file_range");
    const auto& arranged = Arranged();
    bool cutThisOne = false;
    bool failThisOne = false;
    {
        const std::lock_guard lock(doplet::rel::faults::Lock());
        if (arranged.firstPiece > 0 && !doplet::rel::faults::firstPieceDone) {
            doplet::rel::faults::firstPieceDone = true;
            ++doplet::rel::faults::firstPiecesCut;
            cutThisOne = true;
        } else if (doplet::rel::faults::firstPieceDone && arranged.nextPieceFailsWith != 0 &&
                   !doplet::rel::faults::nextPieceFailed) {
            doplet::rel::faults::nextPieceFailed = true;
            failThisOne = true;
        }
    }
    if (failThisOne) {
        errno = arranged.nextPieceFailsWith;
        return -1;
    }
    if (!cutThisOne) {
        return next(in, inOffset, out, outOffset, length, flags);
    }
    const ssize_t done =
        next(in, inOffset, out, outOffset, std::min(length, arranged.firstPiece), flags);
    if (arranged.afterFirstPiece) {
        arranged.afterFirstPiece();
    }
    return done;
}

} // extern "C"
