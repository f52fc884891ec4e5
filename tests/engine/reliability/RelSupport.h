#pragma once

// Tools of the reliability tests: scratch folders that can be removed however deep they grow,
// files with known content and times, snapshots of whole trees, passes run in this process or in
// the helper program, and the seeds and sizes of the randomised tests.

#include "FileSystem.h"
#include "FolderListing.h"
#include "SyncPass.h"
#include "TestFiles.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>
#include <tuple>
#include <vector>

namespace doplet::rel {

// A fresh folder below /tmp (mode 0755, so that an unprivileged helper can reach into it),
// removed with everything below it when the object goes, also trees deeper than PATH_MAX,
// read-only folders and folders an unprivileged helper made.
class Scratch final {
public:
    Scratch();
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    Scratch(Scratch&&) = delete;
    Scratch& operator=(Scratch&&) = delete;

    [[nodiscard]] const std::string& path() const { return path_; }
    // The path of `relative` ("a/b" or "/a/b") below the scratch folder.
    [[nodiscard]] std::string operator/(std::string_view relative) const;
    // Creates the folder `relative` with every missing parent and returns its path.
    std::string folder(std::string_view relative) const;

private:
    std::string path_;
};

// Removes a tree with file-descriptor-relative calls only, so any depth works. Links are
// removed, never followed.
void RemoveTree(const std::string& path);

// A last-write time.
struct Stamp {
    std::int64_t sec = 0;
    std::uint32_t nsec = 0;
    friend bool operator==(const Stamp&, const Stamp&) = default;
};
std::string ToString(const Stamp& stamp);

// The age the pass gives a time: its two-second step, floored (so 1960 works as well).
std::int64_t StepOf(const Stamp& stamp);

// Writes a file with exactly this content, mode and last-write time, creating missing parent
// folders. The file is written in place (not renamed), as an editor that saves in place would.
void PutFile(const std::string& path, std::string_view content, Stamp mtime, mode_t mode = 0644);
// Replaces a file the way most editors save: a new file renamed over the old name.
void SaveFile(const std::string& path, std::string_view content, Stamp mtime, mode_t mode = 0644);
void SetStamp(const std::string& path, Stamp mtime);
std::optional<std::string> Slurp(const std::string& path);
// lstat; nothing when the name does not exist.
std::optional<struct stat> LookUp(const std::string& path);
Stamp StampOf(const struct stat& st);

// A fast 64-bit hash of bytes (not cryptographic; tells versions apart).
std::uint64_t Hash(std::string_view bytes);
// The hash of a file's content, read in large pieces; nothing when it cannot be read.
std::optional<std::uint64_t> HashFile(const std::string& path);
std::optional<std::uint64_t> HashFd(int fd);
// Bytes that depend only on the seed; writes `size` of them to a new file.
std::string PatternBytes(std::uint64_t seed, std::size_t size);
void WritePatternFile(const std::string& path, std::uint64_t seed, std::uint64_t size);

// One name below a root as a snapshot saw it.
struct Node {
    enum class Kind : std::uint8_t { File, Folder, Link, Other } kind = Kind::File;
    std::uint64_t size = 0;
    std::uint64_t hash = 0; // files only
    Stamp mtime;
    mode_t mode = 0; // permission and set-id bits
    uid_t uid = 0;
    dev_t dev = 0;
    ino_t ino = 0;
    friend bool operator==(const Node&, const Node&) = default;
};
// Every name below a root ("/a", "/a/b.txt"), links not followed.
using Snapshot = std::map<std::string, Node>;

// Remembers file hashes by identity and change time, so that only files written since the last
// snapshot are read again.
class HashCache final {
public:
    // The hash of the file `name` in the open folder `folderFd`, whose lstat is `st`.
    std::uint64_t hashOf(int folderFd, const std::string& name, const struct stat& st);
    // A file whose content never changes while the test runs (checked by the test at its end):
    // its hash is taken as known whatever happens to its times and links.
    void pin(dev_t dev, ino_t ino, std::uint64_t hash) { pinned_[{dev, ino}] = hash; }
    [[nodiscard]] std::uint64_t bytesHashed() const { return bytesHashed_; }

private:
    struct Key {
        dev_t dev;
        ino_t ino;
        std::int64_t ctimeSec;
        long ctimeNsec;
        off_t size;
        bool operator<(const Key& other) const {
            return std::tie(dev, ino, ctimeSec, ctimeNsec, size) <
                   std::tie(other.dev, other.ino, other.ctimeSec, other.ctimeNsec, other.size);
        }
    };
    std::map<Key, std::uint64_t> known_;
    std::map<std::pair<dev_t, ino_t>, std::uint64_t> pinned_;
    std::uint64_t bytesHashed_ = 0;
};

Snapshot TakeSnapshot(const std::string& root, HashCache* cache = nullptr);
// Names in a snapshot that look like the copy step's temporaries.
std::vector<std::string> TemporariesIn(const Snapshot& snapshot);

// The real file system with hooks a test runs from inside the engine's calls, to change the disk
// at exactly the moment between two of the engine's steps.
class HookedFileSystem final : public FileSystem {
public:
    HookedFileSystem();

