// The file system on Windows.
//
// The engine's paths are UTF-8; they become UTF-16 here and reach Win32 with the \\?\ prefix, so
// that no path is cut at 260 characters and no name is altered on the way (trailing dots and
// blanks, device names such as CON). Reading follows links like an ordinary open. Writing never
// does: every folder on the way to a target is opened without following a reparse point and kept
// open, without delete sharing, so that it cannot be renamed or replaced until the copy is done;
// a copy is written into an exclusively created temporary beside the target and committed with
// one MoveFileExW, so a target is never seen half written. Error codes are GetLastError() values.

#include "ErrorCodes.h"
#include "FileSystem.h"
#include "Paths.h"
#include "Utf8.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cwchar>
#include <random>
#include <string>
#include <vector>
#include <windows.h>

namespace doplet {

namespace {

constexpr std::wstring_view kLongPrefix = L"\\\\?\\";
constexpr std::wstring_view kUncPrefix = L"\\\\?\\UNC\\";
// FILETIME counts 100 ns steps from 1601-01-01 UTC.
constexpr std::int64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kTicksFrom1601To1970 = 116'444'736'000'000'000;
// Attributes a copy carries from its source; the rest belong to the file system.
constexpr DWORD kCarriedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                     FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                     FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

int LastError() {
    return static_cast<int>(::GetLastError());
}

// ---- UTF-8 and UTF-16 ----

// False for a name that is not strict UTF-8: it is refused, never guessed at.
bool ToWide(std::string_view text, std::wstring* out) {
    std::u16string wide;
    if (!Utf8ToUtf16(text, &wide)) {
        return false;
    }
    out->assign(wide.begin(), wide.end());
    return true;
}

void AppendUtf8(std::wstring_view text, std::string* out) {
    AppendUtf16AsUtf8(std::u16string(text.begin(), text.end()), out);
}

// ---- paths ----

// A folder text as the user gave it, as an absolute \\?\ path without a trailing separator
// (relative texts are taken from the working folder at this moment). 0 or an error code.
int LongPath(const std::string& text, std::wstring* out) {
    std::wstring wide;
    if (!ToWide(text, &wide)) {
        return ERROR_NO_UNICODE_TRANSLATION;
    }
    if (wide.empty() || wide.find(L'\0') != std::wstring::npos) {
        return ERROR_INVALID_NAME;
    }
    if (wide.starts_with(kLongPrefix)) {
        *out = wide;
    } else {
        const DWORD need = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
        if (need == 0) {
            return LastError();
        }
        std::wstring full(need, L'\0');
        const DWORD got = ::GetFullPathNameW(wide.c_str(), need, full.data(), nullptr);
        if (got == 0 || got >= need) {
            return got == 0 ? LastError() : ERROR_FILENAME_EXCED_RANGE;
        }
        full.resize(got);
        if (full.starts_with(L"\\\\.\\")) {
            return ERROR_INVALID_NAME; // a device, not a folder
        }
        if (full.starts_with(L"\\\\")) {
            *out = std::wstring(kUncPrefix) + full.substr(2);
        } else {
            *out = std::wstring(kLongPrefix) + full;
        }
    }
    while (out->size() > kLongPrefix.size() && out->back() == L'\\') {
        out->pop_back();
    }
    return 0;
}

// The path by which a folder itself is opened: a drive root ("\\?\C:") or a share
// ("\\?\UNC\server\share") needs its trailing separator, other folders must not have one.
std::wstring OpenablePath(const std::wstring& folder) {
    bool root = folder.ends_with(L':');
    if (folder.starts_with(kUncPrefix)) {
        const std::size_t server = folder.find(L'\\', kUncPrefix.size());
        root = server == std::wstring::npos || folder.find(L'\\', server + 1) == std::wstring::npos;
    }
    return root ? folder + L'\\' : folder;
}

// A name that may stand as one component below a folder.
bool IsPlainName(std::wstring_view name) {
    return !name.empty() && name != L"." && name != L".." &&
           name.find_first_of(L"\\/") == std::wstring_view::npos;
}

// The folder's path followed by a relative path ("\sub\a.txt", "sub", or "" for the folder
// itself). As with the POSIX calls relative to a folder, a path that names its drive or share
// ("D:\data", "\\server\share\data") stands on its own.
int JoinWide(const std::wstring& folder, std::string_view relative, std::wstring* out) {
    const bool drive = relative.size() >= 2 && relative[1] == ':';
    if (drive || relative.starts_with("\\\\") || relative.starts_with("//")) {
        const int error = LongPath(std::string(relative), out);
        if (error == 0) {
            *out = OpenablePath(*out);
        }
        return error;
    }
    std::wstring wide;
    if (!ToWide(relative, &wide)) {
        return ERROR_NO_UNICODE_TRANSLATION;
    }
    std::replace(wide.begin(), wide.end(), L'/', L'\\'); // no name holds one
    while (!wide.empty() && wide.back() == L'\\') {
        wide.pop_back();
    }
    if (wide.empty()) {
        *out = OpenablePath(folder);
    } else {
        *out = wide.front() == L'\\' ? folder + wide : folder + L'\\' + wide;
    }
    return 0;
}

// The folder above `folder` by its path; a drive or a share is its own parent.
std::wstring ParentPath(const std::wstring& folder) {
    if (OpenablePath(folder) != folder) {
        return folder;
    }
    return folder.substr(0, std::max(folder.rfind(L'\\'), kLongPrefix.size()));
}

// ---- handles and what they tell ----

class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE handle) : handle_(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& other) noexcept : handle_(other.release()) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    ~Handle() { reset(); }

