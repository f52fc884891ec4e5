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

namespace doplet::test::faults {

namespace {

struct Rule {
    int error = 0;
    int skip = 0;
    int times = 0;
    int count = 0;
    std::function<void(int, const char*, int, unsigned)> hook;
};
std::array<Rule, static_cast<std::size_t>(Call::Count)> rules;

// True (with errno set) when this call is to fail.
bool Hit(Call call, int fd = -1, const char* name = "", int flags = 0, unsigned mode = 0) {
    Rule& rule = rules[static_cast<std::size_t>(call)];
    const int seen = rule.count++;
    if (rule.hook) {
        rule.hook(fd, name == nullptr ? "" : name, flags, mode);
    }
    if (rule.error == 0 || seen < rule.skip || rule.times <= 0) {
        return false;
    }
    --rule.times;
    errno = rule.error;
    return true;
}

template <typename Function> Function Next(const char* name) {
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): dlsym returns void*
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

} // namespace

void Fail(Call call, int error, int skip, int times) {
    Rule& rule = rules[static_cast<std::size_t>(call)];
    rule.error = error;
    rule.skip = skip;
    rule.times = times;
}

void Before(Call call, std::function<void(int, const char*, int, unsigned)> hook) {
    rules[static_cast<std::size_t>(call)].hook = std::move(hook);
}

int Count(Call call) {
    return rules[static_cast<std::size_t>(call)].count;
}

void Reset() {
    rules = {};
}

} // namespace doplet::test::faults

using doplet::test::faults::Call;
using doplet::test::faults::Hit;
using doplet::test::faults::Next;

// NOLINTBEGIN(cert-dcl58-cpp, cppcoreguidelines-pro-type-vararg): the C library's own entry points
extern "C" {

int openat(int fd, const char* path, int flags, ...) {
    unsigned mode = 0;
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list args;
        va_start(args, flags);
        mode = va_arg(args, unsigned); // NOLINT(clang-analyzer-valist.Uninitialized)
        va_end(args);
    }
    const bool temporary = (flags & O_TMPFILE) == O_TMPFILE;
    const bool named =
        !temporary && (flags & O_CREAT) != 0 && std::strncmp(path, ".doplet-", 8) == 0;
    if ((temporary && Hit(Call::Tmpfile, fd, path, flags, mode)) ||
        (named && Hit(Call::NamedTemp, fd, path, flags, mode))) {
        return -1;
    }
    return Next<int (*)(int, const char*, int, ...)>("openat")(fd, path, flags, mode);
}

int linkat(int fromFd, const char* from, int toFd, const char* to, int flags) noexcept {
    const Call call = (flags & AT_EMPTY_PATH) != 0                    ? Call::LinkEmptyPath
                      : std::strncmp(from, "/proc/self/fd/", 14) == 0 ? Call::LinkProc
                                                                      : Call::Link;
    if (Hit(call, toFd, to)) {
        return -1;
    }
    return Next<int (*)(int, const char*, int, const char*, int)>("linkat")(fromFd, from, toFd, to,
                                                                            flags);
}

int renameat(int fromFd, const char* from, int toFd, const char* to) noexcept {
    if (Hit(Call::Rename, toFd, to)) {
        return -1;
    }
    return Next<int (*)(int, const char*, int, const char*)>("renameat")(fromFd, from, toFd, to);
}

int renameat2(int fromFd, const char* from, int toFd, const char* to, unsigned flags) noexcept {
    if (Hit(Call::Renameat2, toFd, to)) {
        return -1;
    }
    return Next<int (*)(int, const char*, int, const char*, unsigned)>("renameat2")(
        fromFd, from, toFd, to, flags);
}

long syscall(long number, ...) noexcept {
    va_list args;
    va_start(args, number);
    std::array<long, 6> a{};
    for (long& arg : a) {
        arg = va_arg(args, long); // NOLINT(clang-analyzer-valist.Uninitialized)
    }
    va_end(args);
    if (number == SYS_openat2 && Hit(Call::Openat2)) {
        return -1;
    }
    return Next<long (*)(long, ...)>("syscall")(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}

ssize_t copy_file_range(int in, off64_t* inOffset, int out, off64_t* outOffset, size_t length,
                        unsigned flags) {
    if (Hit(Call::CopyRange, out)) {
        return -1;
    }
    return Next<ssize_t (*)(int, off64_t*, int, off64_t*, size_t, unsigned)>("copy_file_range")(
        in, inOffset, out, outOffset, length, flags);
}

ssize_t write(int fd, const void* data, size_t size) {
    if (Hit(Call::Write, fd)) {
        return -1;
    }
    return Next<ssize_t (*)(int, const void*, size_t)>("write")(fd, data, size);
}

int fchmod(int fd, mode_t mode) noexcept {
    return Hit(Call::Fchmod, fd) ? -1 : Next<int (*)(int, mode_t)>("fchmod")(fd, mode);
}

int futimens(int fd, const timespec times[2]) noexcept {
    return Hit(Call::Futimens, fd) ? -1
                                   : Next<int (*)(int, const timespec*)>("futimens")(fd, times);
}

int fstat(int fd, struct stat* st) noexcept {
    return Hit(Call::Fstat, fd) ? -1 : Next<int (*)(int, struct stat*)>("fstat")(fd, st);
}

int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    if (request == FICLONE && Hit(Call::Clone, fd)) {
        return -1;
    }
    return Next<int (*)(int, unsigned long, ...)>("ioctl")(fd, request, arg);
}

int mkdirat(int fd, const char* name, mode_t mode) noexcept {
    return Hit(Call::Mkdir, fd, name)
               ? -1
               : Next<int (*)(int, const char*, mode_t)>("mkdirat")(fd, name, mode);
}

} // extern "C"
// NOLINTEND(cert-dcl58-cpp, cppcoreguidelines-pro-type-vararg)
