// Temporaries: created exclusively, owner-only, never through a planted link; the finished copy
// has no wider permissions than its source and never a set-user-ID, set-group-ID or sticky bit; a
// copy that fails part-way leaves nothing behind; and files that merely look like temporaries,
// ours or another program's, are never removed. Every case runs twice: with unnamed temporaries
// (O_TMPFILE) and, with those taken away, with named ones.

#include "ErrorCodes.h"
#include "RelSupport.h"
#include "SyscallFaults.h"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace doplet::rel {
namespace {

constexpr Stamp kOld{1'600'000'000, 0};
constexpr Stamp kNew{1'600'000'100, 250};
constexpr uid_t kNobody = 65534;

class TemporariesTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        faults::Reset();
        faults::Arranged().noUnnamedTemporaries = named();
    }
    void TearDown() override { faults::Reset(); }
    [[nodiscard]] static bool named() { return GetParam(); }

    // What the engine created during the pass, checked for exclusiveness and permissions.
    static void expectCreatedSafely() {
        int namedOnes = 0;
        for (const faults::Creation& created : faults::Creations()) {
            EXPECT_EQ(created.mode & ~static_cast<mode_t>(0600), 0U)
                << "a temporary created with mode " << std::oct << created.mode;
            if (created.name.empty()) {
                EXPECT_EQ(created.flags & O_TMPFILE, O_TMPFILE);
                continue;
            }
            ++namedOnes;
            EXPECT_TRUE(IsCopyTemporaryName(created.name)) << created.name;
            EXPECT_EQ(created.flags & O_EXCL, O_EXCL) << created.name << " not created exclusively";
            EXPECT_EQ(created.flags & O_NOFOLLOW, O_NOFOLLOW) << created.name;
        }
        if (named()) {
            EXPECT_GT(namedOnes, 0);
        } else {
            EXPECT_EQ(namedOnes, 0);
        }
    }

    Scratch s;
    std::string one = s.folder("one");
    std::string two = s.folder("two");
    std::string outside = s.folder("outside");
    std::shared_ptr<FileSystem> fs = MakeNativeFileSystem();
};

TEST_P(TemporariesTest, CopiesHaveNoWiderPermissionsThanTheirSourcesAndNoSetIdBits) {
    const std::vector<std::pair<std::string, mode_t>> sources = {
        {"/p600", 0600},   {"/p640", 0640},   {"/p644", 0644},   {"/p444", 0444},
        {"/p755", 0755},   {"/p4755", 04755}, {"/p2755", 02755}, {"/p6777", 06777},
        {"/p1777", 01777}, {"/p000", 0000},   {"/p707", 0707},   {"/sub/p4711", 04711}};
    const bool root = ::geteuid() == 0;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const auto& [entry, mode] = sources[i];
        const std::string path = one + entry;
        PutFile(path, "content " + entry, kNew, 0600);
        if (root && i % 2 == 0) {
            ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0);
        }
        ASSERT_EQ(::chmod(path.c_str(), mode), 0); // after chown, which clears set-id bits
        if (i % 3 == 0) {
            PutFile(two + entry, "older", kOld, 0666); // replaced rather than created
        }
    }
    const PassOutcome outcome = ListAndRun(*fs, one, two);
    EXPECT_EQ(outcome.failures(), 0U);
    EXPECT_EQ(outcome.lines.size(), sources.size());
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const auto& [entry, mode] = sources[i];
        const auto copied = LookUp(two + entry);
        ASSERT_TRUE(copied) << entry;
        EXPECT_EQ(copied->st_mode & 07777, mode & 0777) << entry;
        EXPECT_EQ(copied->st_mode & 07000, 0U) << entry << " carries a set-id or sticky bit";
        EXPECT_EQ(Slurp(two + entry), "content " + entry);
        if (root) {
            EXPECT_EQ(copied->st_uid, i % 2 == 0 ? kNobody : 0U) << entry;
        }
    }
    expectCreatedSafely();
    EXPECT_TRUE(TemporariesIn(TakeSnapshot(two)).empty());
}

// A link planted at exactly the name the engine is about to create its temporary under is never
// opened or followed: the engine takes another name, and the link stays as it was.
TEST_P(TemporariesTest, ALinkPlantedAtTheTemporarysNameIsNeverFollowed) {
    PutFile(outside + "/victim.txt", "victim", kOld);
    PutFile(one + "/a.txt", "new a", kNew);
    PutFile(one + "/b.txt", "new b", kNew);
    PutFile(two + "/b.txt", "old b", kOld);
    std::vector<std::string> planted;
    const auto plant = [&](int folderFd, const std::string& name) {
        if (planted.size() >= 4) {
            return;
        }
        // One link to a file outside, one to a name outside that does not exist yet.
        const std::string to =
            planted.size() % 2 == 0 ? outside + "/victim.txt" : outside + "/created.txt";
        ASSERT_EQ(::symlinkat(to.c_str(), folderFd, name.c_str()), 0);
        planted.push_back(name);
    };
    if (named()) {
        faults::Arranged().beforeNamedTemporary = plant;
    } else {
        faults::Arranged().beforeLinkToTemporaryName = plant;
    }
    const PassInput input{one, two, MakeList({"/a.txt", "/b.txt"}, 1), MakeList({"/b.txt"}, 2)};
    const PassOutcome outcome = RunPassHere(*fs, input);
    EXPECT_EQ(outcome.texts(),
              (std::vector<std::string>{SuccessText(one + "/a.txt", two + "/a.txt"),
                                        SuccessText(one + "/b.txt", two + "/b.txt")}));
    EXPECT_FALSE(planted.empty()) << "no temporary name was ever used";
    EXPECT_EQ(Slurp(two + "/a.txt"), "new a");
    EXPECT_EQ(Slurp(two + "/b.txt"), "new b");
    EXPECT_EQ(Slurp(outside + "/victim.txt"), "victim");
    EXPECT_EQ(StampOf(*LookUp(outside + "/victim.txt")), kOld);
    EXPECT_FALSE(LookUp(outside + "/created.txt"));
    for (const std::string& name : planted) {
        const auto link = LookUp(two + "/" + name);
        ASSERT_TRUE(link) << name << " was removed";
        EXPECT_TRUE(S_ISLNK(link->st_mode)) << name;
    }
    // The planted links look like temporaries: never listed, never synchronised.
    const PassOutcome again = ListAndRun(*fs, one, two);
    EXPECT_TRUE(again.lines.empty());
    EXPECT_EQ(TemporariesIn(TakeSnapshot(one)).size(), 0U);
}

