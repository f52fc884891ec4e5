// Bad input of every kind gets a clear result: the exact log, never a crash, never a hang (each
// pass runs on a worker that must end within a minute), and nothing written outside the two
// roots. Folder texts, odd names, trees deeper than the longest path, damaged list entries,
// files changed between the listing and the pass, and special files.

#include "FaultyFileSystem.h"
#include "RecordingHost.h"
#include "TestFiles.h"
#include "th_copy1.h"

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
    std::vector<std::string> log; // what the pass must log

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

// A chain of 30 folders of 200 bytes below `root`, made one below the other from the working
// folder (no path to it fits in one system call), with the file "f" at the bottom.
void MakeDeepFile(const std::string& root) {
    const std::filesystem::path back = std::filesystem::current_path();
    std::filesystem::current_path(root);
    for (int i = 0; i < 30; ++i) {
        const std::string name(200, static_cast<char>('a' + i % 26));
        std::filesystem::create_directory(name);
        std::filesystem::current_path(name);
    }
    WriteFile("./f", "deep");
    std::filesystem::current_path(back);
}

// Arranges the files of a row and the log its pass must give; returns the pass's input.
using Row = std::pair<std::string, std::function<PassInput(Ctx&)>>;

std::vector<Row> Rows() {
    std::vector<Row> rows;
    for (const std::string text : {"", "   ", " \t\r\n ", "\x01x"}) { // from the working folder
        rows.emplace_back("folder text \"" + text + "\"", [text](Ctx& c) {
            c.files({"/a"});
            c.log = {Failed(c.one, "/a", 3)};
            return PassInput{c.one, text, ListTree(*c.fs, c.one, 1), List({}, 2)};
        });
    }
    rows.emplace_back("folder 1 gone since the listing", [](Ctx& c) {
        c.files({"/a"});
        WriteFile(c.two + "/b", "b");
        PassInput input = ListBoth(*c.fs, c.one, c.two);
        std::filesystem::rename(c.one, c.dir / "a/moved");
        c.log = {Failed(c.one, "/a", 3), Failed(c.two, "/b", 3)};
        return input;
    });
    rows.emplace_back("folder texts relative, with control characters around, naming a file",
                      [](Ctx& c) {
                          c.files({"/a"});
                          WriteFile(c.dir / "b/afile", "a file");
                          PassInput relative = ListBoth(*c.fs, c.one, "two");
                          relative.folder1 = "\t" + c.one + "\r\n";
                          PassInput file = ListBoth(*c.fs, c.one, c.dir / "b/afile");
                          EXPECT_EQ(RunPassHere(*c.fs, file), std::vector{Failed(c.one, "/a", 3)});
                          c.log = {Copied(c.one, "two", "/a")};
                          return relative;
                      });
    rows.emplace_back("odd names", [](Ctx& c) {
        c.files({"/\xff\xfe.bin", "/line\nbreak", "/tab\there\r", "/back\\slash\\d/x\\y", "/-rf",
                 "/   ", "/\xe3\x80\x80", "/" + std::string(255, 'n'),
                 "/" + std::string(255, 'd') + "/" + std::string(255, 'f')});
        PassInput input = ListBoth(*c.fs, c.one, c.two);
        for (const std::string& entry : LinesOf(*input.list1)) {
            c.log.push_back(Copied(c.one, c.two, entry));
        }
        return input;
    });
    rows.emplace_back("a tree deeper than the longest path, twice", [](Ctx& c) {
        MakeDeepFile(c.one);
        EXPECT_EQ(RunPassHere(*c.fs, ListBoth(*c.fs, c.one, c.two)).size(), 1U);
        EXPECT_EQ(TakeSnapshot(c.two), TakeSnapshot(c.one));
        return ListBoth(*c.fs, c.one, c.two);
    });
    rows.emplace_back("list entries that climb out of the root", [](Ctx& c) {
        WriteFile(c.dir / "a/escape", "outside");
        WriteFile(c.dir / "a/x/escape", "outside");
        c.log = {Failed(c.one, "/../escape", 5), Failed(c.one, "/sub/../../x/escape", 2),
                 Failed(c.one, "/..", 5), Failed(c.two, "/../../b/two/../escape", 2)};
        return PassInput{c.one, c.two, List({"/../escape", "/sub/../../x/escape", "/.."}, 1),
                         List({"/../../b/two/../escape"}, 2)};
    });
    rows.emplace_back("files changed between the listing and the pass", [](Ctx& c) {
        c.files({"/f/c", "/g/h/c", "/gone", "/grow", "/x", "/y"});
        WriteFile(c.two + "/f", "a file where a folder belongs");
        WriteFile(c.two + "/g/h", "the same deeper down");
        PassInput input = ListBoth(*c.fs, c.one, c.two);
        std::filesystem::remove(c.one + "/gone");
        WriteFile(c.one + "/grow", "grown", {kBaseTime + 60, 0});
        std::filesystem::remove(c.one + "/x");
        WriteFile(c.one + "/x/inner", "a folder now");
        WriteFile(c.two + "/y/inner", "a folder now");
        WriteFile(c.one + "/new", "not listed");
        c.log = {Failed(c.one, "/f/c", 3),  Failed(c.one, "/g/h/c", 3),
                 Failed(c.one, "/gone", 2), Copied(c.one, c.two, "/grow"),
                 Failed(c.one, "/x", 5),    Failed(c.one, "/y", 5),
                 Failed(c.two, "/f", 5),    Failed(c.two, "/g/h", 5)};
        return input;
    });
    rows.emplace_back("pipes, a socket and devices, never read or written", [](Ctx& c) {
        c.files({"/older-pipe", "/null"});
        ::mkfifo((c.one + "/pipe").c_str(), 0644);
        ::mkfifo((c.two + "/older-pipe").c_str(), 0644);
        SetMtime(c.two + "/older-pipe", {kBaseTime, 0});
        ::mkfifo((c.two + "/newer-pipe").c_str(), 0644);
        WriteFile(c.one + "/newer-pipe", "old", {kBaseTime - 60, 0});
        sockaddr_un address{AF_UNIX, {}};
        (c.one + "/socket").copy(address.sun_path, sizeof address.sun_path - 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        (void)::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::close(fd);
        ::mknod((c.one + "/zero").c_str(), S_IFCHR | 0666, makedev(1, 5));
        ::mknod((c.two + "/null").c_str(), S_IFCHR | 0666, makedev(1, 3));
        SetMtime(c.two + "/null", {kBaseTime, 0});
        c.log = {Failed(c.two, "/newer-pipe", 5), Failed(c.one, "/null", 5),
                 Failed(c.one, "/older-pipe", 5), Failed(c.one, "/pipe", 5),
                 Failed(c.one, "/socket", 5),     Failed(c.one, "/zero", 5)};
        return ListBoth(*c.fs, c.one, c.two);
    });
    for (const int side : {1, 2}) {
        rows.emplace_back("folder " + std::to_string(side) + " removed during the pass",
                          [side](Ctx& c) {
                              c.files({"/a", "/b", "/s/c"});
                              c.fs->afterCopy([&c, side](std::string_view, std::string_view) {
                                  std::filesystem::remove_all(side == 1 ? c.one : c.two);
                              });
                              const int code = side == 1 ? 2 : 3;
                              c.log = {Copied(c.one, c.two, "/a"), Failed(c.one, "/b", code),
                                       Failed(c.one, "/s/c", code)};
                              return ListBoth(*c.fs, c.one, c.two);
                          });
    }
    return rows;
}

TEST(BadInputTest, EveryBadInputGetsAClearResult) {
    const std::filesystem::path working = std::filesystem::current_path();
    for (const auto& [name, arrange] : Rows()) {
        SCOPED_TRACE(name);
        Ctx c;
        c.fs->readFoldersSorted();
        std::filesystem::current_path(c.dir / "b"); // the working folder gets nothing either
        const PassInput input = arrange(c);
        Snapshot before = TakeSnapshot(c.dir.path());
        auto host = std::make_shared<RecordingHost>();
        const auto control = th_Copy::Start(c.fs, input, host);
        ASSERT_TRUE(host->waitForEnd(std::chrono::minutes(1))) << "the pass hangs";
        EXPECT_TRUE(host->completed());
        EXPECT_EQ(host->lines(), c.log);
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
