// The engine's own promises on the platform's real file system, written portably so that the
// same table runs on Linux and, cross-built, on Windows (under Wine here): names beyond ASCII,
// paths beyond 260 characters, read-only files, the two-second age step, and a second pass that
// copies nothing and leaves no temporary behind.

#include "FolderListing.h"
#include "SyncPass.h"
#include "th_copy1.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace doplet {
namespace {

namespace fs = std::filesystem;
using std::chrono::seconds;

struct File {
    std::string path; // relative, with '/'
    std::string content;
    int second = 0; // last-write time, seconds after an even-second moment
    bool readOnly = false;
};
struct Expect {
    std::string path;
    std::string content1, content2; // "" for a file that must be missing
    bool readOnly = false;          // read-only on both sides
};
struct Case {
    const char* name;
    std::vector<File> one, two;
    std::vector<int> failures; // codes of the failure lines, in every pass
    std::vector<Expect> expect;
};

const std::string kLong = std::string(90, 'a') + "/" + std::string(90, 'b') + "/" +
                          std::string(90, 'c') + "/長い名前.txt";

const Case kCases[] = {
    {"names beyond ASCII, folders created",
     {{"日本語/資料/メモ.txt", "A"}},
     {},
     {},
     {{"日本語/資料/メモ.txt", "A", "A"}}},
    {"newer replaces older, both ways",
     {{"a.txt", "old", 0}, {"b.txt", "new", 10}},
     {{"a.txt", "new", 10}, {"b.txt", "old", 0}},
     {},
     {{"a.txt", "new", "new"}, {"b.txt", "new", "new"}}},
    {"same two-second step: nothing",
     {{"s.txt", "one", 0}},
     {{"s.txt", "two", 1}},
     {},
     {{"s.txt", "one", "two"}}},
    {"read-only target never replaced",
     {{"r.txt", "new", 10}},
     {{"r.txt", "old", 0, true}},
     {5},
     {{"r.txt", "new", "old"}}},
    {"read-only source carried", {}, {{"ro.txt", "R", 0, true}}, {}, {{"ro.txt", "R", "R", true}}},
    {"path beyond 260 characters", {{kLong, "L"}}, {}, {}, {{kLong, "L", "L"}}},
};

std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

fs::path Native(const fs::path& root, const std::string& relative) {
    return (root / fs::path(std::u8string(relative.begin(), relative.end()))).make_preferred();
}

struct Recorder final : PassHost {
    std::vector<LogLine> lines;
    void announceStart() override {}
    void announceLine(LogLine line) override { lines.push_back(std::move(line)); }
    void announceCompletion() override {}
    void announceFatal(std::string, std::string message) override { ADD_FAILURE() << message; }
    void workerEnded() override {}
};
struct NoLabels final : SizeLabels {
    void setSizeCaption(int, const std::string&) override {}
};

// Lists both sides and runs one pass, as the window does: its lines.
std::vector<LogLine> Pass(FileSystem& files, const fs::path& one, const fs::path& two) {
    PassInput input{Utf8(one), Utf8(two), nullptr, nullptr};
    NoLabels labels;
    std::uint64_t total = 0;
    auto list1 = std::make_shared<FileList>(1);
    auto list2 = std::make_shared<FileList>(2);
    ListFolder(files, input.folder1, "", *list1, labels, total);
    ListFolder(files, input.folder2, "", *list2, labels, total);
    input.list1 = list1;
    input.list2 = list2;
    Recorder host;
    WorkerControl control;
    EXPECT_TRUE(RunPass(files, input, host, control));
    return host.lines;
}

void Write(const fs::path& root, const File& file) {
    const fs::path path = Native(root, file.path);
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << file.content;
    // An even second of 2024, UTC, on every platform's file clock.
    const auto moment = std::chrono::sys_days(std::chrono::year(2024) / 5 / 1) + seconds(36000);
    fs::last_write_time(path, std::chrono::file_clock::from_sys(moment + seconds(file.second)));
    if (file.readOnly) {
        fs::permissions(path, fs::perms::all, fs::perm_options::remove);
        fs::permissions(path, fs::perms::owner_read, fs::perm_options::add);
    }
}

std::string Read(const fs::path& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return fs::exists(path) ? text.str() : "";
}

bool ReadOnly(const fs::path& path) {
    return (fs::status(path).permissions() & fs::perms::owner_write) == fs::perms::none;
}

// Removes the tree, read-only files too; true when it held a copy step's temporary. Walked with
// the engine's own listing calls: the C library's folder walk stops at 260 characters on Windows.
bool RemoveTree(FileSystem& files, const fs::path& path) {
    bool temporary = false;
    std::vector<std::pair<std::string, bool>> entries; // name, is a folder
    {
        int error = 0;
        const std::unique_ptr<Folder> folder = files.openRoot(Utf8(path), &error);
        EXPECT_TRUE(folder && files.readFolder(*folder, [&](const FolderEntry& entry) {
            entries.emplace_back(entry.name, entry.kind == EntryKind::Folder);
        })) << Utf8(path);
    }
    for (const auto& [name, isFolder] : entries) {
        temporary |= IsCopyTemporaryName(name);
        const fs::path child = Native(path, name);
        if (isFolder) {
            temporary |= RemoveTree(files, child);
        } else {
            fs::permissions(child, fs::perms::owner_write, fs::perm_options::add);
            fs::remove(child);
        }
    }
    fs::remove(path);
    return temporary;
}

TEST(RealFileSystem, PassKeepsItsPromises) {
    const auto files = MakeNativeFileSystem();
    fs::path base = fs::absolute(fs::temp_directory_path()) /
                    ("doplet-test-" + std::to_string(std::random_device{}()));
#ifdef _WIN32
    base = L"\\\\?\\" + base.native(); // the test's own file calls need it beyond 260
#endif
    for (const Case& row : kCases) {
        SCOPED_TRACE(row.name);
        const fs::path one = base / "one";
        const fs::path two = base / "two";
        fs::create_directories(one);
        fs::create_directories(two);
        for (const File& file : row.one) {
            Write(one, file);
        }
        for (const File& file : row.two) {
            Write(two, file);
        }
        for (int pass = 1; pass <= 2; ++pass) {
            std::vector<int> failures;
            for (const LogLine& line : Pass(*files, one, two)) {
                EXPECT_TRUE(pass == 1 || line.failed()) << "pass 2 copied " << line.text();
                if (line.failed()) {
                    failures.push_back(line.error);
                }
            }
            EXPECT_EQ(failures, row.failures) << "pass " << pass;
        }
        for (const Expect& expect : row.expect) {
            for (const auto& [root, content] :
                 {std::pair{one, expect.content1}, {two, expect.content2}}) {
                const fs::path path = Native(root, expect.path);
                EXPECT_EQ(Read(path), content) << Utf8(path);
                EXPECT_TRUE(!expect.readOnly || ReadOnly(path)) << Utf8(path) << " is writable";
            }
        }
        EXPECT_FALSE(RemoveTree(*files, base)) << "a temporary was left behind";
    }
}

} // namespace
} // namespace doplet
