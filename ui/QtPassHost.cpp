#include "QtPassHost.h"

#include <QCoreApplication>
#include <QTimer>

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

// The event carries nothing: everything it stands for is in the queue, under its lock.
void PostAnnouncementsEvent(QObject* context) {
    auto* event = new QEvent(AnnouncementsEventType());
    DOPLET_HANDED_OVER(event);
    QCoreApplication::postEvent(context, event);
}

} // namespace

std::shared_ptr<frontend::AnnouncementQueue> MakeQtPassHost(QObject* context,
                                                            frontend::PassEvents& events) {
    return std::make_shared<frontend::AnnouncementQueue>(
        events, [context] { PostAnnouncementsEvent(context); });
}

bool IsAnnouncementsEvent(const QEvent* event) {
    DOPLET_TAKEN_OVER(const_cast<QEvent*>(event));
    return event->type() == AnnouncementsEventType();
}

void ApplyQueued(frontend::AnnouncementQueue& queue, QObject* context) {
    const std::chrono::milliseconds wait = queue.applyQueued();
    if (wait.count() > 0) {
        QTimer::singleShot(wait, Qt::PreciseTimer, context,
                           [context] { PostAnnouncementsEvent(context); });
    }
}

} // namespace doplet
