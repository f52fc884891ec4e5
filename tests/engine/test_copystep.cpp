// The copy step: target folders, what is and is not replaced, what the copy carries, and that a
// failed copy leaves the old target whole and nothing beside it.

#include "CopyStep.h"
#include "ErrorCodes.h"
#include "FaultyFileSystem.h"
#include "RecordingHost.h"
#include "TestFiles.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace doplet {
namespace {

using test::FileTime;
using test::kBaseTime;
using test::ModeOf;
using test::MtimeOf;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

std::string Failed(const std::string& source, int code) {
    return source + "失敗しました Error－" + std::to_string(code);
}

class CopyStep : public ::testing::Test {
protected:
    // Copies `entry` from side 1 to side 2 as a pass would: both files looked up first.
    LogLine copy(const std::string& entry, FileSystem* fileSystem = nullptr) {
        return copyBetween(one, two, entry, fileSystem);
    }
    LogLine copyBetween(const std::string& fromText, const std::string& toText,
                        const std::string& entry, FileSystem* fileSystem = nullptr) {
        FileSystem& use = fileSystem != nullptr ? *fileSystem : *fs;
        PassSide from = OpenPassSide(use, fromText);
        PassSide to = OpenPassSide(use, toText);
        EXPECT_NE(from.root, nullptr);
        EXPECT_NE(to.root, nullptr);
        if (from.root == nullptr || to.root == nullptr) {
            return {};
        }
        const FileStat fromSeen = use.statFile(*from.root, entry);
        const FileStat toSeen = use.statFile(*to.root, entry);
        return CopyOne(use, from, fromSeen, to, toSeen, entry);
    }

