// The pass's promises on the platform's real file system, end to end through doplet-sync (the
// engine's pass without a window). Written portably, so that the same table runs on Linux and,
// cross-built, on Windows (under Wine here): names beyond ASCII, paths beyond 260 characters,
// read-only files, the two-second age step, and a second pass that copies nothing and leaves no
// temporary behind.

#include "FileSystem.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace doplet {
namespace {

namespace fs = std::filesystem;

struct File {
    std::string path; // relative, with '/'
    std::string content;
    int second = 0; // last-write time, seconds after an even-second moment
    bool readOnly = false;
};
struct Case {
    const char* name;
    std::vector<File> one, two;
    std::vector<int> failures; // codes of the failure lines, in every pass
    // Afterwards: path, content on side 1 and on side 2, read-only on both sides.
    std::vector<std::tuple<std::string, std::string, std::string, bool>> expect;
};

// An even second of 2024, UTC, on every platform's file clock.
constexpr auto kMoment = std::chrono::sys_days(std::chrono::year(2024) / 5 / 1);

std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

fs::path Native(const fs::path& root, const std::string& relative) {
    return (root / fs::path(std::u8string(relative.begin(), relative.end()))).make_preferred();
}

// Runs doplet-sync over both sides, as the copy window would run its pass: each line's code (0 for
// a copy), read back from its standard output.
std::vector<int> Pass(const fs::path& one, const fs::path& two) {
    const fs::path out = one.parent_path() / "out.txt";
#ifdef _WIN32 // cmd /c takes off an outer pair of quotes; a narrow command would be ANSI
    const std::string outer = "\"";
    const auto run = [](const std::string& text) {
        return _wsystem(fs::path(std::u8string(text.begin(), text.end())).c_str());
    };
#else
    const std::string outer;
    const auto run = [](const std::string& text) {
        return std::system(text.c_str()); // NOLINT(concurrency-mt-unsafe): one thread
    };
#endif
    std::string command = outer;
    for (const fs::path& word : {fs::path(DOPLET_SYNC).make_preferred(), one, two}) {
        command.append("\"").append(Utf8(word)).append("\" ");
    }
    command.append(">\"").append(Utf8(out)).append("\"").append(outer);
    EXPECT_NE(run(command), -1);
    const std::string failed = "失敗しました Error－";
    std::vector<int> codes;
    std::ifstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t at = line.find(failed);
        codes.push_back(at == std::string::npos ? 0 : std::stoi(line.substr(at + failed.size())));
    }
    return codes;
}

void Write(const fs::path& root, const File& file) {
    const fs::path path = Native(root, file.path);
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << file.content;
    fs::last_write_time(
        path, std::chrono::file_clock::from_sys(kMoment + std::chrono::seconds(file.second)));
    fs::permissions(path, fs::perms::owner_read |
                              (file.readOnly ? fs::perms::none : fs::perms::owner_write));
}

// Removes the tree, read-only files too; true when it held a copy step's temporary. Walked with
// the engine's own listing calls: the C library's folder walk stops at 260 characters on Windows.
bool RemoveTree(FileSystem& files, const fs::path& path) {
    std::vector<std::pair<std::string, bool>> entries; // name, is a folder
    int error = 0;
    if (const std::unique_ptr<Folder> folder = files.openRoot(Utf8(path), &error)) {
        files.readFolder(*folder, [&](const FolderEntry& entry) {
            entries.emplace_back(entry.name, entry.kind == EntryKind::Folder);
        });
    }
    bool temporary = false;
    for (const auto& [name, isFolder] : entries) {
        const fs::path child = Native(path, name);
        temporary |= IsCopyTemporaryName(name) || (isFolder && RemoveTree(files, child));
        if (!isFolder) {
            fs::permissions(child, fs::perms::owner_write, fs::perm_options::add);
        }
        fs::remove(child);
    }
    fs::remove(path);
    return temporary;
}

TEST(RealFileSystem, PassKeepsItsPromises) {
    const std::string longPath = std::string(90, 'a') + "/" + std::string(90, 'b') + "/" +
                                 std::string(90, 'c') + "/長い名前.txt";
    const std::string names = "日本語/Café 🎵/メモ.txt"; // three-, two- and four-byte UTF-8
    // clang-format off
    const std::vector<Case> cases = {
        {"names beyond ASCII, folders created", {{names, "A"}}, {}, {}, {{names, "A", "A", false}}},
        {"newer replaces older, both ways", {{"a.txt", "old", 0}, {"b.txt", "new", 10}},
         {{"a.txt", "new", 10}, {"b.txt", "old", 0}}, {}, {{"a.txt", "new", "new", false}, {"b.txt", "new", "new", false}}},
        {"same two-second step: nothing", {{"s.txt", "one", 0}}, {{"s.txt", "two", 1}}, {}, {{"s.txt", "one", "two", false}}},
        {"read-only target never replaced", {{"r.txt", "new", 10}}, {{"r.txt", "old", 0, true}}, {5},
         {{"r.txt", "new", "old", false}}},
        {"read-only source carried", {}, {{"ro.txt", "R", 0, true}}, {}, {{"ro.txt", "R", "R", true}}},
        {"path beyond 260 characters", {{longPath, "L"}}, {}, {}, {{longPath, "L", "L", false}}},
    };
    // clang-format on
    fs::path base = fs::absolute(fs::temp_directory_path()) /
                    ("doplet-test-" + std::to_string(std::random_device{}()));
#ifdef _WIN32
    base = L"\\\\?\\" + base.native(); // the test's own file calls need it beyond 260
#endif
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        const fs::path one = Native(base, "フォルダ１");
        const fs::path two = Native(base, "フォルダ２");
        for (const auto& [root, side] : {std::pair{one, &row.one}, {two, &row.two}}) {
            fs::create_directories(root);
            for (const File& file : *side) {
                Write(root, file);
            }
        }
        for (int round = 1; round <= 2; ++round) {
            std::vector<int> codes = Pass(one, two); // 0 for a copy: none in pass 2
            std::erase(codes, round == 1 ? 0 : -1);
            EXPECT_EQ(codes, row.failures) << "pass " << round;
        }
        for (const auto& [relative, content1, content2, readOnly] : row.expect) {
            for (const auto& [root, content] : {std::pair{one, content1}, {two, content2}}) {
                const fs::path path = Native(root, relative);
                std::ostringstream text;
                text << std::ifstream(path, std::ios::binary).rdbuf();
                EXPECT_EQ(text.str(), content) << Utf8(path);
                EXPECT_TRUE(!readOnly || (fs::status(path).permissions() &
                                          fs::perms::owner_write) == fs::perms::none)
                    << Utf8(path);
            }
        }
        EXPECT_FALSE(RemoveTree(*MakeNativeFileSystem(), base)) << "a temporary was left behind";
    }
}

} // namespace
} // namespace doplet
