// The engine's rules as tables: folder texts and entries, error codes, ages and the decision of
// each sweep, the log line's wording, size totals and the copy step's temporary names.

#include "ErrorCodes.h"
#include "FolderListing.h"
#include "Paths.h"
#include "SyncPass.h"

#include <cerrno>
#include <climits>
#include <gtest/gtest.h>

namespace doplet {
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
    for (const auto& row : joins) {
        EXPECT_EQ(JoinPath(row[0], row[1]), row[2]) << row[0] << " " << row[1];
        std::string_view parent = "unset";
        std::string_view name = "unset";
        SplitEntry(row[1], &parent, &name);
        EXPECT_EQ(parent, row[3]) << row[1];
        EXPECT_EQ(name, row[4]) << row[1];
    }
}

TEST(Rules, ErrorCodes) {
    const int rows[][2] = {{0, 0}, {ENOENT, 2}, {ENOTDIR, 3}, {EACCES, 5}, {EPERM, 5}, {EISDIR, 5},
        {ELOOP, 5}, {EROFS, 5}, {EBUSY, 32}, {ETXTBSY, 32}, {ESTALE, 32}, {ENOSPC, 112},
        {EDQUOT, 112}, {EFBIG, 112}, {ENAMETOOLONG, 206}, {EIO, 31}};
    for (const auto& row : rows) {
        EXPECT_EQ(ErrorCodeFromErrno(row[0]), row[1]) << "errno " << row[0];
    }
}

TEST(Rules, AgesAndDecisions) {
    using K = EntryKind;
    const struct { EntryKind kind; std::int64_t seconds; Age age; } ages[] = {{K::File, 0, 0},
        {K::File, 1, 0}, {K::File, 2, 1}, {K::File, -1, -1}, {K::File, -2, -1}, {K::File, -3, -2},
        {K::Special, 5, 2}, {K::Folder, 4, kNoAge}, {K::Missing, 4, kNoAge}};
    for (const auto& row : ages) {
        FileStat stat;
        stat.kind = row.kind;
        stat.mtimeSec = row.seconds;
        EXPECT_EQ(AgeOf(stat), row.age) << row.seconds;
    }
    using D = CopyDirection;
    const struct { Age age1, age2; D sweep1, sweep2; } decisions[] = {
        {5, kNoAge, D::OneToTwo, D::None}, {5, 4, D::OneToTwo, D::None}, {5, 6, D::TwoToOne, D::None},
        {5, 5, D::None, D::None}, {-3, -4, D::OneToTwo, D::None},
        {kNoAge, -9, D::TwoToOne, D::TwoToOne}, {kNoAge, kNoAge, D::OneToTwo, D::TwoToOne}};
    for (const auto& row : decisions) {
        EXPECT_EQ(DecideSweep1(row.age1, row.age2), row.sweep1) << row.age1 << " " << row.age2;
        EXPECT_EQ(DecideSweep2(row.age1), row.sweep2) << row.age1;
    }
}

TEST(Rules, LogLinesTotalsAndTemporaryNames) {
    EXPECT_EQ((LogLine{"/a/x", "/b/x", 0}.text()), "/a/x->/b/x");
    EXPECT_EQ((LogLine{"/a/x", "", 5}.text()), "/a/x失敗しました Error－5");
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
// clang-format on

} // namespace
} // namespace doplet
