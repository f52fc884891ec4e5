// A pass never writes outside its two roots: a symbolic link on the target side, in place of a
// folder or of a file, pointing outside the root or inside it, is never written through; each such
// copy is one failure line and nothing outside changes. Links in a root's own path are followed as
// the user typed them. Both ways the engine reaches a target folder are tried: resolving beneath
// the root in one call (openat2), and the walk one folder at a time it falls back to on kernels
// without that call (the helper takes openat2 away with a seccomp filter).

#include "ErrorCodes.h"
#include "RelSupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace doplet::rel {
namespace {

constexpr Stamp kOld{1'600'000'000, 0};
constexpr Stamp kNew{1'600'000'100, 250};

class LinksTest : public ::testing::TestWithParam<bool> {
protected:
    [[nodiscard]] static bool withoutOpenat2() { return GetParam(); }
};

TEST_P(LinksTest, LinksOnTheTargetSideAreNeverWrittenThrough) {
    Scratch s;
    const std::string one = s.folder("one");
    const std::string real = s.folder("two-real");
    const std::string two = s / "two"; // the folder text: a link to the real folder
    ASSERT_EQ(::symlink("two-real", two.c_str()), 0);
    const std::string outside = s.folder("outside");
    s.folder("outside/dir1");
    s.folder("outside/dir2");
    s.folder("outside/dir3");
    PutFile(outside + "/victim.txt", "victim", kOld);

    for (const char* entry : {"/viadir/a.txt", "/deep/x/y/b.txt", "/file.txt", "/dangling.txt",
                              "/linkdir-as-file", "/alias/d.txt", "/ok/c.txt"}) {
        PutFile(one + entry, std::string("from side 1: ") + entry, kNew);
    }
    s.folder("two-real/deep");
    s.folder("two-real/ok");
    ASSERT_EQ(::symlink((outside + "/dir1").c_str(), (real + "/viadir").c_str()), 0);
    ASSERT_EQ(::symlink("../../outside/dir2", (real + "/deep/x").c_str()), 0);
    ASSERT_EQ(::symlink((outside + "/victim.txt").c_str(), (real + "/file.txt").c_str()), 0);
    ASSERT_EQ(::symlink((outside + "/never.txt").c_str(), (real + "/dangling.txt").c_str()), 0);
    ASSERT_EQ(::symlink((outside + "/dir3").c_str(), (real + "/linkdir-as-file").c_str()), 0);
    ASSERT_EQ(::symlink("ok", (real + "/alias").c_str()), 0); // a link that stays inside

    const Snapshot outsideBefore = TakeSnapshot(outside);
    Snapshot realBefore = TakeSnapshot(real);
    std::vector<std::string> argv{HelperPath(), "pass"};
    if (withoutOpenat2()) {
        argv.emplace_back("--no-openat2");
    }
    argv.push_back(one);
    argv.push_back(two);
    const ChildOutcome run = RunCommand(argv);
    if (run.exitedWith(77)) {
        GTEST_SKIP() << run.err;
    }
    ASSERT_TRUE(run.exitedWith(0)) << run.err;

    std::vector<std::string> lines;
    for (const LogLine& line : ParseHelperLines(run.out)) {
        lines.push_back(line.text());
    }
    std::sort(lines.begin(), lines.end());
    std::vector<std::string> expected{
        // Sweep 1: every copy through a link is refused.
        FailureText(one + "/viadir/a.txt", kErrorAccessDenied),
        FailureText(one + "/deep/x/y/b.txt", kErrorAccessDenied),
        FailureText(one + "/file.txt", kErrorAccessDenied),
        FailureText(one + "/dangling.txt", kErrorAccessDenied),
        FailureText(one + "/linkdir-as-file", kErrorAccessDenied),
        FailureText(one + "/alias/d.txt", kErrorAccessDenied),
        SuccessText(one + "/ok/c.txt", two + "/ok/c.txt"),
        // Sweep 2: links to folders are listed as entries; side 1 has folders there, so they
        // are due to be copied, and refused because their sources are folders.
        FailureText(two + "/viadir", kErrorAccessDenied),
        FailureText(two + "/deep/x", kErrorAccessDenied),
        FailureText(two + "/alias", kErrorAccessDenied),
    };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(lines, expected);

    EXPECT_EQ(TakeSnapshot(outside), outsideBefore) << "something outside the roots changed";
    Snapshot realAfter = TakeSnapshot(real);
    ASSERT_EQ(realAfter.count("/ok/c.txt"), 1U);
    realAfter.erase("/ok/c.txt");
    ASSERT_EQ(realAfter.count("/ok"), 1U);
    EXPECT_EQ(realAfter.at("/ok").ino, realBefore.at("/ok").ino);
    realAfter.erase("/ok"); // its time changed with the new file in it
    realBefore.erase("/ok");
    EXPECT_EQ(realAfter, realBefore) << "a link on side 2 was replaced or written through";
    EXPECT_EQ(Slurp(real + "/ok/c.txt"), "from side 1: /ok/c.txt");
}

INSTANTIATE_TEST_SUITE_P(TargetFolders, LinksTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "WalkingOneFolderAtATime"
                                               : "ResolvingBeneathTheRoot";
                         });

// The folder a pass has started writing into is swapped for a link to a folder outside the root:
// every later copy into it is refused, none goes through the link, and none goes into the folder
// under its new name either (the log would place it elsewhere).
TEST(LinksDuringThePass, AFolderSwappedForALinkMidwayIsNotFollowed) {
    Scratch s;
    const std::string one = s.folder("one");
    const std::string two = s.folder("two");
    const std::string outside = s.folder("outside");
    const std::vector<std::string> entries{"/sub/a.txt", "/sub/b.txt", "/sub/c.txt",
                                           "/sub/deeper/d.txt"};
    for (const std::string& entry : entries) {
        PutFile(one + entry, entry, kNew);
    }
    s.folder("two/sub");
    auto fs = std::make_shared<HookedFileSystem>();
    fs->afterCopy = [&](std::string_view, std::string_view, int) {
        ASSERT_EQ(::rename((two + "/sub").c_str(), (two + "/moved").c_str()), 0);
        ASSERT_EQ(::symlink(outside.c_str(), (two + "/sub").c_str()), 0);
        fs->afterCopy = nullptr;
    };
    const PassOutcome outcome =
        RunPassHere(*fs, PassInput{one, two, MakeList(entries, 1), MakeList({}, 2)});
    EXPECT_EQ(outcome.texts(), (std::vector<std::string>{
                                   SuccessText(one + "/sub/a.txt", two + "/sub/a.txt"),
                                   FailureText(one + "/sub/b.txt", kErrorAccessDenied),
                                   FailureText(one + "/sub/c.txt", kErrorAccessDenied),
                                   FailureText(one + "/sub/deeper/d.txt", kErrorAccessDenied)}));
    EXPECT_TRUE(TakeSnapshot(outside).empty()) << "wrote through the link";
    EXPECT_EQ(Slurp(two + "/moved/a.txt"), "/sub/a.txt");
    EXPECT_EQ(TakeSnapshot(two + "/moved").size(), 1U);
    EXPECT_TRUE(S_ISLNK(LookUp(two + "/sub")->st_mode));
}

} // namespace
} // namespace doplet::rel
