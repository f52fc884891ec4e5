// Single system calls failing, files changed between two of the engine's steps and a full disk:
// each copy that cannot be made is one failure line with its code, the target is its old content
// or the complete new copy with the source's time and permission bits (never set-id bits), no
// temporary is left, and the next file is still copied.
// Bad input of every kind gets a clear result: the exact log, never a crash, never a hang (each
// pass runs on a worker that must end within a minute), and nothing written outside the two
// roots. Folder texts, odd names, trees deeper than the longest path, damaged list entries, links
// on the target side, files changed between the listing and the pass, and special files.

#include "FaultyFileSystem.h"
#include "RecordingHost.h"
#include "SyscallFaults.h"
#include "TestFiles.h"
#include "th_copy1.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <mutex>
#include <optional>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace doplet::test {
namespace {

using C = Call;

// clang-format off
struct Fault { C call; int error, skip = 0, times = 1; };
constexpr int A = 1 << 30; // every time
const Fault N{C::Tmpfile, EOPNOTSUPP, 0, A}; // no unnamed temporaries
const Fault K{C::Clone, EOPNOTSUPP, 0, A}, X{C::CopyRange, EXDEV, 0, A}; // no clone, no in-kernel copy
// What happens to the files of /s/a between the engine's steps (Holes: it ends in a 1 MiB hole).
enum class M { None, TargetSaved, TargetCreated, SourceSaved, SourceGrown, SourceShrunk, LinkPlanted,
               SizeLimit, Holes };
// clang-format on

TEST(FaultsTest, EveryFaultGivesItsCodeAndLosesNothing) {
    const struct { // NOLINT(clang-analyzer-optin.performance.Padding): read as a table
        const char* name;
        bool replace; // an older /s/a on side 2
        std::vector<Fault> faults;
        M meddle;
        int code;  // of the line for /s/a; 0: copied
        C reached; // a call the copy of /s/a must have made
    } rows[] = {
        // clang-format off
        {"named temporaries", 0, {N}, M::None, 0, C::NamedTemp},
        {"named temporaries, replacing", 1, {N}, M::None, 0, C::Rename},
        {"unnamed ones refused with EINVAL", 0, {{C::Tmpfile, EINVAL}}, M::None, 0, C::NamedTemp},
        {"unnamed ones refused with EISDIR", 0, {{C::Tmpfile, EISDIR}}, M::None, 0, C::NamedTemp},
        {"unnamed ones refused with ENOENT", 0, {{C::Tmpfile, ENOENT}}, M::None, 0, C::NamedTemp},
        {"no rename without replace", 0, {N, {C::Renameat2, EINVAL, 0, A}}, M::None, 0, C::Link},
        {"a name appears at the commit", 0, {N, {C::Renameat2, ENOSYS}, {C::Link, EEXIST}}, M::None, 32, C::Link},
        {"no hard links either", 0, {N, {C::Renameat2, EINVAL, 0, A}, {C::Link, EOPNOTSUPP}}, M::None, 0, C::Rename},
        {"rename without replace fails", 0, {N, {C::Renameat2, EIO}}, M::None, 31, C::Renameat2},
        {"no empty-path links", 0, {{C::LinkEmptyPath, EPERM, 0, A}}, M::None, 0, C::LinkProc},
        {"no empty-path links, replacing", 1, {{C::LinkEmptyPath, ENOENT, 0, A}}, M::None, 0, C::LinkProc},
        {"no links to unnamed files", 0, {{C::LinkEmptyPath, EINVAL}, {C::LinkProc, EACCES}}, M::None, 5, C::LinkProc},
        {"link fails outright", 0, {{C::LinkEmptyPath, EIO}}, M::None, 31, C::LinkEmptyPath},
        {"temporary names all taken", 1, {{C::LinkEmptyPath, EEXIST, 0, 16}}, M::None, 32, C::LinkEmptyPath},
        {"temporary names taken but the last", 1, {{C::LinkEmptyPath, EEXIST, 0, 15}}, M::None, 0, C::Rename},
        {"no temporary at all", 0, {{C::Tmpfile, EACCES}}, M::None, 5, C::Tmpfile},
        {"named temporaries all taken", 0, {N, {C::NamedTemp, EEXIST, 0, 16}}, M::None, 31, C::NamedTemp},
        {"named temporaries taken but the last", 0, {N, {C::NamedTemp, EEXIST, 0, 15}}, M::None, 0, C::Renameat2},
        {"named temporary refused", 0, {N, {C::NamedTemp, EROFS}}, M::None, 5, C::NamedTemp},
        {"disk full", 1, {{C::CopyRange, ENOSPC}}, M::None, 112, C::CopyRange},
        {"no in-kernel copy", 0, {{C::CopyRange, EXDEV, 0, A}}, M::None, 0, C::Write},
        {"disk full on a plain write", 1, {{C::CopyRange, EOPNOTSUPP}, {C::Write, ENOSPC}}, M::None, 112, C::Write},
        {"interrupted copy", 0, {{C::CopyRange, EINTR}}, M::None, 0, C::CopyRange},
        {"interrupted write", 1, {{C::CopyRange, EXDEV, 0, A}, {C::Write, EINTR}}, M::None, 0, C::Write},
        {"read error", 1, {{C::CopyRange, EIO}}, M::None, 31, C::CopyRange},
        {"permission bits refused", 1, {{C::Fchmod, EROFS}}, M::None, 5, C::Fchmod},
        {"time refused", 0, {{C::Futimens, EROFS}}, M::None, 5, C::Futimens},
        {"source unreadable", 1, {{C::Fstat, EIO}}, M::None, 31, C::Fstat},
        {"source unreadable after the copy", 1, {{C::Fstat, EACCES, 1}}, M::None, 5, C::Fstat},
        {"rename refused", 1, {{C::Rename, EPERM}}, M::None, 5, C::Rename},
        {"no openat2", 1, {{C::Openat2, ENOSYS, 0, A}}, M::None, 0, C::Openat2},
        {"no clone", 0, {{C::Clone, EOPNOTSUPP, 0, A}}, M::None, 0, C::CopyRange},
        {"target saved after the look-up", 1, {}, M::TargetSaved, 32, C::Count},
        {"target created after the look-up", 0, {}, M::TargetCreated, 32, C::Count},
        {"target created, named temporaries", 0, {N}, M::TargetCreated, 32, C::Renameat2},
        {"source saved before the copy", 1, {}, M::SourceSaved, 32, C::Count},
        {"source rewritten while read", 0, {}, M::SourceGrown, 32, C::CopyRange},
        {"source shrunk while read", 0, {{C::CopyRange, EXDEV, 0, A}}, M::SourceShrunk, 32, C::Write},
        {"link planted at the temporary's name", 1, {}, M::LinkPlanted, 0, C::LinkEmptyPath},
        {"link planted, named temporaries", 0, {N}, M::LinkPlanted, 0, C::NamedTemp},
        {"a file-size limit as a full disk", 1, {}, M::SizeLimit, 112, C::CopyRange},
        {"holes, read and written", 1, {K, X}, M::Holes, 0, C::Pwrite},
        {"holes, interrupted read", 0, {K, X, {C::Pread, EINTR}}, M::Holes, 0, C::Pread},
        {"holes, disk full", 1, {K, X, {C::Pwrite, ENOSPC}, {C::Write, ENOSPC}}, M::Holes, 112, C::Pwrite},
        // clang-format on
    };
    // With several workers /s/b waits at its look-up until the copy of /s/a has ended, so that the
    // calls a row counts are those of /s/a, now made on a worker of their own.
    for (std::size_t run = 0; run < 2 * std::size(rows); ++run) {
        const auto& row = rows[run % std::size(rows)];
        const unsigned workers = run < std::size(rows) ? 1 : 3;
        SCOPED_TRACE(testing::Message() << row.name << ", " << workers << " workers");
        const TempDir dir;
        const std::string one = dir / "one", two = dir.makeFolder("two"), outside = dir / "outside";
        WriteFile(outside, "outside");
        WriteFile(one + "/s/a", std::string(3000, 'n'), {kBaseTime + 10, 7});
        std::string source(3000, 'n'); // its content
        if (row.meddle == M::Holes) {
            source.resize(1 << 20);
            ::truncate((one + "/s/a").c_str(), 1 << 20);
            SetMtime(one + "/s/a", {kBaseTime + 10, 7});
        }
        WriteFile(one + "/s/b", "b", {kBaseTime + 10, 0});
        ::chown((one + "/s/a").c_str(), 65534, 0); // as root: the copy keeps the owner
        ::chmod((one + "/s/a").c_str(), 04750);
        if (row.replace) {
            WriteFile(two + "/s/a", "old", {kBaseTime, 0});
        }
        FaultyFileSystem fs;
        const PassInput input = ListBoth(fs, one, two);
        const auto openFiles = [] {
            return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
        };
        const auto filesBefore = openFiles();
        std::string edit; // what the user wrote meanwhile
        const std::string meddled = row.meddle == M::TargetSaved || row.meddle == M::TargetCreated
                                        ? two + "/s/a"
                                        : one + "/s/a";
        auto userEdit = [&, done = false](std::string content) mutable {
            if (!std::exchange(done, true)) {
                edit = std::move(content);
                WriteFile(meddled + ".new", edit, {kBaseTime + 10, 7});
                std::filesystem::rename(meddled + ".new", meddled);
            }
        };
        faults.reset();
        for (const C call : {C::Tmpfile, C::NamedTemp}) {
            faults.before(call, [](int, const char*, int flags, unsigned mode) {
                EXPECT_EQ(flags & (O_EXCL | O_NOFOLLOW),
                          (flags & O_CREAT) != 0 ? O_EXCL | O_NOFOLLOW : 0);
                EXPECT_EQ(mode, 0600U);
            });
        }
        std::promise<void> copiedA;
        fs.afterCopy([&](std::string_view relative, std::string_view) {
            if (relative == "/s/a") {
                copiedA.set_value();
            }
        });
        fs.afterStat(
            [&, stats = 0, a = copiedA.get_future().share()](std::string_view relative) mutable {
                if (relative == "/s/b") {
                    EXPECT_EQ(a.wait_for(std::chrono::seconds(10)), std::future_status::ready);
                } else if (relative == "/s/a" && meddled == two + "/s/a" && ++stats == 2) {
                    // after both look-ups of /s/a
                    userEdit("the user's edit");
                }
            });
        if (row.meddle == M::SourceSaved) {
            fs.beforeCopy([&](std::string_view relative, std::string_view) {
                if (relative == "/s/a") {
                    userEdit(std::string(3000, 'e'));
                }
            });
        } else if (row.meddle == M::SourceGrown || row.meddle == M::SourceShrunk) {
            faults.before(C::CopyRange, [&](int, const char*, int, unsigned) {
                if (edit.empty()) { // in place: the same size and another time, or shorter
                    const bool shrunk = row.meddle == M::SourceShrunk;
                    edit = std::string(shrunk ? 1000 : 3000, 'r');
                    WriteFile(one + "/s/a", edit, {kBaseTime + (shrunk ? 10 : 12), 7});
                }
            });
        } else if (row.meddle == M::LinkPlanted) {
            for (const C call : {C::NamedTemp, C::LinkEmptyPath}) {
                faults.before(
                    call, [&, planted = 0](int fd, const char* name, int, unsigned) mutable {
                        if (std::string_view(name).rfind(".doplet-", 0) == 0 && planted++ < 2) {
                            ::symlinkat(outside.c_str(), fd, name);
                        }
                    });
            }
        }
        for (const Fault& fault : row.faults) {
            faults.fail(fault.call, fault.error, fault.skip, fault.times);
        }
        const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY}, limited{1000, RLIM_INFINITY};
        std::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, row.meddle == M::SizeLimit ? &limited : &unlimited);
        const std::vector<std::string> log = RunPassHere(fs, input, nullptr, workers);
        ::setrlimit(RLIMIT_FSIZE, &unlimited);
        const int reached = row.reached == C::Count ? 1 : faults.count(row.reached);
        faults.reset();

