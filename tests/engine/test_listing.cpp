// The folder listing: entries, their order, what is left out, the byte total and its label.

#include "FaultyFileSystem.h"
#include "FolderListing.h"
#include "TestFiles.h"

#include <algorithm>
#include <cstdint>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace doplet {
namespace {

using test::RecordingLabels;
using test::TempDir;
using test::WriteFile;

std::vector<std::string> Sorted(std::vector<std::string> lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

class Listing : public ::testing::Test {
protected:
    // Lists `root` into a fresh list with tag 1 and returns its lines.
    std::vector<std::string> list(const std::string& root, FileSystem* fileSystem = nullptr) {
        FileList fileList(1);
        labels.captions.clear();
        ListFolder(fileSystem != nullptr ? *fileSystem : *fs, root, "", fileList, labels, total);
        return test::LinesOf(fileList);
    }

    std::shared_ptr<FileSystem> fs = MakeNativeFileSystem();
    TempDir dir;
    RecordingLabels labels;
    std::uint64_t total = 12345; // every listing starts from zero, whatever is here
};

TEST_F(Listing, WalksDepthFirstWithSubfolderContentsWhereTheFolderWasMet) {
    test::FaultyFileSystem sorted;
    sorted.readFoldersSorted();
    WriteFile(dir / "a.txt", "a");
    WriteFile(dir / "sub/x.txt", "x");
    WriteFile(dir / "sub/deep/y.txt", "y");
    WriteFile(dir / "sub/z.txt", "z");
    dir.makeFolder("sub/empty");
    WriteFile(dir / "t.txt", "t");
    WriteFile(dir / "zz/last.txt", "l");

    EXPECT_EQ(list(dir.path(), &sorted),
              (std::vector<std::string>{"/a.txt", "/sub/deep/y.txt", "/sub/x.txt", "/sub/z.txt",
                                        "/t.txt", "/zz/last.txt"}));
}

TEST_F(Listing, KeepsEverySubtreeTogetherInThePlatformsOwnOrder) {
    for (const char* name : {"a", "b", "c", "d"}) {
        const std::string file(name);
        WriteFile(dir / file, name);
        WriteFile(dir / ("s1/" + file), name);
        WriteFile(dir / ("s1/s2/" + file), name);
        WriteFile(dir / ("t1/" + file), name);
    }
    const std::vector<std::string> lines = list(dir.path());
    ASSERT_EQ(lines.size(), 16U);
    for (const std::string prefix : {"/s1/", "/s1/s2/", "/t1/"}) {
        std::vector<std::size_t> at;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].rfind(prefix, 0) == 0) {
                at.push_back(i);
            }
        }
        ASSERT_FALSE(at.empty()) << prefix;
        EXPECT_EQ(at.back() - at.front() + 1, at.size()) << prefix << " is split in the list";
    }
}

TEST_F(Listing, LeavesOutDotFoldersWithTheirContentsButListsDotFiles) {
    WriteFile(dir / ".git/config", "c");
    WriteFile(dir / ".git/objects/ab/cdef", "o");
    WriteFile(dir / ".cache/deep/f", "f");
    WriteFile(dir / "sub/.hidden/f", "f");
    WriteFile(dir / ".env", "e");
    WriteFile(dir / "sub/.profile", "p");
    WriteFile(dir / "visible.txt", "v");

    EXPECT_EQ(Sorted(list(dir.path())),
              (std::vector<std::string>{"/.env", "/sub/.profile", "/visible.txt"}));
    EXPECT_EQ(total, 3U);
}

TEST_F(Listing, CountsEverySizeInFullIncludingFilesAbove4GiB) {
    WriteFile(dir / "one", "1");
    WriteFile(dir / "sub/thousand", std::string(1000, 'k'));
    WriteFile(dir / "empty", "");
    constexpr std::uint64_t kFiveGiB = 5ULL << 30U;
    {
        const int fd = ::open((dir / "sparse.bin").c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(kFiveGiB)), 0);
        ::close(fd);
    }

    EXPECT_EQ(Sorted(list(dir.path())),
              (std::vector<std::string>{"/empty", "/one", "/sparse.bin", "/sub/thousand"}));
    EXPECT_EQ(total, kFiveGiB + 1001);
    EXPECT_EQ(labels.captions,
              (std::vector<std::pair<int, std::string>>{{1, "5,368,710,121Byte"}}));
}

