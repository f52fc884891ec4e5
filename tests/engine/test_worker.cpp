// The worker on a real thread: the order of its announcements, the hold, the stop, and the
// control block that outlives it.

#include "FaultyFileSystem.h"
#include "RecordingHost.h"
#include "SyncPass.h"
#include "TestFiles.h"
#include "th_copy1.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace doplet {
namespace {

using test::Gate;
using test::kHangLimit;
using test::kQuietPeriod;
using test::RecordingHost;
using test::TempDir;
using test::WriteFile;

std::string Copied(const std::string& from, const std::string& to) {
    return from + "->" + to;
}

// Hands every announcement on to a recording host the test keeps, so that the test can let go
// of the host it gave the worker.
class ForwardingHost final : public PassHost {
public:
    explicit ForwardingHost(std::shared_ptr<RecordingHost> to) : to_(std::move(to)) {}
    void announceStart() override { to_->announceStart(); }
    void announceLine(LogLine line) override { to_->announceLine(std::move(line)); }
    void announceCompletion() override { to_->announceCompletion(); }
    void announceFatal(std::string errorClass, std::string message) override {
        to_->announceFatal(std::move(errorClass), std::move(message));
    }
    void workerEnded() override { to_->workerEnded(); }

private:
    std::shared_ptr<RecordingHost> to_;
};

class Worker : public ::testing::Test {
protected:
    Worker() {
        for (const char* name : {"a", "b", "c"}) {
            WriteFile(one + "/" + name, name);
        }
        WriteFile(two + "/z", "z");
    }

    PassInput listBoth() {
        PassInput input;
        input.folder1 = one;
        input.folder2 = two;
        input.list1 = test::ListTree(*fs, one, 1);
        input.list2 = test::ListTree(*fs, two, 2);
        return input;
    }

    // The lines a whole pass over `input` gives, in the order of the lists.
    std::vector<std::string> expectedLines(const PassInput& input) const {
        std::vector<std::string> lines;
        for (std::size_t i = 0; i < input.list1->size(); ++i) {
            const std::string entry(input.list1->at(i));
            lines.push_back("line " + Copied(one + entry, two + entry));
        }
        for (std::size_t i = 0; i < input.list2->size(); ++i) {
            const std::string entry(input.list2->at(i));
            lines.push_back("line " + Copied(two + entry, one + entry));
        }
        return lines;
    }

    static std::vector<std::string> withFrame(std::vector<std::string> lines, bool completed) {
        lines.insert(lines.begin(), "start");
        if (completed) {
            lines.emplace_back("completion");
        }
        lines.emplace_back("ended");
        return lines;
    }

