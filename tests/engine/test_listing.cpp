// The folder listing over a real tree: depth-first order, what is left out, links, totals and
// labels, the not-found marker, and a walk that begins below the root.

#include "FaultyFileSystem.h"
#include "TestFiles.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace doplet::test {
namespace {

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
    std::filesystem::create_directory_symlink("sub", dir / "link"); // listed, never followed
    const std::vector<std::string> all = {
        "/.hidden", "/a.txt", "/file", "/link", "/sub/b.txt", "/sub/deeper/c.txt", "/x.tmp"};
    const std::vector<std::string> sub = {"/sub/b.txt", "/sub/deeper/c.txt"};
    const std::vector<std::string> marker = {std::string(kNotFoundMarker)};
    const struct {
        std::string root, start;
        int tag;
        std::vector<std::string> lines;
        std::uint64_t total;
    } rows[] = {
        {dir.path(), "", 1, all, 33},
        {dir.path() + "/", "", 2, all, 33},
        {dir.path(), "/sub", 1, sub, 12},
        {dir.path(), "/sub/", 3, sub, 12},
        {dir / "missing", "", 1, marker, 0},
        {dir / "file", "", 2, marker, 0},
        {"", "", 1, marker, 0},
        {dir.path(), "/missing", 1, marker, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.root + " " + row.start + " tag " + std::to_string(row.tag));
        FaultyFileSystem fs;
        fs.readFoldersSorted();
        FileList list(row.tag);
        RecordingLabels labels;
        std::uint64_t total = 99;
        ListFolder(fs, row.root, row.start, list, labels, total, ".");
        EXPECT_EQ(LinesOf(list), row.lines);
        EXPECT_EQ(total, row.total);
        using Captions = std::vector<std::pair<int, std::string>>;
        const Captions expected =
            row.tag == 3 ? Captions{} : Captions{{row.tag, FormatTotal(row.total)}};
        EXPECT_EQ(labels.captions, expected);
    }
}

} // namespace
} // namespace doplet::test
