#pragma once

// The Qt side of the queue that brings a pass's announcements to the copy window
// (frontend::AnnouncementQueue): a wake-up is an event posted to the window, the interval
// between batches a single-shot timer.

#include "PassAnnouncements.h"

#include <QEvent>
#include <memory>

class QObject;

namespace doplet {

// A queue whose wake-ups `context` (on the interface thread, outliving the worker) receives as
// events for which IsAnnouncementsEvent holds; it answers each with ApplyQueued.
std::shared_ptr<frontend::AnnouncementQueue> MakeQtPassHost(QObject* context,
                                                            frontend::PassEvents& events);

bool IsAnnouncementsEvent(const QEvent* event);

// Interface thread: applies everything queued so far, in order, or, too soon after the latest
// batch, wakes `context` again once the interval is over.
void ApplyQueued(frontend::AnnouncementQueue& queue, QObject* context);

} // namespace doplet