    [[nodiscard]] HANDLE get() const { return handle_; }
    [[nodiscard]] bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE release() {
        HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return handle;
    }
    void reset(HANDLE handle = INVALID_HANDLE_VALUE) {
        if (valid()) {
            ::CloseHandle(handle_);
        }
        handle_ = handle;
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

enum class Follow : std::uint8_t { Links, NoLinks };

// Opens a file or folder to look at it. Folders opened to write into them are pinned: nobody can
// rename or delete them while the handle is open.
Handle OpenToInspect(const std::wstring& path, Follow follow, bool pin = false) {
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | (pin ? 0 : FILE_SHARE_DELETE);
    const DWORD flags =
        FILE_FLAG_BACKUP_SEMANTICS | (follow == Follow::NoLinks ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    return Handle(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, share, nullptr, OPEN_EXISTING,
                                flags, nullptr));
}

// A symbolic link or a junction (a name surrogate); other reparse points, such as files kept in
// the cloud or deduplicated, are ordinary files and folders.
bool IsLinkTag(DWORD attributes, DWORD tag) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && IsReparseTagNameSurrogate(tag);
}

bool IsLink(HANDLE handle, const BY_HANDLE_FILE_INFORMATION& info) {
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return false;
    }
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) == 0) {
        return true; // not knowing what it is, never go through it
    }
    return IsLinkTag(info.dwFileAttributes, tag.ReparseTag);
}

std::uint64_t Join64(DWORD high, DWORD low) {
    return (static_cast<std::uint64_t>(high) << 32U) | low;
}

