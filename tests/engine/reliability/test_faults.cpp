// Single system calls failing, files changed between two of the engine's steps, a full disk and
// links on the target side: each copy that cannot be made is one failure line with its code, the
// target is its old content or the complete new copy with the source's time and permission bits
// (never set-id bits), no temporary is left, and the next file is still copied.

#include "FaultyFileSystem.h"
#include "SyscallFaults.h"
#include "TestFiles.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

namespace doplet::test {
namespace {

using faults::Call;

struct Fault {
    Call call;
    int error;
    int skip = 0;
    int times = 1;
};

// What happens to the files of /s/a between the engine's steps.
enum class Meddle {
    None,
    TargetSavedAfterLookUp,
    TargetCreatedAfterLookUp,
    SourceSavedBeforeCopy,
    SourceGrownWhileRead,
    LinkAtTemporaryName,
    SizeLimit
};

TEST(FaultsTest, EveryFaultGivesItsCodeAndLosesNothing) {
    constexpr int kAll = 1 << 30;
    const struct {
        const char* name;
        bool replace; // an older /s/a on side 2
        std::vector<Fault> faults;
        Meddle meddle;
        int code;     // of the line for /s/a; 0: copied
        Call reached; // a call the copy of /s/a must have made
    } rows[] = {
        {"no unnamed temporaries",
         false,
         {{Call::Tmpfile, EOPNOTSUPP, 0, kAll}},
         Meddle::None,
         0,
         Call::NamedTemp},
        {"no unnamed temporaries, replacing",
         true,
         {{Call::Tmpfile, EINVAL, 0, kAll}},
         Meddle::None,
         0,
         Call::Rename},
        {"no rename without replace",
         false,
         {{Call::Tmpfile, EISDIR, 0, kAll}, {Call::Renameat2, EINVAL, 0, kAll}},
         Meddle::None,
         0,
         Call::Link},
        {"a name appears at the commit",
         false,
         {{Call::Tmpfile, ENOENT, 0, kAll}, {Call::Renameat2, ENOSYS}, {Call::Link, EEXIST}},
         Meddle::None,
         32,
         Call::Link},
        {"no empty-path links",
         false,
         {{Call::LinkEmptyPath, EPERM, 0, kAll}},
         Meddle::None,
         0,
         Call::LinkProc},
        {"no empty-path links, replacing",
         true,
         {{Call::LinkEmptyPath, ENOENT, 0, kAll}},
         Meddle::None,
         0,
         Call::LinkProc},
        {"no links to unnamed files",
         false,
         {{Call::LinkEmptyPath, EINVAL}, {Call::LinkProc, EACCES}},
         Meddle::None,
         5,
         Call::LinkProc},
        {"link fails outright",
         false,
         {{Call::LinkEmptyPath, EIO}},
         Meddle::None,
         31,
         Call::LinkEmptyPath},
        {"temporary name taken once",
         true,
         {{Call::LinkEmptyPath, EEXIST}},
         Meddle::None,
         0,
         Call::Rename},
        {"no temporary at all", false, {{Call::Tmpfile, EACCES}}, Meddle::None, 5, Call::Tmpfile},
        {"named temporary taken once",
         false,
         {{Call::Tmpfile, EOPNOTSUPP, 0, kAll}, {Call::NamedTemp, EEXIST}},
         Meddle::None,
         0,
         Call::Renameat2},
        {"named temporaries all taken",
         false,
         {{Call::Tmpfile, EOPNOTSUPP, 0, kAll}, {Call::NamedTemp, EEXIST, 0, 16}},
         Meddle::None,
         31,
         Call::NamedTemp},
        {"named temporary refused",
         false,
         {{Call::Tmpfile, EOPNOTSUPP, 0, kAll}, {Call::NamedTemp, EROFS}},
         Meddle::None,
         5,
         Call::NamedTemp},
        {"disk full", true, {{Call::CopyRange, ENOSPC}}, Meddle::None, 112, Call::CopyRange},
        {"no in-kernel copy",
         false,
         {{Call::CopyRange, EXDEV, 0, kAll}},
         Meddle::None,
         0,
         Call::Write},
        {"disk full on a plain write",
         true,
         {{Call::CopyRange, EOPNOTSUPP}, {Call::Write, ENOSPC}},
         Meddle::None,
         112,
         Call::Write},
        {"interrupted copy", false, {{Call::CopyRange, EINTR}}, Meddle::None, 0, Call::CopyRange},
        {"interrupted write",
         true,
         {{Call::CopyRange, EXDEV, 0, kAll}, {Call::Write, EINTR}},
         Meddle::None,
         0,
         Call::Write},
        {"read error", true, {{Call::CopyRange, EIO}}, Meddle::None, 31, Call::CopyRange},
        {"permission bits refused", true, {{Call::Fchmod, EPERM}}, Meddle::None, 5, Call::Fchmod},
        {"time refused", false, {{Call::Futimens, EROFS}}, Meddle::None, 5, Call::Futimens},
        {"source unreadable", false, {{Call::Fstat, EIO}}, Meddle::None, 31, Call::Fstat},
        {"source unreadable after the copy",
         true,
         {{Call::Fstat, EACCES, 1}},
         Meddle::None,
         5,
         Call::Fstat},
        {"rename refused", true, {{Call::Rename, EBUSY}}, Meddle::None, 32, Call::Rename},
        {"no openat2", true, {{Call::Openat2, ENOSYS, 0, kAll}}, Meddle::None, 0, Call::Openat2},
        {"no clone", false, {{Call::Clone, EOPNOTSUPP, 0, kAll}}, Meddle::None, 0, Call::CopyRange},
        {"target saved after the look-up",
         true,
         {},
         Meddle::TargetSavedAfterLookUp,
         32,
         Call::Count},
        {"target created after the look-up",
         false,
         {},
         Meddle::TargetCreatedAfterLookUp,
         32,
         Call::Count},
        {"target created, no unnamed temporaries",
         false,
         {{Call::Tmpfile, EOPNOTSUPP, 0, kAll}},
         Meddle::TargetCreatedAfterLookUp,
         32,
         Call::Renameat2},
        {"source saved before the copy", true, {}, Meddle::SourceSavedBeforeCopy, 32, Call::Count},
        {"source grown while read", false, {}, Meddle::SourceGrownWhileRead, 32, Call::CopyRange},
        {"link planted at the temporary's name",
         true,
         {},
         Meddle::LinkAtTemporaryName,
         0,
         Call::LinkEmptyPath},
        {"link planted, no unnamed temporaries",
         false,
         {{Call::Tmpfile, EOPNOTSUPP, 0, kAll}},
         Meddle::LinkAtTemporaryName,
         0,
         Call::NamedTemp},
        {"a file-size limit as a full disk", true, {}, Meddle::SizeLimit, 112, Call::CopyRange},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const TempDir dir;
        const std::string one = dir / "one";
        const std::string two = dir / "two";
        const std::string outside = dir / "outside";
        WriteFile(outside, "outside");
        WriteFile(one + "/s/a", std::string(3000, 'n'), {kBaseTime + 10, 7});
        WriteFile(one + "/s/b", "b", {kBaseTime + 10, 0});
        ::chmod((one + "/s/a").c_str(), 04750);
        if (row.replace) {
            WriteFile(two + "/s/a", "old", {kBaseTime, 0});
        }
        dir.makeFolder("two");
        FaultyFileSystem fs;
        fs.readFoldersSorted();
        const PassInput input = ListBoth(fs, one, two);
        std::string edit; // what the user wrote meanwhile
        const std::string meddled = row.meddle == Meddle::TargetSavedAfterLookUp ||
                                            row.meddle == Meddle::TargetCreatedAfterLookUp
                                        ? two + "/s/a"
                                        : one + "/s/a";
        auto userEdit = [&, done = false](std::string content) mutable {
            if (!std::exchange(done, true)) {
                edit = std::move(content);
                WriteFile(meddled + ".new", edit, {kBaseTime + 10, 7});
                std::filesystem::rename(meddled + ".new", meddled);
            }
        };
        faults::Reset();
        std::vector<unsigned> modes;
        for (const Call call : {Call::Tmpfile, Call::NamedTemp}) {
            faults::Before(call, [&modes](int, const char*, int flags, unsigned mode) {
                EXPECT_EQ(flags & (O_EXCL | O_NOFOLLOW),
                          (flags & O_CREAT) != 0 ? O_EXCL | O_NOFOLLOW : 0);
                modes.push_back(mode);
            });
        }
        switch (row.meddle) {
        case Meddle::TargetSavedAfterLookUp:
        case Meddle::TargetCreatedAfterLookUp:
            fs.afterStat([&, stats = 0](std::string_view relative) mutable {
                if (relative == "/s/a" && ++stats == 2) { // after both look-ups
                    userEdit("the user's edit");
                }
            });
            break;
        case Meddle::SourceSavedBeforeCopy:
            fs.beforeCopy([&](std::string_view relative, std::string_view) {
                if (relative == "/s/a") {
                    userEdit(std::string(3000, 'e'));
                }
            });
            break;
        case Meddle::SourceGrownWhileRead:
            faults::Fail(Call::Clone, EOPNOTSUPP, 0, kAll);
            faults::Before(Call::CopyRange, [&](int, const char*, int, unsigned) {
                if (edit.empty()) { // appended in place, its time put back
                    edit = std::string(3000, 'n') + "more";
                    std::ofstream(one + "/s/a", std::ios::app) << "more";
                    SetMtime(one + "/s/a", {kBaseTime + 10, 7});
                }
            });
            break;
        case Meddle::LinkAtTemporaryName:
            for (const Call call : {Call::NamedTemp, Call::LinkEmptyPath}) {
                faults::Before(
                    call, [&, planted = 0](int fd, const char* name, int, unsigned) mutable {
                        if (std::string_view(name).rfind(".doplet-", 0) == 0 && planted++ < 2) {
                            ::symlinkat(outside.c_str(), fd, name);
                        }
                    });
            }
            break;
        default:
            break;
        }
        for (const Fault& fault : row.faults) {
            faults::Fail(fault.call, fault.error, fault.skip, fault.times);
        }
        const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
        const rlimit limited{1000, RLIM_INFINITY};
        std::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, row.meddle == Meddle::SizeLimit ? &limited : &unlimited);
        const std::vector<std::string> log = RunPassHere(fs, input);
        ::setrlimit(RLIMIT_FSIZE, &unlimited);
        const int reached = row.reached == Call::Count ? 1 : faults::Count(row.reached);
        faults::Reset();

        const std::string failed = one + "/s/a失敗しました Error－" + std::to_string(row.code);
        const std::string copied = one + "/s/a->" + two + "/s/a";
        EXPECT_EQ(log, (std::vector<std::string>{row.code == 0 ? copied : failed,
                                                 one + "/s/b->" + two + "/s/b"}));
        EXPECT_GT(reached, 0) << "the fault was never reached";
        for (const unsigned mode : modes) {
            EXPECT_EQ(mode, 0600U);
        }
        const Snapshot after = TakeSnapshot(two);
        const std::string expected = !edit.empty() && meddled == two + "/s/a" ? edit
                                     : row.code == 0 ? std::string(3000, 'n')
                                     : row.replace   ? "old"
                                                     : "";
        EXPECT_EQ(after.count("/s/a") == 0 ? "" : after.at("/s/a").content, expected);
        if (row.code == 0) {
            EXPECT_EQ(after.at("/s/a").mtime, (FileTime{kBaseTime + 10, 7}));
            EXPECT_EQ(after.at("/s/a").mode, 0750U);
        }
        EXPECT_EQ(ReadFile(one + "/s/a"),
                  edit.empty() || meddled != one + "/s/a" ? std::string(3000, 'n') : edit);
        EXPECT_EQ(ReadFile(outside), "outside");
        int planted = 0;
        for (const auto& [path, node] : after) {
            EXPECT_TRUE(path.find("/.doplet-") == std::string::npos || node.kind == 'l') << path;
            planted += node.kind == 'l' ? 1 : 0;
        }
        EXPECT_EQ(planted, row.meddle == Meddle::LinkAtTemporaryName ? 2 : 0);
    }
}

// Links on the target side are never written through, whether the kernel resolves target
// folders beneath the root or the engine walks folder by folder; a root's own link is followed.
TEST(LinksTest, LinksOnTheTargetSideAreNeverWrittenThrough) {
    for (const bool openat2 : {true, false}) {
        SCOPED_TRACE(openat2 ? "resolving beneath the root" : "walking folder by folder");
        const TempDir dir;
        const std::string one = dir / "one";
        const std::string real = dir.makeFolder("real");
        const std::string outside = dir.makeFolder("outside");
        WriteFile(outside + "/f", "outside", {kBaseTime, 0});
        const char* entries[] = {"/abs/x",  "/sub/rel/x", "/file", "/dangling",
                                 "/folder", "/inside/x",  "/ok"};
        for (const char* entry : entries) {
            WriteFile(one + entry, "new", {kBaseTime + 60, 0});
        }
        namespace sfs = std::filesystem;
        sfs::create_directory_symlink(outside, real + "/abs");
        sfs::create_directories(real + "/sub");
        sfs::create_directory_symlink("../../outside", real + "/sub/rel");
        sfs::create_symlink(outside + "/f", real + "/file");
        sfs::create_symlink(outside + "/missing", real + "/dangling");
        sfs::create_directory_symlink(outside, real + "/folder");
        sfs::create_directory_symlink("sub", real + "/inside");
        sfs::create_directory_symlink(real, dir / "two"); // side 2's own text is a link
        const Snapshot outsideBefore = TakeSnapshot(outside);
        const Snapshot realBefore = TakeSnapshot(real);
        FaultyFileSystem fs;
        fs.readFoldersSorted();
        const PassInput input = ListBoth(fs, one, dir / "two");
        faults::Reset();
        if (!openat2) {
            faults::Fail(Call::Openat2, ENOSYS, 0, 1 << 30);
        }
        const std::vector<std::string> log = RunPassHere(fs, input);
        faults::Reset();
        std::vector<std::string> expected;
        for (const std::string entry :
             {"/abs/x", "/dangling", "/file", "/folder", "/inside/x", "/ok", "/sub/rel/x"}) {
            expected.push_back(entry == "/ok" ? one + entry + "->" + dir / "two" + entry
                                              : one + entry + "失敗しました Error－5");
        }
        for (const std::string entry : {"/abs", "/inside", "/sub/rel"}) { // folders on side 1
            expected.push_back(dir / "two" + entry + "失敗しました Error－5");
        }
        EXPECT_EQ(log, expected);
        EXPECT_EQ(TakeSnapshot(outside), outsideBefore);
        Snapshot realAfter = TakeSnapshot(real);
        EXPECT_EQ(realAfter.erase("/ok"), 1U);
        EXPECT_EQ(realAfter, realBefore);
    }
}

} // namespace
} // namespace doplet::test
