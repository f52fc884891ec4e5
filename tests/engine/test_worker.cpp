// The worker on a real thread: its announcements in order, the hold at each check point, the
// stop, and many workers started and stopped (run under ThreadSanitizer and AddressSanitizer by
// scripts/test). A failure escaping the pass is the copy window's test.

#include "CopyGate.h"
#include "FaultyFileSystem.h"
#include "RecordingHost.h"
#include "TestFiles.h"
#include "th_copy1.h"

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <tuple>

namespace doplet::test {
namespace {

// Three files on side 1, one on side 2, and the events a pass over them announces.
struct Sides {
    Sides() {
        for (const char* name : {"/a", "/b", "/c"}) {
            WriteFile(one + name, Native(name)); // its list entry as content
        }
        WriteFile(two + "/z", "z");
        input = ListBoth(*fs, one, two);
    }

    // start, the first `lines` lines of a whole pass, completion when it completed, ended.
    std::vector<std::string> events(std::size_t lines, bool completed, bool ended = true) const {
        std::vector<std::string> events{"start"};
        for (const std::string name : {"/a", "/b", "/c", "/z"}) { // side 1's, then side 2's
            const auto& [from, to] = name == "/z" ? std::tie(two, one) : std::tie(one, two);
            events.push_back("line " + Copied(from, to, name));
        }
        events.resize(1 + lines);
        if (completed) {
            events.emplace_back("completion");
        }
        if (ended) {
            events.emplace_back("ended");
        }
        return events;
    }

