#include "RecordingHost.h"

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

bool Gate::arrived() const {
    const std::lock_guard lock(mutex_);
    return arrived_;
}

void RecordingHost::announceStart() {
    record("start");
    bool block = false;
    {
        const std::lock_guard lock(mutex_);
        block = blockStart_;
    }
    if (block) {
        startGate_.arriveAndWait();
    }
}

void RecordingHost::announceLine(LogLine line) {
    std::string text = "line " + line.text();
    bool block = false;
    {
        const std::lock_guard lock(mutex_);
        block = blockLine_.has_value() && *blockLine_ == lines_.size();
        lines_.push_back(std::move(line));
    }
    record(std::move(text));
    if (block) {
        lineGate_.arriveAndWait();
    }
}

void RecordingHost::announceCompletion() {
    record("completion");
}

void RecordingHost::announceFatal(std::string errorClass, std::string message) {
    record("fatal " + errorClass + ": " + message);
}

void RecordingHost::workerEnded() {
    record("ended");
    const std::lock_guard lock(mutex_);
    ended_ = true;
    changed_.notify_all();
}

void RecordingHost::record(std::string event) {
    const std::lock_guard lock(mutex_);
    if (ended_) {
        afterEnd_ = true;
    }
    events_.push_back(std::move(event));
    changed_.notify_all();
}

std::vector<std::string> RecordingHost::events() const {
    const std::lock_guard lock(mutex_);
    return events_;
}

std::vector<std::string> RecordingHost::lines() const {
    const std::lock_guard lock(mutex_);
    std::vector<std::string> texts;
    texts.reserve(lines_.size());
    for (const LogLine& line : lines_) {
        texts.push_back(line.text());
    }
    return texts;
}

std::vector<LogLine> RecordingHost::logLines() const {
    const std::lock_guard lock(mutex_);
    return lines_;
}

std::size_t RecordingHost::eventCount() const {
    const std::lock_guard lock(mutex_);
    return events_.size();
}

bool RecordingHost::completed() const {
    const std::lock_guard lock(mutex_);
    for (const std::string& event : events_) {
        if (event == "completion") {
            return true;
        }
    }
    return false;
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
