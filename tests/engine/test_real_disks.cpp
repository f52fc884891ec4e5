// The engine on the disks people sync to (exFAT and FAT sticks, XFS with shared blocks, btrfs,
// tmpfs, a read-only disk), on roots nested in each other, and on a tree deeper than the
// descriptor limit. Mounting needs root: each test program mounts in a mount namespace of its own.
// A file system that cannot be mounted here makes its test skip, naming it, after the other rows
// ran; with DOPLET_REQUIRE_REAL_DISKS=1 (scripts/test as root) the test fails instead.

#include "ErrorCodes.h"
#include "FaultyFileSystem.h"
#include "TestFiles.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace doplet::test {
namespace {

constexpr FileTime kOld{kBaseTime, 0};
constexpr FileTime kNew{kBaseTime + 10, 0};
constexpr off_t kSparseSize = 16 << 20;

std::vector<std::string> Sorted(std::vector<std::string> lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

bool Shell(const std::string& command, const std::string& output = "/dev/null") {
    // NOLINTNEXTLINE(concurrency-mt-unsafe): the test runs commands from one thread only
    return std::system(("(" + command + ") >" + output + " 2>&1").c_str()) == 0;
}

// Ends a test whose rows ran on every disk but those in `unmounted` (each with its reason): a skip,
// or a failure where the disks are required.
void SkipOrFail(const std::string& unmounted) {
    if (unmounted.empty()) {
        return;
    }
    // NOLINTNEXTLINE(concurrency-mt-unsafe): read from the test's one thread
    const char* required = std::getenv("DOPLET_REQUIRE_REAL_DISKS");
    if (required != nullptr && std::string(required) == "1") {
        FAIL() << "DOPLET_REQUIRE_REAL_DISKS=1, but these could not be mounted:" << unmounted;
    }
    GTEST_SKIP() << "could not be mounted here:" << unmounted;
}

// A file system of `kind` mounted on `dir` for as long as the object lives; where mounting is
// refused here, mounted() is false and `unmounted` gets the kind and what the commands said.
class Disk final {
public:
    Disk(const std::string& kind, const TempDir& scratch, std::string dir, std::string& unmounted)
        : dir_(std::move(dir)) {
        static const bool ownMounts =
            ::unshare(CLONE_NEWNS) == 0 &&
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        // How each kind of disk is mounted on $d, with $i a file for its image.
        // clang-format off
        const std::map<std::string, std::string> mounts{
            {"exfat", "truncate -s 48M $i && mkfs.exfat $i && l=$(losetup -f --show $i) &&"
                      " mount.exfat-fuse $l $d; r=$?; losetup -d $l; exit $r"},
            {"vfat", "truncate -s 48M $i && mkfs.vfat $i && fusefat -o rw+ $i $d"},
            {"xfs", "truncate -s 300M $i && mkfs.xfs -q -m reflink=1 $i && mount $i $d"},
            {"btrfs", "truncate -s 128M $i && mkfs.btrfs -q $i && mount $i $d"},
            {"tmpfs", "mount -t tmpfs -o size=48M tmpfs $d"},
            {"btrfs-noacl", "truncate -s 128M $i && mkfs.btrfs -q $i && mount -o noacl $i $d"},
            {"read-only", "mount --bind $d $d && mount -o remount,ro,bind $d $d"}};
        // clang-format on
        const std::string output = scratch / "mount.out"; // what the commands said, removed
        mounted_ =
            ownMounts &&
            Shell("i=" + scratch / (kind + ".img") + " d=" + dir_ + "; " + mounts.at(kind), output);
        if (!mounted_) {
            unmounted += "\n  " + kind + ": " + ReadFile(output).value_or("no mount namespace");
        }
        std::filesystem::remove(output);
    }
    ~Disk() {
        if (mounted_) {
            Shell("umount " + dir_);
        }
    }
    [[nodiscard]] bool mounted() const { return mounted_; }

private:
    std::string dir_;
    bool mounted_ = false;
};

std::string Xattr(const std::string& path, const char* name) {
    std::string value(256, '\0');
    const ssize_t size = ::getxattr(path.c_str(), name, value.data(), value.size());
    return size < 0 ? "none" : value.substr(0, static_cast<std::size_t>(size));
}

TEST(RealDisks, NothingIsLostOrExposedOnTheDisksPeopleSyncTo) {
    // Each disk, and whether it keeps ACLs (1 no, 2 yes); 0 for a stick: File.txt and file.txt
    // are one file, no permission bits, attributes or holes.
    const std::pair<const char*, int> cases[] = {{"exfat", 0}, {"vfat", 0},  {"xfs", 2},
                                                 {"btrfs", 2}, {"tmpfs", 2}, {"btrfs-noacl", 1}};
    std::string unmounted;
    for (const auto& [kind, acls] : cases) {
        SCOPED_TRACE(kind);
        const TempDir scratch;
        const std::string one = scratch.makeFolder("one");
        const std::string two = scratch.makeFolder("two");
        const Disk disk(kind, scratch, two, unmounted);
        if (!disk.mounted()) {
            continue;
        }
        // Names a stick takes for one file, at the file and at the folder level; each second
        // one is newer.
        const std::pair<const char*, const char*> clashing[] = {
            {"/File.txt", "A"},  {"/file.txt", "B"},   {"/Sub/x.txt", "C"},
            {"/sub/x.txt", "D"}, {"/d/Same.txt", "E"}, {"/d/same.txt", "F"}};
        std::vector<std::string> settled;
        for (const auto& [entry, content] : clashing) {
            WriteFile(one + entry, content, settled.size() % 2 == 0 ? kOld : kNew);
            settled.push_back(Failed(one, entry, kErrorFileExists));
        }
        // A private folder, a file whose ACL narrows its own group's rw to r, and a sparse file.
        WriteFile(one + "/private/p.txt", "p");
        WriteFile(one + "/acl.txt", "acl");
        WriteFile(one + "/sparse.bin", "data");
        ASSERT_TRUE(
            Shell("cd " + one + " && chmod 700 private && chmod 660 acl.txt && setfacl -n -m " +
                  "g::rw,m::r,u:nobody:r acl.txt && setfattr -n user.note -v n acl.txt && " +
                  "truncate -s 16M sparse.bin && touch -d @" + std::to_string(kBaseTime) +
                  " sparse.bin"));

        // Four workers: names that fold together are handled one after the other all the same.
        const std::shared_ptr<FileSystem> fs = MakeNativeFileSystem();
        const auto first = RunPassHere(*fs, ListBoth(*fs, one, two), nullptr, 4);
        const auto clashes =
            std::ranges::count_if(first, [](auto& l) { return l.ends_with("－80"); });
        EXPECT_EQ(clashes, acls == 0 ? 3 : 0) << "pass 1: each second name meets the first";
        for (int pass = 2; pass <= 3; ++pass) {
            EXPECT_EQ(Sorted(RunPassHere(*fs, ListBoth(*fs, one, two), nullptr, 4)),
                      acls == 0 ? Sorted(settled) : std::vector<std::string>{})
                << "pass " << pass;
        }
        for (const auto& [entry, content] : clashing) {
            EXPECT_EQ(ReadFile(one + entry), content);
        }
        EXPECT_TRUE(ReadFile(two + "/sparse.bin") == ReadFile(one + "/sparse.bin"));
        if (acls != 0) {
            EXPECT_EQ(LStat(two + "/private").st_mode & 07777, 0700U);
            EXPECT_EQ(LStat(two + "/acl.txt").st_mode & 07777, 0640U);
            EXPECT_EQ(Xattr(two + "/acl.txt", "system.posix_acl_access"),
                      acls == 2 ? Xattr(one + "/acl.txt", "system.posix_acl_access") : "none");
            EXPECT_EQ(Xattr(two + "/acl.txt", "user.note"), "n");
            EXPECT_LT(LStat(two + "/sparse.bin").st_blocks * 512, kSparseSize / 4);
        }
    }
    SkipOrFail(unmounted);
}

TEST(RealDisks, RootsInsideEachOtherOrReadOnlyGetClearResults) {
    const std::vector<std::string> nested{
        "outer",          "outer/a.txt",  "outer/c.txt",        "outer/in",  "outer/in/a.txt",
        "outer/in/c.txt", "outer/in/sub", "outer/in/sub/b.txt", "outer/sub", "outer/sub/b.txt"};
    // The roots below the scratch folder; "read-only": side 2 on a read-only disk, whose last pass
    // logs failures (the others log nothing); everything below the scratch folder afterwards.
    const struct {
        std::string one, two, event;
        int passes;
        std::vector<std::string> tree;
    } cases[] = {
        // clang-format off
        {"outer", "outer/in", "", 3, nested},
        {"outer/in", "outer", "", 3, nested},
        {"same", "same", "", 1, {"same", "same/a.txt", "same/c.txt", "same/sub", "same/sub/b.txt"}},
        {"one", "two", "read-only", 1,
         {"one", "one/a.txt", "one/c.txt", "one/sub", "one/sub/b.txt", "two", "two/c.txt"}},
        // clang-format on
    };
    std::string unmounted;
    for (const auto& row : cases) {
        SCOPED_TRACE(row.one + " and " + row.two + " " + row.event);
        const TempDir scratch;
        const std::string one = scratch.makeFolder(row.one);
        const std::string two = scratch.makeFolder(row.two);
        WriteFile(one + "/a.txt", "a");
        WriteFile(one + "/sub/b.txt", "b");
        WriteFile(two + "/c.txt", "c", kNew);
        FaultyFileSystem fs;
        const std::unique_ptr<Disk> disk =
            row.event == "read-only" ? std::make_unique<Disk>(row.event, scratch, two, unmounted)
                                     : nullptr;
        if (disk && !disk->mounted()) {
            continue;
        }
        std::vector<std::string> lines;
        for (int pass = 0; pass < row.passes; ++pass) { // one worker, then four, then one
            lines = RunPassHere(fs, ListBoth(fs, one, two), nullptr, pass % 2 == 0 ? 1 : 4);
        }
        EXPECT_EQ(lines, (disk ? std::vector{Failed(one, "/a.txt", 5), Failed(one, "/sub/b.txt", 3),
                                             Copied(two, one, "/c.txt")}
                               : std::vector<std::string>{}));
        std::vector<std::string> tree;
        for (const auto& [path, node] : TakeSnapshot(scratch.path())) {
            tree.push_back(path.substr(1));
        }
        EXPECT_EQ(tree, row.tree);
    }
    SkipOrFail(unmounted);
}

// A tree deeper than the descriptors a process may hold: every file is listed.
TEST(RealDisks, ATreeDeeperThanTheDescriptorLimitIsListedWhole) {
    const TempDir dir;
    std::vector<std::string> expected;
    std::string relative;
    for (int level = 0; level < 1500; ++level) {
        relative += "/d";
        std::filesystem::create_directory(dir / relative);
        if (level % 50 == 0) {
            const std::string side = relative + "/e" + std::to_string(level) + "/g";
            WriteFile(dir / side, "g");
            WriteFile(dir / (relative + "/f"), "f");
            expected.insert(expected.end(), {side, relative + "/f"});
        }
    }
    // Raises the descriptor limit once; reads folders sorted: "d" first, so folders left for later
    // are re-opened.
    FaultyFileSystem fs;
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const rlimit tight{64, saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    const std::vector<std::string> lines = LinesOf(*ListTree(fs, dir.path()));
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
    EXPECT_EQ(Sorted(lines), Sorted(expected));
}

} // namespace
} // namespace doplet::test
