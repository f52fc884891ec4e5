// A newer edit is never overwritten by an older copy: when the source or the target changes after
// the pass compared their ages (before the copy starts, or while it runs), nothing is replaced,
// the failure line carries 32, and the next pass decides again from the new ages.

#include "ErrorCodes.h"
#include "RecordingHost.h"
#include "RelSupport.h"
#include "SyscallFaults.h"
#include "th_copy1.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace doplet::rel {
namespace {

constexpr Stamp kOld{1'600'000'000, 0};
constexpr Stamp kNew{1'600'000'100, 250};
constexpr Stamp kUser{1'600'000'200, 777}; // the user's save, newer than both

class ChangesTest : public ::testing::Test {
protected:
    void SetUp() override {
        faults::Reset();
        source = PatternBytes(11, 1 << 20); // large enough to be copied in pieces
        PutFile(one + "/doc.bin", source, kNew);
        PutFile(two + "/doc.bin", "old target", kOld);
        PutFile(one + "/next.txt", "next", kNew);
    }
    void TearDown() override { faults::Reset(); }

    PassInput input() const {
        return {one, two, MakeList({"/doc.bin", "/next.txt"}, 1), MakeList({"/doc.bin"}, 2)};
    }

    // The pass ran: the copy of doc.bin failed with 32, the next file was copied anyway, and no
    // temporary is left.
    void expectRefused(const PassOutcome& outcome, const std::string& source) {
        EXPECT_EQ(outcome.texts(),
                  (std::vector<std::string>{FailureText(source, kErrorSharingViolation),
                                            SuccessText(one + "/next.txt", two + "/next.txt")}));
        EXPECT_TRUE(TemporariesIn(TakeSnapshot(one)).empty());
        EXPECT_TRUE(TemporariesIn(TakeSnapshot(two)).empty());
    }

    // The next pass decides again from the ages as they are now: the user's edit wins.
    void expectUserEditWins(int userSide) {
        const std::string& winner = userSide == 1 ? one : two;
        const std::string& loser = userSide == 1 ? two : one;
        const PassOutcome next = ListAndRun(*fs, one, two);
        EXPECT_EQ(next.texts(),
                  (std::vector<std::string>{SuccessText(winner + "/doc.bin", loser + "/doc.bin")}));
        EXPECT_EQ(Slurp(loser + "/doc.bin"), "the user's edit");
        EXPECT_EQ(StampOf(*LookUp(loser + "/doc.bin")), kUser);
    }

    Scratch s;
    std::string one = s.folder("one");
    std::string two = s.folder("two");
    std::string source;
    std::shared_ptr<HookedFileSystem> fs = std::make_shared<HookedFileSystem>();
};

TEST_F(ChangesTest, TargetSavedByRenameBetweenComparisonAndCopy) {
    fs->beforeCopy = [&](std::string_view entry, std::string_view) {
        if (entry == "/doc.bin") {
            SaveFile(two + "/doc.bin", "the user's edit", kUser);
        }
    };
    expectRefused(RunPassHere(*fs, input()), one + "/doc.bin");
    fs->beforeCopy = nullptr;
    EXPECT_EQ(Slurp(two + "/doc.bin"), "the user's edit");
    expectUserEditWins(2);
}

TEST_F(ChangesTest, TargetSavedInPlaceBetweenComparisonAndCopy) {
    int looks = 0;
    fs->afterStat = [&](std::string_view entry) {
        if (entry == "/doc.bin" && ++looks == 2) { // after side 2 was looked up
            PutFile(two + "/doc.bin", "the user's edit", kUser);
        }
    };
    expectRefused(RunPassHere(*fs, input()), one + "/doc.bin");
    fs->afterStat = nullptr;
    EXPECT_EQ(Slurp(two + "/doc.bin"), "the user's edit");
    expectUserEditWins(2);
}

TEST_F(ChangesTest, TargetCreatedWhereThePassSawNone) {
    ::unlink((two + "/doc.bin").c_str());
    fs->beforeCopy = [&](std::string_view entry, std::string_view) {
        if (entry == "/doc.bin") {
            PutFile(two + "/doc.bin", "the user's edit", kUser);
        }
    };
    expectRefused(RunPassHere(*fs, input()), one + "/doc.bin");
    fs->beforeCopy = nullptr;
    EXPECT_EQ(Slurp(two + "/doc.bin"), "the user's edit");
    expectUserEditWins(2);
}

TEST_F(ChangesTest, SourceSavedBetweenComparisonAndCopy) {
    fs->beforeCopy = [&](std::string_view entry, std::string_view) {
        if (entry == "/doc.bin") {
            PutFile(one + "/doc.bin", "the user's edit", kUser);
        }
    };
    expectRefused(RunPassHere(*fs, input()), one + "/doc.bin");
    fs->beforeCopy = nullptr;
    EXPECT_EQ(Slurp(two + "/doc.bin"), "old target");
    expectUserEditWins(1);
}

TEST_F(ChangesTest, SourceSavedWhileItIsBeingCopied) {
    faults::Arranged().firstPiece = std::size_t{64} * 1024;
    faults::Arranged().afterFirstPiece = [&] {
        PutFile(one + "/doc.bin", "the user's edit", kUser);
    };
    expectRefused(RunPassHere(*fs, input()), one + "/doc.bin");
    EXPECT_EQ(faults::FirstPiecesCut(), 1);
    faults::Reset();
    EXPECT_EQ(Slurp(two + "/doc.bin"), "old target");
    EXPECT_EQ(StampOf(*LookUp(two + "/doc.bin")), kOld);
    expectUserEditWins(1);
}

TEST_F(ChangesTest, SourceGrowingWhileItIsBeingCopiedWithItsTimeKept) {
    // A program appends and puts the old time back: the size still gives it away.
    faults::Arranged().firstPiece = std::size_t{64} * 1024;
    faults::Arranged().afterFirstPiece = [&] {
        PutFile(one + "/doc.bin", source + "appended", kNew);
    };
    expectRefused(RunPassHere(*fs, input()), one + "/doc.bin");
    faults::Reset();
    EXPECT_EQ(Slurp(two + "/doc.bin"), "old target");
}

TEST_F(ChangesTest, TargetSavedWhileTheCopyIsBeingWritten) {
    faults::Arranged().firstPiece = std::size_t{64} * 1024;
    faults::Arranged().afterFirstPiece = [&] {
        SaveFile(two + "/doc.bin", "the user's edit", kUser);
    };
    expectRefused(RunPassHere(*fs, input()), one + "/doc.bin");
    faults::Reset();
    EXPECT_EQ(Slurp(two + "/doc.bin"), "the user's edit");
    EXPECT_EQ(StampOf(*LookUp(two + "/doc.bin")), kUser);
    expectUserEditWins(2);
}

TEST_F(ChangesTest, SideOneCreatedWhileSweepTwoCopiesThere) {
    ::unlink((one + "/doc.bin").c_str());
    PutFile(two + "/doc.bin", "side 2 only", kNew);
    fs->beforeCopy = [&](std::string_view entry, std::string_view) {
        if (entry == "/doc.bin") {
            PutFile(one + "/doc.bin", "the user's edit", kUser);
        }
    };
    const PassOutcome outcome =
        RunPassHere(*fs, {one, two, MakeList({"/next.txt"}, 1), MakeList({"/doc.bin"}, 2)});
    EXPECT_EQ(outcome.texts(),
              (std::vector<std::string>{SuccessText(one + "/next.txt", two + "/next.txt"),
                                        FailureText(two + "/doc.bin", kErrorSharingViolation)}));
    fs->beforeCopy = nullptr;
    EXPECT_EQ(Slurp(one + "/doc.bin"), "the user's edit");
    expectUserEditWins(1);
}

// An abort asked for while a copy is under way: the copy in hand is completed whole (content and
// time), nothing after it is started, and no temporary is left.
TEST(StopDuringACopy, TheCopyInHandIsCompletedWholeAndNothingElseIsStarted) {
    faults::Reset();
    Scratch s;
    const std::string one = s.folder("one");
    const std::string two = s.folder("two");
    const std::string content = PatternBytes(12, 1 << 20);
    PutFile(one + "/big.bin", content, kNew);
    PutFile(two + "/big.bin", "old target", kOld);
    PutFile(one + "/next.txt", "next", kNew);
    const std::shared_ptr<FileSystem> fs = MakeNativeFileSystem();
    test::RecordingHost host;
    WorkerControl control;
    faults::Arranged().firstPiece = std::size_t{64} * 1024;
    faults::Arranged().afterFirstPiece = [&] { control.requestStop(); };
    const bool completed = RunPass(
        *fs, {one, two, MakeList({"/big.bin", "/next.txt"}, 1), MakeList({}, 2)}, host, control);
    faults::Reset();
    EXPECT_FALSE(completed);
    EXPECT_EQ(host.lines(),
              (std::vector<std::string>{SuccessText(one + "/big.bin", two + "/big.bin")}));
    EXPECT_EQ(HashFile(two + "/big.bin"), Hash(content));
    EXPECT_EQ(StampOf(*LookUp(two + "/big.bin")), kNew);
    EXPECT_FALSE(LookUp(two + "/next.txt"));
    EXPECT_TRUE(TemporariesIn(TakeSnapshot(two)).empty());
}

} // namespace
} // namespace doplet::rel
