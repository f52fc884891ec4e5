#include "SyscallFaults.h"

#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace doplet::test {

FaultRules<Call, int, SetErrno, int, const char*, int, unsigned> faults;

namespace {

// True (with errno set) when this call is to fail.
bool Hit(Call call, int fd = -1, const char* name = "", int flags = 0, unsigned mode = 0) {
    return faults.hit(call, fd, name == nullptr ? "" : name, flags, mode);
}

// The C library's own function of this name.
template <typename Function> Function Next(const char* name) {
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): dlsym returns void*
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

} // namespace
} // namespace doplet::test

using doplet::test::Call;
using doplet::test::Hit;
using doplet::test::Next;

// NOLINTBEGIN(cert-dcl58-cpp, cppcoreguidelines-pro-type-vararg): the C library's own entry points
extern "C" {

int openat(int fd, const char* path, int flags, ...) {
    unsigned mode = 0;
    const bool temporary = (flags & O_TMPFILE) == O_TMPFILE;
    if ((flags & O_CREAT) != 0 || temporary) {
        va_list args;
        va_start(args, flags);
        mode = va_arg(args, unsigned); // NOLINT(clang-analyzer-valist.Uninitialized)
        va_end(args);
    }
    const bool named =
        !temporary && (flags & O_CREAT) != 0 && std::strncmp(path, ".doplet-", 8) == 0;
    return (temporary || named) &&
                   Hit(temporary ? Call::Tmpfile : Call::NamedTemp, fd, path, flags, mode)
               ? -1
               : Next<int (*)(int, const char*, int, ...)>("openat")(fd, path, flags, mode);
}

int linkat(int fromFd, const char* from, int toFd, const char* to, int flags) noexcept {
    const Call call = (flags & AT_EMPTY_PATH) != 0                    ? Call::LinkEmptyPath
                      : std::strncmp(from, "/proc/self/fd/", 14) == 0 ? Call::LinkProc
                                                                      : Call::Link;
    return Hit(call, toFd, to) ? -1
                               : Next<decltype(&linkat)>("linkat")(fromFd, from, toFd, to, flags);
}

long syscall(long number, ...) noexcept {
    va_list args;
    va_start(args, number);
    std::array<long, 6> a{};
    for (long& arg : a) {
        arg = va_arg(args, long); // NOLINT(clang-analyzer-valist.Uninitialized)
    }
    va_end(args);
    return number == SYS_openat2 && Hit(Call::Openat2)
               ? -1
               : Next<decltype(&syscall)>("syscall")(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}

// clang-format off
// NOLINTBEGIN(cppcoreguidelines-macro-usage, bugprone-macro-parentheses): one line per call
// The C library's `name`, a call of kind `call` with folder handle or file `fd` and name `to`.
#define DOPLET_CALL(ret, name, params, args, call, fd, to, ...) \
    ret name params __VA_ARGS__ { return Hit(call, fd, to) ? -1 : Next<decltype(&name)>(#name) args; }
DOPLET_CALL(int, renameat, (int fromFd, const char* from, int toFd, const char* to),
            (fromFd, from, toFd, to), Call::Rename, toFd, to, noexcept)
DOPLET_CALL(int, renameat2, (int fromFd, const char* from, int toFd, const char* to, unsigned flags),
            (fromFd, from, toFd, to, flags), Call::Renameat2, toFd, to, noexcept)
DOPLET_CALL(ssize_t, copy_file_range, (int in, off64_t* inAt, int out, off64_t* outAt, size_t size, unsigned flags),
            (in, inAt, out, outAt, size, flags), Call::CopyRange, out, "")
DOPLET_CALL(ssize_t, write, (int fd, const void* data, size_t size), (fd, data, size), Call::Write, fd, "")
DOPLET_CALL(ssize_t, pread, (int fd, void* data, size_t size, off_t at), (fd, data, size, at), Call::Pread, fd, "")
DOPLET_CALL(ssize_t, pwrite, (int fd, const void* data, size_t size, off_t at), (fd, data, size, at), Call::Pwrite, fd, "")
DOPLET_CALL(int, fchmod, (int fd, mode_t mode), (fd, mode), Call::Fchmod, fd, "", noexcept)
DOPLET_CALL(int, futimens, (int fd, const timespec times[2]), (fd, times), Call::Futimens, fd, "", noexcept)
DOPLET_CALL(int, fstat, (int fd, struct stat* st), (fd, st), Call::Fstat, fd, "", noexcept)
DOPLET_CALL(int, mkdirat, (int fd, const char* name, mode_t mode), (fd, name, mode), Call::Mkdir, fd, name, noexcept)
#undef DOPLET_CALL
// NOLINTEND(cppcoreguidelines-macro-usage, bugprone-macro-parentheses)
// clang-format on

int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    return request == FICLONE && Hit(Call::Clone, fd)
               ? -1
               : Next<decltype(&ioctl)>("ioctl")(fd, request, arg);
}

} // extern "C"
// NOLINTEND(cert-dcl58-cpp, cppcoreguidelines-pro-type-vararg)