TEST(FormatTotal, GroupsDigitsByThreesAndAppendsByte) {
    EXPECT_EQ(FormatTotal(0), "0Byte");
    EXPECT_EQ(FormatTotal(999), "999Byte");
    EXPECT_EQ(FormatTotal(1000), "1,000Byte");
    EXPECT_EQ(FormatTotal(1234567), "1,234,567Byte");
    EXPECT_EQ(FormatTotal(100000), "100,000Byte");
    EXPECT_EQ(FormatTotal(UINT64_MAX), "18,446,744,073,709,551,615Byte");
    EXPECT_EQ(FormatTotal(1234567, "."), "1.234.567Byte");
    EXPECT_EQ(FormatTotal(1234567, "\xc2\xa0"), "1\xc2\xa0"
                                                "234\xc2\xa0"
                                                "567Byte");
}

TEST_F(Listing, SetsOnlyTheLabelItsListsTagSelects) {
    WriteFile(dir / "a", std::string(1234, 'a'));
    for (const int tag : {1, 2, 0, 3}) {
        FileList fileList(tag);
        RecordingLabels tagged;
        ListFolder(*fs, dir.path(), "", fileList, tagged, total);
        EXPECT_EQ(test::LinesOf(fileList), std::vector<std::string>{"/a"}) << "tag " << tag;
        EXPECT_EQ(total, 1234U);
        if (tag == 1 || tag == 2) {
            EXPECT_EQ(tagged.captions,
                      (std::vector<std::pair<int, std::string>>{{tag, "1,234Byte"}}));
        } else {
            EXPECT_TRUE(tagged.captions.empty()) << "tag " << tag;
        }
    }
}

TEST_F(Listing, GivesTheNotFoundMarkerForARootThatIsNoFolder) {
    WriteFile(dir / "file.txt", "not a folder");
    for (const std::string& root : {dir / "missing", dir / "file.txt", std::string()}) {
        FileList fileList(2);
        RecordingLabels tagged;
        total = 99;
        ListFolder(*fs, root, "", fileList, tagged, total);
        EXPECT_EQ(test::LinesOf(fileList), std::vector<std::string>{std::string(kNotFoundMarker)})
            << "root '" << root << "'";
        EXPECT_EQ(total, 0U);
        EXPECT_EQ(tagged.captions, (std::vector<std::pair<int, std::string>>{{2, "0Byte"}}));
    }
    EXPECT_EQ(kNotFoundMarker, "フォルダがみつかりません");
}

TEST_F(Listing, GivesTheSameEntriesWithOrWithoutTrailingSeparators) {
    WriteFile(dir / "a.txt", "aa");
    WriteFile(dir / "sub/b.txt", "bbb");
    const std::vector<std::string> plain = list(dir.path());
    const std::uint64_t plainTotal = total;
    EXPECT_EQ(Sorted(plain), (std::vector<std::string>{"/a.txt", "/sub/b.txt"}));
    EXPECT_EQ(plainTotal, 5U);
    for (const std::string& root : {dir.path() + "/", dir.path() + "//"}) {
        EXPECT_EQ(list(root), plain) << root;
        EXPECT_EQ(total, plainTotal);
    }
}

TEST_F(Listing, DescendsIntoReadOnlyFolders) {
    WriteFile(dir / "ro/inner/f.txt", "f");
    WriteFile(dir / "ro/g.txt", "g");
    ASSERT_EQ(::chmod((dir / "ro/inner").c_str(), 0555), 0);
    ASSERT_EQ(::chmod((dir / "ro").c_str(), 0555), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);

    EXPECT_EQ(Sorted(list(dir.path())), (std::vector<std::string>{"/ro/g.txt", "/ro/inner/f.txt"}));
}

TEST_F(Listing, ListsLinksAsSingleEntriesAndNeverFollowsThem) {
    TempDir outside;
    WriteFile(outside / "secret/deep.txt", "s");
    WriteFile(outside / "target.txt", "t");
    WriteFile(dir / "plain.txt", "p");
    ASSERT_EQ(::symlink((outside / "secret").c_str(), (dir / "folderlink").c_str()), 0);
    ASSERT_EQ(::symlink((outside / "target.txt").c_str(), (dir / "filelink").c_str()), 0);
    ASSERT_EQ(::symlink((dir / "nowhere").c_str(), (dir / "dangling").c_str()), 0);
    dir.makeFolder("sub");
    ASSERT_EQ(::symlink("..", (dir / "sub/up").c_str()), 0); // a loop if it were followed

    EXPECT_EQ(Sorted(list(dir.path())),
              (std::vector<std::string>{"/dangling", "/filelink", "/folderlink", "/plain.txt",
                                        "/sub/up"}));
}