FileStat StatOfInfo(const BY_HANDLE_FILE_INFORMATION& info) {
    FileStat result;
    const bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    result.kind = folder ? EntryKind::Folder : EntryKind::File;
    result.size = folder ? 0 : Join64(info.nFileSizeHigh, info.nFileSizeLow);
    const auto since1970 = static_cast<std::int64_t>(Join64(info.ftLastWriteTime.dwHighDateTime,
                                                            info.ftLastWriteTime.dwLowDateTime)) -
                           kTicksFrom1601To1970;
    std::int64_t seconds = since1970 / kTicksPerSecond;
    std::int64_t rest = since1970 % kTicksPerSecond;
    if (rest < 0) { // floor, for times before 1970
        --seconds;
        rest += kTicksPerSecond;
    }
    result.mtimeSec = seconds;
    result.mtimeNsec = static_cast<std::uint32_t>(rest * 100);
    result.device = info.dwVolumeSerialNumber;
    result.inode = Join64(info.nFileIndexHigh, info.nFileIndexLow);
    result.attributes = info.dwFileAttributes;
    return result;
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

FileStat MissingStat(int error) {
    FileStat result;
    result.error = error;
    return result;
}

// ---- folders ----

class Win32Folder final : public Folder {
public:
    Win32Folder(std::wstring path, Handle handle, const BY_HANDLE_FILE_INFORMATION& info)
        : path_(std::move(path)), handle_(std::move(handle)), info_(info) {}

    // \\?\ path without a trailing separator.
    [[nodiscard]] const std::wstring& path() const { return path_; }
    [[nodiscard]] HANDLE handle() const { return handle_.get(); }
    [[nodiscard]] const BY_HANDLE_FILE_INFORMATION& info() const { return info_; }

private:
    std::wstring path_;
    Handle handle_;
    BY_HANDLE_FILE_INFORMATION info_;
};

Win32Folder& AsWin32(Folder& folder) {
    return static_cast<Win32Folder&>(folder);
}

// Opens the folder at `path`, pinned. Null with *error set when it is missing, no folder, or
// (with Follow::NoLinks) a link.
std::unique_ptr<Folder> OpenFolderAt(const std::wstring& path, Follow follow, int* error) {
    Handle handle = OpenToInspect(OpenablePath(path), follow, true);
    if (!handle.valid()) {
        *error = LastError();
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileInformationByHandle(handle.get(), &info) == 0) {
        *error = LastError();
        return nullptr;
    }
    if (follow == Follow::NoLinks && IsLink(handle.get(), info)) {
        *error = kErrorAccessDenied;
        return nullptr;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        *error = kErrorPathNotFound;
        return nullptr;
    }
    return std::make_unique<Win32Folder>(path, std::move(handle), info);
}

// True when `folder`'s path still leads, without links, to the folder that was opened.
bool StillThere(const Win32Folder& folder) {
    const Handle now = OpenToInspect(OpenablePath(folder.path()), Follow::Links);
    BY_HANDLE_FILE_INFORMATION info{};
    return now.valid() && ::GetFileInformationByHandle(now.get(), &info) != 0 &&
           SameFile(info, folder.info());
}

// ---- the copy ----

std::string RandomTempName() {
    thread_local std::mt19937_64 generator{
        std::random_device{}() ^ ::GetTickCount64() ^
        (static_cast<std::uint64_t>(::GetCurrentProcessId()) << 32U) ^ ::GetCurrentThreadId()};
    return CopyTemporaryName(generator());
}

// A file being written beside its target; removed again unless committed.
class Temporary {
public:
    explicit Temporary(const std::wstring& folder) : folder_(folder) {}
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;
    Temporary(Temporary&&) = delete;
    Temporary& operator=(Temporary&&) = delete;
    ~Temporary() {
        handle_.reset();
        if (!path_.empty()) {
            ::SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL); // read-only resists
            ::DeleteFileW(path_.c_str());
        }
    }

    // Creates the temporary under a fresh name, exclusively: never an existing file or link.
    // Nobody else may read or write it; delete sharing lets the commit rename it while open.
    int Create() {
        for (int attempt = 0; attempt < 16; ++attempt) {
            std::wstring name;
            ToWide(RandomTempName(), &name);
            std::wstring path = folder_ + L'\\' + name;
            handle_ = Handle(
                ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
            if (handle_.valid()) {
                path_ = std::move(path);
                return 0;
            }
            const int error = LastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
                return error;
            }
        }
        return ERROR_FILE_EXISTS;
    }

    [[nodiscard]] HANDLE handle() const { return handle_.get(); }

    // Puts the finished file in place of `target`. With `replace` clear the target must still be
    // missing, checked by the file system in the same step. 0 or an error code.
    int Commit(const std::wstring& target, bool replace) {
        const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
        if (::MoveFileExW(path_.c_str(), target.c_str(), flags) == 0) {
            return LastError();
        }
        path_.clear();
        handle_.reset();
        return 0;
    }

private:
    std::wstring folder_;
    std::wstring path_; // set while the temporary exists
    Handle handle_;
};

