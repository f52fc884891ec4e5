// The two-way pass: ages, the outcome of each entry in both sweeps, and the log lines.

#include "ErrorCodes.h"
#include "FaultyFileSystem.h"
#include "FolderListing.h"
#include "Paths.h"
#include "RecordingHost.h"
#include "SyncPass.h"
#include "TestFiles.h"
#include "th_copy1.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace doplet {
namespace {

using test::FileTime;
using test::kBaseTime;
using test::MtimeOf;
using test::ReadFile;
using test::SetMtime;
using test::TempDir;
using test::WriteFile;

constexpr std::int64_t kYear1960 = -315'619'200;
constexpr std::int64_t kYear2020 = 1'577'836'800;
constexpr std::int64_t kYear2040 = 2'208'988'800;
constexpr std::int64_t kYear2050 = 2'524'608'000;
constexpr std::int64_t kYear2090 = 3'786'912'000;

Age AgeAt(std::int64_t sec, std::uint32_t nsec = 0) {
    FileStat stat;
    stat.kind = EntryKind::File;
    stat.mtimeSec = sec;
    stat.mtimeNsec = nsec;
    return AgeOf(stat);
}

std::string Copied(const std::string& from, const std::string& to) {
    return from + "->" + to;
}

std::string Failed(const std::string& source, int code) {
    return source + "失敗しました Error－" + std::to_string(code);
}

std::vector<std::string> Sorted(std::vector<std::string> lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

TEST(AgeOf, PutsTimesInTheSameTwoSecondStepTogether) {
    EXPECT_EQ(AgeAt(100, 0), AgeAt(101, 900'000'000));
    EXPECT_EQ(AgeAt(kBaseTime, 0), AgeAt(kBaseTime + 1, 999'999'999));
    EXPECT_LT(AgeAt(101, 900'000'000), AgeAt(102, 0));
    EXPECT_LT(AgeAt(kBaseTime + 1, 999'999'999), AgeAt(kBaseTime + 2, 0));
}

TEST(AgeOf, StepsAreTwoSecondsWideBefore1970Too) {
    EXPECT_EQ(AgeAt(-2, 0), AgeAt(-1, 500'000'000));
    EXPECT_LT(AgeAt(-1, 0), AgeAt(0, 0));
    EXPECT_LT(AgeAt(-1, 999'999'999), AgeAt(0, 0));
    EXPECT_LT(AgeAt(-1, 0), AgeAt(1, 0));
    EXPECT_LT(AgeAt(-3, 0), AgeAt(-2, 0));
}

TEST(AgeOf, OrdersEveryYearByRealTimeAboveNoAge) {
    const std::vector<Age> ages = {AgeAt(kYear1960), AgeAt(0),         AgeAt(kYear2020),
                                   AgeAt(kYear2040), AgeAt(kYear2050), AgeAt(kYear2090)};
    EXPECT_TRUE(std::is_sorted(ages.begin(), ages.end()));
    EXPECT_EQ(std::adjacent_find(ages.begin(), ages.end()), ages.end());
    EXPECT_GT(ages.front(), kNoAge);
}

TEST(AgeOf, GivesNoAgeToMissingFilesAndFolders) {
    FileStat missing;
    EXPECT_EQ(AgeOf(missing), kNoAge);
    FileStat folder;
    folder.kind = EntryKind::Folder;
    folder.mtimeSec = kBaseTime;
    EXPECT_EQ(AgeOf(folder), kNoAge);
}

TEST(AgeOf, DoesNotDependOnTheTimeZone) {
    const char* saved = std::getenv("TZ"); // NOLINT(concurrency-mt-unsafe)
    const std::string savedZone = saved != nullptr ? saved : "";
    std::vector<Age> seen;
    for (const char* zone : {"UTC0", "XYZ-12:45", "EST5EDT,M3.2.0,M11.1.0"}) {
        ::setenv("TZ", zone, 1); // NOLINT(concurrency-mt-unsafe)
        ::tzset();
        seen.push_back(AgeAt(kBaseTime + 1));
        seen.push_back(AgeAt(1'615'705'200)); // 2021-03-14 07:00 UTC, a daylight-saving change
    }
    if (saved != nullptr) {
        ::setenv("TZ", savedZone.c_str(), 1); // NOLINT(concurrency-mt-unsafe)
    } else {
        ::unsetenv("TZ"); // NOLINT(concurrency-mt-unsafe)
    }
    ::tzset();
    for (std::size_t i = 2; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i], seen[i % 2]);
    }
}

TEST(OutcomeTable, DecidesEverySweepOneRow) {
    const Age older = AgeAt(kBaseTime);
    const Age newer = AgeAt(kBaseTime + 2);
    EXPECT_EQ(DecideSweep1(newer, kNoAge), CopyDirection::OneToTwo);  // missing on side 2
    EXPECT_EQ(DecideSweep1(newer, older), CopyDirection::OneToTwo);   // older on side 2
    EXPECT_EQ(DecideSweep1(older, newer), CopyDirection::TwoToOne);   // newer on side 2
    EXPECT_EQ(DecideSweep1(kNoAge, older), CopyDirection::TwoToOne);  // missing on side 1
    EXPECT_EQ(DecideSweep1(older, older), CopyDirection::None);       // equal ages
    EXPECT_EQ(DecideSweep1(kNoAge, kNoAge), CopyDirection::OneToTwo); // fails and is logged
    EXPECT_EQ(DecideSweep1(AgeAt(kYear1960), kNoAge), CopyDirection::OneToTwo);
    EXPECT_EQ(DecideSweep1(AgeAt(kYear2090), AgeAt(kYear2020)), CopyDirection::OneToTwo);
}

TEST(OutcomeTable, SweepTwoCopiesOnlyWhatSideOneLacks) {
    EXPECT_EQ(DecideSweep2(kNoAge), CopyDirection::TwoToOne);
    EXPECT_EQ(DecideSweep2(AgeAt(kBaseTime)), CopyDirection::None);
    EXPECT_EQ(DecideSweep2(AgeAt(kYear1960)), CopyDirection::None);
}

TEST(LogLineText, WordsSuccessAndFailureLines) {
    EXPECT_EQ((LogLine{"/data/sub/a.txt", "/backup/sub/a.txt", 0}).text(),
              "/data/sub/a.txt->/backup/sub/a.txt");
    const LogLine failure{"/data/a.txt", "", 5};
    EXPECT_TRUE(failure.failed());
    EXPECT_EQ(failure.text(), "/data/a.txt\xe5\xa4\xb1\xe6\x95\x97\xe3\x81\x97\xe3\x81\xbe\xe3"
                              "\x81\x97\xe3\x81\x9f Error\xef\xbc\x8d"
                              "5");
    EXPECT_EQ((LogLine{"/caf\xe9", "", 112}).text(), Failed("/caf\xe9", 112));
}

// Two sides in a temporary folder; a pass runs on the test's own thread.
class Pass : public ::testing::Test {
protected:
    struct Result {
        bool completed = false;
        std::vector<std::string> events;
        std::vector<std::string> lines;
    };

    PassInput listBoth(const std::string& folder1, const std::string& folder2) {
        PassInput input;
        input.folder1 = folder1;
        input.folder2 = folder2;
        input.list1 = test::ListTree(*fs, folder1, 1);
        input.list2 = test::ListTree(*fs, folder2, 2);
        return input;
    }
    PassInput listBoth() { return listBoth(one, two); }

    static Result run(FileSystem& fileSystem, const PassInput& input) {
        WorkerControl control;
        return run(fileSystem, input, control);
    }
    static Result run(FileSystem& fileSystem, const PassInput& input, WorkerControl& control) {
        test::RecordingHost host;
        Result result;
        result.completed = RunPass(fileSystem, input, host, control);
        result.events = host.events();
        result.lines = host.lines();
        return result;
    }
    Result run(const PassInput& input) { return run(*fs, input); }

    std::shared_ptr<FileSystem> fs = MakeNativeFileSystem();
    TempDir dir;
    std::string one = dir.makeFolder("one");
    std::string two = dir.makeFolder("two");
};

TEST_F(Pass, CopiesAFileMissingOnSideTwoWithItsTime) {
    WriteFile(one + "/sub/a.txt", "content", {kBaseTime, 123'456'789});
    const Result result = run(listBoth());
    EXPECT_TRUE(result.completed);
    EXPECT_EQ(result.events, (std::vector<std::string>{
                                 "start", "line " + Copied(one + "/sub/a.txt", two + "/sub/a.txt"),
                                 "completion"}));
    EXPECT_EQ(ReadFile(two + "/sub/a.txt"), "content");
    EXPECT_EQ(MtimeOf(two + "/sub/a.txt"), (FileTime{kBaseTime, 123'456'789}));
}

TEST_F(Pass, ReplacesTheOlderCopyInEitherDirection) {
    WriteFile(one + "/older-on-2", "new 1", {kBaseTime + 10, 0});
    WriteFile(two + "/older-on-2", "old 2", {kBaseTime, 0});
    WriteFile(one + "/newer-on-2", "old 1", {kBaseTime, 0});
    WriteFile(two + "/newer-on-2", "new 2", {kBaseTime + 10, 0});
    const Result result = run(listBoth());
    EXPECT_EQ(Sorted(result.lines), Sorted({Copied(one + "/older-on-2", two + "/older-on-2"),
                                            Copied(two + "/newer-on-2", one + "/newer-on-2")}));
    EXPECT_EQ(ReadFile(two + "/older-on-2"), "new 1");
    EXPECT_EQ(ReadFile(one + "/older-on-2"), "new 1");
    EXPECT_EQ(ReadFile(one + "/newer-on-2"), "new 2");
    EXPECT_EQ(ReadFile(two + "/newer-on-2"), "new 2");
}

TEST_F(Pass, LeavesFilesInTheSameTwoSecondStepAlone) {
    WriteFile(one + "/equal", "one", {kBaseTime, 5});
    WriteFile(two + "/equal", "two", {kBaseTime, 5});
    WriteFile(one + "/same-step", "one", {kBaseTime + 100, 0});
    WriteFile(two + "/same-step", "two", {kBaseTime + 101, 900'000'000});
    WriteFile(one + "/next-step", "one", {kBaseTime + 101, 900'000'000});
    WriteFile(two + "/next-step", "two", {kBaseTime + 102, 0});
    const Result result = run(listBoth());
    EXPECT_EQ(result.lines,
              std::vector<std::string>{Copied(two + "/next-step", one + "/next-step")});
    EXPECT_EQ(ReadFile(one + "/equal"), "one");
    EXPECT_EQ(ReadFile(two + "/equal"), "two");
    EXPECT_EQ(ReadFile(one + "/same-step"), "one");
    EXPECT_EQ(ReadFile(two + "/same-step"), "two");
    EXPECT_EQ(ReadFile(one + "/next-step"), "two");
}

TEST_F(Pass, SweepsFolderOneListFirstThenFolderTwoList) {
    WriteFile(one + "/only-on-1", "1");
    WriteFile(two + "/only-on-2", "2");
    const Result result = run(listBoth());
    EXPECT_EQ(result.events,
              (std::vector<std::string>{
                  "start", "line " + Copied(one + "/only-on-1", two + "/only-on-1"),
                  "line " + Copied(two + "/only-on-2", one + "/only-on-2"), "completion"}));
    EXPECT_EQ(ReadFile(one + "/only-on-2"), "2");
}

TEST_F(Pass, SweepTwoIgnoresTheAgeOnSideTwo) {
    WriteFile(two + "/x", "newer on 2", {kBaseTime + 100, 0});
    const PassInput input = listBoth();
    WriteFile(one + "/x", "older on 1, not listed", {kBaseTime, 0});
    const Result result = run(input);
    EXPECT_TRUE(result.lines.empty());
    EXPECT_EQ(ReadFile(one + "/x"), "older on 1, not listed");
}

TEST_F(Pass, ComparesTheTimesFoundDuringThePass) {
    WriteFile(one + "/f", "edited later", {kBaseTime, 0});
    WriteFile(two + "/f", "same", {kBaseTime, 0});
    const PassInput input = listBoth();
    SetMtime(one + "/f", {kBaseTime + 60, 0});
    EXPECT_EQ(run(input).lines, std::vector<std::string>{Copied(one + "/f", two + "/f")});
    EXPECT_EQ(ReadFile(two + "/f"), "edited later");
}

TEST_F(Pass, CopiesBackAFileThatVanishedFromSideOneSinceTheListing) {
    WriteFile(one + "/sub/f", "kept on 2");
    WriteFile(two + "/sub/f", "kept on 2");
    const PassInput input = listBoth();
    std::filesystem::remove_all(one + "/sub");
    const Result result = run(input);
    EXPECT_EQ(result.lines, std::vector<std::string>{Copied(two + "/sub/f", one + "/sub/f")});
    EXPECT_EQ(ReadFile(one + "/sub/f"), "kept on 2");
}

TEST_F(Pass, LogsOneFailureForAFileGoneFromBothSides) {
    WriteFile(one + "/gone", "x");
    const PassInput input = listBoth();
    std::filesystem::remove(one + "/gone");
    const Result result = run(input);
    EXPECT_TRUE(result.completed);
    EXPECT_EQ(result.lines, std::vector<std::string>{Failed(one + "/gone", 2)});
    EXPECT_FALSE(test::Exists(two + "/gone"));
}

TEST_F(Pass, SkipsTheNotFoundMarkerWithoutALine) {
    const std::string missing1 = dir / "later1";
    const std::string missing2 = dir / "later2";
    const PassInput input = listBoth(missing1, missing2);
    ASSERT_EQ(test::LinesOf(*input.list1), std::vector<std::string>{std::string(kNotFoundMarker)});
    ASSERT_EQ(test::LinesOf(*input.list2), std::vector<std::string>{std::string(kNotFoundMarker)});
    // The folders appear after the listing, one holding a file named like the marker.
    WriteFile(missing1 + "/" + std::string(kNotFoundMarker), "not the marker");
    dir.makeFolder("later2");
    const Result result = run(input);
    EXPECT_TRUE(result.completed);
    EXPECT_EQ(result.events, (std::vector<std::string>{"start", "completion"}));
    EXPECT_TRUE(test::NamesIn(missing2).empty());
}

TEST_F(Pass, SecondPassInARowCopiesNothing) {
    WriteFile(one + "/a", "a", {kBaseTime, 1});
    WriteFile(one + "/deep/er/b", "b", {kBaseTime + 7, 999'999'999});
    WriteFile(two + "/c", "c", {kBaseTime + 3, 500});
    WriteFile(one + "/both", "older", {kBaseTime, 0});
    WriteFile(two + "/both", "newer", {kBaseTime + 4, 0});
    const PassInput first = listBoth();
    EXPECT_EQ(run(first).lines.size(), 4U);
    EXPECT_TRUE(run(first).lines.empty()) << "same lists again";
    EXPECT_TRUE(run(listBoth()).lines.empty()) << "lists made anew";
    EXPECT_EQ(test::TreeOf(one), test::TreeOf(two));
}

TEST_F(Pass, ComparesVeryOldAndFarFutureTimesByRealTime) {
    WriteFile(one + "/from-1960", "1960", {kYear1960, 0});
    WriteFile(two + "/from-1960", "2020", {kYear2020, 0});
    WriteFile(one + "/from-2090", "2090", {kYear2090, 0});
    WriteFile(two + "/from-2090", "2020", {kYear2020, 0});
    WriteFile(one + "/from-2050", "2050", {kYear2050, 0});
    WriteFile(two + "/from-2050", "2040", {kYear2040, 0});
    WriteFile(one + "/epoch", "1970", {0, 0});
    WriteFile(two + "/only-1960", "1960 on 2", {kYear1960, 0});
    const Result result = run(listBoth());
    EXPECT_EQ(Sorted(result.lines), Sorted({Copied(two + "/from-1960", one + "/from-1960"),
                                            Copied(one + "/from-2090", two + "/from-2090"),
                                            Copied(one + "/from-2050", two + "/from-2050"),
                                            Copied(one + "/epoch", two + "/epoch"),
                                            Copied(two + "/only-1960", one + "/only-1960")}));
    EXPECT_EQ(ReadFile(one + "/from-1960"), "2020");
    EXPECT_EQ(ReadFile(two + "/from-2090"), "2090");
    EXPECT_EQ(MtimeOf(two + "/from-2090"), (FileTime{kYear2090, 0}));
    EXPECT_EQ(MtimeOf(two + "/epoch"), (FileTime{0, 0}));
    EXPECT_EQ(MtimeOf(one + "/only-1960"), (FileTime{kYear1960, 0}));
    EXPECT_TRUE(run(listBoth()).lines.empty());
}

TEST_F(Pass, CreatesMissingSubfolders) {
    WriteFile(one + "/a/b/c/f.txt", "deep");
    WriteFile(two + "/x/y/g.txt", "deep too");
    const Result result = run(listBoth());
    EXPECT_EQ(result.lines.size(), 2U);
    EXPECT_EQ(ReadFile(two + "/a/b/c/f.txt"), "deep");
    EXPECT_EQ(ReadFile(one + "/x/y/g.txt"), "deep too");
}

TEST_F(Pass, WordsTheSameLinesWhateverSeparatorsAndBlanksTheFolderTextsCarry) {
    WriteFile(one + "/sub/a.txt", "a");
    WriteFile(one + "/gone.txt", "g");
    PassInput input = listBoth();
    std::filesystem::remove(one + "/gone.txt");
    const std::vector<std::string> expected = {Copied(one + "/sub/a.txt", two + "/sub/a.txt"),
                                               Failed(one + "/gone.txt", kErrorFileNotFound)};
    const std::vector<std::pair<std::string, std::string>> texts = {
        {one, two}, {one + "/", two + "/"}, {" \t" + one + "/ ", "\n" + two + "\r\n"}};
    for (const auto& [text1, text2] : texts) {
        std::filesystem::remove_all(two);
        dir.makeFolder("two");
        input.folder1 = text1;
        input.folder2 = text2;
        EXPECT_EQ(Sorted(run(input).lines), Sorted(expected)) << "'" << text1 << "'";
        EXPECT_EQ(test::TreeOf(two), (std::vector<std::string>{"sub", "sub/a.txt"}));
        EXPECT_EQ(test::NamesIn(dir.path()), (std::vector<std::string>{"one", "two"}))
            << "nothing may be written beside the folders";
    }
}

TEST_F(Pass, KeepsAFolderWhoseRealNameEndsInABlank) {
    const std::string source = dir.makeFolder("src ");
    const std::string decoySource = dir.makeFolder("src");
    const std::string target = dir.makeFolder("dst ");
    const std::string decoyTarget = dir.makeFolder("dst");
    WriteFile(source + "/f", "real");
    WriteFile(decoySource + "/f", "decoy", {kBaseTime + 100, 0});
    const Result result = run(listBoth(source, target));
    EXPECT_EQ(result.lines, std::vector<std::string>{Copied(source + "/f", target + "/f")});
    EXPECT_EQ(ReadFile(target + "/f"), "real");
    EXPECT_TRUE(test::NamesIn(decoyTarget).empty());
}

TEST_F(Pass, NeverWritesIntoTheWorkingFolderForAnEmptyFolderText) {
    WriteFile(one + "/a", "a");
    const PassInput listed = listBoth();
    const std::string work = dir.makeFolder("work");
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(work);
    for (const std::string text : {"", "  \t"}) {
        PassInput input = listed;
        input.folder2 = text;
        const Result result = run(input);
        ASSERT_EQ(result.lines.size(), 1U) << "'" << text << "'";
        EXPECT_TRUE(result.lines[0].rfind(one + "/a失敗しました Error－", 0) == 0)
            << result.lines[0];
    }
    std::filesystem::current_path(previous);
    EXPECT_TRUE(test::NamesIn(work).empty());
    EXPECT_TRUE(test::NamesIn(two).empty());
}

TEST_F(Pass, CopiesEntriesLongerThan255CharactersInFull) {
    const std::string entry = "/" + std::string(200, 'd') + "/" + std::string(200, 'n');
    WriteFile(one + entry, "long");
    const Result result = run(listBoth());
    EXPECT_EQ(result.lines, std::vector<std::string>{Copied(one + entry, two + entry)});
    EXPECT_EQ(ReadFile(two + entry), "long");
}

TEST_F(Pass, SynchronisesNamesThatAreNotUtf8) {
    WriteFile(one + "/caf\xe9.txt", "1");
    WriteFile(two + "/d\xff/g\x80", "2");
    const Result result = run(listBoth());
    EXPECT_EQ(result.lines.size(), 2U);
    EXPECT_EQ(ReadFile(two + "/caf\xe9.txt"), "1");
    EXPECT_EQ(ReadFile(one + "/d\xff/g\x80"), "2");
    EXPECT_TRUE(run(listBoth()).lines.empty());
}

TEST_F(Pass, ResolvesLinksLikeFilesAndFailsOnALinkToAFolder) {
    TempDir outside;
    WriteFile(outside / "real.txt", "through the link");
    outside.makeFolder("folder");
    ASSERT_EQ(::symlink((outside / "real.txt").c_str(), (one + "/filelink").c_str()), 0);
    ASSERT_EQ(::symlink((outside / "folder").c_str(), (one + "/folderlink").c_str()), 0);
    const Result result = run(listBoth());
    ASSERT_EQ(result.lines.size(), 2U);
    EXPECT_TRUE(std::find(result.lines.begin(), result.lines.end(),
                          Copied(one + "/filelink", two + "/filelink")) != result.lines.end());
    EXPECT_TRUE(std::find(result.lines.begin(), result.lines.end(),
                          Failed(one + "/folderlink", kErrorAccessDenied)) != result.lines.end());
    EXPECT_TRUE(S_ISREG(test::LStat(two + "/filelink").st_mode));
    EXPECT_EQ(ReadFile(two + "/filelink"), "through the link");
    EXPECT_FALSE(test::Exists(two + "/folderlink"));
}

TEST_F(Pass, GoesOnAfterAFailedCopy) {
    test::FaultyFileSystem faulty;
    faulty.failCopyTo("a", kErrorDiskFull);
    WriteFile(one + "/a", "a");
    WriteFile(one + "/b", "b");
    const Result result = run(faulty, listBoth());
    EXPECT_TRUE(result.completed);
    EXPECT_EQ(Sorted(result.lines),
              Sorted({Failed(one + "/a", 112), Copied(one + "/b", two + "/b")}));
    EXPECT_EQ(test::NamesIn(two), std::vector<std::string>{"b"});
}

TEST_F(Pass, CopiesNothingWhenStoppedBeforeItStarts) {
    WriteFile(one + "/a", "a");
    WriteFile(two + "/b", "b");
    WorkerControl control;
    control.requestStop();
    const Result result = run(*fs, listBoth(), control);
    EXPECT_FALSE(result.completed);
    EXPECT_TRUE(result.lines.empty());
    EXPECT_EQ(std::count(result.events.begin(), result.events.end(), "completion"), 0);
    EXPECT_EQ(test::NamesIn(one), std::vector<std::string>{"a"});
    EXPECT_EQ(test::NamesIn(two), std::vector<std::string>{"b"});
}

TEST_F(Pass, EndsAtOnceWithTwoEmptyLists) {
    const Result result = run(listBoth());
    EXPECT_TRUE(result.completed);
    EXPECT_EQ(result.events, (std::vector<std::string>{"start", "completion"}));
}

TEST_F(Pass, CopiesNothingBetweenAFolderAndItself) {
    WriteFile(one + "/a", "a");
    WriteFile(one + "/s/b", "b");
    const Result result = run(listBoth(one, one + "/"));
    EXPECT_TRUE(result.completed);
    EXPECT_TRUE(result.lines.empty());
    EXPECT_EQ(test::TreeOf(one), (std::vector<std::string>{"a", "s", "s/b"}));
}

TEST_F(Pass, PutsEachFileWhereItsLineSaysEvenWhenATargetFolderIsRenamedMeanwhile) {
    WriteFile(one + "/sub/a", "a");
    WriteFile(one + "/sub/b", "b");
    test::FaultyFileSystem faulty;
    faulty.readFoldersSorted();
    bool renamed = false;
    faulty.afterCopy([&](std::string_view, std::string_view) {
        if (!renamed) { // after the first file, the user renames the folder on side 2
            renamed = true;
            std::filesystem::rename(two + "/sub", two + "/moved");
        }
    });
    PassInput input;
    input.folder1 = one;
    input.folder2 = two;
    input.list1 = test::ListTree(faulty, one, 1);
    input.list2 = test::ListTree(faulty, two, 2);
    const Result result = run(faulty, input);
    EXPECT_EQ(result.lines, (std::vector<std::string>{Copied(one + "/sub/a", two + "/sub/a"),
                                                      Copied(one + "/sub/b", two + "/sub/b")}));
    EXPECT_EQ(ReadFile(two + "/sub/b"), "b");
    EXPECT_EQ(test::TreeOf(two + "/moved"), (std::vector<std::string>{"a"}));
}

} // namespace
} // namespace doplet