        EXPECT_EQ(log, (std::vector{row.code == 0 ? Copied(one, two, "/s/a")
                                                  : Failed(one, "/s/a", row.code),
                                    Copied(one, two, "/s/b")}));
        EXPECT_GT(reached, 0) << "the fault was never reached";
        EXPECT_EQ(openFiles(), filesBefore) << "a file was left open";
        const Snapshot after = TakeSnapshot(two);
        const std::string expected = !edit.empty() && meddled == two + "/s/a" ? edit
                                     : row.code == 0                          ? source
                                     : row.replace                            ? "old"
                                                                              : "";
        EXPECT_EQ(after.count("/s/a") == 0 ? "" : after.at("/s/a").content, expected);
        if (row.code == 0) {
            EXPECT_EQ(after.at("/s/a").mtime, (FileTime{kBaseTime + 10, 7}));
            EXPECT_EQ(after.at("/s/a").mode, 0750U);
            const struct stat copy = LStat(two + "/s/a"), source = LStat(one + "/s/a");
            EXPECT_EQ(std::pair(copy.st_uid, copy.st_gid), std::pair(source.st_uid, source.st_gid));
        }
        EXPECT_EQ(ReadFile(one + "/s/a"), edit.empty() || meddled != one + "/s/a" ? source : edit);
        EXPECT_EQ(ReadFile(outside), "outside");
        std::string kinds; // no temporary left, planted links (named ".doplet-") still there
        for (const auto& [path, node] : after) {
            kinds += node.kind;
        }
        EXPECT_EQ(kinds, std::string("d") + (row.meddle == M::LinkPlanted ? "ll" : "") +
                             (after.count("/s/a") != 0 ? "ff" : "f"));
    }
}

