// Access denied, as an ordinary user meets it: the pass runs in the helper program as the user
// nobody (CI runs as root, and root is never denied anything). Every refusal is one failure line
// with code 5, the file stays as it was, and the pass goes on with the next file.

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
constexpr uid_t kNobody = 65534;

void OwnedByNobody(const std::string& path) {
    ASSERT_EQ(::lchown(path.c_str(), kNobody, kNobody), 0) << path;
}

TEST(UnprivilegedTest, WhatTheUserMayNotReadOrWriteFailsWith5AndStaysAsItWas) {
    if (!CanSwitchUser()) {
        GTEST_SKIP() << "cannot run the helper as nobody here (needs root and setpriv)";
    }
    Scratch s;
    const std::string one = s.folder("one");
    const std::string two = s.folder("two");
    if (const ChildOutcome probe = RunCommand(AsNobody(s, {"list", one})); !probe.exitedWith(0)) {
        GTEST_SKIP() << "nobody cannot run the helper from " << s.path() << ": " << probe.err;
    }
    ASSERT_EQ(::chmod(one.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(two.c_str(), 0777), 0);

    PutFile(one + "/ok.txt", "ok", kNew);
    PutFile(one + "/new/deep/b.txt", "b", kNew);
    // A source the user may not read.
    PutFile(one + "/secret.txt", "secret", kNew, 0600);
    PutFile(two + "/secret.txt", "old secret", kOld, 0666);
    OwnedByNobody(two + "/secret.txt");
    // A target in a folder the user may not write to.
    PutFile(one + "/locked/a.txt", "root's a", kOld);
    PutFile(two + "/locked/a.txt", "nobody's newer a", kNew);
    OwnedByNobody(two + "/locked");
    OwnedByNobody(two + "/locked/a.txt");
    // A target the user may not write, in a folder the user may write to.
    PutFile(one + "/rootfile.txt", "root's file", kOld, 0644);
    PutFile(two + "/rootfile.txt", "nobody's newer file", kNew);
    OwnedByNobody(two + "/rootfile.txt");
    // A read-only target of the user's own.
    PutFile(one + "/nobody-ro.txt", "newer", kNew);
    PutFile(two + "/nobody-ro.txt", "read-only", kOld, 0444);
    OwnedByNobody(two + "/nobody-ro.txt");
    // Target folders the user may not create in (the folder stays missing: 3).
    PutFile(one + "/ro/c.txt", "c", kNew);
    s.folder("two/ro");
    ASSERT_EQ(::chmod((two + "/ro").c_str(), 0555), 0);
    PutFile(one + "/mk/sub/d.txt", "d", kNew);
    s.folder("two/mk");
    ASSERT_EQ(::chmod((two + "/mk").c_str(), 0555), 0);
    // A folder the user may not read is not listed; the listing goes on.
    PutFile(one + "/hidden/h.txt", "h", kNew);
    ASSERT_EQ(::chmod((one + "/hidden").c_str(), 0700), 0);
    for (const std::string& path :
         {one + "/ok.txt", one + "/new", one + "/new/deep", one + "/new/deep/b.txt", one + "/ro",
          one + "/ro/c.txt", one + "/mk", one + "/mk/sub", one + "/mk/sub/d.txt",
          one + "/nobody-ro.txt"}) {
        OwnedByNobody(path);
    }

    const Snapshot before1 = TakeSnapshot(one);
    const Snapshot before2 = TakeSnapshot(two);
    const ChildOutcome run = RunCommand(AsNobody(s, {"pass", one, two}));
    ASSERT_TRUE(run.exitedWith(0)) << run.out << run.err;
    std::vector<std::string> lines;
    for (const LogLine& line : ParseHelperLines(run.out)) {
        lines.push_back(line.text());
    }
    std::sort(lines.begin(), lines.end());
    std::vector<std::string> expected{
        SuccessText(one + "/ok.txt", two + "/ok.txt"),
        SuccessText(one + "/new/deep/b.txt", two + "/new/deep/b.txt"),
        FailureText(one + "/secret.txt", kErrorAccessDenied),
        FailureText(two + "/locked/a.txt", kErrorAccessDenied),
        FailureText(two + "/rootfile.txt", kErrorAccessDenied),
        FailureText(one + "/nobody-ro.txt", kErrorAccessDenied),
        FailureText(one + "/ro/c.txt", kErrorAccessDenied),
        FailureText(one + "/mk/sub/d.txt", kErrorPathNotFound),
    };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(lines, expected);

    // Side 1 is exactly as it was; side 2 gained exactly the two copies and their folders.
    EXPECT_EQ(TakeSnapshot(one), before1);
    Snapshot after2 = TakeSnapshot(two);
    for (const char* added : {"/ok.txt", "/new", "/new/deep", "/new/deep/b.txt"}) {
        ASSERT_EQ(after2.count(added), 1U) << added;
        EXPECT_EQ(after2.at(added).uid, kNobody) << added;
        after2.erase(added);
    }
    EXPECT_EQ(after2, before2);
    EXPECT_EQ(Slurp(two + "/ok.txt"), "ok");
}

} // namespace
} // namespace doplet::rel
