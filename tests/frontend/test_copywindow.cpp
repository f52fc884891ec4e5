// What both copy windows share: the queue that brings a worker's announcements to the interface
// thread (a real worker thread, a clock of the test's), where a log may be saved, and where a
// frame goes on the screen.

#include "CopyWindowLogic.h"
#include "Frontend.h"
#include "PassAnnouncements.h"
#include "TestFiles.h"

#include <condition_variable>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <tuple>

namespace doplet::frontend {
namespace {

using namespace std::chrono_literals;

// The interface thread's side: each announcement as a word, with the batch and the time it was
// applied in.
struct Recorder final : PassEvents {
    std::vector<std::string> words;
    std::vector<std::pair<int, AnnouncementQueue::Clock::time_point>> when;
    int batch = 0;
    AnnouncementQueue::Clock::time_point now;
    std::function<void()> onStart;
    int adjacentLineCalls = 0; // passLines twice in a row in one batch

    void add(std::string word) {
        words.push_back(std::move(word));
        when.emplace_back(batch, now);
    }
    void passStarted() override {
        add("start");
        onStart(); // set by the test
    }
    void passLines(const std::vector<LogLine>& lines) override {
        adjacentLineCalls += !when.empty() && when.back().first == batch && words.back()[0] == 'l';
        for (const LogLine& line : lines) {
            add(line.source);
        }
    }
    void passCompleted() override { add("done"); }
    void passFailed(const std::string& errorClass, const std::string&) override { add(errorClass); }
    void passWorkerEnded() override { add("ended"); }
};

TEST(AnnouncementQueue, InOrderInBatchesAtMostOneWakeUpAndNothingAfterAFatalFailure) {
    const struct {
        const char* what;
        bool fatal;  // the worker fails after its first 50 lines
        bool nested; // the start opens a message box that runs the message loop
    } rows[] = {{"plain", false, false}, {"message box", false, true}, {"fatal", true, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Recorder events;
        std::mutex mutex;
        std::condition_variable changed;
        int wakeUps = 0, mostWaiting = 0, queued = 0;
        bool workerDone = false, linesMay = !row.nested;
        AnnouncementQueue queue(
            events,
            [&] {
                const std::lock_guard lock(mutex);
                mostWaiting = std::max(mostWaiting, ++wakeUps);
                changed.notify_all();
            },
            [&] { return events.now; });
        std::thread worker([&] {
            queue.announceStart();
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return linesMay; });
            lock.unlock();
            for (int i = 0; i < 300; ++i) {
                if (row.fatal && i == 50) {
                    queue.announceFatal("fatal", "disk");
                }
                queue.announceLine({"l" + std::to_string(i), "t", 0});
                const std::lock_guard count(mutex);
                ++queued;
                changed.notify_all();
            }
            queue.announceCompletion();
            queue.workerEnded();
            lock.lock();
            workerDone = true;
            changed.notify_all();
        });
        events.onStart = [&] { // lines gather while the box is open, and stay queued
            if (!row.nested) {
                return;
            }
            std::unique_lock lock(mutex);
            linesMay = true;
            changed.notify_all();
            changed.wait(lock, [&] { return queued >= 10 && wakeUps > 0; });
            --wakeUps; // the box's message loop takes the wake-up
            lock.unlock();
            const std::size_t before = events.words.size();
            EXPECT_EQ(queue.applyQueued(), 0ms);
            EXPECT_EQ(events.words.size(), before);
        };
        for (;;) {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return wakeUps > 0 || workerDone; });
            if (wakeUps == 0) {
                break;
            }
            --wakeUps;
            lock.unlock();
            ++events.batch;
            for (std::chrono::milliseconds wait; (wait = queue.applyQueued()) > 0ms;) {
                EXPECT_LE(wait, AnnouncementQueue::kBatchInterval);
                events.now += wait;
            }
        }
        worker.join();
        std::vector<std::string> want = {"start"};
        for (int i = 0; i < (row.fatal ? 50 : 300); ++i) {
            want.push_back("l" + std::to_string(i));
        }
        want.insert(want.end(), {row.fatal ? "fatal" : "done", row.fatal ? "" : "ended"});
        want.resize(want.size() - (row.fatal ? 1 : 0));
        EXPECT_EQ(events.words, want);
        EXPECT_EQ(mostWaiting, 1);
        EXPECT_EQ(events.adjacentLineCalls, 0);
        for (std::size_t i = 1; i < events.when.size(); ++i) {
            const auto& [batch, at] = events.when[i];
            if (batch != events.when[i - 1].first) {
                EXPECT_GE(at - events.when[i - 1].second, AnnouncementQueue::kBatchInterval) << i;
            }
        }
    }
}