// Copies the whole content of `in` to `out`. 0 or an error code; *copied tells how many bytes.
int CopyContent(HANDLE in, HANDLE out, CopyWatch& watch, std::uint64_t* copied) {
    constexpr DWORD kChunk = 1U << 20U;
    thread_local std::vector<char> buffer(kChunk);
    *copied = 0;
    for (;;) {
        DWORD got = 0;
        if (::ReadFile(in, buffer.data(), kChunk, &got, nullptr) == 0) {
            return LastError();
        }
        if (got == 0) {
            return 0;
        }
        for (DWORD done = 0; done < got;) {
            DWORD put = 0;
            if (::WriteFile(out, buffer.data() + done, got - done, &put, nullptr) == 0) {
                return LastError();
            }
            done += put;
        }
        *copied += got;
        watch.copied(*copied);
    }
}

// What the target's name holds now, against what the pass saw (unless `seen` is null). 0 when a
// copy may go there.
int CheckTarget(const std::wstring& target, const FileStat* seen, bool* exists) {
    const Handle handle = OpenToInspect(target, Follow::NoLinks);
    if (!handle.valid()) {
        const int error = LastError();
        *exists = false;
        return error == ERROR_FILE_NOT_FOUND ? 0 : error; // nothing is replaced where nothing is
    }
    *exists = true;
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileInformationByHandle(handle.get(), &info) == 0) {
        return LastError();
    }
    // A folder, a link or a read-only file is never replaced, whatever the platform would allow.
    if ((info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0 ||
        IsLink(handle.get(), info)) {
        return kErrorAccessDenied;
    }
    if (seen != nullptr && (!seen->exists() || !StatOfInfo(info).sameVersionAs(*seen))) {
        return kErrorSharingViolation; // changed since the pass compared the ages
    }
    return 0;
}