struct Ctx {
    TempDir dir;
    std::string one = dir.makeFolder("a/one");
    std::string two = dir.makeFolder("b/two");
    std::shared_ptr<FaultyFileSystem> fs = std::make_shared<FaultyFileSystem>();
    std::vector<std::string> log;   // what the pass must log
    std::optional<PassInput> input; // unless set, both folders listed after the arrangement
    std::function<void()> check;    // more to check after the pass
    unsigned workers = 1;           // copying at once; one, as most rows act between two copies

    // Files with content "new" on side 1, newer than anything on side 2.
    void files(const std::vector<std::string>& entries) const {
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

// Arranges the files of a row and the log its pass must give.
using Row = std::pair<std::string, std::function<void(Ctx&)>>;

std::vector<Row> Rows() {
    std::vector<Row> rows;
    for (const std::string text : {"", "   ", " \t\r\n ", "\x01x"}) { // from the working folder
        rows.emplace_back("folder text \"" + text + "\"", [text](Ctx& c) {
            c.files({"/a"});
            c.log = {Failed(c.one, "/a", 3)};
            c.input = PassInput{c.one, text, ListTree(*c.fs, c.one, 1), List({}, 2)};
        });
    }
    rows.emplace_back("folder 1 gone since the listing", [](Ctx& c) {
        c.files({"/a"});
        WriteFile(c.two + "/b", "b");
        c.input = ListBoth(*c.fs, c.one, c.two);
        std::filesystem::rename(c.one, c.dir / "a/moved");
        c.log = {Failed(c.one, "/a", 3), Failed(c.two, "/b", 3)};
    });
    rows.emplace_back("folder texts relative, with control characters around, naming a file",
                      [](Ctx& c) {
                          c.files({"/a"});
                          WriteFile(c.dir / "b/afile", "a file");
                          c.input = ListBoth(*c.fs, c.one, "two");
                          c.input->folder1 = "\t" + c.one + "\r\n";
                          PassInput file = ListBoth(*c.fs, c.one, c.dir / "b/afile");
                          EXPECT_EQ(RunPassHere(*c.fs, file), std::vector{Failed(c.one, "/a", 3)});
                          c.log = {Copied(c.one, "two", "/a")};
                      });
    rows.emplace_back("odd names", [](Ctx& c) {
        const std::string n(255, 'n'), d(255, 'd'), f(255, 'f');
        std::vector<std::string> names{"/\xff\xfe.bin",        "/line\nbreak", "/tab\there\r",
                                       "/back\\slash\\d/x\\y", "/-rf",         "/   ",
                                       "/\xe3\x80\x80",        "/" + n,        "/" + d + "/" + f};
        c.files(names);
        std::sort(names.begin(), names.end()); // the listing's order here: none may be left out
        for (const std::string& entry : names) {
            c.log.push_back(Copied(c.one, c.two, entry));
        }
    });
    rows.emplace_back("a tree deeper than the longest path, twice", [](Ctx& c) {
        MakeDeepFile(c.one);
        EXPECT_EQ(RunPassHere(*c.fs, ListBoth(*c.fs, c.one, c.two)).size(), 1U);
        EXPECT_EQ(TakeSnapshot(c.two), TakeSnapshot(c.one));
    });
    rows.emplace_back("list entries that climb out of the root", [](Ctx& c) {
        WriteFile(c.dir / "a/escape", "outside");
        WriteFile(c.dir / "a/x/escape", "outside");
        c.log = {Failed(c.one, "/../escape", 5), Failed(c.one, "/sub/../../x/escape", 2),
                 Failed(c.one, "/..", 5), Failed(c.two, "/../../b/two/../escape", 2)};
        c.input = PassInput{c.one, c.two, List({"/../escape", "/sub/../../x/escape", "/.."}, 1),
                            List({"/../../b/two/../escape"}, 2)};
    });
    // Links on side 2 in place of folders (absolute and relative, pointing outside), of files (to
    // a file outside, dangling, to a folder outside), to a folder inside, and one that appears
    // where the engine is making a folder, are never written through; side 2's own folder text is
    // a link, and followed.
    rows.emplace_back("links on the target side", [](Ctx& c) {
        const std::string outside = c.dir.makeFolder("outside");
        const std::string two = c.dir / "b/link";
        WriteFile(outside + "/f", "outside");
        std::filesystem::create_directories(c.two + "/sub");
        const std::string links[][2] = {
            {outside, "/abs"},         {"../../../outside", "/sub/rel"},
            {outside + "/f", "/file"}, {outside + "/missing", "/dangling"},
            {outside, "/folder"},      {"sub", "/inside"}};
        for (const auto& [to, link] : links) {
            std::filesystem::create_symlink(to, c.two + link);
        }
        std::filesystem::create_symlink(c.two, two);
        for (const std::string entry : {"/abs/x", "/dangling", "/file", "/folder", "/inside/x",
                                        "/made/x", "/ok", "/sub/rel/x"}) {
            c.files({entry});
            c.log.push_back(entry == "/ok" ? Copied(c.one, two, entry) : Failed(c.one, entry, 5));
        }
        for (const char* entry : {"/abs", "/inside", "/sub/rel"}) {
            c.log.push_back(Failed(two, entry, 5)); // folders on side 1
        }
        c.input = ListBoth(*c.fs, c.one, two);
        faults.before(C::Mkdir, [outside](int fd, const char* name, int, unsigned) {
            ::symlinkat(outside.c_str(), fd, name); // a link appears
        });
        c.check = [&c, before = TakeSnapshot(c.two)] {
            Snapshot after = TakeSnapshot(c.two); // the links stay
            EXPECT_EQ(after.erase("/ok") + after.erase("/made"), 2U);
            EXPECT_EQ(after, before);
        };
    });
    // Four workers reach mkdirat for the same missing folder together (each waits there for the
    // others): one makes it, the others meet EEXIST and use it, checked to be a folder and not a
    // link (a link put there at that moment is the row above's), with its source's permissions.
    rows.emplace_back("workers making the same folder at once", [](Ctx& c) {
        c.workers = 4;
        for (const std::string entry : {"/new/sub/0", "/new/sub/1", "/new/sub/2", "/new/sub/3"}) {
            c.files({entry});
            c.log.push_back(Copied(c.one, c.two, entry));
        }
        ::chmod((c.one + "/new").c_str(), 0750);
        ::chmod((c.one + "/new/sub").c_str(), 0705);
        auto arrived = std::make_shared<std::atomic<unsigned>>(0);
        faults.before(C::Mkdir, [arrived](int, const char* name, int, unsigned) {
            *arrived += std::string_view(name) == "new" ? 1 : 0;
            for (int i = 0; i < 1000 && *arrived % 4 != 0; ++i) { // ten seconds at most
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
        c.check = [&c, arrived] {
            EXPECT_EQ(*arrived, 4U) << "the workers did not make the folder at once";
            EXPECT_EQ(LStat(c.two + "/new").st_mode & 07777, 0750U);
            EXPECT_EQ(LStat(c.two + "/new/sub").st_mode & 07777, 0705U);
        };
    });
    rows.emplace_back("files changed between the listing and the pass", [](Ctx& c) {
        c.files({"/f/c", "/g/h/c", "/x", "/y"});
        WriteFile(c.two + "/f", "a file where a folder belongs");
        WriteFile(c.two + "/g/h", "the same deeper down");
        c.input = ListBoth(*c.fs, c.one, c.two);
        std::filesystem::remove(c.one + "/x");
        WriteFile(c.one + "/x/inner", "a folder now");
        WriteFile(c.two + "/y/inner", "a folder now");
        WriteFile(c.one + "/new", "not listed");
        c.log = {Failed(c.one, "/f/c", 3), Failed(c.one, "/g/h/c", 3), Failed(c.one, "/x", 5),
                 Failed(c.one, "/y", 5),   Failed(c.two, "/f", 5),     Failed(c.two, "/g/h", 5)};
    });
    rows.emplace_back("pipes, never read or written", [](Ctx& c) {
        c.files({"/older-pipe"});
        ::mkfifo((c.one + "/pipe").c_str(), 0644);
        ::mkfifo((c.two + "/older-pipe").c_str(), 0644);
        SetMtime(c.two + "/older-pipe", {kBaseTime, 0});
        ::mkfifo((c.two + "/newer-pipe").c_str(), 0644);
        WriteFile(c.one + "/newer-pipe", "old", {kBaseTime - 60, 0});
        c.log = {Failed(c.two, "/newer-pipe", 5), Failed(c.one, "/older-pipe", 5),
                 Failed(c.one, "/pipe", 5)};
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
                          });
    }
    return rows;
}

// Every row runs twice: with the kernel resolving target folders beneath the root (openat2), and
// with the engine walking folder by folder.
TEST(BadInputTest, EveryBadInputGetsAClearResult) {
    const std::filesystem::path working = std::filesystem::current_path();
    for (const auto& [name, arrange] : Rows()) {
        for (const bool walk : {false, true}) {
            SCOPED_TRACE(name + (walk ? ", walking folder by folder" : ""));
            Ctx c;
            std::filesystem::current_path(c.dir / "b"); // the working folder gets nothing either
            faults.fail(C::Openat2, walk ? ENOSYS : 0);
            arrange(c);
            const PassInput input = c.input ? *c.input : ListBoth(*c.fs, c.one, c.two);
            Snapshot before = TakeSnapshot(c.dir.path());
            auto host = std::make_shared<RecordingHost>();
            const auto control = th_Copy::Start(c.fs, input, host, c.workers);
            ASSERT_TRUE(host->waitForEnd(std::chrono::minutes(1))) << "the pass hangs";
            EXPECT_TRUE(host->completed());
            EXPECT_EQ(host->lines(), c.log);
            faults.reset();
            if (c.check) {
                c.check();
            }
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
}

} // namespace
} // namespace doplet::test
