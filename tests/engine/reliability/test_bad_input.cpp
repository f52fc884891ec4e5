// Bad input of every kind gets a clear result: the exact log, never a crash, never a hang (each
// pass runs on a worker that must end within a minute), and nothing written outside the two
// roots. Folder texts, odd names, trees deeper than the longest path, damaged list entries,
// files changed between the listing and the pass, and special files.

#include "FaultyFileSystem.h"
#include "RecordingHost.h"
#include "TestFiles.h"
#include "th_copy1.h"

#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

namespace doplet::test {
namespace {

struct Ctx {
    TempDir dir;
    std::string one = dir.makeFolder("a/one");
    std::string two = dir.makeFolder("b/two");
    std::shared_ptr<FaultyFileSystem> fs = std::make_shared<FaultyFileSystem>();

    PassInput listed(const std::string& folder1, const std::string& folder2) const {
        return {folder1, folder2, ListTree(*fs, folder1, 1), ListTree(*fs, folder2, 2)};
    }
    // Files with content "new" on side 1, newer than anything on side 2.
    void files(std::initializer_list<std::string> entries) const {
        for (const std::string& entry : entries) {
            WriteFile(one + entry, "new", {kBaseTime + 60, 0});
        }
    }
};

std::shared_ptr<FileList> List(std::initializer_list<std::string_view> entries, int tag) {
    auto list = std::make_shared<FileList>(tag);
    for (const std::string_view entry : entries) {
        list->appendLine(entry);
    }
    return list;
}

std::string Copied(const std::string& from, const std::string& to, const std::string& entry) {
    return from + entry + "->" + to + entry;
}
std::string Failed(const std::string& from, const std::string& entry, int code) {
    return from + entry + "失敗しました Error－" + std::to_string(code);
}

// A chain of 30 folders of 200 bytes below `root`, made relative to open folders (no path to it
// fits in one system call), with the file "f" at the bottom. Returns its entry.
std::string DeepFile(const std::string& root) {
    std::string entry;
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < 30; ++i) {
        const std::string name(200, static_cast<char>('a' + i % 26));
        ::mkdirat(fd, name.c_str(), 0755);
        const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
        entry += "/" + name;
    }
    const int file = ::openat(fd, "f", O_WRONLY | O_CREAT, 0644);
    EXPECT_EQ(::write(file, "deep", 4), 4);
    ::close(file);
    ::close(fd);
    return entry + "/f";
}

struct Row {
    std::string name;
    std::function<PassInput(Ctx&)> arrange;
    std::function<std::vector<std::string>(const Ctx&)> log;
};

std::vector<Row> Rows() {
    std::vector<Row> rows;
    for (const std::string text : {"", "   ", " \t\r\n ", "\x01x"}) { // from the working folder
        rows.push_back({"folder text \"" + text + "\"",
                        [text](Ctx& c) {
                            c.files({"/a"});
                            return PassInput{c.one, text, ListTree(*c.fs, c.one, 1), List({}, 2)};
                        },
                        [](const Ctx& c) { return std::vector{Failed(c.one, "/a", 3)}; }});
    }
    rows.push_back({"folder 1 gone since the listing",
                    [](Ctx& c) {
                        c.files({"/a"});
                        WriteFile(c.two + "/b", "b");
                        PassInput input = c.listed(c.one, c.two);
                        std::filesystem::rename(c.one, c.dir / "a/moved");
                        return input;
                    },
                    [](const Ctx& c) {
                        return std::vector{Failed(c.one, "/a", 3), Failed(c.two, "/b", 3)};
                    }});
    rows.push_back({"folder texts relative, with control characters around, naming a file",
                    [](Ctx& c) {
                        c.files({"/a"});
                        WriteFile(c.dir / "b/afile", "a file");
                        PassInput relative = c.listed(c.one, "two");
                        relative.folder1 = "\t" + c.one + "\r\n";
                        PassInput file = c.listed(c.one, c.dir / "b/afile");
                        EXPECT_EQ(RunPassHere(*c.fs, file), std::vector{Failed(c.one, "/a", 3)});
                        return relative;
                    },
                    [](const Ctx& c) { return std::vector{Copied(c.one, "two", "/a")}; }});
    const std::vector<std::string> names = {"/\xff\xfe.bin",
                                            "/line\nbreak",
                                            "/tab\there\r",
                                            "/back\\slash\\d/x\\y",
                                            "/-rf",
                                            "/   ",
                                            "/\xe3\x80\x80",
                                            "/" + std::string(255, 'n'),
                                            "/" + std::string(255, 'd') + "/" +
                                                std::string(255, 'f')};
    rows.push_back({"odd names",
                    [names](Ctx& c) {
                        for (const std::string& name : names) {
                            c.files({name});
                        }
                        return c.listed(c.one, c.two);
                    },
                    [](const Ctx& c) {
                        std::vector<std::string> lines;
                        for (const std::string& entry : LinesOf(*ListTree(*c.fs, c.one, 1))) {
                            lines.push_back(Copied(c.one, c.two, entry));
                        }
                        return lines;
                    }});
    rows.push_back({"a tree deeper than the longest path, twice",
                    [](Ctx& c) {
                        DeepFile(c.one);
                        EXPECT_EQ(RunPassHere(*c.fs, c.listed(c.one, c.two)).size(), 1U);
                        EXPECT_EQ(TakeSnapshot(c.two), TakeSnapshot(c.one));
                        return c.listed(c.one, c.two);
                    },
                    [](const Ctx&) { return std::vector<std::string>{}; }});
    rows.push_back({"list entries that climb out of the root",
                    [](Ctx& c) {
                        WriteFile(c.dir / "a/escape", "outside");
                        WriteFile(c.dir / "a/x/escape", "outside");
                        return PassInput{c.one, c.two,
                                         List({"/../escape", "/sub/../../x/escape", "/.."}, 1),
                                         List({"/../../b/two/../escape"}, 2)};
                    },
                    [](const Ctx& c) {
                        return std::vector{
                            Failed(c.one, "/../escape", 5), Failed(c.one, "/sub/../../x/escape", 2),
                            Failed(c.one, "/..", 5), Failed(c.two, "/../../b/two/../escape", 2)};
                    }});
    rows.push_back({"files changed between the listing and the pass",
                    [](Ctx& c) {
                        c.files({"/f/c", "/g/h/c", "/gone", "/grow", "/x", "/y"});
                        WriteFile(c.two + "/f", "a file where a folder belongs");
                        WriteFile(c.two + "/g/h", "the same deeper down");
                        PassInput input = c.listed(c.one, c.two);
                        std::filesystem::remove(c.one + "/gone");
                        WriteFile(c.one + "/grow", "grown", {kBaseTime + 60, 0});
                        std::filesystem::remove(c.one + "/x");
                        WriteFile(c.one + "/x/inner", "a folder now");
                        WriteFile(c.two + "/y/inner", "a folder now");
                        WriteFile(c.one + "/new", "not listed");
                        return input;
                    },
                    [](const Ctx& c) {
                        return std::vector{Failed(c.one, "/f/c", 3),  Failed(c.one, "/g/h/c", 3),
                                           Failed(c.one, "/gone", 2), Copied(c.one, c.two, "/grow"),
                                           Failed(c.one, "/x", 5),    Failed(c.one, "/y", 5),
                                           Failed(c.two, "/f", 5),    Failed(c.two, "/g/h", 5)};
                    }});
    rows.push_back({"pipes, a socket and devices, never read or written",
                    [](Ctx& c) {
                        c.files({"/older-pipe", "/null"});
                        ::mkfifo((c.one + "/pipe").c_str(), 0644);
                        ::mkfifo((c.two + "/older-pipe").c_str(), 0644);
                        SetMtime(c.two + "/older-pipe", {kBaseTime, 0});
                        ::mkfifo((c.two + "/newer-pipe").c_str(), 0644);
                        WriteFile(c.one + "/newer-pipe", "old", {kBaseTime - 60, 0});
                        sockaddr_un address{AF_UNIX, {}};
                        const std::string socket = c.one + "/socket";
                        socket.copy(address.sun_path, sizeof address.sun_path - 1);
                        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
                        (void)::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
                        ::close(fd);
                        ::mknod((c.one + "/zero").c_str(), S_IFCHR | 0666, makedev(1, 5));
                        ::mknod((c.two + "/null").c_str(), S_IFCHR | 0666, makedev(1, 3));
                        SetMtime(c.two + "/null", {kBaseTime, 0});
                        return c.listed(c.one, c.two);
                    },
                    [](const Ctx& c) {
                        return std::vector{
                            Failed(c.two, "/newer-pipe", 5), Failed(c.one, "/null", 5),
                            Failed(c.one, "/older-pipe", 5), Failed(c.one, "/pipe", 5),
                            Failed(c.one, "/socket", 5),     Failed(c.one, "/zero", 5)};
                    }});
    for (const bool first : {true, false}) {
        rows.push_back(
            {first ? "folder 1 removed during the pass" : "folder 2 removed during the pass",
             [first](Ctx& c) {
                 c.files({"/a", "/b", "/s/c"});
                 c.fs->afterCopy([&c, first](std::string_view, std::string_view) {
                     std::filesystem::remove_all(first ? c.one : c.two);
                 });
                 return c.listed(c.one, c.two);
             },
             [first](const Ctx& c) {
                 return std::vector{Copied(c.one, c.two, "/a"), Failed(c.one, "/b", first ? 2 : 3),
                                    Failed(c.one, "/s/c", first ? 2 : 3)};
             }});
    }
    return rows;
}

TEST(BadInputTest, EveryBadInputGetsAClearResult) {
    const std::filesystem::path working = std::filesystem::current_path();
    for (const Row& row : Rows()) {
        SCOPED_TRACE(row.name);
        Ctx c;
        c.fs->readFoldersSorted();
        std::filesystem::current_path(c.dir / "b"); // the working folder gets nothing either
        const PassInput input = row.arrange(c);
        Snapshot before = TakeSnapshot(c.dir.path());
        auto host = std::make_shared<RecordingHost>();
        const auto control = th_Copy::Start(c.fs, input, host);
        ASSERT_TRUE(host->waitForEnd(std::chrono::minutes(1))) << "the pass hangs";
        EXPECT_TRUE(host->completed());
        EXPECT_EQ(host->lines(), row.log(c));
        std::filesystem::current_path(working);
        Snapshot after = TakeSnapshot(c.dir.path());
        for (Snapshot* tree : {&after, &before}) {
            std::erase_if(*tree, [](const auto& item) {
                return item.first.rfind("/a/one", 0) == 0 || item.first.rfind("/b/two", 0) == 0;
            });
        }
        EXPECT_EQ(after, before) << "written outside the roots";
    }
}

} // namespace
} // namespace doplet::test
