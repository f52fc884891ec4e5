#include "TestFiles.h"

#include "Paths.h"
#include "RecordingHost.h"
#include "th_copy1.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <unistd.h>

namespace doplet::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::mt19937_64 random{std::random_device{}()};
    do { // a fresh name, created exclusively
        path_ = (fs::temp_directory_path() / ("doplet-test-" + std::to_string(random()))).string();
    } while (!fs::create_directory(path_));
    fs::permissions(path_, fs::perms(0755)); // so that a pass run as another user can reach into it
}

TempDir::~TempDir() {
#ifdef _WIN32
    std::error_code ignored;
    fs::remove_all(path_, ignored);
#else
    // Folders without write permission, and trees too deep for one path, need more than
    // std::filesystem: rm takes them folder by folder.
    // NOLINTNEXTLINE(concurrency-mt-unsafe, cert-env33-c): test clean-up only
    (void)std::system(
        ("chmod -R u+rwx '" + path_ + "' 2>/dev/null; rm -rf '" + path_ + "'").c_str());
#endif
}

std::string TempDir::operator/(std::string_view relative) const {
    return path_ + "/" +
           std::string(relative.substr(std::min(relative.find_first_not_of('/'), relative.size())));
}

std::string TempDir::makeFolder(std::string_view relative) const {
    std::string path = *this / relative;
    fs::create_directories(path);
    return path;
}

std::string Native(std::string_view path) {
    std::string native(path);
    std::replace(native.begin(), native.end(), '/', kSeparator);
    return native;
}

std::string Copied(const std::string& from, const std::string& to, std::string_view entry) {
    return from + Native(entry) + "->" + to + Native(entry);
}

std::string Failed(const std::string& from, std::string_view entry, int code) {
    return from + Native(entry) + "失敗しました Error－" + std::to_string(code);
}

void WriteFile(const std::string& path, std::string_view content, FileTime mtime) {
    fs::create_directories(fs::path(path).parent_path());
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        ASSERT_TRUE(out) << "cannot write " << path;
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
    }
    SetMtime(path, mtime);
}

void SetMtime(const std::string& path, FileTime mtime) {
    using namespace std::chrono;
    fs::last_write_time(
        path, file_clock::from_sys(sys_seconds(seconds(mtime.sec)) + nanoseconds(mtime.nsec)));
}

std::optional<std::string> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return in ? std::optional(content.str()) : std::nullopt;
}

#ifndef _WIN32 // modes, links and folder handles: the Linux tests only
struct stat LStat(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

namespace {

// Walks with handles relative to each folder, so that any depth works.
void SnapshotFolder(int folderFd, const std::string& relative, Snapshot& tree) {
    DIR* dir = ::fdopendir(folderFd);
    ASSERT_NE(dir, nullptr) << relative;
    while (const dirent* entry = ::readdir(dir)) { // NOLINT(concurrency-mt-unsafe)
        const std::string name = entry->d_name;
        struct stat st {};
        if (name == "." || name == ".." ||
            ::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;
        }
        Node& node = tree[relative + "/" + name];
        node.mtime = {st.st_mtim.tv_sec, static_cast<std::uint32_t>(st.st_mtim.tv_nsec)};
        node.mode = st.st_mode & 07777;
        node.kind = S_ISREG(st.st_mode)   ? 'f'
                    : S_ISDIR(st.st_mode) ? 'd'
                    : S_ISLNK(st.st_mode) ? 'l'
                                          : 's';
        if (node.kind == 'd') {
            node.mtime = {};
            SnapshotFolder(::openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY),
                           relative + "/" + name, tree);
        } else if (node.kind == 'l') {
            node.content.resize(4096);
            node.content.resize(static_cast<std::size_t>(
                std::max<ssize_t>(0, ::readlinkat(folderFd, name.c_str(), node.content.data(),
                                                  node.content.size()))));
        } else if (const int fd = ::openat(folderFd, name.c_str(), O_RDONLY | O_NONBLOCK);
                   fd >= 0) {
            char buffer[65536];
            for (ssize_t got; node.kind == 'f' && (got = ::read(fd, buffer, sizeof buffer)) > 0;) {
                node.content.append(buffer, static_cast<std::size_t>(got));
            }
            ::close(fd);
        }
    }
    ::closedir(dir);
}

} // namespace

Snapshot TakeSnapshot(const std::string& root) {
    Snapshot tree;
    SnapshotFolder(::open(root.c_str(), O_RDONLY | O_DIRECTORY), "", tree);
    return tree;
}
#endif

std::shared_ptr<FileList> ListTree(FileSystem& fs, const std::string& root, int tag) {
    auto list = std::make_shared<FileList>(tag);
    RecordingLabels labels;
    std::uint64_t total = 0;
    ListFolder(fs, root, "", *list, labels, total);
    return list;
}

std::vector<std::string> LinesOf(const FileList& list) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < list.size(); ++i) {
        lines.emplace_back(list.at(i));
    }
    return lines;
}

PassInput ListBoth(FileSystem& fs, const std::string& folder1, const std::string& folder2) {
    return {folder1, folder2, ListTree(fs, folder1, 1), ListTree(fs, folder2, 2)};
}

std::vector<std::string> RunPassHere(FileSystem& fs, const PassInput& input, bool* completed,
                                     unsigned workers) {
    RecordingHost host;
    WorkerControl control;
    const bool done = RunPass(fs, input, host, control, workers);
    if (completed != nullptr) {
        *completed = done && host.completed();
    }
    return host.lines();
}

} // namespace doplet::test
