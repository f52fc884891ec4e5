// The file system on Linux and other POSIX systems.
//
// Reading follows links like an ordinary open. Writing never does: target folders are reached
// beneath the root's handle without following any link, and a copy is written into an unnamed
// (or, where the file system has none, an exclusively created) temporary in the target's folder
// and committed with one link or rename, so a target is never seen half written.

#include "ErrorCodes.h"
#include "FileSystem.h"
#include "Paths.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <random>
#include <string>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

#if __has_include(<linux/openat2.h>)
#include <linux/openat2.h>
#endif

namespace doplet {

namespace {

// A relative path longer than this is resolved in pieces.
constexpr std::size_t kPathPiece = 3000;

class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    ~FileDescriptor() {
        if (valid()) {
            ::close(fd_);
        }
    }

    [[nodiscard]] int get() const { return fd_; }
    [[nodiscard]] bool valid() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd) {
        if (valid()) {
            ::close(fd_);
        }
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

class PosixFolder final : public Folder {
public:
    explicit PosixFolder(FileDescriptor fd) : fd_(std::move(fd)) {}
    [[nodiscard]] int fd() const { return fd_.get(); }

private:
    FileDescriptor fd_;
};

int FdOf(Folder& folder) {
    return static_cast<PosixFolder&>(folder).fd();
}

std::unique_ptr<Folder> MakeFolder(FileDescriptor fd) {
    return std::make_unique<PosixFolder>(std::move(fd));
}

// "/sub/a.txt" -> "sub/a.txt"; "" and "/" -> ".". The text lives in a buffer of the calling
// thread, valid until its next call: a pass looks up millions of paths and allocates for none.
const std::string& RelativeForAt(std::string_view relative) {
    thread_local std::string buffer;
    while (!relative.empty() && relative.front() == kSeparator) {
        relative.remove_prefix(1);
    }
    if (relative.empty()) {
        relative = ".";
    }
    buffer.assign(relative);
    return buffer;
}

EntryKind KindOfMode(mode_t mode) {
    if (S_ISREG(mode)) {
        return EntryKind::File;
    }
    if (S_ISDIR(mode)) {
        return EntryKind::Folder;
    }
    if (S_ISLNK(mode)) {
        return EntryKind::Link;
    }
    return EntryKind::Special;
}

std::uint32_t AttributesOfMode(mode_t mode) {
    std::uint32_t attributes = S_ISDIR(mode) ? kAttrFolder : 0;
    if ((mode & S_IWUSR) == 0) {
        attributes |= kAttrReadOnly;
    }
    return attributes;
}

FileStat StatFromStruct(const struct stat& st) {
    FileStat result;
    result.kind = KindOfMode(st.st_mode);
    result.size = static_cast<std::uint64_t>(st.st_size);
    result.mtimeSec = st.st_mtim.tv_sec;
    result.mtimeNsec = static_cast<std::uint32_t>(st.st_mtim.tv_nsec);
    result.device = st.st_dev;
    result.inode = st.st_ino;
    result.attributes = AttributesOfMode(st.st_mode);
    return result;
}

FileStat MissingStat(int err) {
    FileStat result;
    result.error = ErrorCodeFromErrno(err);
    return result;
}

// Opens the folder part of a relative path too long to hand to the kernel in one piece, a few
// thousand bytes at a time, following links as an ordinary lookup would. On success *rest is
// the last name. Returns an invalid descriptor with errno set on failure.
FileDescriptor OpenLongParent(int rootFd, std::string_view relative, std::string* rest) {
    FileDescriptor current(::fcntl(rootFd, F_DUPFD_CLOEXEC, 0));
    const std::size_t lastSeparator = relative.rfind(kSeparator);
    std::string_view folders = relative.substr(0, lastSeparator);
    *rest = std::string(relative.substr(lastSeparator + 1));
    while (current.valid() && !folders.empty()) {
        std::size_t cut = folders.size();
        if (cut > kPathPiece) {
            cut = folders.rfind(kSeparator, kPathPiece);
            if (cut == std::string_view::npos) { // no name is that long
                errno = ENAMETOOLONG;
                return {};
            }
        }
        const std::string piece(folders.substr(0, cut));
        folders.remove_prefix(std::min(cut + 1, folders.size()));
        current = FileDescriptor(
            ::openat(current.get(), piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    }
    return current;
}

// fstatat that also copes with relative paths longer than the kernel takes at once.
int StatAt(int rootFd, const std::string& relative, struct stat* st, int flags) {
    if (::fstatat(rootFd, relative.c_str(), st, flags) == 0) {
        return 0;
    }
    if (errno != ENAMETOOLONG) {
        return -1;
    }
    std::string name;
    const FileDescriptor parent = OpenLongParent(rootFd, relative, &name);
    if (!parent.valid()) {
        return -1;
    }
    return ::fstatat(parent.get(), name.c_str(), st, flags);
}

int OpenAt(int rootFd, const std::string& relative, int flags) {
    const int fd = ::openat(rootFd, relative.c_str(), flags);
    if (fd >= 0 || errno != ENAMETOOLONG) {
        return fd;
    }
    std::string name;
    const FileDescriptor parent = OpenLongParent(rootFd, relative, &name);
    if (!parent.valid()) {
        return -1;
    }
    return ::openat(parent.get(), name.c_str(), flags);
}

std::string RandomTempName() {
    thread_local std::mt19937_64 generator{std::random_device{}()};
    return CopyTemporaryName(generator());
}

// Opens the folder `relative` below the root without following links, in one call where the
// kernel can resolve beneath a handle. Returns -1 with errno set; ENOSYS means "walk instead".
int OpenBeneath(int rootFd, const std::string& relative) {
#if defined(SYS_openat2) && defined(RESOLVE_BENEATH)
    struct open_how how {};
    how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    return static_cast<int>(::syscall(SYS_openat2, rootFd, relative.c_str(), &how, sizeof how));
#else
    (void)rootFd;
    (void)relative;
    errno = ENOSYS;
    return -1;
#endif
}

// After a failed open of a target path component: a symbolic link there reads ENOTDIR from an
// O_NOFOLLOW open; it becomes ELOOP, the code resolving beneath the root gives for the same link,
// so that a link on the way is refused alike on every kernel. Returns -1 with errno set.
int RefuseComponent(int parentFd, const std::string& name) {
    const int err = errno;
    struct stat st {};
    const bool isLink = err == ENOTDIR &&
                        ::fstatat(parentFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                        S_ISLNK(st.st_mode);
    errno = isLink ? ELOOP : err;
    return -1;
}

mode_t CopyAttributes(int in, int out, mode_t sourceMode);

// Gives a folder the pass has just created (still owner-only) what its source folder has: owner
// (as root), extended attributes and ACLs, and permission bits without set-id and sticky bits.
// The owner keeps full access, so that the pass can fill the folder. Best effort: the folder is
// never more open than its source, whatever fails.
void TakeOverFolder(int parentFd, const std::string& name, int sourceFd, bool asRoot) {
    const FileDescriptor source(::openat(sourceFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const FileDescriptor made(
        ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (!source.valid() || !made.valid() || ::fstat(source.get(), &st) != 0) {
        return;
    }
    if (asRoot) {
        (void)::fchown(made.get(), st.st_uid, st.st_gid);
    }
    (void)::fchmod(made.get(), CopyAttributes(source.get(), made.get(), st.st_mode) | S_IRWXU);
}

// One component of a target path: opened without following a link, created when missing. A
// folder created is owner-only until it has its source folder's permissions (`sourceFd`, or
// none: -1), so it is never more open than the source at any moment.
int OpenOrCreateComponent(int parentFd, const std::string& name, int sourceFd, bool asRoot) {
    if (name == "." || name == "..") {
        errno = EACCES;
        return -1;
    }
    const int flags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::openat(parentFd, name.c_str(), flags);
    if (fd >= 0) {
        return fd;
    }
    if (errno != ENOENT) {
        return RefuseComponent(parentFd, name);
    }
    const bool made = ::mkdirat(parentFd, name.c_str(), sourceFd >= 0 ? 0700 : 0777) == 0;
    if (!made && errno != EEXIST) {
        errno = ENOENT; // a folder that cannot be created leaves the target's folder missing
        return -1;
    }
    if (made && sourceFd >= 0) {
        TakeOverFolder(parentFd, name, sourceFd, asRoot);
    }
    fd = ::openat(parentFd, name.c_str(), flags);
    return fd >= 0 ? fd : RefuseComponent(parentFd, name);
}

// The content is copied in steps of this size at most, so that the watch hears of a large file
// while it is being copied.
constexpr std::size_t kCopyStep = std::size_t{16} << 20U;

// Copies the bytes [at, end) of `in` to the same place in `out`, in the kernel where it can.
int CopyRange(int in, int out, off_t at, off_t end, CopyWatch& watch) {
    thread_local std::vector<char> buffer(1U << 20U);
    while (at < end) {
        off_t inAt = at;
        off_t outAt = at;
        ssize_t done = ::copy_file_range(
            in, &inAt, out, &outAt, std::min(kCopyStep, static_cast<std::size_t>(end - at)), 0);
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done < 0) {
            done = ::pread(in, buffer.data(),
                           std::min(buffer.size(), static_cast<std::size_t>(end - at)), at);
            for (ssize_t put = 0; done > 0 && put < done;) {
                const ssize_t wrote = ::pwrite(out, buffer.data() + put,
                                               static_cast<std::size_t>(done - put), at + put);
                if (wrote < 0 && errno != EINTR) {
                    return errno;
                }
                put += std::max<ssize_t>(wrote, 0);
            }
            if (done < 0 && errno != EINTR) {
                return errno;
            }
        }
        if (done == 0) {
            return 0; // the source shrank: the caller notices the change
        }
        at += std::max<ssize_t>(done, 0);
        watch.copied(static_cast<std::uint64_t>(at));
    }
    return 0;
}

// Copies a file with holes as a file with the same holes: only its data is written, and the
// copy is given its full length at the end. 0 or errno.
int CopySparse(int in, int out, std::uint64_t size, CopyWatch& watch, std::uint64_t* copied) {
    const auto end = static_cast<off_t>(size);
    if (::ftruncate(out, end) != 0) {
        return errno; // a file system that cannot hold holes (FAT through FUSE)
    }
    for (off_t data = 0; data < end;) {
        data = ::lseek(in, data, SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO) {
                break; // nothing but a hole up to the end
            }
            return errno;
        }
        const off_t hole = ::lseek(in, data, SEEK_HOLE);
        if (hole < 0) {
            return errno;
        }
        if (const int err = CopyRange(in, out, data, std::min(hole, end), watch); err != 0) {
            return err;
        }
        data = hole;
    }
    *copied = size;
    return 0;
}

// Copies the whole content of `in` to `out`: a clone where the file system shares blocks, the
// kernel's in-kernel copy otherwise, plain reads and writes as a last resort; a file with holes
// keeps them. 0 or errno; *copied tells how many bytes the copy holds.
int CopyContent(int in, int out, const struct stat& source, std::atomic<bool>& tryClone,
                CopyWatch& watch, std::uint64_t* copied) {
    const auto size = static_cast<std::uint64_t>(source.st_size);
    *copied = 0;
    if (tryClone.load(std::memory_order_relaxed)) {
        if (::ioctl(out, FICLONE, in) == 0) {
            *copied = size;
            return 0;
        }
        if (errno == EOPNOTSUPP || errno == ENOTTY || errno == EXDEV || errno == EINVAL ||
            errno == ENOSYS) {
            tryClone.store(false, std::memory_order_relaxed);
        }
    }
    if (static_cast<std::uint64_t>(source.st_blocks) * 512U < size) {
        if (CopySparse(in, out, size, watch, copied) == 0) {
            return 0;
        }
        // Written again from the start: what the sparse copy wrote is overwritten, and the
        // copy's length is the source's in the end.
        if (::lseek(in, 0, SEEK_SET) != 0 || ::lseek(out, 0, SEEK_SET) != 0) {
            return errno;
        }
        *copied = 0;
    }
    bool inKernel = true;
    while (inKernel && *copied < size) { // a source that grows is noticed by the caller
        const ssize_t done = ::copy_file_range(in, nullptr, out, nullptr, kCopyStep, 0);
        if (done == 0) {
            return 0;
        }
        if (done > 0) {
            *copied += static_cast<std::uint64_t>(done);
            watch.copied(*copied);
            continue;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL) {
            return errno;
        }
        inKernel = false;
    }
    // The in-kernel copy may have written part of the file before it gave up: go on from where
    // the two offsets stand.
    thread_local std::vector<char> buffer(1U << 20U);
    while (*copied < size) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got == 0) {
            return 0;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(out, buffer.data() + done, static_cast<size_t>(got - done));
            if (put < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return errno;
            }
            done += put;
        }
        *copied += static_cast<std::uint64_t>(got);
        watch.copied(*copied);
    }
    return 0;
}

// A file being written beside its target; removed again unless committed.
class Temporary {
public:
    explicit Temporary(int folderFd) : folderFd_(folderFd) {}
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;
    Temporary(Temporary&&) = delete;
    Temporary& operator=(Temporary&&) = delete;
    ~Temporary() {
        if (!name_.empty()) {
            ::unlinkat(folderFd_, name_.c_str(), 0);
        }
    }

    // Creates the temporary: unnamed where the file system allows, else under a fresh name
    // created exclusively (never an existing file, never through a link). 0 or errno.
    int Create() {
        fd_.reset(::openat(folderFd_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
        if (fd_.valid()) {
            return 0;
        }
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT) {
            return errno;
        }
        return CreateNamed();
    }

    [[nodiscard]] int fd() const { return fd_.get(); }
    [[nodiscard]] bool named() const { return !name_.empty(); }

    // Puts the finished file in place of `target`. With `replace` clear the target must still be
    // missing (EEXIST otherwise), checked by the kernel in the same step.
    int Commit(const std::string& target, bool replace) {
        if (name_.empty()) { // unnamed
            if (!replace) {
                return LinkUnnamed(target);
            }
            int error = 0;
            std::string name;
            for (int attempt = 0; attempt < 16; ++attempt) {
                name = RandomTempName();
                error = LinkUnnamed(name);
                if (error != EEXIST) {
                    break;
                }
            }
            if (error != 0) {
                return error;
            }
            name_ = name;
        }
        if (replace) {
            if (::renameat(folderFd_, name_.c_str(), folderFd_, target.c_str()) != 0) {
                return errno;
            }
        } else if (::renameat2(folderFd_, name_.c_str(), folderFd_, target.c_str(),
                               RENAME_NOREPLACE) != 0) {
            if (errno != EINVAL && errno != ENOSYS) {
                return errno;
            }
            // No exchange-free rename here: a hard link fails just as well on an existing name.
            if (::linkat(folderFd_, name_.c_str(), folderFd_, target.c_str(), 0) == 0) {
                ::unlinkat(folderFd_, name_.c_str(), 0);
            } else if (errno == EPERM || errno == EOPNOTSUPP || errno == EMLINK) {
                // Neither (exFAT through FUSE, some network file systems): look once more that
                // the name is still free, then rename, as a replacement does after its own look.
                if (const int err = RenameIfFree(target); err != 0) {
                    return err;
                }
            } else {
                return errno;
            }
        }
        name_.clear();
        return 0;
    }

private:
    int RenameIfFree(const std::string& target) {
        struct stat st {};
        if (::fstatat(folderFd_, target.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            return EEXIST;
        }
        if (errno != ENOENT) {
            return errno;
        }
        return ::renameat(folderFd_, name_.c_str(), folderFd_, target.c_str()) == 0 ? 0 : errno;
    }

    int CreateNamed() {
        for (int attempt = 0; attempt < 16; ++attempt) {
            std::string name = RandomTempName();
            fd_.reset(::openat(folderFd_, name.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
            if (fd_.valid()) {
                name_ = std::move(name);
                return 0;
            }
            if (errno != EEXIST) {
                return errno;
            }
        }
        return EEXIST;
    }

    int LinkUnnamed(const std::string& name) {
        if (::linkat(fd_.get(), "", folderFd_, name.c_str(), AT_EMPTY_PATH) == 0) {
            return 0;
        }
        if (errno != ENOENT && errno != EPERM && errno != EINVAL) {
            return errno;
        }
        const std::string self = "/proc/self/fd/" + std::to_string(fd_.get());
        if (::linkat(AT_FDCWD, self.c_str(), folderFd_, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            return 0;
        }
        return errno;
    }

    int folderFd_;
    FileDescriptor fd_;
    std::string name_; // set while a named temporary exists
};

constexpr std::string_view kAclAccess = "system.posix_acl_access";

// The owning group's permission bits under an access ACL, for a copy that cannot hold the ACL:
// the ACL's group entry within the mode's group bits (which hold the ACL's mask); without it, the
// copy's group would get the mask.
mode_t GroupBitsUnderAcl(std::string_view acl, mode_t mode) {
    constexpr std::size_t kHeader = 4;
    constexpr std::size_t kEntry = 8;
    constexpr unsigned kGroupObject = 0x04;
    unsigned group = 7;
    for (std::size_t at = kHeader; at + kEntry <= acl.size(); at += kEntry) {
        const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(acl[at + k]); };
        if ((byte(0) | (byte(1) << 8U)) == kGroupObject) {
            group = (byte(2) | (byte(3) << 8U)) & 7U;
        }
    }
    return (mode & ~static_cast<mode_t>(S_IRWXG)) | (mode & (group << 3U));
}

// Carries the extended attributes of `in` (ACLs among them) to `out`, as far as the file system of
// `out` holds them, and returns the permission bits `out` is to get: the source's without set-id
// and sticky bits, with the group narrowed where the source's ACL could not be carried.
mode_t CopyAttributes(int in, int out, mode_t sourceMode) {
    mode_t mode = sourceMode & 0777;
    thread_local std::vector<char> names(4096);
    ssize_t length = ::flistxattr(in, names.data(), names.size());
    if (length < 0 && errno == ERANGE) {
        names.resize(static_cast<std::size_t>(std::max<ssize_t>(::flistxattr(in, nullptr, 0), 0)));
        length = ::flistxattr(in, names.data(), names.size());
    }
    std::string value;
    for (std::size_t at = 0; length > 0 && at < static_cast<std::size_t>(length);) {
        const char* name = names.data() + at;
        at += std::strlen(name) + 1;
        const ssize_t size = ::fgetxattr(in, name, nullptr, 0);
        value.resize(static_cast<std::size_t>(std::max<ssize_t>(size, 0)));
        const ssize_t got = ::fgetxattr(in, name, value.data(), value.size());
        if (got < 0) {
            continue;
        }
        value.resize(static_cast<std::size_t>(got));
        if (::fsetxattr(out, name, value.data(), value.size(), 0) != 0 && name == kAclAccess) {
            mode = GroupBitsUnderAcl(value, mode);
        }
    }
    return mode;
}

bool SameVersion(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// What the target's name holds now, against what the pass saw (unless `seen` is null). 0 when a
// copy may go there. `asRoot`: the owner's write bit decides alone, as root may write every file.
int CheckTarget(int folderFd, const std::string& name, const FileStat* seen, bool asRoot,
                bool* exists) {
    struct stat st {};
    if (::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT) {
            return ErrorCodeFromErrno(errno);
        }
        *exists = false;
        return 0; // nothing is replaced where nothing is
    }
    *exists = true;
    if (!S_ISREG(st.st_mode) || (st.st_mode & S_IWUSR) == 0) {
        return kErrorAccessDenied; // a folder, a link, a special or a read-only file
    }
    // A file this user may not write is not replaced either, although a writable folder would
    // let the rename through (as root every file is writable, and the owner's bit above decides).
    if (!asRoot && ::faccessat(folderFd, name.c_str(), W_OK, AT_EACCESS) != 0 &&
        (errno == EACCES || errno == EPERM)) {
        return kErrorAccessDenied;
    }
    if (seen != nullptr && (!seen->exists() || !StatFromStruct(st).sameVersionAs(*seen))) {
        return kErrorSharingViolation; // changed since the pass compared the ages
    }
    return 0;
}

// The code for a failure to write into a target folder. A folder removed since it was opened
// answers ENOENT (or EPERM, for an unnamed temporary): that is a missing folder, not a missing
// source or a denied access.
int TargetFolderErrorCode(int folderFd, int err) {
    struct stat st {};
    if (err == ENOENT || (::fstat(folderFd, &st) == 0 && st.st_nlink == 0)) {
        return kErrorPathNotFound;
    }
    return ErrorCodeFromErrno(err);
}

class PosixFileSystem final : public FileSystem {
public:
    bool directoryExists(const std::string& path) override {
        struct stat st {};
        return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }

    std::unique_ptr<Folder> openRoot(const std::string& path, int* error) override {
        FileDescriptor fd(::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!fd.valid()) {
            *error = errno == ENOENT ? kErrorPathNotFound : ErrorCodeFromErrno(errno);
            return nullptr;
        }
        return MakeFolder(std::move(fd));
    }

    std::unique_ptr<Folder> openSubfolder(Folder& parent, std::string_view name,
                                          int* error) override {
        const std::string copy(name);
        FileDescriptor fd(
            ::openat(FdOf(parent), copy.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd.valid()) {
            // Missing: 2; a file there: 3; a link there: 5, as when a copy meets it on its way.
            RefuseComponent(FdOf(parent), copy);
            *error = ErrorCodeFromErrno(errno);
            return nullptr;
        }
        return MakeFolder(std::move(fd));
    }

    void readFolder(Folder& folder,
                    const std::function<void(const FolderEntry&)>& onEntry) override {
        const int fd = ::openat(FdOf(folder), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            return;
        }
        DIR* dir = ::fdopendir(fd);
        if (dir == nullptr) {
            ::close(fd);
            return;
        }
        const int dirFd = ::dirfd(dir);
        // NOLINTNEXTLINE(concurrency-mt-unsafe): this stream is used by this call alone
        while (const dirent* raw = ::readdir(dir)) {
            const std::string_view name(raw->d_name);
            if (name == "." || name == "..") {
                continue;
            }
            FolderEntry entry;
            entry.name = name;
            if (raw->d_type == DT_DIR) {
                entry.kind = EntryKind::Folder;
            } else {
                struct stat st {};
                if (::fstatat(dirFd, raw->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                    continue; // gone since the folder was read
                }
                entry.kind = KindOfMode(st.st_mode);
                entry.size =
                    entry.kind == EntryKind::Folder ? 0 : static_cast<std::uint64_t>(st.st_size);
            }
            onEntry(entry);
        }
        ::closedir(dir);
    }

    FileStat statFile(Folder& root, std::string_view relative) override {
        struct stat st {};
        if (StatAt(FdOf(root), RelativeForAt(relative), &st, 0) != 0) {
            return MissingStat(errno);
        }
        return StatFromStruct(st);
    }

    std::unique_ptr<Folder> openTargetFolder(Folder& root, std::string_view relative,
                                             Folder& sourceRoot, int* error) override {
        const std::string& path = RelativeForAt(relative);
        FileDescriptor fd(OpenBeneath(FdOf(root), path));
        if (fd.valid()) {
            return MakeFolder(std::move(fd));
        }
        if (errno == ELOOP || errno == EXDEV || errno == ENOTDIR || errno == EACCES) {
            // A path that leaves the root (EXDEV) is refused as the walk refuses "..": 5.
            *error = errno == ENOTDIR ? kErrorPathNotFound
                     : errno == EXDEV ? kErrorAccessDenied
                                      : ErrorCodeFromErrno(errno);
            return nullptr;
        }
        // Missing folders (or no resolving beneath a handle): walk one component at a time.
        fd = FileDescriptor(::fcntl(FdOf(root), F_DUPFD_CLOEXEC, 0));
        // The source folder at the same place, followed as a read would follow it; -1 past
        // where it can be reached.
        FileDescriptor source(::fcntl(FdOf(sourceRoot), F_DUPFD_CLOEXEC, 0));
        std::string_view rest = relative;
        while (fd.valid()) {
            const std::size_t first = rest.find_first_not_of(kSeparator);
            if (first == std::string_view::npos) {
                return MakeFolder(std::move(fd));
            }
            rest.remove_prefix(first);
            const std::size_t length = std::min(rest.find(kSeparator), rest.size());
            const std::string name(rest.substr(0, length));
            if (source.valid()) {
                source = FileDescriptor(
                    ::openat(source.get(), name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
            }
            fd = FileDescriptor(OpenOrCreateComponent(
                fd.get(), name, source.valid() ? source.get() : -1, runAsRoot_));
            rest.remove_prefix(length);
        }
        // A file on the way, or a folder on the way (or the root) removed meanwhile.
        *error =
            errno == ENOTDIR || errno == ENOENT ? kErrorPathNotFound : ErrorCodeFromErrno(errno);
        return nullptr;
    }

    int checkReadable(Folder& root, std::string_view relative) override {
        if (::faccessat(FdOf(root), RelativeForAt(relative).c_str(), R_OK, AT_EACCESS) == 0 ||
            errno == ENAMETOOLONG) { // a path that long is read in pieces: the copy will tell
            return 0;
        }
        return ErrorCodeFromErrno(errno);
    }

    int checkWritable(Folder& folder, std::string_view name) override {
        const int folderFd = FdOf(folder);
        bool exists = false;
        if (!name.empty()) {
            if (const int error =
                    CheckTarget(folderFd, std::string(name), nullptr, runAsRoot_, &exists);
                error != 0) {
                return error;
            }
        }
        // The temporary is made in the folder, whether or not the name is there already.
        if (::faccessat(folderFd, ".", W_OK | X_OK, AT_EACCESS) != 0) {
            return ErrorCodeFromErrno(errno);
        }
        return 0;
    }

    int copyFile(Folder& sourceRoot, std::string_view sourceRelative, const FileStat& sourceSeen,
                 Folder& targetFolder, std::string_view targetName, const FileStat& targetSeen,
                 CopyWatch& watch) override {
        // Non-blocking, so that a pipe put in the file's place can never hang the pass.
        const FileDescriptor in(OpenAt(FdOf(sourceRoot), RelativeForAt(sourceRelative),
                                       O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (!in.valid()) {
            return ErrorCodeFromErrno(errno);
        }
        struct stat before {};
        if (::fstat(in.get(), &before) != 0) {
            return ErrorCodeFromErrno(errno);
        }
        if (!S_ISREG(before.st_mode)) {
            return kErrorAccessDenied;
        }
        if (!StatFromStruct(before).sameVersionAs(sourceSeen)) {
            return kErrorSharingViolation;
        }
        const int folderFd = FdOf(targetFolder);
        const std::string name(targetName);
        if (name.empty() || name == "." || name == "..") {
            return kErrorAccessDenied;
        }
        // A target the pass found missing is looked at again only if the commit, which takes a
        // name only while it is free, finds it taken (by a link that leads nowhere, say).
        bool targetExists = false;
        const bool seenMissing = !targetSeen.exists() && (targetSeen.error == kErrorFileNotFound ||
                                                          targetSeen.error == kErrorPathNotFound);
        if (!seenMissing) {
            if (const int error =
                    CheckTarget(folderFd, name, &targetSeen, runAsRoot_, &targetExists);
                error != 0) {
                return error;
            }
        }

        Temporary temporary(folderFd);
        if (const int err = temporary.Create(); err != 0) {
            return TargetFolderErrorCode(folderFd, err);
        }
        std::uint64_t copied = 0;
        if (const int err =
                CopyContent(in.get(), temporary.fd(), before, tryClone_, watch, &copied);
            err != 0) {
            return ErrorCodeFromErrno(err);
        }
        if (runAsRoot_ && (before.st_uid != userId_ || before.st_gid != groupId_)) {
            // Best effort: run as root, the copy still belongs to the source's owner.
            (void)::fchown(temporary.fd(), before.st_uid, before.st_gid);
        }
        // Permission bits only: never set-user-ID, set-group-ID or sticky; and never more open
        // than the source's ACL where the copy cannot hold it.
        // A file system that keeps no permissions (FAT through FUSE) may refuse any change.
        if (::fchmod(temporary.fd(), CopyAttributes(in.get(), temporary.fd(), before.st_mode)) !=
                0 &&
            errno != ENOSYS && errno != EOPNOTSUPP && errno != EPERM) {
            return ErrorCodeFromErrno(errno);
        }
        const std::array<timespec, 2> times{before.st_atim, before.st_mtim};
        if (::futimens(temporary.fd(), times.data()) != 0) {
            return ErrorCodeFromErrno(errno);
        }
        struct stat after {};
        if (::fstat(in.get(), &after) != 0) {
            return ErrorCodeFromErrno(errno);
        }
        if (!SameVersion(before, after) || copied != static_cast<std::uint64_t>(before.st_size)) {
            return kErrorSharingViolation; // the source changed while it was being read
        }
        // Look again just before replacing a target: a user may have saved it meanwhile. Where
        // there was none, the commit itself fails if one has appeared.
        bool existsNow = false;
        if (targetExists) {
            if (const int error = CheckTarget(folderFd, name, &targetSeen, runAsRoot_, &existsNow);
                error != 0) {
                return error;
            }
        }
        if (!watch.mayCommit()) {
            return kErrorPathNotFound; // the temporary goes, the target stays as it was
        }
        const bool renamed = temporary.named();
        if (const int err = temporary.Commit(name, existsNow); err != 0) {
            if (err != EEXIST) {
                return TargetFolderErrorCode(folderFd, err);
            }
            const int error =
                seenMissing ? CheckTarget(folderFd, name, &targetSeen, runAsRoot_, &existsNow) : 0;
            return error != 0 ? error : kErrorSharingViolation;
        }
        // Some file systems without unnamed temporaries (FAT through FUSE) stamp a renamed file
        // with the time of the rename: the copy gets its source's time back.
        struct stat committed {};
        if (renamed && ::fstat(temporary.fd(), &committed) == 0 &&
            (committed.st_mtim.tv_sec != before.st_mtim.tv_sec ||
             committed.st_mtim.tv_nsec != before.st_mtim.tv_nsec)) {
            (void)::futimens(temporary.fd(), times.data());
        }
        return 0;
    }

private:
    std::atomic<bool> tryClone_{true};
    const uid_t userId_ = ::geteuid();
    const gid_t groupId_ = ::getegid();
    const bool runAsRoot_ = userId_ == 0;
};

} // namespace

std::shared_ptr<FileSystem> MakeNativeFileSystem() {
    // Deep trees keep one folder open per level while they are walked.
    static const bool raised = [] {
        rlimit limit{};
        if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
            limit.rlim_cur = limit.rlim_max;
            ::setrlimit(RLIMIT_NOFILE, &limit);
        }
        return true;
    }();
    (void)raised;
    return std::make_shared<PosixFileSystem>();
}

} // namespace doplet