    std::shared_ptr<FileSystem> fs = MakeNativeFileSystem();
    TempDir dir;
    std::string one = dir.makeFolder("one");
    std::string two = dir.makeFolder("two");
};

TEST_F(CopyStep, CreatesAChainOfMissingFolders) {
    WriteFile(one + "/a/b/c/f.txt", "deep");
    const LogLine line = copy("/a/b/c/f.txt");
    EXPECT_EQ(line.text(), one + "/a/b/c/f.txt->" + two + "/a/b/c/f.txt");
    EXPECT_FALSE(line.failed());
    EXPECT_EQ(ReadFile(two + "/a/b/c/f.txt"), "deep");
    EXPECT_EQ(test::TreeOf(two), (std::vector<std::string>{"a", "a/b", "a/b/c", "a/b/c/f.txt"}));
}

TEST_F(CopyStep, WritesIntoAnExistingTargetFolder) {
    WriteFile(one + "/sub/f", "new");
    WriteFile(two + "/sub/other", "other");
    EXPECT_FALSE(copy("/sub/f").failed());
    EXPECT_EQ(test::NamesIn(two + "/sub"), (std::vector<std::string>{"f", "other"}));
    EXPECT_EQ(ReadFile(two + "/sub/other"), "other");
}

TEST_F(CopyStep, WordsLinesWithTheFolderTextsAsGiven) {
    WriteFile(one + "/sub/a.txt", "a");
    EXPECT_EQ(copyBetween(one + "/", two + "/", "/sub/a.txt").text(),
              one + "/sub/a.txt->" + two + "/sub/a.txt");
    EXPECT_EQ(copyBetween(" " + one + "\t", two, "/sub/a.txt").text(),
              one + "/sub/a.txt->" + two + "/sub/a.txt");
}

TEST_F(CopyStep, ReplacesAWritableTargetWhole) {
    WriteFile(one + "/f", "new", {kBaseTime + 10, 42});
    WriteFile(two + "/f", "old and much longer than the new content", {kBaseTime, 0});
    const LogLine line = copy("/f");
    EXPECT_EQ(line.text(), one + "/f->" + two + "/f");
    EXPECT_EQ(ReadFile(two + "/f"), "new");
    EXPECT_EQ(MtimeOf(two + "/f"), (FileTime{kBaseTime + 10, 42}));
    EXPECT_FALSE(test::HasCopyTemporary(two));
}

TEST_F(CopyStep, NeverReplacesAReadOnlyTargetEvenForRoot) {
    for (const mode_t mode : {0444U, 0400U, 0555U, 0477U}) {
        WriteFile(one + "/f", "new", {kBaseTime + 10, 0});
        WriteFile(two + "/f", "old", {kBaseTime, 0});
        ASSERT_EQ(::chmod((two + "/f").c_str(), mode), 0);
        const LogLine line = copy("/f");
        EXPECT_EQ(line.error, kErrorAccessDenied) << std::oct << mode;
        EXPECT_EQ(line.text(), Failed(one + "/f", 5));
        EXPECT_EQ(ReadFile(two + "/f"), "old");
        EXPECT_EQ(ModeOf(two + "/f"), mode);
        EXPECT_EQ(MtimeOf(two + "/f"), (FileTime{kBaseTime, 0}));
        EXPECT_FALSE(test::HasCopyTemporary(two));
        ASSERT_EQ(::chmod((two + "/f").c_str(), 0644), 0);
    }
}

TEST_F(CopyStep, ReportsAVanishedSourceWithCode2) {
    WriteFile(two + "/f", "old");
    const LogLine line = copy("/f");
    EXPECT_EQ(line.error, kErrorFileNotFound);
    EXPECT_EQ(line.text(), Failed(one + "/f", 2));
    EXPECT_EQ(ReadFile(two + "/f"), "old");

    // Gone between the look-up and the copy.
    test::FaultyFileSystem faulty;
    faulty.beforeCopy(
        [&](std::string_view, std::string_view) { std::filesystem::remove(one + "/g"); });
    WriteFile(one + "/g", "soon gone", {kBaseTime + 10, 0});
    WriteFile(two + "/g", "old");
    EXPECT_EQ(copy("/g", &faulty).text(), Failed(one + "/g", 2));
    EXPECT_EQ(ReadFile(two + "/g"), "old");
    EXPECT_FALSE(test::HasCopyTemporary(two));
}

TEST_F(CopyStep, CarriesTheTimeToTheNanosecondAndThePermissionBits) {
    const mode_t savedMask = ::umask(077);
    const std::vector<std::pair<std::string, mode_t>> files = {
        {"/rw", 0640}, {"/exec", 0755}, {"/everyone", 0666}, {"/own", 0600}};
    std::uint32_t nsec = 123'456'789;
    for (const auto& [entry, mode] : files) {
        WriteFile(one + entry, entry, {kBaseTime, nsec});
        ASSERT_EQ(::chmod((one + entry).c_str(), mode), 0);
        EXPECT_FALSE(copy(entry).failed()) << entry;
        EXPECT_EQ(ModeOf(two + entry), mode) << entry;
        EXPECT_EQ(MtimeOf(two + entry), (FileTime{kBaseTime, nsec})) << entry;
        EXPECT_EQ(ReadFile(two + entry), entry);
        ++nsec;
    }
    ::umask(savedMask);
}

TEST_F(CopyStep, NeverCopiesSetIdBits) {
    for (const mode_t mode : {04755U, 02755U, 06755U}) {
        WriteFile(one + "/tool", "#!/bin/sh\n");
        ASSERT_EQ(::chmod((one + "/tool").c_str(), mode), 0);
        std::filesystem::remove(two + "/tool");
        EXPECT_FALSE(copy("/tool").failed());
        EXPECT_EQ(ModeOf(two + "/tool"), 0755U) << std::oct << mode;
    }
}

TEST_F(CopyStep, FailsWhenAFolderOfTheTargetPathIsAFile) {
    WriteFile(one + "/a/f.txt", "f");
    WriteFile(two + "/a", "a file where a folder should be");
    const LogLine line = copy("/a/f.txt");
    EXPECT_EQ(line.text(), Failed(one + "/a/f.txt", kErrorPathNotFound));
    EXPECT_EQ(ReadFile(two + "/a"), "a file where a folder should be");
}

TEST_F(CopyStep, NeverWritesThroughALinkOnTheTargetSide) {
    TempDir outside;
    outside.makeFolder("folder");
    WriteFile(outside / "victim.txt", "victim", {kBaseTime, 0});
    ASSERT_EQ(::symlink((outside / "folder").c_str(), (two + "/sub").c_str()), 0);
    ASSERT_EQ(::symlink((outside / "victim.txt").c_str(), (two + "/f.txt").c_str()), 0);
    dir.makeFolder("two/a");
    ASSERT_EQ(::symlink((outside / "folder").c_str(), (two + "/a/link").c_str()), 0);
    WriteFile(one + "/sub/f.txt", "in place of a folder", {kBaseTime + 10, 0});
    WriteFile(one + "/f.txt", "in place of the file", {kBaseTime + 10, 0});
    WriteFile(one + "/a/link/b/c.txt", "below a link", {kBaseTime + 10, 0});

    for (const char* entry : {"/sub/f.txt", "/f.txt", "/a/link/b/c.txt"}) {
        const LogLine line = copy(entry);
        EXPECT_TRUE(line.failed()) << entry;
        EXPECT_EQ(line.source, one + entry);
        EXPECT_EQ(line.target, "");
    }
    EXPECT_EQ(test::TreeOf(outside.path()), (std::vector<std::string>{"folder", "victim.txt"}));
    EXPECT_EQ(ReadFile(outside / "victim.txt"), "victim");
    EXPECT_TRUE(S_ISLNK(test::LStat(two + "/sub").st_mode));
    EXPECT_TRUE(S_ISLNK(test::LStat(two + "/f.txt").st_mode));
    EXPECT_TRUE(S_ISLNK(test::LStat(two + "/a/link").st_mode));
}

TEST_F(CopyStep, NeverReplacesAFolderOrASpecialFile) {
    WriteFile(one + "/dir", "a file");
    WriteFile(two + "/dir/inside", "kept");
    WriteFile(one + "/pipe", "a file");
    ASSERT_EQ(::mkfifo((two + "/pipe").c_str(), 0644), 0);
    EXPECT_TRUE(copy("/dir").failed());
    EXPECT_TRUE(copy("/pipe").failed());
    EXPECT_EQ(ReadFile(two + "/dir/inside"), "kept");
    EXPECT_TRUE(S_ISFIFO(test::LStat(two + "/pipe").st_mode));
}

TEST_F(CopyStep, FailsOnAPipeAsSourceWithoutHanging) {
    const std::string pipe = one + "/pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    auto copying = std::async(std::launch::async, [&] { return copy("/pipe"); });
    if (copying.wait_for(test::kHangLimit) == std::future_status::timeout) {
        ADD_FAILURE() << "the copy step opened the pipe and waits for a writer";
        // Let it go: a writer that closes at once gives the reader its end of file.
        const int writer = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) {
            ::close(writer);
        }
    }
    const LogLine line = copying.get();
    EXPECT_TRUE(line.failed());
    EXPECT_EQ(line.source, pipe);
    EXPECT_FALSE(test::Exists(two + "/pipe"));
}