class Win32FileSystem final : public FileSystem {
public:
    bool directoryExists(const std::string& path) override {
        std::wstring wide;
        if (path.empty() || LongPath(path, &wide) != 0) {
            return false;
        }
        const DWORD attributes = ::GetFileAttributesW(OpenablePath(wide).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES &&
               (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }

    std::unique_ptr<Folder> openRoot(const std::string& path, int* error) override {
        std::wstring wide;
        if (const int failure = LongPath(path, &wide); failure != 0) {
            *error = failure;
            return nullptr;
        }
        std::unique_ptr<Folder> folder = OpenFolderAt(wide, Follow::Links, error);
        if (!folder && *error == ERROR_FILE_NOT_FOUND) {
            *error = kErrorPathNotFound;
        }
        return folder;
    }

    std::unique_ptr<Folder> openSubfolder(Folder& parent, std::string_view name,
                                          int* error) override {
        std::wstring wide;
        if (!ToWide(name, &wide)) {
            *error = ERROR_NO_UNICODE_TRANSLATION;
            return nullptr;
        }
        if (wide == L"..") { // as the folder's path names it: Win32 has no ".." below \\?\ paths
            return OpenFolderAt(ParentPath(AsWin32(parent).path()), Follow::Links, error);
        }
        if (!IsPlainName(wide)) {
            *error = ERROR_INVALID_NAME;
            return nullptr;
        }
        return OpenFolderAt(AsWin32(parent).path() + L'\\' + wide, Follow::NoLinks, error);
    }

    void readFolder(Folder& folder,
                    const std::function<void(const FolderEntry&)>& onEntry) override {
        const std::wstring pattern = AsWin32(folder).path() + L"\\*";
        WIN32_FIND_DATAW data{};
        HANDLE find = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
        if (find == INVALID_HANDLE_VALUE) {
            return; // no entries at all, or a folder that cannot be read: it contributes nothing
        }
        std::string name;
        bool more = true;
        while (more) {
            const std::wstring_view wide(data.cFileName);
            if (wide != L"." && wide != L"..") {
                name.clear();
                AppendUtf8(wide, &name);
                FolderEntry entry;
                entry.name = name;
                if (IsLinkTag(data.dwFileAttributes, data.dwReserved0)) {
                    entry.kind = EntryKind::Link;
                } else if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                    entry.kind = EntryKind::Folder;
                } else {
                    entry.kind = EntryKind::File;
                    entry.size = Join64(data.nFileSizeHigh, data.nFileSizeLow);
                }
                onEntry(entry);
            }
            more = ::FindNextFileW(find, &data) != 0;
        }
        ::FindClose(find);
    }

    FileStat statFile(Folder& root, std::string_view relative) override {
        std::wstring path;
        if (const int error = JoinWide(AsWin32(root).path(), relative, &path); error != 0) {
            return MissingStat(error);
        }
        const Handle handle = OpenToInspect(path, Follow::Links);
        BY_HANDLE_FILE_INFORMATION info{};
        if (!handle.valid() || ::GetFileInformationByHandle(handle.get(), &info) == 0) {
            return MissingStat(LastError());
        }
        return StatOfInfo(info);
    }

    // Folders it creates get the security their parent passes on, as every new folder on Windows
    // does: never more open than the folder they are put in.
    std::unique_ptr<Folder> openTargetFolder(Folder& root, std::string_view relative,
                                             Folder& /*sourceRoot*/, int* error) override {
        std::wstring wide;
        if (!ToWide(relative, &wide)) {
            *error = ERROR_NO_UNICODE_TRANSLATION;
            return nullptr;
        }
        const Win32Folder& base = AsWin32(root);
        std::unique_ptr<Folder> folder = OpenFolderAt(base.path(), Follow::Links, error);
        if (folder && !SameFile(AsWin32(*folder).info(), base.info())) {
            *error = kErrorPathNotFound; // the root is no longer the folder the pass opened
            return nullptr;
        }
        std::wstring path = base.path();
        std::wstring_view rest = wide;
        while (folder) {
            const std::size_t first = rest.find_first_not_of(L'\\');
            if (first == std::wstring_view::npos) {
                return folder;
            }
            rest.remove_prefix(first);
            const std::size_t length = std::min(rest.find(L'\\'), rest.size());
            const std::wstring_view name = rest.substr(0, length);
            rest.remove_prefix(length);
            if (!IsPlainName(name)) {
                *error = kErrorAccessDenied;
                return nullptr;
            }
            path.push_back(L'\\');
            path.append(name);
            // The parent stays open (pinned) until its child is.
            std::unique_ptr<Folder> child = OpenFolderAt(path, Follow::NoLinks, error);
            if (!child && *error == ERROR_FILE_NOT_FOUND) {
                if (::CreateDirectoryW(path.c_str(), nullptr) == 0 &&
                    ::GetLastError() != ERROR_ALREADY_EXISTS) {
                    *error = LastError();
                    return nullptr;
                }
                child = OpenFolderAt(path, Follow::NoLinks, error);
            }
            folder = std::move(child);
        }
        if (*error == ERROR_FILE_NOT_FOUND) {
            *error = kErrorPathNotFound;
        }
        return nullptr;
    }

    // Who may read a file is the security system's to say when the copy opens it.
    int checkReadable(Folder& /*root*/, std::string_view /*relative*/) override { return 0; }

    // A folder's permissions are not looked at: what a user may do there is the security
    // system's to say when the copy is made.
    int checkWritable(Folder& folder, std::string_view name) override {
        if (name.empty()) {
            return 0;
        }
        std::wstring wide;
        if (!ToWide(name, &wide)) {
            return ERROR_NO_UNICODE_TRANSLATION;
        }
        if (!IsPlainName(wide)) {
            return kErrorAccessDenied;
        }
        bool exists = false;
        return CheckTarget(AsWin32(folder).path() + L'\\' + wide, nullptr, &exists);
    }

    int copyFile(Folder& sourceRoot, std::string_view sourceRelative, const FileStat& sourceSeen,
                 Folder& targetFolder, std::string_view targetName, const FileStat& targetSeen,
                 CopyWatch& watch) override {
        std::wstring sourcePath;
        if (const int error = JoinWide(AsWin32(sourceRoot).path(), sourceRelative, &sourcePath);
            error != 0) {
            return error;
        }
        // Nobody may write the source while it is copied; it may still be renamed meanwhile.
        const Handle in(::CreateFileW(sourcePath.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!in.valid()) {
            return LastError();
        }
        BY_HANDLE_FILE_INFORMATION before{};
        if (::GetFileInformationByHandle(in.get(), &before) == 0) {
            return LastError();
        }
        if ((before.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return kErrorAccessDenied;
        }
        if (!StatOfInfo(before).sameVersionAs(sourceSeen)) {
            return kErrorSharingViolation;
        }
        const Win32Folder& folder = AsWin32(targetFolder);
        std::wstring name;
        if (!ToWide(targetName, &name)) {
            return ERROR_NO_UNICODE_TRANSLATION;
        }
        if (!IsPlainName(name)) {
            return kErrorAccessDenied;
        }
        const std::wstring target = folder.path() + L'\\' + name;
        bool targetExists = false;
        if (const int error = CheckTarget(target, &targetSeen, &targetExists); error != 0) {
            return error;
        }

        Temporary temporary(folder.path());
        if (const int error = temporary.Create(); error != 0) {
            return error;
        }
        std::uint64_t copied = 0;
        if (const int error = CopyContent(in.get(), temporary.handle(), watch, &copied);
            error != 0) {
            return error;
        }
        // Attributes and last-write time last: no write may follow that would move the time.
        FILE_BASIC_INFO basic{};
        basic.LastWriteTime.LowPart = before.ftLastWriteTime.dwLowDateTime;
        basic.LastWriteTime.HighPart = static_cast<LONG>(before.ftLastWriteTime.dwHighDateTime);
        basic.FileAttributes = before.dwFileAttributes & kCarriedAttributes;
        if (basic.FileAttributes == 0) {
            basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        }
        if (::SetFileInformationByHandle(temporary.handle(), FileBasicInfo, &basic, sizeof basic) ==
            0) {
            return LastError();
        }
        BY_HANDLE_FILE_INFORMATION after{};
        if (::GetFileInformationByHandle(in.get(), &after) == 0) {
            return LastError();
        }
        if (!StatOfInfo(before).sameVersionAs(StatOfInfo(after)) ||
            copied != Join64(before.nFileSizeHigh, before.nFileSizeLow)) {
            return kErrorSharingViolation; // the source changed while it was being read
        }
        // Before the commit: the source's name and the target's folder must still be the files
        // the pass compared, and a target that existed must not have changed meanwhile.
        const FileStat sourceNow = statFile(sourceRoot, sourceRelative);
        if (!sourceNow.exists() || sourceNow.device != before.dwVolumeSerialNumber ||
            sourceNow.inode != Join64(before.nFileIndexHigh, before.nFileIndexLow)) {
            return kErrorSharingViolation;
        }
        if (!StillThere(folder)) {
            return kErrorPathNotFound;
        }
        bool existsNow = false;
        if (targetExists) {
            // A replaced target must be whole on the disk before the old one goes.
            if (::FlushFileBuffers(temporary.handle()) == 0) {
                return LastError();
            }
            if (const int error = CheckTarget(target, &targetSeen, &existsNow); error != 0) {
                return error;
            }
        }
        if (!watch.mayCommit()) {
            return kErrorPathNotFound; // the temporary goes, the target stays as it was
        }
        if (const int error = temporary.Commit(target, existsNow); error != 0) {
            return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS
                       ? kErrorSharingViolation // a file appeared under the name meanwhile
                       : error;
        }
        return 0;
    }
};

} // namespace

std::shared_ptr<FileSystem> MakeNativeFileSystem() {
    return std::make_shared<Win32FileSystem>();
}

} // namespace doplet
