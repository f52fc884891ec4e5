// The engine's rules as tables: folder texts and entries, error codes, ages before 1970, the log
// line's wording, size totals, the copy step's temporary names, names as a case-insensitive disk
// compares them and names between UTF-8 and UTF-16; the folder listing over a real tree:
// depth-first order, what is left out, links, sizes beyond 32 bits, totals and labels, the
// not-found marker, and a walk that begins below the root; and a pass whose target root moves
// away.

#include "ErrorCodes.h"
#include "FaultyFileSystem.h"
#include "FolderListing.h"
#include "NameFold.h"
#include "Paths.h"
#include "SyncPass.h"
#include "TestFiles.h"
#include "Utf8.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <gtest/gtest.h>

namespace doplet::test {
namespace {

// clang-format off
TEST(Rules, FolderTextsAndEntries) {
    const std::string_view trims[][2] = {{" \t\n/data\x01 ", "/data"}, {"/a!", "/a!"},
        {"!/a", "!/a"}, {" ", ""}, {"", ""}, {"\x7f/x", "\x7f/x"},
        {"\xe3\x80\x80/x\xe3\x80\x80", "\xe3\x80\x80/x\xe3\x80\x80"}};
    for (const auto& row : trims) {
        EXPECT_EQ(TrimFolderText(row[0]), row[1]) << row[0];
    }
    // Folder, entry, joined, the entry's parent and name.
    const std::string_view joins[][5] = {{"/d", "/s/a", "/d/s/a", "/s", "a"},
        {"/d/", "/a", "/d/a", "", "a"}, {"/d//", "//a", "/d/a", "/", "a"},
        {"", "a", "/a", "", "a"}};
    for (const auto& row : joins) { // with the platform's separator
        const std::string entry = Native(row[1]);
        EXPECT_EQ(JoinPath(Native(row[0]), entry), Native(row[2])) << row[0] << " " << row[1];
        std::string_view parent = "unset";
        std::string_view name = "unset";
        SplitEntry(entry, &parent, &name);
        EXPECT_EQ(parent, Native(row[3])) << row[1];
        EXPECT_EQ(name, row[4]) << row[1];
    }
}

#ifndef _WIN32 // errno values are the POSIX back-end's
TEST(Rules, ErrorCodes) {
    const int rows[][2] = {{0, 0}, {ENOENT, 2}, {ENOTDIR, 3}, {EACCES, 5}, {EPERM, 5}, {EISDIR, 5},
        {ELOOP, 5}, {EROFS, 5}, {EBUSY, 32}, {ETXTBSY, 32}, {ESTALE, 32}, {ENOSPC, 112},
        {EDQUOT, 112}, {EFBIG, 112}, {ENAMETOOLONG, 206}, {EIO, 31}};
    for (const auto& row : rows) {
        EXPECT_EQ(ErrorCodeFromErrno(row[0]), row[1]) << "errno " << row[0];
    }
}
#endif

// Times before 1970 age in floored two-second steps too; the model test, which checks every other
// age and decision of a pass, seldom sets two such times side by side.
TEST(Rules, TimesBefore1970AgeInTwoSecondSteps) {
    for (const auto& [seconds, age] : {std::pair{-1, -1}, {-2, -1}, {-3, -2}, {-4, -2}}) {
        FileStat stat;
        stat.kind = EntryKind::File;
        stat.mtimeSec = seconds;
        EXPECT_EQ(AgeOf(stat), age) << seconds;
    }
}

TEST(Rules, LogLinesTotalsAndTemporaryNames) {
    const struct { std::uint64_t total; std::string_view separator, text; } totals[] = {
        {0, ",", "0Byte"}, {999, ",", "999Byte"}, {1000, ",", "1,000Byte"},
        {1234567, ",", "1,234,567Byte"}, {123456, ".", "123.456Byte"},
        {UINT64_MAX, ",", "18,446,744,073,709,551,615Byte"}};
    for (const auto& row : totals) {
        EXPECT_EQ(FormatTotal(row.total, row.separator), row.text);
    }
    EXPECT_TRUE(IsCopyTemporaryName(".doplet-0123456789abcdef.tmp"));
    for (const std::string_view other : {".doplet-0123456789ABCDEF.tmp",
             ".doplet-0123456789abcde.tmp", ".doplet-0123456789abcdef0.tmp",
             ".doplet-012345678/abcdef.tmp", ".doplet-012345678:abcdef.tmp",
             ".doplet-0123456789`bcdef.tmp", ".doplet-0123456789abcdeg.tmp",
             "xdoplet-0123456789abcdef.tmp", ".doplet-0123456789abcdef.tmx", "x.tmp"}) {
        EXPECT_FALSE(IsCopyTemporaryName(other)) << other;
    }
}

// ASCII, Latin-1 (not the multiplication sign), Greek, Cyrillic, full-width and Latin Extended-A
// letters with their neighbours; other scripts, and bytes that are not UTF-8, kept as they are.
TEST(Rules, NamesFoldAsCaseInsensitiveDisksCompareThem) {
    const std::string_view rows[][2] = {{"AZ@[az`{", "az@[az`{"}, {"ÀÞ×Öàé¿ß", "àþ×öàé¿ß"},
        {"ΐΑΡΣΩΪΫ", "ΐαρσωϊϋ"}, {"ЀЏАЯ", "ѐџая"}, {"ＡＺ＠［", "ａｚ＠［"}, {"ĀĶĸŊŶŉ", "āķĸŋŷŉ"},
        {"ĹŇŹŽŸ", "ĺňźžÿ"}, {"\xc3(\xc3", "\xc3(\xc3"}, {"\xe3\x80\x80\xe3\x80", "\xe3\x80\x80\xe3\x80"},
        {"\x7f\x80\xc1\x81\xc2\x80\xdf\xbf\xe0\xa0\x80\xef\xbf\xbf\xf0\x9f\x8e\xb5",
         "\x7f\x80\xc1\x81\xc2\x80\xdf\xbf\xe0\xa0\x80\xef\xbf\xbf\xf0\x9f\x8e\xb5"}};
    for (const auto& [name, folded] : rows) {
        std::string out;
        AppendFolded(name, out);
        EXPECT_EQ(out, folded) << name;
        EXPECT_EQ(FoldedHash(name), FoldedHash(folded)) << name;
    }
}
// UTF-8 and UTF-16 at the edges of every length; lone surrogates, which Windows allows in names,
// kept from UTF-16 (both: false) but refused from UTF-8 like every byte that is not strict UTF-8.
TEST(Rules, NamesConvertBetweenUtf8AndUtf16Strictly) {
    const struct { std::string_view utf8; std::u16string_view utf16; bool both = true; } rows[] = {
        {"a\x7f\xc2\x80\xdf\xbf", u"a\x7f\x80\x7ff"},
        {"\xf0\x90\x80\x80\xf4\x8f\xbf\xbf", u"\xd800\xdc00\xdbff\xdfff"},
        {"\xe0\xa0\x80\xed\x9f\xbf\xee\x80\x80\xef\xbf\xbf\xe6\x97\xa5",
         u"\x800\xd7ff\xe000\xffff\x65e5"},
        {"\xed\xa0\x80x\xed\xbf\xbf\xed\xaf\xbf\xf0\x90\x80\x80\xed\xaf\xbf",
         u"\xd800x\xdfff\xdbff\xd800\xdc00\xdbff", false},
        {"\xed\xb0\x80\xed\xb0\x80\xed\xa0\x80\xee\x80\x80", u"\xdc00\xdc00\xd800\xe000", false}};
    for (const auto& row : rows) {
        std::u16string wide = u"x";
        EXPECT_EQ(Utf8ToUtf16(row.utf8, &wide), row.both) << row.utf8;
        EXPECT_TRUE(!row.both || wide == row.utf16) << row.utf8;
        std::string narrow = "x";
        AppendUtf16AsUtf8(row.utf16, &narrow);
        EXPECT_EQ(narrow, "x" + std::string(row.utf8));
    }
    for (const std::string_view bytes : {"\x80", "\xc1\xbf", "\xc2", "\xc2\x41", "\xc2\xc0",
             "\xe0\x9f\xbf", "\xe3\x80", "\xed\xa0\x80", "\xed\xbf\xbf", "\xf0\x8f\xbf\xbf",
             "\xf4\x90\x80\x80", "\xf5\x80\x80\x80"}) {
        std::u16string wide = u"x";
        EXPECT_FALSE(Utf8ToUtf16("ok" + std::string(bytes), &wide)) << bytes;
    }
}
// clang-format on

TEST(Listing, ListsTheTreeAsTheRulesSay) {
    const TempDir dir;
    WriteFile(dir / "a.txt", "aaa");
    WriteFile(dir / "sub/b.txt", "bbbbb");
    WriteFile(dir / "sub/deeper/c.txt", "ccccccc");
    WriteFile(dir / ".git/x", "left out with its folder");
    WriteFile(dir / ".hidden", "h");
    WriteFile(dir / ".doplet-0123456789abcdef.tmp", "a temporary of ours");
    WriteFile(dir / "x.tmp", "xx");
    WriteFile(dir / "file", "not a folder");
    std::filesystem::resize_file(dir / "file", (1ULL << 32U) + 12); // a size beyond 32 bits
#ifdef _WIN32 // where the test cannot make a link: a file of the link's size stands in
    WriteFile(dir / "link", "sub");
#else
    std::filesystem::create_directory_symlink("sub", dir / "link"); // listed, never followed
#endif
    std::vector<std::string> all = {"/.hidden",          "/a.txt", "/file", "/link", "/sub/b.txt",
                                    "/sub/deeper/c.txt", "/x.tmp"};
    std::vector<std::string> sub = {"/sub/b.txt", "/sub/deeper/c.txt"};
    std::ranges::transform(all, all.begin(), Native); // with the platform's separator
    std::ranges::transform(sub, sub.begin(), Native);
    const std::vector<std::string> marker = {std::string(kNotFoundMarker)};
    constexpr std::uint64_t kAll = (1ULL << 32U) + 33;
    const struct {
        std::string root, start;
        int tag;
        std::vector<std::string> lines;
        std::uint64_t total;
    } rows[] = {
        {dir.path(), "", 1, all, kAll},      {dir.path() + "/", "", 2, all, kAll},
        {dir.path(), "/sub", 1, sub, 12},    {dir.path(), "/sub/", 3, sub, 12},
        {dir / "missing", "", 1, marker, 0}, {dir.path(), "/missing", 1, marker, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.root + " " + row.start + " tag " + std::to_string(row.tag));
        FaultyFileSystem fs;
        FileList list(row.tag);
        RecordingLabels labels;
        std::uint64_t total = 99;
        ListFolder(fs, row.root, Native(row.start), list, labels, total, ".");
        EXPECT_EQ(LinesOf(list), row.lines);
        EXPECT_EQ(total, row.total);
        using Captions = std::vector<std::pair<int, std::string>>;
        const Captions expected =
            row.tag == 3 ? Captions{} : Captions{{row.tag, FormatTotal(row.total, ".")}};
        EXPECT_EQ(labels.captions, expected);
    }
    FaultyFileSystem fs;
    for (const auto& [path, folder] : {std::pair{dir.path(), true},
                                       {dir / "file", false},
                                       {dir / "missing", false},
                                       {std::string(), false}}) {
        EXPECT_EQ(fs.directoryExists(path), folder) << path;
    }
}

// A target root whose folder is moved away (with the folder it is in) while the first file is
// being copied, another folder made under its old name: that copy is dropped and nothing more goes
// there, nor anywhere else. Where the platform refuses to move a folder while a file is being put
// in it (Windows), it is moved once that copy is made. Side 2's own file fails with 3, or on
// Windows, whose look-ups go by the root's path, with 2 (gone from there).
TEST(Pass, ARootMovedAwayDuringAPassGetsNothingMore) {
    const TempDir dir;
    const std::string one = dir.makeFolder("one"), two = dir.makeFolder("b/two");
    WriteFile(one + "/a.txt", "a");
    WriteFile(one + "/sub/b.txt", "b");
    WriteFile(two + "/c.txt", "c", {kBaseTime + 10, 0});
    FaultyFileSystem fs;
    bool moved = false;
    bool midCopy = false;
    const auto move = [&](bool inCopy) {
        std::error_code refused;
        if (!moved) {
            std::filesystem::rename(dir / "b", dir / "moved", refused);
            moved = !refused && std::filesystem::create_directories(two);
            midCopy = moved && inCopy;
        }
    };
    fs.beforeCommit([&](std::string_view, std::string_view) { move(true); });
    fs.afterCopy([&](std::string_view, std::string_view) { move(false); });
    const auto line = [&](const std::string& from, const char* entry, int code) {
        return code == 0 ? Copied(from, from == one ? two : one, entry) : Failed(from, entry, code);
    };
#ifdef _WIN32
    constexpr int kSideTwo = 2;
#else
    constexpr int kSideTwo = 3;
#endif
    const std::vector<std::string> lines = RunPassHere(fs, ListBoth(fs, one, two));
    EXPECT_EQ(lines, (std::vector{line(one, "/a.txt", midCopy ? 3 : 0), line(one, "/sub/b.txt", 3),
                                  line(two, "/c.txt", kSideTwo)}));
    ASSERT_TRUE(moved);
    EXPECT_EQ(std::filesystem::exists(dir / "moved/two/a.txt"), !midCopy);
    EXPECT_TRUE(std::filesystem::is_empty(two));
#ifndef _WIN32
    EXPECT_TRUE(midCopy);
#endif
}

} // namespace
} // namespace doplet::test