TEST_F(Listing, FollowsALinkThatIsTheRootItself) {
    WriteFile(dir / "real/sub/a", "a");
    ASSERT_EQ(::symlink((dir / "real").c_str(), (dir / "root-link").c_str()), 0);
    EXPECT_EQ(list(dir / "root-link"), std::vector<std::string>{"/sub/a"});
}

TEST_F(Listing, LeavesOutTheCopyStepsTemporariesOnly) {
    WriteFile(dir / ".doplet-0123456789abcdef.tmp", "half a copy");
    WriteFile(dir / "sub/.doplet-fedcba9876543210.tmp", "half a copy");
    WriteFile(dir / ".doplet-notes.tmp", "a user's file");
    WriteFile(dir / "sub/kept.txt", "k");

    EXPECT_EQ(Sorted(list(dir.path())),
              (std::vector<std::string>{"/.doplet-notes.tmp", "/sub/kept.txt"}));
    EXPECT_EQ(total, 14U);
}

TEST_F(Listing, ListsNamesThatAreNotUtf8ByteForByte) {
    WriteFile(dir / "caf\xe9.txt", "c");
    WriteFile(dir / "d\xff\xfe/f\x80", "f");

    EXPECT_EQ(Sorted(list(dir.path())),
              (std::vector<std::string>{"/caf\xe9.txt", "/d\xff\xfe/f\x80"}));
}

TEST_F(Listing, ListsSpecialFilesAsEntries) {
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
    WriteFile(dir / "a", "a");
    EXPECT_EQ(Sorted(list(dir.path())), (std::vector<std::string>{"/a", "/pipe"}));
}

TEST_F(Listing, RepeatedListingsGiveTheSameListAndTotal) {
    WriteFile(dir / "a", "12345");
    WriteFile(dir / "s/b", "678");
    const std::vector<std::string> first = list(dir.path());
    const auto firstCaptions = labels.captions;
    EXPECT_EQ(total, 8U);
    EXPECT_EQ(list(dir.path()), first);
    EXPECT_EQ(total, 8U);
    EXPECT_EQ(labels.captions, firstCaptions);
}

TEST_F(Listing, EmptyRootGivesNoEntriesAndZeroBytes) {
    dir.makeFolder("empty/inner");
    EXPECT_TRUE(list(dir / "empty").empty());
    EXPECT_EQ(total, 0U);
    EXPECT_EQ(labels.captions, (std::vector<std::pair<int, std::string>>{{1, "0Byte"}}));
}

TEST_F(Listing, StartsAtTheGivenRelativePath) {
    WriteFile(dir / "outside.txt", "o");
    WriteFile(dir / "sub/x.txt", "x");
    WriteFile(dir / "sub/deep/y.txt", "y");
    FileList fileList(1);
    ListFolder(*fs, dir.path(), "/sub", fileList, labels, total);
    EXPECT_EQ(Sorted(test::LinesOf(fileList)),
              (std::vector<std::string>{"/sub/deep/y.txt", "/sub/x.txt"}));
    EXPECT_EQ(total, 2U);
}

TEST(FileList, KeepsLinesInOrderWithItsTag) {
    FileList list(2);
    EXPECT_EQ(list.tag(), 2);
    EXPECT_TRUE(list.empty());
    list.appendLine("/a");
    list.appendLine("");
    list.appendLine("/caf\xe9/b");
    ASSERT_EQ(list.size(), 3U);
    EXPECT_EQ(list.at(0), "/a");
    EXPECT_EQ(list.at(1), "");
    EXPECT_EQ(list.at(2), "/caf\xe9/b");
    list.clear();
    EXPECT_TRUE(list.empty());
    list.appendLine("/again");
    EXPECT_EQ(test::LinesOf(list), std::vector<std::string>{"/again"});
}

} // namespace
} // namespace doplet