    // After a look-up of `relative` below a root, before its result goes back to the pass.
    std::function<void(std::string_view relative)> afterStat;
    // Before a copy is handed to the real file system.
    std::function<void(std::string_view sourceRelative, std::string_view targetName)> beforeCopy;
    // After the real copy, with its result.
    std::function<void(std::string_view sourceRelative, std::string_view targetName, int result)>
        afterCopy;

    bool directoryExists(const std::string& path) override;
    std::unique_ptr<Folder> openRoot(const std::string& path, int* error) override;
    std::unique_ptr<Folder> openSubfolder(Folder& parent, std::string_view name,
                                          int* error) override;
    bool readFolder(Folder& folder,
                    const std::function<void(const FolderEntry&)>& onEntry) override;
    FileStat statFile(Folder& root, std::string_view relative) override;
    std::unique_ptr<Folder> openTargetFolder(Folder& root, std::string_view relative,
                                             int* error) override;
    int copyFile(Folder& sourceRoot, std::string_view sourceRelative, const FileStat& sourceSeen,
                 Folder& targetFolder, std::string_view targetName,
                 const FileStat& targetSeen) override;

private:
    std::shared_ptr<FileSystem> real_;
};

// A listing into a new list (tag 1 or 2), as the main window makes it.
// The engine tests' own helpers, shared here.
using test::LinesOf;
inline std::shared_ptr<FileList> ListSide(FileSystem& fs, const std::string& root, int tag) {
    return test::ListTree(fs, root, tag);
}
// A list with exactly these entries, in this order.
std::shared_ptr<FileList> MakeList(const std::vector<std::string>& entries, int tag);

// A pass run to its end on the calling thread.
struct PassOutcome {
    std::vector<LogLine> lines;
    bool completed = false;
    [[nodiscard]] std::size_t failures() const;
    [[nodiscard]] std::vector<std::string> texts() const;
};
PassOutcome RunPassHere(FileSystem& fs, const PassInput& input);
// Lists both folders and runs a pass over them.
PassOutcome ListAndRun(FileSystem& fs, const std::string& folder1, const std::string& folder2);
// A pass on its own worker thread, as the copy window starts it. A pass that has not ended
// after `limit` fails the test (the engine hangs) and the outcome says so.
PassOutcome RunPassOnWorker(std::shared_ptr<FileSystem> fs, PassInput input, int limitSeconds = 60);

std::string FailureText(const std::string& source, int code);
std::string SuccessText(const std::string& source, const std::string& target);

// The helper program (reliability_helper), see its source for its commands.
std::string HelperPath();
// Runs a command to its end with stdout and stderr captured. Returns the wait status.
struct ChildOutcome {
    int status = -1;
    std::string out;
    std::string err;
    [[nodiscard]] bool exitedWith(int code) const;
};
ChildOutcome RunCommand(const std::vector<std::string>& argv);
// Starts a command with stdout to a file (or /dev/null when empty); returns its process id.
pid_t StartCommand(const std::vector<std::string>& argv, const std::string& stdoutPath);
// The log lines the helper printed, one per line: "<code>\t<source>\t<target>", with the
// backslash, tab and newline escaped.
std::vector<LogLine> ParseHelperLines(std::string_view out);
std::string EscapeField(std::string_view text);

// Runs the helper as the unprivileged user nobody:nogroup. A copy of the helper is placed in
// `scratch` first, so that nobody can run it whatever the build folder's permissions.
std::vector<std::string> AsNobody(const Scratch& scratch, std::vector<std::string> helperArgs);
// True when this process may switch to another user (root).
bool CanSwitchUser();

// Seeds and sizes: the seed is printed so that a failing run can be repeated with
// DOPLET_SEED=<seed>; DOPLET_LONG_TESTS=1 makes the randomised tests run much longer.
std::uint64_t SeedFor(std::string_view testName);
bool LongTests();
// An integer from the environment, or the fallback.
std::int64_t EnvNumber(const char* name, std::int64_t fallback);
// The text of an errno value.
std::string ErrorText(int err);

} // namespace doplet::rel
