#include "QtPassHost.h"

#include <QCoreApplication>
#include <utility>

namespace doplet {

namespace {

QEvent::Type AnnouncementsEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

} // namespace

bool QtPassHost::IsAnnouncementsEvent(const QEvent* event) {
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
    QCoreApplication::postEvent(context_, new QEvent(AnnouncementsEventType()));
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
