#pragma once

// The copy window as the worker of a pass sees it. The worker's announcements are queued here
// and applied on the interface thread in the order the worker made them, as many at a time as
// have gathered, one batch per event and at most one every 20 ms: the worker never waits for the
// interface, the interface never waits for the worker, and a fast worker never keeps the
// interface from its other events.

#include "SyncPass.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QString>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class QObject;

namespace doplet {

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
    virtual void passFailed(const QString& errorClass, const QString& message) = 0;
    virtual void passWorkerEnded() = 0;
};

class QtPassHost final : public PassHost {
public:
    // When announcements are waiting, `context` (on the interface thread, outliving the worker)
    // receives an event for which IsAnnouncementsEvent holds, and answers it with applyQueued.
    QtPassHost(QObject* context, PassEvents& events) : context_(context), events_(events) {}

    static bool IsAnnouncementsEvent(const QEvent* event);
    // Interface thread: applies everything queued so far, in order.
    void applyQueued();

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

    void enqueue(Announcement announcement);
    // Applies one batch; false once a fatal failure was applied.
    bool apply(std::vector<Announcement>& batch);

    QObject* const context_;
    PassEvents& events_;

    std::mutex mutex_;
    std::vector<Announcement> queue_;
    bool posted_ = false; // an event is on its way to the context

    // Interface thread only.
    bool applying_ = false;
    bool failed_ = false;
    QElapsedTimer sinceApplied_; // since the end of the latest batch
};

} // namespace doplet
