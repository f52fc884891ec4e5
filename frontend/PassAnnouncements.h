#pragma once

// The copy window as the worker of a pass sees it, free of any toolkit. The worker's announcements
// are queued here and applied on the interface thread in the order the worker made them, as many
// at a time as have gathered, at most one batch every 20 ms: the worker never waits for the
// interface, the interface never waits for the worker, and a fast worker never keeps the
// interface from its other events. Each window program wakes its interface thread its own way
// (a posted event or message) and keeps the 20 ms with its own timer.

#include "SyncPass.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace doplet::frontend {

// What the copy window does with the announcements, on the interface thread.
class PassEvents {
public:
    PassEvents() = default;
    PassEvents(const PassEvents&) = delete;
    PassEvents& operator=(const PassEvents&) = delete;
    PassEvents(PassEvents&&) = delete;
    PassEvents& operator=(PassEvents&&) = delete;
    virtual ~PassEvents() = default;

    virtual void passStarted() = 0;
    // Consecutive lines arrive together, in order.
    virtual void passLines(const std::vector<LogLine>& lines) = 0;
    virtual void passCompleted() = 0;
    // Nothing of this pass is applied after a fatal failure.
    virtual void passFailed(const std::string& errorClass, const std::string& message) = 0;
    virtual void passWorkerEnded() = 0;
};

class AnnouncementQueue final : public PassHost {
public:
    using Clock = std::chrono::steady_clock;
    // The least time from the end of one batch to the next. A list lays its rows out again
    // whenever rows are added, so applying every small batch as soon as it is made would keep the
    // interface thread busy in proportion to the length of the log; at most 50 batches a second
    // still look continuous, and the interface handles its other events in between.
    static constexpr std::chrono::milliseconds kBatchInterval{20};

    // `wakeUp` asks the interface thread to call applyQueued: it is called on the worker's
    // thread, or on the interface thread after a batch, and never again before the interface
    // thread has answered the last one. `now` is the clock the interval is measured by.
    AnnouncementQueue(PassEvents& events, std::function<void()> wakeUp,
                      std::function<Clock::time_point()> now = Clock::now);

    // Interface thread, for each wake-up: applies everything gathered so far, in order, as one
    // batch, and returns zero. Too soon after the latest batch it applies nothing and returns how
    // long to wait: the caller then calls applyQueued again after that time (no wake-up comes
    // meanwhile). Called again while a batch is being applied (a message box opened by it runs
    // its own message loop), it returns at once and the outer call asks for a wake-up for what
    // is left.
    std::chrono::milliseconds applyQueued();

    void announceStart() override;
    void announceLine(LogLine line) override;
    void announceCompletion() override;
    void announceFatal(std::string errorClass, std::string message) override;
    void workerEnded() override;

private:
    enum class Kind : std::uint8_t { Start, Line, Completion, Fatal, Ended };
    struct Announcement {
        Kind kind;
        LogLine line;           // Line
        std::string errorClass; // Fatal
        std::string message;    // Fatal
    };

    // Worker side: queues it; true when the interface must be woken (none is on its way).
    bool enqueue(Announcement announcement);
    void announce(Announcement announcement);
    // Applies one batch; false once a fatal failure was applied.
    bool apply(std::vector<Announcement>& batch);

    PassEvents& events_;
    const std::function<void()> wakeUp_;
    const std::function<Clock::time_point()> now_;

    std::mutex mutex_;
    std::vector<Announcement> queue_;
    bool woken_ = false; // a wake-up is on its way (or the caller's timer stands for one)

    // Interface thread only.
    bool applying_ = false;
    bool failed_ = false;
    std::optional<Clock::time_point> lastBatch_; // when the latest batch ended
};

} // namespace doplet::frontend
