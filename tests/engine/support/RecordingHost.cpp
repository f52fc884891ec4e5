#include "RecordingHost.h"

#include <algorithm>
#include <utility>

namespace doplet::test {

void Gate::arriveAndWait() {
    std::unique_lock lock(mutex_);
    arrived_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return open_; });
}

bool Gate::waitUntilArrived(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return arrived_; });
}

void Gate::open() {
    const std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
}

void RecordingHost::announceStart() {
    if (record("start")) {
        startGate_.arriveAndWait();
    }
}

void RecordingHost::announceLine(LogLine line) {
    const std::string text = line.text();
    if (record("line " + text, &text)) {
        lineGate_.arriveAndWait();
    }
}

bool RecordingHost::record(std::string event, const std::string* line) {
    const std::lock_guard lock(mutex_);
    afterEnd_ = afterEnd_ || ended_;
    ended_ = ended_ || event == "ended";
    const bool block =
        line != nullptr ? blockLine_ == lines_.size() : event == "start" && blockStart_;
    if (line != nullptr) {
        lines_.push_back(*line);
    }
    events_.push_back(std::move(event));
    changed_.notify_all();
    return block;
}

std::vector<std::string> RecordingHost::events() const {
    const std::lock_guard lock(mutex_);
    return events_;
}

std::vector<std::string> RecordingHost::lines() const {
    const std::lock_guard lock(mutex_);
    return lines_;
}

bool RecordingHost::completed() const {
    const std::lock_guard lock(mutex_);
    return std::find(events_.begin(), events_.end(), "completion") != events_.end();
}

bool RecordingHost::calledAfterEnd() const {
    const std::lock_guard lock(mutex_);
    return afterEnd_;
}

bool RecordingHost::waitForEvents(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return events_.size() >= count; });
}

bool RecordingHost::waitForEnd(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return ended_; });
}

Gate& RecordingHost::blockAtStart() {
    const std::lock_guard lock(mutex_);
    blockStart_ = true;
    return startGate_;
}

Gate& RecordingHost::blockAtLine(std::size_t index) {
    const std::lock_guard lock(mutex_);
    blockLine_ = index;
    return lineGate_;
}

} // namespace doplet::test
