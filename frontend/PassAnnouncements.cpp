#include "PassAnnouncements.h"

#include <utility>

namespace doplet::frontend {

AnnouncementQueue::AnnouncementQueue(PassEvents& events, std::function<void()> wakeUp,
                                     std::function<Clock::time_point()> now)
    : events_(events), wakeUp_(std::move(wakeUp)), now_(std::move(now)) {}

void AnnouncementQueue::announceStart() {
    announce({Kind::Start, {}, {}, {}});
}

void AnnouncementQueue::announceLine(LogLine line) {
    announce({Kind::Line, std::move(line), {}, {}});
}

void AnnouncementQueue::announceCompletion() {
    announce({Kind::Completion, {}, {}, {}});
}

void AnnouncementQueue::announceFatal(std::string errorClass, std::string message) {
    announce({Kind::Fatal, {}, std::move(errorClass), std::move(message)});
}

void AnnouncementQueue::workerEnded() {
    announce({Kind::Ended, {}, {}, {}});
}

void AnnouncementQueue::announce(Announcement announcement) {
    if (enqueue(std::move(announcement))) {
        wakeUp_();
    }
}

bool AnnouncementQueue::enqueue(Announcement announcement) {
    const std::lock_guard lock(mutex_);
    queue_.push_back(std::move(announcement));
    return !std::exchange(woken_, true); // the wake-up on its way takes this one too
}

std::chrono::milliseconds AnnouncementQueue::applyQueued() {
    using std::chrono::milliseconds;
    if (applying_) {
        // This wake-up is spent; the call that is applying asks for another for what is left, so
        // the order holds.
        const std::lock_guard lock(mutex_);
        woken_ = false;
        return milliseconds(0);
    }
    if (lastBatch_) {
        const auto since = now_() - *lastBatch_;
        if (since < kBatchInterval) {
            // The caller's timer stands for the wake-up: the worker asks for none meanwhile.
            return std::chrono::ceil<milliseconds>(kBatchInterval - since);
        }
    }
    std::vector<Announcement> batch;
    {
        const std::lock_guard lock(mutex_);
        batch.swap(queue_);
        woken_ = false; // what is queued from now on needs a wake-up of its own
    }
    if (!failed_) {
        struct Applying {
            AnnouncementQueue& queue;
            explicit Applying(AnnouncementQueue& q) : queue(q) { queue.applying_ = true; }
            Applying(const Applying&) = delete;
            Applying& operator=(const Applying&) = delete;
            Applying(Applying&&) = delete;
            Applying& operator=(Applying&&) = delete;
            ~Applying() {
                queue.applying_ = false;
                queue.lastBatch_ = queue.now_();
            }
        } applying(*this);
        failed_ = !apply(batch);
    }
    // What gathered while a message box was open waits for a wake-up of its own.
    bool wake = false;
    {
        const std::lock_guard lock(mutex_);
        if (failed_) {
            queue_.clear();
        } else if (!queue_.empty() && !woken_) {
            woken_ = wake = true;
        }
    }
    if (wake) {
        wakeUp_();
    }
    return milliseconds(0);
}

bool AnnouncementQueue::apply(std::vector<Announcement>& batch) {
    std::vector<LogLine> lines;
    const auto flushLines = [&] {
        if (!lines.empty()) {
            events_.passLines(lines);
            lines.clear();
        }
    };
    for (Announcement& announcement : batch) {
        if (announcement.kind == Kind::Line) {
            lines.push_back(std::move(announcement.line));
            continue;
        }
        flushLines();
        switch (announcement.kind) {
        case Kind::Start:
            events_.passStarted();
            break;
        case Kind::Completion:
            events_.passCompleted();
            break;
        case Kind::Fatal:
            events_.passFailed(announcement.errorClass, announcement.message);
            return false;
        case Kind::Ended:
            events_.passWorkerEnded();
            break;
        case Kind::Line:
            break;
        }
    }
    flushLines();
    return true;
}

} // namespace doplet::frontend