// Execute again while an aborted pass finishes its file: the new pass starts once the old worker
// has ended, unless the program is closing meanwhile, which then ends without starting it.
TEST(CopyWindow, AShowingDuringAnAbortStartsItsPassAfterwardsUnlessTheProgramCloses) {
    struct Seams final : CopyWindowSeams {
        int started = 0, closed = 0;
        PassInput passInput() override { return {}; }
        std::shared_ptr<WorkerControl> startWorker(PassInput) override {
            return ++started, std::make_shared<WorkerControl>();
        }
        void clearLog() override {}
        void appendLines(const std::vector<LogLine>&) override {}
        void setButtonCaption(std::string_view) override {}
        bool askAbort() override { return true; }
        void closeWindow() override { ++closed; }
        void endWithFatal(const std::string&, const std::string&) override {}
    };
    for (const bool closing : {false, true}) {
        Seams seams;
        CopyWindowLogic logic(seams);
        bool ended = false;
        logic.FormShow();
        logic.BitBtn1Click(); // 中止, OK
        logic.FormShow();
        if (closing) {
            logic.stopPass([&] { ended = true; });
        }
        logic.passWorkerEnded();
        EXPECT_EQ(std::tuple(seams.started, seams.closed, ended, logic.passRunning()),
                  std::tuple(closing ? 1 : 2, 1, closing, !closing))
            << (closing ? "closing" : "not closing");
    }
}

TEST(CopyWindow, ALogIsNotSavedInsideEitherFolderAndAFrameIsFittedOntoTheScreen) {
    const test::TempDir top;
    const std::array<std::string, 2> roots = {top.makeFolder("side"), top.makeFolder("two")};
    top.makeFolder("sidecar");
    std::error_code noLinks;
    std::filesystem::create_directory_symlink(std::filesystem::path(roots[1]),
                                              std::filesystem::path(top / "to2"), noLinks);
    const struct {
        std::string target;
        int root;
    } rows[] = {
        {top / "log.txt", 0},
        {top / "side/log.txt", 1},
        {top / "side/new/x.log", 1},
        {top / "sidecar/log.txt", 0},
        {top / "two", 2},
        {top / "side/../log.txt", 0},
        {noLinks ? "" : top / "to2/log.txt", noLinks ? 0 : 2},
        {"", 0},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(RootHolding(row.target, roots), row.root) << row.target;
    }
    EXPECT_EQ(RootHolding(top / "side/log.txt", {top / "gone", ""}), 0);

    const struct {
        Rect frame, available;
        Point expected;
    } places[] = {
        {{540, 412, 100, 100}, {0, 0, 640, 512}, {540, 412}},        // fits, touching the far edges
        {{344, 133, 634, 445}, {0, 0, 640, 512}, {6, 67}},           // past right and bottom
        {{-50, -20, 100, 100}, {0, 30, 640, 482}, {0, 30}},          // past left, under a top panel
        {{1000, 100, 1100, 800}, {1280, 30, 1024, 738}, {1280, 30}}, // larger than a second screen
    };
    for (const auto& row : places) {
        const Point got = FitOnScreen(row.frame, row.available);
        EXPECT_EQ(got, row.expected) << "row " << &row - places << ": " << got.x << "," << got.y;
    }
    if (noLinks) {
        GTEST_SKIP() << "no folder links here (" << noLinks.message() << "): link row not run";
    }
}

} // namespace
} // namespace doplet::frontend
