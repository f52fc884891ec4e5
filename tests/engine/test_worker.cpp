// The worker on a real thread: its announcements in order, the hold at each check point, the
// stop, and many workers started and stopped (run under ThreadSanitizer and AddressSanitizer by
// scripts/test). A failure escaping the pass is the copy window's test.

#include "FaultyFileSystem.h"
#include "RecordingHost.h"
#include "TestFiles.h"
#include "th_copy1.h"

#include <algorithm>
#include <future>
#include <gtest/gtest.h>
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
        const auto control = th_Copy::Start(fresh.fs, fresh.input, host);
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
// the bytes of a large file heard while it is being copied, and what was copied each way.
TEST(Worker, AnnouncesEachEntryOnceAndTheBytesOfTheFileInHand) {
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
        void announceProgress(const PassProgress& progress) override { seen.push_back(progress); }
        void announceFatal(std::string, std::string) override {}
        void workerEnded() override {}
        std::vector<PassProgress> seen;
        std::vector<std::size_t> lines; // how many progress announcements came before each line
    } host;
    WorkerControl control;
    FaultyFileSystem fs;
    ASSERT_TRUE(RunPass(fs, ListBoth(fs, one, two), host, control));
    ASSERT_EQ(host.lines.size(), 2U);
    bool heardWithin = false; // the large file, not yet whole, before its line
    for (std::size_t i = 0; i < host.seen.size(); ++i) {
        const PassProgress& now = host.seen[i];
        EXPECT_TRUE(now.entriesTotal == 4 && now.bytesInHand <= now.sizeInHand) << i;
        EXPECT_LE(now.entriesDone - (i > 0 ? host.seen[i - 1].entriesDone : 0), 1U) << i;
        heardWithin = heardWithin || (now.sizeInHand == kLarge && now.bytesInHand > 0 &&
                                      now.bytesInHand < kLarge && i < host.lines[0]);
    }
    EXPECT_TRUE(heardWithin);
    EXPECT_EQ(host.seen.back().entriesDone + host.seen.back().sizeInHand, 4U);
    EXPECT_EQ(host.seen.back().filesCopied, (std::array<std::uint64_t, 2>{1, 1}));
    EXPECT_EQ(host.seen.back().bytesCopied, (std::array<std::uint64_t, 2>{kLarge, 3}));
    Host other; // a side that is no folder lists one line that names no file
    ASSERT_TRUE(RunPass(fs, ListBoth(fs, one, dir / "gone"), other, control));
    EXPECT_EQ(other.seen.back().entriesTotal, 3U); // z came over in the first pass
}

} // namespace
} // namespace doplet::test
