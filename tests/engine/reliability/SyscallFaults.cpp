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
#include <tuple>
#include <unistd.h>

namespace doplet::test::faults {
namespace {

struct Rule {
    int error = 0, skip = 0, times = 0, count = 0;
    std::function<void(int, const char*, int, unsigned)> hook;
};
std::array<Rule, static_cast<std::size_t>(Call::Count)> rules;

Rule& RuleOf(Call call) {
    return rules[static_cast<std::size_t>(call)];
}

// True (with errno set) when this call is to fail.
bool Hit(Call call, int fd = -1, const char* name = "", int flags = 0, unsigned mode = 0) {
    Rule& rule = RuleOf(call);
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

// The C library's own function of this name.
template <typename Function> Function Next(const char* name) {
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): dlsym returns void*
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

} // namespace

void Fail(Call call, int error, int skip, int times) {
    Rule& rule = RuleOf(call);
    std::tie(rule.error, rule.skip, rule.times) = std::tie(error, skip, times);
}

void Before(Call call, std::function<void(int, const char*, int, unsigned)> hook) {
    RuleOf(call).hook = std::move(hook);
}

int Count(Call call) {
    return RuleOf(call).count;
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

int renameat(int fromFd, const char* from, int toFd, const char* to) noexcept {
    return Hit(Call::Rename, toFd, to)
               ? -1
               : Next<decltype(&renameat)>("renameat")(fromFd, from, toFd, to);
}

int renameat2(int fromFd, const char* from, int toFd, const char* to, unsigned flags) noexcept {
    return Hit(Call::Renameat2, toFd, to)
               ? -1
               : Next<decltype(&renameat2)>("renameat2")(fromFd, from, toFd, to, flags);
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

ssize_t copy_file_range(int in, off64_t* inOffset, int out, off64_t* outOffset, size_t length,
                        unsigned flags) {
    return Hit(Call::CopyRange, out) ? -1
                                     : Next<decltype(&copy_file_range)>("copy_file_range")(
                                           in, inOffset, out, outOffset, length, flags);
}

ssize_t write(int fd, const void* data, size_t size) {
    return Hit(Call::Write, fd) ? -1 : Next<decltype(&write)>("write")(fd, data, size);
}

int fchmod(int fd, mode_t mode) noexcept {
    return Hit(Call::Fchmod, fd) ? -1 : Next<decltype(&fchmod)>("fchmod")(fd, mode);
}

int futimens(int fd, const timespec times[2]) noexcept {
    return Hit(Call::Futimens, fd) ? -1 : Next<decltype(&futimens)>("futimens")(fd, times);
}

int fstat(int fd, struct stat* st) noexcept {
    return Hit(Call::Fstat, fd) ? -1 : Next<decltype(&fstat)>("fstat")(fd, st);
}

int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    return request == FICLONE && Hit(Call::Clone, fd)
               ? -1
               : Next<decltype(&ioctl)>("ioctl")(fd, request, arg);
}

int mkdirat(int fd, const char* name, mode_t mode) noexcept {
    return Hit(Call::Mkdir, fd, name) ? -1 : Next<decltype(&mkdirat)>("mkdirat")(fd, name, mode);
}

} // extern "C"
// NOLINTEND(cert-dcl58-cpp, cppcoreguidelines-pro-type-vararg)