TEST_F(CopyStep, FailsOnAPipePutInPlaceOfTheSourceAfterTheLookUp) {
    test::FaultyFileSystem faulty;
    faulty.beforeCopy([&](std::string_view, std::string_view) {
        std::filesystem::remove(one + "/f");
        ASSERT_EQ(::mkfifo((one + "/f").c_str(), 0644), 0);
    });
    WriteFile(one + "/f", "a file at first", {kBaseTime + 10, 0});
    WriteFile(two + "/f", "old", {kBaseTime, 0});
    auto copying = std::async(std::launch::async, [&] { return copy("/f", &faulty); });
    if (copying.wait_for(test::kHangLimit) == std::future_status::timeout) {
        ADD_FAILURE() << "the copy step opened the pipe and waits for a writer";
        const int writer = ::open((one + "/f").c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) {
            ::close(writer);
        }
    }
    EXPECT_TRUE(copying.get().failed());
    EXPECT_EQ(ReadFile(two + "/f"), "old");
    EXPECT_FALSE(test::HasCopyTemporary(two));
}

TEST_F(CopyStep, LeavesTheTargetAloneWhenTheSourceChangesBeforeTheCopy) {
    test::FaultyFileSystem faulty;
    faulty.beforeCopy([&](std::string_view, std::string_view) {
        WriteFile(one + "/f", "changed after the look-up", {kBaseTime + 20, 0});
    });
    WriteFile(one + "/f", "seen", {kBaseTime + 10, 0});
    WriteFile(two + "/f", "old", {kBaseTime, 0});
    const LogLine line = copy("/f", &faulty);
    EXPECT_EQ(line.text(), Failed(one + "/f", kErrorSharingViolation));
    EXPECT_EQ(ReadFile(two + "/f"), "old");
    EXPECT_FALSE(test::HasCopyTemporary(two));
}

