// Folder texts, joined paths, temporaries' names and the failure codes.

#include "ErrorCodes.h"
#include "FileSystem.h"
#include "Paths.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <string>

namespace doplet {
namespace {

TEST(TrimFolderText, RemovesBlanksAndControlCharactersAtBothEnds) {
    EXPECT_EQ(TrimFolderText("  /data/  "), "/data/");
    EXPECT_EQ(TrimFolderText("\t\r\n\x01/data\x1f"), "/data");
    EXPECT_EQ(TrimFolderText("/my data/"), "/my data/"); // inner blanks stay
    EXPECT_EQ(TrimFolderText(" \t "), "");
    EXPECT_EQ(TrimFolderText(""), "");
}

TEST(TrimFolderText, KeepsEverythingAboveCode32) {
    // The full-width space, DEL and bytes of a name that is not UTF-8 are not blanks.
    EXPECT_EQ(TrimFolderText("\xe3\x80\x80/data\xe3\x80\x80"), "\xe3\x80\x80/data\xe3\x80\x80");
    EXPECT_EQ(TrimFolderText("\x7f/data\x7f"), "\x7f/data\x7f");
    EXPECT_EQ(TrimFolderText(" /caf\xe9 "), "/caf\xe9");
}

TEST(JoinPath, PutsExactlyOneSeparatorBetweenFolderAndEntry) {
    EXPECT_EQ(JoinPath("/data", "/sub/a.txt"), "/data/sub/a.txt");
    EXPECT_EQ(JoinPath("/data/", "/sub/a.txt"), "/data/sub/a.txt");
    EXPECT_EQ(JoinPath("/", "/a.txt"), "/a.txt");
    EXPECT_EQ(JoinPath("relative/dir", "/a.txt"), "relative/dir/a.txt");
}

TEST(JoinPath, KeepsLongEntriesWhole) {
    const std::string name(300, 'n');
    const std::string entry = "/" + std::string(200, 'd') + "/" + name;
    EXPECT_EQ(JoinPath("/data", entry), "/data" + entry);
}

TEST(SplitEntry, SeparatesFolderAndName) {
    std::string_view folder;
    std::string_view name;
    SplitEntry("/sub/deeper/a.txt", &folder, &name);
    EXPECT_EQ(folder, "/sub/deeper");
    EXPECT_EQ(name, "a.txt");
    SplitEntry("/a.txt", &folder, &name);
    EXPECT_EQ(folder, "");
    EXPECT_EQ(name, "a.txt");
}

TEST(IsCopyTemporaryName, RecognisesOnlyTheCopyStepsOwnNames) {
    EXPECT_TRUE(IsCopyTemporaryName(".doplet-0123456789abcdef.tmp"));
    EXPECT_TRUE(IsCopyTemporaryName(".doplet-ffffffffffffffff.tmp"));
    EXPECT_FALSE(IsCopyTemporaryName(".doplet-0123456789abcde.tmp"));   // 15 digits
    EXPECT_FALSE(IsCopyTemporaryName(".doplet-0123456789abcdef0.tmp")); // 17 digits
    EXPECT_FALSE(IsCopyTemporaryName(".doplet-0123456789abcdeg.tmp"));  // not hex
    EXPECT_FALSE(IsCopyTemporaryName("doplet-0123456789abcdef.tmp"));
    EXPECT_FALSE(IsCopyTemporaryName(".doplet-0123456789abcdef.tmp~"));
    EXPECT_FALSE(IsCopyTemporaryName(".doplet-0123456789abcdef"));
    EXPECT_FALSE(IsCopyTemporaryName("a.doplet-0123456789abcdef.tmp"));
    EXPECT_FALSE(IsCopyTemporaryName(".doplet-notes.tmp"));
    EXPECT_FALSE(IsCopyTemporaryName(""));
}

TEST(ErrorCodeFromErrno, GivesTheCodesOfTheWindowsCopy) {
    EXPECT_EQ(ErrorCodeFromErrno(ENOENT), kErrorFileNotFound);
    EXPECT_EQ(ErrorCodeFromErrno(ENOTDIR), kErrorPathNotFound);
    EXPECT_EQ(ErrorCodeFromErrno(EACCES), kErrorAccessDenied);
    EXPECT_EQ(ErrorCodeFromErrno(EPERM), kErrorAccessDenied);
    EXPECT_EQ(ErrorCodeFromErrno(EROFS), kErrorAccessDenied);
    EXPECT_EQ(ErrorCodeFromErrno(ENOSPC), kErrorDiskFull);
    EXPECT_EQ(ErrorCodeFromErrno(EDQUOT), kErrorDiskFull);
    EXPECT_EQ(ErrorCodeFromErrno(ENAMETOOLONG), kErrorNameTooLong);
    EXPECT_EQ(ErrorCodeFromErrno(EIO), kErrorGeneral);
    EXPECT_EQ(ErrorCodeFromErrno(EXDEV), kErrorGeneral);
    // The codes the window's help text and the log rely on.
    EXPECT_EQ(kErrorFileNotFound, 2);
    EXPECT_EQ(kErrorPathNotFound, 3);
    EXPECT_EQ(kErrorAccessDenied, 5);
    EXPECT_EQ(kErrorDiskFull, 112);
    EXPECT_EQ(kErrorNameTooLong, 206);
}

} // namespace
} // namespace doplet