// A read error part-way through a copy: failure line, the old target whole, nothing left.
TEST_P(TemporariesTest, ACopyFailingPartWayLeavesTheTargetAndNothingElse) {
    const std::string content = PatternBytes(7, 1 << 20);
    PutFile(one + "/big.bin", content, kNew);
    PutFile(two + "/big.bin", "the old target", kOld);
    PutFile(one + "/after.txt", "after", kNew);
    faults::Arranged().firstPiece = std::size_t{64} * 1024;
    faults::Arranged().nextPieceFailsWith = EIO;
    const PassInput input{one, two, MakeList({"/big.bin", "/after.txt"}, 1), MakeList({}, 2)};
    const PassOutcome outcome = RunPassHere(*fs, input);
    EXPECT_EQ(faults::FirstPiecesCut(), 1);
    EXPECT_EQ(outcome.texts(),
              (std::vector<std::string>{FailureText(one + "/big.bin", kErrorGeneral),
                                        SuccessText(one + "/after.txt", two + "/after.txt")}));
    EXPECT_EQ(Slurp(two + "/big.bin"), "the old target");
    EXPECT_EQ(StampOf(*LookUp(two + "/big.bin")), kOld);
    EXPECT_TRUE(TemporariesIn(TakeSnapshot(two)).empty());
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const std::string target = std::filesystem::read_symlink(fd.path(), error).string();
        EXPECT_TRUE(error || target.rfind(two, 0) != 0) << "still open: " << target;
    }
    // Once the disk reads again, the next pass copies it.
    faults::Reset();
    faults::Arranged().noUnnamedTemporaries = named();
    EXPECT_EQ(RunPassHere(*fs, input).failures(), 0U);
    EXPECT_EQ(HashFile(two + "/big.bin"), Hash(content));
}

// Files that look like our temporaries are another program's business (or a crash's leftover):
// never listed, never copied, never removed. Other programs' temporaries are ordinary files.
TEST_P(TemporariesTest, LookalikesAreNeverTouchedAndOtherProgramsTemporariesAreOrdinaryFiles) {
    PutFile(outside + "/victim.txt", "victim", kOld);
    const std::vector<std::pair<std::string, std::string>> ours = {
        {one + "/.doplet-0123456789abcdef.tmp", "ours one"},
        {two + "/.doplet-0123456789abcdef.tmp", "ours two, older and different"},
        {one + "/sub/.doplet-ffffffffffffffff.tmp", "ours in a folder"},
    };
    for (const auto& [path, content] : ours) {
        PutFile(path, content, path.rfind(one, 0) == 0 ? kNew : kOld);
    }
    ASSERT_EQ(::symlink((outside + "/victim.txt").c_str(),
                        (two + "/.doplet-fedcba9876543210.tmp").c_str()),
              0);
    const std::vector<std::string> ordinary = {
        "/.doplet-notours.tmp",         "/~$report.docx", "/.report.docx.swp", "/.#lock", "/x.tmp",
        "/.doplet-0123456789ABCDEF.tmp"};
    for (const std::string& entry : ordinary) {
        PutFile(one + entry, "ordinary " + entry, kNew);
    }
    const Snapshot before1 = TakeSnapshot(one);
    const PassOutcome outcome = ListAndRun(*fs, one, two);
    std::vector<std::string> expected;
    expected.reserve(ordinary.size());
    for (const std::string& entry : ordinary) {
        expected.push_back(SuccessText(one + entry, two + entry));
    }
    std::vector<std::string> texts = outcome.texts();
    std::sort(texts.begin(), texts.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(texts, expected);
    for (const auto& [path, content] : ours) {
        EXPECT_EQ(Slurp(path), content) << path;
    }
    EXPECT_TRUE(S_ISLNK(LookUp(two + "/.doplet-fedcba9876543210.tmp")->st_mode));
    EXPECT_FALSE(LookUp(two + "/sub/.doplet-ffffffffffffffff.tmp"));
    EXPECT_EQ(TakeSnapshot(one), before1);
    EXPECT_EQ(Slurp(outside + "/victim.txt"), "victim");
    EXPECT_TRUE(ListAndRun(*fs, one, two).lines.empty());
}

INSTANTIATE_TEST_SUITE_P(Temporaries, TemporariesTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Named" : "Unnamed";
                         });

} // namespace
} // namespace doplet::rel