TEST_F(CopyStep, NeverReplacesATargetThatChangedOrAppearedAfterTheLookUp) {
    test::FaultyFileSystem faulty;
    faulty.beforeCopy([&](std::string_view, std::string_view name) {
        WriteFile(two + "/" + std::string(name), "written meanwhile", {kBaseTime + 30, 0});
    });
    WriteFile(one + "/appeared", "mine", {kBaseTime + 10, 0});
    WriteFile(one + "/changed", "mine", {kBaseTime + 10, 0});
    WriteFile(two + "/changed", "old", {kBaseTime, 0});
    for (const char* entry : {"/appeared", "/changed"}) {
        EXPECT_TRUE(copy(entry, &faulty).failed()) << entry;
        EXPECT_EQ(ReadFile(two + entry), "written meanwhile") << entry;
    }
    EXPECT_FALSE(test::HasCopyTemporary(two));
}

TEST_F(CopyStep, ACopyFailingPartWayLeavesTheOldTargetAndNoTemporary) {
    // The file size limit stops every write at 64 KiB, as a full disk would.
    WriteFile(one + "/big", std::string(1 << 20, 'b'), {kBaseTime + 10, 0});
    WriteFile(two + "/big", "old", {kBaseTime, 0});
    WriteFile(one + "/new/big", std::string(1 << 20, 'b'), {kBaseTime + 10, 0});
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = rlim_t{64} * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const LogLine replacing = copy("/big");
    const LogLine creating = copy("/new/big");
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(replacing.text(), Failed(one + "/big", kErrorDiskFull));
    EXPECT_EQ(creating.text(), Failed(one + "/new/big", kErrorDiskFull));
    EXPECT_EQ(ReadFile(two + "/big"), "old");
    EXPECT_EQ(MtimeOf(two + "/big"), (FileTime{kBaseTime, 0}));
    EXPECT_FALSE(test::Exists(two + "/new/big"));
    EXPECT_FALSE(test::HasCopyTemporary(two));
}

TEST(OpenPassSide, OpensTheFolderTheTextNames) {
    auto fs = MakeNativeFileSystem();
    TempDir dir;
    const std::string blank = dir.makeFolder("name ");
    dir.makeFolder("name");
    WriteFile(blank + "/only-here", "x");

    PassSide side = OpenPassSide(*fs, blank);
    ASSERT_NE(side.root, nullptr);
    EXPECT_TRUE(fs->statFile(*side.root, "/only-here").exists());

    PassSide trimmed = OpenPassSide(*fs, "  " + dir.path() + "/name\t");
    ASSERT_NE(trimmed.root, nullptr);
    EXPECT_FALSE(fs->statFile(*trimmed.root, "/only-here").exists());

    PassSide missing = OpenPassSide(*fs, dir / "missing");
    EXPECT_EQ(missing.root, nullptr);
    EXPECT_NE(missing.openError, 0);
}

} // namespace
} // namespace doplet