    std::shared_ptr<test::FaultyFileSystem> faulty = std::make_shared<test::FaultyFileSystem>();
    std::shared_ptr<FileSystem> fs = faulty;
    std::shared_ptr<RecordingHost> host = std::make_shared<RecordingHost>();
    TempDir dir;
    std::string one = dir.makeFolder("one");
    std::string two = dir.makeFolder("two");
};

TEST_F(Worker, AnnouncesStartLinesCompletionAndItsEndInOrder) {
    const PassInput input = listBoth();
    const auto control = th_Copy::Start(fs, input, host);
    ASSERT_TRUE(host->waitForEnd());
    EXPECT_TRUE(control->waitUntilFinished(kHangLimit));
    EXPECT_TRUE(control->finished());
    EXPECT_EQ(host->events(), withFrame(expectedLines(input), true));
    EXPECT_FALSE(host->calledAfterEnd());
    EXPECT_EQ(test::NamesIn(two), (std::vector<std::string>{"a", "b", "c", "z"}));
}

TEST_F(Worker, HoldBeforeThePassStartsBlocksEveryAnnouncementUntilRelease) {
    const PassInput input = listBoth();
    WorkerControl control;
    control.hold();
    bool completed = false;
    std::thread worker([&] { completed = RunPass(*fs, input, *host, control); });

    EXPECT_FALSE(host->waitForEvents(1, kQuietPeriod));
    EXPECT_EQ(host->eventCount(), 0U);
    EXPECT_EQ(faulty->copyCalls(), 0);
    EXPECT_EQ(test::NamesIn(two), std::vector<std::string>{"z"});

    control.release();
    worker.join();
    EXPECT_TRUE(completed);
    std::vector<std::string> expected = expectedLines(input);
    expected.insert(expected.begin(), "start");
    expected.emplace_back("completion");
    EXPECT_EQ(host->events(), expected);
}

TEST_F(Worker, HoldDuringALineStopsTheWorkerBeforeTheNextFile) {
    const PassInput input = listBoth();
    Gate& inLine = host->blockAtLine(0);
    const auto control = th_Copy::Start(fs, input, host);
    ASSERT_TRUE(inLine.waitUntilArrived(kHangLimit));
    control->hold();
    inLine.open();

    EXPECT_FALSE(host->waitForEvents(3, kQuietPeriod));
    EXPECT_EQ(host->eventCount(), 2U);
    EXPECT_EQ(faulty->copyCalls(), 1);
    EXPECT_TRUE(control->isHeld());
    EXPECT_FALSE(control->finished());

    control->release();
    ASSERT_TRUE(host->waitForEnd());
    EXPECT_EQ(host->events(), withFrame(expectedLines(input), true));
}

TEST_F(Worker, HoldAfterTheLastLineHoldsBackTheCompletion) {
    const PassInput input = listBoth();
    const std::vector<std::string> lines = expectedLines(input);
    Gate& inLine = host->blockAtLine(lines.size() - 1);
    const auto control = th_Copy::Start(fs, input, host);
    ASSERT_TRUE(inLine.waitUntilArrived(kHangLimit));
    control->hold();
    inLine.open();

    EXPECT_FALSE(host->waitForEvents(lines.size() + 2, kQuietPeriod));
    EXPECT_FALSE(host->completed());
    control->release();
    ASSERT_TRUE(host->waitForEnd());
    EXPECT_EQ(host->events(), withFrame(lines, true));
}

TEST_F(Worker, ACopyUnderWayWhenHeldIsCompletedAndItsLineWaitsForTheRelease) {
    Gate copying;
    Gate copied;
    copied.open(); // only notes that the first copy is done
    std::atomic<int> copies{0};
    faulty->beforeCopy([&](std::string_view, std::string_view) {
        if (copies++ == 0) {
            copying.arriveAndWait();
        }
    });
    faulty->afterCopy([&](std::string_view, std::string_view) {
        if (copies.load() == 1) {
            copied.arriveAndWait();
        }
    });
    const PassInput input = listBoth();
    const auto control = th_Copy::Start(fs, input, host);
    ASSERT_TRUE(copying.waitUntilArrived(kHangLimit));
    control->hold();
    copying.open();
    ASSERT_TRUE(copied.waitUntilArrived(kHangLimit));

    EXPECT_FALSE(host->waitForEvents(2, kQuietPeriod));
    EXPECT_EQ(host->events(), std::vector<std::string>{"start"});
    const std::string firstEntry(input.list1->at(0));
    EXPECT_TRUE(test::Exists(two + firstEntry)) << "the copy under way is completed";

    control->release();
    ASSERT_TRUE(host->waitForEnd());
    EXPECT_EQ(host->events(), withFrame(expectedLines(input), true));
}

TEST_F(Worker, StopWhileHeldEndsWithoutCompletion) {
    Gate& inStart = host->blockAtStart();
    const auto control = th_Copy::Start(fs, listBoth(), host);
    ASSERT_TRUE(inStart.waitUntilArrived(kHangLimit));
    control->hold();
    control->requestStop();
    inStart.open();
    EXPECT_FALSE(host->waitForEvents(2, kQuietPeriod));
    control->release();

    ASSERT_TRUE(host->waitForEnd());
    EXPECT_TRUE(control->waitUntilFinished(kHangLimit));
    EXPECT_TRUE(control->stopRequested());
    EXPECT_EQ(host->events(), (std::vector<std::string>{"start", "ended"}));
    EXPECT_EQ(faulty->copyCalls(), 0);
    EXPECT_EQ(test::NamesIn(two), std::vector<std::string>{"z"});
}

TEST_F(Worker, StopHeldBeforeThePassEndsItWithoutCompletion) {
    const PassInput input = listBoth();
    WorkerControl control;
    control.hold();
    bool completed = true;
    std::thread worker([&] { completed = RunPass(*fs, input, *host, control); });
    control.requestStop();
    control.release();
    worker.join();
    EXPECT_FALSE(completed);
    EXPECT_TRUE(host->lines().empty());
    EXPECT_FALSE(host->completed());
    EXPECT_EQ(faulty->copyCalls(), 0);
}

TEST_F(Worker, StopDuringSweepOneFinishesTheFileInHandAndSkipsTheRest) {
    const PassInput input = listBoth();
    Gate& inLine = host->blockAtLine(0);
    const auto control = th_Copy::Start(fs, input, host);
    ASSERT_TRUE(inLine.waitUntilArrived(kHangLimit));
    control->requestStop();
    inLine.open();

    ASSERT_TRUE(host->waitForEnd());
    std::vector<std::string> expected = expectedLines(input);
    expected.resize(1);
    EXPECT_EQ(host->events(), withFrame(expected, false));
    EXPECT_EQ(test::NamesIn(two).size(), 2U);
    EXPECT_EQ(test::NamesIn(one), (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(Worker, KeepsTheListsItStartedWithWhileTheWindowListsAnew) {
    PassInput input = listBoth();
    const std::vector<std::string> lines = expectedLines(input);
    std::weak_ptr<const FileList> list1 = input.list1;
    Gate& inLine = host->blockAtLine(0);
    const auto control = th_Copy::Start(fs, std::move(input), host);
    ASSERT_TRUE(inLine.waitUntilArrived(kHangLimit));
    EXPECT_FALSE(list1.expired()) << "the worker holds its own share of the list";
    inLine.open();
    ASSERT_TRUE(host->waitForEnd());
    EXPECT_EQ(host->events(), withFrame(lines, true));
}

TEST_F(Worker, AnnouncesAFailureThatEscapesThePassThenEnds) {
    const PassInput input = listBoth();
    const std::string second(input.list1->at(1));
    faulty->throwOnStatOf(second, "the disk went away");
    const auto control = th_Copy::Start(fs, input, host);
    ASSERT_TRUE(host->waitForEnd());
    const std::vector<std::string> events = host->events();
    ASSERT_EQ(events.size(), 4U);
    EXPECT_EQ(events[0], "start");
    EXPECT_EQ(events[1], expectedLines(input)[0]);
    EXPECT_EQ(events[2], "fatal std::runtime_error: the disk went away");
    EXPECT_EQ(events[3], "ended");
    EXPECT_TRUE(control->waitUntilFinished(kHangLimit));
}

TEST_F(Worker, ControlOfAFinishedWorkerDoesNothing) {
    const auto control = th_Copy::Start(fs, listBoth(), host);
    ASSERT_TRUE(host->waitForEnd());
    ASSERT_TRUE(control->waitUntilFinished(kHangLimit));
    const std::vector<std::string> events = host->events();

    control->hold();
    EXPECT_FALSE(control->isHeld());
    control->release();
    control->requestStop();
    control->hold();
    control->release();
    EXPECT_TRUE(control->finished());
    EXPECT_TRUE(control->waitUntilFinished(kHangLimit));
    EXPECT_EQ(host->events(), events);
}

TEST_F(Worker, ControlOutlivesTheWorkerWhichReleasesEverythingItHeld) {
    std::weak_ptr<PassHost> givenHost;
    std::shared_ptr<WorkerControl> control;
    {
        auto forwarding = std::make_shared<ForwardingHost>(host);
        givenHost = forwarding;
        control = th_Copy::Start(fs, listBoth(), std::move(forwarding));
    }
    fs.reset();
    faulty.reset();
    ASSERT_TRUE(host->waitForEnd());
    ASSERT_TRUE(control->waitUntilFinished(kHangLimit));
    // The worker frees itself, and with it its host, once its body has returned.
    const auto deadline = std::chrono::steady_clock::now() + kHangLimit;
    while (!givenHost.expired() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(givenHost.expired());
    control->hold();
    control->release();
    control->requestStop();
    EXPECT_TRUE(control->finished());
    EXPECT_TRUE(host->completed());
}

TEST_F(Worker, ManyStartsAndStopsEndCleanly) {
    for (int i = 0; i < 8; ++i) {
        WriteFile(one + "/more/f" + std::to_string(i),
                  std::string(std::size_t{100} * static_cast<std::size_t>(i), 'x'));
    }
    const PassInput input = listBoth();
    for (int cycle = 0; cycle < 40; ++cycle) {
        auto cycleHost = std::make_shared<RecordingHost>();
        const auto control = th_Copy::Start(fs, input, cycleHost);
        switch (cycle % 4) {
        case 0:
            control->requestStop();
            break;
        case 1:
            control->hold();
            control->release();
            control->requestStop();
            break;
        case 2:
            for (int k = 0; k < 5; ++k) {
                control->hold();
                control->release();
            }
            break;
        default:
            break;
        }
        ASSERT_TRUE(cycleHost->waitForEnd()) << "cycle " << cycle;
        ASSERT_TRUE(control->waitUntilFinished(kHangLimit));
        control->requestStop();
        const std::vector<std::string> events = cycleHost->events();
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.back(), "ended");
        EXPECT_EQ(std::count(events.begin(), events.end(), "ended"), 1);
        EXPECT_LE(std::count(events.begin(), events.end(), "completion"), 1);
        if (cycle % 4 >= 2) {
            EXPECT_TRUE(cycleHost->completed()) << "cycle " << cycle;
        }
        if (cycleHost->completed()) {
            EXPECT_EQ(events[events.size() - 2], "completion");
        }
        EXPECT_FALSE(cycleHost->calledAfterEnd());
        std::filesystem::remove_all(two);
        dir.makeFolder("two");
        WriteFile(two + "/z", "z");
    }
}

} // namespace
} // namespace doplet
