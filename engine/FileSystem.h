#pragma once

// The engine's only door to the disk. Everything the listing, the pass and the copy step do to
// files goes through this interface, so that the engine runs on another platform behind another
// implementation, and tests can wrap the real one to inject faults.
//
// Paths are the platform's native byte strings with the native separator (kSeparator): on Linux
// names need not be valid UTF-8; on Windows they are UTF-8, turned into UTF-16 at the back-end's
// edge. Relative paths below a root ("/sub/a.txt") always begin with a separator.
//
// Every operation stands for a promise about the user's files, so none has a default: a new
// implementation, or a wrapper that forgets to forward one, does not compile.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace doplet {

// Attribute bits of a looked-up file, as the rest of the system knows them.
inline constexpr std::uint32_t kAttrReadOnly = 1;
inline constexpr std::uint32_t kAttrFolder = 16;

enum class EntryKind : std::uint8_t {
    Missing, // nothing there
    File,    // a regular file
    Folder,  // a folder
    Link,    // a symbolic link (only ever reported by readFolder, which never follows links)
    Special, // pipe, socket, device
};

// One entry of a folder as readFolder reports it. The name is only valid during the callback.
struct FolderEntry {
    std::string_view name;
    EntryKind kind = EntryKind::Missing;
    std::uint64_t size = 0;
};

// What a lookup of one path found. Links are resolved: kind is never Link.
struct FileStat {
    EntryKind kind = EntryKind::Missing;
    std::uint64_t size = 0;
    std::int64_t mtimeSec = 0; // last-write time, seconds since 1970-01-01 UTC (negative before)
    std::uint32_t mtimeNsec = 0;
    std::uint64_t device = 0; // identity of the file, to notice a file replaced by another
    std::uint64_t inode = 0;
    std::uint32_t attributes = 0;
    int error = 0; // platform error code (see ErrorCodes.h) when kind is Missing

    [[nodiscard]] bool exists() const { return kind != EntryKind::Missing; }
    // Same file, same content as far as size and last-write time can tell.
    [[nodiscard]] bool sameVersionAs(const FileStat& other) const {
        return kind == other.kind && size == other.size && mtimeSec == other.mtimeSec &&
               mtimeNsec == other.mtimeNsec && device == other.device && inode == other.inode;
    }
};

// An open folder: a listing root, a pass root or a folder reached below one. Paths handed to the
// file system together with a Folder are resolved beneath it.
class Folder {
public:
    Folder() = default;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    Folder(Folder&&) = delete;
    Folder& operator=(Folder&&) = delete;
    virtual ~Folder() = default;
};

// What a copy in hand tells its caller, and asks it, on the copying thread.
class CopyWatch {
public:
    CopyWatch() = default;
    CopyWatch(const CopyWatch&) = delete;
    CopyWatch& operator=(const CopyWatch&) = delete;
    CopyWatch(CopyWatch&&) = delete;
    CopyWatch& operator=(CopyWatch&&) = delete;
    virtual ~CopyWatch() = default;

    // So many bytes of the content are written (now and then, not after every block).
    virtual void copied(std::uint64_t bytes) = 0;
    // Asked once the copy is complete, just before it is put in place: false drops it, leaves the
    // target as it was, and the copy fails with "path not found" (3).
    virtual bool mayCommit() = 0;
};

class FileSystem {
public:
    FileSystem() = default;
    FileSystem(const FileSystem&) = delete;
    FileSystem& operator=(const FileSystem&) = delete;
    FileSystem(FileSystem&&) = delete;
    FileSystem& operator=(FileSystem&&) = delete;
    virtual ~FileSystem() = default;

    // True exactly when the path names an existing folder (links in the path are followed).
    virtual bool directoryExists(const std::string& path) = 0;

    // Opens a root folder as the user named it (links in the path are followed, a relative path is
    // taken from the working folder at this moment). Null with *error set when it is no folder.
    virtual std::unique_ptr<Folder> openRoot(const std::string& path, int* error) = 0;

    // Opens the subfolder `name` of an open folder without following a link. Null on failure,
    // with *error 2 when nothing has the name, else the code a copy meeting it on its way gets.
    virtual std::unique_ptr<Folder> openSubfolder(Folder& parent, std::string_view name,
                                                  int* error) = 0;

    // Reports every entry of an open folder except "." and "..", in the platform's order, without
    // following links. A folder that cannot be read reports what it could (perhaps nothing).
    virtual void readFolder(Folder& folder,
                            const std::function<void(const FolderEntry&)>& onEntry) = 0;

    // Looks up the path `relative` below `root`, following links like an ordinary open would.
    virtual FileStat statFile(Folder& root, std::string_view relative) = 0;

    // Opens the folder `relative` below `root` for writing into it, creating every missing folder
    // on the way, outermost first. Never follows a symbolic link and never leaves the root: a link
    // or a file on the way is a failure. "" is the root itself. Every folder it creates gets what
    // the folder at the same place below `sourceRoot` has (permission bits without set-id bits,
    // ACLs, extended attributes), as far as the file system holds them; a created folder is never
    // more open than its source, at any moment. Null with *error set on failure.
    virtual std::unique_ptr<Folder> openTargetFolder(Folder& root, std::string_view relative,
                                                     Folder& sourceRoot, int* error) = 0;

    // Whether the file `relative` below `root` could be read for a copy, judged without opening it:
    // 0, or the code the copy would fail with where that can be known beforehand.
    virtual int checkReadable(Folder& root, std::string_view relative) = 0;

    // Whether a copy could be put into the open folder `folder` as its entry `name` ("" for a
    // folder to be created there), judged without writing anything: 0, or the code the copy would
    // fail with where that can be known beforehand (a folder this user may not write into, a
    // read-only file system, a read-only file, a folder, link or special file in the name's place).
    virtual int checkWritable(Folder& folder, std::string_view name) = 0;

    // Copies the file `sourceRelative` below `sourceRoot` to the entry `targetName` of the open
    // folder `targetFolder`: content, permission bits (without set-id bits) and last-write time.
    // The target either keeps its old content or gets the complete new one: the copy is written
    // aside and committed with one rename, and only if neither file changed since the caller saw
    // them (`sourceSeen`, `targetSeen`; a missing target must still be missing). An existing
    // read-only target, a folder, a link or a special file is never replaced or opened.
    // `watch` hears how far the content has come and has the last word before the commit.
    // Returns 0 on success, else the error code for the failure line.
    virtual int copyFile(Folder& sourceRoot, std::string_view sourceRelative,
                         const FileStat& sourceSeen, Folder& targetFolder,
                         std::string_view targetName, const FileStat& targetSeen,
                         CopyWatch& watch) = 0;
};

// The real file system of this platform.
std::shared_ptr<FileSystem> MakeNativeFileSystem();

// Temporaries the copy step writes beside a target look like ".doplet-<16 hex digits>.tmp". The
// listing never lists such a name, so a temporary a crash left behind is never synchronised.
bool IsCopyTemporaryName(std::string_view name);
// The temporary name made of 64 random bits.
std::string CopyTemporaryName(std::uint64_t random);

} // namespace doplet
