#include "QtPassHost.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <QTimer>
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

// The least time from the end of one batch to the next. A list view lays all its rows out again
// whenever rows are added, so applying every small batch as soon as it is made would keep the
// interface thread busy in proportion to the length of the log; at most 50 batches a second
// still look continuous, and the interface handles its other events in between.
constexpr qint64 kBatchIntervalMs = 20;

QEvent::Type AnnouncementsEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

// The event carries nothing: everything it stands for is in the queue, under the lock.
void PostAnnouncementsEvent(QObject* context) {
    auto* event = new QEvent(AnnouncementsEventType());
    DOPLET_HANDED_OVER(event);
    QCoreApplication::postEvent(context, event);
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
    PostAnnouncementsEvent(context_);
}

void QtPassHost::applyQueued() {
    if (applying_) {
        // Applying opened a message box with an event loop of its own: this event is spent, and
        // the call that is applying posts another for what is left, so the order holds.
        const std::lock_guard lock(mutex_);
        posted_ = false;
        return;
    }
    if (sinceApplied_.isValid() && sinceApplied_.elapsed() < kBatchIntervalMs) {
        // Too soon after the last batch: the event comes back when the interval is over. The
        // worker posts none meanwhile, as one is still on its way.
        QTimer::singleShot(static_cast<int>(kBatchIntervalMs - sinceApplied_.elapsed()),
                           Qt::PreciseTimer, context_,
                           [context = context_] { PostAnnouncementsEvent(context); });
        return;
    }
    std::vector<Announcement> batch;
    {
        const std::lock_guard lock(mutex_);
        batch.swap(queue_);
        posted_ = false; // what is queued from now on needs an event of its own
    }
    if (!failed_) {
        applying_ = true;
        const auto done = qScopeGuard([this] {
            applying_ = false;
            sinceApplied_.start();
        });
        failed_ = !apply(batch);
    }
    // What gathered while a message box was open waits for an event of its own.
    const std::lock_guard lock(mutex_);
    if (failed_) {
        queue_.clear();
    } else if (!queue_.empty() && !posted_) {
        posted_ = true;
        PostAnnouncementsEvent(context_);
    }
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
