#include "QtPassHost.h"

#include <QCoreApplication>
#include <utility>

// Qt's event queue orders the posting of an event before its delivery, but Debian's Qt is not
// built for ThreadSanitizer, which then takes the event, made on the worker and read on the
// interface thread, for a race. These two calls tell it what Qt guarantees.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#define DOPLET_HANDED_OVER(address) __tsan_release(address)
#define DOPLET_TAKEN_OVER(address) __tsan_acquire(address)
#else
#define DOPLET_HANDED_OVER(address) static_cast<void>(address)
#define DOPLET_TAKEN_OVER(address) static_cast<void>(address)
#endif

namespace doplet {

namespace {

QEvent::Type AnnouncementsEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

} // namespace

bool QtPassHost::IsAnnouncementsEvent(const QEvent* event) {
    DOPLET_TAKEN_OVER(const_cast<QEvent*>(event));
    return event->type() == AnnouncementsEventType();
}

void QtPassHost::announceStart() {
    enqueue({Kind::Start, {}, {}, {}});
}

void QtPassHost::announceLine(LogLine line) {
    enqueue({Kind::Line, std::move(line), {}, {}});
}

void QtPassHost::announceCompletion() {
    enqueue({Kind::Completion, {}, {}, {}});
}

void QtPassHost::announceFatal(std::string errorClass, std::string message) {
    enqueue({Kind::Fatal, {}, std::move(errorClass), std::move(message)});
}

void QtPassHost::workerEnded() {
    enqueue({Kind::Ended, {}, {}, {}});
}

void QtPassHost::enqueue(Announcement announcement) {
    const std::lock_guard lock(mutex_);
    queue_.push_back(std::move(announcement));
    if (posted_) {
        return; // the event on its way takes this one too
    }
    posted_ = true;
    // The event carries nothing: everything it stands for is in the queue, under the lock.
    auto* event = new QEvent(AnnouncementsEventType());
    DOPLET_HANDED_OVER(event);
    QCoreApplication::postEvent(context_, event);
}

void QtPassHost::applyQueued() {
    // Applying can open a message box with an event loop of its own; an applyQueued reached
    // from there leaves the queue to this one, so the order holds.
    if (applying_) {
        return;
    }
    applying_ = true;
    for (;;) {
        std::vector<Announcement> batch;
        {
            const std::lock_guard lock(mutex_);
            if (queue_.empty() || failed_) {
                queue_.clear();
                posted_ = false;
                break;
            }
            batch.swap(queue_);
        }
        if (!apply(batch)) {
            failed_ = true;
        }
    }
    applying_ = false;
}

bool QtPassHost::apply(std::vector<Announcement>& batch) {
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
            events_.passFailed(QString::fromStdString(announcement.errorClass),
                               QString::fromStdString(announcement.message));
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

} // namespace doplet
