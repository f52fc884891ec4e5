#include "TestFiles.h"

#include "th_copy1.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iomanip>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace doplet::test {

namespace fs = std::filesystem;

namespace {

std::string ErrnoText() {
    return std::error_code(errno, std::generic_category()).message();
}

} // namespace

TempDir::TempDir() {
    std::string pattern = "/tmp/doplet-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed: " + ErrnoText());
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    // Give every folder back its write bit, so that the removal also works for a user that is
    // not root; links are left alone.
    std::error_code ec;
    ::chmod(path_.c_str(), 0700);
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec)) {
            ::chmod(it->path().c_str(), 0700);
        }
    }
    fs::remove_all(path_, ec);
}

std::string TempDir::operator/(std::string_view relative) const {
    while (!relative.empty() && relative.front() == '/') {
        relative.remove_prefix(1);
    }
    return path_ + "/" + std::string(relative);
}

std::string TempDir::makeFolder(std::string_view relative) const {
    std::string path = *this / relative;
    fs::create_directories(path);
    return path;
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
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(mtime.sec);
    times[1].tv_nsec = static_cast<long>(mtime.nsec);
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0)
        << path << ": " << ErrnoText();
}

void PrintTo(const FileTime& time, std::ostream* out) {
    *out << time.sec << "." << std::setw(9) << std::setfill('0') << time.nsec;
}

std::optional<std::string> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

struct stat LStat(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path << ": " << ErrnoText();
    return st;
}

FileTime MtimeOf(const std::string& path) {
    const struct stat st = LStat(path);
    return {st.st_mtim.tv_sec, static_cast<std::uint32_t>(st.st_mtim.tv_nsec)};
}

mode_t ModeOf(const std::string& path) {
    return LStat(path).st_mode & 07777;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> NamesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> TreeOf(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        names.push_back(fs::relative(entry.path(), folder).string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool HasCopyTemporary(const std::string& folder) {
    return std::any_of(fs::recursive_directory_iterator(folder), fs::recursive_directory_iterator(),
                       [](const fs::directory_entry& entry) {
                           return entry.path().filename().string().rfind(".doplet-", 0) == 0;
                       });
}

std::shared_ptr<FileList> ListTree(FileSystem& fs, const std::string& root, int tag) {
    auto list = std::make_shared<FileList>(tag);
    RecordingLabels labels;
    std::uint64_t total = 0;
    ListFolder(fs, root, "", *list, labels, total);
    return list;
}

std::vector<std::string> LinesOf(const FileList& list) {
    std::vector<std::string> lines;
    lines.reserve(list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        lines.emplace_back(list.at(i));
    }
    return lines;
}

std::vector<std::string> ListAndPass(FileSystem& fs, const std::string& folder1,
                                     const std::string& folder2) {
    struct Host final : PassHost {
        void announceStart() override {}
        void announceLine(LogLine line) override { lines.push_back(line.text()); }
        void announceCompletion() override {}
        void announceFatal(std::string errorClass, std::string message) override {
            ADD_FAILURE() << errorClass << ": " << message;
        }
        void workerEnded() override {}
        std::vector<std::string> lines;
    } host;
    WorkerControl control;
    RunPass(fs, {folder1, folder2, ListTree(fs, folder1, 1), ListTree(fs, folder2, 2)}, host,
            control);
    return host.lines;
}

} // namespace doplet::test
