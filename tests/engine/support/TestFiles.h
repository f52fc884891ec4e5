#pragma once

// Real folder trees for the engine's tests: a temporary folder that removes itself, helpers to
// write, read and inspect files in it, snapshots of whole trees, and passes run to their end.

#include "FileSystem.h"
#include "FolderListing.h"
#include "SyncPass.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace doplet::test {

// A fresh folder below the temporary folder, removed with everything in it (also trees deeper
// than the platform's longest path, and read-only folders) when the object goes.
class TempDir final {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    [[nodiscard]] const std::string& path() const { return path_; }
    // The path of `relative` ("sub/a.txt" or "/sub/a.txt") below this folder.
    [[nodiscard]] std::string operator/(std::string_view relative) const;
    // Creates (with every missing parent) and returns the folder `relative` below this one.
    std::string makeFolder(std::string_view relative) const;

private:
    std::string path_;
};

// `path` ("/sub/a.txt") with the platform's separator: '/' becomes '\' on Windows.
std::string Native(std::string_view path);

// A last-write time.
struct FileTime {
    std::int64_t sec = 0;
    std::uint32_t nsec = 0;
    bool operator==(const FileTime&) const = default;
};
// A time well inside the years every file system keeps, on an even second.
inline constexpr std::int64_t kBaseTime = 1'600'000'000;

// Writes `content` to `path` in place (creating missing parent folders) and sets its time.
void WriteFile(const std::string& path, std::string_view content, FileTime mtime = {kBaseTime, 0});
void SetMtime(const std::string& path, FileTime mtime);
// The content of a file, or nothing when it cannot be read.
std::optional<std::string> ReadFile(const std::string& path);
// The file's own status (a link is not followed). Fails the test when it does not exist. Not on
// Windows, nor are snapshots.
struct stat LStat(const std::string& path);

// One name below a root as a snapshot saw it: a file with its content, time and mode, a folder,
// or a link with its target.
struct Node {
    char kind = 'f'; // 'f' file, 'd' folder, 'l' link, 's' anything else
    std::string content;
    FileTime mtime;
    mode_t mode = 0;
    bool operator==(const Node&) const = default;
};
// Every name below a root ("/a", "/a/b.txt"), links not followed, at any depth.
using Snapshot = std::map<std::string, Node>;
Snapshot TakeSnapshot(const std::string& root);

// The log lines of a pass: `entry` ("/sub/a.txt", written with '/') copied from root `from` to
// root `to`, or failed with `code`.
std::string Copied(const std::string& from, const std::string& to, std::string_view entry);
std::string Failed(const std::string& from, std::string_view entry, int code);

// A list filled by a listing, with the lines it received.
std::shared_ptr<FileList> ListTree(FileSystem& fs, const std::string& root, int tag = 1);
std::vector<std::string> LinesOf(const FileList& list);
// Both folders listed, as the main window hands them to a pass.
PassInput ListBoth(FileSystem& fs, const std::string& folder1, const std::string& folder2);
// Runs a whole pass from the calling thread with `workers` copying at once; returns its log
// lines. *completed tells whether it announced its completion.
std::vector<std::string> RunPassHere(FileSystem& fs, const PassInput& input,
                                     bool* completed = nullptr, unsigned workers = 1);

// Size labels that record every caption set.
struct RecordingLabels final : SizeLabels {
    void setSizeCaption(int label, const std::string& caption) override {
        captions.emplace_back(label, caption);
    }
    std::vector<std::pair<int, std::string>> captions;
};

} // namespace doplet::test