    std::shared_ptr<FaultyFileSystem> fs = std::make_shared<FaultyFileSystem>();
    TempDir dir;
    std::string one = dir.makeFolder("one");
    std::string two = dir.makeFolder("two");
    PassInput input;
};

TEST(Worker, HoldsAtEveryCheckPointAndStopsAfterTheFileInHand) {
    // The announcement the worker is held in (0 the start, 1 the first line; -1: inside the first
    // copy), whether the pass is then stopped, and the lines announced in all.
    const struct {
        int at;
        bool stop;
        std::size_t lines;
    } rows[] = {{0, false, 4}, {-1, false, 4}, {1, false, 4},
                {4, false, 4}, {0, true, 0},   {1, true, 1}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "at " << row.at << (row.stop ? ", stopped" : ""));
        const Sides fresh;
        auto host = std::make_shared<RecordingHost>();
        std::promise<void> arrived;
        std::promise<void> opened;
        const auto waitHere = [&, open = opened.get_future().share()] {
            arrived.set_value();
            open.wait();
        };
        std::size_t copies = 0;
        fresh.fs->beforeCopy([&](std::string_view, std::string_view) {
            if (copies++ == 0 && row.at < 0) {
                waitHere();
            }
        });
        host->onEvent = [&, n = 0]() mutable {
            if (n++ == row.at) {
                waitHere();
            }
        };
        const auto control = th_Copy::Start(fresh.fs, fresh.input, host, 1); // one file in hand
        ASSERT_EQ(arrived.get_future().wait_for(kHangLimit), std::future_status::ready);
        control->hold();
        EXPECT_TRUE(control->isHeld());
        if (row.stop) {
            control->requestStop();
        }
        opened.set_value();
        const auto before = static_cast<std::size_t>(std::max(row.at, 0)); // lines while held
        EXPECT_FALSE(host->waitForEvents(before + 2, kQuietPeriod));
        EXPECT_EQ(host->events(), fresh.events(before, false, false));
        if (row.at < 0) {
            const std::string first(fresh.input.list1->at(0));
            EXPECT_EQ(ReadFile(fresh.two + first), first) << "the copy under way is completed";
        }
        control->release();
        ASSERT_TRUE(host->waitForEnd());
        EXPECT_EQ(host->events(), fresh.events(row.lines, !row.stop));
        EXPECT_EQ(copies, row.lines);
    }
}

TEST(Worker, AHoldBeforeThePassStartsHoldsEvenItsStart) {
    const Sides sides;
    RecordingHost host;
    WorkerControl control;
    control.hold();
    std::thread worker([&] { RunPass(*sides.fs, sides.input, host, control); });
    EXPECT_FALSE(host.waitForEvents(1, kQuietPeriod));
    control.release();
    worker.join();
    EXPECT_EQ(host.events(), sides.events(4, true, false));
}

TEST(Worker, ManyWorkersStartedHeldAndStoppedEndCleanlyAndFreeTheirHosts) {
    const Sides sides;
    for (int cycle = 0; cycle < 40; ++cycle) {
        auto host = std::make_shared<RecordingHost>();
        const std::weak_ptr<RecordingHost> given = host;
        const auto control = th_Copy::Start(sides.fs, sides.input, host);
        for (int k = 0; k < cycle % 4; ++k) {
            control->hold();
            control->release();
        }
        if (cycle % 2 == 0) {
            control->requestStop();
        }
        ASSERT_TRUE(host->waitForEnd()) << "cycle " << cycle;
        ASSERT_TRUE(control->waitUntilFinished(kHangLimit));
        control->hold(); // a finished worker is held no more
        EXPECT_FALSE(control->isHeld());
        const std::vector<std::string> seen = host->events();
        EXPECT_EQ(std::count(seen.begin(), seen.end(), "ended"), 1);
        EXPECT_EQ(seen.back(), "ended"); // nothing announced after the end
        EXPECT_TRUE(host->completed() || cycle % 2 == 0) << "cycle " << cycle;
        host.reset();
        while (!given.expired()) { // the worker frees itself, and its host with it
            std::this_thread::yield();
        }
    }
}

// Progress comes from the pass: every file entry of both lists counted once as it is handled,
// the bytes of a large file heard while it is being copied, and what was copied each way; with
// one worker and with several.
TEST(Worker, AnnouncesEachEntryOnceAndTheBytesOfTheFileInHand) {
    for (const unsigned workers : {1U, 3U}) {
        SCOPED_TRACE(testing::Message() << workers << " workers");
        const TempDir dir;
        const std::string one = dir.makeFolder("one"), two = dir.makeFolder("two");
        constexpr std::uint64_t kLarge = std::uint64_t{40} << 20U; // several steps of the copy
        WriteFile(one + "/large", std::string(kLarge, 'x'));
        for (const std::string& side : {one, two}) {
            WriteFile(side + "/same", "s");
        }
        WriteFile(two + "/z", "zzz");
        struct Host final : PassHost {
            void announceStart() override {}
            void announceLine(LogLine /*line*/) override { lines.push_back(seen.size()); }
            void announceCompletion() override {}
            void announceProgress(const PassProgress& progress) override {
                seen.push_back(progress);
            }
            void announceFatal(std::string, std::string) override {}
            void workerEnded() override {}
            std::vector<PassProgress> seen;
            std::vector<std::size_t> lines; // how many progress announcements came before each line
        } host;
        WorkerControl control;
        FaultyFileSystem fs;
        ASSERT_TRUE(RunPass(fs, ListBoth(fs, one, two), host, control, workers));
        ASSERT_EQ(host.lines.size(), 2U);
        bool heardWithin = false; // the large file, not yet whole, before its line
        for (std::size_t i = 0; i < host.seen.size(); ++i) {
            const PassProgress& now = host.seen[i];
            EXPECT_TRUE(now.entriesTotal == 4 && now.bytesInHand <= now.sizeInHand) << i;
            EXPECT_LE(now.entriesDone - (i > 0 ? host.seen[i - 1].entriesDone : 0), 1U) << i;
            // Several workers' bytes are announced by the pass's thread as it gets to them.
            heardWithin =
                heardWithin || (now.sizeInHand == kLarge && now.bytesInHand > 0 &&
                                (now.bytesInHand < kLarge || workers > 1) && i < host.lines[0]);
        }
        EXPECT_TRUE(heardWithin);
        EXPECT_EQ(host.seen.back().entriesDone + host.seen.back().sizeInHand, 4U);
        EXPECT_EQ(host.seen.back().filesCopied, (std::array<std::uint64_t, 2>{1, 1}));
        EXPECT_EQ(host.seen.back().bytesCopied, (std::array<std::uint64_t, 2>{kLarge, 3}));
        Host other; // a side that is no folder lists one line that names no file
        ASSERT_TRUE(RunPass(fs, ListBoth(fs, one, dir / "gone"), other, control, workers));
        EXPECT_EQ(other.seen.back().entriesTotal, 3U); // z came over in the first pass
    }
}

// Several workers copy at once and the host still hears one worker's pass: every line in list
// order, sweep 1 before sweep 2, each once its copy has ended. Files of uneven sizes, two of them
// large, the first held back so that later ones end before it; a path in both lists, and one
// copied back to side 1 in sweep 1 that sweep 2 must then find there. All copies are held at
// their start until the row lets them go: a stop while every worker is in a copy lets those end
// and log, and nothing more begins; a hold lets them end but logs nothing until the release.
TEST(Worker, SeveralWorkersLogAsOneAndObeyTheHoldAndTheStop) {
    constexpr int kWorkers = 4, kAll = 1'000'000;
    enum class Act : std::uint8_t { None, Stop, Hold };
    for (const Act act : {Act::None, Act::Stop, Act::Hold}) {
        SCOPED_TRACE(testing::Message() << "act " << static_cast<int>(act));
        const TempDir dir;
        const std::string one = dir.makeFolder("one"), two = dir.makeFolder("two");
        for (int i = 0; i < 12; ++i) { // f00 and f07 large, the others 0 to 250 KiB
            const std::string entry = "/f" + std::to_string(i / 10) + std::to_string(i % 10);
            const std::size_t size = i % 7 == 0 ? kLargeFile + 1 : std::size_t(i * i) << 11U;
            WriteFile(one + (i % 3 == 0 ? "/d" : "") + entry, std::string(size, char('a' + i)));
        }
        WriteFile(one + "/p", "newer", {kBaseTime + 10, 0}); // in both lists, copied in sweep 1
        WriteFile(two + "/p", "older");
        WriteFile(two + "/q", "back"); // listed on side 1, gone from there before the pass
        WriteFile(one + "/q", "gone");
        WriteFile(two + "/z", "only on side 2");
        auto fs = std::make_shared<FaultyFileSystem>();
        PassInput input = ListBoth(*fs, one, two);
        std::filesystem::remove(one + "/q");
        std::vector<std::string> lines; // as one worker logs them
        for (const std::string& entry : LinesOf(*input.list1)) {
            lines.push_back(entry == Native("/q") ? Copied(two, one, entry)
                                                  : Copied(one, two, entry));
        }
        lines.push_back(Copied(two, one, "/z"));
        CopyGate gate(*fs);
        gate.allow(act == Act::None ? kAll : 0);
        fs->beforeCommit([first = std::string(input.list1->at(0))](std::string_view entry, auto) {
            if (entry == first || entry == Native("/q")) { // ends after later ones; sweep 2 waits
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });
        auto host = std::make_shared<RecordingHost>();
        const auto control = th_Copy::Start(fs, input, host, kWorkers);
        if (act != Act::None) {
            ASSERT_TRUE(gate.waitStarted(kWorkers));
            act == Act::Stop ? control->requestStop() : control->hold();
            gate.allow(kAll);
            lines.resize(act == Act::Stop ? std::size_t{kWorkers} : lines.size());
        }
        if (act == Act::Hold) {
            ASSERT_TRUE(gate.waitEnded(kWorkers));
            EXPECT_FALSE(host->waitForEvents(2, kQuietPeriod)) << "a line while held";
            EXPECT_EQ(gate.started(), kWorkers) << "a copy began while held";
            control->release();
        }
        ASSERT_TRUE(host->waitForEnd());
        EXPECT_EQ(host->lines(), lines);
        EXPECT_EQ(host->completed(), act != Act::Stop);
        EXPECT_EQ(gate.started(), static_cast<int>(lines.size())); // no copy without its line
        for (const std::string& line : lines) {                    // each copy logged is whole
            const std::size_t arrow = line.find("->");
            EXPECT_TRUE(ReadFile(line.substr(arrow + 2)) == ReadFile(line.substr(0, arrow)))
                << line;
        }
    }
}

} // namespace
} // namespace doplet::test
